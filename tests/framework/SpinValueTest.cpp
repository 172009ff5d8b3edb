// The spin-field rule that every back end reads its fields with.

#include "framework/SpinValue.h"

#include <gtest/gtest.h>

namespace pw::framework {
namespace {

TEST(SpinValue, AcceptsBlanksAroundASignedNumberAndNothingElse) {
    EXPECT_EQ(ParseSpinValue("  42 "), 42);
    EXPECT_EQ(ParseSpinValue("\t-7"), -7);
    EXPECT_EQ(ParseSpinValue("+5"), 5);
    EXPECT_EQ(ParseSpinValue("007"), 7);
    EXPECT_EQ(ParseSpinValue("-0"), 0);
    for (const char* bad : {"- 3", "+-3", "--3", "+", "-", " ", "1 2", "$1F", "0x10", "1e3", "3.0",
                            "-2147483649", "99999999999999999999999"})
        EXPECT_EQ(ParseSpinValue(bad), 0) << '"' << bad << '"';
}

}  // namespace
}  // namespace pw::framework
