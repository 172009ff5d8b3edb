// The transfer engine: the steps one worker run takes for a Fetch.
//
// Threads: everything here runs on the worker, except the bodies handed to Deliver, which run on
// the UI thread while the worker waits.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "http/kxHTTP.h"
#include "http/kxHTTPTransfer.h"

namespace pw::http {

namespace {

using platform::inet::Option;
using platform::inet::Query;

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

void TkxCustomHTTP::Deliver(TkxEventThread& run, const std::function<void()>& fn) {
    run.Synchronize([this, &fn] {
        const DeliveryScope scope(*this);
        fn();
    });
}

bool TkxCustomHTTP::Check(TkxEventThread& run, Transfer& t) {
    if (!run.Terminated()) return true;
    AbortCleanupOnWorker(run, t);
    return false;
}

void TkxCustomHTTP::AbortCleanupOnWorker(TkxEventThread& run, Transfer& t) {
    t.aborted = true;
    t.CloseHandles();
    t.buffer = {};
    const bool fileWasOpen = t.outputFileOpen;
    t.stream.reset();
    if (fileWasOpen && t.deleteOnAbort && !t.deletedByUi) {
        std::error_code ec;
        std::filesystem::remove(t.outputFileName, ec);
    } else if (fileWasOpen &&
               !(t.outputFileAttributes.Incomplete == TkxFileAttributes{atrArchive})) {
        SetFileAttributeSet(os_.files, t.outputFileName, t.outputFileAttributes.Incomplete);
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
        failureReason_ = "aborted";
        if (OnAborted && !Destroying()) OnAborted(*this);
    });
}

void TkxCustomHTTP::RunTransfer(TkxEventThread& run, const std::shared_ptr<Transfer>& tp) {
    Transfer& t = *tp;
    try {
        // 1.
        t.statusCode = -1;
        t.contentType.clear();
        t.start = std::chrono::steady_clock::now();
        t.continueFlag = true;

        // 2.
        TkxUrlParts parts;
        if (!CrackUrl(t.url, parts)) t.malformedUrl = true;
        const std::string extra = EncodeUrlExtra(parts.ExtraInfo);
        if (parts.UserName.empty()) parts.UserName = t.username;
        if (parts.Password.empty()) parts.Password = t.password;
        if (!Check(run, t)) return;
        if (t.malformedUrl) return;

        // 3.
        if (parts.Scheme == "file") {
            ReadLocalFile(run, t);
            return;
        }

        // 4. Root handle.
        platform::InternetOpenParams open;
        open.agent = t.agent;
        switch (t.proxy.AccessType) {
            case atPreconfig:
                open.accessType = platform::inet::AccessType::Preconfig;
                break;
            case atDirect:
                open.accessType = platform::inet::AccessType::Direct;
                break;
            case atUseProxy:
                open.accessType = platform::inet::AccessType::Proxy;
                open.proxy = t.proxy.ProxyServer + ":" + std::to_string(t.proxy.ProxyPort);
                if (!t.proxy.ProxyBypass.empty()) open.bypass = t.proxy.ProxyBypass;
                break;
        }
        open.flags = t.workOffline ? platform::inet::kOpenFlagOffline : 0;
        t.root = internet_.Open(open, t.cancel);
        t.success = t.root != nullptr;
        if (!t.root) return;
        t.root->SetStatusCallback([this, &run, &t](std::uint32_t status, std::string_view info) {
            if (run.Abandoned() || Destroying()) return;
            if (t.onStatusText) t.onStatusText(*this, status, std::string(StatusText(status)));
            if (status == platform::inet::kStatusRedirect && t.onRedirected)
                t.onRedirected(*this, std::string(info));
        });

        // 5. Connection.
        if (!Check(run, t)) return;
        t.connection = t.root->Connect(parts.HostName, parts.Port, parts.UserName, parts.Password);
        t.success = t.connection != nullptr;
        if (!t.connection) return;

        // 6. Request.
        if (!Check(run, t)) return;
        const bool post =
            t.requestMethod == rmPOST || (t.requestMethod == rmAutoDetect && !t.postData.empty());
        std::string object = parts.UrlPath + extra;
        // An empty object is the root, as the platform's own request opening takes it.
        if (object.empty() || object.front() != '/') object.insert(0, 1, '/');
        t.request = t.connection->OpenRequest(
            post ? "POST" : "GET", object, t.referer, t.acceptTypes,
            RequestFlags(parts.Scheme == "https", t.cacheOptions, t.internetOptions));
        t.success = t.request != nullptr;
        if (!t.request) return;

        // 7. Request options.
        if (!Check(run, t)) return;
        if (t.timeouts.ConnectTimeout != 0)
            t.request->SetOption(Option::ConnectTimeout, t.timeouts.ConnectTimeout);
        if (t.timeouts.ReceiveTimeout != 0)
            t.request->SetOption(Option::ReceiveTimeout, t.timeouts.ReceiveTimeout);
        if (t.timeouts.SendTimeout != 0)
            t.request->SetOption(Option::SendTimeout, t.timeouts.SendTimeout);
        if (t.internetOptions.Contains(ioIgnoreUnknownCertificateAuthority))
            t.request->SetOption(Option::SecurityFlags,
                                 platform::inet::kSecurityFlagIgnoreUnknownCa);
        if (t.proxy.AccessType != atDirect && !t.proxy.ProxyUsername.empty() &&
            !t.proxy.ProxyPassword.empty()) {
            t.request->SetOption(Option::ProxyUsername, t.proxy.ProxyUsername);
            t.request->SetOption(Option::ProxyPassword, t.proxy.ProxyPassword);
        }

        // 8. Going online.
        if (t.showGoOnlineMessage) {
            const auto state = internet_.ConnectedState();
            if (state && (*state & platform::inet::kStateDisconnectedByUser) != 0)
                internet_.GoOnline(t.url);
        }

        // 9.
        if (t.onBeforeSendRequest && !run.Abandoned() && !Destroying())
            t.onBeforeSendRequest(*this, *t.request);

        // 10. Request headers.
        std::string headers = t.addHeadersText;
        if (t.range.StartRange != 0 || t.range.EndRange != 0) {
            headers += "RANGE: bytes=" + std::to_string(t.range.StartRange) + "-";
            if (t.range.EndRange != 0) headers += std::to_string(t.range.EndRange);
            headers += "\r\n";
        }
        if (!headers.empty() &&
            !t.request->AddRequestHeaders(headers, platform::inet::kAddReqFlagAdd)) {
            t.success = false;
            return;
        }

        // 11.–13. Send, status, authentication.
        for (;;) {
            if (!Check(run, t)) return;
            t.tryAgain = false;
            static constexpr std::string_view kFormHeader =
                "Content-Type: application/x-www-form-urlencoded";
            t.success = post ? t.request->Send(kFormHeader, t.postData)
                             : t.request->Send({}, std::span<const char>{});
            if (!t.success) {
                if (!Check(run, t)) return;
                t.stream.reset();
                return;
            }
            if (!Check(run, t)) return;
            const auto status = t.request->QueryInfo(Query::StatusCode);
            t.success = status.has_value();
            if (status) t.statusCode = StrToIntDef(*status, 0);

            if (t.statusCode == 401 && t.hasPasswordRequest) {
                // The challenge is kept apart from the content type, which a retried response
                // without a Content-Type would otherwise report as the challenge.
                const auto challenge = t.request->QueryInfo(Query::WwwAuthenticate);
                t.success = challenge.has_value();
                const std::string realm = RealmOf(challenge.value_or(std::string{}));
                Deliver(run, [this, &t, &realm] {
                    bool tryAgain = false;
                    if (OnPasswordRequest && !Destroying())
                        OnPasswordRequest(*this, realm, tryAgain);
                    t.tryAgain = tryAgain;
                    t.username = Username;
                    t.password = Password;
                });
                t.request->SetOption(Option::Username, t.username);
                t.request->SetOption(Option::Password, t.password);
            } else if (t.statusCode == 407 && t.hasProxyAuthentication) {
                Deliver(run, [this, &t] {
                    bool tryAgain = false;
                    if (OnProxyAuthenticationRequest && !Destroying())
                        OnProxyAuthenticationRequest(*this, Proxy.ProxyUsername,
                                                     Proxy.ProxyPassword, tryAgain);
                    t.tryAgain = tryAgain;
                    t.proxy.ProxyUsername = Proxy.ProxyUsername;
                    t.proxy.ProxyPassword = Proxy.ProxyPassword;
                });
                t.request->SetOption(Option::ProxyUsername, t.proxy.ProxyUsername);
                t.request->SetOption(Option::ProxyPassword, t.proxy.ProxyPassword);
            }
            if (!t.tryAgain) break;
        }

        // 14. Response headers.
        t.stream.reset();
        if (!Check(run, t)) return;
        QueryHeaders(run, t);
        if (!t.continueFlag) return;

        // 15.–17.
        if (!Check(run, t)) return;
        if (!OpenStream(run, t)) return;
        ReadLoop(run, t);
    } catch (...) {
        t.success = false;
        throw;
    }
}

void TkxCustomHTTP::QueryHeaders(TkxEventThread& run, Transfer& t) {
    if (const auto type = t.request->QueryInfo(Query::ContentType)) t.contentType = *type;
    const auto length = t.request->QueryInfo(Query::ContentLength);
    t.contentLength = length ? ToInt64Def(*length, 0) : 0;
    if (t.contentLength < 0) t.contentLength = 0;
    t.success = length.has_value();
    if (!t.hasHeaderInfo) return;

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
    Deliver(run, [this, &t] {
        bool continueDownload = true;
        if (OnHeaderInfo && !Destroying())
            OnHeaderInfo(*this, t.statusCode, t.rawHeaders, t.contentType, t.contentLanguage,
                         t.contentEncoding, t.contentLength, t.location, t.date, t.lastModified,
                         t.expires, t.eTag, continueDownload);
        t.continueFlag = continueDownload;
    });
}

void TkxCustomHTTP::ReadLocalFile(TkxEventThread& run, Transfer& t) {
    TkxUrlParts parts;
    CrackUrl(t.url, parts);
    try {
        t.localFile =
            std::make_unique<framework::TFileStream>(parts.UrlPath, framework::FileMode::OpenRead);
        t.statusCode = 200;
        t.contentLength = t.localFile->Size();
        t.success = true;
    } catch (const framework::EStreamError&) {
        t.statusCode = 404;
        t.contentLength = 0;
        t.success = false;
    }
    if (!Check(run, t)) return;
    if (!OpenStream(run, t)) return;
    ReadLoop(run, t);
}

bool TkxCustomHTTP::OpenStream(TkxEventThread& run, Transfer& t) {
    (void)run;
    const bool ok = t.statusCode == 200 || t.statusCode == 206;
    if (ok && !t.outputFileName.empty()) {
        try {
            t.stream = std::make_unique<TkxFileStream>(os_.files, t.outputFileName, true, false);
            if (!(t.outputFileAttributes.Incomplete == TkxFileAttributes{atrArchive}))
                SetFileAttributeSet(os_.files, t.outputFileName, t.outputFileAttributes.Incomplete);
            t.outputFileOpen = true;
            return true;
        } catch (const framework::EStreamError&) {
            if (t.success) {
                t.outputFileError = true;
                t.success = false;
                return false;
            }
        }
    }
    auto memory = std::make_unique<framework::TMemoryStream>();
    if (t.success && t.contentLength > 0)
        memory->SetSize(std::min({t.contentLength, kMaxPresize, t.maxBodySize}));
    t.stream = std::move(memory);
    return true;
}

void TkxCustomHTTP::ReadLoop(TkxEventThread& run, Transfer& t) {
    t.buffer.assign(t.bufferSize, 0);
    t.bytesRead = 0;
    for (;;) {
        if (!Check(run, t)) return;
        std::size_t count = 0;
        bool ok = false;
        if (t.request) {
            ok = t.request->Read(t.buffer, count);
        } else if (t.localFile) {
            const auto n =
                t.localFile->Read(t.buffer.data(), static_cast<std::int64_t>(t.buffer.size()));
            ok = n >= 0;
            count = ok ? static_cast<std::size_t>(n) : 0;
        }
        if (!ok && !Check(run, t)) return;
        if (!ok || count == 0) break;
        if (t.bytesRead + static_cast<std::int64_t>(count) > t.maxBodySize) {
            t.bodyTooLarge = true;
            break;
        }
        t.bytesRead += static_cast<std::int64_t>(count);
        t.stream->WriteBuffer(t.buffer.data(), static_cast<std::int64_t>(count));
        if (t.hasProgress) DeliverProgress(run, t);
    }
    t.buffer = {};

    // 17. The result.
    const std::int32_t status = t.statusCode;
    t.success = status == 200 || status == 206;
    if (t.success && t.contentLength != 0 && t.stream) t.success = t.bytesRead == t.contentLength;
    if (t.bodyTooLarge) t.success = false;
    t.finished = true;
}

void TkxCustomHTTP::DeliverProgress(TkxEventThread& run, Transfer& t) {
    Deliver(run, [this, &t] {
        const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - t.start)
                                   .count();
        const std::int64_t elapsed = elapsedMs / 1000;
        const std::uint8_t percent =
            PercentOf(static_cast<double>(t.bytesRead), static_cast<double>(t.contentLength));
        // Rounded half to even, the default rounding mode.
        const double total = static_cast<double>(t.contentLength) /
                             static_cast<double>(t.bytesRead) * static_cast<double>(elapsed);
        const std::int64_t timeLeft = static_cast<std::int64_t>(std::nearbyint(total)) - elapsed;
        float rate = static_cast<float>(t.bytesRead) / 1024.0f;
        if (elapsed != 0) rate /= static_cast<float>(elapsed);
        if (OnProgress && !Destroying())
            OnProgress(*this, t.contentType, t.contentLength, t.bytesRead, elapsed, timeLeft,
                       percent, rate, t.stream.get());
    });
}

}  // namespace pw::http
