#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"
#include "util/kxUtilsText.h"

namespace pw {
namespace {

using Strings = std::vector<std::string>;

Strings Items(const framework::TStringList& list) {
    Strings items;
    for (int i = 0; i < list.Count(); ++i)
        items.push_back(list[i]);
    return items;
}

auto Fails(const char* message) {
    return ::testing::ThrowsMessage<framework::EStringListError>(::testing::StrEq(message));
}

TEST(TkxStringListBound, AFullUnsortedListDropsItsOldestItemSilently) {
    TkxStringList list;
    list.MaxCount = 3;
    list.SetText("a\nb\nc");
    int changing = 0, change = 0;
    list.OnChanging = [&] { ++changing; };
    list.OnChange = [&] { ++change; };

    EXPECT_EQ(list.Add("d"), 2);
    EXPECT_EQ(Items(list), (Strings{"b", "c", "d"}));
    // Only the insertion is announced, and the handlers are back afterwards.
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(change, 1);
    list.Delete(0);
    EXPECT_EQ(change, 2);

    // The item added may be the very one that leaves.
    list.SetText("an item too long for the short-string buffer\nb\nc");
    EXPECT_EQ(list.Add(list[0]), 2);
    EXPECT_EQ(list[2], "an item too long for the short-string buffer");
}

TEST(TkxStringListBound, ASortedListInsertsAtTheAdjustedPosition) {
    TkxStringList list;
    list.SetSorted(true);
    list.MaxCount = 3;
    list.SetText("f\nb\nd");
    EXPECT_EQ(list.Add("e"), 1);  // would go to 2; "b" leaves first
    EXPECT_EQ(Items(list), (Strings{"d", "e", "f"}));
    EXPECT_EQ(list.Add("a"), 0);
    EXPECT_EQ(Items(list), (Strings{"a", "e", "f"}));
    EXPECT_EQ(list.Add("E"), 1);  // already there (case folded): nothing dropped
    EXPECT_EQ(Items(list), (Strings{"a", "e", "f"}));
}

TEST(TkxStringListBound, BulkAddsALoweredLimitAndZeroAreHeldToo) {
    TkxStringList list;
    list.SetText("1\n2\n3\n4\n5");
    list.MaxCount = 3;
    EXPECT_EQ(list.Add("6"), 2);
    EXPECT_EQ(Items(list), (Strings{"4", "5", "6"}));

    list.MaxCount = 2;
    list.SetText("a\nb\nc\n");
    EXPECT_EQ(Items(list), (Strings{"b", "c"}));
    TkxStringList other;
    other.SetText("x\ny\nz");
    list.AddStrings(other);
    EXPECT_EQ(Items(list), (Strings{"y", "z"}));

    list.MaxCount = 0;
    list.SetText("a\r\nb\r\n");
    EXPECT_EQ(list.Count(), 0);
}

TEST(TkxStringListDuplicates, SortedListsObeyTheSettingUnsortedListsKeepEverything) {
    TkxStringList sorted;
    sorted.SetSorted(true);
    sorted.Duplicates = framework::dupError;
    sorted.Add("http://a/");
    EXPECT_THAT([&] { sorted.Add("http://a/"); }, Fails("String list does not allow duplicates"));
    EXPECT_EQ(sorted.Count(), 1);
    sorted.Duplicates = framework::dupAccept;
    EXPECT_EQ(sorted.Add("http://a/"), 0);
    EXPECT_EQ(sorted.Count(), 2);

    TkxStringList unsorted;
    unsorted.Add("http://a/");
    EXPECT_EQ(unsorted.Add("http://a/"), 1);
}

TEST(TkxStringListNames, SplitAtTheFirstOrLastSeparator) {
    TkxStringList list;
    list.SetText("a=b=c\nplain");
    EXPECT_EQ(list.SeparatorPos(0), 2);
    EXPECT_EQ(list.GetName(0), "a");
    EXPECT_EQ(list.GetValue(0), "b=c");
    EXPECT_EQ(list.GetName(1), "plain");
    EXPECT_EQ(list.GetValue(1), "");

    list.SeparatorFromRight = true;
    EXPECT_EQ(list.SeparatorPos(0), 4);
    EXPECT_EQ(list.GetName(0), "a=b");
    EXPECT_EQ(list.GetValue(0), "c");
    list.Separator = "::";
    list.Add("x::y::z");
    EXPECT_EQ(list.GetName(2), "x::y");
    EXPECT_EQ(list.GetValue(2), "z");
    EXPECT_THAT([&] { list.GetValue(5); }, Fails("List index out of bounds (5)"));
}

TEST(TkxStringListNames, SetValueChangesOnlyItemsWithASeparator) {
    TkxStringList list;
    list.SetText("a=b=c\nplain");
    int changes = 0;
    list.OnChange = [&] { ++changes; };
    list.SetValue(1, "x");
    EXPECT_EQ(list[1], "plain");
    EXPECT_EQ(changes, 0);
    list.SetValue(0, "x");
    EXPECT_EQ(list[0], "a=x");
    EXPECT_EQ(changes, 1);

    list.SeparatorFromRight = true;
    list.Put(0, "a=b=c");
    list.SetValue(0, "");
    EXPECT_EQ(list[0], "a=b=");
    EXPECT_THROW(list.SetValue(-1, "x"), framework::EStringListError);
}

TEST(TkxStringListFile, SaveValuesWritesOnlyNonEmptyValuesAndNoFileWithoutOne) {
    test::TempDir dir;
    const std::string file = dir.Write("values.txt", std::string(64, 'o'));
    TkxStringList list;
    list.SetText("c:\\a.exe=http://h/a.exe\nno separator\nempty=\nd=http://h/d\n");
    list.SaveValuesToFile(file);
    EXPECT_EQ(test::ReadFile(file), "http://h/a.exe\r\nhttp://h/d\r\n");

    // No value: no new file, and an existing one is left as it is.
    list.SetText("a=\nb\n");
    list.SaveValuesToFile(dir / "new.txt");
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));
    list.SaveValuesToFile(file);
    EXPECT_EQ(test::ReadFile(file), "http://h/a.exe\r\nhttp://h/d\r\n");

    list.Add("c=v");
    EXPECT_NO_THROW(list.SaveValuesToFile(dir / "missing-folder/x.txt"));
}

}  // namespace
}  // namespace pw
