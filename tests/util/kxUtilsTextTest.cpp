#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "util/kxUtilsText.h"

namespace pw {
namespace {

TEST(Tokens, CutAndSplitAtTheFirstDelimiter) {
    std::string text = "GET /index.html HTTP/1.1";
    EXPECT_EQ(CutToken(text, " ", false), "GET");
    EXPECT_EQ(CutToken(text, " ", true), "GET");
    EXPECT_EQ(CutToken(text, " HTTP", true), "/index.html");
    EXPECT_EQ(text, "/1.1");
    // Without the delimiter the whole text is the token; removing empties the text.
    EXPECT_EQ(CutToken(text, ";", true), "/1.1");
    EXPECT_EQ(text, "");

    std::string l;
    std::string r;
    SplitAt("::", "a::b::c", soDelimiterToLeft | soDelimiterToRight, false, l, r);
    EXPECT_EQ(l + "|" + r, "a::|::b::c");
    SplitAt("=", "abc", soDelimiterToLeft, false, l, r);
    EXPECT_EQ(l + "|" + r, "abc|");
    SplitAt("=", "abc", soDelimiterToRight, true, l, r);
    EXPECT_EQ(l + "|" + r, "|abc");
}

TEST(Tokens, LastPosAndFileNames) {
    EXPECT_EQ(LastPos(".", "a.b.c"), 4);
    EXPECT_EQ(LastPos("aa", "aaa"), 2);
    EXPECT_EQ(LastPos("abcd", "abc"), 0);
    EXPECT_EQ(LastPos("", "abc"), 0);
    EXPECT_EQ(LastPos("A", "abc"), 0);

    EXPECT_EQ(UrlToFileName("http://host.example/dir/setup.exe"), "setup.exe");
    EXPECT_EQ(UrlToFileName("http://host.example/get?id=1"), "get?id=1");
    EXPECT_EQ(UrlToFileName("C:\\dir\\file.txt"), "file.txt");
    EXPECT_EQ(UrlToFileName("c:file.txt"), "file.txt");
    EXPECT_EQ(UrlToFileName("http://host.example/dir/"), "");
}

TEST(PercentOf, RoundsHalfToEvenAndKeepsTheLowByte) {
    EXPECT_EQ(PercentOf(1, 3), 33);
    EXPECT_EQ(PercentOf(2, 3), 67);
    EXPECT_EQ(PercentOf(5, 0), 0);
    EXPECT_EQ(PercentOf(1, 8), 12);  // 12.5
    EXPECT_EQ(PercentOf(3, 8), 38);  // 37.5
    EXPECT_EQ(PercentOf(1, 40), 2);  // 2.5
    EXPECT_EQ(PercentOf(3, 1), 44);  // 300 & 0xFF
    EXPECT_EQ(PercentOf(-1, 100), 255);
    EXPECT_EQ(PercentOf(-5, 200), 254);  // -2.5 -> -2
    // Large but representable quotients survive part * 100 overflowing a double.
    EXPECT_EQ(PercentOf(1e307, 1e307), 100);
}

TEST(PercentOf, FaultsGiveZero) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(PercentOf(nan, 1), 0);
    EXPECT_EQ(PercentOf(1, nan), 0);
    EXPECT_EQ(PercentOf(inf, 1), 0);
    EXPECT_EQ(PercentOf(-inf, 3), 0);
    EXPECT_EQ(PercentOf(1e300, 1e-300), 0);
    EXPECT_EQ(PercentOf(1e17, 1), 0);  // 1e19 is beyond a 64-bit integer
}

TEST(StrToIntDef, AcceptsOnlyWholeDecimalIntegers) {
    EXPECT_EQ(StrToIntDef(" 42 ", 7), 42);
    EXPECT_EQ(StrToIntDef("+42", 7), 42);
    EXPECT_EQ(StrToIntDef("-08", 7), -8);
    EXPECT_EQ(StrToIntDef("-2147483648", 7), std::numeric_limits<int>::min());
    for (const char* bad : {"", " ", "+", "-", "+-1", "4x", "4 2", "2147483648", "1.5"}) {
        EXPECT_EQ(StrToIntDef(bad, 7), 7) << bad;
    }
}

TEST(SplitVersion, AlwaysGivesFourParts) {
    using P = std::array<std::string, 4>;
    EXPECT_EQ(SplitVersion("1.2"), (P{"1", "2", "0", "0"}));
    EXPECT_EQ(SplitVersion("1..3"), (P{"1", "", "3", "0"}));
    EXPECT_EQ(SplitVersion("1.2.3.4.5"), (P{"1", "2", "3", "4"}));
    EXPECT_EQ(SplitVersion(""), (P{"", "0", "0", "0"}));
    EXPECT_EQ(SplitVersion("4.0.1."), (P{"4", "0", "1", ""}));
}

TEST(CompareVersions, NumericPartsThenWholeTextFallback) {
    EXPECT_EQ(CompareVersions("1.10", "1.9"), 1);
    EXPECT_EQ(CompareVersions("1.9", "1.10"), -1);
    EXPECT_EQ(CompareVersions("2.0", "2.0.0.0"), 0);
    EXPECT_EQ(CompareVersions("4.0.0.1", "4.0.0.0.9"), 1);
    EXPECT_EQ(CompareVersions("1.0b", "1.0a"), 1);
    EXPECT_EQ(CompareVersions("1.0a", "1.0b"), -1);
    // A part of -1 stands for "not a number", so "-1" and "-5" compare as text.
    EXPECT_EQ(CompareVersions("1.-1", "1.0"), -1);
    EXPECT_EQ(CompareVersions("1.-1", "1.-5"), -1);
    // The fallback compares the whole strings: "1.10" sorts before "1.9b".
    EXPECT_EQ(CompareVersions("1.10", "1.9b"), -1);
    // A pair that differs decides before a later non-number is reached.
    EXPECT_EQ(CompareVersions("2.x", "1.0"), 1);
}

}  // namespace
}  // namespace pw
