// The file text on its own: values read back as written, hand-edited and damaged files, and the
// size bounds the store relies on to keep files within its limit. The store's tests go through
// files with one case of each.

#include "platform/posix/RegFileFormat.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using pw::platform::kRegMaxValueBytes;
using pw::platform::RegType;
using pw::platform::RegValue;
using pw::platform::posix::FindKey;
using pw::platform::posix::ParseRegFile;
using pw::platform::posix::RegKey;
using pw::platform::posix::SerializedKeyGrowth;
using pw::platform::posix::SerializedValueGrowth;
using pw::platform::posix::SerializeRegFile;
using pw::platform::posix::SplitKeyPath;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kRoot = "HKEY_CURRENT_USER";

const RegKey* KeyAt(const RegKey& tree, std::string_view path) {
    std::vector<std::string_view> parts;
    return SplitKeyPath(path, parts) ? FindKey(tree, parts) : nullptr;
}

// A None value holding "missing" when there is no such value.
RegValue ValueAt(const RegKey& k, std::string_view name) {
    const RegValue* v = k.Find(name);
    return v ? *v : RegValue{RegType::None, "missing"};
}

std::vector<std::string> ValueNames(const RegKey* k) {
    std::vector<std::string> names;
    if (k)
        for (const auto& [name, value] : k->values)
            names.push_back(name);
    return names;
}

// Every type, the byte values that need care, and names that need escapes.
std::vector<std::pair<std::string, RegValue>> Samples() {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    return {
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
        {"multi", RegValue{RegType::MultiSz, std::string("a\0bc\0\0", 6)}},
        {"qword", RegValue{RegType::Qword, "\x01\x02\x03\x04\x05\x06\x07\x08"}},
        {"odd type", RegValue{static_cast<RegType>(0xF00F0000), "xy"}},
        {"backslashes", RegValue::Text(std::string(500, '\\'))},
        {"none", RegValue{RegType::None, ""}},
        {"unterminated sz", RegValue{RegType::Sz, "no zero"}},
        {"inner zero sz", RegValue{RegType::Sz, std::string("a\0b\0", 4)}},
        {"short dword", RegValue{RegType::Dword, "\x01\x02"}},
        {"name \"with\" \\ quotes \xE9", RegValue::Text("v")},
    };
}

TEST(RegFileFormatTest, EveryTypeAndNameReadsBackExactly) {
    const auto values = Samples();
    RegKey tree;
    bool created = false;
    RegKey& key = tree.ChildOrNew("Types", created);
    for (const auto& [name, value] : values)
        key.Set(name, value);

    const auto r = ParseRegFile(SerializeRegFile(tree, kRoot), kRoot);
    EXPECT_EQ(r.badLines, 0u) << r.what;
    const RegKey* read = KeyAt(r.tree, "Types");
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->values.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(read->values[i], values[i]) << "value " << i;  // names in order, with values
}

TEST(RegFileFormatTest, AHandEditedFileIsSound) {
    const auto r = ParseRegFile(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[hkey_current_user]\r\n"
        "@=\"root default\"\r\n"
        " \t\r\n"
        "[HKEY_CURRENT_USER\\Software\\App]\r\n"
        "\"Blob\"=hex:0A, 0b ,\\\r\n"
        "\t  FF,00\r\n"
        "\"Count\"=dword:1F  \r\n"
        "\"Text\"=\"a \\\"b\\\" \\\\c\"\t\r\n"
        "[HKEY_CURRENT_USER\\software\\APP]\r\n"
        "\"count\"=hex(4):02,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00\r\n",
        kRoot);
    EXPECT_EQ(r.badLines, 0u) << r.what;
    EXPECT_EQ(ValueAt(r.tree, ""), RegValue::Text("root default"));

    // A repeated section, in other case, adds to the first; a repeated value replaces in place.
    const RegKey* app = KeyAt(r.tree, "Software\\App");
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->name, "App");
    EXPECT_THAT(ValueNames(app), ElementsAre("Blob", "Count", "Text", "Multi"));
    EXPECT_EQ(ValueAt(*app, "blob"), RegValue::Binary(std::string("\x0a\x0b\xff\x00", 4)));
    EXPECT_EQ(ValueAt(*app, "count"), RegValue::Dword(2));
    EXPECT_EQ(ValueAt(*app, "text"), RegValue::Text("a \"b\" \\c"));
    EXPECT_EQ(ValueAt(*app, "multi"), (RegValue{RegType::MultiSz, std::string("a\0\0", 3)}));
}

// Each bad line is reported with its number, counted once and skipped; a value below a section
// that cannot be used is dropped rather than filed under the key before it.
TEST(RegFileFormatTest, ABadLineIsReportedAndSkipped) {
    struct Case {
        const char* label;
        std::string line;
        bool afterKept;  // the value "after" is read
        bool terminated = true;
    };
    const Case cases[] = {
        {"missing quote", "\"broken\"=\"no end", true},
        {"missing name quote", "\"broken=\"x\"", true},
        {"bad dword", "\"broken\"=dword:zz", true},
        {"nine digits", "\"broken\"=dword:000000001", true},
        {"odd hex", "\"broken\"=hex:01,2,03", true},
        {"unknown kind", "\"broken\"=text:abc", true},
        {"garbage", std::string("\x00\x01\xFF\xFE garbage \x7F", 14), true},
        {"huge value", "\"broken\"=\"" + std::string(kRegMaxValueBytes + 10, 'v') + "\"", true},
        {"continuation that never comes", "\"broken\"=hex:01,02,\\", true},
        {"other root", "[HKEY_CLASSES_ROOT\\B]", false},
        {"longer root name", "[HKEY_CURRENT_USERS\\A]", false},
        {"empty key name", "[HKEY_CURRENT_USER\\]", false},
        {"empty path component", "[HKEY_CURRENT_USER\\A\\\\B]", false},
        {"no closing bracket", "[HKEY_CURRENT_USER\\A", false},
        {"last line without its line end", "\"after\"=dword:2", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto r = ParseRegFile(
            "Windows Registry Editor Version 5.00\n"
            "[HKEY_CURRENT_USER\\A]\n"
            "\"before\"=dword:1\n" +
                c.line + (c.terminated ? "\n\"after\"=dword:2\n" : ""),
            kRoot);
        EXPECT_EQ(r.firstBadLine, 4u);
        EXPECT_FALSE(r.what.empty());
        // A dropped value is a bad line of its own.
        EXPECT_EQ(r.badLines, c.afterKept ? 1u : 2u);
        EXPECT_TRUE(r.tree.values.empty());
        EXPECT_EQ(r.tree.children.size(), 1u);
        std::vector<std::string> kept = {"before"};
        if (c.afterKept) kept.push_back("after");
        EXPECT_EQ(ValueNames(KeyAt(r.tree, "A")), kept);
    }
}

TEST(RegFileFormatTest, AFileWithoutItsHeaderIsReportedYetRead) {
    auto r = ParseRegFile("[HKEY_CURRENT_USER\\A]\n\"x\"=dword:1\n", kRoot);
    EXPECT_EQ(r.firstBadLine, 1u);
    EXPECT_THAT(r.what, HasSubstr("first line"));
    EXPECT_EQ(r.badLines, 1u);
    EXPECT_THAT(ValueNames(KeyAt(r.tree, "A")), ElementsAre("x"));

    // A first line that is garbage as well counts once.
    EXPECT_EQ(ParseRegFile("garbage\n", kRoot).badLines, 1u);
}

TEST(RegFileFormatTest, GrowthBoundsCoverWhatAChangeAddsToTheFile) {
    for (const char* rootName : {"HKEY_CLASSES_ROOT", kRoot, "HKEY_LOCAL_MACHINE"}) {
        for (const std::string& name : {std::string(), std::string("n"), std::string(300, '"')}) {
            for (const auto& [label, value] : Samples()) {
                SCOPED_TRACE(std::string(rootName) + ", name of " + std::to_string(name.size()) +
                             ", " + label);
                // An empty root gains its section with its first value.
                RegKey tree;
                const std::size_t before = SerializeRegFile(tree, rootName).size();
                tree.Set(name, value);
                const std::size_t after = SerializeRegFile(tree, rootName).size();
                EXPECT_LE(after - before, SerializedValueGrowth(name, value));
            }
        }

        for (const std::string& path :
             {std::string(255, 'k'), "a\\" + std::string(255, 'k') + "\\b\\c"}) {
            std::vector<std::string_view> parts;
            ASSERT_TRUE(SplitKeyPath(path, parts));
            RegKey tree;
            const std::size_t before = SerializeRegFile(tree, rootName).size();
            RegKey* k = &tree;
            bool created = false;
            for (std::string_view p : parts)
                k = &k->ChildOrNew(p, created);
            const std::size_t after = SerializeRegFile(tree, rootName).size();
            EXPECT_LE(after - before, SerializedKeyGrowth(path, parts.size()));
        }
    }
}

}  // namespace
