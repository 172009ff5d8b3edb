// Reading files edited by hand, and the size bounds the store relies on to keep files within its
// limit; both are awkward to reach through the store.

#include "platform/posix/RegFileFormat.h"

#include <string>
#include <string_view>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

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

std::vector<std::string> ValueNames(const RegKey& k) {
    std::vector<std::string> names;
    for (const auto& [name, value] : k.values)
        names.push_back(name);
    return names;
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
    EXPECT_EQ(r.firstBadLine, 0u) << r.what;
    EXPECT_EQ(r.badLines, 0u);
    EXPECT_EQ(ValueAt(r.tree, ""), RegValue::Text("root default"));

    // A repeated section, in other case, adds to the first; a repeated value replaces in place.
    const RegKey* app = KeyAt(r.tree, "Software\\App");
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->name, "App");
    EXPECT_THAT(ValueNames(*app), ElementsAre("Blob", "Count", "Text", "Multi"));
    EXPECT_EQ(ValueAt(*app, "blob"), RegValue::Binary(std::string("\x0a\x0b\xff\x00", 4)));
    EXPECT_EQ(ValueAt(*app, "count"), RegValue::Dword(2));
    EXPECT_EQ(ValueAt(*app, "text"), RegValue::Text("a \"b\" \\c"));
    EXPECT_EQ(ValueAt(*app, "multi"), (RegValue{RegType::MultiSz, std::string("a\0\0", 3)}));
}

TEST(RegFileFormatTest, ReportsTheFirstProblemAndCountsEachBadLineOnce) {
    // Without the header the first line is bad, yet still read; a continuation that never comes
    // leaves the next line to be read on its own.
    auto r = ParseRegFile(
        "[HKEY_CURRENT_USER\\A]\n"
        "\"x\"=dword:1\n"
        "\"bad\"=hex:01,\\\n"
        "\"y\"=dword:2\n"
        "garbage\n"
        "\"z\"=dword:3",
        kRoot);
    EXPECT_EQ(r.firstBadLine, 1u);
    EXPECT_THAT(r.what, HasSubstr("first line"));
    EXPECT_EQ(r.badLines, 4u);  // lines 1, 3, 5 and the unterminated 6
    ASSERT_NE(KeyAt(r.tree, "A"), nullptr);
    EXPECT_THAT(ValueNames(*KeyAt(r.tree, "A")), ElementsAre("x", "y", "z"));

    // A first line that is garbage as well counts once, for the missing header.
    r = ParseRegFile("garbage\n", kRoot);
    EXPECT_EQ(r.firstBadLine, 1u);
    EXPECT_THAT(r.what, HasSubstr("first line"));
    EXPECT_EQ(r.badLines, 1u);
}

TEST(RegFileFormatTest, ValuesBelowAnUnusableSectionAreNotFiledUnderAnotherKey) {
    const auto r = ParseRegFile(
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_CURRENT_USER\\A]\n"
        "\"a\"=dword:1\n"
        "[HKEY_LOCAL_MACHINE\\A]\n"
        "\"lost\"=dword:2\n"
        "[HKEY_CURRENT_USER\\]\n"
        "[HKEY_CURRENT_USERS\\B]\n"
        "[HKEY_CURRENT_USER\\C\\\\D]\n"
        "[HKEY_CURRENT_USER\\E\n"
        "\"lost\"=dword:3\n",
        kRoot);
    EXPECT_EQ(r.firstBadLine, 4u);
    EXPECT_EQ(r.badLines, 7u);
    ASSERT_EQ(r.tree.children.size(), 1u);
    ASSERT_NE(KeyAt(r.tree, "A"), nullptr);
    EXPECT_THAT(ValueNames(*KeyAt(r.tree, "A")), ElementsAre("a"));
    EXPECT_TRUE(r.tree.values.empty());
}

TEST(RegFileFormatTest, GrowthBoundsCoverWhatAChangeAddsToTheFile) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    const std::string escapes(300, '"');
    const std::vector<RegValue> values = {
        RegValue::Binary(""),
        RegValue::Binary("x"),
        RegValue::Binary(allBytes + allBytes + allBytes),
        RegValue::Text(std::string(500, '\\')),
        RegValue::Text("tab\tmakes it hex"),
        RegValue::Dword(7),
        RegValue{static_cast<RegType>(0xFFFFFFFF), allBytes},
    };
    for (const char* rootName : {"HKEY_CLASSES_ROOT", kRoot, "HKEY_LOCAL_MACHINE"}) {
        for (const std::string& name : {std::string(), std::string("n"), escapes}) {
            for (const RegValue& value : values) {
                SCOPED_TRACE(std::string(rootName) + ", name of " + std::to_string(name.size()) +
                             ", data of " + std::to_string(value.data.size()));
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
