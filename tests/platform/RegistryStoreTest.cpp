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
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
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
using pw::platform::kRegMaxKeyNameBytes;
using pw::platform::kRegMaxNameBytes;
using pw::platform::kRegMaxValueBytes;
using pw::platform::RegRoot;
using pw::platform::RegStatus;
using pw::platform::RegType;
using pw::platform::RegValue;
using pw::platform::posix::RegistryStore;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr auto kCU = RegRoot::CurrentUser;
constexpr const char* kWatch = "Software\\Quillmere\\Pagewarden\\watchset.ini";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

class RegistryStoreTest : public ::testing::Test {
  protected:
    std::unique_ptr<RegistryStore> Make() {
        return std::make_unique<RegistryStore>(folder_, [this](const std::string& m) {
            std::lock_guard guard(noticeMutex_);
            notices_.push_back(m);
        });
    }
    std::string File() const { return (folder_ / "HKCU.reg").string(); }
    std::string FileText() const { return pw::test::ReadFile(File()); }
    void WriteFile(const std::string& bytes) {
        fs::create_directories(folder_);
        std::ofstream(File(), std::ios::binary) << bytes;
    }
    RegValue Query(RegistryStore& s, std::string_view path, std::string_view name) {
        RegValue v;
        EXPECT_EQ(s.QueryValue(kCU, path, name, v), RegStatus::Ok) << path << " / " << name;
        return v;
    }

    pw::test::TempDir dir_;
    fs::path folder_ = dir_.path() / "config" / "pagewarden";
    std::mutex noticeMutex_;
    std::vector<std::string> notices_;
};

RegValue Typed(RegType type, std::string data) {
    return RegValue{type, std::move(data)};
}

// ---- values and keys ----------------------------------------------------------------------------

TEST_F(RegistryStoreTest, EveryTypeSurvivesTheFileExactly) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"quotes", RegValue::Text("say \"hi\" \\ C:\\dir\\ \\\"")},
        {"lines", RegValue::Text("one\r\ntwo\nthree\ttab")},
        {"high", RegValue::Text("caf\xE9 \xFF\x80 \xC3\xA9")},
        {"empty", RegValue::Text("")},
        {"", RegValue::Text("the default")},
        {"zero", RegValue::Dword(0)},
        {"max", RegValue::Dword(0xFFFFFFFF)},
        {"binary", RegValue::Binary(std::string("\0a\0\0b\0", 6))},
        {"long", RegValue::Binary(allBytes + allBytes)},
        {"emptybinary", RegValue::Binary("")},
        {"expand", RegValue::Text("%TEMP%\\x", RegType::ExpandSz)},
        {"multi", Typed(RegType::MultiSz, std::string("a\0bc\0\0", 6))},
        {"qword", Typed(RegType::Qword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8))},
        {"odd type", Typed(static_cast<RegType>(0x12345), "xy")},
        {"none", Typed(RegType::None, "")},
        {"unterminated sz", Typed(RegType::Sz, "no zero")},
        {"inner zero sz", Typed(RegType::Sz, std::string("a\0b\0", 4))},
        {"short dword", Typed(RegType::Dword, "\x01\x02")},
        {"name \"with\" \\ quotes \xE9", RegValue::Text("v")},
    };
    auto writer = Make();
    ASSERT_EQ(writer->OpenKey(kCU, "Types", true), RegStatus::Ok);
    for (const auto& [name, value] : values)
        ASSERT_EQ(writer->SetValue(kCU, "Types", name, value), RegStatus::Ok) << name;

    auto reader = Make();  // a fresh cache: everything comes from the file
    for (const auto& [name, value] : values)
        EXPECT_EQ(Query(*reader, "Types", name), value) << name;
    std::vector<std::string> names;
    ASSERT_EQ(reader->EnumValues(kCU, "Types", names), RegStatus::Ok);
    ASSERT_EQ(names.size(), values.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(names[i], values[i].first);

    // Long hex data wraps into indented continuation lines that stay within 80 columns.
    const std::string text = FileText();
    EXPECT_THAT(text, HasSubstr(",\\\n  "));
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("\"long\"", 0) == 0 || line.rfind("  ", 0) == 0) {
            EXPECT_LE(line.size(), 80u);
        }
    }
    EXPECT_TRUE(notices_.empty());
}

TEST_F(RegistryStoreTest, WritesTheKnownLayout) {
    auto s = Make();
    const std::string w = kWatch;
    ASSERT_EQ(s->OpenKey(kCU, w + "\\URLs", true), RegStatus::Ok);
    ASSERT_EQ(s->OpenKey(kCU, w + "\\Timer", true), RegStatus::Ok);
    ASSERT_EQ(s->OpenKey(kCU, w + "\\empty", true), RegStatus::Ok);
    ASSERT_EQ(s->OpenKey(kCU, w + "\\Alarm", true), RegStatus::Ok);
    std::string blob;
    for (int i = 0; i < 30; ++i)
        blob += static_cast<char>(i);
    ASSERT_EQ(s->SetValue(kCU, w + "\\URLs", "URL1", RegValue::Text("http://a.example/\"q\"\\x")),
              RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, w + "\\Timer", "Duration", RegValue::Dword(60)), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, w + "\\Timer", "Path", RegValue::Text("%T%", RegType::ExpandSz)),
              RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, w + "\\Timer", "Big",
                          Typed(RegType::Qword, std::string("\x01\0\0\0\0\0\0\0", 8))),
              RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, w + "\\Timer", "Tab", RegValue::Text("a\tb")), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, w + "\\Alarm", "", RegValue::Text("built-in")), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, w + "\\Alarm", "blob", RegValue::Binary(blob)), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "", "top", RegValue::Dword(1)), RegStatus::Ok);

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
            "  16,17,18,19,1a,1b,1c,1d\n"
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
}

TEST_F(RegistryStoreTest, NamesCompareCaseInsensitivelyAndKeepTheirCase) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "Software\\MixedCase", true), RegStatus::Ok);
    EXPECT_EQ(s->OpenKey(kCU, "SOFTWARE\\mixedcase", false), RegStatus::Ok);
    EXPECT_EQ(s->OpenKey(kCU, "software\\MIXEDCASE", true), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "software\\mixedCASE", "Name", RegValue::Text("1")), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "Software\\MixedCase", "NAME", RegValue::Dword(2)), RegStatus::Ok);

    auto fresh = Make();
    std::vector<std::string> names;
    ASSERT_EQ(fresh->EnumSubKeys(kCU, "SOFTWARE", names), RegStatus::Ok);
    EXPECT_THAT(names, ElementsAre("MixedCase"));
    ASSERT_EQ(fresh->EnumValues(kCU, "software\\mixedcase", names), RegStatus::Ok);
    EXPECT_THAT(names, ElementsAre("Name"));
    // The later write replaced the value, type included.
    EXPECT_EQ(Query(*fresh, "SOFTWARE\\MIXEDCASE", "name"), RegValue::Dword(2));
}

TEST_F(RegistryStoreTest, MissingKeysAndValuesAreNotFoundAndWriteNothing) {
    auto s = Make();
    RegValue v = RegValue::Text("untouched");
    EXPECT_EQ(s->OpenKey(kCU, "A\\B", false), RegStatus::NotFound);
    EXPECT_EQ(s->QueryValue(kCU, "A", "x", v), RegStatus::NotFound);
    EXPECT_EQ(s->SetValue(kCU, "A\\B", "x", RegValue::Dword(1)), RegStatus::NotFound);
    EXPECT_EQ(s->DeleteValue(kCU, "A", "x"), RegStatus::NotFound);
    EXPECT_EQ(s->DeleteKey(kCU, "A"), RegStatus::NotFound);
    std::vector<std::string> names;
    EXPECT_EQ(s->EnumSubKeys(kCU, "A", names), RegStatus::NotFound);
    EXPECT_EQ(s->OpenKey(kCU, "", false), RegStatus::Ok);  // the root always exists
    EXPECT_EQ(v, RegValue::Text("untouched"));
    EXPECT_FALSE(fs::exists(folder_)) << "nothing was changed, so nothing was created";

    ASSERT_EQ(s->OpenKey(kCU, "A\\B", true), RegStatus::Ok);
    EXPECT_EQ(s->OpenKey(kCU, "A", false), RegStatus::Ok);
    EXPECT_EQ(s->QueryValue(kCU, "A\\B", "x", v), RegStatus::NotFound);
    EXPECT_EQ(fs::status(folder_).permissions() & fs::perms::all, fs::perms::owner_all);

    // Empty components are refused whatever the operation; the other roots are separate files.
    for (const char* bad : {"\\A", "A\\\\B", "A\\"}) {
        EXPECT_EQ(s->OpenKey(kCU, bad, true), RegStatus::InvalidParameter) << bad;
        EXPECT_EQ(s->QueryValue(kCU, bad, "x", v), RegStatus::InvalidParameter) << bad;
    }
    EXPECT_EQ(s->DeleteKey(kCU, ""), RegStatus::InvalidParameter);
    EXPECT_EQ(s->OpenKey(RegRoot::LocalMachine, "A", false), RegStatus::NotFound);
    ASSERT_EQ(s->OpenKey(RegRoot::ClassesRoot, ".html", true), RegStatus::Ok);
    EXPECT_EQ(pw::test::ReadFile((folder_ / "HKCR.reg").string()),
              std::string(kHeader) + "[HKEY_CLASSES_ROOT\\.html]\n\n");
}

TEST_F(RegistryStoreTest, DeletesAndEnumerations) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "K\\b", true), RegStatus::Ok);
    ASSERT_EQ(s->OpenKey(kCU, "K\\C\\deep\\deeper", true), RegStatus::Ok);
    ASSERT_EQ(s->OpenKey(kCU, "K\\a", true), RegStatus::Ok);
    for (const char* n : {"z", "y", "x"})
        ASSERT_EQ(s->SetValue(kCU, "K", n, RegValue::Dword(1)), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "K", "Z", RegValue::Dword(2)), RegStatus::Ok);  // keeps its place
    ASSERT_EQ(s->DeleteValue(kCU, "K", "y"), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "K", "y", RegValue::Dword(3)), RegStatus::Ok);  // goes last
    ASSERT_EQ(s->SetValue(kCU, "K\\C\\deep", "v", RegValue::Dword(4)), RegStatus::Ok);

    std::vector<std::string> names;
    ASSERT_EQ(s->EnumValues(kCU, "K", names), RegStatus::Ok);
    EXPECT_THAT(names, ElementsAre("z", "x", "y"));
    ASSERT_EQ(s->EnumSubKeys(kCU, "K", names), RegStatus::Ok);
    EXPECT_THAT(names, ElementsAre("a", "b", "C"));

    ASSERT_EQ(s->DeleteKey(kCU, "k\\c"), RegStatus::Ok);  // with everything below it
    EXPECT_EQ(s->DeleteValue(kCU, "K", "y"), RegStatus::Ok);
    EXPECT_EQ(s->DeleteValue(kCU, "K", "y"), RegStatus::NotFound);

    auto fresh = Make();
    EXPECT_EQ(fresh->OpenKey(kCU, "K\\C\\deep", false), RegStatus::NotFound);
    ASSERT_EQ(fresh->EnumSubKeys(kCU, "K", names), RegStatus::Ok);
    EXPECT_THAT(names, ElementsAre("a", "b"));
    ASSERT_EQ(fresh->EnumValues(kCU, "K", names), RegStatus::Ok);
    EXPECT_THAT(names, ElementsAre("z", "x"));
    EXPECT_EQ(Query(*fresh, "K", "z"), RegValue::Dword(2));
    ASSERT_EQ(fresh->EnumSubKeys(kCU, "K\\a", names), RegStatus::Ok);
    EXPECT_TRUE(names.empty());
}

TEST_F(RegistryStoreTest, OverLimitNamesAndDataAreRefusedWithNothingWritten) {
    auto s = Make();
    ASSERT_EQ(s->SetValue(kCU, "", "keep", RegValue::Dword(7)), RegStatus::Ok);
    const std::string before = FileText();

    const std::string longKey(kRegMaxKeyNameBytes + 1, 'k');
    EXPECT_EQ(s->OpenKey(kCU, "A\\" + longKey, true), RegStatus::InvalidParameter);
    EXPECT_EQ(s->SetValue(kCU, "", std::string(kRegMaxNameBytes + 1, 'n'), RegValue::Dword(1)),
              RegStatus::InvalidParameter);
    EXPECT_EQ(
        s->SetValue(kCU, "", "big", RegValue::Binary(std::string(kRegMaxValueBytes + 1, 'x'))),
        RegStatus::InvalidParameter);
    EXPECT_EQ(s->SetValue(kCU, "", "line\nbreak", RegValue::Dword(1)), RegStatus::InvalidParameter);
    EXPECT_EQ(s->OpenKey(kCU, "tab\tkey", true), RegStatus::InvalidParameter);
    std::string deep = "d";
    for (int i = 0; i < 512; ++i)
        deep += "\\d";
    EXPECT_EQ(s->OpenKey(kCU, deep, true), RegStatus::InvalidParameter);
    EXPECT_EQ(FileText(), before);

    // Exactly at the limits is fine and reads back.
    const std::string maxKey(kRegMaxKeyNameBytes, 'K');
    const std::string maxName(kRegMaxNameBytes, 'N');
    const RegValue maxData = RegValue::Binary(std::string(kRegMaxValueBytes, '\xAB'));
    ASSERT_EQ(s->OpenKey(kCU, maxKey, true), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, maxKey, maxName, maxData), RegStatus::Ok);
    EXPECT_EQ(Query(*Make(), maxKey, maxName), maxData);
    EXPECT_TRUE(notices_.empty());
}

// ---- damaged files ------------------------------------------------------------------------------

struct Damage {
    const char* label;
    std::string badLine;
    bool afterSurvives;  // the value after the bad line is still under a readable key
    bool terminated = true;
};

TEST_F(RegistryStoreTest, DamagedFilesAreSalvagedAndSetAside) {
    const std::vector<Damage> cases = {
        {"missing quote", "\"broken\"=\"no end", true},
        {"missing name quote", "\"broken=\"x\"", true},
        {"bad dword", "\"broken\"=dword:zz", true},
        {"nine digits", "\"broken\"=dword:000000001", true},
        {"odd hex", "\"broken\"=hex:01,2,03", true},
        {"unknown kind", "\"broken\"=text:abc", true},
        {"garbage", std::string("\x00\x01\xFF\xFE garbage \x7F", 14), true},
        {"huge line", std::string(5 << 20, 'x'), true},
        {"huge value", "\"broken\"=\"" + std::string(kRegMaxValueBytes + 10, 'v') + "\"", true},
        {"dangling continuation", "\"broken\"=hex:01,02,\\", true},
        {"other root", "[HKEY_LOCAL_MACHINE\\Software\\Other]", false},
        {"truncated", "\"after\"=\"tru", false, false},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(folder_);
        notices_.clear();
        const std::string original = std::string(kHeader) +
                                     "[HKEY_CURRENT_USER\\Software\\Good]\n"
                                     "\"before\"=\"kept\"\n" +
                                     c.badLine + (c.terminated ? "\n" : "") +
                                     (c.terminated ? "\"after\"=dword:00000007\n" : "");
        WriteFile(original);

        auto s = Make();
        EXPECT_EQ(Query(*s, "Software\\Good", "before"), RegValue::Text("kept"));
        RegValue after;
        EXPECT_EQ(s->QueryValue(kCU, "Software\\Good", "after", after),
                  c.afterSurvives ? RegStatus::Ok : RegStatus::NotFound);
        if (c.afterSurvives) {
            EXPECT_EQ(after, RegValue::Dword(7));
        }

        const std::string aside = File() + ".broken-1";
        EXPECT_EQ(pw::test::ReadFile(aside), original) << "the original is kept byte for byte";
        ASSERT_EQ(notices_.size(), 1u);
        EXPECT_THAT(notices_[0], HasSubstr(File()));
        EXPECT_THAT(notices_[0], HasSubstr("line 5"));
        EXPECT_THAT(notices_[0], HasSubstr(aside));

        // The repaired file is sound: a later write works and a new reader sees no damage.
        ASSERT_EQ(s->SetValue(kCU, "Software\\Good", "new", RegValue::Dword(1)), RegStatus::Ok);
        auto fresh = Make();
        EXPECT_EQ(Query(*fresh, "Software\\Good", "before"), RegValue::Text("kept"));
        EXPECT_EQ(Query(*fresh, "Software\\Good", "new"), RegValue::Dword(1));
        EXPECT_EQ(notices_.size(), 1u);
        EXPECT_FALSE(fs::exists(File() + ".broken-2"));
    }
}

TEST_F(RegistryStoreTest, SettingAsideNeverOverwritesAnEarlierCopy) {
    const std::string original = std::string(kHeader) + "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:zz\n";
    WriteFile(original);
    std::ofstream(File() + ".broken-1") << "older copy";
    std::ofstream(File() + ".broken-2") << "another";
    // The notice comes with no lock held, so its receiver may use the store.
    std::unique_ptr<RegistryStore> s;
    s = std::make_unique<RegistryStore>(folder_, [&](const std::string& m) {
        notices_.push_back(m);
        EXPECT_EQ(s->OpenKey(kCU, "A", false), RegStatus::Ok);
    });
    EXPECT_EQ(s->OpenKey(kCU, "A", false), RegStatus::Ok);
    EXPECT_EQ(pw::test::ReadFile(File() + ".broken-1"), "older copy");
    EXPECT_EQ(pw::test::ReadFile(File() + ".broken-3"), original);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_THAT(notices_[0], HasSubstr(".broken-3"));
}

TEST_F(RegistryStoreTest, AnOversizedFileIsNotReadButSetAside) {
    fs::create_directories(folder_);
    const auto size = static_cast<std::uintmax_t>(RegistryStore::kMaxFileBytes) + 1;
    { std::ofstream(File()) << "Windows Registry Editor Version 5.00\n"; }
    fs::resize_file(File(), size);  // sparse: cheap to make
    auto s = Make();
    std::vector<std::string> names;
    ASSERT_EQ(s->EnumSubKeys(kCU, "", names), RegStatus::Ok);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(fs::file_size(File() + ".broken-1"), size);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_THAT(notices_[0], HasSubstr("64 MiB"));
    EXPECT_EQ(FileText(), kHeader);
    EXPECT_EQ(s->OpenKey(kCU, "Works", true), RegStatus::Ok);
}

// Running as root, permission bits do not stop this process; a child that gives up root shows
// what a user without write access to the folder gets.
TEST_F(RegistryStoreTest, ADamagedFileThatCannotBeSetAsideIsLeftAlone) {
    fs::create_directories(folder_);
    const std::string original =
        std::string(kHeader) + "[HKEY_CURRENT_USER\\A]\n\"v\"=\"kept\"\n\"w\"=dword:zz\n";
    WriteFile(original);
    for (fs::path p = folder_; p != dir_.path().parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0 || access(folder_.c_str(), W_OK) == 0)
            _exit(77);
        int failures = 0;
        std::vector<std::string> got;
        RegistryStore s(folder_, [&](const std::string& m) { got.push_back(m); });
        RegValue v;
        if (s.QueryValue(kCU, "A", "v", v) != RegStatus::Ok || v != RegValue::Text("kept"))
            failures |= 1;
        if (got.size() != 1 || got[0].find("could not be set aside") == std::string::npos ||
            got[0].find("line 5") == std::string::npos)
            failures |= 2;
        if (s.SetValue(kCU, "A", "x", RegValue::Dword(1)) != RegStatus::AccessDenied) failures |= 4;
        if (s.QueryValue(kCU, "A", "x", v) != RegStatus::NotFound) failures |= 8;
        if (s.OpenKey(kCU, "A", true) != RegStatus::Ok || got.size() != 1) failures |= 16;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bit mask of failed checks in the child";
    EXPECT_EQ(FileText(), original);
    EXPECT_FALSE(fs::exists(File() + ".broken-1"));
}

// ---- failures -----------------------------------------------------------------------------------

TEST_F(RegistryStoreTest, AnUnwritableStoreFailsAndKeepsTheOldState) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "A", true), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "A", "old", RegValue::Text("value")), RegStatus::Ok);
    const std::string before = FileText();

    // A folder where the temporary file must go: no write can get through.
    fs::create_directory(File() + ".new");
    EXPECT_EQ(s->SetValue(kCU, "A", "old", RegValue::Text("changed")), RegStatus::AccessDenied);
    EXPECT_EQ(s->SetValue(kCU, "A", "new", RegValue::Dword(1)), RegStatus::AccessDenied);
    EXPECT_EQ(s->OpenKey(kCU, "A\\Sub", true), RegStatus::AccessDenied);
    EXPECT_EQ(s->DeleteKey(kCU, "A"), RegStatus::AccessDenied);
    EXPECT_EQ(FileText(), before);
    auto fresh = Make();
    for (RegistryStore* reader : {s.get(), fresh.get()}) {
        EXPECT_EQ(Query(*reader, "A", "old"), RegValue::Text("value"));
        RegValue v;
        EXPECT_EQ(reader->QueryValue(kCU, "A", "new", v), RegStatus::NotFound);
        EXPECT_EQ(reader->OpenKey(kCU, "A\\Sub", false), RegStatus::NotFound);
    }
    fs::remove(File() + ".new");
    EXPECT_EQ(s->SetValue(kCU, "A", "new", RegValue::Dword(1)), RegStatus::Ok);

    // A folder path below a regular file.
    const std::string plain = dir_ / "plain";
    std::ofstream(plain) << "x";
    RegistryStore blocked(fs::path(plain) / "pagewarden", nullptr);
    EXPECT_EQ(blocked.OpenKey(kCU, "", false), RegStatus::Ok);
    EXPECT_EQ(blocked.OpenKey(kCU, "A", false), RegStatus::NotFound);
    EXPECT_EQ(blocked.OpenKey(kCU, "A", true), RegStatus::AccessDenied);
    EXPECT_EQ(blocked.SetValue(kCU, "", "v", RegValue::Dword(1)), RegStatus::AccessDenied);
    EXPECT_EQ(pw::test::ReadFile(plain), "x");
    EXPECT_TRUE(notices_.empty());
}

// ---- sharing ------------------------------------------------------------------------------------

TEST_F(RegistryStoreTest, TwoStoresOnOneFolderSeeEachOthersWrites) {
    auto a = Make();
    auto b = Make();
    ASSERT_EQ(a->OpenKey(kCU, "Shared", true), RegStatus::Ok);
    EXPECT_EQ(b->OpenKey(kCU, "Shared", false), RegStatus::Ok);
    for (int i = 0; i < 20; ++i) {
        // Alternating writers, each with a cache that the other just made stale.
        RegistryStore& w = i % 2 ? *a : *b;
        ASSERT_EQ(w.SetValue(kCU, "Shared", "v" + std::to_string(i), RegValue::Dword(i)),
                  RegStatus::Ok);
        ASSERT_EQ(w.SetValue(kCU, "Shared", "last", RegValue::Dword(i)), RegStatus::Ok);
        EXPECT_EQ(Query(i % 2 ? *b : *a, "Shared", "last"), RegValue::Dword(i));
    }
    ASSERT_EQ(b->DeleteValue(kCU, "Shared", "v3"), RegStatus::Ok);
    std::vector<std::string> names;
    ASSERT_EQ(a->EnumValues(kCU, "Shared", names), RegStatus::Ok);
    EXPECT_EQ(names.size(), 20u);
    EXPECT_EQ(std::count(names.begin(), names.end(), "v3"), 0);
}

// Many small read-modify-write cycles from several writers interleave in many ways; a lost
// update shows up as a missing value.
TEST_F(RegistryStoreTest, ConcurrentThreadsLoseNoWrites) {
    auto a = Make();
    auto b = Make();
    ASSERT_EQ(a->OpenKey(kCU, "T", true), RegStatus::Ok);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            RegistryStore& s = t % 2 ? *a : *b;
            for (int i = 0; i < 40; ++i) {
                const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                EXPECT_EQ(s.SetValue(kCU, "T", name, RegValue::Dword(i)), RegStatus::Ok);
                RegValue v;
                EXPECT_EQ(s.QueryValue(kCU, "T", name, v), RegStatus::Ok);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    std::vector<std::string> names;
    ASSERT_EQ(Make()->EnumValues(kCU, "T", names), RegStatus::Ok);
    EXPECT_EQ(names.size(), 160u);
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    Make()->OpenKey(kCU, "P", true);
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(go[1]);
            char c;
            [[maybe_unused]] auto r = read(go[0], &c, 1);  // both start when the pipe closes
            RegistryStore s(folder_, nullptr);
            int failures = 0;
            for (int i = 0; i < 200; ++i)
                if (s.SetValue(kCU, "P", "p" + std::to_string(p) + "-" + std::to_string(i),
                               RegValue::Dword(i)) != RegStatus::Ok)
                    ++failures;
            _exit(failures > 100 ? 100 : failures);
        }
        children.push_back(child);
    }
    close(go[0]);
    close(go[1]);
    // Watchdog: a deadlock between the two fails the test instead of hanging it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (pid_t child : children) {
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << "a writer did not finish";
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed writes: " << status;
    }
    auto s = Make();
    std::vector<std::string> names;
    ASSERT_EQ(s->EnumValues(kCU, "P", names), RegStatus::Ok);
    EXPECT_EQ(names.size(), 400u);
    for (int i = 0; i < 200; i += 37)
        EXPECT_EQ(Query(*s, "P", "p1-" + std::to_string(i)), RegValue::Dword(i));
    EXPECT_TRUE(notices_.empty());
}

// ---- updates ------------------------------------------------------------------------------------

// Every write of the file bumps the counter at the start of the lock file.
std::uint64_t WriteCount(const fs::path& folder) {
    const std::string bytes = pw::test::ReadFile((folder / "HKCU.reg.lock").string());
    std::uint64_t n = 0;
    for (std::size_t i = std::min<std::size_t>(bytes.size(), 8); i-- > 0;)
        n = (n << 8) | static_cast<unsigned char>(bytes[i]);
    return n;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(RegistryStoreTest, AGroupOfWritesIsOneFileWrite) {
    auto s = Make();
    auto other = Make();
    ASSERT_EQ(s->OpenKey(kCU, "W", true), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "W", "old", RegValue::Text("before")), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "W", "gone", RegValue::Dword(1)), RegStatus::Ok);
    EXPECT_EQ(Query(*other, "W", "old"), RegValue::Text("before"));
    const std::string before = FileText();
    const ino_t inode = InodeOf(File());
    const std::uint64_t writes = WriteCount(folder_);

    s->BeginUpdate(kCU);
    ASSERT_EQ(s->OpenKey(kCU, "W\\URLs", true), RegStatus::Ok);
    for (int i = 1; i <= 20; ++i)
        ASSERT_EQ(s->SetValue(kCU, "W\\URLs", "URL" + std::to_string(i),
                              RegValue::Text("http://" + std::to_string(i) + ".example/")),
                  RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "W", "old", RegValue::Text("after")), RegStatus::Ok);
    ASSERT_EQ(s->DeleteValue(kCU, "W", "gone"), RegStatus::Ok);
    s->BeginUpdate(kCU);  // nested: its end writes nothing
    ASSERT_EQ(s->SetValue(kCU, "W", "inner", RegValue::Dword(5)), RegStatus::Ok);
    EXPECT_EQ(s->EndUpdate(kCU), RegStatus::Ok);

    // This store sees the group at once; the file and every other reader see none of it, and
    // reading does not wait for the update.
    EXPECT_EQ(Query(*s, "W", "old"), RegValue::Text("after"));
    EXPECT_EQ(Query(*s, "W\\URLs", "URL20"), RegValue::Text("http://20.example/"));
    EXPECT_EQ(Query(*s, "W", "inner"), RegValue::Dword(5));
    EXPECT_EQ(FileText(), before);
    EXPECT_EQ(InodeOf(File()), inode);
    EXPECT_EQ(WriteCount(folder_), writes);
    EXPECT_EQ(Query(*other, "W", "old"), RegValue::Text("before"));
    EXPECT_EQ(Query(*other, "W", "gone"), RegValue::Dword(1));
    EXPECT_EQ(other->OpenKey(kCU, "W\\URLs", false), RegStatus::NotFound);

    EXPECT_EQ(s->EndUpdate(kCU), RegStatus::Ok);
    EXPECT_EQ(WriteCount(folder_), writes + 1);
    EXPECT_NE(InodeOf(File()), inode);
    EXPECT_EQ(s->EndUpdate(kCU), RegStatus::InvalidParameter) << "no update is open";
    auto fresh = Make();
    for (RegistryStore* reader : {other.get(), fresh.get()}) {
        EXPECT_EQ(Query(*reader, "W", "old"), RegValue::Text("after"));
        EXPECT_EQ(Query(*reader, "W", "inner"), RegValue::Dword(5));
        RegValue v;
        EXPECT_EQ(reader->QueryValue(kCU, "W", "gone", v), RegStatus::NotFound);
        std::vector<std::string> names;
        ASSERT_EQ(reader->EnumValues(kCU, "W\\URLs", names), RegStatus::Ok);
        EXPECT_EQ(names.size(), 20u);
    }
    // Outside the update writes are durable one by one again.
    ASSERT_EQ(s->SetValue(kCU, "W", "later", RegValue::Dword(1)), RegStatus::Ok);
    EXPECT_EQ(WriteCount(folder_), writes + 2);
    EXPECT_TRUE(notices_.empty());
}

TEST_F(RegistryStoreTest, AFailingWriteInAGroupFailsAloneAndTheRestIsKept) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "G", true), RegStatus::Ok);
    {
        pw::platform::RegUpdate update(*s, kCU);
        ASSERT_EQ(s->SetValue(kCU, "G", "a", RegValue::Dword(1)), RegStatus::Ok);
        EXPECT_EQ(
            s->SetValue(kCU, "G", "big", RegValue::Binary(std::string(kRegMaxValueBytes + 1, 'x'))),
            RegStatus::InvalidParameter);
        EXPECT_EQ(s->SetValue(kCU, "G", "bad\nname", RegValue::Dword(1)),
                  RegStatus::InvalidParameter);
        EXPECT_EQ(s->SetValue(kCU, "Missing", "v", RegValue::Dword(1)), RegStatus::NotFound);
        EXPECT_EQ(s->DeleteValue(kCU, "G", "nothing"), RegStatus::NotFound);
        ASSERT_EQ(s->SetValue(kCU, "G", "b", RegValue::Dword(2)), RegStatus::Ok);
        EXPECT_EQ(update.Commit(), RegStatus::Ok);
        EXPECT_EQ(update.Commit(), RegStatus::Ok) << "a second Commit ends nothing more";
    }
    auto fresh = Make();
    std::vector<std::string> names;
    ASSERT_EQ(fresh->EnumValues(kCU, "G", names), RegStatus::Ok);
    EXPECT_THAT(names, ElementsAre("a", "b"));
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
        pw::platform::RegUpdate update(*s, kCU);
        ASSERT_EQ(s->SetValue(kCU, "G", "small", RegValue::Dword(3)), RegStatus::Ok);
        // 1 MiB of bytes takes over 3 MiB as hex text, half of it just fits.
        EXPECT_EQ(
            s->SetValue(kCU, "G", "full", RegValue::Binary(std::string(kRegMaxValueBytes, '\x5A'))),
            RegStatus::InvalidParameter);
        EXPECT_EQ(s->SetValue(kCU, "G", "half", half), RegStatus::Ok);
        EXPECT_EQ(update.Commit(), RegStatus::Ok);
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

TEST_F(RegistryStoreTest, AFailedCommitKeepsTheOldFileAndValues) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "A", true), RegStatus::Ok);
    ASSERT_EQ(s->SetValue(kCU, "A", "old", RegValue::Text("value")), RegStatus::Ok);
    const std::string before = FileText();

    fs::create_directory(File() + ".new");
    {
        pw::platform::RegUpdate update(*s, kCU);
        ASSERT_EQ(s->SetValue(kCU, "A", "old", RegValue::Text("changed")), RegStatus::Ok);
        ASSERT_EQ(s->SetValue(kCU, "A", "new", RegValue::Dword(1)), RegStatus::Ok);
        ASSERT_EQ(s->OpenKey(kCU, "A\\Sub", true), RegStatus::Ok);
        EXPECT_EQ(update.Commit(), RegStatus::AccessDenied);
    }
    EXPECT_EQ(FileText(), before);
    auto fresh = Make();
    for (RegistryStore* reader : {s.get(), fresh.get()}) {
        EXPECT_EQ(Query(*reader, "A", "old"), RegValue::Text("value"));
        RegValue v;
        EXPECT_EQ(reader->QueryValue(kCU, "A", "new", v), RegStatus::NotFound);
        EXPECT_EQ(reader->OpenKey(kCU, "A\\Sub", false), RegStatus::NotFound);
    }

    // The lock was given back: other stores write, and so does the next update.
    fs::remove(File() + ".new");
    ASSERT_EQ(fresh->SetValue(kCU, "A", "fresh", RegValue::Dword(2)), RegStatus::Ok);
    s->BeginUpdate(kCU);
    ASSERT_EQ(s->SetValue(kCU, "A", "new", RegValue::Dword(1)), RegStatus::Ok);
    EXPECT_EQ(s->EndUpdate(kCU), RegStatus::Ok);
    EXPECT_EQ(Query(*Make(), "A", "new"), RegValue::Dword(1));
    EXPECT_EQ(Query(*Make(), "A", "fresh"), RegValue::Dword(2));
}

TEST_F(RegistryStoreTest, TheGuardEndsTheUpdateOnScopeExit) {
    auto s = Make();
    // An update that writes nothing creates nothing.
    { pw::platform::RegUpdate update(*s, kCU); }
    EXPECT_FALSE(fs::exists(folder_));

    // Leaving by an exception keeps what was written before it, as plain writes would.
    try {
        pw::platform::RegUpdate update(*s, kCU);
        ASSERT_EQ(s->OpenKey(kCU, "S", true), RegStatus::Ok);
        ASSERT_EQ(s->SetValue(kCU, "S", "first", RegValue::Dword(1)), RegStatus::Ok);
        EXPECT_FALSE(fs::exists(File()));
        throw std::runtime_error("the second write failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(WriteCount(folder_), 1u);
    EXPECT_EQ(Query(*Make(), "S", "first"), RegValue::Dword(1));
    EXPECT_EQ(s->EndUpdate(kCU), RegStatus::InvalidParameter) << "the guard already ended it";
}

TEST_F(RegistryStoreTest, OtherThreadsWaitForTheUpdateAndLoseNothing) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, "T", true), RegStatus::Ok);
    const std::uint64_t writes = WriteCount(folder_);
    s->BeginUpdate(kCU);
    ASSERT_EQ(s->SetValue(kCU, "T", "main", RegValue::Dword(1)), RegStatus::Ok);

    std::atomic<bool> writerDone = false;
    RegStatus writerStatus = RegStatus::IoError, updaterStatus = RegStatus::IoError;
    std::thread writer([&] {
        writerStatus = s->SetValue(kCU, "T", "writer", RegValue::Dword(2));
        writerDone = true;
    });
    std::thread updater([&] {
        pw::platform::RegUpdate update(*s, kCU);
        EXPECT_EQ(s->SetValue(kCU, "T", "updater", RegValue::Dword(3)), RegStatus::Ok);
        EXPECT_EQ(s->SetValue(kCU, "T", "main", RegValue::Dword(4)), RegStatus::Ok);
        updaterStatus = update.Commit();
    });
    RegValue seen;
    std::thread reader([&] { EXPECT_EQ(s->QueryValue(kCU, "T", "main", seen), RegStatus::Ok); });
    reader.join();
    EXPECT_EQ(seen, RegValue::Dword(1)) << "reads see the update at once and do not wait";

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(writerDone) << "a write of another thread went into the open update";
    RegValue v;
    EXPECT_EQ(s->QueryValue(kCU, "T", "updater", v), RegStatus::NotFound);
    EXPECT_EQ(s->EndUpdate(kCU), RegStatus::Ok);
    writer.join();
    updater.join();

    EXPECT_EQ(writerStatus, RegStatus::Ok);
    EXPECT_EQ(updaterStatus, RegStatus::Ok);
    EXPECT_EQ(WriteCount(folder_), writes + 3);
    auto fresh = Make();
    EXPECT_EQ(Query(*fresh, "T", "main"), RegValue::Dword(4));
    EXPECT_EQ(Query(*fresh, "T", "writer"), RegValue::Dword(2));
    EXPECT_EQ(Query(*fresh, "T", "updater"), RegValue::Dword(3));
}

TEST_F(RegistryStoreTest, AnotherProcessWritingDuringAnUpdateWaitsAndLosesNothing) {
    ASSERT_EQ(Make()->OpenKey(kCU, "P", true), RegStatus::Ok);
    int go[2], report[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(report), 0);
    // Forked before the update: a child holding a copy of the lock's descriptor would keep the
    // lock alive for itself.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(go[1]);
        close(report[0]);
        char c;
        if (read(go[0], &c, 1) != 1) _exit(90);
        RegistryStore other(folder_, nullptr);
        RegValue v;
        // Reading does not wait and shows nothing of the open update.
        const char seen =
            other.QueryValue(kCU, "P", "parent", v) == RegStatus::NotFound ? 'n' : 'y';
        if (write(report[1], &seen, 1) != 1) _exit(91);
        int failures = 0;
        if (other.SetValue(kCU, "P", "child", RegValue::Dword(7)) != RegStatus::Ok) failures |= 1;
        if (other.QueryValue(kCU, "P", "parent", v) != RegStatus::Ok || v != RegValue::Dword(1))
            failures |= 2;
        _exit(failures);
    }
    close(go[0]);
    close(report[1]);
    auto s = Make();
    s->BeginUpdate(kCU);
    ASSERT_EQ(s->SetValue(kCU, "P", "parent", RegValue::Dword(1)), RegStatus::Ok);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    char seen = 0;
    EXPECT_EQ(read(report[0], &seen, 1), 1);
    EXPECT_EQ(seen, 'n');
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the child's write did not wait";
    ASSERT_EQ(s->SetValue(kCU, "P", "parent2", RegValue::Dword(2)), RegStatus::Ok);
    EXPECT_EQ(s->EndUpdate(kCU), RegStatus::Ok);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the child did not finish";
    }
    close(go[1]);
    close(report[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    auto fresh = Make();
    EXPECT_EQ(Query(*fresh, "P", "parent"), RegValue::Dword(1));
    EXPECT_EQ(Query(*fresh, "P", "parent2"), RegValue::Dword(2));
    EXPECT_EQ(Query(*fresh, "P", "child"), RegValue::Dword(7));
}

// Not a check: how long saving the whole settings store takes here (each write is durable).
TEST_F(RegistryStoreTest, ReportsTheTimeOfOneSave) {
    auto s = Make();
    ASSERT_EQ(s->OpenKey(kCU, kWatch, true), RegStatus::Ok);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 67; ++i)
        ASSERT_EQ(s->SetValue(kCU, kWatch, "v" + std::to_string(i), RegValue::Text("http://x/")),
                  RegStatus::Ok);
    const auto ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::cout << "67 sequential SetValue calls: " << ms.count() << " ms\n";
    RecordProperty("SixtySevenSetValueMs", static_cast<int>(ms.count()));
}

}  // namespace
