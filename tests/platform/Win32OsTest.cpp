// The Windows back end's files, system facts, shell, thread priorities and sound, on the real
// services (under Wine in CI).

#include <windows.h>

#include <shellapi.h>

#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/Threads.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Os.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/WinMmSound.h"
#include "tests/sound/WaveImages.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempDir.h"

namespace pw::platform::win32 {
namespace {

namespace fs = std::filesystem;
using pw::test::Eventually;
using pw::test::ReadFile;
using pw::test::TempDir;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;

// 2021-03-04 05:06:07 UTC and 1234567 ticks.
constexpr FileTime kUnixEpoch = 116'444'736'000'000'000;
constexpr FileTime kSomeTime = kUnixEpoch + 1'614'834'367LL * 10'000'000 + 1'234'567;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// What the C runtime of a started program would make of a command line.
std::vector<std::string> ParsedBack(const std::string& line) {
    int count = 0;
    std::wstring wide(line.begin(), line.end());
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> args(
        ::CommandLineToArgvW(wide.c_str(), &count), &::LocalFree);
    std::vector<std::string> out;
    for (int i = 0; args && i < count; ++i)
        out.emplace_back(args.get()[i], args.get()[i] + std::wcslen(args.get()[i]));
    return out;
}

class Win32 : public ::testing::Test {
  protected:
    TempDir dir;
    Win32Files files;
    Win32Shell shell;
    Win32System system;
};
using Win32FilesTest = Win32;
using Win32ShellTest = Win32;
using Win32SystemTest = Win32;

// ---- files --------------------------------------------------------------------------------------

TEST_F(Win32FilesTest, AttributeBitsRoundTripAndZeroClearsThem) {
    const std::string file = dir.Write("a.txt", "abc");
    const std::uint32_t kept = kAttrReadOnly | kAttrHidden | kAttrSystem;
    for (const std::uint32_t bits : {kAttrReadOnly, kAttrHidden, kAttrSystem,
                                     kAttrReadOnly | kAttrHidden, kAttrHidden | kAttrArchive}) {
        ASSERT_TRUE(files.SetAttributes(file, bits)) << bits;
        EXPECT_EQ(files.GetAttributes(file) & kept, bits & kept) << bits;
    }
    for (const std::uint32_t none : {0u, kAttrNormal}) {
        ASSERT_TRUE(files.SetAttributes(file, kept));
        ASSERT_TRUE(files.SetAttributes(file, none)) << none;
        EXPECT_EQ(files.GetAttributes(file) & (kept | kAttrDirectory), 0u) << none;
    }
    EXPECT_EQ(ReadFile(file), "abc");

    const std::string folder = dir / "sub";
    ASSERT_TRUE(files.CreateFolder(folder));
    EXPECT_TRUE(files.GetAttributes(folder) & kAttrDirectory);
    ASSERT_TRUE(files.SetAttributes(folder, kAttrHidden));
    EXPECT_EQ(files.GetAttributes(folder) & (kAttrDirectory | kAttrHidden),
              kAttrDirectory | kAttrHidden);
    EXPECT_FALSE(files.CreateFolder(folder)) << "exists already";
    EXPECT_FALSE(files.CreateFolder(dir / "no\\such"));

    EXPECT_EQ(files.GetAttributes(dir / "missing"), kInvalidAttributes);
    EXPECT_FALSE(files.SetAttributes(dir / "missing", kAttrHidden));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    // A zero byte would silently cut the path short to another file.
    EXPECT_EQ(files.GetAttributes(folder + std::string(1, '\0') + "x"), kInvalidAttributes);
}

TEST_F(Win32FilesTest, FileSizeCountsFilesOnly) {
    EXPECT_EQ(files.FileSize(dir / "missing"), -1);
    EXPECT_EQ(files.FileSize(dir.Write("empty", "")), 0);
    EXPECT_EQ(files.FileSize(dir.Write("five", "12345")), 5);
    EXPECT_EQ(files.FileSize(dir.path().string()), -1);
}

TEST_F(Win32FilesTest, FileTimesRoundTripExactlyAndOnlyTheGivenOnesChange) {
    const std::string file = dir.Write("t.txt", "x");
    ASSERT_TRUE(files.SetFileTimes(file, std::nullopt, kSomeTime - 10'000'000, kSomeTime));
    const auto before = files.GetFileTimes(file);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->lastWrite, kSomeTime);
    EXPECT_EQ(before->lastAccess, kSomeTime - 10'000'000);

    // The C library sees the same second, counted from 1970.
    struct _stat64 st {};
    ASSERT_EQ(_stat64(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1'614'834'367);

    EXPECT_TRUE(files.SetFileTimes(file, std::nullopt, std::nullopt, std::nullopt));
    ASSERT_TRUE(files.SetFileTimes(file, std::nullopt, kSomeTime + 3, std::nullopt));
    const auto after = files.GetFileTimes(file);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->lastWrite, kSomeTime);
    EXPECT_EQ(after->lastAccess, kSomeTime + 3);
    EXPECT_EQ(after->creation, before->creation);

    EXPECT_FALSE(files.SetFileTimes(dir / "missing", std::nullopt, std::nullopt, kSomeTime));
    EXPECT_FALSE(fs::exists(dir / "missing")) << "must not create the file";
    EXPECT_FALSE(files.GetFileTimes(dir / "missing"));
    EXPECT_FALSE(files.SetFileTimes(dir.path().string(), std::nullopt, std::nullopt, kSomeTime));
    EXPECT_FALSE(files.SetFileTimes(file, std::nullopt, std::nullopt, -1));
}

TEST_F(Win32FilesTest, CanCreateFilesInAnExistingFolderAndLeavesNothingBehind) {
    EXPECT_TRUE(files.CanCreateFilesIn(dir.path().string()));
    EXPECT_TRUE(files.CanCreateFilesIn(dir.path().string() + "\\"));
    EXPECT_FALSE(files.CanCreateFilesIn(dir / "missing"));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// ---- system -------------------------------------------------------------------------------------

TEST_F(Win32SystemTest, ProcessPathsAreThoseOfThisProcess) {
    const std::string exe = system.ExecutablePath();
    EXPECT_THAT(exe, EndsWith(".exe"));
    EXPECT_TRUE(fs::is_regular_file(exe)) << exe;

    const std::string cwd = system.CurrentDirectory();
    EXPECT_EQ(fs::path(cwd), fs::current_path());
    if (cwd.size() > 3) {
        EXPECT_NE(cwd.back(), '\\');
    }

    const std::string temp = system.TempPath();
    EXPECT_THAT(temp, EndsWith("\\"));
    EXPECT_TRUE(fs::is_directory(temp)) << temp;
}

TEST_F(Win32SystemTest, EveryFolderIsKnownAndTheShellOnesExist) {
    const std::string windows = system.FolderPath(Folder::Windows);
    ASSERT_FALSE(windows.empty());
    for (const Folder f : {Folder::Windows, Folder::System, Folder::ProgramFiles, Folder::Desktop,
                           Folder::Personal, Folder::MyPictures, Folder::AppData}) {
        const std::string path = system.FolderPath(f);
        EXPECT_TRUE(fs::is_directory(path)) << static_cast<int>(f) << ": " << path;
    }
    EXPECT_EQ(system.FolderPath(Folder::Help), windows + "\\Help");
    EXPECT_EQ(system.FolderPath(Folder::Media), windows + "\\Media");
    EXPECT_EQ(system.FolderPath(Folder::Cursors), windows + "\\Cursors");
    EXPECT_THAT(system.FolderPath(Folder::System), testing::StartsWith(windows + "\\"));
}

TEST_F(Win32SystemTest, TimeZoneBiasAgreesWithTheCLibrary) {
    // Asked twice around the C library's answer, so a change of daylight saving in between
    // cannot fail the test.
    const int first = system.TimeZoneBiasMinutes();
    const std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    const long long localMinusUtc = static_cast<long long>(_mkgmtime(&local)) - now;
    const int second = system.TimeZoneBiasMinutes();
    EXPECT_THAT(-localMinusUtc / 60, testing::AnyOf(first, second));
    EXPECT_LE(std::abs(first), 14 * 60);
}

TEST_F(Win32SystemTest, VersionAndLanguageAreThoseOfTheRunningSystem) {
    const OsVersion v = system.Version();
    EXPECT_GE(v.major, 5u);
    EXPECT_GT(v.build, 0u);
    // The language also reached through the user's locale.
    EXPECT_EQ(system.DefaultLanguage(), LANGIDFROMLCID(::GetUserDefaultLCID()));
}

// ---- shell --------------------------------------------------------------------------------------

TEST_F(Win32ShellTest, ArgumentsSurviveTheCommandLineRoundTrip) {
    const std::vector<std::string> args = {
        "plain",    "",     "two words",   "tab\there", "say \"hi\"", "C:\\dir\\",   "C:\\a b\\",
        "back\\\\", "\\\"", "trail\\\\\\", "x\\y",      "%PATH%",     "semi;colon&", "^caret|pipe"};
    const std::string program = "C:\\Program Files\\x.exe";
    std::vector<std::string> expected = {program};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_THAT(ParsedBack(Win32Shell::CommandLine(program, args)), ElementsAreArray(expected));

    // Backslashes stand for themselves unless a quote follows.
    EXPECT_EQ(Win32Shell::QuoteArgument("C:\\dir\\x"), "C:\\dir\\x");
    EXPECT_EQ(Win32Shell::QuoteArgument("a b\\"), "\"a b\\\\\"");
    EXPECT_EQ(Win32Shell::QuoteArgument("a\\\"b"), "\"a\\\\\\\"b\"");
    EXPECT_EQ(Win32Shell::QuoteArgument(""), "\"\"");
}

TEST_F(Win32ShellTest, AStartedProgramGetsItsArgumentsAsGiven) {
    const std::string recorder =
        (fs::path(system.ExecutablePath()).parent_path() / "pw_argv_recorder.exe").string();
    ASSERT_TRUE(fs::exists(recorder)) << recorder;
    const std::string marker = dir / "out put.txt";
    const std::vector<std::string> args = {"one arg",        "",      "quo\"te",
                                           "C:\\trailing\\", "a b\\", "%HOME%"};
    std::vector<std::string> withMarker = {marker};
    withMarker.insert(withMarker.end(), args.begin(), args.end());
    ASSERT_TRUE(shell.StartProcess(recorder, withMarker));
    ASSERT_TRUE(Eventually([&] { return fs::exists(marker); })) << "the program never wrote";
    EXPECT_THAT(Lines(ReadFile(marker)), ElementsAreArray(args));
}

// A dialog waiting for a user would hold the test until ctest's time-out fails it.
TEST_F(Win32ShellTest, WhatCannotBeStartedOrOpenedIsReportedWithoutADialog) {
    EXPECT_FALSE(shell.StartProcess(dir / "missing.exe", {}));
    EXPECT_FALSE(shell.StartProcess("pagewarden-no-such-program", {"x"}));
    EXPECT_FALSE(shell.StartProcess(dir.Write("plain.txt", "not a program"), {}));
    EXPECT_FALSE(shell.StartProcess("", {}));
    EXPECT_FALSE(shell.StartProcess("quo\"te.exe", {}));
    EXPECT_FALSE(shell.ShellOpen("", ""));
    EXPECT_FALSE(shell.ShellOpen(dir / "missing.html", ""));
    EXPECT_FALSE(shell.ShellOpen(dir / "missing.exe", "x"));
}

TEST_F(Win32ShellTest, AssociatedCommandIsTheRegisteredOpenCommand) {
    const std::string ext = ".pwtest" + dir.path().filename().string().substr(8, 6);
    const std::string progId = "Pagewarden.Test" + ext;
    const std::string command = "\"C:\\Some Viewer\\viewer.exe\" --new \"%1\"";
    // Windows merges the user's classes into HKEY_CLASSES_ROOT, Wine shows the machine's only.
    HKEY classes = HKEY_CURRENT_USER;
    const auto set = [&](const std::string& key, const std::string& text) {
        return ::RegSetKeyValueA(classes, ("Software\\Classes\\" + key).c_str(), nullptr, REG_SZ,
                                 text.c_str(), static_cast<DWORD>(text.size() + 1));
    };
    const auto remove = [&] {
        ::RegDeleteTreeA(classes, ("Software\\Classes\\" + ext).c_str());
        ::RegDeleteTreeA(classes, ("Software\\Classes\\" + progId).c_str());
    };
    ASSERT_EQ(set(ext, progId), ERROR_SUCCESS);
    if (::RegGetValueA(HKEY_CLASSES_ROOT, ext.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS) {
        remove();
        classes = HKEY_LOCAL_MACHINE;
        ASSERT_EQ(set(ext, progId), ERROR_SUCCESS);
    }
    ASSERT_EQ(set(progId + "\\shell\\open\\command", command), ERROR_SUCCESS);
    const std::string found = shell.AssociatedCommand(ext);
    remove();

    EXPECT_EQ(found, command);
    EXPECT_EQ(shell.AssociatedCommand(".pagewarden-no-such-extension"), "");
    EXPECT_EQ(shell.AssociatedCommand(""), "");
    EXPECT_EQ(shell.AssociatedCommand("."), "");
}

// ---- threads ------------------------------------------------------------------------------------

TEST(Win32ThreadsTest, EveryWindowsPriorityRoundTripsOnAnotherThread) {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    ThreadId id = 0;
    std::thread worker([&] {
        std::unique_lock lock(mutex);
        id = CurrentThreadId();
        cv.notify_all();
        cv.wait(lock, [&] { return done; });
    });
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return id != 0; });
    }
    EXPECT_NE(id, CurrentThreadId());
    for (const int priority : {-15, -2, -1, 0, 1, 2, 15}) {
        EXPECT_TRUE(SetThreadPriorityValue(id, priority)) << priority;
        EXPECT_EQ(ThreadPriorityValue(id), priority);
    }
    // Windows has no priority between the named ones: refused, the old one kept.
    EXPECT_FALSE(SetThreadPriorityValue(id, 5));
    EXPECT_EQ(ThreadPriorityValue(id), 15);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    cv.notify_all();
    worker.join();
    EXPECT_EQ(ThreadPriorityValue(ThreadId{1} << 40), std::nullopt);
    EXPECT_FALSE(SetThreadPriorityValue(ThreadId{1} << 40, 0));
}

// ---- sound --------------------------------------------------------------------------------------

std::vector<unsigned char> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// How long a synchronous play takes is the sound system's affair (Wine without a sound card
// waits seconds for its driver); a play that never returns is left to ctest's time-out.
TEST(WinMmSoundTest, PlaysOrFailsForWantOfADeviceAndLeavesTheImageToTheCaller) {
    using namespace pw::test::wave;
    const auto good = Bytes(Riff({Fmt(1, 1, 8000, 8), {"data", std::string(800, '\x80')}}));
    const std::vector<std::vector<unsigned char>> bad = {
        Bytes("not a wave"),
        Bytes(Riff({Fmt(1, 1, 8000, 8), {"data", std::string(10, '\x80'), 100000}})),
        Bytes(Riff({Fmt(2, 1, 8000, 8), {"data", std::string(10, '\x80')}})),  // not PCM
        {}};
    WinMmSound sound;
    for (const auto& image : bad) {
        const std::vector<unsigned char> storage = image.empty() ? Bytes("x") : image;
        EXPECT_FALSE(sound.PlayWave({storage.data(), image.size()}, kSndMemory | kSndAsync));
    }
    EXPECT_FALSE(sound.NoDevice()) << "a bad image says nothing about the device";

    for (const std::uint32_t flags :
         {kSndMemory | kSndSync, kSndMemory | kSndAsync, kSndMemory | kSndAsync | kSndLoop}) {
        std::vector<unsigned char> image = good;
        const bool played = sound.PlayWave(image, flags);
        // The image is the caller's to change at once.
        image.assign(image.size(), 0);
        EXPECT_TRUE(played || sound.NoDevice()) << flags;
    }
    EXPECT_TRUE(sound.PlayWave({}, 0)) << "a null image stops";
}

}  // namespace
}  // namespace pw::platform::win32
