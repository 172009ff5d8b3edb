#include <gtest/gtest.h>

#include <cmath>

#include "platform/System.h"
#include "util/kxUtilsText.h"

namespace pw {
namespace {

// Only the time-zone bias matters to the date functions.
class FixedZone : public platform::ISystem {
  public:
    explicit FixedZone(int biasMinutes) : bias_(biasMinutes) {}
    std::string ExecutablePath() override { return {}; }
    std::string CurrentDirectory() override { return {}; }
    std::string TempPath() override { return {}; }
    std::string FolderPath(platform::Folder) override { return {}; }
    platform::OsVersion Version() override { return {}; }
    int TimeZoneBiasMinutes() override { return bias_; }
    std::uint16_t DefaultLanguage() override { return 0x0409; }
    bool HasNonLoopbackAddress() override { return false; }

  private:
    int bias_;
};

constexpr double kSecond = 1.0 / 86400;

TDateTime Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
    TDateTime t = 0;
    EXPECT_TRUE(TryEncodeDateTime(y, m, d, hh, mm, ss, 0, t));
    return t;
}

struct Fields {
    int y, mo, d, h, mi, s, ms;
    bool operator==(const Fields&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << f.y << '-' << f.mo << '-' << f.d << ' ' << f.h << ':' << f.mi << ':' << f.s << '.'
              << f.ms;
}
Fields Decode(TDateTime t) {
    Fields f{};
    DecodeDateTime(t, f.y, f.mo, f.d, f.h, f.mi, f.s, f.ms);
    return f;
}

TEST(Calendar, EncodesDaysSinceTheEpochAndRejectsInvalidDates) {
    TDateTime t = 123;
    EXPECT_TRUE(TryEncodeDate(1899, 12, 30, t));
    EXPECT_EQ(t, 0);
    EXPECT_TRUE(TryEncodeDate(1970, 1, 1, t));
    EXPECT_EQ(t, 25569);
    EXPECT_TRUE(TryEncodeDate(1601, 1, 1, t));
    EXPECT_EQ(t, -109205);
    EXPECT_TRUE(TryEncodeDate(9999, 12, 31, t));
    EXPECT_EQ(t, 2958465);
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(1994, 11, 31, t));
    EXPECT_FALSE(TryEncodeDate(1994, 13, 1, t));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, t));

    EXPECT_TRUE(TryEncodeTime(23, 59, 59, 999, t));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, t));
    EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, t));
    EXPECT_FALSE(TryEncodeDateTime(1994, 2, 30, 0, 0, 0, 0, t));
    EXPECT_TRUE(TryEncodeDateTime(1899, 12, 29, 6, 0, 0, 0, t));
    EXPECT_EQ(t, -1.25);
}

TEST(Calendar, DecodeRoundTripsFrom1601To9999) {
    for (int y = 1601; y <= 9999; y += 7) {
        for (int m = 1; m <= 12; m += 5) {
            const int d = 1 + (y + m) % 28;
            EXPECT_EQ(Decode(Date(y, m, d, 13, 14, 15)), (Fields{y, m, d, 13, 14, 15, 0}));
        }
    }
    EXPECT_EQ(Decode(Date(9999, 12, 31, 23, 59, 59)), (Fields{9999, 12, 31, 23, 59, 59, 0}));
}

TEST(Calendar, NegativeDateTimesCountTheirTimeForward) {
    EXPECT_EQ(Decode(-1.25), (Fields{1899, 12, 29, 6, 0, 0, 0}));
    // Rounding to milliseconds carries into the next day, forward in time.
    EXPECT_EQ(Decode(-1.9999999999), (Fields{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(Decode(1.9999999999), (Fields{1900, 1, 1, 0, 0, 0, 0}));
    // Outside the calendar, and not a number, nothing is decoded.
    EXPECT_EQ(Decode(3e6), (Fields{}));
    EXPECT_EQ(Decode(std::nan("")), (Fields{}));
}

TEST(DateNames, MatchTheThreeLetterFormIgnoringCase) {
    EXPECT_EQ(DayNameToIndex("sun"), 1);
    EXPECT_EQ(DayNameToIndex("Sat"), 7);
    EXPECT_EQ(MonthNameToIndex("Nov"), 11);
    EXPECT_EQ(MonthNameToIndex("nov"), 11);
    EXPECT_EQ(MonthNameToIndex("November"), 0);
}

TEST(ParseZoneOffset, ReadsSignedHoursAndMinutes) {
    EXPECT_DOUBLE_EQ(ParseZoneOffset("+0100"), 1.0 / 24);
    EXPECT_DOUBLE_EQ(ParseZoneOffset("  -0230 trailing"), -2.5 / 24);
    EXPECT_DOUBLE_EQ(ParseZoneOffset("+2359"), (23 * 60 + 59) / 1440.0);
    for (const char* bad : {"+2460", "+2400", "0100", "GMT", "", "+", "+7", "-1", "+01", "+01:00",
                            "+0a00", "+-100", "- 100"}) {
        EXPECT_EQ(ParseZoneOffset(bad), 0) << bad;
    }
}

TEST(LocalTime, BiasIsMinutesWithUtcEqualLocalPlusBias) {
    FixedZone cet(-60);
    FixedZone est(300);
    EXPECT_DOUBLE_EQ(LocalTimeBias(cet), -1.0 / 24);
    EXPECT_DOUBLE_EQ(GmtToLocal(Date(2024, 3, 1, 12), cet), Date(2024, 3, 1, 13));
    EXPECT_DOUBLE_EQ(GmtToLocal(Date(2024, 3, 1, 2), est), Date(2024, 2, 29, 21));
}

class HttpDate : public ::testing::Test {
  protected:
    FixedZone utc_{0};
    TDateTime Parse(std::string_view text) { return HttpDateToDateTime(text, utc_); }
};

TEST_F(HttpDate, TheThreeFormsGiveTheSameTime) {
    const TDateTime expected = Date(1994, 11, 6, 8, 49, 37);
    EXPECT_DOUBLE_EQ(Parse("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
    EXPECT_DOUBLE_EQ(Parse("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
    EXPECT_DOUBLE_EQ(Parse("Sun Nov 6 08:49:37 1994"), expected);
    EXPECT_DOUBLE_EQ(Parse("Sun Nov  6 08:49:37 1994"), expected);
    EXPECT_DOUBLE_EQ(Parse("  06 Nov 1994 08:49:37 UTC  "), expected);

    FixedZone cet(-60);
    EXPECT_DOUBLE_EQ(HttpDateToDateTime("Sun, 06 Nov 1994 08:49:37 GMT", cet),
                     Date(1994, 11, 6, 9, 49, 37));
}

TEST_F(HttpDate, NumericZonesAreSubtracted) {
    EXPECT_NEAR(Parse("Sun, 06 Nov 1994 08:49:37 +0100"), Date(1994, 11, 6, 7, 49, 37), kSecond);
    EXPECT_NEAR(Parse("Sun, 06 Nov 1994 08:49:37 -0230"), Date(1994, 11, 6, 11, 19, 37), kSecond);
    EXPECT_NEAR(Parse("Sun, 06 Nov 1994 23:30:00 -0100"), Date(1994, 11, 7, 0, 30, 0), kSecond);
}

TEST_F(HttpDate, TwoDigitYearsPivotAt80) {
    EXPECT_DOUBLE_EQ(Parse("Sat, 05-Nov-05 10:00:00 GMT"), Date(2005, 11, 5, 10));
    EXPECT_DOUBLE_EQ(Parse("06 Nov 79 10:00:00 GMT"), Date(2079, 11, 6, 10));
    EXPECT_DOUBLE_EQ(Parse("06 Nov 80 10:00:00 GMT"), Date(1980, 11, 6, 10));
    EXPECT_DOUBLE_EQ(Parse("06 Nov 99 10:00:00 GMT"), Date(1999, 11, 6, 10));
    // Other years stay as they are, even before 1899 where the time counts forward.
    EXPECT_EQ(Decode(Parse("06 Nov 100 10:00:00 GMT")), (Fields{100, 11, 6, 10, 0, 0, 0}));
}

TEST_F(HttpDate, FailuresGiveTheEpochStillShiftedToLocalTime) {
    FixedZone est(300);
    FixedZone cet(-60);
    EXPECT_EQ(HttpDateToDateTime("", est), 0);
    EXPECT_EQ(HttpDateToDateTime(" \t\r\n", est), 0);
    // The failed date is 1899-12-30 00:00 GMT, which is 19:00 the evening before in New York.
    EXPECT_EQ(Decode(HttpDateToDateTime("06 Foo 1994 08:49:37 GMT", est)),
              (Fields{1899, 12, 29, 19, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(HttpDateToDateTime("06 Foo 1994 08:49:37 GMT", cet), 1.0 / 24);
    EXPECT_DOUBLE_EQ(HttpDateToDateTime("31 Nov 1994", cet), 1.0 / 24);
    EXPECT_DOUBLE_EQ(HttpDateToDateTime("06 Nov 1994 25:00:00 GMT", cet), 1.0 / 24);
    // A zone that survives the failure still applies.
    EXPECT_EQ(Decode(Parse("06 Nov 1994 25:00:00 +0100")), (Fields{1899, 12, 29, 23, 0, 0, 0}));
}

TEST_F(HttpDate, GarbageNeverThrows) {
    const char* garbage[] = {"-",
                             " - - ",
                             "Sun",
                             "Nov",
                             "1900",
                             "06 Nov 1900",
                             "06-Nov-94",
                             "99999999999 Nov 99999999999 99999999999:99:99 +9999",
                             "Sun, -5 Nov -3 -1:-1:-1 -0000",
                             "\xff\xfe\x01 Nov",
                             "31 Dec 9999 23:59:59 -2359",
                             "Wed Dec 31 23:59:59 9999 +2359",
                             "+0100",
                             "Sun, 06 Nov 1994 08:49:37 +01"};
    for (const char* text : garbage) {
        TDateTime t = 1;
        EXPECT_NO_THROW(t = Parse(text)) << text;
        EXPECT_TRUE(std::isfinite(t)) << text;
    }
}

}  // namespace
}  // namespace pw
