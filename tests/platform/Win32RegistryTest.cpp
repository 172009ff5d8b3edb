// The registry back end on the real Windows registry (under Wine in CI), each test in a sandbox
// of its own that it removes at the end.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/win32/Win32Os.h"
#include "platform/win32/Win32Registry.h"
#include "tests/support/TempDir.h"

namespace pw::platform {
// Readable failure output for values.
void PrintTo(const RegValue& v, std::ostream* os) {
    *os << "{type " << static_cast<std::uint32_t>(v.type) << ", "
        << ::testing::PrintToString(v.data) << "}";
}
}  // namespace pw::platform

namespace pw::platform::win32 {
namespace {

using namespace std::chrono_literals;
using enum RegStatus;
using pw::test::TempDir;
using ::testing::ElementsAre;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

constexpr auto kCU = RegRoot::CurrentUser;
constexpr const char* kOwn = "Software\\Quillmere\\Pagewarden";
constexpr const char* kWatch = "Software\\Quillmere\\Pagewarden\\watchset.ini";

// A failed call gives a None value naming its status (for names, a list of that one text), so
// one comparison checks both the status and the result.
RegValue Failed(RegStatus status) {
    return {RegType::None, "status " + std::to_string(static_cast<int>(status))};
}
RegValue Query(IRegistry& r, std::string_view path, std::string_view name) {
    RegValue v;
    const RegStatus status = r.QueryValue(kCU, path, name, v);
    return status == Ok ? v : Failed(status);
}
std::vector<std::string> ValueNames(IRegistry& r, std::string_view path) {
    std::vector<std::string> names;
    const RegStatus status = r.EnumValues(kCU, path, names);
    return status == Ok ? names : std::vector{Failed(status).data};
}
std::vector<std::string> SubKeys(IRegistry& r, std::string_view path) {
    std::vector<std::string> names;
    const RegStatus status = r.EnumSubKeys(kCU, path, names);
    return status == Ok ? names : std::vector{Failed(status).data};
}

bool RealKeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

class Win32RegistryTest : public ::testing::Test {
  protected:
    ~Win32RegistryTest() override {
        for (const auto& folder : folders_)
            ::RegDeleteTreeA(HKEY_CURRENT_USER, Win32Registry::SandboxKey(folder).c_str());
        // Gone only once no other test's sandbox is left in it.
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmere\\Pagewarden sandboxes");
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmere");
    }
    // A registry of its own for `dir`; the same folder gives the same registry.
    std::unique_ptr<Win32Os> Make(const TempDir& dir, bool readOnly = false) {
        folders_.push_back(dir.path());
        return std::make_unique<Win32Os>(Win32Os::Options{dir.path(), nullptr, readOnly});
    }
    IRegistry& Registry() {
        if (!os_) os_ = Make(dir_);
        return os_->os().registry;
    }

    TempDir dir_;
    std::unique_ptr<Win32Os> os_;
    std::vector<std::filesystem::path> folders_;
};

TEST_F(Win32RegistryTest, ValuesOfEveryTypeRoundTripAndAreSharedThroughTheSameFolder) {
    IRegistry& r = Registry();
    ASSERT_EQ(r.OpenKey(kCU, kWatch, true), Ok);
    const std::pair<const char*, RegValue> cases[] = {
        {"text", RegValue::Text("http://example.org/a?b=1")},
        {"empty text", RegValue::Text("")},
        {"expand", RegValue::Text("%TEMP%\\url2.htm", RegType::ExpandSz)},
        {"number", RegValue::Dword(60)},
        {"top bit", RegValue::Dword(0x80000001u)},
        {"bytes", RegValue::Binary(std::string("\x00\x01\xFF\x00", 4))},
        {"no bytes", RegValue::Binary("")},
        {"wide", RegValue{RegType::Qword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}},
        {"", RegValue::Text("the default value")},
    };
    for (const auto& [name, value] : cases)
        ASSERT_EQ(r.SetValue(kCU, kWatch, name, value), Ok) << name;

    const auto other = Make(dir_);
    for (const auto& [name, value] : cases) {
        EXPECT_EQ(Query(r, kWatch, name), value) << name;
        EXPECT_EQ(Query(other->os().registry, kWatch, name), value) << name;
    }
    EXPECT_EQ(Query(r, kWatch, "number").AsDword(), 60u);

    // A later write replaces the value, type included: a reader that wants a number sees text.
    ASSERT_EQ(r.SetValue(kCU, kWatch, "NUMBER", RegValue::Text("60")), Ok);
    EXPECT_EQ(Query(r, kWatch, "number"), RegValue::Text("60"));
}

TEST_F(Win32RegistryTest, NamesCompareCaseInsensitivelyAndKeepTheirCase) {
    IRegistry& r = Registry();
    ASSERT_EQ(r.OpenKey(kCU, "Software\\MixedCase", true), Ok);
    EXPECT_EQ(r.OpenKey(kCU, "software\\MIXEDCASE", true), Ok);
    ASSERT_EQ(r.SetValue(kCU, "software\\mixedCASE", "Name", RegValue::Text("1")), Ok);
    ASSERT_EQ(r.SetValue(kCU, "Software\\MixedCase", "NAME", RegValue::Dword(2)), Ok);
    EXPECT_THAT(SubKeys(r, "SOFTWARE"), ElementsAre("MixedCase"));
    EXPECT_THAT(ValueNames(r, "software\\mixedcase"), ElementsAre("Name"));
    EXPECT_EQ(Query(r, "SOFTWARE\\MIXEDCASE", "name"), RegValue::Dword(2));
}

TEST_F(Win32RegistryTest, MissingKeysAndValuesAreNotFoundAndCreateNothing) {
    IRegistry& r = Registry();
    EXPECT_EQ(r.OpenKey(kCU, "A\\B", false), NotFound);
    EXPECT_EQ(Query(r, "A", "x"), Failed(NotFound));
    EXPECT_EQ(r.SetValue(kCU, "A\\B", "x", RegValue::Dword(1)), NotFound);
    EXPECT_EQ(r.DeleteValue(kCU, "A", "x"), NotFound);
    EXPECT_EQ(r.DeleteKey(kCU, "A"), NotFound);
    EXPECT_THAT(SubKeys(r, "A"), ElementsAre(Failed(NotFound).data));
    EXPECT_THAT(ValueNames(r, "A"), ElementsAre(Failed(NotFound).data));
    EXPECT_EQ(r.OpenKey(kCU, "", false), Ok);  // the root always exists
    EXPECT_THAT(SubKeys(r, ""), ElementsAre());

    ASSERT_EQ(r.OpenKey(kCU, "A\\B", true), Ok);
    EXPECT_EQ(Query(r, "A\\B", "x"), Failed(NotFound));
}

TEST_F(Win32RegistryTest, DeletesAndEnumerations) {
    IRegistry& r = Registry();
    // '_' sorts before letters folded to lower case and after them folded to upper case, as
    // Windows orders them (Wine already folds to lower case).
    for (const char* key : {"K\\b", "K\\C\\deep\\deeper", "K\\a", "K\\_x"})
        ASSERT_EQ(r.OpenKey(kCU, key, true), Ok);
    for (const char* n : {"z", "y", "x"})
        ASSERT_EQ(r.SetValue(kCU, "K", n, RegValue::Dword(1)), Ok);
    ASSERT_EQ(r.SetValue(kCU, "K\\C\\deep", "v", RegValue::Dword(4)), Ok);

    EXPECT_THAT(SubKeys(r, "K"), ElementsAre("_x", "a", "b", "C"));
    // Windows keeps the order of first writes, Wine sorts by name.
    EXPECT_THAT(ValueNames(r, "K"), UnorderedElementsAre("z", "y", "x"));

    ASSERT_EQ(r.DeleteKey(kCU, "k\\c"), Ok);  // with everything below it
    EXPECT_EQ(r.OpenKey(kCU, "K\\C", false), NotFound);
    EXPECT_THAT(SubKeys(r, "K"), ElementsAre("_x", "a", "b"));
    EXPECT_EQ(r.DeleteValue(kCU, "K", "Y"), Ok);
    EXPECT_EQ(r.DeleteValue(kCU, "K", "y"), NotFound);
    EXPECT_THAT(ValueNames(r, "K"), UnorderedElementsAre("z", "x"));
}

TEST_F(Win32RegistryTest, OverLimitOrMalformedNamesAndDataAreRefusedWithNothingWritten) {
    IRegistry& r = Registry();
    std::string deep = "d";
    for (int i = 0; i < 512; ++i)
        deep += "\\d";
    for (const std::string& path :
         {"A\\" + std::string(kRegMaxKeyNameBytes + 1, 'k'), std::string("tab\tkey"), deep,
          std::string("\\A"), std::string("A\\\\B"), std::string("A\\")}) {
        EXPECT_EQ(r.OpenKey(kCU, path, true), InvalidParameter) << path;
        EXPECT_EQ(Query(r, path, "x"), Failed(InvalidParameter)) << path;
    }
    for (const std::string& name :
         {std::string(kRegMaxNameBytes + 1, 'n'), std::string("a\nb"), std::string("a\0b", 3)})
        EXPECT_EQ(r.SetValue(kCU, "", name, RegValue::Dword(1)), InvalidParameter);
    EXPECT_EQ(r.SetValue(kCU, "", "big", RegValue::Binary(std::string(kRegMaxValueBytes + 1, 'x'))),
              InvalidParameter);
    EXPECT_EQ(r.DeleteKey(kCU, ""), InvalidParameter);
    EXPECT_THAT(SubKeys(r, ""), ElementsAre());
    EXPECT_THAT(ValueNames(r, ""), ElementsAre());

    // Exactly at the limits is fine and reads back.
    const std::string maxKey(kRegMaxKeyNameBytes, 'K');
    const std::string maxName(kRegMaxNameBytes, 'N');
    const RegValue maxData = RegValue::Binary(std::string(kRegMaxValueBytes, '\xAB'));
    ASSERT_EQ(r.OpenKey(kCU, maxKey, true), Ok);
    ASSERT_EQ(r.SetValue(kCU, maxKey, maxName, maxData), Ok);
    EXPECT_EQ(Query(r, maxKey, maxName), maxData);
    EXPECT_THAT(ValueNames(r, maxKey), ElementsAre(maxName));
}

TEST_F(Win32RegistryTest, SandboxesKeepApartAndNeverTouchTheRealKeys) {
    const TempDir otherDir;
    const auto other = Make(otherDir);
    IRegistry& r = Registry();
    const std::string probe =
        "Software\\Pagewarden sandbox probe " + dir_.path().filename().string();
    ASSERT_EQ(r.OpenKey(kCU, probe, true), Ok);
    ASSERT_EQ(r.SetValue(kCU, probe, "v", RegValue::Dword(1)), Ok);

    EXPECT_EQ(Query(other->os().registry, probe, "v"), Failed(NotFound));
    EXPECT_FALSE(RealKeyExists(probe));
    // The roots of one sandbox are apart as well.
    RegValue v;
    EXPECT_EQ(r.QueryValue(RegRoot::LocalMachine, probe, "v", v), NotFound);
    EXPECT_NE(Win32Registry::SandboxKey(dir_.path()), Win32Registry::SandboxKey(otherDir.path()));
    const std::string key = Win32Registry::SandboxKey(dir_.path());
    const std::string head = "Software\\Quillmere\\Pagewarden sandboxes\\";
    ASSERT_THAT(key, StartsWith(head));
    EXPECT_EQ(key.size(), head.size() + 16);
    EXPECT_EQ(key.find_first_not_of("0123456789abcdef", head.size()), std::string::npos);
}

TEST_F(Win32RegistryTest, KeepCopyCopiesTheOwnKeyTreeToASiblingThatLaterWritesLeaveAlone) {
    IRegistry& r = Registry();
    std::string where;
    EXPECT_EQ(r.KeepCopy(kCU, where), NotFound);
    ASSERT_EQ(r.OpenKey(kCU, kWatch, true), Ok);
    ASSERT_EQ(r.SetValue(kCU, kWatch, "URL1", RegValue::Text("http://a/")), Ok);
    ASSERT_EQ(r.SetValue(kCU, kOwn, "top", RegValue::Dword(3)), Ok);

    ASSERT_EQ(r.KeepCopy(kCU, where), Ok);
    const std::string prefix = "HKEY_CURRENT_USER\\" + Win32Registry::SandboxKey(dir_.path()) +
                               "\\HKCU\\Software\\Quillmere\\Pagewarden (kept ";
    ASSERT_THAT(where, StartsWith(prefix));
    const std::string copy = where.substr(where.find("Software\\Quillmere\\Pagewarden (kept "));
    EXPECT_THAT(copy, testing::ContainsRegex(R"(\(kept \d\d\d\d-\d\d-\d\d \d\d-\d\d-\d\d\)$)"));

    ASSERT_EQ(r.SetValue(kCU, kWatch, "URL1", RegValue::Text("http://b/")), Ok);
    EXPECT_EQ(Query(r, copy + "\\watchset.ini", "URL1"), RegValue::Text("http://a/"));
    EXPECT_EQ(Query(r, copy, "top"), RegValue::Dword(3));

    // A second copy in the same second takes a name of its own.
    std::string again;
    ASSERT_EQ(r.KeepCopy(kCU, again), Ok);
    EXPECT_NE(again, where);
    EXPECT_EQ(Query(r, copy + "\\watchset.ini", "URL1"), RegValue::Text("http://a/"));
    EXPECT_THAT(SubKeys(r, "Software\\Quillmere"), testing::SizeIs(3));
}

TEST_F(Win32RegistryTest, AReadOnlyRegistryReadsAndRefusesEveryWrite) {
    ASSERT_EQ(Registry().OpenKey(kCU, kWatch, true), Ok);
    ASSERT_EQ(Registry().SetValue(kCU, kWatch, "n", RegValue::Dword(5)), Ok);
    const auto readOnly = Make(dir_, true);
    IRegistry& r = readOnly->os().registry;
    EXPECT_EQ(Query(r, kWatch, "n"), RegValue::Dword(5));
    EXPECT_EQ(r.OpenKey(kCU, kWatch, true), Ok);  // exists: no write needed
    EXPECT_EQ(r.OpenKey(kCU, "New", true), AccessDenied);
    EXPECT_EQ(r.SetValue(kCU, kWatch, "n", RegValue::Dword(6)), AccessDenied);
    EXPECT_EQ(r.DeleteValue(kCU, kWatch, "n"), AccessDenied);
    EXPECT_EQ(r.DeleteKey(kCU, kWatch), AccessDenied);
    std::string where;
    EXPECT_EQ(r.KeepCopy(kCU, where), AccessDenied);
    EXPECT_EQ(Query(Registry(), kWatch, "n"), RegValue::Dword(5));
}

TEST_F(Win32RegistryTest, UpdatesNestAndEndOnlyOnTheThreadThatBeganThem) {
    IRegistry& r = Registry();
    EXPECT_EQ(r.EndUpdate(kCU), InvalidParameter);
    r.BeginUpdate(kCU);
    r.BeginUpdate(kCU);
    ASSERT_EQ(r.SetValue(kCU, "", "v", RegValue::Dword(1)), Ok);
    RegStatus elsewhere = Ok;
    std::thread([&] { elsewhere = r.EndUpdate(kCU); }).join();
    EXPECT_EQ(elsewhere, InvalidParameter);
    EXPECT_EQ(r.EndUpdate(kCU), Ok);
    EXPECT_EQ(r.EndUpdate(kCU), Ok);  // the outermost: flushes
    EXPECT_EQ(r.EndUpdate(kCU), InvalidParameter);
    {
        RegUpdate update(r, kCU);
        ASSERT_EQ(r.SetValue(kCU, "", "w", RegValue::Dword(2)), Ok);
        EXPECT_EQ(update.Commit(), Ok);
    }
    EXPECT_EQ(Query(r, "", "w"), RegValue::Dword(2));
}

TEST_F(Win32RegistryTest, AnotherObjectsWritesWaitForTheUpdateAndReadsDoNot) {
    IRegistry& r = Registry();
    const auto second = Make(dir_);
    IRegistry& other = second->os().registry;
    std::atomic<bool> wrote{false};

    r.BeginUpdate(kCU);
    ASSERT_EQ(r.SetValue(kCU, "", "mine", RegValue::Dword(1)), Ok);
    std::thread writer([&] {
        other.SetValue(kCU, "", "theirs", RegValue::Dword(2));
        wrote = true;
    });
    // Readers elsewhere see each write at once: the registry has no pending state.
    EXPECT_EQ(Query(other, "", "mine"), RegValue::Dword(1));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(wrote) << "the write did not wait for the update";
    EXPECT_EQ(r.EndUpdate(kCU), Ok);
    writer.join();
    EXPECT_EQ(Query(r, "", "theirs"), RegValue::Dword(2));
}

}  // namespace
}  // namespace pw::platform::win32
