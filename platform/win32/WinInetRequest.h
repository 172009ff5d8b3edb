#pragma once
// One request of the WinInet layer: an HttpOpenRequest handle, its sends and the body reads
// after them. WinInet follows redirects, answers authentication and keeps cookies itself; this
// adds what the interface promises beyond it: a body that ends short of its length is a
// failure, the overall time limit, and time-outs told apart by what the request was doing.
//
// Authentication is this layer's: WinInet keeps every login it answered a challenge with for
// the host, for the whole process, and sends it again where the caller gave none. So WinInet's
// own is off, and a Basic challenge is answered here with the login given, within the Send.
//
// What Wine's WinInet (8.0) does with a broken answer, seen against scripted servers:
// - fewer bytes than Content-Length, then the close: the read ends normally; the count here
//   makes it ConnectionAborted;
// - a chunked body cut mid-chunk or without its last chunk: the read ends normally, and no call
//   tells it apart from a complete body, so under Wine such a body passes as complete;
// - no status line (an HTTP/0.9 "answer"): "HTTP/1.0 200 OK" without headers, the bytes as the
//   body (made InvalidServerResponse here);
// - a close without a byte: status 0 (made NoAnswer here); a 4 MiB header block: taken whole,
//   slowly (made HeadersTooLarge here); silence past the receive time-out: 12030, not 12002
//   (made Timeout here when the call waited that long).
//
// Threads: used by the session's thread; its blocking calls run as WinInetSession.h says; its
// time limit closes the handle from a timer thread.

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Internet.h"
#include "platform/win32/DeadlineTimer.h"
#include "platform/win32/WinInetSession.h"

namespace pw::platform::win32 {

using inet::HasNul;
using inet::IsHeaderText;
using inet::IsToken;
// Encoded before WinInet sees it, which would send 8-bit bytes as UTF-8 and keep controls.
using inet::RequestTarget;
// The value of an Authorization header for a Basic login: "Basic " and base64 of user:password.
std::string BasicAuthorization(std::string_view username, std::string_view password);
// Whether a WWW-Authenticate value offers the Basic scheme.
bool OffersBasic(std::string_view challenge);

struct Credentials {
    std::string username;
    std::string password;
};

// Body bytes taken from WinInet at once at most.
inline constexpr std::size_t kMaxReadBytes = 1024 * 1024;

class WinInetRequest final : public IInternetRequest {
  public:
    // Takes over handle, which session->handles already holds. login: what answers a challenge
    // until SetOption changes it; none is answered without answerAuth (kFlagNoAuth).
    WinInetRequest(std::shared_ptr<WinInetSessionState> session, HINTERNET handle, std::string verb,
                   Credentials login, bool answerAuth);
    ~WinInetRequest() override;
    WinInetRequest(const WinInetRequest&) = delete;
    WinInetRequest& operator=(const WinInetRequest&) = delete;

    bool SetOption(inet::Option option, std::uint32_t value) override;
    bool SetOption(inet::Option option, std::string_view text) override;
    bool AddRequestHeaders(std::string_view headers, std::uint32_t modifiers) override;
    bool Send(std::string_view headers, std::span<const char> optional) override;
    std::optional<std::string> QueryInfo(inet::Query query) override;
    bool Read(std::span<char> buffer, std::size_t& count) override;
    InternetError LastError() const override { return lastError_; }

  private:
    // What one blocking call works on: its own, as it may outlive the request.
    struct Call {
        std::string headers;
        std::vector<char> data;
        BOOL ok = FALSE;
        DWORD got = 0;
        DWORD error = 0;
    };

    bool Stopped() const;
    // One round trip of a Send: false (and the failure kept) when no answer came.
    bool Exchange(const std::shared_ptr<Call>& call);
    // Puts the Authorization header for the current login on the request, or takes it off.
    bool Authorize();
    bool ChallengedForBasic();
    bool Fill();
    std::size_t RawHeaderBytes() const;
    bool SetTimeout(DWORD option, std::uint32_t value, std::uint32_t fallback, std::uint32_t& kept);
    std::optional<std::string> Query(DWORD level);
    std::optional<std::uint64_t> ExpectedLength();
    // Why the WinInet call that just failed did, the stop and the time limit first.
    InternetError CallError(DWORD code) const;
    // The same for a call that started at started: silence is told from a lost connection.
    InternetError TimedCallError(DWORD code, std::chrono::steady_clock::time_point started) const;
    bool Fail(InternetError why);

    std::shared_ptr<WinInetSessionState> session_;
    HINTERNET handle_;
    std::string verb_;
    Credentials login_;
    const bool answerAuth_;
    bool challenged_ = false;    // a Basic challenge came: later sends carry the login at once
    std::string authorization_;  // the Authorization value on the request, empty for none
    Timeouts timeouts_;
    std::uint32_t totalMs_ = 0;
    std::atomic<bool> totalExpired_{false};
    bool connectExpired_ = false;
    DeadlineTimer total_;

    // One exchange: a Send and the reads after it.
    bool answered_ = false;
    bool failed_ = false;
    bool ended_ = false;
    std::optional<std::uint64_t> expected_;
    std::uint64_t received_ = 0;
    std::vector<char> ahead_;  // body bytes WinInet gave that the caller has not taken yet
    std::size_t aheadAt_ = 0;
    InternetError lastError_;
};

}  // namespace pw::platform::win32
