// Texts from outside (HTTP headers, update information, registered commands, stored paths) reach
// these functions unchecked: whatever the bytes, they must return, never throw, and keep the
// sanitizers quiet. Random inputs from alphabets that hit the parsers' delimiters; fixed seed.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "util/kxUtils.h"

namespace pw {
namespace {

class FixedZone final : public platform::ISystem {
  public:
    std::string ExecutablePath() override { return "/opt/pw/pagewarden"; }
    std::string CurrentDirectory() override { return "/tmp"; }
    std::string TempPath() override { return "/tmp/"; }
    std::string FolderPath(platform::Folder) override { return "/usr/"; }
    platform::OsVersion Version() override { return {6, 1, 0}; }
    int TimeZoneBiasMinutes() override { return -90; }
    std::uint16_t DefaultLanguage() override { return 0x0409; }
    bool HasNonLoopbackAddress() override { return false; }
};

std::string RandomText(std::mt19937& rng, std::string_view alphabet, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string s(length(rng), ' ');
    for (char& c : s)
        c = alphabet[pick(rng)];
    return s;
}

using namespace std::string_view_literals;

constexpr std::string_view kDateBytes = "0123456789 :,-+SunNovGMTMonday9\t\xff";
constexpr std::string_view kVersionBytes = "0123456789..-+ab \xff";
constexpr std::string_view kCommandBytes = "\"\\/ -%,.exeDLLrundll32 C:ab";
constexpr std::string_view kAnyBytes = "\0\x01\x7f\x80\xff \"\\/:.%=-+abcTEMPtempcurrent%"sv;

TEST(Robustness, ParsersOfOutsideTextsNeverThrow) {
    std::mt19937 rng(20261208);
    FixedZone zone;
    for (int i = 0; i < 20000; ++i) {
        const std::string date = RandomText(rng, kDateBytes, 40);
        EXPECT_NO_THROW(HttpDateToDateTime(date, zone)) << date;
        EXPECT_NO_THROW(ParseZoneOffset(date)) << date;

        const std::string a = RandomText(rng, kVersionBytes, 16);
        const std::string b = RandomText(rng, kVersionBytes, 16);
        std::int8_t ab = 0, ba = 0;
        EXPECT_NO_THROW(ab = CompareVersions(a, b));
        EXPECT_NO_THROW(ba = CompareVersions(b, a));
        // The comparison is an order: swapping the sides swaps the answer.
        EXPECT_EQ(ab, -ba) << a << " vs " << b;

        std::string program, parameters;
        const std::string command = RandomText(rng, kCommandBytes, 40);
        EXPECT_NO_THROW(SplitCommandLine(command, program, parameters)) << command;

        const std::string any = RandomText(rng, kAnyBytes, 30);
        std::string text = any, left, right;
        EXPECT_NO_THROW(CutToken(text, "%", true));
        EXPECT_NO_THROW(SplitAt("=", any, soDelimiterToLeft, true, left, right));
        EXPECT_NO_THROW(LastPos("%", any));
        EXPECT_NO_THROW(UrlToFileName(any));
    }
}

TEST(Robustness, PercentOfStaysDefinedForEveryDouble) {
    const double values[] = {0.0,
                             -0.0,
                             1e308,
                             -1e308,
                             5e-324,
                             1e19,
                             -1e19,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (double part : values)
        for (double total : values)
            EXPECT_NO_THROW(PercentOf(part, total)) << part << "/" << total;
}

}  // namespace
}  // namespace pw
