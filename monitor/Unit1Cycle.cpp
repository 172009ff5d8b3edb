// The check cycle: Start, Stop, Recheck now, the minute tick and the pass over the rows.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "monitor/Unit1.h"

namespace pw::monitor {

using framework::clBtnFace;

namespace {

constexpr std::uint32_t kMinuteMs = 60'000;
constexpr std::string_view kProcessing = "Processing...";

}  // namespace

std::uint32_t TForm1::RepeatInterval(int seconds) {
    if (seconds <= 0) return 0;
    const std::int64_t ms = std::int64_t{seconds} * 1000;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, 0xFFFFFFFE));
}

std::string TForm1::Countdown() const {
    return std::to_string(std::int64_t{Interval()} - minutecount) + " Minutes to next update";
}

void TForm1::SetStatus(std::string text) {
    statustext.SetCaption(text);
}

void TForm1::UpdateStatusNote() {
    // Rows that failed for the same reason share it, so that even twenty failures fit the line.
    std::vector<std::pair<std::string, std::vector<int>>> reasons;  // in the order first met
    for (int k = 1; k <= kRowCount; ++k) {
        const std::string& reason = RowAt(k).failure;
        if (reason.empty()) continue;
        auto it = std::find_if(reasons.begin(), reasons.end(),
                               [&](const auto& r) { return r.first == reason; });
        if (it == reasons.end()) it = reasons.insert(it, {reason, {}});
        it->second.push_back(k);
    }
    std::string note;
    const auto add = [&note](const std::string& part) {
        note += (note.empty() ? "" : "; ") + part;
    };
    for (const auto& [reason, rows] : reasons) {
        std::string part = rows.size() == 1 ? "row " : "rows ";
        for (std::size_t i = 0; i < rows.size(); ++i)
            part += (i == 0 ? "" : ", ") + std::to_string(rows[i]);
        add(part + ": " + reason);
    }
    if (!scratchProblem_.empty()) add(scratchProblem_);
    if (const std::string sound = SoundNotice(); !sound.empty()) add(sound);
    statusnote.SetCaption(note);
}

void TForm1::ShowCountdownOrBusy() {
    if (pass_.checkbusy || Interval() <= minutecount)
        SetStatus(std::string(kProcessing));
    else
        SetStatus(Countdown());
}

void TForm1::BitBtn2Click() {
    minutecount = Interval();
    Timer1.SetInterval(kMinuteMs);
    alarmtimer.SetInterval(RepeatInterval(alarmrepeat.Value()));
    alarmtimer.SetEnabled(true);
    Timer1.SetEnabled(true);
    BitBtn3.SetEnabled(true);
    BitBtn2.SetEnabled(false);
    UpdateTrayIcon();
    Timer1Timer();
}

void TForm1::BitBtn3Click() {
    Timer1.SetEnabled(false);
    BitBtn3.SetEnabled(false);
    BitBtn2.SetEnabled(true);
    for (int k = 1; k <= kRowCount; ++k) {
        SearchField(k).SetColor(clBtnFace);
        SetRowFailure(k, "");
    }
    zcWavePlayer1.Stop();
    statustext.SetVisible(false);
    alarmtimer.SetEnabled(false);
    UpdateTrayIcon();
}

void TForm1::Timer1Timer() {
    ++minutecount;
    ShowCountdownOrBusy();
    statustext.SetVisible(true);
    if (Interval() > minutecount) return;
    // A tick that falls during a pass only counts: the running pass is not disturbed, and the
    // next tick after it starts the next pass.
    if (pass_.running) return;
    workpanel.SetVisible(true);
    minutecount = 0;
    CheckAllRows();
    workpanel.SetVisible(false);
    SetStatus(Countdown());
}

void TForm1::Button1Click() {
    if (pass_.running) return;  // the running pass is the recheck
    SetStatus(std::string(kProcessing));
    statustext.SetVisible(true);
    workpanel.SetVisible(true);
    minutecount = 0;
    CheckAllRows();
    workpanel.SetVisible(false);
    SetStatus(Timer1.Enabled() ? Countdown() : std::string());
}

void TForm1::timerdurationChange() {
    ShowCountdownOrBusy();
}

void TForm1::CheckAllRows() {
    if (pass_.running) return;
    pass_.running = true;
    UpdateTrayIcon();
    try {
        for (int k = 1; k <= kRowCount; ++k) {
            // Once the application is told to end (Exit during a fetch) the rest of the pass is
            // skipped: its verdicts could no longer be seen.
            if (services_.app.Terminated() || destroying_) break;
            Row& row = RowAt(k);
            if (row.url->Text().empty()) {
                row.search->SetColor(clBtnFace);
                SetRowFailure(k, "");
                continue;
            }
            FetchRow(k);
        }
    } catch (...) {
        pass_.running = false;
        UpdateTrayIcon();
        throw;
    }
    pass_.running = false;
    UpdateTrayIcon();
}

void TForm1::FetchRow(int k) {
    using Fetch = TCheckPass::Fetch;
    Row& row = RowAt(k);
    pass_.checkbusy = true;
    Edit1.SetText(row.url->Text());
    ComboBox1.SetItemIndex(row.logic->ItemIndex());
    Edit2.SetText(row.search->Text());
    kxHTTP1.URL = Edit1.Text();

    pass_.fetch = Fetch::Pending;
    pass_.reason.clear();
    // Whatever the outcome, the fetch is over when Fetch returns.
    try {
        kxHTTP1.Fetch(/*ForceWait=*/true);
    } catch (...) {
        pass_.checkbusy = false;
        pass_.fetch = Fetch::None;
        throw;
    }
    pass_.checkbusy = false;

    if (services_.app.Terminated() || destroying_) {
        // The wait ended because the application is ending: drop the transfer at once.
        kxHTTP1.Abort(/*DeleteOutputFile=*/false, /*Immediately=*/true);
        pass_.fetch = Fetch::None;
        return;
    }
    // Fetch returned without any event (refused, or its wait timed out): a failure all the same,
    // never the previous row's verdict.
    if (pass_.fetch == Fetch::Pending) {
        const std::string& reason = kxHTTP1.FailureReason();
        FetchFailed(reason.empty() ? "not fetched" : reason);
    }
    const bool wasAlarm = RowVerdict(k).verdict == Verdict::Alarm;
    row.search->SetColor(Edit2.Color());
    SetRowFailure(k, pass_.fetch == Fetch::Failed ? pass_.reason : std::string());
    pass_.fetch = Fetch::None;
    // The icon first: the notification shows its picture. A row that stays red is the same
    // alarm: the sound repeats it, the desktop is told once.
    UpdateTrayIcon();
    if (!wasAlarm && RowVerdict(k).verdict == Verdict::Alarm) NotifyAlarm(k);
}

}  // namespace pw::monitor
