#pragma once
// The HTTP component: fetches one URL at a time (http, https or a local file) in a worker thread
// of its own and reports the outcome through events on the UI thread.
//
// Threads: the UI thread sets properties, calls Fetch, Abort, ReleaseTransfer and destroys.
// Events run on the UI thread while the worker waits, except OnBeforeSendRequest, OnRedirected
// and OnStatusText, which run on the worker and must not touch UI objects.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/EnumSet.h"
#include "framework/Streams.h"
#include "framework/StringList.h"
#include "framework/UiThread.h"
#include "http/kxThread.h"
#include "platform/Files.h"
#include "platform/Internet.h"
#include "platform/Os.h"
#include "util/kxUtilsSystem.h"
#include "util/kxUtilsText.h"

namespace pw::http {

enum TkxCacheOption {
    coAlwaysReload,
    coReloadIfNoExpireInformation,
    coReloadUpdatedObjects,
    coPragmaNoCache,
    coNoCacheWrite,
    coCreateTempFilesIfCantCache,
    coUseCacheIfNetFail,
};
using TkxCacheOptions = framework::TEnumSet<TkxCacheOption, coUseCacheIfNetFail>;

enum TkxInternetOption {
    ioIgnoreCertificateInvalid,
    ioIgnoreCertificateDateInvalid,
    ioIgnoreUnknownCertificateAuthority,
    ioIgnoreRedirectToHTTP,
    ioIgnoreRedirectToHTTPS,
    ioKeepConnection,
    ioNoAuthentication,
    ioNoAutoRedirect,
    ioNoCookies,
};
using TkxInternetOptions = framework::TEnumSet<TkxInternetOption, ioNoCookies>;

enum TkxHTTPRequestMethod { rmAutoDetect, rmGET, rmPOST };
enum TkxHTTPAccessType { atPreconfig = 0, atDirect = 1, atUseProxy = 2 };

inline constexpr TkxCacheOptions kDefaultCacheOptions{
    coReloadIfNoExpireInformation, coReloadUpdatedObjects, coCreateTempFilesIfCantCache};
inline constexpr TkxInternetOptions kDefaultInternetOptions{ioKeepConnection};
inline constexpr const char* kDefaultAcceptTypes = "text/html, */*";
inline constexpr const char* kDefaultAgent = "Pagewarden HTTP component";

// Sub-objects. Assign(nullptr) resets to the defaults.
struct TkxHTTPProxy {
    TkxHTTPAccessType AccessType = atPreconfig;
    std::int32_t ProxyPort = 8080;
    std::string ProxyServer;
    std::string ProxyBypass = "127.0.0.1;";
    std::string ProxyUsername;
    std::string ProxyPassword;
    void Assign(const TkxHTTPProxy* source) { *this = source ? *source : TkxHTTPProxy{}; }
};

struct TkxHTTPRange {
    std::uint32_t StartRange = 0;
    std::uint32_t EndRange = 0;
    void Assign(const TkxHTTPRange* source) { *this = source ? *source : TkxHTTPRange{}; }
};

struct TkxHTTPTimeouts {
    std::uint32_t ConnectTimeout = 0;
    std::uint32_t ReceiveTimeout = 0;
    std::uint32_t SendTimeout = 0;
    // The whole transfer, from the request until the body has ended; 0 = no limit. The other
    // limits only bound silence, so a server trickling a byte at a time would hold a transfer
    // for ever without this one.
    std::uint32_t TotalTimeout = 0;
    void Assign(const TkxHTTPTimeouts* source) { *this = source ? *source : TkxHTTPTimeouts{}; }
};

struct TkxOutputFileAttributes {
    TkxFileAttributes Complete{atrArchive};
    TkxFileAttributes Incomplete{atrArchive, atrTemporary};
    void Assign(const TkxOutputFileAttributes* source) {
        *this = source ? *source : TkxOutputFileAttributes{};
    }
};

// --- URL routines ---

struct TkxUrlParts {
    std::string Scheme;
    std::string HostName;
    std::uint16_t Port = 0;
    std::string UserName;
    std::string Password;
    std::string UrlPath;
    std::string ExtraInfo;  // query and fragment
};

// Splits a URL ("http://" is put in front of a text without "://"); percent sequences come back
// as the bytes they stand for. Fails, leaving parts untouched, when a part is longer than its
// buffer (scheme 32, host 256, user name and password 128, path and extra 2048 bytes) or the URL
// cannot be split.
bool CrackUrl(std::string_view url, TkxUrlParts& parts);
// Percent-encodes control bytes, bytes from 0x80 and space # % * + < >.
std::string EncodeUrlExtra(std::string_view text);
// The request flags for a scheme (https or not) and the option sets.
std::uint32_t RequestFlags(bool secure, TkxCacheOptions cache, TkxInternetOptions internet);
// The status callback's text for a status number.
std::string_view StatusText(std::uint32_t status);

// --- Login data ---

// Holds the user name and password and stores them together as one record of bytes.
class TkxLoginComponent {
  public:
    std::string Username;
    std::string Password;

    // The record; empty when both texts are empty or together longer than 254 bytes (the record
    // cannot hold them, and a wrapped length would corrupt it).
    std::vector<std::uint8_t> WriteLInfo() const;
    // Reads a record; false (nothing changed) when it is malformed.
    bool ReadLInfo(std::span<const std::uint8_t> record);
};

// A handle-based file stream for the output file. clearAttributes lifts hidden and read-only for
// the opening and puts the old attributes back afterwards; keepExisting opens an existing file
// instead of truncating it. Raises framework::EFCreateError "Cannot create file <name>".
class TkxFileStream : public framework::TStream {
  public:
    TkxFileStream(platform::IFiles& files, const std::string& fileName, bool clearAttributes,
                  bool keepExisting);
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, framework::SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;

  private:
    std::unique_ptr<framework::TFileStream> file_;
};

class TkxCustomHTTP;

// Event types; Sender is the component.
using TNotifyEvent = std::function<void(TkxCustomHTTP& Sender)>;
using TkxHTTPBeforeSendRequest =
    std::function<void(TkxCustomHTTP& Sender, platform::IInternetRequest& hRequest)>;
using TkxHTTPHeaderInfoEvent = std::function<void(
    TkxCustomHTTP& Sender, std::int32_t ErrorCode, const std::string& RawHeadersCRLF,
    const std::string& ContentType, const std::string& ContentLanguage,
    const std::string& ContentEncoding, std::int64_t ContentLength, const std::string& Location,
    TDateTime Date, TDateTime LastModified, TDateTime Expires, const std::string& ETag,
    bool& ContinueDownload)>;
using TkxHTTPDoneEvent = std::function<void(TkxCustomHTTP& Sender, const std::string& ContentType,
                                            std::int64_t FileSize, framework::TStream* Stream)>;
using TkxHTTPProgressEvent = std::function<void(
    TkxCustomHTTP& Sender, const std::string& ContentType, std::int64_t DataSize,
    std::int64_t BytesRead, std::int64_t ElapsedTime, std::int64_t EstimatedTimeLeft,
    std::uint8_t PercentsDone, float TransferRate, framework::TStream* Stream)>;
using TkxHTTPRedirected = std::function<void(TkxCustomHTTP& Sender, const std::string& NewURL)>;
using TkxHTTPConnLostEvent =
    std::function<void(TkxCustomHTTP& Sender, const std::string& ContentType, std::int64_t FileSize,
                       std::int64_t BytesRead, framework::TStream* Stream)>;
using TkxHTTPErrorEvent =
    std::function<void(TkxCustomHTTP& Sender, std::int32_t ErrorCode, framework::TStream* Stream)>;
using TkxHTTPPasswordRequestEvent =
    std::function<void(TkxCustomHTTP& Sender, const std::string& Realm, bool& TryAgain)>;
using TkxHTTPProxyAuthenticationEvent = std::function<void(
    TkxCustomHTTP& Sender, std::string& ProxyUsername, std::string& ProxyPassword, bool& TryAgain)>;
using TkxThreadWaitTimeoutExpired =
    std::function<void(TkxCustomHTTP& Sender, bool& TerminateThread)>;
using TkxHTTPStatusTextEvent = std::function<void(TkxCustomHTTP& Sender, std::uint32_t StatusCode,
                                                  const std::string& StatusText)>;

// The largest body kept by default (in memory or in the output file).
inline constexpr std::int64_t kDefaultMaxBodySize = std::int64_t{1} << 30;
// A memory stream is sized from Content-Length beforehand only up to this, then grows with the
// data, so a server announcing gigabytes cannot make the component allocate them.
inline constexpr std::int64_t kMaxPresize = std::int64_t{64} << 20;

// The plain properties of the component, kept together so that Fetch hands a run its own copy in
// one assignment.
struct TkxHTTPProperties {
    std::string AcceptTypes = kDefaultAcceptTypes;
    std::string Agent = kDefaultAgent;
    TkxHTTPProxy Proxy;
    std::string URL;
    TkxCacheOptions CacheOptions = kDefaultCacheOptions;
    TkxInternetOptions InternetOptions = kDefaultInternetOptions;
    std::string OutputFileName;
    TkxOutputFileAttributes OutputFileAttributes;
    std::string POSTData;
    TkxHTTPRange Range;
    std::string Referer;
    TkxHTTPRequestMethod RequestMethod = rmAutoDetect;
    bool ShowGoOnlineMessage = false;
    TkxHTTPTimeouts Timeouts;
    bool WorkOffline = false;
    // A body larger than this ends the transfer as a lost connection.
    std::int64_t MaxBodySize = kDefaultMaxBodySize;
};

// How a transfer ended; each decides the events of the completion step.
enum class TkxHTTPOutcome {
    Done,             // OnDone
    Interrupted,      // OnDoneInterrupted: OnHeaderInfo cleared ContinueDownload
    HttpError,        // OnHTTPError, OnAnyError
    ConnLost,         // OnConnLost, OnAnyError: a 200 or 206 whose body did not arrive whole
    HostUnreachable,  // OnHostUnreachable, OnAnyError: no response
    OutputFileError,  // OnAnyError, OnOutputFileError
    Aborted,          // OnAborted
};

class TkxCustomHTTP : public TkxLoginComponent,
                      public TkxHTTPProperties,
                      public framework::DeliveryOwner {
  public:
    // ui: the loop the events are delivered on. A component that also shows windows (dialogs)
    // takes the application itself beside this.
    TkxCustomHTTP(framework::IUiThread& ui, platform::Os& os, platform::IInternet& internet);
    virtual ~TkxCustomHTTP();
    TkxCustomHTTP(const TkxCustomHTTP&) = delete;
    TkxCustomHTTP& operator=(const TkxCustomHTTP&) = delete;

    // --- properties beside TkxHTTPProperties ---
    const framework::TStringList& AddHeaders() const { return addHeaders_; }
    void SetAddHeaders(const framework::TStringList& lines);

    TThreadPriority ThreadPriority() const { return thread_->Priority(); }
    void SetThreadPriority(TThreadPriority value) { thread_->SetPriority(value); }
    bool WaitThread() const { return thread_->WaitThread(); }
    void SetWaitThread(bool value) { thread_->SetWaitThread(value); }
    std::int32_t WaitTimeout() const { return thread_->WaitTimeout(); }
    void SetWaitTimeout(std::int32_t value) { thread_->SetWaitTimeout(value); }
    std::int32_t TransferBufferSize() const { return transferBufferSize_; }
    // 255 .. 2147483647; a value below 255 is taken as 255.
    void SetTransferBufferSize(std::int32_t value);

    // --- operations ---
    bool Fetch(bool ForceWait = false);
    void Abort(bool DeleteOutputFile, bool Immediately);
    bool IsRunning() const { return thread_->IsRunning(); }
    void ReleaseTransfer();
    std::string UrlFileName() const;
    std::string UrlHostName() const;

    // --- state of the last transfer ---
    bool Busy() const { return busy_; }
    std::int32_t StatusCode() const;
    // Why the last transfer failed, in a few words a user can act on ("HTTP 404", "host
    // unreachable", "connection lost after 600 of 1000 bytes", "no data for 30 s"); empty after
    // a success. Set before the failure events run.
    const std::string& FailureReason() const { return failureReason_; }

    // --- events ---
    TkxHTTPBeforeSendRequest OnBeforeSendRequest;
    TkxHTTPHeaderInfoEvent OnHeaderInfo;
    TkxHTTPDoneEvent OnDone;
    TNotifyEvent OnDoneInterrupted;
    TNotifyEvent OnOutputFileError;
    TkxHTTPProgressEvent OnProgress;
    TkxHTTPRedirected OnRedirected;
    TNotifyEvent OnAnyError;
    TNotifyEvent OnAborted;
    TkxHTTPConnLostEvent OnConnLost;
    TkxHTTPErrorEvent OnHTTPError;
    TNotifyEvent OnHostUnreachable;
    TkxHTTPPasswordRequestEvent OnPasswordRequest;
    TkxHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
    TkxThreadWaitTimeoutExpired OnWaitTimeoutExpired;
    TkxHTTPStatusTextEvent OnStatusText;

  protected:
    framework::IUiThread& UiThread() const { return ui_; }
    platform::Os& Os() const { return os_; }

  private:
    struct Transfer;
    struct Result;
    using Step = std::optional<Result>;  // empty: go on with the next step

    // Worker side (kxHTTPTransfer.cpp). Each step either goes on or ends the run with its result.
    void RunTransfer(TkxEventThread& run, const std::shared_ptr<Transfer>& t);
    Result Perform(TkxEventThread& run, Transfer& t);
    bool Stopped(TkxEventThread& run, const Transfer& t) const;
    void AbortCleanupOnWorker(TkxEventThread& run, Transfer& t);
    Step OpenRequest(TkxEventThread& run, Transfer& t, TkxUrlParts& parts, bool post);
    Step SendRequest(TkxEventThread& run, Transfer& t, bool post);
    Step QueryHeaders(TkxEventThread& run, Transfer& t);
    Result ReadLocalFile(TkxEventThread& run, Transfer& t, const TkxUrlParts& parts);
    Result ReadBody(TkxEventThread& run, Transfer& t);
    bool OpenStream(Transfer& t);
    void DeliverProgress(TkxEventThread& run, Transfer& t);

    // UI side (kxHTTP.cpp).
    std::shared_ptr<Transfer> NewTransfer() const;
    void Complete(const std::shared_ptr<Transfer>& t);
    void RaiseOutcome(Transfer& t);
    void AbortCleanupOnUi(Transfer& t);
    void ReleaseTransferOf(Transfer& t);
    // Lets go of a transfer whose run was stopped at once; the worker releases the rest.
    void Detach(Transfer& t);
    // Raises an event when it is assigned and the component is not being destroyed.
    template <typename Event, typename... Args>
    void Raise(const Event& event, Args&&... args) {
        if (event && !Destroying()) event(*this, std::forward<Args>(args)...);
    }
    void WaitTimeoutExpired(bool& TerminateThread);
    bool IsCurrent(const Transfer& t) const { return current_.get() == &t; }
    // Marks the time the worker waits for a delivery: then the UI thread may free its buffers.
    struct DeliveryScope {
        explicit DeliveryScope(TkxCustomHTTP& c) : c_(c) { ++c_.inDelivery_; }
        ~DeliveryScope() { --c_.inDelivery_; }
        DeliveryScope(const DeliveryScope&) = delete;
        DeliveryScope& operator=(const DeliveryScope&) = delete;
        TkxCustomHTTP& c_;
    };
    // Runs fn on the UI thread while the worker waits, as a delivery of this component.
    void Deliver(TkxEventThread& run, const std::function<void()>& fn);

    framework::IUiThread& ui_;
    platform::Os& os_;
    platform::IInternet& internet_;
    framework::TStringList addHeaders_;
    std::int32_t transferBufferSize_ = 4096;

    bool busy_ = false;
    bool active_ = false;
    std::string failureReason_;
    std::shared_ptr<Transfer> current_;      // the transfer of the last Fetch, until released
    std::shared_ptr<Transfer> last_;         // kept for StatusCode after release
    std::shared_ptr<Transfer> runTransfer_;  // the transfer of the worker's current run
    int inDelivery_ = 0;
    std::unique_ptr<TkxCustomThread> thread_;
};

// The published component; no behaviour of its own.
class TkxHTTP : public TkxCustomHTTP {
  public:
    using TkxCustomHTTP::TkxCustomHTTP;
};

}  // namespace pw::http
