#pragma once
// kxUtils, the platform-bound half: where the program lives, special folders and path macros,
// registry reads, the network test, opening URLs, file times, sizes and attributes, embedded
// resources, closing the application and the message-pumping wait.
//
// Every function reaches the OS only through the interfaces it is handed. None throws: each
// returns its documented fallback (false, -1, an empty text, an unchanged value) instead.
// Folder texts end with platform::kPathDelim unless said otherwise.
//
// Threads: WaitForSignal and CloseApplication run on the UI thread; RaiseSignal may be called
// from any thread; the rest may run on any thread.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/EnumSet.h"
#include "framework/Signal.h"
#include "framework/Streams.h"
#include "framework/UiThread.h"
#include "platform/Os.h"
#include "platform/Resources.h"
#include "util/kxUtilsText.h"

namespace pw {

namespace framework {
class IApplication;
}

// --- Start-up environment ---

// Where the install rules put the program and its documentation: absolute folders, with or
// without a trailing delimiter.
struct TkxInstallLayout {
    std::string binFolder;
    std::string docFolder;
};

// Where the running program lives, together with the OS layer it runs on. Built once at start-up
// and handed to whoever needs it.
struct TkxEnvironment {
    // Reads the executable's path from the OS. A program started from a folder that the system
    // redirects into the user's VirtualStore takes the current directory as its folder instead.
    // DataFolder comes from the layout (see InstalledDataFolder).
    explicit TkxEnvironment(platform::Os& os, const TkxInstallLayout& layout = {});

    platform::Os& Os;
    std::string AppExeName;  // full path of the running executable
    std::string AppFolder;   // its folder, with a trailing delimiter
    // Set only for a program that runs from where the install rules put it: where it keeps the
    // files a program run from its build folder has beside it (the user guide), with a trailing
    // delimiter. Such a program's folder belongs to whoever installed it, so nothing is written
    // there, even by a user who could.
    std::string DataFolder;
};

// layout.docFolder with a trailing delimiter when appFolder is layout.binFolder, else empty.
std::string InstalledDataFolder(std::string_view appFolder, const TkxInstallLayout& layout);

// --- Folders and paths ---

// The temp folder with a trailing delimiter; AppFolder when the temp folder does not exist.
std::string GetTempFolder(const TkxEnvironment& env);
std::string GetSystemFolder(platform::ISystem& system);
std::string GetWindowsFolder(platform::ISystem& system);

// Folder kinds; each kind's macro for ExpandFolderMacros is given beside it.
enum TkxFolderKind : int {
    fkCurrent = 0,       // "%current%": AppFolder
    fkDesktop = 1,       // "%desktop%"
    fkMyDocuments = 2,   // "%mydocuments%"
    fkMyPictures = 3,    // "%mypictures%"
    fkAppData = 4,       // "%appdata%"
    fkProgramFiles = 5,  // "%programfiles%"
    fkWindows = 6,       // "%windows%"
    fkSystem = 7,        // "%system%"
    fkTemp = 8,          // "%temp%": GetTempFolder
    fkHelp = 9,          // "%help%"
    fkMedia = 10,        // "%media%"
    fkCursors = 11,      // "%cursors%"
    fkNone = 12,         // no macro: the empty text, without a delimiter
};

// The folder of a kind with a trailing delimiter (a folder the OS cannot name gives just the
// delimiter); fkNone gives the empty text; any other number gives AppFolder.
std::string GetFolderByKind(const TkxEnvironment& env, int kind);

// Replaces every macro (case-insensitively, in kind order) by its folder, delimiter included, so a
// macro stands directly before the next name: "%temp%setup.exe". With makeAbsolute, a relative
// result of at least 3 characters gets AppFolder in front.
std::string ExpandFolderMacros(const TkxEnvironment& env, std::string_view path, bool makeAbsolute);

bool FolderExists(platform::IFiles& files, std::string_view path);

// The places a file that comes with the program is looked for, first to last: besideProgram (a
// path in AppFolder), then a file of the same name in DataFolder when there is one.
std::vector<std::string> ShippedFilePlaces(const TkxEnvironment& env,
                                           std::string_view besideProgram);
// The first of those places that holds a file; empty when none does.
std::string FindShippedFile(const TkxEnvironment& env, std::string_view besideProgram);
// Creates every folder of the file name's folder part, outermost first; failures are ignored.
void ForceFileFolders(platform::IFiles& files, std::string_view fileName);
bool IsVistaOrLater(platform::ISystem& system);

// --- Registry ---

// An open key: a root and a backslash-separated path below it (empty = the root itself).
struct TkxRegKey {
    platform::RegRoot root = platform::RegRoot::CurrentUser;
    std::string path;

    bool operator==(const TkxRegKey&) const = default;
};

// Opens (with create: creates when missing) the sub-key of key; on success key becomes the
// sub-key. Leading backslashes of subKey are ignored.
bool RegOpenKeyPath(platform::IRegistry& registry, TkxRegKey& key, std::string_view subKey,
                    bool create);

// Reads a value into buffer as the registry's buffer-based query does: type and bufferSize
// receive the value's type and size (the needed size when the buffer is too small, which
// fails). A null buffer only asks for type and size. True on success, except for a text value
// of no bytes at all.
bool RegQueryData(platform::IRegistry& registry, const TkxRegKey& key, std::string_view valueName,
                  platform::RegType& type, std::uint32_t& bufferSize, void* buffer);

// The text of a value (up to its first zero byte) read through a 1,024-byte buffer: a missing,
// empty or longer value gives an empty text. Returns whether the key could be opened.
inline constexpr std::uint32_t kRegReadStringBufferSize = 1024;
bool RegReadString(platform::IRegistry& registry, platform::RegRoot root, std::string_view subKey,
                   std::string_view valueName, std::string& text);

// --- Network ---

// The remote-access flag of the machine when it is recorded, else HasNonLoopbackAddress.
bool IsConnectedToNetwork(const TkxEnvironment& env);
bool HasNonLoopbackAddress(platform::ISystem& system);

// --- Shell ---

// The program registered to open files with this extension (".html"); empty when none.
std::string FindAssociatedProgram(platform::IShell& shell, std::string_view extension);

// Splits a registered command line into its program and its parameters, e.g.
// "\"C:\\Prog\\app.exe\" \"%1\"" into "C:\\Prog\\app.exe" and "%1",
// "/usr/bin/firefox %u" into "/usr/bin/firefox" and "%u".
void SplitCommandLine(std::string_view command, std::string& program, std::string& parameters);

// Opens a URL ("http://" is put in front when it names no scheme) in the registered browser
// when asked to and one is found, else with the desktop's handler. The outcome is not awaited.
void OpenUrl(platform::IShell& shell, std::string_view url, bool useRegisteredBrowser);

// --- Files ---

// A date-time as a file time at the resolution of a DOS time stamp (2 seconds, years 1980 to
// 2107). Its fields are taken as UTC. Empty when the date-time cannot be represented.
std::optional<platform::FileTime> DateTimeToFileTimeValue(TDateTime dateTime);

// Leaves a file time unchanged when its value is exactly this.
inline constexpr TDateTime kKeepFileDate = -1;

// Sets the times of an existing file; each value other than kKeepFileDate replaces its time, one
// that cannot be represented keeps it. False when the file cannot be opened for writing or the
// times cannot be written.
bool SetFileDates(platform::IFiles& files, std::string_view fileName, TDateTime creation,
                  TDateTime lastWrite, TDateTime lastAccess);

// The size of a file, or -1 when it cannot be opened.
std::int64_t GetFileSize64(platform::IFiles& files, std::string_view fileName);

enum TkxFileAttribute : std::uint8_t {
    atrArchive,
    atrHidden,
    atrReadOnly,
    atrSystem,
    atrTemporary,
    atrOffline,
};

using TkxFileAttributes = framework::TEnumSet<TkxFileAttribute, atrOffline>;

// The platform's attribute bits for a set (0 for the empty set).
std::uint32_t FileAttributeBits(TkxFileAttributes attributes);
// Sets exactly the attributes of the set; false when the platform refuses.
bool SetFileAttributeSet(platform::IFiles& files, std::string_view fileName,
                         TkxFileAttributes attributes);

// --- Resources ---

// Writes a resource's bytes to the stream. False when the module or the stream is missing, the
// resource is not found or has no bytes, or the stream takes fewer bytes than given.
bool ResourceToStream(const platform::ResourceModule* module, std::string_view name,
                      std::string_view type, framework::TStream* stream);

// --- Application and waiting ---

// Closes the main form, when there is one, then asks the application to terminate. The one
// function here that is about windows, so the one that takes the whole application.
void CloseApplication(framework::IApplication& app);

// Zeroes a self-sized record and stores its size in its first four bytes (a record shorter
// than that is only zeroed).
void InitSizedRecord(void* record, std::uint32_t size);

// The signal of a running WaitForSignal, through which other code ends the wait. Invalid while
// no wait runs. Safe to use from any thread.
class TkxSignalHandle {
  public:
    TkxSignalHandle() = default;
    TkxSignalHandle(const TkxSignalHandle&) = delete;
    TkxSignalHandle& operator=(const TkxSignalHandle&) = delete;

    bool Valid() const;

  private:
    friend framework::PumpedWait WaitForSignal(framework::IUiThread&, TkxSignalHandle&,
                                               std::uint32_t, bool);
    friend void RaiseSignal(TkxSignalHandle& handle);

    mutable std::mutex mutex_;
    std::shared_ptr<framework::Signal> signal_;
};

// Waits, serving the application's messages, until RaiseSignal(handle) is called, timeoutMs
// passes without any message (every message starts the time-out again; 0 = no limit), or, with
// stopOnTerminate, the application is asked to terminate. The handle is valid during the wait
// only. UI thread.
framework::PumpedWait WaitForSignal(framework::IUiThread& ui, TkxSignalHandle& handle,
                                    std::uint32_t timeoutMs, bool stopOnTerminate);
// Ends the wait the handle belongs to; does nothing when no wait runs.
void RaiseSignal(TkxSignalHandle& handle);

}  // namespace pw
