#include "platform/posix/CurlInternet.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>
#include <utility>

#include "platform/posix/CurlProxy.h"
#include "platform/posix/CurlRequest.h"

namespace pw::platform::posix {

namespace {

using namespace pw::platform::inet;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A host that can stand in a URL as it is; IPv6 literals get their brackets.
std::optional<std::string> UrlHost(std::string_view host) {
    if (host.empty()) return std::nullopt;
    for (unsigned char c : host) {
        if (c <= 0x20 || c == 0x7F || std::strchr("/?#@\\", c) != nullptr) return std::nullopt;
    }
    if (host.find(':') != std::string_view::npos && host.front() != '[') {
        return "[" + std::string(host) + "]";
    }
    return std::string(host);
}

class CurlConnection final : public IInternetConnection {
  public:
    CurlConnection(std::shared_ptr<CurlSessionState> session, CurlTarget target)
        : session_(std::move(session)), target_(std::move(target)) {}

    std::unique_ptr<IInternetRequest> OpenRequest(std::string_view verb, std::string_view object,
                                                  std::string_view referer,
                                                  std::string_view acceptTypes,
                                                  std::uint32_t flags) override {
        if (session_->Cancelled()) return nullptr;
        const std::string method = verb.empty() ? "GET" : std::string(verb);
        if (!IsToken(method) || HasNul(object) || !IsHeaderText(referer) ||
            !IsHeaderText(acceptTypes)) {
            return nullptr;
        }
        auto request = std::make_unique<CurlRequest>(session_, target_, method, object, referer,
                                                     std::string(acceptTypes), flags);
        if (!request->Valid()) return nullptr;
        return request;
    }

  private:
    std::shared_ptr<CurlSessionState> session_;
    CurlTarget target_;
};

class CurlSession final : public IInternetSession {
  public:
    explicit CurlSession(std::shared_ptr<CurlSessionState> state) : state_(std::move(state)) {}

    void SetStatusCallback(InternetStatusCallback callback) override {
        state_->callback = std::move(callback);
    }

    std::unique_ptr<IInternetConnection> Connect(std::string_view host, std::uint16_t port,
                                                 std::string_view username,
                                                 std::string_view password) override {
        if (state_->Cancelled() || HasNul(username) || HasNul(password)) return nullptr;
        auto urlHost = UrlHost(host);
        if (!urlHost) return nullptr;
        CurlTarget target{*urlHost, std::string(host), port, std::string(username),
                          std::string(password)};
        return std::make_unique<CurlConnection>(state_, std::move(target));
    }

  private:
    std::shared_ptr<CurlSessionState> state_;
};

}  // namespace

CurlInternet::CurlInternet() : CurlInternet(Options{}) {}

CurlInternet::CurlInternet(Options options) : options_(std::move(options)) {
    GlobalInit();
}

std::unique_ptr<IInternetSession> CurlInternet::Open(const InternetOpenParams& params,
                                                     std::shared_ptr<InternetCancel> cancel) {
    if ((cancel && cancel->Cancelled()) || !IsHeaderText(params.agent)) return nullptr;
    auto state = std::make_shared<CurlSessionState>();
    switch (params.accessType) {
        case AccessType::Preconfig:
        case AccessType::Direct:
            break;
        case AccessType::Proxy:
            if (!params.proxy || params.proxy->empty() || HasNul(*params.proxy)) return nullptr;
            state->bypass = ConvertBypass(params.bypass.value_or(""));
            break;
        default:
            return nullptr;
    }
    state->params = params;
    state->cancel = std::move(cancel);
    state->caFile = options_.caFile;
    return std::make_unique<CurlSession>(std::move(state));
}

std::optional<std::uint32_t> CurlInternet::ConnectedState() {
    return 0;
}

bool CurlInternet::GoOnline(std::string_view) {
    return true;
}

}  // namespace pw::platform::posix
