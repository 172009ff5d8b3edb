#pragma once
// One request of the curl internet layer: its own easy and multi handle, the exchange a Send
// starts (which header block is the answer, redirects, authentication rounds, the CONNECT of a
// proxy tunnel) and the pull-style reads of the body that follow, paced by the caller. The
// session and connection layer (CurlInternet.cpp) opens it with the state it shares.
//
// Threads: used by the session's thread only; curl runs every callback on that thread, inside
// curl_multi_perform or curl_easy_pause. The session's InternetCancel wakes a blocked wait from
// any thread.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Internet.h"
#include "platform/posix/CurlFlags.h"
#include "platform/posix/CurlHeaders.h"
#include "platform/posix/CurlProxy.h"

namespace pw::platform::posix {

using inet::HasNul;
using inet::IsHeaderText;
using inet::IsToken;

// What a session hands to everything opened from it.
struct CurlSessionState {
    InternetOpenParams params;
    std::shared_ptr<InternetCancel> cancel;
    InternetStatusCallback callback;
    ProxyBypass bypass;
    std::string caFile;

    bool Cancelled() const { return cancel && cancel->Cancelled(); }

    // Called from inside curl's callbacks: nothing may unwind through curl.
    void Notify(std::uint32_t status, std::string_view info = {}) const {
        if (!callback) return;
        try {
            callback(status, info);
        } catch (...) {
        }
    }
};

// The server a connection was opened for.
struct CurlTarget {
    std::string host;  // as it stands in a URL
    std::string rawHost;
    std::uint16_t port = 0;
    std::string username;
    std::string password;
};

class CurlRequest final : public IInternetRequest {
  public:
    CurlRequest(std::shared_ptr<CurlSessionState> session, const CurlTarget& target,
                std::string verb, std::string_view object, std::string_view referer,
                std::string accept, std::uint32_t flags);
    ~CurlRequest() override;
    CurlRequest(const CurlRequest&) = delete;
    CurlRequest& operator=(const CurlRequest&) = delete;

    // False when curl could not make the handles; such a request is never handed out.
    bool Valid() const { return multi_ && easy_; }

    bool SetOption(inet::Option option, std::uint32_t value) override;
    bool SetOption(inet::Option option, std::string_view text) override;
    bool AddRequestHeaders(std::string_view headers, std::uint32_t modifiers) override;
    bool Send(std::string_view headers, std::span<const char> optional) override;
    std::optional<std::string> QueryInfo(inet::Query query) override;
    bool Read(std::span<char> buffer, std::size_t& count) override;
    InternetError LastError() const override { return lastError_; }

  private:
    using Clock = std::chrono::steady_clock;

    struct EasyDeleter {
        void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
    };
    struct MultiDeleter {
        void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
    };
    struct SlistDeleter {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };

    // What the silence watchdog is waiting for; each has its own time-out.
    enum class Phase { Connecting, Sending, Receiving };
    // Whether the last header block is the final response's.
    enum class Answer { None, Pending, Final };

    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t n, void* self);
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t n, void* self);
    static int PrereqCallback(void* self, char*, char*, int, int);
    static int SockoptCallback(void* self, curl_socket_t, curlsocktype);
    static int ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t ulTotal,
                                curl_off_t ulNow);

    void SetUp(std::string_view referer);
    bool Configure(std::string_view headers, std::span<const char> optional);
    std::size_t OnHeader(std::string_view line);
    std::size_t OnBody(const char* data, std::size_t size);
    void OnBlockEnd();
    std::string RedirectUrl(const std::string& location);
    bool Settle();
    void Perform();
    bool Wait();
    bool TotalExpired() const { return totalDeadline_ && Clock::now() >= *totalDeadline_; }
    void Touch(Phase phase);
    void Detach();
    bool Fail(InternetError why);
    InternetError CurlError() const;
    void ResetExchange();
    std::size_t TakePending(std::span<char> buffer);
    bool Cancelled() const { return session_->Cancelled(); }

    std::shared_ptr<CurlSessionState> session_;
    std::string verb_;
    std::string url_;
    std::string accept_;
    RequestConfig base_;
    std::uint32_t securityFlags_ = 0;
    std::uint32_t connectMs_ = 0;
    std::uint32_t sendMs_ = 0;
    std::uint32_t receiveMs_ = 0;
    std::uint32_t totalMs_ = 0;
    std::optional<Clock::time_point> totalDeadline_;
    std::string username_;
    std::string password_;
    std::string proxyUsername_;
    std::string proxyPassword_;
    std::vector<std::string> addedHeaders_;

    // Declared so that the waker goes first and the header list after the easy handle.
    std::unique_ptr<curl_slist, SlistDeleter> headerList_;
    std::unique_ptr<CURLM, MultiDeleter> multi_;
    std::unique_ptr<CURL, EasyDeleter> easy_;
    std::unique_ptr<InternetCancel::WakerGuard> waker_;
    bool attached_ = false;

    // One exchange: a Send and the reads after it.
    ResponseHeaders headers_;
    Answer answer_ = Answer::None;
    bool bodyless_ = false;  // curl discarded the answer's body (CONNECT refusal, redirect limit)
    bool blockIsConnect_ = false;
    bool requestInFlight_ = false;  // false between a new connection and its request: CONNECT
    bool hopHasBody_ = false;
    int redirects_ = 0;
    bool done_ = false;
    CURLcode result_ = CURLE_OK;
    bool failed_ = false;
    InternetError lastError_;
    bool headersTooLarge_ = false;
    bool discard_ = false;
    std::vector<char> pending_;
    std::size_t pendingPos_ = 0;
    std::span<char> readTarget_;
    std::size_t filled_ = 0;
    bool paused_ = false;
    Phase phase_ = Phase::Connecting;
    Clock::time_point lastActivity_;
    curl_off_t uploaded_ = 0;
};

}  // namespace pw::platform::posix
