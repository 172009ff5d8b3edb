// The self-update component's upgrade: the download loop, the transfer events, the replacement
// queue, the file replacer and the restart.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "framework/Dialogs.h"
#include "update/kxRelift.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftPassword.h"
#include "update/kxReliftVerify.h"
#include "update/kxReliftWizardForm.h"

namespace pw::update {

namespace {

constexpr std::string_view kTmpSuffix = ".uTMP";

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           LowerCase(text.substr(text.size() - suffix.size())) == LowerCase(suffix);
}

std::string FileNamePart(std::string_view path) {
    const std::size_t p = path.find_last_of("/\\");
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string FolderPart(std::string_view path) {
    const std::size_t p = path.find_last_of(platform::kPathDelim);
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

// Information files are written for any system: "\" in a target is this system's delimiter.
std::string NativeDelimiters(std::string text) {
    std::replace(text.begin(), text.end(), '\\', platform::kPathDelim);
    return text;
}

}  // namespace

void TkxRelift::BindTransferEvents() {
    TkxCustomHTTP::OnHeaderInfo = [this](TkxCustomHTTP&, std::int32_t, const std::string&,
                                         const std::string&, const std::string&, const std::string&,
                                         std::int64_t ContentLength, const std::string&, TDateTime,
                                         TDateTime LastModified, TDateTime, const std::string&,
                                         bool& ContinueDownload) {
        if (!infoMode_) HeaderInfo(ContentLength, LastModified, ContinueDownload);
    };
    TkxCustomHTTP::OnDone = [this](TkxCustomHTTP&, const std::string&, std::int64_t,
                                   framework::TStream* Stream) {
        if (!infoMode_) {
            DownloadDone();
        } else if (signatureMode_) {
            SignatureArrived(Stream);
        } else {
            InfoFileArrived(Stream);
        }
    };
    TkxCustomHTTP::OnDoneInterrupted = [this](TkxCustomHTTP&) {
        if (!infoMode_) {
            downloading_ = false;
            DownloadNextFile(false);
        }
    };
    TkxCustomHTTP::OnProgress = [this](TkxCustomHTTP&, const std::string&, std::int64_t DataSize,
                                       std::int64_t BytesRead, std::int64_t ElapsedTime,
                                       std::int64_t EstimatedTimeLeft, std::uint8_t PercentsDone,
                                       float TransferRate, framework::TStream*) {
        if (!infoMode_)
            Progress(DataSize, BytesRead, ElapsedTime, EstimatedTimeLeft, PercentsDone,
                     TransferRate);
    };
    TkxCustomHTTP::OnConnLost = [this](TkxCustomHTTP&, const std::string&, std::int64_t,
                                       std::int64_t, framework::TStream*) { TransferConnLost(); };
    TkxCustomHTTP::OnHTTPError = [this](TkxCustomHTTP&, std::int32_t ErrorCode,
                                        framework::TStream*) { TransferHTTPError(ErrorCode); };
    TkxCustomHTTP::OnHostUnreachable = [this](TkxCustomHTTP&) { TransferHostUnreachable(); };
    TkxCustomHTTP::OnPasswordRequest = [this](TkxCustomHTTP&, const std::string& Realm,
                                              bool& TryAgain) {
        TransferPasswordRequest(Realm, TryAgain);
    };
}

// --- The download loop ---

void TkxRelift::DownloadNextFile(bool First) {
    if (First) {
        infoMode_ = false;
        TkxCustomHTTP::CacheOptions = CacheOptions;
        TkxCustomHTTP::CacheOptions.Exclude(http::coPragmaNoCache);
        currentIndex_ = 0;
        if (wizard_.Enabled) ShowProgressWindow(*this);
    } else {
        ++currentIndex_;
    }
    platform::IFiles& files = env_.Os.files;
    const int count = files_.Count();
    if (currentIndex_ < count) {
        const std::string url = files_.GetName(currentIndex_);
        if (TkxReliftWizardForm* w = kxReliftWizardForm()) {
            w->FileURL.SetText(url);
            w->AllDownloading.SetCaption(FormatMessageText(9, {currentIndex_ + 1, count}));
        }
        URL = url;
        std::string target = NativeDelimiters(files_.GetValue(currentIndex_));
        if (!target.empty()) {
            target = ExpandFolderMacros(env_, target, true);
            if (!FolderPart(target).empty()) {
                ForceFileFolders(files, target);
            } else {
                target = env_.AppFolder + target;
            }
            files_.SetValue(currentIndex_, target);
            ForceFileFolders(files, target);
        } else {
            target = env_.AppFolder + UrlToFileName(url);
        }
        currentTarget_ = target + std::string(kTmpSuffix);
        OutputFileName = currentTarget_;
        fileTime_ = 0;
        ReleaseTransfer();
        downloading_ = true;
        Fetch(false);
        return;
    }

    if (kxReliftWizardForm()) {
        ShowCompleted();
        WaitForSignal(app_, doneEvent_, 0, true);
        if (aborted_) return;
    }
    upgraded_ = true;
    bool restart = true;
    Fire(OnEndUpgrade, restart);
    if (restart) RestartApplication();
}

void TkxRelift::HeaderInfo(std::int64_t ContentLength, TDateTime LastModified,
                           bool& ContinueDownload) {
    fileTime_ = LastModified;
    if (TkxReliftWizardForm* w = kxReliftWizardForm())
        w->LFileSize.SetCaption(
            FormatMessageText(6, {static_cast<double>(ContentLength) / 1024.0}));
    if (MiscFilesUpgrade == mfuOnlyIfSizeDifferent && ContentLength != 0 && files_.Count() > 1) {
        const std::string name =
            currentTarget_.substr(0, currentTarget_.size() - kTmpSuffix.size());
        // The running program is always replaced: a copy of the same size may still differ.
        std::error_code ec;
        if (LowerCase(FileNamePart(name)) != LowerCase(FileNamePart(env_.AppExeName)) &&
            std::filesystem::exists(name, ec)) {
            ContinueDownload = ContentLength != GetFileSize64(env_.Os.files, name);
        }
    }
    Fire(OnFileStart, TransferURL(), ContentLength, fileTime_, ContinueDownload);
}

void TkxRelift::Progress(std::int64_t DataSize, std::int64_t BytesRead, std::int64_t ElapsedTime,
                         std::int64_t EstimatedTimeLeft, std::uint8_t PercentsDone,
                         float TransferRate) {
    const int count = std::max(files_.Count(), 1);
    const auto total =
        static_cast<std::uint8_t>(PercentsDone / count + PercentOf(currentIndex_, count));
    Fire(OnProgress, TransferURL(), DataSize, BytesRead, ElapsedTime, EstimatedTimeLeft,
         PercentsDone, total, TransferRate);
    if (TkxReliftWizardForm* w = kxReliftWizardForm()) {
        w->ProgressCurrentFile.SetPosition(PercentsDone);
        w->ProgressAllFiles.SetPosition(total);
        w->LTransferRate.SetCaption(FormatMessageText(7, {static_cast<double>(TransferRate)}));
        w->LEstimatedTime.SetCaption(
            FormatMessageText(8, {static_cast<long long>(EstimatedTimeLeft / 3600),
                                  static_cast<long long>((EstimatedTimeLeft / 60) % 60),
                                  static_cast<long long>(EstimatedTimeLeft % 60)}));
    }
}

void TkxRelift::DownloadDone() {
    // The file is closed first: its bytes are checked and its times set on the closed file.
    ReleaseTransfer();
    downloading_ = false;
    if (!DownloadVerified()) {
        DiscardCurrentDownload();
        LostFile(kDigestMismatch);
        return;
    }
    if (fileTime_ != 0)
        SetFileDates(env_.Os.files, currentTarget_, fileTime_, fileTime_, kKeepFileDate);
    Fire(OnFileDone, currentTarget_);
    DownloadNextFile(false);
}

bool TkxRelift::DownloadVerified() {
    const std::size_t i = static_cast<std::size_t>(currentIndex_);
    return i >= digests_.size() || FileMatchesDigest(currentTarget_, digests_[i]);
}

void TkxRelift::DiscardCurrentDownload() {
    if (infoMode_ || currentTarget_.empty()) return;
    // Half a file must never reach the replacer, whose sweep installs any ".uTMP" it finds.
    ReleaseTransfer();
    downloading_ = false;
    std::error_code ec;
    std::filesystem::remove(currentTarget_, ec);
}

// --- Failures ---

void TkxRelift::TransferConnLost() {
    if (infoMode_) checkFailure_ = FailureReason();
    signatureMode_ = false;
    DiscardCurrentDownload();
    Fire(OnConnLost);
    if (ShowMessages.Contains(mConnLost)) ShowMessageBox(*this, 30, framework::mb::kIconStop);
    StopTransfer();
}

void TkxRelift::TransferHostUnreachable() {
    if (infoMode_) checkFailure_ = FailureReason();
    signatureMode_ = false;
    DiscardCurrentDownload();
    Fire(OnHostUnreachable, TransferURL(), UrlHostName());
    if (autoCheckRunning_) {
        autoChecked_ = false;
        UpdateAutoCheckTimer();
    } else if (ShowMessages.Contains(mHostUnreachable)) {
        ShowMessageBox(*this, FormatMessageText(26, {"http://" + UrlHostName()}),
                       framework::mb::kIconStop);
    }
    StopTransfer();
}

void TkxRelift::TransferHTTPError(std::int32_t ErrorCode) {
    if (infoMode_) {
        checkFailure_ = signatureMode_ ? "no signature (" + FailureReason() + ")" : FailureReason();
        signatureMode_ = false;
        NoInfoFile();
        return;
    }
    DiscardCurrentDownload();
    LostFile(ErrorCode);
}

void TkxRelift::LostFile(std::int32_t ErrorCode) {
    bool ContinueUpgrade = false;
    Fire(OnLostFile, TransferURL(), ErrorCode, ContinueUpgrade);
    if (ShowMessages.Contains(mLostFile)) {
        const framework::DialogResult answer = app_.MessageBox(
            FormatMessageText(28, {UrlFileName()}),
            LoadMessageText(21) + " #" + std::to_string(ErrorCode),
            framework::mb::kYesNo | framework::mb::kIconWarning | framework::mb::kSystemModal);
        ContinueUpgrade = answer == framework::DialogResult::Yes;
    }
    if (ContinueUpgrade) {
        DownloadNextFile(false);
    } else {
        AbortUpgrade();
    }
}

void TkxRelift::TransferPasswordRequest(const std::string& Realm, bool& TryAgain) {
    Fire(OnPasswordRequest, Realm, TryAgain);
    if (!TryAgain && ShowMessages.Contains(mPasswordRequest)) {
        TryAgain = AskPassword(*this);
        if (!TryAgain) AbortUpgrade();
    }
}

// --- Stopping ---

void TkxRelift::StopTransfer() {
    RaiseSignal(doneEvent_);
    // A download stopped half-way takes its file with it.
    Abort(downloading_, false);
    downloading_ = false;
    FreeProgressWindow();
}

void TkxRelift::AbortUpgrade() {
    aborted_ = true;
    StopTransfer();
    DeleteTemporaryFiles();
    Fire(OnAborted);
}

void TkxRelift::DeleteTemporaryFiles() {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(env_.AppFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Names compare as the file system the program was designed for compares them.
        if (name.size() > kTmpSuffix.size() && EndsWithNoCase(name, kTmpSuffix)) {
            std::error_code removeError;
            std::filesystem::remove(it->path(), removeError);
        }
    }
}

// --- The restart ---

bool TkxRelift::RestartApplication(std::string_view Params) {
    if (!upgraded_) DeleteTemporaryFiles();
    std::string P(Params);
    if (P.empty()) P = restartParams_ + std::to_string(static_cast<int>(upgradeMethod_));
    return LaunchFileReplacer(P);
}

bool TkxRelift::LaunchFileReplacer(const std::string& P) {
    const std::string replacer = ReplacerPath();
    const std::optional<std::span<const unsigned char>> image =
        resources_ ? resources_->Find("KXUPG", "KXUPG") : std::nullopt;
    if (!image || image->empty()) {
        ReplacerFailed("the installer is missing from this program");
        return false;
    }
    {
        std::error_code ec;
        std::filesystem::remove(replacer, ec);
        std::ofstream out(replacer, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image->data()),
                  static_cast<std::streamsize>(image->size()));
        out.close();
        if (!out) {
            std::filesystem::remove(replacer, ec);
            ReplacerFailed("the installer cannot be written to " + replacer);
            return false;
        }
        std::filesystem::permissions(replacer, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        SetFileAttributeSet(env_.Os.files, replacer, TkxFileAttributes{atrTemporary});
    }
    // A queue left by an earlier upgrade must not move files this one did not download.
    std::error_code ec;
    std::filesystem::remove(QueuePath(), ec);
    files_.SaveValuesToFile(QueuePath());
    // The program's path is an argument of its own, so blanks and "+" in it survive.
    if (!env_.Os.shell.StartProcess(replacer, {"--program", env_.AppExeName, P})) {
        ReplacerFailed("the installer " + replacer + " cannot be started");
        return false;
    }
    if (OnDoOwnCloseAppMethod) {
        Fire(OnDoOwnCloseAppMethod);
    } else {
        CloseApplication(app_);
    }
    return true;
}

void TkxRelift::ReplacerFailed(const std::string& why) {
    // The watcher must keep watching: closing now would leave nothing to start it again.
    ShowMessageBox(*this,
                   "The update has been downloaded, but it cannot be installed: " + why +
                       ".\n\nThe program keeps running. The downloaded files are kept and "
                       "are installed with the next update.",
                   framework::mb::kIconStop);
}

}  // namespace pw::update
