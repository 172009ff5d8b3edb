// The HTTP component on the UI thread: Fetch, Abort, the completion step and releasing a transfer.

#include "http/kxHTTP.h"

#include <cassert>
#include <filesystem>

#include "http/kxHTTPTransfer.h"

namespace pw::http {

using Outcome = TkxHTTPOutcome;

TkxCustomHTTP::TkxCustomHTTP(framework::IUiThread& ui, platform::Os& os,
                             platform::IInternet& internet)
    : ui_(ui), os_(os), internet_(internet), thread_(std::make_unique<TkxCustomThread>(ui, *this)) {
    thread_->SetOnException([this] { Raise(OnAnyError); });
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
    t->props = *this;
    t->login = *this;
    for (int i = 0; i < addHeaders_.Count(); ++i)
        t->addHeadersText += addHeaders_[i] + "\r\n";
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
    assert(ui_.IsUiThread());
    if (busy_) return false;
    busy_ = true;
    active_ = true;
    failureReason_.clear();

    // A worker still running here has delivered its final event already (a handler released
    // the transfer and fetches again): it is stopped at once and ends on its own. Stopped first,
    // then woken, so that it cannot mistake the wake-up for the end of its body.
    const bool stillRunning = thread_->IsRunning() && runTransfer_;
    thread_->StopNow();
    if (stillRunning) runTransfer_->cancel->Cancel();

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
    Raise(OnWaitTimeoutExpired, TerminateThread);
    // The worker is about to be stopped at once: mark it stopped, then wake it from wherever it
    // blocks.
    if (TerminateThread && runTransfer_) {
        runTransfer_->abortRequested = true;
        runTransfer_->cancel->Cancel();
    }
}

void TkxCustomHTTP::Abort(bool DeleteOutputFile, bool Immediately) {
    assert(ui_.IsUiThread());
    if (!runTransfer_) return;
    std::shared_ptr<Transfer> t = runTransfer_;
    // Once the completion step has begun, the run is over: a handler's abort changes nothing.
    if (t->completing) return;
    const bool running = IsRunning();
    // A worker resumed a moment ago that has not begun its work cannot be asked: it would end
    // without a word and leave the component busy. It is stopped at once instead.
    const bool starting = !running && thread_->InRun() && IsCurrent(*t);
    if (!running && !starting) return;
    t->deleteOnAbort = DeleteOutputFile;
    // The stop is marked before the worker is woken: a worker woken from a read must never take
    // the wake-up for the end of the body.
    t->abortRequested = true;
    if (!Immediately && running) {
        // The worker notices at its next check and cleans up itself; should it have finished
        // already, the completion step does.
        thread_->RequestStop();
        t->cancel->Cancel();
        return;
    }
    thread_->StopNow();
    t->cancel->Cancel();
    Detach(*t);
    if (DeleteOutputFile && t->outputFileOpen) {
        std::error_code ec;
        std::filesystem::remove(t->props.OutputFileName, ec);
        t->deletedByUi = true;
    }
    failureReason_ = "aborted";
    Raise(OnAborted);
}

void TkxCustomHTTP::ReleaseTransfer() {
    assert(ui_.IsUiThread());
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
            const TkxOutputFileAttributes& attributes = t.props.OutputFileAttributes;
            if (t.outputFileOpen) {
                if (!(attributes.Incomplete == TkxFileAttributes{atrArchive}))
                    SetFileAttributeSet(os_.files, t.props.OutputFileName, attributes.Incomplete);
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

void TkxCustomHTTP::AbortCleanupOnUi(Transfer& t) {
    // The worker finished its run after the abort was asked for but before it looked: the abort
    // still wins, and nothing else is reported.
    const bool fileWasOpen = t.outputFileOpen;
    ReleaseTransferOf(t);
    if (fileWasOpen && t.deleteOnAbort) {
        std::error_code ec;
        std::filesystem::remove(t.props.OutputFileName, ec);
    }
    failureReason_ = "aborted";
    Raise(OnAborted);
}

void TkxCustomHTTP::Complete(const std::shared_ptr<Transfer>& tp) {
    Transfer& t = *tp;
    if (t.result.outcome == Outcome::Aborted) return;  // the abort cleanup has run instead
    const DeliveryScope scope(*this);
    t.completing = true;

    // An exception escaping a handler ends the step, but the component goes back to idle first:
    // the next Fetch must be accepted.
    try {
        t.CloseHandles();
        if (t.abortRequested) {
            AbortCleanupOnUi(t);
            return;
        }
        if (t.stream) t.stream->SetPosition(0);
        if (IsCurrent(t)) active_ = false;
        RaiseOutcome(t);
        ReleaseTransferOf(t);
    } catch (...) {
        ReleaseTransferOf(t);
        throw;
    }
}

void TkxCustomHTTP::RaiseOutcome(Transfer& t) {
    const std::int32_t status = t.statusCode;
    failureReason_ = t.result.reason;
    switch (t.result.outcome) {
        case Outcome::Interrupted:
            ReleaseTransferOf(t);
            Raise(OnDoneInterrupted);
            return;
        case Outcome::Done: {
            framework::TStream* stream = t.stream.get();
            const TkxOutputFileAttributes& attributes = t.props.OutputFileAttributes;
            if (t.outputFileOpen) {
                ReleaseTransferOf(t);
                if (!(attributes.Complete == attributes.Incomplete))
                    SetFileAttributeSet(os_.files, t.props.OutputFileName, attributes.Complete);
                stream = nullptr;
            }
            Raise(OnDone, t.contentType, t.bytesRead, stream);
            return;
        }
        case Outcome::OutputFileError:
            Raise(OnAnyError);
            Raise(OnOutputFileError);
            return;
        case Outcome::ConnLost:
            // A memory stream sized beforehand holds only what arrived.
            if (t.stream && !t.outputFileOpen && t.stream->Size() > t.bytesRead)
                t.stream->SetSize(t.bytesRead);
            Raise(OnConnLost, t.contentType, t.contentLength, t.bytesRead, t.stream.get());
            break;
        case Outcome::HostUnreachable:
            Raise(OnHostUnreachable);
            break;
        case Outcome::HttpError:
            if (t.stream && !t.outputFileOpen && t.stream->Size() > t.bytesRead)
                t.stream->SetSize(t.bytesRead);
            Raise(OnHTTPError, status, t.stream.get());
            break;
        case Outcome::Aborted:
            return;
    }
    Raise(OnAnyError);
}

}  // namespace pw::http
