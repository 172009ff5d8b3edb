// The tray icon: its pictures, its state and tooltip as the rows stand, its menu's Show, and one
// notification for each row that turns red.

#include <string>
#include <vector>

#include "framework/DisplayText.h"
#include "monitor/Unit1.h"
#include "monitor/Unit1Glyphs.h"

namespace pw::monitor {

using framework::TTrayState;

namespace {

struct TrayPicture {
    TTrayState state;
    std::string_view glyph;
};
constexpr TrayPicture kTrayPictures[] = {
    {TTrayState::Idle, "TRAYIDLE"},
    {TTrayState::Watching, "TRAYWATCHING"},
    {TTrayState::Alarm, "TRAYALARM"},
    {TTrayState::CouldNotCheck, "TRAYERROR"},
};

// "row 2", "rows 2, 5".
std::string RowList(const std::vector<int>& rows) {
    std::string list = rows.size() == 1 ? "row " : "rows ";
    for (std::size_t i = 0; i < rows.size(); ++i)
        list += (i == 0 ? "" : ", ") + std::to_string(rows[i]);
    return list;
}

}  // namespace

void TForm1::ShowTrayIcon() {
    for (const TrayPicture& picture : kTrayPictures)
        trayIcon1_->SetStateIcon(picture.state, ButtonGlyph(picture.glyph));
    UpdateTrayIcon();
    trayIcon1_->Show();
}

void TForm1::UpdateTrayIcon() {
    if (!trayIcon1_) return;
    std::vector<int> alarms;
    std::vector<int> unchecked;
    for (int k = 1; k <= kRowCount; ++k) {
        const Verdict verdict = RowVerdict(k).verdict;
        if (verdict == Verdict::Alarm) alarms.push_back(k);
        if (verdict == Verdict::CouldNotCheck) unchecked.push_back(k);
    }
    // The worst news wins the picture; the tooltip names every row behind it.
    TTrayState state = TTrayState::Idle;
    if (!alarms.empty())
        state = TTrayState::Alarm;
    else if (!unchecked.empty())
        state = TTrayState::CouldNotCheck;
    else if (Timer1.Enabled() || pass_.running)
        state = TTrayState::Watching;

    std::string tip;
    if (!alarms.empty()) tip = "alarm on " + RowList(alarms);
    if (!unchecked.empty())
        tip += (tip.empty() ? "" : "; ") + RowList(unchecked) + " could not be checked";
    if (tip.empty()) tip = state == TTrayState::Watching ? "watching" : "not watching";

    trayIcon1_->SetState(state);
    trayIcon1_->SetToolTip("Pagewarden: " + tip);
    trayIcon1_->SetMenuItemEnabled(trayStopItem_, BitBtn3.Enabled());
}

void TForm1::NotifyAlarm(int k) {
    if (!trayIcon1_) return;
    const Row& row = RowAt(k);
    // Logic 0 alarms on absence, any other on presence (Verdict.h).
    const bool absence = row.logic->ItemIndex() == 0;
    std::string text = framework::CodePageToDisplay(row.url->Text()) + "\n\"" +
                       framework::CodePageToDisplay(row.search->Text()) +
                       (absence ? "\" is missing" : "\" is present");
    if (!row.failure.empty()) text += " (the page could not be fetched: " + row.failure + ")";
    trayIcon1_->Notify("Pagewarden alarm", text);
}

void TForm1::TrayIcon1Click() {
    // The window is never hidden while the program runs, only minimised; one that is not
    // minimised stays on top of the others and so is in view already.
    services_.app.Restore();
}

}  // namespace pw::monitor
