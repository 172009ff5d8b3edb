#include "platform/win32/WinInetRequest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/win32/WinInetInternet.h"

namespace pw::platform::win32 {

using namespace pw::platform::inet;

std::string BasicAuthorization(std::string_view username, std::string_view password) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string plain(username);
    plain.append(":").append(password);
    std::string out = "Basic ";
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, plain.size() - i);
        std::uint32_t bits = 0;
        for (std::size_t k = 0; k < 3; ++k)
            bits = (bits << 8) | (k < n ? static_cast<unsigned char>(plain[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(bits >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

bool OffersBasic(std::string_view challenge) {
    // Schemes are case-insensitive; several may share one value, separated by commas.
    for (std::size_t at = 0; at + 5 <= challenge.size(); ++at) {
        if (at != 0 && challenge[at - 1] != ' ' && challenge[at - 1] != ',') continue;
        std::string word(challenge.substr(at, 5));
        for (char& c : word)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool ends = at + 5 == challenge.size() || challenge[at + 5] == ' ';
        if (word == "basic" && ends) return true;
    }
    return false;
}

namespace {

// The caller's header lines as WinInet takes them, each ended by CR LF.
std::optional<std::string> HeaderBlock(std::string_view text) {
    const auto lines = HeaderLines(text);
    if (!lines) return std::nullopt;
    std::string block;
    for (const auto& line : *lines)
        block.append(line).append("\r\n");
    return block;
}

std::optional<std::uint64_t> Decimal(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool HasNoBody(int status) {
    return status / 100 == 1 || status == 204 || status == 304;
}

}  // namespace

WinInetRequest::WinInetRequest(std::shared_ptr<WinInetSessionState> session, HINTERNET handle,
                               std::string verb, Credentials login, bool answerAuth)
    : session_(std::move(session)),
      handle_(handle),
      verb_(std::move(verb)),
      login_(std::move(login)),
      answerAuth_(answerAuth) {
    SetTimeout(INTERNET_OPTION_CONNECT_TIMEOUT, 0, kDefaultConnectTimeoutMs, timeouts_.connectMs);
    SetTimeout(INTERNET_OPTION_SEND_TIMEOUT, 0, kDefaultSendTimeoutMs, timeouts_.sendMs);
    SetTimeout(INTERNET_OPTION_RECEIVE_TIMEOUT, 0, kDefaultReceiveTimeoutMs, timeouts_.receiveMs);
}

WinInetRequest::~WinInetRequest() {
    total_.Stop();
    session_->handles->Close(handle_);
}

bool WinInetRequest::SetTimeout(DWORD option, std::uint32_t value, std::uint32_t fallback,
                                std::uint32_t& kept) {
    DWORD ms = value != 0 ? value : fallback;
    if (!InternetSetOptionA(handle_, option, &ms, sizeof ms)) return false;
    kept = ms;
    return true;
}

bool WinInetRequest::SetOption(Option option, std::uint32_t value) {
    if (session_->Cancelled()) return false;
    switch (option) {
        case Option::ConnectTimeout:
            return SetTimeout(INTERNET_OPTION_CONNECT_TIMEOUT, value, kDefaultConnectTimeoutMs,
                              timeouts_.connectMs);
        case Option::SendTimeout:
            return SetTimeout(INTERNET_OPTION_SEND_TIMEOUT, value, kDefaultSendTimeoutMs,
                              timeouts_.sendMs);
        case Option::ReceiveTimeout:
            return SetTimeout(INTERNET_OPTION_RECEIVE_TIMEOUT, value, kDefaultReceiveTimeoutMs,
                              timeouts_.receiveMs);
        case Option::SecurityFlags: {
            DWORD flags = value;
            return InternetSetOptionA(handle_, INTERNET_OPTION_SECURITY_FLAGS, &flags,
                                      sizeof flags) != FALSE;
        }
        case Option::TotalTimeout:
            total_.Stop();
            totalMs_ = value;
            totalExpired_ = false;
            if (value != 0) {
                // Closing the handle is what makes a blocked WinInet call give up.
                total_.Start(std::chrono::milliseconds(value), [this] {
                    totalExpired_ = true;
                    session_->handles->Close(handle_);
                    session_->Wake();
                });
            }
            return true;
        default:
            return false;
    }
}

bool WinInetRequest::SetOption(Option option, std::string_view text) {
    if (session_->Cancelled() || HasNul(text)) return false;
    switch (option) {
        case Option::Username:
            login_.username = text;
            return true;
        case Option::Password:
            login_.password = text;
            return true;
        case Option::ProxyUsername:
        case Option::ProxyPassword: {
            std::string value(text);
            return InternetSetOptionA(handle_, static_cast<DWORD>(option), value.data(),
                                      static_cast<DWORD>(value.size())) != FALSE;
        }
        default:
            return false;
    }
}

bool WinInetRequest::AddRequestHeaders(std::string_view headers, std::uint32_t modifiers) {
    if (session_->Cancelled()) return false;
    auto block = HeaderBlock(headers);
    if (!block) return false;
    if (block->empty()) return true;
    return HttpAddRequestHeadersA(handle_, block->c_str(), static_cast<DWORD>(block->size()),
                                  modifiers) != FALSE;
}

bool WinInetRequest::Send(std::string_view headers, std::span<const char> optional) {
    answered_ = failed_ = ended_ = false;
    ahead_.clear();
    aheadAt_ = 0;
    expected_.reset();
    received_ = 0;
    lastError_ = {};
    if (session_->Cancelled()) return Fail({Error::Cancelled});
    if (totalExpired_) return Fail({Error::TotalTimeout, totalMs_});
    if (connectExpired_) return Fail({Error::ConnectTimeout, timeouts_.connectMs});
    // Offline never sends: Wine's WinInet would go to the network (Windows' would answer from
    // its cache, which the other systems have not got).
    if ((session_->params.flags & kOpenFlagOffline) != 0) return Fail({Error::Disconnected});
    auto block = HeaderBlock(headers);
    if (!block || optional.size() > std::numeric_limits<DWORD>::max()) {
        return Fail({Error::CannotConnect});
    }
    // The call's own copies: a call left to end alone must not reach the caller's memory.
    auto call = std::make_shared<Call>();
    call->headers = std::move(*block);
    call->data.assign(optional.begin(), optional.end());
    if (challenged_ && !Authorize()) return Fail({Error::CannotConnect});
    if (!Exchange(call)) return false;
    if (answerAuth_ && !challenged_ && ChallengedForBasic()) {
        challenged_ = true;
        if (!login_.username.empty()) {
            if (!Authorize()) return Fail({Error::CannotConnect});
            if (!Exchange(call)) return false;
        }
    }
    answered_ = true;
    expected_ = ExpectedLength();
    return true;
}

bool WinInetRequest::Exchange(const std::shared_ptr<Call>& call) {
    session_->phase = Phase::Connecting;
    session_->redirects = 0;
    const HINTERNET handle = handle_;
    const auto started = std::chrono::steady_clock::now();
    // Wine's WinInet leaves a connect that is never answered to the system's own limit (minutes).
    const auto connectBy =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeouts_.connectMs);
    const bool finished = session_->Run(
        [call, handle] {
            // WinInet only reads the optional bytes; its signature is older than const.
            call->ok =
                HttpSendRequestA(handle, call->headers.empty() ? nullptr : call->headers.c_str(),
                                 static_cast<DWORD>(call->headers.size()),
                                 call->data.empty() ? nullptr : call->data.data(),
                                 static_cast<DWORD>(call->data.size()));
            call->error = call->ok ? 0 : GetLastError();
        },
        [this, connectBy] {
            if (session_->phase == Phase::Connecting &&
                std::chrono::steady_clock::now() >= connectBy) {
                connectExpired_ = true;
            }
            return Stopped();
        },
        connectBy);
    if (!finished) {
        // Past a limit, the handle goes with the call it was left to: nothing may use it again.
        if (session_->redirects > kMaxRedirects || connectExpired_)
            session_->handles->Close(handle_);
        return Fail(CallError(ERROR_INTERNET_OPERATION_CANCELLED));
    }
    if (!call->ok) return Fail(TimedCallError(call->error, started));
    // Wine's WinInet takes a closed connection without a byte for an answer of status 0.
    const auto status = Query(HTTP_QUERY_STATUS_CODE);
    if (!status || std::atoi(status->c_str()) <= 0) return Fail({Error::NoAnswer});
    // ...and bytes without a status line for an HTTP/0.9 answer, which it gives a header block
    // of its own without a single header: a real answer without any is taken for one too.
    const auto raw = Query(HTTP_QUERY_RAW_HEADERS_CRLF);
    if (raw && raw->find(':') == std::string::npos) return Fail({Error::InvalidServerResponse});
    if (RawHeaderBytes() > kMaxHeaderBlock) return Fail({Error::HeadersTooLarge});
    // WinInet takes a length it cannot read (a negative one) for none.
    if (const auto length = Query(HTTP_QUERY_CONTENT_LENGTH); length && !Decimal(*length))
        return Fail({Error::InvalidServerResponse});
    return true;
}

bool WinInetRequest::Authorize() {
    const std::string value = !answerAuth_ || login_.username.empty()
                                  ? std::string{}
                                  : BasicAuthorization(login_.username, login_.password);
    if (value == authorization_) return true;
    // An empty value takes the header off.
    const std::string line = "Authorization: " + value + "\r\n";
    if (!HttpAddRequestHeadersA(handle_, line.c_str(), static_cast<DWORD>(line.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE) &&
        !value.empty()) {
        return false;
    }
    authorization_ = value;
    return true;
}

bool WinInetRequest::ChallengedForBasic() {
    if (Query(HTTP_QUERY_STATUS_CODE) != "401") return false;
    std::array<char, kQueryBufferSize> buffer{};
    for (DWORD index = 0;;) {
        DWORD length = buffer.size();
        if (!HttpQueryInfoA(handle_, HTTP_QUERY_WWW_AUTHENTICATE, buffer.data(), &length, &index))
            return false;
        if (OffersBasic(
                std::string_view(buffer.data(), std::min<std::size_t>(length, buffer.size()))))
            return true;
    }
}

std::size_t WinInetRequest::RawHeaderBytes() const {
    DWORD length = 0;
    DWORD index = 0;
    if (HttpQueryInfoA(handle_, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, &index)) return 0;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? length : 0;
}

bool WinInetRequest::Read(std::span<char> buffer, std::size_t& count) {
    count = 0;
    if (session_->Cancelled()) return Fail({Error::Cancelled});
    if (!answered_ || failed_) return false;
    if (ended_ || buffer.empty()) return true;
    if (totalExpired_) return Fail({Error::TotalTimeout, totalMs_});
    if (aheadAt_ == ahead_.size() && !Fill()) return false;
    count = std::min(buffer.size(), ahead_.size() - aheadAt_);
    std::memcpy(buffer.data(), ahead_.data() + aheadAt_, count);
    aheadAt_ += count;
    return true;
}

// Takes what has arrived into ahead_, waiting only until something has: a synchronous
// InternetReadFile waits until the whole buffer is filled. Both calls run as one, as each handed
// to the worker costs milliseconds under Wine.
bool WinInetRequest::Fill() {
    ahead_.clear();
    aheadAt_ = 0;
    session_->phase = Phase::Receiving;
    auto call = std::make_shared<Call>();
    const HINTERNET handle = handle_;
    const auto started = std::chrono::steady_clock::now();
    const bool finished = session_->Run(
        [call, handle] {
            DWORD available = 0;
            call->ok = InternetQueryDataAvailable(handle, &available, 0, 0);
            if (call->ok && available > 0) {
                call->data.resize(std::min<std::size_t>(available, kMaxReadBytes));
                call->ok = InternetReadFile(handle, call->data.data(),
                                            static_cast<DWORD>(call->data.size()), &call->got);
            }
            call->error = call->ok ? 0 : GetLastError();
        },
        [this] { return Stopped(); });
    if (!finished) return Fail(CallError(ERROR_INTERNET_OPERATION_CANCELLED));
    if (!call->ok) return Fail(TimedCallError(call->error, started));
    if (session_->Cancelled()) return Fail({Error::Cancelled});
    const DWORD got = std::min<DWORD>(call->got, static_cast<DWORD>(call->data.size()));
    received_ += got;
    if (got == 0) {
        // WinInet ends a body that the connection cut short as if it were complete.
        if (expected_ && received_ < *expected_)
            return Fail(TimedCallError(ERROR_INTERNET_CONNECTION_ABORTED, started));
        ended_ = true;
        total_.Stop();
        return true;
    }
    call->data.resize(got);
    ahead_ = std::move(call->data);
    return true;
}

bool WinInetRequest::Stopped() const {
    return session_->Cancelled() || totalExpired_ || connectExpired_ ||
           session_->redirects > kMaxRedirects;
}

std::optional<std::string> WinInetRequest::QueryInfo(inet::Query query) {
    if (session_->Cancelled() || !answered_ || totalExpired_) return std::nullopt;
    return Query(static_cast<DWORD>(query));
}

std::optional<std::string> WinInetRequest::Query(DWORD level) {
    std::array<char, kQueryBufferSize> buffer{};
    DWORD length = buffer.size();
    DWORD index = 0;
    if (!HttpQueryInfoA(handle_, level, buffer.data(), &length, &index)) return std::nullopt;
    std::string value(buffer.data(), std::min<std::size_t>(length, buffer.size()));
    value.resize(std::strlen(value.c_str()));  // the text up to its first zero byte
    return value;
}

// The body length the answer announces, when its end is to be checked against it.
std::optional<std::uint64_t> WinInetRequest::ExpectedLength() {
    if (verb_ == "HEAD" || Query(HTTP_QUERY_TRANSFER_ENCODING)) return std::nullopt;
    const auto status = Query(HTTP_QUERY_STATUS_CODE);
    if (!status || HasNoBody(std::atoi(status->c_str()))) return std::nullopt;
    const auto length = Query(HTTP_QUERY_CONTENT_LENGTH);
    return length ? Decimal(*length) : std::nullopt;
}

InternetError WinInetRequest::CallError(DWORD code) const {
    if (session_->Cancelled()) return {Error::Cancelled};
    if (totalExpired_) return {Error::TotalTimeout, totalMs_};
    if (session_->redirects > kMaxRedirects) return {Error::TooManyRedirects};
    if (connectExpired_) return {Error::ConnectTimeout, timeouts_.connectMs};
    return ErrorFromWinInet(code, session_->phase, timeouts_);
}

// Wine's WinInet ends a receive that met silence past its limit as a lost connection, or as the
// end of the body.
InternetError WinInetRequest::TimedCallError(DWORD code,
                                             std::chrono::steady_clock::time_point started) const {
    const auto waited = std::chrono::steady_clock::now() - started;
    if (session_->phase == Phase::Receiving &&
        waited >= std::chrono::milliseconds(timeouts_.receiveMs)) {
        code = ERROR_INTERNET_TIMEOUT;
    }
    return CallError(code);
}

bool WinInetRequest::Fail(InternetError why) {
    failed_ = true;
    lastError_ = why;
    return false;
}

}  // namespace pw::platform::win32
