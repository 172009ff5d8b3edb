#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/kxReliftInfo.h"

namespace pw::update {
namespace {

using enum TvqUpgradeMethod;

TEST(ReadInfoFile, ListsFilesAndReadsMessageAndMethod) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> files;
        std::string message;
        TvqUpgradeMethod method;
    };
    const Case cases[] = {
        {"keys in any case",
         "#URL=http://h/Setup.EXE\r\n#Message={Hi}\r\n#METHOD=1\r\n",
         {"http://h/Setup.EXE"},
         "Hi",
         umUseExternalSetup},
        {"needle inside a line",
         "get it at #url=http://h/a.exe soon\r\n",
         {"http://h/a.exe soon"},
         "",
         umSelfUpgrade},
        {"needle inside the message comes first",
         "#message={Fetch #url=http://m/1\r\nor else}\r\n#url=http://real/2\r\n",
         {"http://m/1"},
         "Fetch #url=http://m/1\r\nor else",
         umSelfUpgrade},
        {"#url and #url1 go on at 2",
         "#url=A\r\n#url1=B\r\n#url2=C\r\n#url3=D\r\n",
         {"A", "C", "D"},
         "",
         umSelfUpgrade},
        {"#url and #url0 go on at 3",
         "#url=A\r\n#url0=B\r\n#url1=X\r\n#url2=Y\r\n#url3=C\r\n",
         {"A", "B", "C"},
         "",
         umSelfUpgrade},
        {"numbering alone starts at 1",
         "#url1=A\r\n#url2=B\r\n#url4=D\r\n",
         {"A", "B"},
         "",
         umSelfUpgrade},
        {"an empty number ends the list",
         "#url1=A\r\n#url2=\r\n#url3=C\r\n",
         {"A"},
         "",
         umSelfUpgrade},
        {"only #url2 lists nothing",
         "#url2=http://h/a.exe\r\n#date=1/1/2100\r\n",
         {},
         "",
         umSelfUpgrade},
        {"message without brace is empty",
         "#url=A\r\n#message=Hello\r\n",
         {"A"},
         "",
         umSelfUpgrade},
        {"unclosed message runs to the final break",
         "#url=A\r\n#message={Line 1\r\nLine 2\r\n",
         {"A"},
         "Line 1\r\nLine 2",
         umSelfUpgrade},
        {"method 2 redirects", "#url=A\r\n#method=2\r\n", {"A"}, "", umRedirectToURL},
        {"method 3 upgrades itself", "#url=A\r\n#method=3\r\n", {"A"}, "", umSelfUpgrade},
        {"method by its first character only",
         "#method=12\r\n#url=A\r\n",
         {"A"},
         "",
         umUseExternalSetup},
        {"URL with a query and a target kept whole",
         "#url=http://h/get?id=7=C:\\app\\a.exe\r\n",
         {"http://h/get?id=7=C:\\app\\a.exe"},
         "",
         umSelfUpgrade},
        {"value keeps case and blanks, ends at a tab",
         "#url= http://H/A.exe \tcomment\r\n",
         {" http://H/A.exe "},
         "",
         umSelfUpgrade},
        {"last line without a break keeps its value",
         "#method=2\r\n#url=http://h/a.exe",
         {"http://h/a.exe"},
         "",
         umRedirectToURL},
        {"last line ending in LF only",
         "#url=http://h/a.exe\n#message={Hi\n",
         {"http://h/a.exe"},
         "Hi",
         umSelfUpgrade},
        {"last line ending in CR only", "#message={Hi\r", {}, "Hi", umSelfUpgrade},
        {"empty file", "", {}, "", umSelfUpgrade},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TkxReliftInfoFile info = ReadInfoFile(c.text);
        EXPECT_EQ(info.files, c.files);
        EXPECT_EQ(info.message, c.message);
        EXPECT_EQ(info.method, c.method);
    }
}

TEST(ReadInfoFile, ItemsSplitAtTheirFirstEquals) {
    EXPECT_EQ(FileItemURL("http://h/get?id=7=C:\\a.exe"), "http://h/get?id");
    EXPECT_EQ(FileItemTarget("http://h/get?id=7=C:\\a.exe"), "7=C:\\a.exe");
    EXPECT_EQ(FileItemURL("http://h/a.exe"), "http://h/a.exe");
    EXPECT_EQ(FileItemTarget("http://h/a.exe"), "");
}

TDateTime Date(int year, int month, int day) {
    TDateTime d = 0;
    EXPECT_TRUE(TryEncodeDate(year, month, day, d));
    return d;
}

TEST(IsNewerVersion, DecidesByDateOrByNumber) {
    using enum TkxReliftVersionControl;
    // Afternoon of 15 March 2024: only its date may count.
    const TDateTime today = Date(2024, 3, 15) + 0.75;
    struct Case {
        const char* name;
        TkxReliftVersionControl control;
        std::string file;
        const char* versionDate;
        const char* versionNumber;
        bool newer;
    };
    const Case cases[] = {
        {"same date", byDate, "#date=11/25/2008\r\n", "11/25/2008", "", false},
        {"one day later", byDate, "#date=11/26/2008\r\n", "11/25/2008", "", true},
        {"dates compare as dates, not text", byDate, "#date=1/2/2009\r\n", "12/31/2008", "", true},
        {"date on a last line without a break", byDate, "#date=11/26/2008", "11/25/2008", "", true},
        {"own date unreadable reads as today: today", byDate, "#date=3/15/2024\r\n", "2008", "",
         false},
        {"own date unreadable reads as today: tomorrow", byDate, "#date=3/16/2024\r\n",
         "11/31/2008", "", true},
        {"file without a date offers nothing", byDate, "#url=A\r\n", "11/25/2008", "", false},
        {"file date unreadable offers nothing", byDate, "#date=2/30/2009\r\n", "11/25/2008", "",
         false},
        {"file date with a fourth part", byDate, "#date=1/1/2009/1\r\n", "11/25/2008", "", false},
        {"higher number", byNumber, "#version=1.2.10\r\n", "", "1.2.9", true},
        {"equal numbers, missing parts are 0", byNumber, "#version=1.2\r\n", "", "1.2.0.0", false},
        {"lower number", byNumber, "#version=1.9\r\n", "", "1.10", false},
        {"non-numeric falls back to text", byNumber, "#version=1.2b\r\n", "", "1.2a", true},
        {"byNumber ignores the date", byNumber, "#date=1/1/2100\r\n#version=1.0\r\n", "1/1/2000",
         "1.0", false},
        {"no version in the file", byNumber, "#date=1/1/2100\r\n", "", "1.0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsNewerVersion(c.file, c.control, c.versionDate, c.versionNumber, today),
                  c.newer);
    }
}

TEST(VersionDate, FormatsWithSlashesAndParsesBack) {
    const TDateTime today = Date(2024, 3, 15) + 0.75;
    EXPECT_EQ(FormatVersionDate(Date(2008, 11, 25)), "11/25/2008");
    EXPECT_EQ(FormatVersionDate(Date(2009, 1, 5) + 0.99), "01/05/2009");
    EXPECT_EQ(FormatVersionDate(Date(987, 6, 7)), "06/07/0987");
    EXPECT_EQ(ParseVersionDate(FormatVersionDate(Date(2000, 2, 29)), today), Date(2000, 2, 29));
    EXPECT_EQ(ParseVersionDate("2/29/2001", today), Date(2024, 3, 15));
    EXPECT_EQ(ParseVersionDate("", today), Date(2024, 3, 15));
}

}  // namespace
}  // namespace pw::update
