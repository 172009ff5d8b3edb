#pragma once
// Internet services shaped like WinInet: a session (root handle), connections opened from it and
// requests opened from a connection, with pull-style body reads.
//
// Threads: a session and everything opened from it are used by one thread (the HTTP worker).
// InternetCancel may be set from any thread; it makes a blocked call of that session return
// false promptly.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pw::platform {

namespace inet {

// Access types of InternetOpen.
enum class AccessType : std::uint32_t { Preconfig = 0, Direct = 1, Proxy = 3 };

inline constexpr std::uint32_t kOpenFlagOffline = 0x01000000;

// Request flags of HttpOpenRequest (Windows values).
inline constexpr std::uint32_t kFlagReload = 0x80000000;
inline constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;
inline constexpr std::uint32_t kFlagSecure = 0x00800000;
inline constexpr std::uint32_t kFlagKeepConnection = 0x00400000;
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000;
inline constexpr std::uint32_t kFlagNoAuth = 0x00040000;
inline constexpr std::uint32_t kFlagCacheIfNetFail = 0x00010000;
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttp = 0x00008000;
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x00004000;
inline constexpr std::uint32_t kFlagIgnoreCertDateInvalid = 0x00002000;
inline constexpr std::uint32_t kFlagIgnoreCertCnInvalid = 0x00001000;
inline constexpr std::uint32_t kFlagResynchronize = 0x00000800;
inline constexpr std::uint32_t kFlagHyperlink = 0x00000400;
inline constexpr std::uint32_t kFlagPragmaNoCache = 0x00000100;
inline constexpr std::uint32_t kFlagNeedFile = 0x00000010;

// Options of InternetSetOption (Windows numbers).
enum class Option : std::uint32_t {
    ConnectTimeout = 2,
    SendTimeout = 5,
    ReceiveTimeout = 6,
    Username = 28,
    Password = 29,
    SecurityFlags = 31,
    ProxyUsername = 43,
    ProxyPassword = 44,
    // Ours, not WinInet's: a limit on the whole request, from the moment it is set until the
    // body has ended (0 = none). A Windows back end closes the request handle from a timer.
    TotalTimeout = 0x20000001,
};
inline constexpr std::uint32_t kSecurityFlagIgnoreUnknownCa = 0x100;

// Modifier of HttpAddRequestHeaders.
inline constexpr std::uint32_t kAddReqFlagAdd = 0x20000000;

// Info levels of HttpQueryInfo (Windows numbers).
enum class Query : std::uint32_t {
    ContentType = 1,
    ContentLength = 5,
    ContentLanguage = 6,
    Date = 9,
    Expires = 10,
    LastModified = 11,
    StatusCode = 19,
    RawHeadersCrlf = 22,
    ContentEncoding = 29,
    Location = 33,
    WwwAuthenticate = 40,
    ETag = 54,
};
// A header query answers as into a buffer of this many bytes: a longer value is a failure.
inline constexpr std::size_t kQueryBufferSize = 4096;

// Status notifications (Windows numbers) passed to the status callback.
enum Status : std::uint32_t {
    kStatusResolvingName = 10,
    kStatusNameResolved = 11,
    kStatusConnectingToServer = 20,
    kStatusConnectedToServer = 21,
    kStatusSendingRequest = 30,
    kStatusRequestSent = 31,
    kStatusReceivingResponse = 40,
    kStatusResponseReceived = 41,
    kStatusClosingConnection = 50,
    kStatusConnectionClosed = 51,
    kStatusHandleCreated = 60,
    kStatusHandleClosing = 70,
    kStatusRequestComplete = 100,
    kStatusRedirect = 110,
    kStatusStateChange = 200,
};

// Why the last call of a request failed. WinInet's error numbers where it has one; ours carry
// the application bit (0x20000000) that Windows leaves to programs.
enum class Error : std::uint32_t {
    None = 0,
    Timeout = 12002,  // silence past the receive time-out
    NameNotResolved = 12007,
    Cancelled = 12017,
    CannotConnect = 12029,
    ConnectionAborted = 12030,
    ConnectionReset = 12031,
    CertDateInvalid = 12037,
    CertCnInvalid = 12038,
    InvalidCa = 12045,
    CertErrors = 12055,
    InvalidServerResponse = 12152,
    RedirectFailed = 12156,  // a redirect that is not followed (another scheme, a bad address)
    SecureChannelError = 12157,
    Disconnected = 12163,  // working offline
    ConnectTimeout = 0x20000001,
    SendTimeout = 0x20000002,
    TotalTimeout = 0x20000003,
    HeadersTooLarge = 0x20000004,
    TooManyRedirects = 0x20000005,
    NoAnswer = 0x20000006,  // the server closed the connection without answering
};

// Connected-state bits of InternetQueryOption(INTERNET_OPTION_CONNECTED_STATE).
inline constexpr std::uint32_t kStateDisconnectedByUser = 0x10;

// Limits every back end keeps alike, so that a page fails the same way on each system.
// Redirects followed within one Send: past them the next 3xx is the answer with curl, while
// WinInet's Send fails, as it cannot be stopped inside a send.
inline constexpr int kMaxRedirects = 30;
// A longer response header block fails the transfer. Below libcurl's own limit (300 KiB in
// the builds that have one), so that it is always ours that speaks and the failure can be
// told apart from a broken connection.
inline constexpr std::size_t kMaxHeaderBlock = 256 * 1024;

// Checks every back end makes before any text from the caller reaches the system's library.
bool HasNul(std::string_view s);
// Text that may stand in a header or on the request line: no line breaks or other controls.
bool IsHeaderText(std::string_view s);
// An HTTP token, as a method or a header name must be.
bool IsToken(std::string_view s);
// The object as it goes on the request line. It is not encoded again: only the bytes that
// cannot stand on a request line at all (controls, space, 8-bit, "#") are percent-encoded.
std::string RequestTarget(std::string_view object);
// A caller's header block: CR LF (or LF) separated "Name: value" lines, empty ones skipped;
// nullopt when one is not a header line, which a system's library might drop without a word.
std::optional<std::vector<std::string>> HeaderLines(std::string_view text);

}  // namespace inet

// A stop request for one session, settable from any thread. Once set, every blocked or later call
// of the session fails promptly.
class InternetCancel {
  public:
    InternetCancel();
    InternetCancel(const InternetCancel&) = delete;
    InternetCancel& operator=(const InternetCancel&) = delete;
    ~InternetCancel();

    void Cancel();
    bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // The session registers how to wake its blocking point; the guard unregisters it. The waker
    // runs on the cancelling thread, under this object's lock.
    class WakerGuard;
    [[nodiscard]] std::unique_ptr<WakerGuard> AddWaker(std::function<void()> waker);

  private:
    friend class WakerGuard;
    std::atomic<bool> cancelled_{false};
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

class InternetCancel::WakerGuard {
  public:
    WakerGuard(std::shared_ptr<InternetCancel::Shared> shared, std::uint64_t id);
    WakerGuard(const WakerGuard&) = delete;
    WakerGuard& operator=(const WakerGuard&) = delete;
    ~WakerGuard();

  private:
    std::shared_ptr<InternetCancel::Shared> shared_;
    std::uint64_t id_;
};

// The status callback: the status number and its information (for a redirect, the new URL).
// Runs on the session's thread.
using InternetStatusCallback = std::function<void(std::uint32_t status, std::string_view info)>;

struct InternetError {
    inet::Error code = inet::Error::None;
    std::uint32_t timeoutMs = 0;  // for the time-outs: the limit in milliseconds
};

class IInternetRequest {
  public:
    virtual ~IInternetRequest() = default;

    // A numeric option (time-outs in milliseconds, security flags).
    virtual bool SetOption(inet::Option option, std::uint32_t value) = 0;
    // A text option (user names and passwords).
    virtual bool SetOption(inet::Option option, std::string_view text) = 0;
    // CR LF separated header lines, added to every send of this request.
    virtual bool AddRequestHeaders(std::string_view headers, std::uint32_t modifiers) = 0;
    // Sends the request (again, for a resend after an authentication answer) and receives the
    // final response's status line and headers. False when no response could be obtained.
    virtual bool Send(std::string_view headers, std::span<const char> optional) = 0;
    // A value of the last response: the raw header block for RawHeadersCrlf, the status code as
    // decimal text for StatusCode, else the named header. Nullopt when absent or too long.
    virtual std::optional<std::string> QueryInfo(inet::Query query) = 0;
    // Reads up to buffer.size() body bytes. False on failure; true with count 0 at the end of a
    // complete body. A body that ends early (a lost connection, a length or chunk that is not
    // fulfilled, silence) is a failure, never an end.
    virtual bool Read(std::span<char> buffer, std::size_t& count) = 0;
    // Why the last Send or Read failed, and for a time-out the limit that ran out.
    virtual InternetError LastError() const = 0;
};

class IInternetConnection {
  public:
    virtual ~IInternetConnection() = default;

    // object: path and query as they go on the request line. acceptTypes: one Accept entry.
    // Null when the request cannot be opened.
    virtual std::unique_ptr<IInternetRequest> OpenRequest(std::string_view verb,
                                                          std::string_view object,
                                                          std::string_view referer,
                                                          std::string_view acceptTypes,
                                                          std::uint32_t flags) = 0;
};

class IInternetSession {
  public:
    virtual ~IInternetSession() = default;

    // Installs the status callback for everything opened from this session.
    virtual void SetStatusCallback(InternetStatusCallback callback) = 0;
    // Null when the connection cannot be opened. The scheme decides between HTTP and HTTPS at
    // the request (kFlagSecure).
    virtual std::unique_ptr<IInternetConnection> Connect(std::string_view host, std::uint16_t port,
                                                         std::string_view username,
                                                         std::string_view password) = 0;
};

struct InternetOpenParams {
    std::string agent;
    inet::AccessType accessType = inet::AccessType::Preconfig;
    std::optional<std::string> proxy;  // "host:port", only for AccessType::Proxy
    // Hosts reached without the proxy, only for AccessType::Proxy: entries separated by ";" or
    // white space, "*" wildcards, "<local>" = every host name without a dot.
    std::optional<std::string> bypass;
    std::uint32_t flags = 0;
};

class IInternet {
  public:
    virtual ~IInternet() = default;

    // Opens a root handle. cancel (may be null) stops everything opened from it. Null on
    // failure.
    virtual std::unique_ptr<IInternetSession> Open(const InternetOpenParams& params,
                                                   std::shared_ptr<InternetCancel> cancel) = 0;
    // The connected-state bits, nullopt when they cannot be queried.
    virtual std::optional<std::uint32_t> ConnectedState() = 0;
    // Offers the user to go online; true when online afterwards.
    virtual bool GoOnline(std::string_view url) = 0;
};

}  // namespace pw::platform
