#include "util/kxUtilsSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <ranges>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "platform/native/NativeOs.h"
#include "tests/support/TempDir.h"

namespace pw {
namespace {

using platform::Folder;
using platform::RegRoot;
using platform::RegStatus;
using platform::RegValue;

// A path written with "/" in the system's own delimiter, which is what the functions split at.
std::string Native(std::string path) {
    std::ranges::replace(path, '/', platform::kPathDelim);
    return path;
}

// Stands in for the system where Linux cannot produce the case (folders, versions, addresses).
class FakeSystem final : public platform::ISystem {
  public:
    std::string exe = Native("/opt/pw/pagewarden");
    std::string cwd = Native("/work/cur");
    std::string temp;
    std::map<Folder, std::string> folders;
    platform::OsVersion version{6, 1, 0};
    bool online = false;

    std::string ExecutablePath() override { return exe; }
    std::string CurrentDirectory() override { return cwd; }
    std::string TempPath() override { return temp; }
    std::string FolderPath(Folder f) override { return folders.count(f) ? folders[f] : ""; }
    platform::OsVersion Version() override { return version; }
    int TimeZoneBiasMinutes() override { return 0; }
    std::uint16_t DefaultLanguage() override { return 0x0409; }
    bool HasNonLoopbackAddress() override { return online; }
};

class SystemUtils : public ::testing::Test {
  protected:
    SystemUtils() { fake.temp = dir.path().string() + platform::kPathDelim; }

    TDateTime Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
        TDateTime date = 0, time = 0;
        EXPECT_TRUE(TryEncodeDate(y, mo, d, date) && TryEncodeTime(h, mi, s, 0, time));
        return date + time;
    }
    // A UTC calendar time as a Windows file time, computed from the Unix epoch.
    static platform::FileTime FileTimeOf(std::chrono::sys_seconds t) {
        return (t.time_since_epoch().count() + 11644473600LL) * 10'000'000LL;
    }

    test::TempDir dir;
    platform::NativeOs native{{dir.path() / "config", [](const std::string&) {}}};
    FakeSystem fake;
    platform::Os os{native.os().registry, native.os().files, native.os().shell, fake};
    platform::IFiles& files = native.os().files;
    platform::IRegistry& registry = native.os().registry;
};

TEST_F(SystemUtils, EnvironmentTakesTheCurrentDirectoryOnlyForAVirtualStoreFolder) {
    fake.exe = Native("/home/u/AppData/Local/VirtualStore/Program Files/pw/pw.exe");
    TkxEnvironment redirected(os);
    EXPECT_EQ(redirected.AppFolder, Native("/work/cur/"));
    EXPECT_EQ(redirected.AppExeName, Native("/work/cur/pw.exe"));

    fake.version.major = 5;  // before the VirtualStore existed
    TkxEnvironment old(os);
    EXPECT_EQ(old.AppFolder, Native("/home/u/AppData/Local/VirtualStore/Program Files/pw/"));

    TkxEnvironment real(native.os());
    EXPECT_TRUE(std::filesystem::is_regular_file(real.AppExeName));
}

TEST(InstalledDataFolder, OnlyAProgramInTheLayoutsBinFolderHasOne) {
    const TkxInstallLayout usr{"/usr/bin", "/usr/share/doc/pagewarden"};
    const std::tuple<std::string, TkxInstallLayout, std::string> cases[] = {
        {"/usr/bin/", usr, "/usr/share/doc/pagewarden/"},
        {"/usr/bin", {"/usr/bin/", "/usr/share/doc/pagewarden/"}, "/usr/share/doc/pagewarden/"},
        {"/usr/local/bin/", usr, ""},
        {"/usr/bin/sub/", usr, ""},
        {"/home/u/pagewarden/build/app/", usr, ""},
        {"", usr, ""},
        {"/usr/bin/", {}, ""},
        {"/usr/bin/", {"/usr/bin", ""}, ""},
    };
    for (const auto& [appFolder, layout, expected] : cases) {
        const TkxInstallLayout native{Native(layout.binFolder), Native(layout.docFolder)};
        EXPECT_EQ(InstalledDataFolder(Native(appFolder), native), Native(expected)) << appFolder;
    }
}

TEST_F(SystemUtils, ShippedFilesAreBesideTheProgramElseInAnInstalledProgramsDataFolder) {
    // A real prefix: the program in bin/, its guide (maybe) in share/doc/pagewarden/.
    const std::filesystem::path prefix = dir.path() / "prefix";
    const TkxInstallLayout layout{Native((prefix / "bin").string()),
                                  Native((prefix / "share/doc/pagewarden").string())};
    std::filesystem::create_directories(layout.binFolder);
    std::filesystem::create_directories(layout.docFolder);
    const std::string beside = Native(dir / "prefix/bin/pagewarden.pdf");
    const std::string inDoc = Native(dir / "prefix/share/doc/pagewarden/pagewarden.pdf");
    const auto place = [&](bool besideIt, bool inDocFolder) {
        std::filesystem::remove(beside);
        std::filesystem::remove(inDoc);
        if (besideIt) dir.Write("prefix/bin/pagewarden.pdf", "%PDF-1.4");
        if (inDocFolder) dir.Write("prefix/share/doc/pagewarden/pagewarden.pdf", "%PDF-1.4");
    };

    fake.exe = Native(dir / "prefix/bin/pagewarden");
    const TkxEnvironment installed(os, layout);
    EXPECT_EQ(installed.DataFolder, layout.docFolder + platform::kPathDelim);
    EXPECT_EQ(ShippedFilePlaces(installed, beside), (std::vector<std::string>{beside, inDoc}));
    const std::tuple<bool, bool, std::string> cases[] = {
        {false, true, inDoc},
        {true, true, beside},
        {true, false, beside},
        {false, false, ""},
    };
    for (const auto& [besideIt, inDocFolder, found] : cases) {
        place(besideIt, inDocFolder);
        EXPECT_EQ(FindShippedFile(installed, beside), found) << besideIt << inDocFolder;
    }

    // Run from anywhere else, the program looks beside itself only.
    fake.exe = Native(dir / "build/pagewarden");
    const TkxEnvironment built(os, layout);
    const std::string builtGuide = Native(dir / "build/pagewarden.pdf");
    EXPECT_EQ(built.DataFolder, "");
    EXPECT_EQ(ShippedFilePlaces(built, builtGuide), std::vector<std::string>{builtGuide});
    place(false, true);
    EXPECT_EQ(FindShippedFile(built, builtGuide), "");

    // Installed into one folder: the guide is named once.
    fake.exe = Native(dir / "prefix/bin/pagewarden");
    const TkxEnvironment oneFolder(os, {layout.binFolder, layout.binFolder});
    EXPECT_EQ(ShippedFilePlaces(oneFolder, beside), std::vector<std::string>{beside});
}

TEST_F(SystemUtils, FolderKindsAndTheirMacrosComeFromTheirOwnSources) {
    const std::tuple<int, Folder, const char*> platformKinds[] = {
        {fkDesktop, Folder::Desktop, "%Desktop%"},
        {fkMyDocuments, Folder::Personal, "%MyDocuments%"},
        {fkMyPictures, Folder::MyPictures, "%MYPICTURES%"},
        {fkAppData, Folder::AppData, "%appdata%"},
        {fkProgramFiles, Folder::ProgramFiles, "%ProgramFiles%"},
        {fkWindows, Folder::Windows, "%windows%"},
        {fkSystem, Folder::System, "%System%"},
        {fkHelp, Folder::Help, "%help%"},
        {fkMedia, Folder::Media, "%Media%"},
        {fkCursors, Folder::Cursors, "%cursors%"}};
    for (const auto& [kind, folder, macro] : platformKinds)
        fake.folders[folder] = Native("/f" + std::to_string(kind));
    TkxEnvironment env(os);
    for (const auto& [kind, folder, macro] : platformKinds) {
        const std::string expected = Native("/f" + std::to_string(kind) + "/");
        EXPECT_EQ(GetFolderByKind(env, kind), expected) << kind;
        EXPECT_EQ(ExpandFolderMacros(env, std::string(macro) + "x", false), expected + "x");
    }
    EXPECT_EQ(GetFolderByKind(env, fkCurrent), Native("/opt/pw/"));
    EXPECT_EQ(GetFolderByKind(env, fkTemp), fake.temp);
    EXPECT_EQ(GetFolderByKind(env, fkNone), "");
    EXPECT_EQ(GetFolderByKind(env, 13), Native("/opt/pw/"));
    EXPECT_EQ(GetFolderByKind(env, -1), Native("/opt/pw/"));

    // Every occurrence is replaced, the folder's delimiter included.
    EXPECT_EQ(ExpandFolderMacros(env, "%TEMP%x.exe", false), fake.temp + "x.exe");
    EXPECT_EQ(ExpandFolderMacros(env, "%Desktop%a;%DESKTOP%b;%windows%%current%c", false),
              Native("/f1/a;/f1/b;/f6//opt/pw/c"));
    EXPECT_EQ(ExpandFolderMacros(env, "%unknown%x", false), "%unknown%x");
    EXPECT_EQ(ExpandFolderMacros(env, Native("sub/x.exe"), true), Native("/opt/pw/sub/x.exe"));
    EXPECT_EQ(ExpandFolderMacros(env, Native("sub/x.exe"), false), Native("sub/x.exe"));
    EXPECT_EQ(ExpandFolderMacros(env, Native("/x.exe"), true), Native("/x.exe"));
    EXPECT_EQ(ExpandFolderMacros(env, "ab", true), "ab");
    EXPECT_EQ(ExpandFolderMacros(env, "abc", true), Native("/opt/pw/abc"));
#ifdef _WIN32
    EXPECT_EQ(ExpandFolderMacros(env, "C:x.exe", true), "C:x.exe");  // a drive names a place
#endif

    fake.folders.erase(Folder::Desktop);
    EXPECT_EQ(GetFolderByKind(env, fkDesktop), Native("/"));  // unknown folder: just the delimiter
    fake.temp = (dir.path() / "missing").string();
    EXPECT_EQ(GetTempFolder(env), Native("/opt/pw/"));
}

TEST_F(SystemUtils, ForceFileFoldersCreatesEveryFolderOfThePath) {
    const std::string file = Native(dir / "a/b/c/file.txt");
    ForceFileFolders(files, file);
    ForceFileFolders(files, file);  // existing folders are no failure
    EXPECT_TRUE(FolderExists(files, Native(dir / "a/b/c")));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(FolderExists(files, dir.Write("plain", "x")));
    EXPECT_FALSE(FolderExists(files, dir / "missing"));
}

TEST(SplitCommandLine, SplitsRegisteredCommands) {
    struct Case {
        std::string command, program, parameters;
    };
    const Case cases[] = {
        {R"("C:\Program Files\App\app.exe" "%1")", R"(C:\Program Files\App\app.exe)", "%1"},
        {R"(C:\Prog\app.exe "%1")", R"(C:\Prog\app.exe)", "%1"},
        {R"(C:\Prog\app.exe -nohome)", R"(C:\Prog\app.exe)", "-nohome"},
        {"/usr/bin/firefox %u", "/usr/bin/firefox", "%u"},
        {"/usr/bin/app --new-window %u", "/usr/bin/app", "--new-window %u"},
        {"/usr/bin/app /x", "/usr/bin/app", "/x"},
        {"app.exe,arg", "app.exe", "arg"},
        {R"(/usr/bin/app "%u)", "/usr/bin/app", "%u"},  // an unpaired quote is dropped
        {R"("/opt/My App/run")", "/opt/My App/run", ""},
        // The split would cut the program's name before its extension: kept whole.
        {R"(C:\My -Folder\app.exe)", R"(C:\My -Folder\app.exe)", ""},
        {"rundll32.exe shimgvw.dll,ImageView_Fullscreen %1", "rundll32.exe",
         "shimgvw.dll,ImageView_Fullscreen %1"},
        {"  /usr/bin/app  ", "/usr/bin/app", ""},
        {"   ", "", ""},
    };
    for (const Case& c : cases) {
        std::string program = "stale", parameters = "stale";
        SplitCommandLine(c.command, program, parameters);
        EXPECT_EQ(program, c.program) << c.command;
        EXPECT_EQ(parameters, c.parameters) << c.command;
    }
}

// Records what the shell was asked to open.
class RecordingShell final : public platform::IShell {
  public:
    std::string association;
    std::string unstartable;  // a program this shell fails to start
    std::vector<std::pair<std::string, std::string>> opened;
    bool ShellOpen(std::string_view file, std::string_view parameters) override {
        opened.emplace_back(file, parameters);
        return file != unstartable;
    }
    bool StartProcess(const std::string&, const std::vector<std::string>&) override { return true; }
    std::string AssociatedCommand(std::string_view) override { return association; }
};

TEST(OpenUrl, UsesTheRegisteredBrowserOnlyWhenAskedFoundAndStartable) {
    RecordingShell shell;
    shell.association = "/usr/bin/firefox-esr %u";
    EXPECT_EQ(FindAssociatedProgram(shell, ".html"), "/usr/bin/firefox-esr");
    EXPECT_EQ(FindAssociatedProgram(shell, "."), "");
    OpenUrl(shell, "example.org/a", true);
    OpenUrl(shell, "https://example.org", false);
    // A registered browser that cannot start hands the page to the desktop.
    shell.association = "flatpak run org.example.Browser %u";
    shell.unstartable = "flatpak run org.example.Browser";
    OpenUrl(shell, "example.org", true);
    shell.association.clear();
    OpenUrl(shell, "ftp://example.org", true);
    EXPECT_THAT(shell.opened,
                ::testing::ElementsAre(std::pair("/usr/bin/firefox-esr", "http://example.org/a"),
                                       std::pair("https://example.org", ""),
                                       std::pair(shell.unstartable, "http://example.org"),
                                       std::pair("http://example.org", ""),
                                       std::pair("ftp://example.org", "")));
}

TEST_F(SystemUtils, SetFileDatesWritesDosResolutionTimesAndKeepsTheOthers) {
    using namespace std::chrono;
    const std::string file = dir.Write("f.txt", "x");
    ASSERT_TRUE(SetFileDates(files, file, kKeepFileDate, Date(2021, 3, 4, 5, 6, 7),
                             Date(1999, 12, 31, 23, 59, 58)));
    const auto times = files.GetFileTimes(file);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->lastWrite, FileTimeOf(sys_days{2021y / 3 / 4} + 5h + 6min + 6s));
    EXPECT_EQ(times->lastAccess, FileTimeOf(sys_days{1999y / 12 / 31} + 23h + 59min + 58s));

    // A year a DOS time stamp cannot hold keeps its time rather than writing a bogus one.
    EXPECT_TRUE(SetFileDates(files, file, kKeepFileDate, Date(1970, 1, 1), Date(2108, 1, 1)));
    EXPECT_EQ(files.GetFileTimes(file)->lastWrite, times->lastWrite);
    EXPECT_EQ(files.GetFileTimes(file)->lastAccess, times->lastAccess);
    EXPECT_FALSE(SetFileDates(files, dir / "missing", kKeepFileDate, Date(2021, 1, 1), -1));
}

TEST_F(SystemUtils, DateTimeToFileTimeValueCoversTheDosRangeOnly) {
    using namespace std::chrono;
    EXPECT_EQ(DateTimeToFileTimeValue(Date(1980, 1, 1)), FileTimeOf(sys_days{1980y / 1 / 1}));
    EXPECT_EQ(DateTimeToFileTimeValue(Date(2107, 12, 31, 23, 59, 59)),
              FileTimeOf(sys_days{2107y / 12 / 31} + 23h + 59min + 58s));
    EXPECT_FALSE(DateTimeToFileTimeValue(Date(1979, 12, 31, 23, 59, 59)));
    EXPECT_FALSE(DateTimeToFileTimeValue(Date(2108, 1, 1)));
    EXPECT_FALSE(DateTimeToFileTimeValue(std::nan("")));
    EXPECT_FALSE(DateTimeToFileTimeValue(1e300));
}

TEST_F(SystemUtils, FileSizesAndAttributeSets) {
    const std::string file = dir.Write("five", "12345");
    EXPECT_EQ(GetFileSize64(files, file), 5);

    EXPECT_EQ((TkxFileAttributes{atrReadOnly, atrHidden}),
              (TkxFileAttributes{atrHidden, atrOffline}.Include(atrReadOnly).Exclude(atrOffline)));
    EXPECT_EQ(FileAttributeBits({}), 0u);
    const std::pair<TkxFileAttribute, std::uint32_t> windowsBits[] = {
        {atrArchive, 0x20}, {atrHidden, 0x02},     {atrReadOnly, 0x01},
        {atrSystem, 0x04},  {atrTemporary, 0x100}, {atrOffline, 0x1000}};
    TkxFileAttributes all;
    for (const auto& [attribute, bit] : windowsBits) {
        EXPECT_EQ(FileAttributeBits({attribute}), bit) << int(attribute);
        all.Include(attribute);
    }
    EXPECT_EQ(FileAttributeBits(all), 0x1127u);

    // Only the bits a set can hold are compared, less archive: Wine reports it on every file.
    const std::uint32_t compared = FileAttributeBits(all) & ~platform::kAttrArchive;
    ASSERT_TRUE(SetFileAttributeSet(files, file, {atrReadOnly}));
    EXPECT_EQ(files.GetAttributes(file) & compared, platform::kAttrReadOnly);
    ASSERT_TRUE(SetFileAttributeSet(files, file, {}));
    EXPECT_EQ(files.GetAttributes(file) & compared, 0u);
    EXPECT_FALSE(SetFileAttributeSet(files, dir / "missing", {atrArchive}));
}

TEST_F(SystemUtils, RegistryReads) {
    const std::string key = "Software\\Quillmere\\Test";
    ASSERT_EQ(registry.OpenKey(RegRoot::CurrentUser, key, true), RegStatus::Ok);
    registry.SetValue(RegRoot::CurrentUser, key, "Name", RegValue::Text("value"));
    registry.SetValue(RegRoot::CurrentUser, key, "Fits", RegValue::Text(std::string(1023, 'a')));
    registry.SetValue(RegRoot::CurrentUser, key, "Long", RegValue::Text(std::string(1024, 'a')));
    // The text read, after a "!" when the key could not be opened.
    const auto read = [&](const std::string& subKey, const char* name) {
        std::string text = "stale";
        return (RegReadString(registry, RegRoot::CurrentUser, subKey, name, text) ? "" : "!") +
               text;
    };
    EXPECT_EQ(read("\\\\" + key, "name"), "value");
    EXPECT_EQ(read(key, "Fits"), std::string(1023, 'a'));
    EXPECT_EQ(read(key, "Long"), "");
    EXPECT_EQ(read(key, "Missing"), "");
    EXPECT_EQ(read(key + "\\No", "Name"), "!");

    TkxRegKey open{RegRoot::CurrentUser, "Software"};
    EXPECT_FALSE(RegOpenKeyPath(registry, open, "Quillmere\\No", false));
    EXPECT_EQ(open.path, "Software");
    EXPECT_TRUE(RegOpenKeyPath(registry, open, "\\Quillmere\\New", true));
    EXPECT_EQ(open.path, "Software\\Quillmere\\New");
    EXPECT_EQ(registry.OpenKey(RegRoot::CurrentUser, open.path, false), RegStatus::Ok);

    char small[4];
    std::uint32_t size = sizeof small;
    platform::RegType type{};
    EXPECT_FALSE(RegQueryData(registry, {RegRoot::CurrentUser, key}, "Name", type, size, small));
    EXPECT_EQ(size, 6u);  // the size the value needs
    EXPECT_EQ(type, platform::RegType::Sz);
}

TEST_F(SystemUtils, NetworkTestPrefersTheRemoteAccessFlag) {
    const std::string key = "System\\CurrentControlSet\\Services\\RemoteAccess";
    TkxEnvironment env(os);
    fake.online = true;
    EXPECT_TRUE(IsConnectedToNetwork(env));  // no flag: the machine's addresses decide
    fake.online = false;
    EXPECT_FALSE(IsConnectedToNetwork(env));

    ASSERT_EQ(registry.OpenKey(RegRoot::LocalMachine, key, true), RegStatus::Ok);
    registry.SetValue(RegRoot::LocalMachine, key, "Remote Connection", RegValue::Dword(1));
    EXPECT_TRUE(IsConnectedToNetwork(env));
    fake.online = true;
    registry.SetValue(RegRoot::LocalMachine, key, "Remote Connection", RegValue::Dword(0));
    EXPECT_FALSE(IsConnectedToNetwork(env));
    // Too long for its 4-byte buffer: unreadable, so the addresses decide again.
    registry.SetValue(RegRoot::LocalMachine, key, "Remote Connection",
                      RegValue::Binary(std::string("\0\0\0\0\0", 5)));
    EXPECT_TRUE(IsConnectedToNetwork(env));
}

// Takes only half of what is written.
class FailingStream final : public framework::TStream {
  public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override { return count / 2; }
    std::int64_t Seek(std::int64_t, framework::SeekOrigin) override { return 0; }
    void SetSize(std::int64_t) override {}
};

TEST(ResourceToStream, CopiesTheBytesOfAnExistingNonEmptyResource) {
    static constexpr unsigned char kWave[] = {'R', 'I', 'F', 'F', 0, 1};
    static constexpr unsigned char kNothing[] = {0};
    static constexpr platform::ResourceEntry kEntries[] = {{"WAVE", "RCDATA", kWave, 6},
                                                           {"EMPTY", "RCDATA", kNothing, 0}};
    static constexpr platform::ResourceModule kModule(kEntries);

    framework::TMemoryStream stream;
    EXPECT_TRUE(ResourceToStream(&kModule, "wave", "rcdata", &stream));
    EXPECT_EQ(stream.View(), std::string_view(reinterpret_cast<const char*>(kWave), 6));

    EXPECT_FALSE(ResourceToStream(&kModule, "EMPTY", "RCDATA", &stream));
    EXPECT_FALSE(ResourceToStream(&kModule, "MISSING", "RCDATA", &stream));
    EXPECT_FALSE(ResourceToStream(&kModule, "WAVE", "RCDATA", nullptr));
    EXPECT_FALSE(ResourceToStream(nullptr, "WAVE", "RCDATA", &stream));
    FailingStream failing;
    EXPECT_FALSE(ResourceToStream(&kModule, "WAVE", "RCDATA", &failing));
}

TEST(InitSizedRecord, ZeroesTheRecordAndStoresItsSizeWithinItsBounds) {
    unsigned char record[12];
    std::memset(record, 0xAB, sizeof record);
    InitSizedRecord(record, 8);
    InitSizedRecord(record + 9, 2);  // too short for the size: zeroed only
    std::uint32_t stored = 0;
    std::memcpy(&stored, record, 4);
    EXPECT_EQ(stored, 8u);
    EXPECT_THAT(std::vector<int>(record + 4, record + 12),
                ::testing::ElementsAre(0, 0, 0, 0, 0xAB, 0, 0, 0xAB));
}

class Waiting : public ::testing::Test {
  protected:
    std::shared_ptr<framework::VirtualClock> clock = std::make_shared<framework::VirtualClock>();
    framework::HeadlessApplication app{clock};
    TkxSignalHandle handle;
};

TEST_F(Waiting, ARaisedSignalEndsTheWaitAndTheHandleLivesOnlyDuringIt) {
    bool validDuringWait = false;
    app.Post([&] {
        validDuringWait = handle.Valid();
        RaiseSignal(handle);
    });
    EXPECT_EQ(WaitForSignal(app, handle, 0, true), framework::PumpedWait::Signaled);
    EXPECT_TRUE(validDuringWait);
    EXPECT_FALSE(handle.Valid());

    // A raise after the end reaches nothing: the next wait runs out its time-out.
    RaiseSignal(handle);
    std::thread advancer([&] {
        app.WaitUntilIdle();
        clock->Advance(1000);
    });
    EXPECT_EQ(WaitForSignal(app, handle, 1000, true), framework::PumpedWait::TimedOut);
    advancer.join();
}

TEST_F(Waiting, EveryMessageRestartsTheTimeOut) {
    // Two messages, 600 ms apart, carry the wait past its 1,000 ms time-out.
    app.Post([&] {
        clock->Advance(600);
        app.Post([&] {
            clock->Advance(600);
            app.Post([&] { RaiseSignal(handle); });
        });
    });
    EXPECT_EQ(WaitForSignal(app, handle, 1000, true), framework::PumpedWait::Signaled);
    EXPECT_EQ(clock->Now(), 1200);
}

TEST_F(Waiting, TerminateEndsAWaitThatStopsOnIt) {
    app.Post([&] { app.Terminate(); });
    EXPECT_EQ(WaitForSignal(app, handle, 0, true), framework::PumpedWait::Terminated);
    EXPECT_FALSE(handle.Valid());
}

TEST_F(Waiting, AnotherThreadCanRaiseTheSignal) {
    std::thread raiser([&] {
        app.WaitUntilIdle();
        RaiseSignal(handle);
    });
    EXPECT_EQ(WaitForSignal(app, handle, 0, true), framework::PumpedWait::Signaled);
    raiser.join();
}

TEST_F(Waiting, ANestedWaitOnTheSameHandleGivesItBackToTheOuterWait) {
    app.Post([&] {
        app.Post([&] { RaiseSignal(handle); });
        EXPECT_EQ(WaitForSignal(app, handle, 0, true), framework::PumpedWait::Signaled);
        EXPECT_TRUE(handle.Valid());
        // Should the outer wait have lost its signal, end it rather than hang the test.
        app.Post([&] { handle.Valid() ? RaiseSignal(handle) : app.Terminate(); });
    });
    EXPECT_EQ(WaitForSignal(app, handle, 0, true), framework::PumpedWait::Signaled);
    EXPECT_FALSE(handle.Valid());
}

}  // namespace
}  // namespace pw
