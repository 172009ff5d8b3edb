#pragma once
// The self-update component: checks the maker's update information file, downloads the files it
// lists beside their targets (as ".uTMP" files), writes the replacement queue and the file
// replacer into the temp folder, starts the replacer and closes the program, which the replacer
// starts again once the downloads are in place.
//
// It is an HTTP component itself: every transfer (the information file, its signature, each
// download) runs on its own worker, and the events below all run on the UI thread.
//
// Threads: UI thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Application.h"
#include "framework/EnumSet.h"
#include "framework/StringList.h"
#include "framework/Timer.h"
#include "http/kxHTTP.h"
#include "platform/Resources.h"
#include "update/kxReliftInfo.h"
#include "update/kxReliftWindowHost.h"
#include "update/kxReliftWizard.h"
#include "util/kxUtilsSystem.h"
#include "util/kxUtilsText.h"

// The resources of the update layer: the file replacer as "KXUPG" of type "KXUPG".
const pw::platform::ResourceModule& UpdateResources();

namespace pw::update {

enum TkxReliftShowMessage {
    mAskUpgrade,         // ask with the question window before downloading
    mConnLost,           // message 30 when the connection is lost
    mHostUnreachable,    // message 26 when the server cannot be reached (not for the timer's check)
    mLostFile,           // ask with message 28 whether to skip a file the server does not deliver
    mNoInfoFile,         // message 25 when the information file is missing
    mNoUpdateAvailable,  // message 24 when there is nothing newer (not for the timer's check)
    mPasswordRequest,    // the password window when the server asks for a login
};
using TkxReliftShowMessages = framework::TEnumSet<TkxReliftShowMessage, mPasswordRequest>;

enum TvqMiscFilesUpgradeBehavior { mfuAlwaysDownload = 0, mfuOnlyIfSizeDifferent = 1 };

// The defaults: set value 75 and 38.
inline constexpr TkxReliftShowMessages kDefaultShowMessages{mAskUpgrade, mConnLost, mLostFile,
                                                            mPasswordRequest};
inline constexpr std::string_view kDefaultRestartParams = "/afterupgrade";
inline constexpr std::int32_t kDefaultAutoCheckDelay = 10000;

// What an information file states, kept for authoring one; nothing at run time reads it.
struct TkxReliftInfo {
    framework::TStringList Files;
    TvqUpgradeMethod UpgradeMethod = TvqUpgradeMethod::umSelfUpgrade;
    std::string UpgradeMsg;
};

// The OnLostFile error code of a file that arrived but is not the file the information file
// vouches for (its SHA-256 digest differs).
inline constexpr std::int32_t kDigestMismatch = 0;

class TkxRelift;

using TKXBeginUpgradeEvent =
    std::function<void(TkxRelift& Sender, std::string& UpgradeMsg, TvqUpgradeMethod UpgradeMethod,
                       const TkxStringList& Files, bool& CanUpgrade)>;
using TKXEndUpgradeEvent = std::function<void(TkxRelift& Sender, bool& RestartImediately)>;
using TKXProgressEvent = std::function<void(
    TkxRelift& Sender, const std::string& FileURL, std::int64_t FileSize, std::int64_t BytesRead,
    std::int64_t ElapsedTime, std::int64_t EstimatedTimeLeft, std::uint8_t PercentsDone,
    std::uint8_t TotalPercentsDone, float TransferRate)>;
using TKXFileStartEvent =
    std::function<void(TkxRelift& Sender, const std::string& FileURL, std::int64_t FileSize,
                       TDateTime FileTime, bool& CanUpgrade)>;
using TKXFileDoneEvent = std::function<void(TkxRelift& Sender, const std::string& FileName)>;
using TKXHostUnreachableEvent =
    std::function<void(TkxRelift& Sender, const std::string& URL, const std::string& Hostname)>;
using TKXLostFileEvent = std::function<void(TkxRelift& Sender, const std::string& FileURL,
                                            std::int32_t ErrorCode, bool& ContinueUpgrade)>;
using TKXPasswordRequestEvent =
    std::function<void(TkxRelift& Sender, const std::string& Realm, bool& TryAgain)>;
using TKXNotifyEvent = std::function<void(TkxRelift& Sender)>;

// Everything the component needs from outside; the program and the tests build it.
struct TkxReliftServices {
    framework::IApplication& app;
    platform::IInternet& internet;
    const TkxEnvironment& env;
    // The module that carries the file replacer as resource "KXUPG" of type "KXUPG"; null: none.
    const platform::ResourceModule* resources = nullptr;
    // The program's command-line parameters, without the program's own name.
    std::vector<std::string> params;
    // An Ed25519 public key (PEM): when not empty, the information file must be signed and every
    // listed file must carry a digest.
    std::string publicKeyPem;
};

class TkxRelift : public http::TkxCustomHTTP, public IReliftWindowHost {
  public:
    explicit TkxRelift(const TkxReliftServices& services);
    ~TkxRelift() override;

    // --- published properties ---
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool value);
    // Delay and retry period of the automatic check in ms; 0 or less: no timer.
    std::int32_t AutoCheckDelay = kDefaultAutoCheckDelay;
    // Cache options of every transfer; the information file adds coPragmaNoCache. (The base's
    // CacheOptions are those of the transfer under way.)
    http::TkxCacheOptions CacheOptions = http::kDefaultCacheOptions;
    TkxReliftInfo InfoFile;
    std::string InfoFileURL = "http://";
    const std::string& RestartParams() const { return restartParams_; }
    // An empty text is stored as one blank.
    void SetRestartParams(std::string_view value);
    TvqMiscFilesUpgradeBehavior MiscFilesUpgrade = mfuAlwaysDownload;
    TkxReliftVersionControl VersionControl = TkxReliftVersionControl::byDate;
    // The running version's release date, "month/day/year"; today until a stored value is set.
    std::string VersionDate;
    bool VersionDateAutoSet() const { return versionDateAutoSet_; }
    void SetVersionDateAutoSet(bool value);
    std::string VersionNumber;
    TkxReliftShowMessages ShowMessages = kDefaultShowMessages;
    TkxReliftWizard& Wizard() { return wizard_; }
    const TkxReliftWizard& Wizard() const override { return wizard_; }

    // --- operations ---
    // Starts a check; with Wait, returns when the information file has been handled.
    bool CheckForUpdate(bool Wait);
    void AbortUpgrade() override;
    // Starts the file replacer and closes the program. False (the program stays open, the user
    // has been told why and the downloads stay) when the replacer cannot be written or started.
    bool RestartApplication(std::string_view Params = {});
    // Deletes the program folder's ".uTMP" files.
    void DeleteTemporaryFiles();
    void StopTransfer();
    // After the stored properties are set: fires OnAfterRestart for a start by the replacer.
    void Loaded();

    // --- state, for the program and the tests ---
    const TkxStringList& Files() const { return files_; }
    bool UpdateAvailable() const { return updateAvailable_; }
    bool Upgraded() const { return upgraded_; }
    bool Aborted() const { return aborted_; }
    bool InfoMode() const { return infoMode_; }
    bool AutoChecked() const { return autoChecked_; }
    bool AutoCheckRunning() const { return autoCheckRunning_; }
    bool AutoCheckTimerArmed() const;
    TvqUpgradeMethod UpgradeMethod() const { return upgradeMethod_; }
    int CurrentIndex() const { return currentIndex_; }
    const std::string& CurrentTarget() const { return currentTarget_; }
    TDateTime FileTime() const { return fileTime_; }
    // Why the last check could not use the information file ("HTTP 404", "host unreachable",
    // "the signature does not match"); empty when it could.
    const std::string& CheckFailure() const { return checkFailure_; }
    // The last information file as delivered (empty before one arrived).
    const std::string& InfoText() const { return infoText_; }
    // Whether downloads can be installed at all: the program's folder is writable.
    bool CanInstall() const;
    // GetTempFolder() + "Relift4.exe" and + "ReliftQueue.txt".
    std::string ReplacerPath() const;
    std::string QueuePath() const;

    // --- IReliftWindowHost ---
    framework::IApplication& Application() const override { return app_; }
    std::string UrlFileName() const override { return TkxCustomHTTP::UrlFileName(); }
    std::string HTTPUsername() const override { return Username; }
    void SetHTTPLogin(const std::string& username, const std::string& password) override;
    void RaiseDoneEvent() override;

    // --- published events ---
    TKXBeginUpgradeEvent OnBeginUpgrade;
    TKXEndUpgradeEvent OnEndUpgrade;
    TKXNotifyEvent OnLaterUpgrade;
    TKXProgressEvent OnProgress;
    TKXFileStartEvent OnFileStart;
    TKXFileDoneEvent OnFileDone;
    TKXNotifyEvent OnDoOwnCloseAppMethod;
    TKXNotifyEvent OnAfterRestart;
    TKXNotifyEvent OnAborted;
    TKXNotifyEvent OnConnLost;
    TKXHostUnreachableEvent OnHostUnreachable;
    TKXNotifyEvent OnNoUpdateAvailable;
    TKXNotifyEvent OnNoInfoFile;
    TKXLostFileEvent OnLostFile;
    TKXPasswordRequestEvent OnPasswordRequest;

  private:
    // kxRelift.cpp: the check.
    void UpdateAutoCheckTimer();
    void AutoCheckTimerTick();
    void InfoFileArrived(framework::TStream* stream);
    void SignatureArrived(framework::TStream* stream);
    void ApplyInformationFile();
    void NoInfoFile();

    // kxReliftUpgrade.cpp: the downloads and the restart.
    void BindTransferEvents();
    void DownloadNextFile(bool First);
    void HeaderInfo(std::int64_t ContentLength, TDateTime LastModified, bool& ContinueDownload);
    void Progress(std::int64_t DataSize, std::int64_t BytesRead, std::int64_t ElapsedTime,
                  std::int64_t EstimatedTimeLeft, std::uint8_t PercentsDone, float TransferRate);
    void DownloadDone();
    bool DownloadVerified();
    void TransferConnLost();
    void TransferHostUnreachable();
    void TransferHTTPError(std::int32_t ErrorCode);
    void LostFile(std::int32_t ErrorCode);
    void TransferPasswordRequest(const std::string& Realm, bool& TryAgain);
    void DiscardCurrentDownload();
    bool LaunchFileReplacer(const std::string& P);
    void ReplacerFailed(const std::string& why);
    std::string TransferURL() const { return TkxCustomHTTP::URL; }

    template <typename Event, typename... Args>
    void Fire(const Event& event, Args&&... args) {
        if (event && !Destroying()) event(*this, std::forward<Args>(args)...);
    }

    framework::IApplication& app_;
    const TkxEnvironment& env_;
    const platform::ResourceModule* resources_;
    std::vector<std::string> params_;
    std::string publicKeyPem_;

    bool autoCheck_ = false;
    std::string restartParams_{kDefaultRestartParams};
    bool versionDateAutoSet_ = true;
    TkxReliftWizard wizard_;

    TkxStringList files_;
    std::vector<std::string> digests_;  // parallel to files_; empty: none given
    std::string infoText_;
    std::string message_;
    std::string checkFailure_;
    std::unique_ptr<framework::ITimer> timer_;
    TkxSignalHandle doneEvent_;

    bool infoMode_ = false;
    bool signatureMode_ = false;  // InfoMode's second transfer: the information file's signature
    bool waitMode_ = false;
    bool aborted_ = false;
    bool updateAvailable_ = false;
    bool autoChecked_ = false;
    bool autoCheckRunning_ = false;
    bool upgraded_ = false;
    bool downloading_ = false;  // a download's transfer is under way
    TvqUpgradeMethod upgradeMethod_ = TvqUpgradeMethod::umSelfUpgrade;
    int currentIndex_ = 0;
    std::string currentTarget_;
    TDateTime fileTime_ = 0;
};

}  // namespace pw::update
