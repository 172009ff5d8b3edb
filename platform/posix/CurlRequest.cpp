#include "platform/posix/CurlRequest.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/posix/CurlErrors.h"
#include "platform/posix/CurlInternet.h"

namespace pw::platform::posix {

using namespace pw::platform::inet;

namespace {

// Body bytes held for the caller beyond what the current Read asks for; past this the transfer
// is paused until the caller reads. curl hands over at most CURL_MAX_WRITE_SIZE at a time, so
// the hold never exceeds this plus one such block.
constexpr std::size_t kPendingCap = 64 * 1024;
// curl's receive buffer; larger than the default for loopback and LAN speeds.
constexpr long kCurlBufferSize = 256 * 1024;

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// The header asked for by each info level; StatusCode and RawHeadersCrlf come from the block.
constexpr std::pair<Query, std::string_view> kQueryHeaders[] = {
    {Query::ContentType, "Content-Type"},
    {Query::ContentLength, "Content-Length"},
    {Query::ContentLanguage, "Content-Language"},
    {Query::Date, "Date"},
    {Query::Expires, "Expires"},
    {Query::LastModified, "Last-Modified"},
    {Query::ContentEncoding, "Content-Encoding"},
    {Query::Location, "Location"},
    {Query::WwwAuthenticate, "WWW-Authenticate"},
    {Query::ETag, "ETag"},
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return EqualsNoCase(std::string_view(line).substr(0, line.find(':')), name);
    });
}

// OpenSSL's verify callback for kFlagIgnoreCertDateInvalid: the validity dates are forgiven,
// and the error cleared so that curl's own check of the verify result passes too.
int ForgiveCertificateDates(int ok, X509_STORE_CTX* store) {
    if (ok == 0) {
        const int error = X509_STORE_CTX_get_error(store);
        if (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID) {
            X509_STORE_CTX_set_error(store, X509_V_OK);
            return 1;
        }
    }
    return ok;
}

CURLcode InstallDateForgiveness(CURL*, void* context, void*) {
    auto* ssl = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_verify(ssl, SSL_CTX_get_verify_mode(ssl), &ForgiveCertificateDates);
    return CURLE_OK;
}

}  // namespace

CurlRequest::CurlRequest(std::shared_ptr<CurlSessionState> session, const CurlTarget& target,
                         std::string verb, std::string_view object, std::string_view referer,
                         std::string accept, std::uint32_t flags)
    : session_(std::move(session)),
      verb_(std::move(verb)),
      accept_(std::move(accept)),
      base_(ConfigFromRequestFlags(flags)),
      username_(target.username),
      password_(target.password),
      multi_(curl_multi_init()),
      easy_(curl_easy_init()) {
    if (!Valid()) return;
    url_ = (base_.secure ? "https://" : "http://") + target.host;
    if (target.port != 0) url_ += ":" + std::to_string(target.port);
    url_ += RequestTarget(object);
    SetUp(referer);
    if (session_->cancel) {
        CURLM* multi = multi_.get();
        waker_ = session_->cancel->AddWaker([multi] { curl_multi_wakeup(multi); });
    }
    // The proxy decision for entries curl's NOPROXY cannot express.
    if (session_->params.accessType == AccessType::Proxy &&
        session_->bypass.MatchesOwn(target.rawHost)) {
        curl_easy_setopt(easy_.get(), CURLOPT_PROXY, "");
    }
}

CurlRequest::~CurlRequest() {
    waker_.reset();  // no wake-up may reach a multi handle being freed
    Detach();
}

void CurlRequest::SetUp(std::string_view referer) {
    CURL* e = easy_.get();
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlRequest::HeaderCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlRequest::WriteCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &CurlRequest::PrereqCallback);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &CurlRequest::SockoptCallback);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &CurlRequest::ProgressCallback);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kCurlBufferSize);
    // Raw headers in the HTTP/1.1 form WinInet gives them.
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, base_.followRedirects ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    if (base_.cookies) curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    const InternetOpenParams& params = session_->params;
    if (!params.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, params.agent.c_str());
    if (!referer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, std::string(referer).c_str());
    switch (params.accessType) {
        case AccessType::Preconfig:
            break;  // curl reads http_proxy, https_proxy and no_proxy itself
        case AccessType::Direct:
            curl_easy_setopt(e, CURLOPT_PROXY, "");  // "" also overrides the environment
            break;
        case AccessType::Proxy:
            curl_easy_setopt(e, CURLOPT_PROXY, ProxyUrl(params.proxy.value_or("")).c_str());
            curl_easy_setopt(e, CURLOPT_NOPROXY, session_->bypass.noProxy.c_str());
            break;
    }
    if (!session_->caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, session_->caFile.c_str());
}

bool CurlRequest::Configure(std::string_view headers, std::span<const char> optional) {
    CURL* e = easy_.get();
    curl_easy_setopt(e, CURLOPT_URL, url_.c_str());

    const bool post = verb_ == "POST";
    if (verb_ == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, nullptr);
        hopHasBody_ = false;
    } else if (post || (!optional.empty() && verb_ != "GET")) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(optional.size()));
        curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, optional.empty() ? "" : optional.data());
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, post ? nullptr : verb_.c_str());
        hopHasBody_ = !optional.empty();
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_ == "GET" ? nullptr : verb_.c_str());
        hopHasBody_ = false;
    }

    auto sendLines = HeaderLines(headers);
    if (!sendLines) return false;
    std::vector<std::string> lines = addedHeaders_;
    lines.insert(lines.end(), sendLines->begin(), sendLines->end());
    // What curl would add on its own but WinInet does not send.
    if (!HasHeader(lines, "Accept")) lines.push_back("Accept: " + accept_);
    if (!HasHeader(lines, "Expect")) lines.push_back("Expect:");
    if (post && !HasHeader(lines, "Content-Type")) lines.push_back("Content-Type:");
    curl_slist* list = nullptr;
    for (const std::string& line : lines) {
        curl_slist* longer = curl_slist_append(list, line.c_str());
        if (longer == nullptr) {
            curl_slist_free_all(list);
            return false;
        }
        list = longer;
    }
    headerList_.reset(list);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);

    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(connectMs_ != 0 ? connectMs_ : kDefaultConnectTimeoutMs));

    RequestConfig config = base_;
    ApplySecurityFlags(securityFlags_, config);
    const bool serverAuth = config.answerAuth && !username_.empty();
    curl_easy_setopt(e, CURLOPT_USERNAME, serverAuth ? username_.c_str() : nullptr);
    curl_easy_setopt(e, CURLOPT_PASSWORD, serverAuth ? password_.c_str() : nullptr);
    const bool proxyAuth = !proxyUsername_.empty();
    curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyAuth ? proxyUsername_.c_str() : nullptr);
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyAuth ? proxyPassword_.c_str() : nullptr);

    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, config.verifyPeer ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, config.verifyHost ? 2L : 0L);
    if (config.ignoreCertDate) {
        curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &InstallDateForgiveness);
        // A connection or TLS session verified this leniently must not serve a strict request.
        curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    } else {
        curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, nullptr);
        curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 1L);
    }
    return true;
}

bool CurlRequest::SetOption(Option option, std::uint32_t value) {
    if (Cancelled()) return false;
    switch (option) {
        case Option::ConnectTimeout:
            connectMs_ = value;
            return true;
        case Option::SendTimeout:
            sendMs_ = value;
            return true;
        case Option::ReceiveTimeout:
            receiveMs_ = value;
            return true;
        case Option::SecurityFlags:
            securityFlags_ = value;
            return true;
        case Option::TotalTimeout:
            totalMs_ = value;
            totalDeadline_.reset();
            if (value != 0) totalDeadline_ = Clock::now() + std::chrono::milliseconds(value);
            return true;
        default:
            return false;
    }
}

bool CurlRequest::SetOption(Option option, std::string_view text) {
    if (Cancelled() || HasNul(text)) return false;
    switch (option) {
        case Option::Username:
            username_ = text;
            return true;
        case Option::Password:
            password_ = text;
            return true;
        case Option::ProxyUsername:
            proxyUsername_ = text;
            return true;
        case Option::ProxyPassword:
            proxyPassword_ = text;
            return true;
        default:
            return false;
    }
}

bool CurlRequest::AddRequestHeaders(std::string_view headers, std::uint32_t) {
    if (Cancelled()) return false;
    auto lines = HeaderLines(headers);
    if (!lines) return false;
    addedHeaders_.insert(addedHeaders_.end(), lines->begin(), lines->end());
    return true;
}

void CurlRequest::ResetExchange() {
    headers_.Clear();
    answer_ = Answer::None;
    bodyless_ = false;
    blockIsConnect_ = false;
    requestInFlight_ = false;
    redirects_ = 0;
    done_ = false;
    result_ = CURLE_OK;
    failed_ = false;
    lastError_ = {};
    headersTooLarge_ = false;
    pending_.clear();
    pendingPos_ = 0;
    readTarget_ = {};
    filled_ = 0;
    paused_ = false;
    uploaded_ = 0;
}

bool CurlRequest::Send(std::string_view headers, std::span<const char> optional) {
    Detach();
    ResetExchange();
    if (Cancelled()) return Fail({Error::Cancelled});
    // No cache to serve from while offline.
    if ((session_->params.flags & kOpenFlagOffline) != 0) return Fail({Error::Disconnected});
    if (!Configure(headers, optional) ||
        curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) {
        return Fail({Error::CannotConnect});
    }
    attached_ = true;
    Touch(Phase::Connecting);
    for (;;) {
        if (Cancelled()) return Fail({Error::Cancelled});
        Perform();
        if (answer_ == Answer::Final) return true;
        if (done_) return Settle();
        if (!Wait()) return Fail(lastError_);
    }
}

// The transfer ended before a header block was known to be the answer.
bool CurlRequest::Settle() {
    if (answer_ == Answer::Pending || (result_ == CURLE_OK && headers_.Complete())) {
        answer_ = Answer::Final;
        return true;
    }
    // A redirect that curl would not or could not take: the 3xx itself is the answer.
    const bool redirect = headers_.Complete() && !blockIsConnect_ &&
                          headers_.StatusCode() / 100 == 3 && headers_.Find("Location");
    if (redirect && (result_ == CURLE_TOO_MANY_REDIRECTS || result_ == CURLE_UNSUPPORTED_PROTOCOL ||
                     result_ == CURLE_URL_MALFORMAT)) {
        answer_ = Answer::Final;
        bodyless_ = true;
        // The answer stands, and the error says why it was not followed.
        lastError_ = {result_ == CURLE_TOO_MANY_REDIRECTS ? Error::TooManyRedirects
                                                          : Error::RedirectFailed};
        return true;
    }
    return Fail(CurlError());
}

InternetError CurlRequest::CurlError() const {
    if (headersTooLarge_) return {Error::HeadersTooLarge};
    long verify = 0;
    if (result_ == CURLE_PEER_FAILED_VERIFICATION)
        curl_easy_getinfo(easy_.get(), CURLINFO_SSL_VERIFYRESULT, &verify);
    const Error code = ErrorFromCurl(result_, verify);
    return {code, code == Error::ConnectTimeout
                      ? (connectMs_ != 0 ? connectMs_ : kDefaultConnectTimeoutMs)
                      : 0};
}

std::size_t CurlRequest::TakePending(std::span<char> buffer) {
    const std::size_t n = std::min(buffer.size(), pending_.size() - pendingPos_);
    if (n > 0) std::memcpy(buffer.data(), pending_.data() + pendingPos_, n);
    pendingPos_ += n;
    if (pendingPos_ == pending_.size()) {
        pending_.clear();
        pendingPos_ = 0;
    }
    return n;
}

bool CurlRequest::Read(std::span<char> buffer, std::size_t& count) {
    count = 0;
    if (Cancelled()) return Fail({Error::Cancelled});
    if (answer_ != Answer::Final || failed_) return false;
    count = TakePending(buffer);
    if (count == buffer.size()) return true;
    if (done_) {
        if (count > 0 || result_ == CURLE_OK || bodyless_) return true;
        return Fail(CurlError());  // the body ended before it was complete
    }
    if (TotalExpired()) return Fail({Error::TotalTimeout, totalMs_});

    readTarget_ = buffer.subspan(count);
    filled_ = 0;
    Touch(Phase::Receiving);
    if (paused_) {
        paused_ = false;
        curl_easy_pause(easy_.get(), CURLPAUSE_CONT);  // may hand over held bytes at once
    }
    bool timedOut = false;
    while (filled_ < readTarget_.size() && !done_ && !Cancelled()) {
        if (TotalExpired()) {
            lastError_ = {Error::TotalTimeout, totalMs_};
            timedOut = true;
            break;
        }
        const std::size_t before = filled_;
        Perform();
        if (filled_ > before) continue;  // data is flowing: take more without waiting
        if (filled_ > 0 || done_) break;
        if (!Wait()) {
            timedOut = true;
            break;
        }
    }
    count += filled_;
    readTarget_ = {};
    filled_ = 0;
    if (Cancelled()) {
        count = 0;
        return Fail({Error::Cancelled});
    }
    if (timedOut) {
        Fail(lastError_);  // the bytes in hand still count; the next Read fails
        return count > 0;
    }
    if (count > 0 || result_ == CURLE_OK || bodyless_) return true;
    return Fail(CurlError());
}

std::optional<std::string> CurlRequest::QueryInfo(Query query) {
    if (Cancelled() || answer_ != Answer::Final) return std::nullopt;
    std::optional<std::string> value;
    if (query == Query::StatusCode) {
        value = std::to_string(headers_.StatusCode());
    } else if (query == Query::RawHeadersCrlf) {
        value = headers_.Raw();
    } else {
        for (const auto& [level, name] : kQueryHeaders) {
            if (level == query) value = headers_.Find(name);
        }
    }
    if (!value) return std::nullopt;
    value->resize(std::strlen(value->c_str()));  // the text up to its first zero byte
    if (value->size() >= kQueryBufferSize) return std::nullopt;
    return value;
}

void CurlRequest::Perform() {
    int running = 0;
    curl_multi_perform(multi_.get(), &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &left)) {
        if (msg->msg == CURLMSG_DONE) {
            done_ = true;
            result_ = msg->data.result;
        }
    }
    if (done_) Detach();
}

// Waits for the network, a wake-up or the end of the current phase's time-out. False, with the
// error set, when a time-out has passed with nothing heard or the whole request's limit is up.
bool CurlRequest::Wait() {
    InternetError why;
    switch (phase_) {
        case Phase::Connecting:
            why = {Error::ConnectTimeout, connectMs_ != 0 ? connectMs_ : kDefaultConnectTimeoutMs};
            break;
        case Phase::Sending:
            why = {Error::SendTimeout, sendMs_ != 0 ? sendMs_ : kDefaultSendTimeoutMs};
            break;
        case Phase::Receiving:
            why = {Error::Timeout, receiveMs_ != 0 ? receiveMs_ : kDefaultReceiveTimeoutMs};
            break;
    }
    auto deadline = lastActivity_ + std::chrono::milliseconds(why.timeoutMs);
    if (totalDeadline_ && *totalDeadline_ <= deadline) {
        deadline = *totalDeadline_;
        why = {Error::TotalTimeout, totalMs_};
    }
    const auto now = Clock::now();
    if (now >= deadline) {
        lastError_ = why;
        return false;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(std::min<long long>(left, INT_MAX)),
                    nullptr);
    return true;
}

void CurlRequest::Touch(Phase phase) {
    phase_ = phase;
    lastActivity_ = Clock::now();
}

void CurlRequest::Detach() {
    if (!attached_) return;
    if (paused_) {
        // Let curl hand over and drop what it holds, so nothing of this exchange survives.
        discard_ = true;
        paused_ = false;
        curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
        discard_ = false;
    }
    curl_multi_remove_handle(multi_.get(), easy_.get());
    attached_ = false;
}

bool CurlRequest::Fail(InternetError why) {
    Detach();
    failed_ = true;
    lastError_ = why;
    return false;
}

std::size_t CurlRequest::HeaderCallback(char* data, std::size_t size, std::size_t n, void* self) {
    return static_cast<CurlRequest*>(self)->OnHeader(std::string_view(data, size * n));
}

std::size_t CurlRequest::WriteCallback(char* data, std::size_t size, std::size_t n, void* self) {
    return static_cast<CurlRequest*>(self)->OnBody(data, size * n);
}

int CurlRequest::PrereqCallback(void* self, char*, char*, int, int) {
    auto& r = *static_cast<CurlRequest*>(self);
    r.requestInFlight_ = true;
    r.uploaded_ = 0;
    r.Touch(r.hopHasBody_ ? Phase::Sending : Phase::Receiving);
    r.session_->Notify(kStatusSendingRequest);
    return CURL_PREREQFUNC_OK;
}

int CurlRequest::SockoptCallback(void* self, curl_socket_t, curlsocktype) {
    auto& r = *static_cast<CurlRequest*>(self);
    r.requestInFlight_ = false;
    r.Touch(Phase::Connecting);
    r.session_->Notify(kStatusConnectingToServer);
    return CURL_SOCKOPT_OK;
}

int CurlRequest::ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t ulTotal,
                                  curl_off_t ulNow) {
    auto& r = *static_cast<CurlRequest*>(self);
    if (r.phase_ != Phase::Sending) return 0;
    if (ulNow > r.uploaded_) {
        r.uploaded_ = ulNow;
        r.Touch(Phase::Sending);
    }
    if (ulTotal <= 0 || ulNow >= ulTotal) {
        r.Touch(Phase::Receiving);
        r.session_->Notify(kStatusRequestSent);
    }
    return 0;
}

std::size_t CurlRequest::OnHeader(std::string_view line) {
    Touch(Phase::Receiving);
    switch (headers_.Add(line)) {
        case ResponseHeaders::Line::Started:
            answer_ = Answer::None;
            bodyless_ = false;
            blockIsConnect_ = !requestInFlight_;
            break;
        case ResponseHeaders::Line::Ended:
            OnBlockEnd();
            break;
        case ResponseHeaders::Line::TooLarge:
            headersTooLarge_ = true;
            return 0;  // curl ends the transfer with an error
        default:
            break;
    }
    return line.size();
}

// Decides whether the block just ended is the answer, or curl goes on to another response.
void CurlRequest::OnBlockEnd() {
    const int code = headers_.StatusCode();
    session_->Notify(kStatusResponseReceived);
    if (code / 100 == 1) return;  // interim; the real response follows
    if (blockIsConnect_) {
        if (code / 100 == 2) return;  // the tunnel is up; the request follows
        answer_ = code == 407 && !proxyUsername_.empty() ? Answer::Pending : Answer::Final;
        bodyless_ = true;
        return;
    }
    const auto location = headers_.Find("Location");
    if (code / 100 == 3 && base_.followRedirects && location && !location->empty()) {
        if (redirects_ < kMaxRedirects) {
            ++redirects_;
            if (code == 303 || ((code == 301 || code == 302) && verb_ == "POST")) {
                hopHasBody_ = false;  // curl goes on with a GET
            }
            session_->Notify(kStatusRedirect, RedirectUrl(*location));
            return;
        }
        // curl stops with CURLE_TOO_MANY_REDIRECTS and skips the body: this 3xx is the answer.
        answer_ = Answer::Final;
        bodyless_ = true;
        lastError_ = {Error::TooManyRedirects};
        return;
    }
    RequestConfig config = base_;
    ApplySecurityFlags(securityFlags_, config);
    const bool mayRetry = (code == 401 && config.answerAuth && !username_.empty()) ||
                          (code == 407 && !proxyUsername_.empty());
    // A challenge curl may answer itself is the answer only if no other response follows.
    answer_ = mayRetry ? Answer::Pending : Answer::Final;
}

// The absolute URL curl goes to, resolved the way curl resolves it.
std::string CurlRequest::RedirectUrl(const std::string& location) {
    char* current = nullptr;
    curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &current);
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    char* resolved = nullptr;
    if (url && current != nullptr &&
        curl_url_set(url.get(), CURLUPART_URL, current, 0) == CURLUE_OK &&
        curl_url_set(url.get(), CURLUPART_URL, location.c_str(),
                     CURLU_URLENCODE | CURLU_ALLOW_SPACE) == CURLUE_OK &&
        curl_url_get(url.get(), CURLUPART_URL, &resolved, 0) == CURLUE_OK) {
        std::string result(resolved);
        curl_free(resolved);
        return result;
    }
    return location;
}

std::size_t CurlRequest::OnBody(const char* data, std::size_t size) {
    Touch(Phase::Receiving);
    if (discard_) return size;
    answer_ = Answer::Final;  // body bytes: the headers before them were the answer's
    const std::size_t room = readTarget_.size() - filled_;
    if (room == 0 && pending_.size() - pendingPos_ >= kPendingCap) {
        paused_ = true;
        return CURL_WRITEFUNC_PAUSE;  // curl keeps the bytes and hands them over again
    }
    const std::size_t direct = std::min(room, size);
    if (direct > 0) std::memcpy(readTarget_.data() + filled_, data, direct);
    filled_ += direct;
    pending_.insert(pending_.end(), data + direct, data + size);
    return size;
}

}  // namespace pw::platform::posix
