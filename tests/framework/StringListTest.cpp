#include "framework/StringList.h"

#include <gtest/gtest.h>

#include <cctype>

#include "framework/Streams.h"
#include "tests/support/TempDir.h"

namespace pw::framework {
namespace {

using Strings = std::vector<std::string>;

Strings Items(const TStringList& list) {
    Strings items;
    for (int i = 0; i < list.Count(); ++i)
        items.push_back(list[i]);
    return items;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EStringListError& e) {
        return e.what();
    }
    return "no error";
}

TEST(StringList, EditsAndIndexErrors) {
    TStringList list;
    EXPECT_EQ(list.Add("b"), 0);
    EXPECT_EQ(list.Add("a"), 1);
    list.Insert(0, "c");
    list.Insert(3, "d");
    EXPECT_EQ(Items(list), (Strings{"c", "b", "a", "d"}));
    list.Put(1, "B");
    list.Delete(2);
    EXPECT_EQ(Items(list), (Strings{"c", "B", "d"}));
    // The comparison folds ASCII case unless told otherwise.
    EXPECT_EQ(list.IndexOf("b"), 1);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("b"), -1);

    EXPECT_EQ(ErrorOf([&] { (void)list[3]; }), "List index out of bounds (3)");
    EXPECT_EQ(ErrorOf([&] { list.Insert(4, "x"); }), "List index out of bounds (4)");
    EXPECT_EQ(ErrorOf([&] { list.Delete(3); }), "List index out of bounds (3)");
    EXPECT_EQ(list.Count(), 3);

    // An item may be put from or added as a view of itself.
    list.Put(0, list[1]);
    list.Add(list[0]);
    EXPECT_EQ(Items(list), (Strings{"B", "B", "d", "B"}));
}

TEST(StringList, SortedListsInsertInOrderAndFindTheInsertionPoint) {
    TStringList list;
    list.SetText("delta\nAlpha\ncharlie\n");
    list.SetSorted(true);
    EXPECT_EQ(Items(list), (Strings{"Alpha", "charlie", "delta"}));
    EXPECT_EQ(list.Add("Bravo"), 1);
    EXPECT_EQ(list.Add("echo"), 4);

    int index = -1;
    EXPECT_TRUE(list.Find("CHARLIE", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(list.Find("c", index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(list.IndexOf("DELTA"), 3);

    EXPECT_EQ(ErrorOf([&] { list.Insert(0, "x"); }), "Operation not allowed on sorted list");
    EXPECT_EQ(ErrorOf([&] { list.Put(0, "x"); }), "Operation not allowed on sorted list");

    // Byte order when case counts: upper case sorts first.
    list.SetCaseSensitive(true);
    EXPECT_EQ(Items(list), (Strings{"Alpha", "Bravo", "charlie", "delta", "echo"}));
    list.Add("ZULU");
    EXPECT_EQ(list[2], "ZULU");
}

TEST(StringList, DuplicatesInASortedList) {
    TStringList list;
    list.SetSorted(true);
    list.Add("a");
    list.Add("b");
    EXPECT_EQ(list.Add("A"), 0);
    EXPECT_EQ(list.Count(), 2);
    list.Duplicates = dupError;
    EXPECT_EQ(ErrorOf([&] { list.Add("B"); }), "String list does not allow duplicates");
    list.Duplicates = dupAccept;
    list.Add("B");
    EXPECT_EQ(list.Count(), 3);
    int index = -1;
    EXPECT_TRUE(list.Find("b", index));
    EXPECT_EQ(index, 1);  // the first of the equal items
}

TEST(StringList, NotificationsSurroundEveryChange) {
    TStringList list;
    std::vector<std::string> log;
    list.OnChanging = [&] { log.push_back("changing " + std::to_string(list.Count())); };
    list.OnChange = [&] { log.push_back("change " + std::to_string(list.Count())); };
    list.Add("a");
    list.Put(0, "b");
    list.Delete(0);
    list.Clear();  // empty: no change
    EXPECT_EQ(log, (Strings{"changing 0", "change 1", "changing 1", "change 1", "changing 1",
                            "change 0"}));

    // A batch is announced once, also when an add inside it fails.
    log.clear();
    list.SetText("a\nb\nc");
    EXPECT_EQ(log, (Strings{"changing 0", "change 3"}));
    list.SetSorted(true);
    list.Duplicates = dupError;
    log.clear();
    EXPECT_THROW(list.SetText("x\nx\n"), EStringListError);
    EXPECT_EQ(log, (Strings{"changing 3", "change 1"}));
    log.clear();
    list.Add("y");
    EXPECT_EQ(log, (Strings{"changing 1", "change 2"}));

    // A handler may replace itself while it runs.
    int calls = 0;
    list.OnChange = [&] {
        ++calls;
        list.OnChange = nullptr;
    };
    list.Add("z");
    list.Add("w");
    EXPECT_EQ(calls, 1);
}

TEST(StringList, TextEndsEveryLineAndAcceptsAnyLineEnd) {
    TStringList list;
    list.SetText("a\r\nb\nc\rd");
    EXPECT_EQ(Items(list), (Strings{"a", "b", "c", "d"}));
    list.SetText("a\n\r\n\nb\r\n");
    EXPECT_EQ(Items(list), (Strings{"a", "", "", "b"}));
    list.SetText("a\n\rb");  // LF then CR: two line ends
    EXPECT_EQ(Items(list), (Strings{"a", "", "b"}));
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);

    list.SetText(std::string("x\0y\n\n", 5));
    EXPECT_EQ(Items(list), (Strings{std::string("x\0y", 3), ""}));
    EXPECT_EQ(list.Text(), std::string("x\0y\r\n\r\n", 7));
    // Setting a list's text to its own item must not read freed memory.
    list.SetText(list[0]);
    EXPECT_EQ(list.Count(), 1);
}

// Bulk adds go through the virtual Add.
class UpperList : public TStringList {
  public:
    int Add(std::string_view s) override {
        std::string u(s);
        for (char& c : u)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return TStringList::Add(u);
    }
};

TEST(StringList, BulkAddsUseTheOverriddenAdd) {
    test::TempDir dir;
    UpperList list;
    list.SetText("a\nb");
    EXPECT_EQ(Items(list), (Strings{"A", "B"}));
    TStringList other;
    other.Add("c");
    list.AddStrings(other);
    list.AddStrings(list);  // its own items, once
    EXPECT_EQ(Items(list), (Strings{"A", "B", "C", "A", "B", "C"}));
    list.LoadFromFile(dir.Write("in.txt", "x\r\ny"));
    EXPECT_EQ(Items(list), (Strings{"X", "Y"}));
}

TEST(StringList, FilesRoundTripAndMissingFilesFail) {
    test::TempDir dir;
    TStringList list;
    list.SetText("one\n\ntwo");
    list.SaveToFile(dir / "list.txt");
    EXPECT_EQ(test::ReadFile(dir / "list.txt"), "one\r\n\r\ntwo\r\n");
    TStringList copy;
    copy.LoadFromFile(dir / "list.txt");
    EXPECT_EQ(Items(copy), Items(list));

    EXPECT_THROW(copy.LoadFromFile(dir / "missing.txt"), EFOpenError);
    EXPECT_EQ(copy.Count(), 3);
    EXPECT_THROW(list.SaveToFile(dir / "no/such/folder.txt"), EFOpenError);
}

}  // namespace
}  // namespace pw::framework
