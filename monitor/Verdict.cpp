#include "monitor/Verdict.h"

namespace pw::monitor {

namespace {

constexpr int kLogicAbsence = 0;

struct VerdictColor {
    Verdict verdict;
    framework::TColor color;
};

constexpr VerdictColor kColors[] = {
    {Verdict::None, framework::clBtnFace},
    {Verdict::Ok, framework::clGreen},
    {Verdict::Alarm, framework::clRed},
    {Verdict::CouldNotCheck, framework::clAmber},
};

}  // namespace

Verdict VerdictOf(int logic, PageOutcome outcome) {
    if (logic == kLogicAbsence) return outcome == PageOutcome::Found ? Verdict::Ok : Verdict::Alarm;
    switch (outcome) {
        case PageOutcome::Found:
            return Verdict::Alarm;
        case PageOutcome::NotFound:
            return Verdict::Ok;
        case PageOutcome::Failed:
            break;
    }
    return Verdict::CouldNotCheck;
}

framework::TColor ColorOf(Verdict verdict) {
    for (const VerdictColor& entry : kColors)
        if (entry.verdict == verdict) return entry.color;
    return framework::clBtnFace;
}

Verdict VerdictOfColor(framework::TColor color) {
    for (const VerdictColor& entry : kColors)
        if (entry.color == color) return entry.verdict;
    return Verdict::None;
}

}  // namespace pw::monitor
