#include "framework/StringList.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

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

auto Fails(const char* message) {
    return ::testing::ThrowsMessage<EStringListError>(::testing::StrEq(message));
}

TEST(StringList, EditsAndIndexErrors) {
    TStringList list;
    EXPECT_EQ(list.Add("b"), 0);
    EXPECT_EQ(list.Add("a"), 1);
    list.Insert(0, "c");
    list.Insert(3, "d");
    list.Put(1, "B");
    list.Delete(2);
    EXPECT_EQ(Items(list), (Strings{"c", "B", "d"}));
    // The comparison folds ASCII case unless told otherwise.
    EXPECT_EQ(list.IndexOf("b"), 1);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("b"), -1);

    EXPECT_THAT([&] { (void)list[3]; }, Fails("List index out of bounds (3)"));
    EXPECT_THAT([&] { list.Insert(4, "x"); }, Fails("List index out of bounds (4)"));
    EXPECT_THAT([&] { list.Delete(3); }, Fails("List index out of bounds (3)"));
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
    EXPECT_THAT([&] { list.Insert(0, "x"); }, Fails("Operation not allowed on sorted list"));
    EXPECT_THAT([&] { list.Put(0, "x"); }, Fails("Operation not allowed on sorted list"));

    // Byte order when case counts: upper case sorts first.
    list.SetCaseSensitive(true);
    EXPECT_EQ(Items(list), (Strings{"Alpha", "Bravo", "charlie", "delta", "echo"}));
    EXPECT_EQ(list.Add("ZULU"), 2);
}

TEST(StringList, SortedDuplicatesAreIgnoredRefusedOrPutBeforeTheirEquals) {
    TStringList list;
    list.SetSorted(true);
    list.SetText("a\nb\nc");
    EXPECT_EQ(list.Add("A"), 0);
    EXPECT_EQ(list.Count(), 3);
    list.Duplicates = dupError;
    EXPECT_THAT([&] { list.Add("B"); }, Fails("String list does not allow duplicates"));
    list.Duplicates = dupAccept;
    list.Add("B");
    list.Add("b");
    EXPECT_EQ(list.Count(), 5);
    int index = -1;
    EXPECT_TRUE(list.Find("b", index));
    EXPECT_EQ(index, 1);  // the first of the three equal items
}

TEST(StringList, NotificationsSurroundEveryChange) {
    TStringList list;
    Strings log;
    const auto taken = [&] { return std::exchange(log, {}); };
    list.OnChanging = [&] { log.push_back("changing " + std::to_string(list.Count())); };
    list.OnChange = [&] { log.push_back("change " + std::to_string(list.Count())); };
    list.Add("a");
    list.Put(0, "b");
    list.Delete(0);
    list.Clear();  // empty: no change
    EXPECT_EQ(taken(), (Strings{"changing 0", "change 1", "changing 1", "change 1", "changing 1",
                                "change 0"}));

    // A batch is announced once, also when an add inside it fails.
    list.SetText("a\nb\nc");
    EXPECT_EQ(taken(), (Strings{"changing 0", "change 3"}));
    list.SetSorted(true);
    list.Duplicates = dupError;
    taken();
    EXPECT_THROW(list.SetText("x\nx\n"), EStringListError);
    EXPECT_EQ(taken(), (Strings{"changing 3", "change 1"}));
    list.Add("y");
    EXPECT_EQ(taken(), (Strings{"changing 1", "change 2"}));

    // A handler may replace itself while it runs, and run on afterwards.
    std::string calls;
    list.OnChange = [&calls, &list, call = std::string("call;")] {
        list.OnChange = nullptr;
        calls += call;
    };
    list.Add("z");
    list.Add("w");
    EXPECT_EQ(calls, "call;");
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
    list.SetText("an item too long for the short-string buffer\nb");
    list.SetText(list[0]);
    EXPECT_EQ(Items(list), (Strings{"an item too long for the short-string buffer"}));
}

// Marks what it adds, so that a bulk add that bypasses the virtual Add shows.
class MarkingList : public TStringList {
  public:
    int Add(std::string_view s) override { return TStringList::Add(std::string(s) + "'"); }
};

TEST(StringList, BulkAddsUseTheOverriddenAdd) {
    test::TempDir dir;
    MarkingList list;
    list.SetText("a\nb");
    TStringList other;
    other.Add("c");
    list.AddStrings(other);
    list.AddStrings(list);  // its own items, once
    EXPECT_EQ(Items(list), (Strings{"a'", "b'", "c'", "a''", "b''", "c''"}));
    list.LoadFromFile(dir.Write("in.txt", "x\r\ny"));
    EXPECT_EQ(Items(list), (Strings{"x'", "y'"}));
}

TEST(StringList, FilesHoldTheTextAndMissingFilesFail) {
    test::TempDir dir;
    TStringList list;
    list.SetText("one\n\ntwo");
    list.SaveToFile(dir / "list.txt");
    EXPECT_EQ(test::ReadFile(dir / "list.txt"), "one\r\n\r\ntwo\r\n");
    EXPECT_THROW(list.LoadFromFile(dir / "missing.txt"), EFOpenError);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_THROW(list.SaveToFile(dir / "no/such/folder.txt"), EFOpenError);
}

}  // namespace
}  // namespace pw::framework
