// The verdict rule and its colours: every logic against every outcome of a page.

#include "monitor/Verdict.h"

#include <gtest/gtest.h>

namespace pw::monitor {
namespace {

TEST(Verdict, LogicAndOutcomeGiveTheVerdictAndItsColourReadsBack) {
    using enum PageOutcome;
    struct Case {
        int logic;
        PageOutcome outcome;
        Verdict verdict;
    } const cases[] = {
        // Absence: the text must be there; a page that cannot be read does not hold it.
        {0, Found, Verdict::Ok},
        {0, NotFound, Verdict::Alarm},
        {0, Failed, Verdict::Alarm},
        // Presence, and no logic selected at all, which counts as presence.
        {1, Found, Verdict::Alarm},
        {1, NotFound, Verdict::Ok},
        {1, Failed, Verdict::CouldNotCheck},
        {-1, Found, Verdict::Alarm},
        {-1, NotFound, Verdict::Ok},
        {-1, Failed, Verdict::CouldNotCheck},
    };
    for (const Case& c : cases) {
        const Verdict v = VerdictOf(c.logic, c.outcome);
        EXPECT_EQ(v, c.verdict) << "logic " << c.logic << ", outcome "
                                << static_cast<int>(c.outcome);
        EXPECT_EQ(VerdictOfColor(ColorOf(v)), v);
    }
    // The colours the rows have always shown.
    EXPECT_EQ(ColorOf(Verdict::None), framework::clBtnFace);
    EXPECT_EQ(ColorOf(Verdict::Ok), framework::clGreen);
    EXPECT_EQ(ColorOf(Verdict::Alarm), framework::clRed);
    EXPECT_EQ(ColorOf(Verdict::CouldNotCheck), framework::clAmber);
    // A colour the table does not know says nothing.
    EXPECT_EQ(VerdictOfColor(framework::clWindow), Verdict::None);
}

}  // namespace
}  // namespace pw::monitor
