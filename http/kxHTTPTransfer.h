#pragma once
// One transfer's state, shared by the component (UI thread) and its worker. Everything a run needs
// is copied in by Fetch, so a run that is stopped at once can finish on its own without touching
// what the component uses for the next run.
//
// Threads: the worker owns the fields while it runs; the UI thread reads and writes them only
// while the worker waits for a delivery, or after the run has ended. The atomics are the
// exceptions that the UI thread may touch at any time.

#include <atomic>

#include "framework/Clock.h"
#include "http/kxHTTP.h"

namespace pw::http {

// How a run ended and why, in words for the user; the completion step raises the events for it.
struct TkxCustomHTTP::Result {
    TkxHTTPOutcome outcome = TkxHTTPOutcome::HostUnreachable;
    std::string reason;  // empty for Done and Interrupted
};

struct TkxCustomHTTP::Transfer {
    // --- copied by Fetch ---
    TkxHTTPProperties props;
    TkxLoginComponent login;  // the authentication events may change it during the run
    std::string addHeadersText;
    std::size_t bufferSize = 4096;
    // Which UI-thread events are assigned, and the worker-thread handlers themselves.
    bool hasHeaderInfo = false;
    bool hasProgress = false;
    bool hasPasswordRequest = false;
    bool hasProxyAuthentication = false;
    TkxHTTPBeforeSendRequest onBeforeSendRequest;
    TkxHTTPRedirected onRedirected;
    TkxHTTPStatusTextEvent onStatusText;

    // --- the run ---
    std::shared_ptr<platform::InternetCancel> cancel = std::make_shared<platform::InternetCancel>();
    std::unique_ptr<framework::TFileStream> localFile;
    std::unique_ptr<platform::IInternetSession> root;
    std::unique_ptr<platform::IInternetConnection> connection;
    std::unique_ptr<platform::IInternetRequest> request;

    std::atomic<std::int32_t> statusCode{-1};
    std::string contentType;
    std::int64_t contentLength = 0;
    bool lengthAnnounced = false;  // the response carried a Content-Length
    std::int64_t bytesRead = 0;
    framework::Millis start = 0;
    bool continueFlag = true;
    bool tryAgain = false;
    std::vector<char> buffer;
    std::unique_ptr<framework::TStream> stream;
    std::atomic<bool> outputFileOpen{false};

    // Header snapshot for OnHeaderInfo.
    std::string rawHeaders;
    std::string contentLanguage;
    std::string contentEncoding;
    std::string location;
    std::string eTag;
    TDateTime date = 0;
    TDateTime lastModified = 0;
    TDateTime expires = 0;

    // Set on the worker when the run ends; read by the completion step.
    Result result;

    // Abort: the stop request (set before the worker is woken, so a woken worker always sees it),
    // the delete request, and whether the UI thread already deleted the output file.
    std::atomic<bool> abortRequested{false};
    std::atomic<bool> deleteOnAbort{false};
    std::atomic<bool> deletedByUi{false};
    // UI thread only: the completion step has begun (an abort from now on has no effect), and the
    // UI thread has let go of this transfer.
    bool completing = false;
    bool detached = false;

    void CloseHandles() {
        localFile.reset();
        request.reset();
        connection.reset();
        root.reset();
    }
};

}  // namespace pw::http
