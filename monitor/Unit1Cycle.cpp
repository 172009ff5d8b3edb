// The check cycle: Start, Stop, Recheck now, the minute tick and the pass over the rows.

#include <algorithm>
#include <cstdint>

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
    // What could not be done in the latest pass stays in the status line after the countdown
    // (or alone), until it is mended or the verdicts are cleared.
    if (text != kProcessing) {
        std::string note;
        int failed = 0;
        for (int k = 1; k <= kRowCount; ++k) {
            const std::string& reason = RowAt(k).failure;
            if (reason.empty()) continue;
            if (failed++ == 0) note = "row " + std::to_string(k) + ": " + reason;
        }
        if (failed > 1) note += " (+" + std::to_string(failed - 1) + " more)";
        if (!scratchProblem_.empty()) note += (note.empty() ? "" : "; ") + scratchProblem_;
        if (const std::string sound = SoundNotice(); !sound.empty())
            note += (note.empty() ? "" : "; ") + sound;
        if (!note.empty()) text += (text.empty() ? "" : "; ") + note;
    }
    statustext.SetCaption(text);
}

void TForm1::ShowCountdownOrBusy() {
    if (checkbusy || Interval() <= minutecount)
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
}

void TForm1::Timer1Timer() {
    ++minutecount;
    ShowCountdownOrBusy();
    statustext.SetVisible(true);
    if (Interval() > minutecount) return;
    // A tick that falls during a pass only counts: the running pass is not disturbed, and the
    // next tick after it starts the next pass.
    if (inPass_) return;
    workpanel.SetVisible(true);
    minutecount = 0;
    CheckAllRows();
    workpanel.SetVisible(false);
    SetStatus(Countdown());
}

void TForm1::Button1Click() {
    if (inPass_) return;  // the running pass is the recheck
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
    if (inPass_) return;
    inPass_ = true;
    struct PassEnd {
        bool& flag;
        ~PassEnd() { flag = false; }
    } passEnd{inPass_};

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
}

void TForm1::FetchRow(int k) {
    Row& row = RowAt(k);
    checkbusy = true;
    Edit1.SetText(row.url->Text());
    ComboBox1.SetItemIndex(row.logic->ItemIndex());
    Edit2.SetText(row.search->Text());
    kxHTTP1.URL = Edit1.Text();

    fetchOutcome_ = FetchOutcome::Pending;
    fetchReason_.clear();
    // Whatever the outcome, the fetch is over when Fetch returns.
    try {
        kxHTTP1.Fetch(/*ForceWait=*/true);
    } catch (...) {
        checkbusy = false;
        fetchOutcome_ = FetchOutcome::None;
        throw;
    }
    checkbusy = false;

    if (services_.app.Terminated() || destroying_) {
        // The wait ended because the application is ending: drop the transfer at once.
        kxHTTP1.Abort(/*DeleteOutputFile=*/false, /*Immediately=*/true);
        fetchOutcome_ = FetchOutcome::None;
        return;
    }
    // Fetch returned without any event (refused, or its wait timed out): a failure all the same,
    // never the previous row's verdict.
    if (fetchOutcome_ == FetchOutcome::Pending) {
        const std::string& reason = kxHTTP1.FailureReason();
        FetchFailed(reason.empty() ? "not fetched" : reason);
    }
    row.search->SetColor(Edit2.Color());
    SetRowFailure(k, fetchOutcome_ == FetchOutcome::Failed ? fetchReason_ : std::string());
    fetchOutcome_ = FetchOutcome::None;
}

}  // namespace pw::monitor
