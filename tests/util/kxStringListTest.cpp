#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"
#include "util/kxUtilsText.h"

namespace pw {
namespace {

std::vector<std::string> Items(const framework::TStringList& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.Count(); ++i)
        items.push_back(list[i]);
    return items;
}

// Counts the notifications a list fires.
struct Notifications {
    int changing = 0;
    int change = 0;
    void Watch(framework::TStringList& list) {
        list.OnChanging = [this] { ++changing; };
        list.OnChange = [this] { ++change; };
    }
};

TEST(TkxStringListBound, AFullUnsortedListDropsItsOldestItemSilently) {
    TkxStringList list;
    list.MaxCount = 3;
    for (const char* s : {"a", "b", "c"})
        list.Add(s);
    Notifications n;
    n.Watch(list);

    EXPECT_EQ(list.Add("d"), 2);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"b", "c", "d"}));
    // Only the insertion is announced, and the handlers are back afterwards.
    EXPECT_EQ(n.changing, 1);
    EXPECT_EQ(n.change, 1);
    list.Delete(0);
    EXPECT_EQ(n.change, 2);
}

TEST(TkxStringListBound, ASortedListInsertsAtTheAdjustedPosition) {
    TkxStringList list;
    list.SetSorted(true);
    list.MaxCount = 3;
    for (const char* s : {"f", "b", "d"})
        list.Add(s);
    EXPECT_EQ(list.Add("e"), 1);  // would go to 2; "b" leaves first
    EXPECT_EQ(Items(list), (std::vector<std::string>{"d", "e", "f"}));
    EXPECT_EQ(list.Add("a"), 0);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "e", "f"}));
    EXPECT_EQ(list.Add("E"), 1);  // already there (case folded): nothing dropped
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "e", "f"}));
}

TEST(TkxStringListBound, ZeroKeepsNothingAndALoweredLimitHoldsAgain) {
    TkxStringList none;
    none.MaxCount = 0;
    none.Add("a");
    none.SetText("a\r\nb\r\n");
    EXPECT_EQ(none.Count(), 0);

    TkxStringList list;
    for (const char* s : {"1", "2", "3", "4", "5"})
        list.Add(s);
    list.MaxCount = 3;
    EXPECT_EQ(list.Add("6"), 2);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"4", "5", "6"}));
}

TEST(TkxStringListBound, BulkAddsGoThroughTheBound) {
    TkxStringList list;
    list.MaxCount = 2;
    list.SetText("a\nb\nc\n");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"b", "c"}));
    TkxStringList other;
    other.SetText("x\ny\nz");
    list.AddStrings(other);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"y", "z"}));
}

TEST(TkxStringListDuplicates, SortedListsObeyTheSettingUnsortedListsKeepEverything) {
    TkxStringList sorted;
    sorted.SetSorted(true);
    sorted.Duplicates = framework::dupError;
    sorted.Add("http://a/");
    try {
        sorted.Add("http://a/");
        FAIL() << "no error";
    } catch (const framework::EStringListError& e) {
        EXPECT_STREQ(e.what(), "String list does not allow duplicates");
    }
    EXPECT_EQ(sorted.Count(), 1);

    sorted.Duplicates = framework::dupAccept;
    EXPECT_EQ(sorted.Add("http://a/"), 0);
    EXPECT_EQ(sorted.Count(), 2);

    TkxStringList unsorted;
    unsorted.Add("http://a/");
    EXPECT_EQ(unsorted.Add("http://a/"), 1);
    EXPECT_EQ(unsorted.Count(), 2);
}

TEST(TkxStringListNames, SplitAtTheFirstOrLastSeparator) {
    TkxStringList list;
    list.Add("a=b=c");
    list.Add("plain");
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

    try {
        list.GetValue(5);
        FAIL() << "no error";
    } catch (const framework::EStringListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
}

TEST(TkxStringListNames, SetValueChangesOnlyItemsWithASeparator) {
    TkxStringList list;
    list.Add("a=b=c");
    list.Add("plain");
    Notifications n;
    n.Watch(list);
    list.SetValue(1, "x");
    EXPECT_EQ(list[1], "plain");
    EXPECT_EQ(n.change, 0);
    list.SetValue(0, "x");
    EXPECT_EQ(list[0], "a=x");
    EXPECT_EQ(n.change, 1);
    list.SeparatorFromRight = true;
    list.Put(0, "a=b=c");
    list.SetValue(0, "");
    EXPECT_EQ(list[0], "a=b=");
    EXPECT_THROW(list.SetValue(-1, "x"), framework::EStringListError);
}

TEST(TkxStringListFile, SaveValuesWritesOnlyNonEmptyValues) {
    test::TempDir dir;
    TkxStringList list;
    list.SetText("c:\\a.exe=http://h/a.exe\nno separator\nempty=\nd=http://h/d\n");
    list.SaveValuesToFile(dir / "values.txt");
    EXPECT_EQ(test::ReadFile(dir / "values.txt"), "http://h/a.exe\r\nhttp://h/d\r\n");

    // Truncates what was there.
    list.Delete(0);
    list.SaveValuesToFile(dir / "values.txt");
    EXPECT_EQ(test::ReadFile(dir / "values.txt"), "http://h/d\r\n");
}

TEST(TkxStringListFile, NoValueMeansNoFileAndNoChangeToAnExistingOne) {
    test::TempDir dir;
    TkxStringList list;
    list.SetText("a=\nb\n");
    list.SaveValuesToFile(dir / "new.txt");
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));

    const std::string old = dir.Write("old.txt", "keep me");
    list.SaveValuesToFile(old);
    EXPECT_EQ(test::ReadFile(old), "keep me");

    list.Add("c=v");
    EXPECT_NO_THROW(list.SaveValuesToFile(dir / "missing-folder/x.txt"));
    EXPECT_NO_THROW(list.SaveValuesToFile(dir.path().string()));
}

}  // namespace
}  // namespace pw
