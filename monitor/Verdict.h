#pragma once
// What a row's check says, and the colour that shows it. The rule and the table are the only place
// either is decided: the window paints from them and the checker reads a row back through them.

#include <string_view>

#include "framework/Controls.h"

namespace pw::monitor {

enum class Verdict {
    None,           // not checked (no URL, cleared, or stopped)
    Ok,             // checked, no alarm
    Alarm,          // the page says alarm, or cannot be read where the text must be there
    CouldNotCheck,  // the page could not be fetched, and nothing can be said
};

// What fetching and searching a row's page gave.
enum class PageOutcome { Found, NotFound, Failed };

// The row's logic is the index of its selector: 0 alarms on absence; 1 and -1 (nothing selected)
// alarm on presence. A page that cannot be fetched does not hold the text, so under "Absence" it
// is an alarm; under "Presence" nothing can be said.
Verdict VerdictOf(int logic, PageOutcome outcome);

// The search field's colour for a verdict, and back; a colour outside the table is no verdict.
framework::TColor ColorOf(Verdict verdict);
Verdict VerdictOfColor(framework::TColor color);

}  // namespace pw::monitor
