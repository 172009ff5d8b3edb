// Page evaluation and the alarm: the completion and failure handlers of kxHTTP1, the scratch
// file, RaiseAlarm and the alarm repeat.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "monitor/PageSearch.h"
#include "monitor/Unit1.h"

namespace pw::monitor {

using framework::clRed;

namespace {

// The bytes of a completed body. kxHTTP1 has no output file, so the body is a memory stream;
// any other stream is read into memory, and no stream counts as an empty page.
std::string_view PageOf(framework::TStream* stream, std::string& copy) {
    if (!stream) return {};
    if (const auto* memory = dynamic_cast<const framework::TMemoryStream*>(stream))
        return memory->View();
    copy.resize(static_cast<std::size_t>(stream->Size()));
    stream->SetPosition(0);
    stream->ReadBuffer(copy.data(), static_cast<std::int64_t>(copy.size()));
    return copy;
}

// Deletes the old file first (rewriting one in place costs more here), then writes the page.
std::string WriteWhole(const std::string& path, std::string_view page) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot create " + path;
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    out.close();
    if (!out) return "cannot write " + path;
    return {};
}

bool IsAbsolute(std::string_view path) {
    return !path.empty() && std::filesystem::path(std::string(path)).is_absolute();
}

}  // namespace

std::string ScratchCacheFolder(const TkxEnvironment& env) {
    const char delim = platform::kPathDelim;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && IsAbsolute(xdg))
        return std::string(xdg) + delim + "pagewarden" + delim;
    if (const char* home = std::getenv("HOME"); home && IsAbsolute(home))
        return std::string(home) + delim + ".cache" + delim + "pagewarden" + delim;
    return GetTempFolder(env) + "pagewarden" + delim;
}

std::string TForm1::WriteScratchFile(std::string_view page) {
    std::string problem;
    // An installed program's folder is its installer's: the cache serves even a user (root) who
    // could write there.
    if (!services_.env.AppFolder.empty() && services_.env.DataFolder.empty()) {
        const std::string beside = services_.env.AppFolder + std::string(kScratchFileName);
        problem = WriteWhole(beside, page);
        if (problem.empty()) {
            scratchFile_ = beside;
            return {};
        }
    }
    // The program's folder cannot take it (read-only, or installed): the user's cache folder.
    const std::string folder = ScratchCacheFolder(services_.env);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string cached = folder + std::string(kScratchFileName);
    const std::string fallback = WriteWhole(cached, page);
    if (fallback.empty()) {
        scratchFile_ = cached;
        return {};
    }
    return problem.empty() ? fallback : problem + ", " + fallback;
}

void TForm1::kxHTTP1Done(http::TkxCustomHTTP& /*Sender*/, const std::string& /*ContentType*/,
                         std::int64_t /*FileSize*/, framework::TStream* Stream) {
    const std::string text = Edit2.Text();
    std::string copy;
    const std::string_view page = PageOf(Stream, copy);

    // The copy on disk is for the user to look at; the verdict never depends on it.
    const std::string problem = WriteScratchFile(page);
    scratchProblem_ = problem.empty() ? std::string() : "url2.htm not written: " + problem;
    UpdateStatusNote();

    const Verdict verdict =
        VerdictOf(ComboBox1.ItemIndex(),
                  PageContains(page, text) ? PageOutcome::Found : PageOutcome::NotFound);
    if (pass_.fetch == TCheckPass::Fetch::Pending) pass_.fetch = TCheckPass::Fetch::Evaluated;
    pass_.reason.clear();
    if (verdict == Verdict::Alarm)
        RaiseAlarm();
    else
        Edit2.SetColor(ColorOf(verdict));
    form_->Repaint();
    pass_.checkbusy = false;
}

void TForm1::kxHTTP1AnyError(http::TkxCustomHTTP& Sender) {
    const std::string& reason = Sender.FailureReason();
    FetchFailed(reason.empty() ? "transfer failed" : reason);
}

void TForm1::FetchFailed(std::string reason) {
    if (pass_.fetch == TCheckPass::Fetch::Pending) pass_.fetch = TCheckPass::Fetch::Failed;
    pass_.reason = std::move(reason);
    const Verdict verdict = VerdictOf(ComboBox1.ItemIndex(), PageOutcome::Failed);
    if (verdict == Verdict::Alarm)
        RaiseAlarm();
    else
        Edit2.SetColor(ColorOf(verdict));
    form_->Repaint();
}

std::string TForm1::SoundNotice() const {
    return services_.sound.NoDevice() ? "no sound device: alarms are silent" : "";
}

void TForm1::RaiseAlarm() {
    Edit2.SetColor(clRed);
    zcWavePlayer1.Play();
    UpdateStatusNote();  // the play may have found that there is no sound device
    services_.app.Restore();
}

void TForm1::alarmtimerTimer() {
    for (int k = 1; k <= kRowCount; ++k) {
        if (SearchField(k).Color() == clRed) {
            zcWavePlayer1.Play();
            return;
        }
    }
}

void TForm1::alarmrepeatChange() {
    const int seconds = alarmrepeat.Value();
    if (seconds >= 1) {
        alarmtimer.SetInterval(RepeatInterval(seconds));
        alarmtimer.SetEnabled(true);
    } else {
        alarmtimer.SetEnabled(false);
    }
}

void TForm1::zcWavePlayer1AfterPlay(sound::TzcWavePlayer& /*Sender*/) {}

}  // namespace pw::monitor
