// The HTTP component on the UI thread: Fetch, Abort, the completion step and releasing a transfer.

#include "http/kxHTTP.h"

#include <cassert>
#include <filesystem>

#include "http/kxHTTPTransfer.h"

namespace pw::http {

TkxCustomHTTP::TkxCustomHTTP(framework::IApplication& app, platform::Os& os,
                             platform::IInternet& internet)
    : app_(app),
      os_(os),
      internet_(internet),
      thread_(std::make_unique<TkxCustomThread>(app, *this)) {
    thread_->SetOnException([this] { RaiseAnyError(); });
    thread_->OnWaitTimeoutExpired = [this](TkxCustomThread&, bool& terminate) {
        WaitTimeoutExpired(terminate);
    };
}

TkxCustomHTTP::~TkxCustomHTTP() {
    BeginDestroy();
    if (runTransfer_) runTransfer_->cancel->Cancel();
    // Waits until every worker of this component has ended; none delivers anything now.
    thread_.reset();
    current_.reset();
    runTransfer_.reset();
}

void TkxCustomHTTP::SetAddHeaders(const framework::TStringList& lines) {
    addHeaders_.Clear();
    addHeaders_.AddStrings(lines);
}

void TkxCustomHTTP::SetTransferBufferSize(std::int32_t value) {
    transferBufferSize_ = value < 255 ? 255 : value;
}

std::int32_t TkxCustomHTTP::StatusCode() const {
    return last_ ? last_->statusCode.load(std::memory_order_acquire) : -1;
}

std::shared_ptr<TkxCustomHTTP::Transfer> TkxCustomHTTP::NewTransfer() const {
    auto t = std::make_shared<Transfer>();
    t->url = URL;
    t->username = Username;
    t->password = Password;
    t->agent = Agent;
    t->acceptTypes = AcceptTypes;
    t->referer = Referer;
    t->postData = POSTData;
    t->outputFileName = OutputFileName;
    for (int i = 0; i < addHeaders_.Count(); ++i)
        t->addHeadersText += addHeaders_[i] + "\r\n";
    t->proxy = Proxy;
    t->range = Range;
    t->timeouts = Timeouts;
    t->cacheOptions = CacheOptions;
    t->internetOptions = InternetOptions;
    t->outputFileAttributes = OutputFileAttributes;
    t->requestMethod = RequestMethod;
    t->showGoOnlineMessage = ShowGoOnlineMessage;
    t->workOffline = WorkOffline;
    t->maxBodySize = MaxBodySize;
    t->bufferSize = static_cast<std::size_t>(transferBufferSize_);
    t->hasHeaderInfo = static_cast<bool>(OnHeaderInfo);
    t->hasProgress = static_cast<bool>(OnProgress);
    t->hasPasswordRequest = static_cast<bool>(OnPasswordRequest);
    t->hasProxyAuthentication = static_cast<bool>(OnProxyAuthenticationRequest);
    t->onBeforeSendRequest = OnBeforeSendRequest;
    t->onRedirected = OnRedirected;
    t->onStatusText = OnStatusText;
    return t;
}

bool TkxCustomHTTP::Fetch(bool ForceWait) {
    assert(app_.IsUiThread());
    if (busy_) return false;
    busy_ = true;
    active_ = true;
    failureReason_.clear();

    // A worker still running here has delivered its final event already (a handler released
    // the transfer and fetches again): it is stopped at once and ends on its own.
    if (thread_->IsRunning() && runTransfer_) runTransfer_->cancel->Cancel();
    thread_->StopNow();

    auto t = NewTransfer();
    current_ = t;
    runTransfer_ = t;
    last_ = t;
    thread_->SetOnExecute([this, t](TkxEventThread& run) { RunTransfer(run, t); });
    thread_->SetOnFinish([this, t](TkxEventThread&) { Complete(t); });

    const bool savedWait = thread_->WaitThread();
    if (ForceWait) thread_->SetWaitThread(true);
    const bool result = thread_->Run();
    if (ForceWait) thread_->SetWaitThread(savedWait);
    if (!result) {
        // The wait expired and the worker was stopped: it releases its own handles.
        failureReason_ = "no answer within the wait time-out";
        Detach(*t);
    }
    return result;
}

void TkxCustomHTTP::WaitTimeoutExpired(bool& TerminateThread) {
    if (OnWaitTimeoutExpired && !Destroying()) OnWaitTimeoutExpired(*this, TerminateThread);
    // The worker is about to be stopped at once: wake it from wherever it blocks.
    if (TerminateThread && runTransfer_) runTransfer_->cancel->Cancel();
}

void TkxCustomHTTP::Abort(bool DeleteOutputFile, bool Immediately) {
    assert(app_.IsUiThread());
    if (!IsRunning() || !runTransfer_) return;
    std::shared_ptr<Transfer> t = runTransfer_;
    t->deleteOnAbort = DeleteOutputFile;
    t->cancel->Cancel();
    if (!Immediately) {
        // The worker notices at its next check (the cancel wakes it) and cleans up itself.
        thread_->RequestStop();
        return;
    }
    thread_->StopNow();
    Detach(*t);
    if (DeleteOutputFile && t->outputFileOpen) {
        std::error_code ec;
        std::filesystem::remove(t->outputFileName, ec);
        t->deletedByUi = true;
    }
    failureReason_ = "aborted";
    if (OnAborted && !Destroying()) OnAborted(*this);
}

void TkxCustomHTTP::ReleaseTransfer() {
    assert(app_.IsUiThread());
    if (current_) {
        ReleaseTransferOf(*current_);
    } else {
        busy_ = false;
        active_ = false;
    }
}

void TkxCustomHTTP::Detach(Transfer& t) {
    t.detached = true;
    if (IsCurrent(t)) {
        busy_ = false;
        active_ = false;
        current_.reset();
    }
}

void TkxCustomHTTP::ReleaseTransferOf(Transfer& t) {
    // The buffer and stream belong to the worker while it runs outside a delivery, and for good
    // once its run has been stopped at once: it frees them itself.
    const bool workerHoldsThem =
        t.detached || (IsRunning() && !inDelivery_ && runTransfer_.get() == &t);
    if (!workerHoldsThem) {
        t.buffer = {};
        if (t.stream) {
            t.stream.reset();
            if (t.outputFileOpen) {
                if (!(t.outputFileAttributes.Incomplete == TkxFileAttributes{atrArchive}))
                    SetFileAttributeSet(os_.files, t.outputFileName,
                                        t.outputFileAttributes.Incomplete);
                t.outputFileOpen = false;
            }
        }
    }
    if (IsCurrent(t)) {
        active_ = false;
        busy_ = false;
        current_.reset();
    }
}

void TkxCustomHTTP::RaiseAnyError() {
    if (OnAnyError && !Destroying()) OnAnyError(*this);
}

void TkxCustomHTTP::Complete(const std::shared_ptr<Transfer>& tp) {
    Transfer& t = *tp;
    if (t.aborted) return;  // the abort cleanup has run instead
    const DeliveryScope scope(*this);

    // An exception escaping a handler ends the step, but the component goes back to idle first:
    // the next Fetch must be accepted.
    try {
        t.CloseHandles();
        if (t.stream) t.stream->SetPosition(0);
        if (IsCurrent(t)) active_ = false;

        if (!t.continueFlag) {
            ReleaseTransferOf(t);
            if (OnDoneInterrupted && !Destroying()) OnDoneInterrupted(*this);
            return;
        }

        const bool succeeded = t.success && t.finished && !t.bodyTooLarge;
        if (succeeded) {
            framework::TStream* stream = t.stream.get();
            if (t.outputFileOpen) {
                ReleaseTransferOf(t);
                if (!(t.outputFileAttributes.Complete == t.outputFileAttributes.Incomplete))
                    SetFileAttributeSet(os_.files, t.outputFileName,
                                        t.outputFileAttributes.Complete);
                stream = nullptr;
            }
            if (OnDone && !Destroying()) OnDone(*this, t.contentType, t.bytesRead, stream);
            ReleaseTransferOf(t);
            return;
        }

        // A memory stream sized beforehand holds only what arrived.
        if (t.stream && !t.outputFileOpen && t.stream->Size() > t.bytesRead)
            t.stream->SetSize(t.bytesRead);
        const std::int32_t status = t.statusCode;
        if (t.outputFileError) {
            failureReason_ = "cannot create the output file";
            RaiseAnyError();
            if (OnOutputFileError && !Destroying()) OnOutputFileError(*this);
        } else {
            if (status == 200 || status == 206) {
                failureReason_ =
                    t.bodyTooLarge ? "body larger than " + std::to_string(t.maxBodySize) + " bytes"
                                   : "connection lost: " + std::to_string(t.bytesRead) + " of " +
                                         std::to_string(t.contentLength) + " bytes";
                if (OnConnLost && !Destroying())
                    OnConnLost(*this, t.contentType, t.contentLength, t.bytesRead, t.stream.get());
            } else if (status == -1) {
                failureReason_ = t.malformedUrl ? "malformed URL" : "host unreachable";
                if (OnHostUnreachable && !Destroying()) OnHostUnreachable(*this);
            } else {
                failureReason_ = "HTTP " + std::to_string(status);
                if (OnHTTPError && !Destroying()) OnHTTPError(*this, status, t.stream.get());
            }
            RaiseAnyError();
        }
        ReleaseTransferOf(t);
    } catch (...) {
        ReleaseTransferOf(t);
        throw;
    }
}

}  // namespace pw::http
