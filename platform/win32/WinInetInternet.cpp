#include "platform/win32/WinInetInternet.h"

#include <windows.h>
#include <wininet.h>

#include <utility>

#include "platform/win32/WinInetRequest.h"
#include "platform/win32/WinInetSession.h"

namespace pw::platform::win32 {

namespace {

using namespace pw::platform::inet;

const char* OrNull(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}

class WinInetConnection final : public IInternetConnection {
  public:
    WinInetConnection(std::shared_ptr<WinInetSessionState> session, HINTERNET handle,
                      Credentials login)
        : session_(std::move(session)), handle_(handle), login_(std::move(login)) {}
    ~WinInetConnection() override { session_->handles->Close(handle_); }
    WinInetConnection(const WinInetConnection&) = delete;
    WinInetConnection& operator=(const WinInetConnection&) = delete;

    std::unique_ptr<IInternetRequest> OpenRequest(std::string_view verb, std::string_view object,
                                                  std::string_view referer,
                                                  std::string_view acceptTypes,
                                                  std::uint32_t flags) override {
        if (session_->Cancelled()) return nullptr;
        std::string method = verb.empty() ? "GET" : std::string(verb);
        if (!IsToken(method) || HasNul(object) || !IsHeaderText(referer) ||
            !IsHeaderText(acceptTypes)) {
            return nullptr;
        }
        const std::string target = RequestTarget(object);
        const std::string ref(referer);
        const std::string accept(acceptTypes);
        const char* accepts[] = {accept.c_str(), nullptr};
        // WinInet never answers a challenge itself: it would keep the login for the host, for
        // every later session of the process, whatever the caller gives or withholds.
        HINTERNET request = HttpOpenRequestA(handle_, method.c_str(), target.c_str(), "HTTP/1.1",
                                             OrNull(ref), accept.empty() ? nullptr : accepts,
                                             flags | INTERNET_FLAG_NO_AUTH, session_->Context());
        if (request == nullptr) return nullptr;
        session_->handles->Add(request, handle_);
        if (!session_->handles->IsOpen(request)) return nullptr;  // cancelled meanwhile
        return std::make_unique<WinInetRequest>(session_, request, std::move(method), login_,
                                                (flags & kFlagNoAuth) == 0);
    }

  private:
    std::shared_ptr<WinInetSessionState> session_;
    HINTERNET handle_;
    Credentials login_;
};

class WinInetSession final : public IInternetSession {
  public:
    explicit WinInetSession(std::shared_ptr<WinInetSessionState> state) : state_(std::move(state)) {
        if (state_->cancel) {
            // The root closes everything opened from it, and every blocked call fails (on
            // Windows) or is left to end alone (Wine).
            WinInetSessionState* state = state_.get();
            waker_ = state_->cancel->AddWaker([state] {
                state->handles->CloseAll();
                state->Wake();
            });
        }
    }
    ~WinInetSession() override {
        waker_.reset();
        state_->handles->CloseAll();
    }
    WinInetSession(const WinInetSession&) = delete;
    WinInetSession& operator=(const WinInetSession&) = delete;

    void SetStatusCallback(InternetStatusCallback callback) override {
        state_->callback = std::move(callback);
    }

    std::unique_ptr<IInternetConnection> Connect(std::string_view host, std::uint16_t port,
                                                 std::string_view username,
                                                 std::string_view password) override {
        if (state_->Cancelled() || host.empty() || !IsHeaderText(host) || HasNul(username) ||
            HasNul(password)) {
            return nullptr;
        }
        const std::string name(host);
        const HINTERNET root = state_->handles->Root();
        // The login stays here: the request answers challenges with it (see OpenRequest).
        HINTERNET connection = InternetConnectA(root, name.c_str(), port, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, state_->Context());
        if (connection == nullptr) return nullptr;
        state_->handles->Add(connection, root);
        if (!state_->handles->IsOpen(connection)) return nullptr;
        return std::make_unique<WinInetConnection>(
            state_, connection, Credentials{std::string(username), std::string(password)});
    }

  private:
    std::shared_ptr<WinInetSessionState> state_;
    std::unique_ptr<InternetCancel::WakerGuard> waker_;
};

// InternetGetConnectedState's answer as connected-state bits.
std::uint32_t StateBits(BOOL connected, DWORD flags) {
    if ((flags & INTERNET_CONNECTION_OFFLINE) != 0) return kStateDisconnectedByUser;
    return connected ? INTERNET_STATE_CONNECTED : INTERNET_STATE_DISCONNECTED;
}

}  // namespace

std::unique_ptr<IInternetSession> WinInetInternet::Open(const InternetOpenParams& params,
                                                        std::shared_ptr<InternetCancel> cancel) {
    if ((cancel && cancel->Cancelled()) || !IsHeaderText(params.agent)) return nullptr;
    const char* proxy = nullptr;
    const char* bypass = nullptr;
    switch (params.accessType) {
        case AccessType::Preconfig:
        case AccessType::Direct:
            break;
        case AccessType::Proxy:
            if (!params.proxy || params.proxy->empty() || HasNul(*params.proxy)) return nullptr;
            proxy = params.proxy->c_str();
            if (params.bypass) bypass = params.bypass->c_str();
            break;
        default:
            return nullptr;
    }
    HINTERNET root = InternetOpenA(params.agent.c_str(), static_cast<DWORD>(params.accessType),
                                   proxy, bypass, params.flags);
    if (root == nullptr) return nullptr;
    auto state = std::make_shared<WinInetSessionState>();
    state->params = params;
    state->cancel = std::move(cancel);
    state->handles = std::make_shared<WinInetHandles>(root);
    DWORD_PTR context = state->Context();
    if (!InternetSetOptionA(root, INTERNET_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
        InternetSetStatusCallbackA(root, &WinInetSessionState::StatusCallback) ==
            INTERNET_INVALID_STATUS_CALLBACK) {
        return nullptr;
    }
    return std::make_unique<WinInetSession>(std::move(state));
}

std::optional<std::uint32_t> WinInetInternet::ConnectedState() {
    DWORD flags = 0;
    const BOOL connected = InternetGetConnectedState(&flags, 0);
    return StateBits(connected, flags);
}

bool WinInetInternet::GoOnline(std::string_view url) {
    if (HasNul(url)) return false;
    std::string target(url);
    return InternetGoOnlineA(target.data(), nullptr, 0) != FALSE;
}

}  // namespace pw::platform::win32
