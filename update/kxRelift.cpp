// The self-update component: construction, properties and the check for a newer version.

#include "update/kxRelift.h"

#include <cassert>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "framework/Dialogs.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftUpgradeMsg.h"
#include "update/kxReliftVerify.h"

namespace pw::update {

namespace {

// Today's local date as a date-time without its time of day.
TDateTime Today(platform::ISystem& system) {
    using namespace std::chrono;
    const double unixDays =
        duration<double>(system_clock::now().time_since_epoch()).count() / 86400.0;
    constexpr double kUnixEpoch = 25569.0;  // 1970-01-01 as a date-time
    return std::floor(unixDays + kUnixEpoch - LocalTimeBias(system));
}

// A delivered body, read in full.
std::string StreamText(framework::TStream* stream) {
    if (!stream) return {};
    std::string text(static_cast<std::size_t>(stream->Size()), '\0');
    stream->SetPosition(0);
    stream->ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    return text;
}

}  // namespace

TkxRelift::TkxRelift(const TkxReliftServices& services)
    : TkxCustomHTTP(services.app, services.env.Os, services.internet),
      app_(services.app),
      env_(services.env),
      resources_(services.resources),
      params_(services.params),
      publicKeyPem_(services.publicKeyPem) {
    OutputFileAttributes.Incomplete = TkxFileAttributes{atrHidden, atrTemporary};
    OutputFileAttributes.Complete = TkxFileAttributes{atrArchive, atrHidden, atrTemporary};
    BindTransferEvents();
    // The replacer of the last update has done its work by now.
    std::error_code ec;
    std::filesystem::remove(ReplacerPath(), ec);
    VersionDate = FormatVersionDate(Today(env_.Os.system));
    timer_ = app_.CreateTimer();
    timer_->OnTimer = [this] { AutoCheckTimerTick(); };
}

TkxRelift::~TkxRelift() {
    SetAutoCheck(false);
    timer_.reset();
    FreeReliftWindows(*this);
    // A wait of CheckForUpdate or of the completion window must not outlive the component.
    RaiseSignal(doneEvent_);
}

void TkxRelift::SetAutoCheck(bool value) {
    if (value == autoCheck_) return;
    autoCheck_ = value;
    UpdateAutoCheckTimer();
}

void TkxRelift::SetRestartParams(std::string_view value) {
    restartParams_ = value.empty() ? std::string(" ") : std::string(value);
}

void TkxRelift::SetVersionDateAutoSet(bool value) {
    // Stamping the date is a design-time service; a running program keeps its stored date.
    versionDateAutoSet_ = value;
}

void TkxRelift::SetHTTPLogin(const std::string& username, const std::string& password) {
    Username = username;
    Password = password;
}

std::string TkxRelift::ReplacerPath() const {
    return GetTempFolder(env_) + "Relift4.exe";
}

std::string TkxRelift::QueuePath() const {
    return GetTempFolder(env_) + "ReliftQueue.txt";
}

bool TkxRelift::CanInstall() const {
    return env_.Os.files.CanCreateFilesIn(env_.AppFolder);
}

bool TkxRelift::AutoCheckTimerArmed() const {
    return timer_ && timer_->Enabled();
}

// --- The automatic check ---

void TkxRelift::UpdateAutoCheckTimer() {
    if (!timer_) return;
    timer_->SetEnabled(false);
    // Without an address there is nothing to check, and a program installed where its user
    // cannot write could not install what it found: neither runs a timer or a thread.
    if (autoCheck_ && !autoChecked_ && AutoCheckDelay > 0 && !InfoFileURL.empty() && CanInstall()) {
        timer_->SetInterval(static_cast<std::uint32_t>(AutoCheckDelay));
        timer_->SetEnabled(true);
    }
}

void TkxRelift::AutoCheckTimerTick() {
    try {
        if (!IsConnectedToNetwork(env_) || !autoCheck_) return;
        autoChecked_ = true;
        UpdateAutoCheckTimer();
        CheckForUpdate(false);
        autoCheckRunning_ = true;
    } catch (const std::exception& e) {
        app_.ShowException(e.what());
    }
}

// --- The check ---

bool TkxRelift::CheckForUpdate(bool Wait) {
    assert(app_.IsUiThread());
    if (Wait) waitMode_ = true;
    aborted_ = false;
    autoCheckRunning_ = false;
    checkFailure_.clear();
    struct WaitModeEnd {
        TkxRelift& r;
        ~WaitModeEnd() { r.waitMode_ = false; }
    } end{*this};
    if (!IsRunning()) {
        infoMode_ = true;
        signatureMode_ = false;
        downloading_ = false;
        TkxCustomHTTP::CacheOptions = CacheOptions;
        TkxCustomHTTP::CacheOptions.Include(http::coPragmaNoCache);
        URL = InfoFileURL;
        OutputFileName.clear();
        Fetch(false);
    }
    if (Wait) WaitForSignal(app_, doneEvent_, 0, true);
    return updateAvailable_;
}

void TkxRelift::InfoFileArrived(framework::TStream* stream) {
    infoText_ = StreamText(stream);
    if (publicKeyPem_.empty()) {
        ApplyInformationFile();
        return;
    }
    // A signed build trusts the file only with its signature, fetched beside it.
    signatureMode_ = true;
    URL = SignatureURL(InfoFileURL);
    ReleaseTransfer();
    Fetch(false);
}

void TkxRelift::SignatureArrived(framework::TStream* stream) {
    signatureMode_ = false;
    const std::string signature = StreamText(stream);
    if (!VerifyInfoSignature(publicKeyPem_, infoText_, signature)) {
        checkFailure_ = "the signature of the information file does not match";
        NoInfoFile();
        return;
    }
    if (!InfoFileAccepted(publicKeyPem_, infoText_, signature, ReadInfoFile(infoText_))) {
        checkFailure_ = "the signed information file lists a file without a digest";
        NoInfoFile();
        return;
    }
    ApplyInformationFile();
}

void TkxRelift::ApplyInformationFile() {
    const TkxReliftInfoFile info = ReadInfoFile(infoText_);
    files_.Clear();
    for (const std::string& item : info.files)
        files_.Add(item);
    digests_ = info.digests;
    digests_.resize(info.files.size());

    const bool newer = IsNewerVersion(infoText_, VersionControl, VersionDate, VersionNumber,
                                      Today(env_.Os.system));
    if (newer && files_.Count() > 0) {
        updateAvailable_ = true;
        message_ = info.message;
        upgradeMethod_ = info.method;
        Fire(OnBeginUpgrade, message_, upgradeMethod_, files_, updateAvailable_);
        if (!waitMode_) {
            if (!updateAvailable_ || !CanInstall() ||
                (ShowMessages.Contains(mAskUpgrade) && !AskUpgrade(*this, message_))) {
                Fire(OnLaterUpgrade);
            } else if (upgradeMethod_ == TvqUpgradeMethod::umRedirectToURL) {
                OpenUrl(env_.Os.shell, files_[0], true);
            } else {
                DownloadNextFile(true);
            }
        }
    } else {
        Fire(OnNoUpdateAvailable);
        if (!autoCheckRunning_ && ShowMessages.Contains(mNoUpdateAvailable))
            ShowMessageBox(*this, 24, framework::mb::kIconInformation);
    }
    RaiseSignal(doneEvent_);
}

void TkxRelift::NoInfoFile() {
    RaiseSignal(doneEvent_);
    Fire(OnNoInfoFile);
    if (ShowMessages.Contains(mNoInfoFile)) ShowMessageBox(*this, 25, framework::mb::kIconStop);
}

void TkxRelift::RaiseDoneEvent() {
    RaiseSignal(doneEvent_);
}

void TkxRelift::Loaded() {
    if (OnAfterRestart && !params_.empty() && params_[0] == restartParams_) Fire(OnAfterRestart);
}

}  // namespace pw::update
