#include "util/kxUtilsSystem.h"

#include <array>
#include <cassert>
#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

#include "framework/Application.h"

namespace pw {
namespace {

constexpr char kDelim = platform::kPathDelim;
constexpr bool kWindowsPaths = platform::kPathDelim == '\\';
// What ends a folder part: the delimiter, and on Windows a drive's colon.
constexpr std::string_view kFolderEnds = kWindowsPaths ? std::string_view("\\:") : "/";

std::string IncludeTrailingDelim(std::string path) {
    if (path.empty() || path.back() != kDelim) path += kDelim;
    return path;
}

// Index just past the folder part (0 when there is none).
std::size_t FileNameStart(std::string_view path) {
    const std::size_t p = path.find_last_of(kFolderEnds);
    return p == std::string_view::npos ? 0 : p + 1;
}

std::string ExtractFilePath(std::string_view path) {
    return std::string(path.substr(0, FileNameStart(path)));
}

std::string ExtractFileName(std::string_view path) {
    return std::string(path.substr(FileNameStart(path)));
}

// From the last "." of the file-name part to the end, or empty.
std::string ExtractFileExt(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < FileNameStart(path)) return {};
    return std::string(path.substr(dot));
}

// Where each folder kind comes from. The row index is the kind and the macro's place in the
// expansion order.
enum class FolderSource { App, Platform, Temp, None };

struct FolderKindRow {
    std::string_view macro;
    FolderSource source;
    platform::Folder folder;  // read for Platform rows only
};

using F = platform::Folder;
constexpr std::array<FolderKindRow, fkNone + 1> kFolderKinds = {{
    {"%current%", FolderSource::App, F::Windows},
    {"%desktop%", FolderSource::Platform, F::Desktop},
    {"%mydocuments%", FolderSource::Platform, F::Personal},
    {"%mypictures%", FolderSource::Platform, F::MyPictures},
    {"%appdata%", FolderSource::Platform, F::AppData},
    {"%programfiles%", FolderSource::Platform, F::ProgramFiles},
    {"%windows%", FolderSource::Platform, F::Windows},
    {"%system%", FolderSource::Platform, F::System},
    {"%temp%", FolderSource::Temp, F::Windows},
    {"%help%", FolderSource::Platform, F::Help},
    {"%media%", FolderSource::Platform, F::Media},
    {"%cursors%", FolderSource::Platform, F::Cursors},
    {"", FolderSource::None, F::Windows},
}};

// Replaces every occurrence of an all-lower-case macro, ignoring the case of text.
std::string ReplaceAllNoCase(const std::string& text, std::string_view macro,
                             std::string_view value) {
    const std::string lower = LowerCase(text);
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = lower.find(macro); at != std::string::npos;
         at = lower.find(macro, from)) {
        out.append(text, from, at - from);
        out.append(value);
        from = at + macro.size();
    }
    out.append(text, from);
    return out;
}

constexpr std::string_view kRegKeyDelim = "\\";
constexpr std::string_view kRemoteAccessKey = "System\\CurrentControlSet\\Services\\RemoteAccess";
constexpr std::string_view kRemoteConnectionValue = "Remote Connection";

// A DOS time stamp covers 1980-01-01 up to the end of 2107.
constexpr TDateTime DaysSince1899(std::chrono::year_month_day date) {
    using namespace std::chrono;
    return static_cast<TDateTime>((sys_days{date} - sys_days{year{1899} / December / 30}).count());
}
constexpr TDateTime kDosFirst = DaysSince1899(std::chrono::year{1980} / 1 / 1);
constexpr TDateTime kDosEnd = DaysSince1899(std::chrono::year{2108} / 1 / 1);
constexpr std::int64_t kFileTicksPerSecond = 10'000'000;

// The platform's attribute bit of each TkxFileAttribute, by ordinal.
constexpr std::array<std::pair<TkxFileAttribute, std::uint32_t>, 6> kAttributeBits = {{
    {atrArchive, platform::kAttrArchive},
    {atrHidden, platform::kAttrHidden},
    {atrReadOnly, platform::kAttrReadOnly},
    {atrSystem, platform::kAttrSystem},
    {atrTemporary, platform::kAttrTemporary},
    {atrOffline, platform::kAttrOffline},
}};

}  // namespace

// --- Start-up environment ---

TkxEnvironment::TkxEnvironment(platform::Os& os, const TkxInstallLayout& layout) : Os(os) {
    AppExeName = os.system.ExecutablePath();
    AppFolder = ExtractFilePath(AppExeName);
    // A program whose own folder is not writable may have been redirected into the user's
    // VirtualStore; its real working place is then the current directory.
    const std::string virtualStore =
        std::string(1, kDelim) + "appdata" + kDelim + "local" + kDelim + "virtualstore";
    if (IsVistaOrLater(os.system) && LowerCase(AppFolder).find(virtualStore) != std::string::npos) {
        const std::string exeName = ExtractFileName(AppExeName);
        AppFolder = IncludeTrailingDelim(os.system.CurrentDirectory());
        AppExeName = AppFolder + exeName;
    }
    DataFolder = InstalledDataFolder(AppFolder, layout);
}

std::string InstalledDataFolder(std::string_view appFolder, const TkxInstallLayout& layout) {
    if (layout.binFolder.empty() || layout.docFolder.empty() || appFolder.empty()) return {};
    if (IncludeTrailingDelim(std::string(appFolder)) != IncludeTrailingDelim(layout.binFolder))
        return {};
    return IncludeTrailingDelim(layout.docFolder);
}

// --- Folders and paths ---

std::vector<std::string> ShippedFilePlaces(const TkxEnvironment& env,
                                           std::string_view besideProgram) {
    std::vector<std::string> places{std::string(besideProgram)};
    // An installation into one folder has its data beside the program: named once.
    if (!env.DataFolder.empty() && env.DataFolder != ExtractFilePath(besideProgram))
        places.push_back(env.DataFolder + ExtractFileName(besideProgram));
    return places;
}

std::string FindShippedFile(const TkxEnvironment& env, std::string_view besideProgram) {
    for (std::string& place : ShippedFilePlaces(env, besideProgram))
        if (env.Os.files.FileSize(place) >= 0) return place;
    return {};
}

std::string GetTempFolder(const TkxEnvironment& env) {
    std::string temp = IncludeTrailingDelim(env.Os.system.TempPath());
    return FolderExists(env.Os.files, temp) ? temp : env.AppFolder;
}

std::string GetSystemFolder(platform::ISystem& system) {
    return IncludeTrailingDelim(system.FolderPath(platform::Folder::System));
}

std::string GetWindowsFolder(platform::ISystem& system) {
    return IncludeTrailingDelim(system.FolderPath(platform::Folder::Windows));
}

std::string GetFolderByKind(const TkxEnvironment& env, int kind) {
    if (kind < 0 || kind > fkNone) kind = fkCurrent;
    switch (kFolderKinds[static_cast<std::size_t>(kind)].source) {
        case FolderSource::App:
            return IncludeTrailingDelim(env.AppFolder);
        case FolderSource::Temp:
            return IncludeTrailingDelim(GetTempFolder(env));
        case FolderSource::None:
            return {};
        case FolderSource::Platform:
            return IncludeTrailingDelim(
                env.Os.system.FolderPath(kFolderKinds[static_cast<std::size_t>(kind)].folder));
    }
    return {};
}

std::string ExpandFolderMacros(const TkxEnvironment& env, std::string_view path,
                               bool makeAbsolute) {
    std::string result(path);
    for (int kind = 0; kind < fkNone; ++kind) {
        const std::string_view macro = kFolderKinds[static_cast<std::size_t>(kind)].macro;
        if (LowerCase(result).find(macro) == std::string::npos) continue;
        result = ReplaceAllNoCase(result, macro, GetFolderByKind(env, kind));
    }
    if (makeAbsolute && result.size() >= 3 && result[0] != kDelim &&
        !(kWindowsPaths && result[1] == ':')) {
        result.insert(0, env.AppFolder);
    }
    return result;
}

bool FolderExists(platform::IFiles& files, std::string_view path) {
    const std::uint32_t attributes = files.GetAttributes(path);
    return attributes != platform::kInvalidAttributes &&
           (attributes & platform::kAttrDirectory) != 0;
}

void ForceFileFolders(platform::IFiles& files, std::string_view fileName) {
    const std::size_t end = FileNameStart(fileName);
    for (std::size_t i = 0; i < end; ++i) {
        // The result is of no interest: a folder that exists, or a drive root, fails harmlessly.
        if (fileName[i] == kDelim) (void)files.CreateFolder(fileName.substr(0, i + 1));
    }
}

bool IsVistaOrLater(platform::ISystem& system) {
    return system.Version().major > 5;
}

// --- Registry ---

bool RegOpenKeyPath(platform::IRegistry& registry, TkxRegKey& key, std::string_view subKey,
                    bool create) {
    const std::string sub = StripLeadingChar(subKey, kRegKeyDelim[0]);
    std::string path = key.path;
    if (!sub.empty()) path = path.empty() ? sub : path + std::string(kRegKeyDelim) + sub;
    // A root key is always there.
    if (path.empty()) return true;
    if (registry.OpenKey(key.root, path, create) != platform::RegStatus::Ok) return false;
    key.path = std::move(path);
    return true;
}

bool RegQueryData(platform::IRegistry& registry, const TkxRegKey& key, std::string_view valueName,
                  platform::RegType& type, std::uint32_t& bufferSize, void* buffer) {
    platform::RegValue value;
    if (registry.QueryValue(key.root, key.path, valueName, value) != platform::RegStatus::Ok)
        return false;
    type = value.type;
    const auto size = static_cast<std::uint32_t>(value.data.size());
    if (buffer != nullptr) {
        if (size > bufferSize) {
            bufferSize = size;
            return false;
        }
        std::memcpy(buffer, value.data.data(), size);
    }
    bufferSize = size;
    const bool isText = type == platform::RegType::Sz || type == platform::RegType::ExpandSz;
    return !(isText && size == 0);
}

bool RegReadString(platform::IRegistry& registry, platform::RegRoot root, std::string_view subKey,
                   std::string_view valueName, std::string& text) {
    text.clear();
    TkxRegKey key{root, {}};
    if (!RegOpenKeyPath(registry, key, subKey, false)) return false;
    std::array<char, kRegReadStringBufferSize> buffer{};
    std::uint32_t size = buffer.size();
    platform::RegType type = platform::RegType::None;
    if (RegQueryData(registry, key, valueName, type, size, buffer.data())) {
        const std::string_view data(buffer.data(), size);
        text = std::string(data.substr(0, data.find('\0')));
    }
    return true;
}

// --- Network ---

bool IsConnectedToNetwork(const TkxEnvironment& env) {
    TkxRegKey key{platform::RegRoot::LocalMachine, {}};
    if (RegOpenKeyPath(env.Os.registry, key, kRemoteAccessKey, false)) {
        std::array<unsigned char, 4> flag{};
        std::uint32_t size = flag.size();
        platform::RegType type = platform::RegType::None;
        if (RegQueryData(env.Os.registry, key, kRemoteConnectionValue, type, size, flag.data()))
            return flag[0] == 1;
    }
    return HasNonLoopbackAddress(env.Os.system);
}

bool HasNonLoopbackAddress(platform::ISystem& system) {
    return system.HasNonLoopbackAddress();
}

// --- Shell ---

std::string FindAssociatedProgram(platform::IShell& shell, std::string_view extension) {
    if (extension.empty() || extension == ".") return {};
    try {
        const std::string command = shell.AssociatedCommand(extension);
        std::string program, parameters;
        SplitCommandLine(command, program, parameters);
        return program;
    } catch (...) {
        return {};
    }
}

void SplitCommandLine(std::string_view command, std::string& program, std::string& parameters) {
    program.clear();
    parameters.clear();
    std::string cmd = Trim(command);
    if (cmd.empty()) return;

    bool quoted = false;
    if (const std::size_t open = cmd.find('"'); open != std::string::npos) {
        cmd.erase(open, 1);
        if (const std::size_t close = cmd.find('"'); close != std::string::npos) {
            cmd.erase(close, 1);
            quoted = true;
            if (open == 0) {
                // "program" params: the character after the closing quote is the separator.
                program = cmd.substr(0, close);
                parameters = close + 1 < cmd.size() ? Trim(cmd.substr(close + 1)) : "";
                for (int i = 0; i < 2; ++i) {
                    const std::size_t q = parameters.find('"');
                    if (q == std::string::npos) break;
                    parameters.erase(q, 1);
                }
            } else {
                // program "params": the character before the opening quote is the separator.
                parameters = cmd.substr(open);
                program = cmd.substr(0, open - 1);
            }
        }
    }

    if (!quoted) {
        // The delimiters in the order they are tried; all but "," stay in front of the
        // parameters.
        static constexpr std::array<std::pair<std::string_view, TkxSplitOptions>, 5> kSplitters = {{
            {" -", soDelimiterToRight},
            {" /", soDelimiterToRight},
            {" \\", soDelimiterToRight},
            {",", 0},
            {" %", soDelimiterToRight},
        }};
        program = cmd;
        for (const auto& [delimiter, options] : kSplitters) {
            std::string left, right;
            SplitAt(delimiter, cmd, options, false, left, right);
            if (!right.empty()) {
                program = std::move(left);
                parameters = std::move(right);
                break;
            }
        }
        // A split that cuts the program's own name short (a blank and dash inside a folder
        // name) would lose its extension: keep the command whole instead.
        if (!ExtractFileExt(cmd).empty() && ExtractFileExt(program).empty()) {
            program = cmd;
            parameters.clear();
        }
    }

    // "rundll32.exe library.dll,Entry %1": the runner is the program, the library its parameter.
    if (UpperCase(ExtractFileExt(program)) == ".DLL" &&
        UpperCase(program).find("RUNDLL") != std::string::npos) {
        std::string left, right;
        SplitAt(" ", ExtractFileName(cmd), 0, false, left, right);
        program = ExtractFilePath(cmd) + left;
        parameters = std::move(right);
    }

    program = Trim(program);
    parameters = Trim(parameters);
}

void OpenUrl(platform::IShell& shell, std::string_view url, bool useRegisteredBrowser) {
    std::string target(url);
    if (target.find("://") == std::string::npos) target.insert(0, "http://");
    try {
        if (useRegisteredBrowser) {
            const std::string browser = FindAssociatedProgram(shell, ".html");
            // A registered handler that cannot be started as a plain program (a wrapper such
            // as "flatpak run ...") must not swallow the page: the desktop then opens it.
            if (!browser.empty() && shell.ShellOpen(browser, target)) return;
        }
        (void)shell.ShellOpen(target, "");
    } catch (...) {
        // Opening a page is a courtesy to the user; its failure is not the caller's concern.
    }
}

// --- Files ---

std::optional<platform::FileTime> DateTimeToFileTimeValue(TDateTime dateTime) {
    if (!std::isfinite(dateTime) || dateTime < kDosFirst || dateTime >= kDosEnd)
        return std::nullopt;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    DecodeDateTime(dateTime, y, mo, d, h, mi, s, ms);
    // Rounding to whole milliseconds can carry the last instant of 2107 into 2108.
    if (y < 1980 || y > 2107) return std::nullopt;

    using namespace std::chrono;
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)},
                              day{static_cast<unsigned>(d)}};
    if (!date.ok()) return std::nullopt;
    const std::int64_t days = (sys_days{date} - sys_days{year{1601} / January / 1}).count();
    const std::int64_t seconds = days * 86400 + h * 3600 + mi * 60 + (s / 2) * 2;
    return seconds * kFileTicksPerSecond;
}

bool SetFileDates(platform::IFiles& files, std::string_view fileName, TDateTime creation,
                  TDateTime lastWrite, TDateTime lastAccess) {
    // A value that cannot be represented keeps its time rather than writing a made-up one.
    const auto convert = [](TDateTime t) -> std::optional<platform::FileTime> {
        if (t == kKeepFileDate) return std::nullopt;
        return DateTimeToFileTimeValue(t);
    };
    return files.SetFileTimes(fileName, convert(creation), convert(lastAccess), convert(lastWrite));
}

std::int64_t GetFileSize64(platform::IFiles& files, std::string_view fileName) {
    return files.FileSize(fileName);
}

std::uint32_t FileAttributeBits(TkxFileAttributes attributes) {
    std::uint32_t bits = 0;
    for (const auto& [attribute, bit] : kAttributeBits) {
        if (attributes.Contains(attribute)) bits |= bit;
    }
    return bits;
}

bool SetFileAttributeSet(platform::IFiles& files, std::string_view fileName,
                         TkxFileAttributes attributes) {
    return files.SetAttributes(fileName, FileAttributeBits(attributes));
}

// --- Resources ---

bool ResourceToStream(const platform::ResourceModule* module, std::string_view name,
                      std::string_view type, framework::TStream* stream) {
    if (module == nullptr || stream == nullptr) return false;
    try {
        const auto bytes = module->Find(name, type);
        if (!bytes || bytes->empty()) return false;
        const auto size = static_cast<std::int64_t>(bytes->size());
        return stream->Write(bytes->data(), size) == size;
    } catch (...) {
        return false;
    }
}

// --- Application and waiting ---

void CloseApplication(framework::IApplication& app) {
    assert(app.IsUiThread());
    if (framework::IForm* form = app.MainForm()) form->Close();
    app.Terminate();
}

void InitSizedRecord(void* record, std::uint32_t size) {
    if (record == nullptr) return;
    std::memset(record, 0, size);
    if (size >= sizeof size) std::memcpy(record, &size, sizeof size);
}

bool TkxSignalHandle::Valid() const {
    std::lock_guard lock(mutex_);
    return signal_ != nullptr;
}

framework::PumpedWait WaitForSignal(framework::IUiThread& ui, TkxSignalHandle& handle,
                                    std::uint32_t timeoutMs, bool stopOnTerminate) {
    assert(ui.IsUiThread());
    const auto signal = std::make_shared<framework::Signal>();
    std::shared_ptr<framework::Signal> outer;
    {
        std::lock_guard lock(handle.mutex_);
        outer = std::exchange(handle.signal_, signal);
    }
    // A wait started by a message handler during another wait on the same handle gives the
    // handle back to the outer wait when it ends, so the outer wait can still be ended.
    struct Restore {
        TkxSignalHandle& handle;
        std::shared_ptr<framework::Signal>& outer;
        ~Restore() {
            std::lock_guard lock(handle.mutex_);
            handle.signal_ = std::move(outer);
        }
    } restore{handle, outer};

    return framework::WaitPumping(ui, *signal, timeoutMs == 0 ? framework::kInfinite : timeoutMs,
                                  stopOnTerminate);
}

void RaiseSignal(TkxSignalHandle& handle) {
    std::shared_ptr<framework::Signal> signal;
    {
        std::lock_guard lock(handle.mutex_);
        signal = handle.signal_;
    }
    if (signal) signal->Set();
}

}  // namespace pw
