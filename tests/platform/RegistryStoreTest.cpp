#include "platform/posix/RegistryStore.h"

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace pw::platform {
// Readable failure output for values.
void PrintTo(const RegValue& v, std::ostream* os) {
    *os << "{type " << static_cast<std::uint32_t>(v.type) << ", "
        << ::testing::PrintToString(v.data) << "}";
}
}  // namespace pw::platform

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using pw::platform::kRegMaxKeyNameBytes;
using pw::platform::kRegMaxNameBytes;
using pw::platform::kRegMaxValueBytes;
using pw::platform::RegRoot;
using pw::platform::RegStatus;
using enum pw::platform::RegStatus;
using pw::platform::RegType;
using pw::platform::RegUpdate;
using pw::platform::RegValue;
using pw::platform::posix::RegistryStore;
using pw::test::ReadFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr auto kCU = RegRoot::CurrentUser;
constexpr const char* kWatch = "Software\\Quillmere\\Pagewarden\\watchset.ini";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

// Reads under HKCU. A failed call gives a None value naming its status (for names, a list of
// that one text), so that one comparison checks both the status and the result.
RegValue Failed(RegStatus status) {
    return {RegType::None, "status " + std::to_string(static_cast<int>(status))};
}
const RegValue kNotFound = Failed(NotFound);
RegValue Query(RegistryStore& s, std::string_view path, std::string_view name) {
    RegValue v;
    const RegStatus status = s.QueryValue(kCU, path, name, v);
    return status == Ok ? v : Failed(status);
}
std::vector<std::string> ValueNames(RegistryStore& s, std::string_view path) {
    std::vector<std::string> names;
    const RegStatus status = s.EnumValues(kCU, path, names);
    return status == Ok ? names : std::vector{Failed(status).data};
}
std::vector<std::string> SubKeys(RegistryStore& s, std::string_view path) {
    std::vector<std::string> names;
    const RegStatus status = s.EnumSubKeys(kCU, path, names);
    return status == Ok ? names : std::vector{Failed(status).data};
}

// Runs `body` in a child process, which exits with what it returns.
template <class F>
pid_t Spawn(F body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    EXPECT_GT(child, 0) << "fork failed";
    return child;
}

// The child's exit code; -1 when it did not exit normally. It is killed after two minutes, so
// that a deadlock fails the test instead of hanging it.
int ExitCode(pid_t child) {
    int status = -1;
    for (int waited = 0; child > 0 && waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 12000) kill(child, SIGKILL);
        std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RegistryStoreTest : public ::testing::Test {
  protected:
    std::unique_ptr<RegistryStore> Make(
        RegistryStore::Access access = RegistryStore::Access::ReadWrite) {
        return std::make_unique<RegistryStore>(
            folder_,
            [this](const std::string& m) {
                std::lock_guard guard(noticeMutex_);
                notices_.push_back(m);
            },
            access);
    }
    std::unique_ptr<RegistryStore> MakeSnapshot() { return Make(RegistryStore::Access::Snapshot); }
    // Every file under the test's folder with its bytes and its time of last change: equal
    // listings mean nothing was created, replaced or written.
    std::map<std::string, std::pair<std::string, fs::file_time_type>> Listing() const {
        std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
        for (const auto& e : fs::recursive_directory_iterator(dir_.path()))
            files[e.path().string()] = {e.is_regular_file() ? ReadFile(e.path().string()) : "",
                                        e.symlink_status().type() == fs::file_type::fifo
                                            ? fs::file_time_type()
                                            : fs::last_write_time(e.path())};
        return files;
    }
    std::string File() const { return (folder_ / "HKCU.reg").string(); }
    std::string FileText() const { return ReadFile(File()); }
    void WriteFile(const std::string& bytes) {
        fs::create_directories(folder_);
        std::ofstream(File(), std::ios::binary) << bytes;
    }
    // Every write of the file bumps the counter at the start of the lock file.
    std::uint64_t WriteCount() const {
        const std::string bytes = ReadFile(File() + ".lock");
        std::uint64_t n = 0;
        for (std::size_t i = std::min<std::size_t>(bytes.size(), 8); i-- > 0;)
            n = (n << 8) | static_cast<unsigned char>(bytes[i]);
        return n;
    }

    pw::test::TempDir dir_;
    fs::path folder_ = dir_.path() / "config" / "pagewarden";
    std::mutex noticeMutex_;
    std::vector<std::string> notices_;
};

// ---- values and keys ----------------------------------------------------------------------------

TEST_F(RegistryStoreTest, WritesTheKnownLayoutWithOneFilePerRoot) {
    auto s = Make();
    const std::string w = kWatch;
    for (const char* key : {"\\URLs", "\\Timer", "\\empty", "\\Alarm"})
        ASSERT_EQ(s->OpenKey(kCU, w + key, true), Ok);
    std::string blob;
    for (int i = 0; i < 50; ++i)
        blob += static_cast<char>(i);
    auto set = [&](const std::string& path, const char* name, const RegValue& value) {
        ASSERT_EQ(s->SetValue(kCU, path, name, value), Ok) << name;
    };
    set(w + "\\URLs", "URL1", RegValue::Text("http://a.example/\"q\"\\x"));
    set(w + "\\Timer", "Duration", RegValue::Dword(60));
    set(w + "\\Timer", "Path", RegValue::Text("%T%", RegType::ExpandSz));
    set(w + "\\Timer", "Big", RegValue{RegType::Qword, std::string("\x01\0\0\0\0\0\0\0", 8)});
    set(w + "\\Timer", "Tab", RegValue::Text("a\tb"));
    set(w + "\\Alarm", "", RegValue::Text("built-in"));
    set(w + "\\Alarm", "blob", RegValue::Binary(blob));
    set("", "top", RegValue::Dword(1));

    const std::string k = "[HKEY_CURRENT_USER\\Software\\Quillmere\\Pagewarden\\watchset.ini";
    EXPECT_EQ(
        FileText(),
        std::string(kHeader) +
            "[HKEY_CURRENT_USER]\n"
            "\"top\"=dword:00000001\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Quillmere]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Quillmere\\Pagewarden]\n"
            "\n" +
            k + "]\n\n" + k +
            "\\Alarm]\n"
            "@=\"built-in\"\n"
            "\"blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
            "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
            "  2f,30,31\n"
            "\n" +
            k + "\\empty]\n\n" + k +
            "\\Timer]\n"
            "\"Duration\"=dword:0000003c\n"
            "\"Path\"=hex(2):25,54,25,00\n"
            "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
            "\"Tab\"=hex(1):61,09,62,00\n"
            "\n" +
            k +
            "\\URLs]\n"
            "\"URL1\"=\"http://a.example/\\\"q\\\"\\\\x\"\n"
            "\n");

    EXPECT_EQ(s->OpenKey(RegRoot::LocalMachine, kWatch, false), NotFound);
    ASSERT_EQ(s->OpenKey(RegRoot::ClassesRoot, ".html", true), Ok);
    EXPECT_EQ(ReadFile((folder_ / "HKCR.reg").string()),
              std::string(kHeader) + "[HKEY_CLASSES_ROOT\\.html]\n\n");
}

TEST_F(RegistryStoreTest, NamesCompareCaseInsensitivelyAndKeepTheirCase) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "Software\\MixedCase", true), Ok);
    EXPECT_EQ(s->OpenKey(kCU, "software\\MIXEDCASE", true), Ok);
    ASSERT_EQ(s->SetValue(kCU, "software\\mixedCASE", "Name", RegValue::Text("1")), Ok);
    ASSERT_EQ(s->SetValue(kCU, "Software\\MixedCase", "NAME", RegValue::Dword(2)), Ok);

    auto fresh = Make();
    EXPECT_THAT(SubKeys(*fresh, "SOFTWARE"), ElementsAre("MixedCase"));
    EXPECT_THAT(ValueNames(*fresh, "software\\mixedcase"), ElementsAre("Name"));
    // The later write replaced the value, type included.
    EXPECT_EQ(Query(*fresh, "SOFTWARE\\MIXEDCASE", "name"), RegValue::Dword(2));
}

TEST_F(RegistryStoreTest, MissingKeysAndValuesAreNotFoundAndCreateNothing) {
    auto s = Make();
    EXPECT_EQ(s->OpenKey(kCU, "A\\B", false), NotFound);
    EXPECT_EQ(Query(*s, "A", "x"), kNotFound);
    EXPECT_EQ(s->SetValue(kCU, "A\\B", "x", RegValue::Dword(1)), NotFound);
    EXPECT_EQ(s->DeleteValue(kCU, "A", "x"), NotFound);
    EXPECT_EQ(s->DeleteKey(kCU, "A"), NotFound);
    EXPECT_THAT(SubKeys(*s, "A"), ElementsAre(kNotFound.data));
    EXPECT_EQ(s->OpenKey(kCU, "", false), Ok);  // the root always exists
    EXPECT_FALSE(fs::exists(folder_)) << "nothing was changed, so nothing was created";

    ASSERT_EQ(s->OpenKey(kCU, "A\\B", true), Ok);
    EXPECT_EQ(Query(*s, "A\\B", "x"), kNotFound);
    EXPECT_EQ(fs::status(folder_).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(RegistryStoreTest, DeletesAndEnumerations) {
    auto s = Make();
    for (const char* key : {"K\\b", "K\\C\\deep\\deeper", "K\\a"})
        ASSERT_EQ(s->OpenKey(kCU, key, true), Ok);
    for (const char* n : {"z", "y", "x"})
        ASSERT_EQ(s->SetValue(kCU, "K", n, RegValue::Dword(1)), Ok);
    ASSERT_EQ(s->SetValue(kCU, "K", "Z", RegValue::Dword(2)), Ok);  // keeps its place
    ASSERT_EQ(s->DeleteValue(kCU, "K", "y"), Ok);
    ASSERT_EQ(s->SetValue(kCU, "K", "y", RegValue::Dword(3)), Ok);  // goes last
    ASSERT_EQ(s->SetValue(kCU, "K\\C\\deep", "v", RegValue::Dword(4)), Ok);

    EXPECT_THAT(ValueNames(*s, "K"), ElementsAre("z", "x", "y"));
    EXPECT_THAT(SubKeys(*s, "K"), ElementsAre("a", "b", "C"));

    ASSERT_EQ(s->DeleteKey(kCU, "k\\c"), Ok);  // with everything below it
    EXPECT_EQ(s->DeleteValue(kCU, "K", "y"), Ok);
    EXPECT_EQ(s->DeleteValue(kCU, "K", "y"), NotFound);

    auto fresh = Make();
    EXPECT_EQ(fresh->OpenKey(kCU, "K\\C\\deep", false), NotFound);
    EXPECT_THAT(SubKeys(*fresh, "K"), ElementsAre("a", "b"));
    EXPECT_THAT(ValueNames(*fresh, "K"), ElementsAre("z", "x"));
    EXPECT_EQ(Query(*fresh, "K", "z"), RegValue::Dword(2));
    EXPECT_THAT(SubKeys(*fresh, "K\\a"), ElementsAre());
}

TEST_F(RegistryStoreTest, OverLimitOrMalformedNamesAndDataAreRefusedWithNothingWritten) {
    auto s = Make();
    ASSERT_EQ(s->SetValue(kCU, "", "keep", RegValue::Dword(7)), Ok);
    const std::string before = FileText();

    std::string deep = "d";
    for (int i = 0; i < 512; ++i)
        deep += "\\d";
    for (const std::string& path :
         {"A\\" + std::string(kRegMaxKeyNameBytes + 1, 'k'), std::string("tab\tkey"), deep,
          std::string("\\A"), std::string("A\\\\B"), std::string("A\\")}) {
        EXPECT_EQ(s->OpenKey(kCU, path, true), InvalidParameter) << path;
        EXPECT_EQ(Query(*s, path, "x"), Failed(InvalidParameter)) << path;
    }
    for (const std::string& name : {std::string(kRegMaxNameBytes + 1, 'n'), std::string("a\nb")})
        EXPECT_EQ(s->SetValue(kCU, "", name, RegValue::Dword(1)), InvalidParameter);
    EXPECT_EQ(
        s->SetValue(kCU, "", "big", RegValue::Binary(std::string(kRegMaxValueBytes + 1, 'x'))),
        InvalidParameter);
    EXPECT_EQ(s->DeleteKey(kCU, ""), InvalidParameter);
    EXPECT_EQ(FileText(), before);

    // Exactly at the limits is fine and reads back.
    const std::string maxKey(kRegMaxKeyNameBytes, 'K');
    const std::string maxName(kRegMaxNameBytes, 'N');
    const RegValue maxData = RegValue::Binary(std::string(kRegMaxValueBytes, '\xAB'));
    ASSERT_EQ(s->OpenKey(kCU, maxKey, true), Ok);
    ASSERT_EQ(s->SetValue(kCU, maxKey, maxName, maxData), Ok);
    EXPECT_EQ(Query(*Make(), maxKey, maxName), maxData);
    EXPECT_TRUE(notices_.empty());
}

// ---- damaged files ------------------------------------------------------------------------------

TEST_F(RegistryStoreTest, ADamagedFileIsSalvagedAndSetAsideWithoutOverwritingEarlierCopies) {
    const std::string original = std::string(kHeader) +
                                 "[HKEY_CURRENT_USER\\Good]\n"
                                 "\"before\"=\"kept\"\n" +
                                 std::string("\x00\x01\xFF\xFE garbage \x7F\n", 15) +
                                 "\"after\"=dword:00000007\n";
    WriteFile(original);
    std::ofstream(File() + ".broken-1") << "older copy";
    std::ofstream(File() + ".broken-2") << "another";
    // The notice comes with no lock held, so its receiver may use the store.
    std::unique_ptr<RegistryStore> s;
    s = std::make_unique<RegistryStore>(folder_, [&](const std::string& m) {
        notices_.push_back(m);
        EXPECT_EQ(s->OpenKey(kCU, "Good", false), Ok);
    });
    EXPECT_EQ(Query(*s, "Good", "before"), RegValue::Text("kept"));
    EXPECT_EQ(Query(*s, "Good", "after"), RegValue::Dword(7));

    const std::string aside = File() + ".broken-3";
    EXPECT_EQ(ReadFile(aside), original) << "the original is kept byte for byte";
    EXPECT_EQ(ReadFile(File() + ".broken-1"), "older copy");
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_THAT(notices_[0], HasSubstr(File()));
    EXPECT_THAT(notices_[0], HasSubstr("line 5"));
    EXPECT_THAT(notices_[0], HasSubstr(aside));

    // The repaired file is sound: a later write works and a new reader sees no damage.
    ASSERT_EQ(s->SetValue(kCU, "Good", "new", RegValue::Dword(1)), Ok);
    auto fresh = Make();
    EXPECT_EQ(Query(*fresh, "Good", "before"), RegValue::Text("kept"));
    EXPECT_EQ(Query(*fresh, "Good", "new"), RegValue::Dword(1));
    EXPECT_EQ(notices_.size(), 1u);
    EXPECT_FALSE(fs::exists(File() + ".broken-4"));
}

TEST_F(RegistryStoreTest, AnOversizedFileIsNotReadButSetAside) {
    const auto size = static_cast<std::uintmax_t>(RegistryStore::kMaxFileBytes) + 1;
    WriteFile("Windows Registry Editor Version 5.00\n");
    fs::resize_file(File(), size);  // sparse: cheap to make
    auto s = Make();
    EXPECT_THAT(SubKeys(*s, ""), ElementsAre());
    EXPECT_EQ(fs::file_size(File() + ".broken-1"), size);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_THAT(notices_[0], HasSubstr("64 MiB"));
    EXPECT_EQ(FileText(), kHeader);
    EXPECT_EQ(s->OpenKey(kCU, "Works", true), Ok);
}

// Running as root, permission bits do not stop this process; a child that gives up root shows
// what a user without write access to the folder gets.
TEST_F(RegistryStoreTest, ADamagedFileThatCannotBeSetAsideIsLeftAlone) {
    const std::string original =
        std::string(kHeader) + "[HKEY_CURRENT_USER\\A]\n\"v\"=\"kept\"\n\"w\"=dword:zz\n";
    WriteFile(original);
    for (fs::path p = folder_; p != dir_.path().parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);

    const int failures = ExitCode(Spawn([&] {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0 || access(folder_.c_str(), W_OK) == 0)
            return 77;
        int failed = 0;
        std::vector<std::string> got;
        RegistryStore s(folder_, [&](const std::string& m) { got.push_back(m); });
        if (Query(s, "A", "v") != RegValue::Text("kept")) failed |= 1;
        if (got.size() != 1 || got[0].find("could not be set aside") == std::string::npos ||
            got[0].find("line 5") == std::string::npos)
            failed |= 2;
        if (s.SetValue(kCU, "A", "x", RegValue::Dword(1)) != AccessDenied) failed |= 4;
        if (Query(s, "A", "x") != kNotFound) failed |= 8;
        if (s.OpenKey(kCU, "A", true) != Ok || got.size() != 1) failed |= 16;
        return failed;
    }));
    if (failures == 77) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(failures, 0) << "bit mask of failed checks in the child";
    EXPECT_EQ(FileText(), original);
    EXPECT_FALSE(fs::exists(File() + ".broken-1"));
}

// ---- failures -----------------------------------------------------------------------------------

TEST_F(RegistryStoreTest, AnUnwritableStoreFailsAndKeepsTheOldFileAndValues) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "A", true), Ok);
    ASSERT_EQ(s->SetValue(kCU, "A", "old", RegValue::Text("value")), Ok);
    const std::string before = FileText();

    // A folder where the temporary file must go: no write can get through, alone or grouped.
    fs::create_directory(File() + ".new");
    EXPECT_EQ(s->SetValue(kCU, "A", "old", RegValue::Text("changed")), AccessDenied);
    {
        RegUpdate update(*s, kCU);
        ASSERT_EQ(s->SetValue(kCU, "A", "old", RegValue::Text("changed")), Ok);
        ASSERT_EQ(s->SetValue(kCU, "A", "new", RegValue::Dword(1)), Ok);
        ASSERT_EQ(s->OpenKey(kCU, "A\\Sub", true), Ok);
        EXPECT_EQ(update.Commit(), AccessDenied);
        EXPECT_EQ(update.Commit(), AccessDenied) << "a second Commit ends nothing more";
    }
    EXPECT_EQ(FileText(), before);
    auto fresh = Make();
    for (RegistryStore* reader : {s.get(), fresh.get()}) {
        EXPECT_EQ(Query(*reader, "A", "old"), RegValue::Text("value"));
        EXPECT_EQ(Query(*reader, "A", "new"), kNotFound);
        EXPECT_EQ(reader->OpenKey(kCU, "A\\Sub", false), NotFound);
    }

    // The lock was given back: other stores write, and so does the next update.
    fs::remove(File() + ".new");
    ASSERT_EQ(fresh->SetValue(kCU, "A", "fresh", RegValue::Dword(2)), Ok);
    s->BeginUpdate(kCU);
    ASSERT_EQ(s->SetValue(kCU, "A", "new", RegValue::Dword(1)), Ok);
    EXPECT_EQ(s->EndUpdate(kCU), Ok);
    EXPECT_EQ(Query(*fresh, "A", "new"), RegValue::Dword(1));
    EXPECT_EQ(Query(*s, "A", "fresh"), RegValue::Dword(2));

    // A folder path below a regular file.
    const std::string plain = dir_ / "plain";
    std::ofstream(plain) << "x";
    RegistryStore blocked(fs::path(plain) / "pagewarden", nullptr);
    EXPECT_EQ(blocked.OpenKey(kCU, "A", false), NotFound);
    EXPECT_EQ(blocked.SetValue(kCU, "", "v", RegValue::Dword(1)), AccessDenied);
    EXPECT_TRUE(notices_.empty());
}

TEST_F(RegistryStoreTest, KeepCopyKeepsTheStoredFileAsItIsUnderANewName) {
    auto s = Make();
    std::string where;
    EXPECT_EQ(s->KeepCopy(kCU, where), NotFound);
    ASSERT_EQ(s->OpenKey(kCU, "A", true), Ok);
    ASSERT_EQ(s->SetValue(kCU, "A", "v", RegValue::Binary("\x01")), Ok);
    const std::string before = FileText();
    std::ofstream(File() + ".broken-1") << "a damaged file set aside earlier";

    ASSERT_EQ(s->KeepCopy(kCU, where), Ok);
    EXPECT_EQ(where, File() + ".broken-2");
    // Later writes replace the file, never the copy.
    ASSERT_EQ(s->SetValue(kCU, "A", "v", RegValue::Text("new")), Ok);
    EXPECT_EQ(ReadFile(where), before);
    EXPECT_EQ(ReadFile(File() + ".broken-1"), "a damaged file set aside earlier");
    EXPECT_EQ(s->KeepCopy(kCU, where), Ok);
    EXPECT_EQ(where, File() + ".broken-3");
    EXPECT_TRUE(notices_.empty());
}

// ---- snapshots ----------------------------------------------------------------------------------

TEST_F(RegistryStoreTest, ASnapshotAnswersFromOneReadingAndWritesNothing) {
    auto writer = Make();
    ASSERT_EQ(writer->OpenKey(kCU, "Rows", true), Ok);
    ASSERT_EQ(writer->SetValue(kCU, "Rows", "URL1", RegValue::Text("old 1")), Ok);
    ASSERT_EQ(writer->SetValue(kCU, "Rows", "URL2", RegValue::Text("old 2")), Ok);

    auto snapshot = MakeSnapshot();
    EXPECT_EQ(Query(*snapshot, "Rows", "URL1"), RegValue::Text("old 1"));
    // A save in the middle of the reading: the snapshot goes on with the version it read.
    ASSERT_EQ(writer->SetValue(kCU, "Rows", "URL1", RegValue::Text("new 1")), Ok);
    ASSERT_EQ(writer->SetValue(kCU, "Rows", "URL2", RegValue::Text("new 2")), Ok);
    EXPECT_EQ(Query(*snapshot, "Rows", "URL2"), RegValue::Text("old 2"));
    EXPECT_EQ(Query(*MakeSnapshot(), "Rows", "URL2"), RegValue::Text("new 2"));

    const auto before = Listing();
    std::string where;
    EXPECT_EQ(snapshot->SetValue(kCU, "Rows", "URL1", RegValue::Text("x")), AccessDenied);
    EXPECT_EQ(snapshot->OpenKey(kCU, "Rows", true), Ok);
    EXPECT_EQ(snapshot->OpenKey(kCU, "Missing", true), AccessDenied);
    EXPECT_EQ(snapshot->DeleteValue(kCU, "Rows", "URL1"), AccessDenied);
    EXPECT_EQ(snapshot->DeleteKey(kCU, "Rows"), AccessDenied);
    EXPECT_EQ(snapshot->KeepCopy(kCU, where), AccessDenied);
    {
        RegUpdate update(*snapshot, kCU);
        EXPECT_EQ(snapshot->SetValue(kCU, "Rows", "URL3", RegValue::Text("x")), AccessDenied);
        EXPECT_EQ(update.Commit(), Ok);
    }
    EXPECT_EQ(Listing(), before);

    // No folder at all: nothing is found, nothing is created.
    RegistryStore elsewhere(dir_.path() / "none", nullptr, RegistryStore::Access::Snapshot);
    EXPECT_EQ(elsewhere.OpenKey(kCU, "Rows", true), AccessDenied);
    EXPECT_EQ(Query(elsewhere, "Rows", "URL1"), kNotFound);
    EXPECT_FALSE(fs::exists(dir_.path() / "none"));
    EXPECT_TRUE(notices_.empty());
}

TEST_F(RegistryStoreTest, ASnapshotLeavesADamagedFileAndNeverWaitsOnAFifo) {
    WriteFile(std::string(kHeader) + "[HKEY_CURRENT_USER\\A]\n\"v\"=\"kept\"\n\"w\"=dword:zz\n");
    const auto before = Listing();
    EXPECT_EQ(Query(*MakeSnapshot(), "A", "v"), RegValue::Text("kept"));
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_THAT(notices_[0], HasSubstr("is damaged (line 5"));
    EXPECT_THAT(notices_[0], HasSubstr("the file was left as it is"));
    EXPECT_EQ(Listing(), before);

    // A reader that opened a FIFO would wait for a writer that never comes.
    fs::remove(File());
    ASSERT_EQ(mkfifo(File().c_str(), 0600), 0);
    auto snapshot = MakeSnapshot();
    EXPECT_EQ(Query(*snapshot, "A", "v"), Failed(IoError));
    EXPECT_EQ(snapshot->OpenKey(kCU, "A", false), IoError);
    EXPECT_EQ(notices_.size(), 1u);
}

// ---- sharing ------------------------------------------------------------------------------------

TEST_F(RegistryStoreTest, TwoStoresOnOneFolderSeeEachOthersWritesAndThreadsLoseNone) {
    auto a = Make();
    auto b = Make();
    ASSERT_EQ(a->OpenKey(kCU, "Shared", true), Ok);
    EXPECT_EQ(b->OpenKey(kCU, "Shared", false), Ok);
    for (int i = 0; i < 20; ++i) {
        // Alternating writers, each with a cache that the other just made stale.
        RegistryStore& w = i % 2 ? *a : *b;
        ASSERT_EQ(w.SetValue(kCU, "Shared", "v" + std::to_string(i), RegValue::Dword(i)), Ok);
        ASSERT_EQ(w.SetValue(kCU, "Shared", "last", RegValue::Dword(i)), Ok);
        EXPECT_EQ(Query(i % 2 ? *b : *a, "Shared", "last"), RegValue::Dword(i));
    }
    ASSERT_EQ(b->DeleteValue(kCU, "Shared", "v3"), Ok);
    EXPECT_EQ(Query(*a, "Shared", "v3"), kNotFound);
    EXPECT_EQ(ValueNames(*a, "Shared").size(), 20u);

    // Many small read-modify-write cycles from threads on both stores interleave in many ways;
    // a lost update shows up as a missing value. The stores exclude each other through the lock
    // file just as two processes do.
    ASSERT_EQ(a->OpenKey(kCU, "T", true), Ok);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            RegistryStore& s = t % 2 ? *a : *b;
            for (int i = 0; i < 40; ++i) {
                const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                EXPECT_EQ(s.SetValue(kCU, "T", name, RegValue::Dword(i)), Ok);
                EXPECT_EQ(Query(s, "T", name), RegValue::Dword(i));
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ValueNames(*Make(), "T").size(), 160u);
}

// ---- updates ------------------------------------------------------------------------------------

TEST_F(RegistryStoreTest, AGroupOfWritesIsOneFileWrite) {
    auto s = Make();
    auto other = Make();
    ASSERT_EQ(s->OpenKey(kCU, "W", true), Ok);
    ASSERT_EQ(s->SetValue(kCU, "W", "old", RegValue::Text("before")), Ok);
    ASSERT_EQ(s->SetValue(kCU, "W", "gone", RegValue::Dword(1)), Ok);
    EXPECT_EQ(Query(*other, "W", "old"), RegValue::Text("before"));
    const std::uint64_t writes = WriteCount();

    s->BeginUpdate(kCU);
    ASSERT_EQ(s->OpenKey(kCU, "W\\URLs", true), Ok);
    for (const char* url : {"URL1", "URL2", "URL3"})
        ASSERT_EQ(s->SetValue(kCU, "W\\URLs", url, RegValue::Text(url)), Ok);
    ASSERT_EQ(s->SetValue(kCU, "W", "old", RegValue::Text("after")), Ok);
    ASSERT_EQ(s->DeleteValue(kCU, "W", "gone"), Ok);
    // A write that fails inside the group fails alone, at once, and changes nothing.
    EXPECT_EQ(
        s->SetValue(kCU, "W", "big", RegValue::Binary(std::string(kRegMaxValueBytes + 1, 'x'))),
        InvalidParameter);
    EXPECT_EQ(s->SetValue(kCU, "Missing", "v", RegValue::Dword(1)), NotFound);
    s->BeginUpdate(kCU);  // nested: its end writes nothing
    ASSERT_EQ(s->SetValue(kCU, "W", "inner", RegValue::Dword(5)), Ok);
    EXPECT_EQ(s->EndUpdate(kCU), Ok);

    // This store sees the group at once; the file and every other reader see none of it, and
    // reading does not wait for the update.
    EXPECT_EQ(Query(*s, "W", "old"), RegValue::Text("after"));
    EXPECT_EQ(Query(*s, "W", "inner"), RegValue::Dword(5));
    EXPECT_EQ(WriteCount(), writes);
    EXPECT_EQ(Query(*other, "W", "old"), RegValue::Text("before"));
    EXPECT_EQ(Query(*other, "W", "gone"), RegValue::Dword(1));
    EXPECT_EQ(other->OpenKey(kCU, "W\\URLs", false), NotFound);

    EXPECT_EQ(s->EndUpdate(kCU), Ok);
    EXPECT_EQ(WriteCount(), writes + 1);
    EXPECT_EQ(s->EndUpdate(kCU), InvalidParameter) << "no update is open";
    auto fresh = Make();
    for (RegistryStore* reader : {other.get(), fresh.get()}) {
        EXPECT_THAT(ValueNames(*reader, "W"), ElementsAre("old", "inner"));
        EXPECT_EQ(Query(*reader, "W", "old"), RegValue::Text("after"));
        EXPECT_EQ(Query(*reader, "W\\URLs", "URL3"), RegValue::Text("URL3"));
    }
    // Outside the update writes are durable one by one again.
    ASSERT_EQ(s->SetValue(kCU, "W", "later", RegValue::Dword(1)), Ok);
    EXPECT_EQ(WriteCount(), writes + 2);
    EXPECT_TRUE(notices_.empty());
}

TEST_F(RegistryStoreTest, AGroupKeepsTheFileWithinItsLimit) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "one thread and 64 MiB of bytes: only slow under the thread sanitizer";
#endif
    // 62 MiB of plain text values, written directly: the group starts 2 MiB below the limit.
    std::string file = std::string(kHeader) + "[HKEY_CURRENT_USER\\G]\n";
    for (int i = 0; i < 62; ++i)
        file +=
            "\"t" + std::to_string(i) + "\"=\"" + std::string(kRegMaxValueBytes - 1, 'a') + "\"\n";
    WriteFile(file);
    auto s = Make();
    const RegValue half = RegValue::Binary(std::string(kRegMaxValueBytes / 2, '\x5A'));
    {
        RegUpdate update(*s, kCU);
        ASSERT_EQ(s->SetValue(kCU, "G", "small", RegValue::Dword(3)), Ok);
        // 1 MiB of bytes takes over 3 MiB as hex text, half of it just fits.
        EXPECT_EQ(
            s->SetValue(kCU, "G", "full", RegValue::Binary(std::string(kRegMaxValueBytes, '\x5A'))),
            InvalidParameter);
        EXPECT_EQ(s->SetValue(kCU, "G", "half", half), Ok);
        EXPECT_EQ(update.Commit(), Ok);
    }
    // Checked in the text: parsing 64 MiB again would only make the test slow.
    std::string text(fs::file_size(File()), '\0');
    std::ifstream(File(), std::ios::binary)
        .read(text.data(), static_cast<std::streamsize>(text.size()));
    EXPECT_LE(text.size(), RegistryStore::kMaxFileBytes);
    EXPECT_THAT(text, HasSubstr("\n\"small\"=dword:00000003\n\"half\"=hex:5a,5a,"));
    EXPECT_EQ(text.find("\"full\""), std::string::npos);
    EXPECT_EQ(Query(*s, "G", "half"), half);
    EXPECT_TRUE(notices_.empty());
}

TEST_F(RegistryStoreTest, TheGuardEndsTheUpdateOnScopeExit) {
    auto s = Make();
    // An update that writes nothing creates nothing.
    { RegUpdate update(*s, kCU); }
    EXPECT_FALSE(fs::exists(folder_));

    // Leaving by an exception keeps what was written before it, as plain writes would.
    try {
        RegUpdate update(*s, kCU);
        ASSERT_EQ(s->OpenKey(kCU, "S", true), Ok);
        ASSERT_EQ(s->SetValue(kCU, "S", "first", RegValue::Dword(1)), Ok);
        EXPECT_FALSE(fs::exists(File()));
        throw std::runtime_error("the second write failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(WriteCount(), 1u);
    EXPECT_EQ(Query(*Make(), "S", "first"), RegValue::Dword(1));
    EXPECT_EQ(s->EndUpdate(kCU), InvalidParameter) << "the guard already ended it";
}

TEST_F(RegistryStoreTest, OtherThreadsWaitForTheUpdateAndLoseNothing) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "T", true), Ok);
    const std::uint64_t writes = WriteCount();
    s->BeginUpdate(kCU);
    ASSERT_EQ(s->SetValue(kCU, "T", "main", RegValue::Dword(1)), Ok);

    std::atomic<bool> writerDone = false;
    RegStatus writerStatus = IoError, updaterStatus = IoError;
    std::thread writer([&] {
        writerStatus = s->SetValue(kCU, "T", "writer", RegValue::Dword(2));
        writerDone = true;
    });
    std::thread updater([&] {
        RegUpdate update(*s, kCU);
        EXPECT_EQ(s->SetValue(kCU, "T", "updater", RegValue::Dword(3)), Ok);
        EXPECT_EQ(s->SetValue(kCU, "T", "main", RegValue::Dword(4)), Ok);
        updaterStatus = update.Commit();
    });
    RegValue seen;
    std::thread reader([&] { seen = Query(*s, "T", "main"); });
    reader.join();
    EXPECT_EQ(seen, RegValue::Dword(1)) << "reads see the update at once and do not wait";

    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(writerDone) << "a write of another thread went into the open update";
    EXPECT_EQ(Query(*s, "T", "updater"), kNotFound);
    EXPECT_EQ(s->EndUpdate(kCU), Ok);
    writer.join();
    updater.join();

    EXPECT_EQ(writerStatus, Ok);
    EXPECT_EQ(updaterStatus, Ok);
    EXPECT_EQ(WriteCount(), writes + 3);
    auto fresh = Make();
    EXPECT_EQ(Query(*fresh, "T", "main"), RegValue::Dword(4));
    EXPECT_EQ(Query(*fresh, "T", "writer"), RegValue::Dword(2));
    EXPECT_EQ(Query(*fresh, "T", "updater"), RegValue::Dword(3));
}

TEST_F(RegistryStoreTest, AnotherProcessWritingDuringAnUpdateWaitsAndLosesNothing) {
    ASSERT_EQ(Make()->OpenKey(kCU, "P", true), Ok);
    int go[2], report[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(report), 0);
    // Forked before the update: a child holding a copy of the lock's descriptor would keep the
    // lock alive for itself.
    const pid_t child = Spawn([&] {
        close(go[1]);
        close(report[0]);
        char c;
        if (read(go[0], &c, 1) != 1) return 90;
        RegistryStore other(folder_, nullptr);
        // Reading does not wait and shows nothing of the open update.
        const char seen = Query(other, "P", "parent") == kNotFound ? 'n' : 'y';
        if (write(report[1], &seen, 1) != 1) return 91;
        int failures = 0;
        if (other.SetValue(kCU, "P", "child", RegValue::Dword(7)) != Ok) failures |= 1;
        if (Query(other, "P", "parent") != RegValue::Dword(1)) failures |= 2;
        return failures;
    });
    close(go[0]);
    close(report[1]);
    auto s = Make();
    s->BeginUpdate(kCU);
    ASSERT_EQ(s->SetValue(kCU, "P", "parent", RegValue::Dword(1)), Ok);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    char seen = 0;
    EXPECT_EQ(read(report[0], &seen, 1), 1);
    EXPECT_EQ(seen, 'n');
    std::this_thread::sleep_for(200ms);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the child's write did not wait";
    ASSERT_EQ(s->SetValue(kCU, "P", "parent2", RegValue::Dword(2)), Ok);
    EXPECT_EQ(s->EndUpdate(kCU), Ok);

    EXPECT_EQ(ExitCode(child), 0) << "bit mask of failed checks in the child";
    close(go[1]);
    close(report[0]);
    auto fresh = Make();
    EXPECT_EQ(Query(*fresh, "P", "parent"), RegValue::Dword(1));
    EXPECT_EQ(Query(*fresh, "P", "parent2"), RegValue::Dword(2));
    EXPECT_EQ(Query(*fresh, "P", "child"), RegValue::Dword(7));
}

}  // namespace
