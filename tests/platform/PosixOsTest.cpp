#include "platform/posix/PosixOs.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/PosixSystem.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace pw::platform::posix {
namespace {

namespace fs = std::filesystem;
using pw::test::ReadFile;
using pw::test::TempDir;
using ::testing::ElementsAre;

constexpr FileTime kUnixEpoch = 116'444'736'000'000'000;

using pw::test::ScopedEnv;

// Polls until the condition holds or about ten seconds have passed.
bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}

// Whether a child of this process has ended and not been reaped; the child is left as it is.
bool HasZombieChild() {
    siginfo_t info{};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

std::string WriteScript(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.Write(name, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// A script that writes its arguments, one per line, to `marker` (atomically, so a reader never
// sees half of it), followed by what its stdin is and whether it leads its own session.
std::string WriteRecorder(const TempDir& dir, const std::string& marker) {
    return WriteScript(dir, "record.sh",
                       "{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n"
                       "  printf 'stdin=%s\\n' \"$(readlink /proc/$$/fd/0)\"\n"
                       "  set -- $(cat /proc/$$/stat)\n"
                       "  [ \"$6\" = \"$$\" ] && echo session=own || echo session=inherited\n"
                       "} > '" +
                           marker + ".part' && mv '" + marker + ".part' '" + marker + "'\n");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines of the marker once the recorder has written it; removes it for the next run.
std::vector<std::string> Recorded(const std::string& marker) {
    EXPECT_TRUE(Eventually([&] { return fs::exists(marker); })) << marker << " never appeared";
    const std::string text = ReadFile(marker);
    fs::remove(marker);
    return Lines(text);
}

bool UserXattrsSupported(const TempDir& dir) {
    const std::string probe = dir.Write("xattr-probe", "");
    return setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
}

class Posix : public ::testing::Test {
  protected:
    TempDir dir;
    PosixFiles files;
    PosixShell shell;
    PosixSystem system;
};
using PosixFilesTest = Posix;
using PosixShellTest = Posix;
using PosixSystemTest = Posix;

TEST_F(PosixFilesTest, EveryAttributeBitRoundTripsAndTheEmptySetIsNormal) {
    const std::string file = dir.Write("a.txt", "abc");
    EXPECT_EQ(files.GetAttributes(file), kAttrNormal);

    std::vector<std::uint32_t> bits = {kAttrReadOnly};
    if (UserXattrsSupported(dir)) {
        bits.insert(bits.end(),
                    {kAttrHidden, kAttrSystem, kAttrArchive, kAttrTemporary, kAttrOffline});
    }
    std::uint32_t all = 0;
    for (const std::uint32_t bit : bits) {
        ASSERT_TRUE(files.SetAttributes(file, bit)) << bit;
        EXPECT_EQ(files.GetAttributes(file), bit);
        all |= bit;
    }
    ASSERT_TRUE(files.SetAttributes(file, all));
    EXPECT_EQ(files.GetAttributes(file), all);

    // Exactly the given set: bits not in it go, the content stays.
    ASSERT_TRUE(files.SetAttributes(file, 0));
    EXPECT_EQ(files.GetAttributes(file), kAttrNormal);
    EXPECT_EQ(ReadFile(file), "abc");
}

TEST_F(PosixFilesTest, ReadOnlyClearsEveryWriteBitAndGivesTheOwnerItBack) {
    const std::string file = dir.Write("a.txt", "abc");
    fs::permissions(file, fs::perms::all);
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

    ASSERT_TRUE(files.SetAttributes(file, kAttrReadOnly | kAttrArchive));
    EXPECT_EQ(fs::status(file).permissions() & write, fs::perms::none);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_read, fs::perms::owner_read);
    ASSERT_TRUE(files.SetAttributes(file, kAttrArchive));
    EXPECT_EQ(fs::status(file).permissions() & write, fs::perms::owner_write);
}

TEST_F(PosixFilesTest, FoldersCarryTheDirectoryBitAndMissingFilesFail) {
    const std::string folder = dir / "sub";
    ASSERT_TRUE(files.CreateFolder(folder));
    EXPECT_EQ(files.GetAttributes(folder), kAttrDirectory);
    if (UserXattrsSupported(dir)) {
        ASSERT_TRUE(files.SetAttributes(folder, kAttrHidden));
        EXPECT_EQ(files.GetAttributes(folder), kAttrDirectory | kAttrHidden);
    }
    ASSERT_TRUE(files.SetAttributes(folder, 0));
    EXPECT_EQ(files.GetAttributes(folder), kAttrDirectory);

    EXPECT_FALSE(files.CreateFolder(folder)) << "exists already";
    EXPECT_FALSE(files.CreateFolder(dir / "no/such"));
    EXPECT_EQ(files.GetAttributes(dir / "missing"), kInvalidAttributes);
    EXPECT_FALSE(files.SetAttributes(dir / "missing", kAttrHidden));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    // A zero byte would silently cut the path short to another file.
    EXPECT_EQ(files.GetAttributes(folder + std::string(1, '\0') + "x"), kInvalidAttributes);
}

TEST_F(PosixFilesTest, FileSizeCountsRegularFilesOnly) {
    EXPECT_EQ(files.FileSize(dir / "missing"), -1);
    EXPECT_EQ(files.FileSize(dir.Write("empty", "")), 0);
    EXPECT_EQ(files.FileSize(dir.Write("five", "12345")), 5);
    EXPECT_EQ(files.FileSize(dir.path().string()), -1);
}

TEST_F(PosixFilesTest, FileTimesConvertExactlyAndOnlyTheGivenOnesChange) {
    const std::string file = dir.Write("t.txt", "x");
    // 2021-03-04 05:06:07 UTC and 1234567 ticks.
    const FileTime write = kUnixEpoch + 1'614'834'367LL * 10'000'000 + 1'234'567;
    // Half a microsecond before 1970: the seconds are negative, the fraction is not.
    const FileTime access = kUnixEpoch - 5;
    ASSERT_TRUE(files.SetFileTimes(file, std::nullopt, access, write));

    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'614'834'367);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'700);
    EXPECT_EQ(st.st_atim.tv_sec, -1);
    EXPECT_EQ(st.st_atim.tv_nsec, 999'999'500);
    const auto before = files.GetFileTimes(file);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->lastWrite, write);
    EXPECT_EQ(before->lastAccess, access);

    // Nothing given still succeeds on a writable file; the creation time cannot be set here.
    EXPECT_TRUE(files.SetFileTimes(file, std::nullopt, std::nullopt, std::nullopt));
    EXPECT_TRUE(files.SetFileTimes(file, kUnixEpoch, std::nullopt, std::nullopt));
    ASSERT_TRUE(files.SetFileTimes(file, std::nullopt, kUnixEpoch + 3, std::nullopt));
    const auto after = files.GetFileTimes(file);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->lastWrite, write);
    EXPECT_EQ(after->lastAccess, kUnixEpoch + 3);
    EXPECT_EQ(after->creation, before->creation);
}

TEST_F(PosixFilesTest, FileTimesOfWhatCannotBeOpenedForWritingFail) {
    EXPECT_FALSE(files.SetFileTimes(dir / "missing", std::nullopt, std::nullopt, kUnixEpoch));
    EXPECT_FALSE(fs::exists(dir / "missing")) << "must not create the file";
    EXPECT_FALSE(files.GetFileTimes(dir / "missing"));
    EXPECT_FALSE(files.SetFileTimes(dir.path().string(), std::nullopt, std::nullopt, kUnixEpoch));
    // A FIFO nobody reads would block an open for writing forever.
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(files.SetFileTimes(fifo, std::nullopt, std::nullopt, kUnixEpoch));
    EXPECT_FALSE(files.SetFileTimes(dir.Write("f", ""), std::nullopt, std::nullopt, -1));
}

TEST_F(PosixShellTest, StartedProcessRunsDetachedAndIsReaped) {
    const std::string marker = dir / "marker";
    ASSERT_TRUE(shell.StartProcess(WriteRecorder(dir, marker), {"one arg", "", "$HOME"}));
    EXPECT_THAT(Recorded(marker),
                ElementsAre("one arg", "", "$HOME", "stdin=/dev/null", "session=own"));
    // Its zombie must go without our waiting.
    EXPECT_TRUE(Eventually([] { return !HasZombieChild(); }));
}

TEST_F(PosixShellTest, ProgramsThatCannotStartAreReported) {
    EXPECT_FALSE(shell.StartProcess(dir / "missing", {}));
    EXPECT_FALSE(shell.StartProcess("pagewarden-no-such-program", {"x"}));
    EXPECT_FALSE(shell.StartProcess(dir.Write("plain.txt", "not a program"), {}));
    EXPECT_FALSE(shell.StartProcess("", {}));
    EXPECT_FALSE(shell.ShellOpen("", ""));
    EXPECT_TRUE(Eventually([] { return !HasZombieChild(); }));
}

TEST_F(PosixShellTest, ArgumentsSplitLikeACommandLine) {
    EXPECT_THAT(PosixShell::SplitArguments(R"(  a "b c"  d"e f"g "" \"q\" x\\y "t\\" )"),
                ElementsAre("a", "b c", "de fg", "", "\"q\"", "x\\\\y", "t\\"));
    EXPECT_THAT(PosixShell::SplitArguments("   "), ElementsAre());
    EXPECT_THAT(PosixShell::SplitArguments("\"unclosed arg"), ElementsAre("unclosed arg"));
}

TEST_F(PosixShellTest, OpenStartsProgramsWithParametersAndUrlsInTheBrowser) {
    const std::string marker = dir / "marker";
    const std::string script = WriteRecorder(dir, marker);
    const std::string url = "http://example.org/a?b=1&c=%20 d";

    // With parameters the file is the program, started with them.
    ASSERT_TRUE(shell.ShellOpen(script, R"("http://h/a b" -x)"));
    EXPECT_THAT(Recorded(marker),
                ElementsAre("http://h/a b", "-x", "stdin=/dev/null", "session=own"));
    EXPECT_FALSE(shell.ShellOpen(dir / "missing", "x"));
    {
        const ScopedEnv env{{"BROWSER", "pagewarden-no-such-browser:" + script + " --new %s"}};
        ASSERT_TRUE(shell.ShellOpen(url, ""));
        EXPECT_THAT(Recorded(marker), ElementsAre("--new", url, "stdin=/dev/null", "session=own"));
    }
    {
        // Without "%s" the URL is appended; "%%" stands for a percent sign.
        const ScopedEnv env{{"BROWSER", "\"" + script + "\" 100%%"}};
        ASSERT_TRUE(shell.ShellOpen("https://x.test/", ""));
        EXPECT_THAT(Recorded(marker),
                    ElementsAre("100%", "https://x.test/", "stdin=/dev/null", "session=own"));
    }
    EXPECT_TRUE(Eventually([] { return !HasZombieChild(); }));
}

#ifdef PW_ASSOCIATION_PROBE
TEST_F(PosixShellTest, AssociatedCommandIsTheDesktopsDefaultHandler) {
    for (const char* sub : {"home", "data/mime", "data/applications", "config", "sysdata",
                            "sysconfig", "bin", "bin dir"}) {
        fs::create_directories(dir.path() / sub);
    }
    dir.Write("data/mime/globs2",
              "50:text/html:*.html\n50:text/plain:*.txt\n50:image/x-pw-test:*.pwt\n");
    const std::string viewer = WriteScript(dir, "bin/pw-viewer", "exit 0\n");
    const std::string other = WriteScript(dir, "bin dir/other viewer", "exit 0\n");
    dir.Write("data/applications/pw-viewer.desktop",
              "[Desktop Entry]\nType=Application\nName=Viewer\n"
              "Exec=pw-viewer --new-window %u\nMimeType=text/html;\n");
    dir.Write("data/applications/pw-other.desktop",
              "[Desktop Entry]\nType=Application\nName=Other\n"
              "Exec=\"" +
                  other + "\" %f\nMimeType=text/plain;\n");
    dir.Write("config/mimeapps.list",
              "[Default Applications]\ntext/html=pw-viewer.desktop\n"
              "text/plain=pw-other.desktop\n");

    // GIO reads the desktop's folders once per process, so a process of its own asks it.
    const ScopedEnv env{{"HOME", dir / "home"},
                        {"XDG_DATA_HOME", dir / "data"},
                        {"XDG_CONFIG_HOME", dir / "config"},
                        {"XDG_DATA_DIRS", dir / "sysdata"},
                        {"XDG_CONFIG_DIRS", dir / "sysconfig"},
                        {"XDG_CURRENT_DESKTOP", std::nullopt},
                        {"PATH", dir / "bin" + ":/usr/bin:/bin"}};
    const std::string out = dir / "probe.txt";
    const std::string probe = "'" PW_ASSOCIATION_PROBE "' .html .txt .pwt .nosuchext '' . >";
    ASSERT_EQ(std::system((probe + "'" + out + "'").c_str()), 0);
    EXPECT_THAT(Lines(ReadFile(out)),
                ElementsAre(viewer + " --new-window %u", "\"" + other + "\" %f",
                            "",  // a known type with no handler
                            "", "", ""));
}
#endif

TEST_F(PosixSystemTest, TempPathEndsWithADelimiter) {
    for (const auto& [tmpdir, expected] :
         {std::pair<std::optional<std::string>, std::string>{std::nullopt, "/tmp/"},
          {"", "/tmp/"},
          {"/var/x", "/var/x/"},
          {"/var/y/", "/var/y/"}}) {
        const ScopedEnv env{{"TMPDIR", tmpdir}};
        EXPECT_EQ(system.TempPath(), expected) << tmpdir.value_or("(unset)");
    }
}

TEST_F(PosixSystemTest, UserFoldersComeFromUserDirsWithFallbacks) {
    const std::string home = dir / "home";
    const std::string config = dir / "config";
    fs::create_directories(config);
    const ScopedEnv env{
        {"HOME", home}, {"XDG_CONFIG_HOME", config}, {"XDG_DATA_HOME", std::nullopt}};

    // No file: the usual names below the home folder.
    EXPECT_EQ(system.FolderPath(Folder::Desktop), home + "/Desktop");
    EXPECT_EQ(system.FolderPath(Folder::Personal), home + "/Documents");
    EXPECT_EQ(system.FolderPath(Folder::MyPictures), home + "/Pictures");
    EXPECT_EQ(system.FolderPath(Folder::AppData), home + "/.local/share");

    dir.Write("config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Arbeitsfläche\"\n"
              "  XDG_DOCUMENTS_DIR = \"/srv/my \\\"docs\\\"/\"\n"
              "#XDG_PICTURES_DIR=\"$HOME/commented\"\n"
              "XDG_PICTURES_DIR=relative/unquoted\n"
              "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
    EXPECT_EQ(system.FolderPath(Folder::Desktop), home + "/Arbeitsfläche");
    EXPECT_EQ(system.FolderPath(Folder::Personal), "/srv/my \"docs\"");
    EXPECT_EQ(system.FolderPath(Folder::MyPictures), home + "/Pictures");

    const ScopedEnv data{{"XDG_DATA_HOME", "/data/home"}};
    EXPECT_EQ(system.FolderPath(Folder::AppData), "/data/home");
}

TEST_F(PosixSystemTest, ConfigFolderFollowsAnAbsoluteXdgConfigHome) {
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    for (const auto& [config, expected] :
         {std::pair<std::string, std::string>{"/cfg", "/cfg"}, {"rel", "/home/u/.config"}}) {
        const ScopedEnv env{{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", config}};
        EXPECT_EQ(PosixOs::DefaultConfigFolder(), fs::path(expected) / "pagewarden");
    }
}

TEST_F(PosixSystemTest, TimeZoneBiasIsUtcMinusLocal) {
    // Zones without daylight saving, so the answer does not depend on the date.
    for (const auto& [tz, bias] :
         {std::pair<std::string, int>{"UTC0", 0}, {"<+0530>-5:30", -330}, {"<-03>3", 180}}) {
        const ScopedEnv env{{"TZ", tz}};
        EXPECT_EQ(system.TimeZoneBiasMinutes(), bias) << tz;
    }
}

TEST_F(PosixSystemTest, LocaleNamesMapToWindowsLanguageIds) {
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"de_DE.UTF-8", 0x0407},  {"pt_BR", 0x0416},       {"pt_PT.UTF-8", 0x0816},
        {"zh_CN.GB2312", 0x0804}, {"zh_TW", 0x0404},       {"en_GB.UTF-8", 0x0809},
        {"fr_CA", 0x0C0C},        {"nn_NO", 0x0814},       {"de_AT@euro", 0x0C07},
        {"es_ES", 0x0C0A},        {"DE_de", 0x0407},       {"eu", 0x042D},
        {"POSIX", 0x0409},        {"C.UTF-8", 0x0409},     {"", 0x0409},
        {"xx_YY", 0x0409},        {"el_GR.UTF-8", 0x0408}, {"nb_NO", 0x0414},
        {"zh_HK", 0x0C04},        {"pt", 0x0816},          {"zh", 0x0804},
    };
    for (const auto& [locale, id] : cases)
        EXPECT_EQ(PosixSystem::LanguageIdFromLocale(locale), id) << locale;
}

TEST_F(PosixSystemTest, DefaultLanguageTakesTheFirstLocaleVariableSet) {
    using Var = std::optional<std::string>;
    const std::tuple<Var, Var, Var, std::uint16_t> cases[] = {
        {"", "pt_BR.UTF-8", "de_DE", 0x0416},  // an empty variable counts as unset
        {"fi_FI", "pt_BR", "de_DE", 0x040B},
        {std::nullopt, std::nullopt, "de_DE", 0x0407},
        {std::nullopt, std::nullopt, std::nullopt, 0x0409}};
    for (const auto& [all, messages, lang, id] : cases) {
        const ScopedEnv env{{"LC_ALL", all}, {"LC_MESSAGES", messages}, {"LANG", lang}};
        EXPECT_EQ(system.DefaultLanguage(), id);
    }
}

TEST(PosixOsTest, RegistryLivesInTheGivenConfigFolder) {
    TempDir dir;
    const fs::path folder = dir.path() / "config";
    PosixOs os({folder, [](const std::string&) {}});
    Os& layer = os.os();
    ASSERT_EQ(layer.registry.OpenKey(RegRoot::CurrentUser, "Software\\Test", true), RegStatus::Ok);
    ASSERT_EQ(
        layer.registry.SetValue(RegRoot::CurrentUser, "Software\\Test", "n", RegValue::Dword(60)),
        RegStatus::Ok);
    EXPECT_NE(ReadFile((folder / "HKCU.reg").string()).find("dword:0000003c"), std::string::npos);
    EXPECT_EQ(layer.files.FileSize((folder / "HKCU.reg").string()),
              static_cast<std::int64_t>(fs::file_size(folder / "HKCU.reg")));
}

}  // namespace
}  // namespace pw::platform::posix
