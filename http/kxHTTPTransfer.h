#pragma once
// One transfer's state, shared by the component (UI thread) and its worker. Everything a run needs
// is copied in by Fetch, so a run that is stopped at once can finish on its own without touching
// what the component uses for the next run.
//
// Threads: the worker owns the fields while it runs; the UI thread reads and writes them only
// while the worker waits for a delivery, or after the run has ended. The atomics are the
// exceptions that the UI thread may touch at any time.

#include <atomic>
#include <chrono>

#include "http/kxHTTP.h"

namespace pw::http {

struct TkxCustomHTTP::Transfer {
    // --- copied from the properties by Fetch ---
    std::string url;
    std::string username;
    std::string password;
    std::string agent;
    std::string acceptTypes;
    std::string referer;
    std::string postData;
    std::string outputFileName;
    std::string addHeadersText;
    TkxHTTPProxy proxy;
    TkxHTTPRange range;
    TkxHTTPTimeouts timeouts;
    TkxCacheOptions cacheOptions;
    TkxInternetOptions internetOptions;
    TkxOutputFileAttributes outputFileAttributes;
    TkxHTTPRequestMethod requestMethod = rmAutoDetect;
    bool showGoOnlineMessage = false;
    bool workOffline = false;
    std::int64_t maxBodySize = kDefaultMaxBodySize;
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
    std::int64_t bytesRead = 0;
    std::chrono::steady_clock::time_point start;
    bool continueFlag = true;
    bool tryAgain = false;
    bool success = false;
    // Set once the result rule has run; a run cut short by an exception has not succeeded.
    bool finished = false;
    std::vector<char> buffer;
    std::unique_ptr<framework::TStream> stream;
    std::atomic<bool> outputFileOpen{false};
    bool outputFileError = false;
    bool bodyTooLarge = false;
    bool malformedUrl = false;

    // Header snapshot for OnHeaderInfo.
    std::string rawHeaders;
    std::string contentLanguage;
    std::string contentEncoding;
    std::string location;
    std::string eTag;
    TDateTime date = 0;
    TDateTime lastModified = 0;
    TDateTime expires = 0;

    // Abort: the delete request, whether the abort cleanup ran on the worker, and whether the
    // UI thread already deleted the output file.
    std::atomic<bool> deleteOnAbort{false};
    bool aborted = false;
    std::atomic<bool> deletedByUi{false};
    // The UI thread has let go of this transfer (UI thread only).
    bool detached = false;

    void CloseHandles() {
        localFile.reset();
        request.reset();
        connection.reset();
        root.reset();
    }
};

}  // namespace pw::http
