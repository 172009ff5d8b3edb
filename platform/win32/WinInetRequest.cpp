#include "platform/win32/WinInetRequest.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/win32/WinInetInternet.h"

namespace pw::platform::win32 {

using namespace pw::platform::inet;

bool HasNul(std::string_view s) {
    return s.find('\0') != std::string_view::npos;
}

bool IsHeaderText(std::string_view s) {
    return std::none_of(s.begin(), s.end(),
                        [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; });
}

bool IsToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return c > 0x20 && c < 0x7F && std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
    });
}

std::string RequestTarget(std::string_view object) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (object.empty() || object.front() != '/') out += '/';
    for (unsigned char c : object) {
        if (c <= 0x20 || c >= 0x7F || c == '#') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

namespace {

// CR LF (or LF) separated "Name: value" lines, each ended by CR LF; nullopt when one is not a
// header line. WinInet would drop such a line without a word.
std::optional<std::string> HeaderBlock(std::string_view text) {
    std::string block;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)) ||
            !IsHeaderText(line)) {
            return std::nullopt;
        }
        block.append(line).append("\r\n");
    }
    return block;
}

bool HasNoBody(int status) {
    return status / 100 == 1 || status == 204 || status == 304;
}

}  // namespace

WinInetRequest::WinInetRequest(std::shared_ptr<WinInetSessionState> session, HINTERNET handle,
                               std::string verb, std::string url)
    : session_(std::move(session)), handle_(handle), verb_(std::move(verb)), url_(std::move(url)) {
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
        case Option::Password:
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
    expected_.reset();
    received_ = 0;
    lastError_ = {};
    if (session_->Cancelled()) return Fail({Error::Cancelled});
    if (totalExpired_) return Fail({Error::TotalTimeout, totalMs_});
    // Offline, WinInet may answer from its cache only; Wine's would go to the network.
    if ((session_->params.flags & kOpenFlagOffline) != 0 && !Cached()) {
        return Fail({Error::Disconnected});
    }
    auto block = HeaderBlock(headers);
    if (!block || optional.size() > std::numeric_limits<DWORD>::max()) {
        return Fail({Error::CannotConnect});
    }
    // The call's own copies: a call left to end alone must not reach the caller's memory.
    auto call = std::make_shared<Call>();
    call->headers = std::move(*block);
    call->data.assign(optional.begin(), optional.end());
    session_->phase = Phase::Connecting;
    session_->redirects = 0;
    const HINTERNET handle = handle_;
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
        [this] { return Stopped(); });
    if (!finished) {
        // Past the redirect limit: WinInet's last answer is lost with the call.
        if (session_->redirects > kMaxRedirects) session_->handles->Close(handle_);
        return Fail(CallError(ERROR_INTERNET_OPERATION_CANCELLED));
    }
    if (!call->ok) return Fail(CallError(call->error));
    // Wine's WinInet takes a closed connection without a byte for an answer of status 0.
    const auto status = Query(HTTP_QUERY_STATUS_CODE);
    if (!status || std::atoi(status->c_str()) <= 0) return Fail({Error::NoAnswer});
    if (RawHeaderBytes() > kMaxHeaderBlock) return Fail({Error::HeadersTooLarge});
    answered_ = true;
    expected_ = ExpectedLength();
    return true;
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
    if (ended_) return true;
    if (totalExpired_) return Fail({Error::TotalTimeout, totalMs_});
    session_->phase = Phase::Receiving;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), kMaxReadBytes));
    auto call = std::make_shared<Call>();
    call->data.resize(want);
    const HINTERNET handle = handle_;
    const bool finished = session_->Run(
        [call, handle, want] {
            call->ok = InternetReadFile(handle, call->data.data(), want, &call->got);
            call->error = call->ok ? 0 : GetLastError();
        },
        [this] { return Stopped(); });
    if (!finished) return Fail(CallError(ERROR_INTERNET_OPERATION_CANCELLED));
    if (!call->ok) return Fail(CallError(call->error));
    if (session_->Cancelled()) return Fail({Error::Cancelled});
    const DWORD got = std::min(call->got, want);
    std::memcpy(buffer.data(), call->data.data(), got);
    count = got;
    received_ += got;
    if (got == 0 && want > 0) {
        // WinInet ends a body that the connection cut short as if it were complete.
        if (expected_ && received_ < *expected_) return Fail({Error::ConnectionAborted});
        ended_ = true;
        total_.Stop();
    }
    return true;
}

bool WinInetRequest::Stopped() const {
    return session_->Cancelled() || totalExpired_ || session_->redirects > kMaxRedirects;
}

bool WinInetRequest::Cached() const {
    DWORD size = 0;
    return GetUrlCacheEntryInfoA(url_.c_str(), nullptr, &size) ||
           GetLastError() == ERROR_INSUFFICIENT_BUFFER;
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
    std::uint64_t value = 0;
    if (!length || length->empty()) return std::nullopt;
    const auto [end, error] =
        std::from_chars(length->data(), length->data() + length->size(), value);
    if (error != std::errc() || end != length->data() + length->size()) return std::nullopt;
    return value;
}

InternetError WinInetRequest::CallError(DWORD code) const {
    if (session_->Cancelled()) return {Error::Cancelled};
    if (totalExpired_) return {Error::TotalTimeout, totalMs_};
    if (session_->redirects > kMaxRedirects) return {Error::TooManyRedirects};
    return ErrorFromWinInet(code, session_->phase, timeouts_);
}

bool WinInetRequest::Fail(InternetError why) {
    failed_ = true;
    lastError_ = why;
    return false;
}

}  // namespace pw::platform::win32
