// The transfer engine: the steps one worker run takes for a Fetch.
//
// Threads: everything here runs on the worker, except the bodies handed to Deliver, which run on
// the UI thread while the worker waits.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "http/kxHTTP.h"
#include "http/kxHTTPReasons.h"
#include "http/kxHTTPTransfer.h"

namespace pw::http {

namespace {

using platform::inet::Option;
using platform::inet::Query;

// The file a file URL's path names. On Windows "file:///C:/dir/x.htm" has the path
// "/C:/dir/x.htm", whose file is "C:\dir\x.htm".
std::string LocalFilePath(std::string path) {
#ifdef _WIN32
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 3 && path[0] == '/' && letter(path[1]) && path[2] == ':') path.erase(0, 1);
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

// The request flags, summed from the options. The cache flags are passed on as given; the
// internet layer decides what they mean on the platform.
struct CacheFlag {
    TkxCacheOption option;
    std::uint32_t flag;
};
constexpr CacheFlag kCacheFlags[] = {
    {coAlwaysReload, platform::inet::kFlagReload},
    {coReloadIfNoExpireInformation, platform::inet::kFlagHyperlink},
    {coReloadUpdatedObjects, platform::inet::kFlagResynchronize},
    {coPragmaNoCache, platform::inet::kFlagPragmaNoCache},
    {coNoCacheWrite, platform::inet::kFlagNoCacheWrite},
    {coUseCacheIfNetFail, platform::inet::kFlagCacheIfNetFail},
};
struct InternetFlag {
    TkxInternetOption option;
    std::uint32_t flag;
};
constexpr InternetFlag kInternetFlags[] = {
    {ioIgnoreCertificateInvalid, platform::inet::kFlagIgnoreCertCnInvalid},
    {ioIgnoreCertificateDateInvalid, platform::inet::kFlagIgnoreCertDateInvalid},
    {ioIgnoreRedirectToHTTP, platform::inet::kFlagIgnoreRedirectToHttp},
    {ioIgnoreRedirectToHTTPS, platform::inet::kFlagIgnoreRedirectToHttps},
    {ioKeepConnection, platform::inet::kFlagKeepConnection},
    {ioNoAuthentication, platform::inet::kFlagNoAuth},
    {ioNoAutoRedirect, platform::inet::kFlagNoAutoRedirect},
    {ioNoCookies, platform::inet::kFlagNoCookies},
};

}  // namespace

std::uint32_t RequestFlags(bool secure, TkxCacheOptions cache, TkxInternetOptions internet) {
    std::uint32_t flags = 0;
    if (secure)
        flags |= platform::inet::kFlagSecure;
    else if (cache.Contains(coCreateTempFilesIfCantCache))
        flags |= platform::inet::kFlagNeedFile;
    for (const auto& [option, flag] : kCacheFlags)
        if (cache.Contains(option)) flags |= flag;
    for (const auto& [option, flag] : kInternetFlags)
        if (internet.Contains(option)) flags |= flag;
    return flags;
}

namespace {

std::int64_t ToInt64Def(std::string_view text, std::int64_t fallback) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() ? value : fallback;
}

// The realm of a WWW-Authenticate value: after the first `="`, without the text's last character.
std::string RealmOf(const std::string& text) {
    const std::size_t pair = text.find("=\"");
    if (pair == std::string::npos) return text;
    const std::size_t from = pair + 2;
    if (text.size() <= from) return {};
    return text.substr(from, text.size() - 1 - from);
}

}  // namespace

using Outcome = TkxHTTPOutcome;

namespace {

// The failure the completion step reports for a response status: a 200 or 206 whose body did
// not arrive whole is a lost connection, no status at all is an unreachable host.
Outcome FailureFor(std::int32_t status) {
    if (status == 200 || status == 206) return Outcome::ConnLost;
    return status == -1 ? Outcome::HostUnreachable : Outcome::HttpError;
}

// The request's last error; the total limit is named as the component has it, not as what was
// left of it when the request was opened.
platform::InternetError LastErrorOf(const platform::IInternetRequest& request,
                                    const TkxHTTPTimeouts& limits) {
    platform::InternetError error = request.LastError();
    if (error.code == platform::inet::Error::TotalTimeout) error.timeoutMs = limits.TotalTimeout;
    return error;
}

}  // namespace

void TkxCustomHTTP::Deliver(TkxEventThread& run, const std::function<void()>& fn) {
    run.Synchronize([this, &fn] {
        const DeliveryScope scope(*this);
        fn();
    });
}

bool TkxCustomHTTP::Stopped(TkxEventThread& run, const Transfer& t) const {
    return run.Terminated() || t.abortRequested || t.cancel->Cancelled();
}

void TkxCustomHTTP::RunTransfer(TkxEventThread& run, const std::shared_ptr<Transfer>& tp) {
    Transfer& t = *tp;
    try {
        t.result = Perform(run, t);
    } catch (const std::exception& e) {
        // Whatever the run had reached, it has not succeeded (a disk that filled up while the
        // output file was written, a stream that could not grow).
        t.result = {FailureFor(t.statusCode), std::string("transfer failed: ") + e.what()};
        throw;
    } catch (...) {
        t.result = {FailureFor(t.statusCode), "transfer failed"};
        throw;
    }
    if (t.result.outcome == Outcome::Aborted) AbortCleanupOnWorker(run, t);
}

TkxCustomHTTP::Result TkxCustomHTTP::Perform(TkxEventThread& run, Transfer& t) {
    t.statusCode = -1;
    t.contentType.clear();
    t.start = ui_.Clock().Now();
    t.continueFlag = true;

    TkxUrlParts parts;
    const bool split = CrackUrl(t.props.URL, parts);
    if (parts.UserName.empty()) parts.UserName = t.login.Username;
    if (parts.Password.empty()) parts.Password = t.login.Password;
    if (Stopped(run, t)) return {Outcome::Aborted, "aborted"};
    if (!split) return {Outcome::HostUnreachable, "malformed URL"};
    if (parts.Scheme == "file") return ReadLocalFile(run, t, parts);

    const bool post = t.props.RequestMethod == rmPOST ||
                      (t.props.RequestMethod == rmAutoDetect && !t.props.POSTData.empty());
    if (Step end = OpenRequest(run, t, parts, post)) return *end;
    if (Step end = SendRequest(run, t, post)) return *end;
    if (Step end = QueryHeaders(run, t)) return *end;
    if (Stopped(run, t)) return {Outcome::Aborted, "aborted"};
    if (!OpenStream(t)) return {Outcome::OutputFileError, "cannot create the output file"};
    return ReadBody(run, t);
}

// The root, connection and request handles, the request's options and its extra headers.
TkxCustomHTTP::Step TkxCustomHTTP::OpenRequest(TkxEventThread& run, Transfer& t, TkxUrlParts& parts,
                                               bool post) {
    const Result unreachable{Outcome::HostUnreachable, "host unreachable"};
    const Result aborted{Outcome::Aborted, "aborted"};
    const TkxHTTPProperties& p = t.props;

    platform::InternetOpenParams open;
    open.agent = p.Agent;
    switch (p.Proxy.AccessType) {
        case atPreconfig:
            open.accessType = platform::inet::AccessType::Preconfig;
            break;
        case atDirect:
            open.accessType = platform::inet::AccessType::Direct;
            break;
        case atUseProxy:
            open.accessType = platform::inet::AccessType::Proxy;
            open.proxy = p.Proxy.ProxyServer + ":" + std::to_string(p.Proxy.ProxyPort);
            if (!p.Proxy.ProxyBypass.empty()) open.bypass = p.Proxy.ProxyBypass;
            break;
    }
    open.flags = p.WorkOffline ? platform::inet::kOpenFlagOffline : 0;
    t.root = internet_.Open(open, t.cancel);
    if (!t.root) return unreachable;
    t.root->SetStatusCallback([this, &run, &t](std::uint32_t status, std::string_view info) {
        if (run.Abandoned() || Destroying()) return;
        if (t.onStatusText) t.onStatusText(*this, status, std::string(StatusText(status)));
        if (status == platform::inet::kStatusRedirect && t.onRedirected)
            t.onRedirected(*this, std::string(info));
    });

    if (Stopped(run, t)) return aborted;
    t.connection = t.root->Connect(parts.HostName, parts.Port, parts.UserName, parts.Password);
    if (!t.connection) return unreachable;

    if (Stopped(run, t)) return aborted;
    std::string object = parts.UrlPath + EncodeUrlExtra(parts.ExtraInfo);
    // An empty object is the root, as the platform's own request opening takes it.
    if (object.empty() || object.front() != '/') object.insert(0, 1, '/');
    t.request = t.connection->OpenRequest(
        post ? "POST" : "GET", object, p.Referer, p.AcceptTypes,
        RequestFlags(parts.Scheme == "https", p.CacheOptions, p.InternetOptions));
    if (!t.request) return unreachable;

    if (Stopped(run, t)) return aborted;
    using platform::inet::Option;
    const TkxHTTPTimeouts& limits = p.Timeouts;
    if (limits.ConnectTimeout != 0)
        t.request->SetOption(Option::ConnectTimeout, limits.ConnectTimeout);
    if (limits.ReceiveTimeout != 0)
        t.request->SetOption(Option::ReceiveTimeout, limits.ReceiveTimeout);
    if (limits.SendTimeout != 0) t.request->SetOption(Option::SendTimeout, limits.SendTimeout);
    if (limits.TotalTimeout != 0) {
        // Counted from the start of the transfer, not from here.
        const auto spent =
            static_cast<std::uint64_t>(std::max<framework::Millis>(0, ui_.Clock().Now() - t.start));
        const std::uint64_t left = limits.TotalTimeout > spent ? limits.TotalTimeout - spent : 1;
        t.request->SetOption(Option::TotalTimeout, static_cast<std::uint32_t>(left));
    }
    if (p.InternetOptions.Contains(ioIgnoreUnknownCertificateAuthority))
        t.request->SetOption(Option::SecurityFlags, platform::inet::kSecurityFlagIgnoreUnknownCa);
    if (p.Proxy.AccessType != atDirect && !p.Proxy.ProxyUsername.empty() &&
        !p.Proxy.ProxyPassword.empty()) {
        t.request->SetOption(Option::ProxyUsername, p.Proxy.ProxyUsername);
        t.request->SetOption(Option::ProxyPassword, p.Proxy.ProxyPassword);
    }

    if (p.ShowGoOnlineMessage) {
        const auto state = internet_.ConnectedState();
        if (state && (*state & platform::inet::kStateDisconnectedByUser) != 0)
            internet_.GoOnline(p.URL);
    }

    if (t.onBeforeSendRequest && !run.Abandoned() && !Destroying())
        t.onBeforeSendRequest(*this, *t.request);

    std::string headers = t.addHeadersText;
    if (p.Range.StartRange != 0 || p.Range.EndRange != 0) {
        headers += "RANGE: bytes=" + std::to_string(p.Range.StartRange) + "-";
        if (p.Range.EndRange != 0) headers += std::to_string(p.Range.EndRange);
        headers += "\r\n";
    }
    if (!headers.empty() &&
        !t.request->AddRequestHeaders(headers, platform::inet::kAddReqFlagAdd)) {
        return Result{Outcome::HostUnreachable, "invalid request headers"};
    }
    return std::nullopt;
}

// Sends the request, again for as long as an authentication handler asks to try again.
TkxCustomHTTP::Step TkxCustomHTTP::SendRequest(TkxEventThread& run, Transfer& t, bool post) {
    using platform::inet::Option;
    using platform::inet::Query;
    const Result aborted{Outcome::Aborted, "aborted"};
    do {
        if (Stopped(run, t)) return aborted;
        t.tryAgain = false;
        static constexpr std::string_view kFormHeader =
            "Content-Type: application/x-www-form-urlencoded";
        const bool sent = post ? t.request->Send(kFormHeader, t.props.POSTData)
                               : t.request->Send({}, std::span<const char>{});
        if (Stopped(run, t)) return aborted;
        if (!sent) {
            t.stream.reset();
            std::string reason = ReasonForError(LastErrorOf(*t.request, t.props.Timeouts));
            return Result{FailureFor(t.statusCode), reason.empty() ? "host unreachable" : reason};
        }
        if (const auto status = t.request->QueryInfo(Query::StatusCode))
            t.statusCode = StrToIntDef(*status, 0);

        if (t.statusCode == 401 && t.hasPasswordRequest) {
            // The challenge is kept apart from the content type, which a retried response
            // without a Content-Type would otherwise report as the challenge.
            const std::string realm =
                RealmOf(t.request->QueryInfo(Query::WwwAuthenticate).value_or(std::string{}));
            Deliver(run, [this, &t, &realm] {
                t.tryAgain = false;
                Raise(OnPasswordRequest, realm, t.tryAgain);
                t.login.Username = Username;
                t.login.Password = Password;
            });
            t.request->SetOption(Option::Username, t.login.Username);
            t.request->SetOption(Option::Password, t.login.Password);
        } else if (t.statusCode == 407 && t.hasProxyAuthentication) {
            TkxHTTPProxy& proxy = t.props.Proxy;
            Deliver(run, [this, &t, &proxy] {
                t.tryAgain = false;
                Raise(OnProxyAuthenticationRequest, Proxy.ProxyUsername, Proxy.ProxyPassword,
                      t.tryAgain);
                proxy.ProxyUsername = Proxy.ProxyUsername;
                proxy.ProxyPassword = Proxy.ProxyPassword;
            });
            t.request->SetOption(Option::ProxyUsername, proxy.ProxyUsername);
            t.request->SetOption(Option::ProxyPassword, proxy.ProxyPassword);
        }
    } while (t.tryAgain);
    return std::nullopt;
}

// The response's headers, and OnHeaderInfo, which may end the transfer before the body.
TkxCustomHTTP::Step TkxCustomHTTP::QueryHeaders(TkxEventThread& run, Transfer& t) {
    using platform::inet::Query;
    if (const auto type = t.request->QueryInfo(Query::ContentType)) t.contentType = *type;
    const auto length = t.request->QueryInfo(Query::ContentLength);
    t.contentLength = length ? std::max<std::int64_t>(0, ToInt64Def(*length, 0)) : 0;
    t.lengthAnnounced = length.has_value();
    if (!t.hasHeaderInfo) return std::nullopt;

    auto text = [&t](Query q) { return t.request->QueryInfo(q).value_or(std::string{}); };
    auto date = [&](Query q) { return HttpDateToDateTime(text(q), os_.system); };
    t.rawHeaders = text(Query::RawHeadersCrlf);
    t.contentLanguage = text(Query::ContentLanguage);
    t.contentEncoding = text(Query::ContentEncoding);
    t.location = text(Query::Location);
    t.eTag = text(Query::ETag);
    t.date = date(Query::Date);
    t.lastModified = date(Query::LastModified);
    t.expires = date(Query::Expires);
    // The handler writes the flag itself, so a cleared flag counts even when it throws next.
    Deliver(run, [this, &t] {
        Raise(OnHeaderInfo, t.statusCode.load(), t.rawHeaders, t.contentType, t.contentLanguage,
              t.contentEncoding, t.contentLength, t.location, t.date, t.lastModified, t.expires,
              t.eTag, t.continueFlag);
    });
    if (!t.continueFlag) return Result{Outcome::Interrupted, {}};
    return std::nullopt;
}

TkxCustomHTTP::Result TkxCustomHTTP::ReadLocalFile(TkxEventThread& run, Transfer& t,
                                                   const TkxUrlParts& parts) {
    try {
        t.localFile = std::make_unique<framework::TFileStream>(LocalFilePath(parts.UrlPath),
                                                               framework::FileMode::OpenRead);
        t.statusCode = 200;
        t.contentLength = t.localFile->Size();
        t.lengthAnnounced = true;
    } catch (const framework::EStreamError&) {
        t.statusCode = 404;
        t.contentLength = 0;
        t.lengthAnnounced = false;
    }
    if (Stopped(run, t)) return {Outcome::Aborted, "aborted"};
    if (!OpenStream(t)) return {Outcome::OutputFileError, "cannot create the output file"};
    return ReadBody(run, t);
}

// The output file for a 200 or 206, else a memory stream. False when the output file cannot be
// created and the response announced its length; without one, memory takes the body instead.
bool TkxCustomHTTP::OpenStream(Transfer& t) {
    const std::int32_t status = t.statusCode;
    const TkxHTTPProperties& p = t.props;
    if ((status == 200 || status == 206) && !p.OutputFileName.empty()) {
        try {
            t.stream = std::make_unique<TkxFileStream>(os_.files, p.OutputFileName, true, false);
            if (!(p.OutputFileAttributes.Incomplete == TkxFileAttributes{atrArchive}))
                SetFileAttributeSet(os_.files, p.OutputFileName, p.OutputFileAttributes.Incomplete);
            t.outputFileOpen = true;
            return true;
        } catch (const framework::EStreamError&) {
            if (t.lengthAnnounced) return false;
        }
    }
    auto memory = std::make_unique<framework::TMemoryStream>();
    if (t.lengthAnnounced && t.contentLength > 0)
        memory->SetSize(std::min({t.contentLength, kMaxPresize, p.MaxBodySize}));
    t.stream = std::move(memory);
    return true;
}

// The read loop, then the result: a body is whole when it ended without a failure and, with a
// length announced, has exactly that length.
TkxCustomHTTP::Result TkxCustomHTTP::ReadBody(TkxEventThread& run, Transfer& t) {
    t.buffer.assign(t.bufferSize, 0);
    t.bytesRead = 0;
    std::optional<platform::InternetError> failure;
    bool tooLarge = false;
    for (;;) {
        if (Stopped(run, t)) return {Outcome::Aborted, "aborted"};
        std::size_t count = 0;
        if (t.request) {
            if (!t.request->Read(t.buffer, count))
                failure = LastErrorOf(*t.request, t.props.Timeouts);
        } else if (t.localFile) {
            const auto n =
                t.localFile->Read(t.buffer.data(), static_cast<std::int64_t>(t.buffer.size()));
            if (n < 0) failure = platform::InternetError{platform::inet::Error::ConnectionAborted};
            count = n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        if (failure && Stopped(run, t)) return {Outcome::Aborted, "aborted"};
        if (failure || count == 0) break;
        if (t.bytesRead + static_cast<std::int64_t>(count) > t.props.MaxBodySize) {
            // The body is kept up to the limit, wherever the reads happen to end.
            const auto fits = static_cast<std::size_t>(t.props.MaxBodySize - t.bytesRead);
            t.bytesRead += static_cast<std::int64_t>(fits);
            t.stream->WriteBuffer(t.buffer.data(), static_cast<std::int64_t>(fits));
            tooLarge = true;
            break;
        }
        t.bytesRead += static_cast<std::int64_t>(count);
        t.stream->WriteBuffer(t.buffer.data(), static_cast<std::int64_t>(count));
        if (t.hasProgress) DeliverProgress(run, t);
    }
    t.buffer = {};

    const std::int32_t status = t.statusCode;
    if (tooLarge)
        return {FailureFor(status),
                "body larger than " + std::to_string(t.props.MaxBodySize) + " bytes"};
    if (status == -1) return {Outcome::HostUnreachable, "host unreachable"};
    if (status != 200 && status != 206) {
        // A redirect comes back as the answer only when it was not followed: say why.
        const std::string why =
            status / 100 == 3 && t.request ? ReasonForError(t.request->LastError()) : std::string{};
        return {Outcome::HttpError, why.empty() ? "HTTP " + std::to_string(status) : why};
    }
    using platform::inet::Error;
    if (failure && (failure->code == Error::Timeout || failure->code == Error::TotalTimeout ||
                    failure->code == Error::InvalidServerResponse))
        return {Outcome::ConnLost, ReasonForError(*failure)};
    const bool whole = t.contentLength == 0 || t.bytesRead == t.contentLength;
    if (failure || !whole)
        return {Outcome::ConnLost,
                ConnectionLostReason(t.bytesRead, t.contentLength, t.lengthAnnounced)};
    return {Outcome::Done, {}};
}

void TkxCustomHTTP::AbortCleanupOnWorker(TkxEventThread& run, Transfer& t) {
    t.CloseHandles();
    t.buffer = {};
    const bool fileWasOpen = t.outputFileOpen;
    t.stream.reset();
    const TkxHTTPProperties& p = t.props;
    if (fileWasOpen && t.deleteOnAbort && !t.deletedByUi) {
        std::error_code ec;
        std::filesystem::remove(p.OutputFileName, ec);
    } else if (fileWasOpen &&
               !(p.OutputFileAttributes.Incomplete == TkxFileAttributes{atrArchive})) {
        SetFileAttributeSet(os_.files, p.OutputFileName, p.OutputFileAttributes.Incomplete);
    }
    t.outputFileOpen = false;
    // A run stopped at once delivers nothing; the UI thread has cleaned up its side already.
    if (run.Abandoned()) return;
    Deliver(run, [this, &t] {
        if (IsCurrent(t)) {
            busy_ = false;
            active_ = false;
            current_.reset();
        }
        failureReason_ = t.result.reason;
        Raise(OnAborted);
    });
}

void TkxCustomHTTP::DeliverProgress(TkxEventThread& run, Transfer& t) {
    Deliver(run, [this, &t] {
        const std::int64_t elapsed = (ui_.Clock().Now() - t.start) / 1000;
        const std::uint8_t percent =
            PercentOf(static_cast<double>(t.bytesRead), static_cast<double>(t.contentLength));
        // Rounded half to even, the default rounding mode.
        const double total = static_cast<double>(t.contentLength) /
                             static_cast<double>(t.bytesRead) * static_cast<double>(elapsed);
        const std::int64_t timeLeft = static_cast<std::int64_t>(std::nearbyint(total)) - elapsed;
        float rate = static_cast<float>(t.bytesRead) / 1024.0f;
        if (elapsed != 0) rate /= static_cast<float>(elapsed);
        Raise(OnProgress, t.contentType, t.contentLength, t.bytesRead, elapsed, timeLeft, percent,
              rate, t.stream.get());
    });
}

}  // namespace pw::http
