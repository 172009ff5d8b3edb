#include "platform/posix/CurlInternet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/posix/CurlProxy.h"
#include "tests/support/net/HttpTestServer.h"
#include "tests/support/net/ProxyProcess.h"
#include "tests/support/net/ScriptedServer.h"

// Every allocation of this program passes here, so a test can see how much the layer holds
// while it streams a body.
namespace {
std::atomic<std::size_t> gLiveBytes{0};
std::atomic<std::size_t> gPeakBytes{0};
constexpr std::size_t kBlockHeader = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size + kBlockHeader);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t live = gLiveBytes += size;
    std::size_t peak = gPeakBytes;
    while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(block) + kBlockHeader;
}

void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - kBlockHeader;
    gLiveBytes -= *static_cast<std::size_t*>(block);
    std::free(block);
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace pw::platform::posix {
namespace {

using namespace pw::platform::inet;
using pw::test::HttpTestServer;
using pw::test::ProxyProcess;
using pw::test::ScriptedServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kAgent = "PagewardenTest/1.0";
constexpr std::chrono::seconds kWatchdog{20};

InternetOpenParams Direct() {
    InternetOpenParams params;
    params.agent = kAgent;
    params.accessType = AccessType::Direct;
    return params;
}

InternetOpenParams ThroughProxy(const ProxyProcess& proxy, std::string bypass = "") {
    InternetOpenParams params = Direct();
    params.accessType = AccessType::Proxy;
    params.proxy = proxy.Address();
    params.bypass = bypass;
    return params;
}

// A request with what it was opened from; members go in the order request, connection, session.
struct Opened {
    std::unique_ptr<IInternetSession> session;
    std::unique_ptr<IInternetConnection> connection;
    std::unique_ptr<IInternetRequest> request;

    IInternetRequest* operator->() const { return request.get(); }
};

// What a test opens, set fluently: OpenArgs().Object("/page").Flags(kFlagNoCookies).
struct OpenArgs {
    std::string object = "/";
    std::uint32_t flags = 0;
    std::string verb = "GET";
    std::string host = "127.0.0.1";
    std::string referer;
    std::string username;
    std::string password;
    InternetOpenParams params = Direct();
    std::shared_ptr<InternetCancel> cancel;

    OpenArgs& Object(std::string v) { return object = std::move(v), *this; }
    OpenArgs& Flags(std::uint32_t v) { return flags = v, *this; }
    OpenArgs& Verb(std::string v) { return verb = std::move(v), *this; }
    OpenArgs& Host(std::string v) { return host = std::move(v), *this; }
    OpenArgs& Referer(std::string v) { return referer = std::move(v), *this; }
    OpenArgs& Credentials(std::string user, std::string pass) {
        username = std::move(user);
        password = std::move(pass);
        return *this;
    }
    OpenArgs& Params(InternetOpenParams v) { return params = std::move(v), *this; }
    OpenArgs& Cancel(std::shared_ptr<InternetCancel> v) { return cancel = std::move(v), *this; }
};

Opened Open(IInternet& internet, std::uint16_t port, OpenArgs args) {
    Opened o;
    o.session = internet.Open(args.params, args.cancel);
    if (o.session) o.connection = o.session->Connect(args.host, port, args.username, args.password);
    if (o.connection) {
        o.request = o.connection->OpenRequest(args.verb, args.object, args.referer,
                                              "text/html, */*", args.flags);
    }
    return o;
}

// The whole body in 64 KiB reads; nullopt when a read fails.
std::optional<std::string> ReadAll(IInternetRequest& request) {
    std::string body;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        std::size_t count = 0;
        if (!request.Read(buffer, count)) return std::nullopt;
        if (count == 0) return body;
        body.append(buffer.data(), count);
    }
}

bool Get(const Opened& o) {
    return o.request && o->Send({}, {});
}

std::string Status(const Opened& o) {
    return o->QueryInfo(Query::StatusCode).value_or("none");
}

// Sets an environment variable (or removes it) for one test and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class CurlInternetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.Http().Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("X-Custom", "v");
            res.set_content("hello", "text/html");
        });
        server_.Http().Get(R"(/echo.*)", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("echo", "text/plain");
        });
        server_.Http().Post("/form", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("got " + req.body, "text/plain");
        });
        server_.Http().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("no such page", "text/html");
        });
        server_.Http().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](std::size_t, httplib::DataSink& s) {
                s.write("part one,", 9);
                s.write("part two", 8);
                s.done();
                return true;
            });
        });
        server_.Http().Get("/start", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/next");
            res.set_content("moved", "text/plain");
        });
        server_.Http().Get("/next", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("done", "text/plain");
        });
        server_.Http().Get("/loop", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/loop");
        });
        server_.Http().Get("/login", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "session=42; Path=/");
            res.set_redirect("/home");
        });
        server_.Http().Get("/home", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.has_header("Cookie") ? req.get_header_value("Cookie") : "none",
                            "text/plain");
        });
        server_.Http().Get("/secret", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") == "Basic dXNlcjpwYXNz") {  // user:pass
                res.set_content("secret", "text/plain");
            } else {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"Members\"");
                res.set_content("who are you", "text/plain");
            }
        });
        server_.Http().Get("/etag", [](const httplib::Request& req, httplib::Response& res) {
            res.set_header("ETag", std::string(std::stoul(req.get_param_value("n")), 'e'));
            res.set_content("x", "text/plain");
        });
        server_.Start();
    }

    Opened Open(OpenArgs args = {}) { return posix::Open(internet_, server_.Port(), args); }

    HttpTestServer server_;
    CurlInternet internet_;
};

TEST_F(CurlInternetTest, GetGivesStatusHeadersAndBody) {
    const Opened o = Open(OpenArgs().Object("/page"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "200");
    EXPECT_EQ(o->QueryInfo(Query::ContentType), "text/html");
    EXPECT_EQ(o->QueryInfo(Query::ContentLength), "5");
    EXPECT_EQ(o->QueryInfo(Query::ContentLanguage), std::nullopt);
    EXPECT_EQ(ReadAll(*o.request), "hello");

    const std::string raw = o->QueryInfo(Query::RawHeadersCrlf).value_or("");
    EXPECT_THAT(raw, StartsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(raw, HasSubstr("\r\nX-Custom: v\r\n"));
    EXPECT_TRUE(raw.ends_with("\r\n\r\n"));
}

TEST_F(CurlInternetTest, RequestLineCarriesTheObjectAsGivenWithAgentAcceptAndReferer) {
    const Opened o =
        Open(OpenArgs().Object("/echo/a/../b?q=%41+b").Referer("http://from.example/"));
    ASSERT_TRUE(Get(o));
    ASSERT_EQ(ReadAll(*o.request), "echo");
    const auto sent = server_.LastRequest();
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.target, "/echo/a/../b?q=%41+b");  // neither normalised nor re-encoded
    EXPECT_EQ(sent.Header("User-Agent"), kAgent);
    EXPECT_EQ(sent.Header("Accept"), "text/html, */*");
    EXPECT_EQ(sent.Header("Referer"), "http://from.example/");

    // Without a referer none is sent; bytes that cannot stand on a request line are escaped.
    const Opened plain = Open(OpenArgs().Object("/echo/a b\xE9"));
    ASSERT_TRUE(Get(plain));
    EXPECT_EQ(server_.LastRequest().target, "/echo/a%20b%E9");
    EXPECT_FALSE(server_.LastRequest().Has("Referer"));
}

TEST_F(CurlInternetTest, PostSendsBodyAndContentTypeAndKeepsOnlyTheFinalHeaders) {
    const Opened o = Open(OpenArgs().Object("/form").Verb("POST"));
    ASSERT_TRUE(o.request);
    // Expect makes the server answer "100 Continue" first: its headers must not stay.
    ASSERT_TRUE(o->AddRequestHeaders("Expect: 100-continue\r\n", kAddReqFlagAdd));
    const std::string data = "a=1&b=2";
    ASSERT_TRUE(o->Send("Content-Type: application/x-www-form-urlencoded", data));
    EXPECT_EQ(Status(o), "200");
    EXPECT_THAT(o->QueryInfo(Query::RawHeadersCrlf).value_or(""), StartsWith("HTTP/1.1 200"));
    EXPECT_EQ(ReadAll(*o.request), "got a=1&b=2");
    const auto sent = server_.LastRequest();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.body, "a=1&b=2");
    EXPECT_EQ(sent.Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(CurlInternetTest, AddedHeadersAndTheRangeLineReachTheServer) {
    const Opened o = Open(OpenArgs().Object("/page"));
    ASSERT_TRUE(o.request);
    EXPECT_FALSE(o->AddRequestHeaders("not a header line\r\n", kAddReqFlagAdd));
    ASSERT_TRUE(o->AddRequestHeaders("X-One: 1\r\nRANGE: bytes=2-\r\n", kAddReqFlagAdd));
    ASSERT_TRUE(o->Send({}, {}));
    const auto sent = server_.LastRequest();
    EXPECT_EQ(sent.Header("X-One"), "1");
    EXPECT_EQ(sent.Header("Range"), "bytes=2-");
    EXPECT_EQ(Status(o), "206");
    EXPECT_EQ(ReadAll(*o.request), "llo");
}

TEST_F(CurlInternetTest, ErrorStatusIsAResponseWithItsBody) {
    const Opened o = Open(OpenArgs().Object("/missing"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "404");
    EXPECT_EQ(ReadAll(*o.request), "no such page");
}

TEST_F(CurlInternetTest, BodyWithoutContentLengthIsReadToItsEnd) {
    const Opened chunked = Open(OpenArgs().Object("/chunked"));
    ASSERT_TRUE(Get(chunked));
    EXPECT_EQ(chunked->QueryInfo(Query::ContentLength), std::nullopt);
    EXPECT_EQ(ReadAll(*chunked.request), "part one,part two");

    // Ended by closing the connection; line ends of bare LF come back as CR LF.
    ScriptedServer closing(ScriptedServer::Reply("HTTP/1.0 200 OK\nX-A: 1\n\nuntil the close"));
    const Opened o = posix::Open(internet_, closing.Port(), {});
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(o->QueryInfo(Query::ContentLength), std::nullopt);
    EXPECT_EQ(o->QueryInfo(Query::RawHeadersCrlf), "HTTP/1.0 200 OK\r\nX-A: 1\r\n\r\n");
    EXPECT_EQ(ReadAll(*o.request), "until the close");
}

TEST_F(CurlInternetTest, HeaderValueMustFitTheQueryBuffer) {
    const Opened fits = Open(OpenArgs().Object("/etag?n=4095"));
    ASSERT_TRUE(Get(fits));
    EXPECT_EQ(fits->QueryInfo(Query::ETag), std::string(4095, 'e'));

    const Opened tooLong = Open(OpenArgs().Object("/etag?n=4096"));
    ASSERT_TRUE(Get(tooLong));
    EXPECT_EQ(tooLong->QueryInfo(Query::ETag), std::nullopt);
    EXPECT_EQ(tooLong->QueryInfo(Query::RawHeadersCrlf), std::nullopt);
    EXPECT_EQ(Status(tooLong), "200");
}

TEST_F(CurlInternetTest, RedirectIsFollowedAndReportedBeforeTheNextRequest) {
    const Opened o = Open(OpenArgs().Object("/start"));
    std::vector<std::string> redirects;
    std::size_t requestsSeenAtRedirect = 0;
    const auto caller = std::this_thread::get_id();
    bool onCallerThread = true;
    o.session->SetStatusCallback([&](std::uint32_t status, std::string_view info) {
        onCallerThread = onCallerThread && std::this_thread::get_id() == caller;
        if (status != kStatusRedirect) return;
        redirects.emplace_back(info);
        requestsSeenAtRedirect = server_.Requests().size();
    });
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "200");
    EXPECT_EQ(o->QueryInfo(Query::Location), std::nullopt);  // the final response's headers
    EXPECT_EQ(ReadAll(*o.request), "done");
    EXPECT_THAT(redirects, ElementsAre(server_.Url("/next")));
    EXPECT_EQ(requestsSeenAtRedirect, 1u);
    EXPECT_TRUE(onCallerThread);
}

TEST_F(CurlInternetTest, NoAutoRedirectAnswersWithThe3xx) {
    const Opened o = Open(OpenArgs().Object("/start").Flags(kFlagNoAutoRedirect));
    int redirects = 0;
    o.session->SetStatusCallback(
        [&](std::uint32_t status, std::string_view) { redirects += status == kStatusRedirect; });
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "302");
    EXPECT_EQ(o->QueryInfo(Query::Location), "/next");
    EXPECT_EQ(ReadAll(*o.request), "moved");
    EXPECT_EQ(redirects, 0);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(CurlInternetTest, RedirectLoopEndsWithTheLast3xxAndAnEmptyBody) {
    const Opened o = Open(OpenArgs().Object("/loop"));
    int redirects = 0;
    o.session->SetStatusCallback(
        [&](std::uint32_t status, std::string_view) { redirects += status == kStatusRedirect; });
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "302");
    EXPECT_EQ(ReadAll(*o.request), "");
    EXPECT_EQ(redirects, kMaxRedirects);
    EXPECT_EQ(server_.Requests().size(), static_cast<std::size_t>(kMaxRedirects) + 1);
}

TEST_F(CurlInternetTest, CookiesLiveAcrossTheRedirectsUnlessSwitchedOff) {
    const Opened withCookies = Open(OpenArgs().Object("/login"));
    ASSERT_TRUE(Get(withCookies));
    EXPECT_EQ(ReadAll(*withCookies.request), "session=42");

    const Opened without = Open(OpenArgs().Object("/login").Flags(kFlagNoCookies));
    ASSERT_TRUE(Get(without));
    EXPECT_EQ(ReadAll(*without.request), "none");
}

TEST_F(CurlInternetTest, BasicChallengeIsAnsweredOnResendWithNewCredentials) {
    const Opened o = Open(OpenArgs().Object("/secret"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "401");
    EXPECT_EQ(o->QueryInfo(Query::WwwAuthenticate), "Basic realm=\"Members\"");
    EXPECT_EQ(ReadAll(*o.request), "who are you");

    ASSERT_TRUE(o->SetOption(Option::Username, "user"));
    ASSERT_TRUE(o->SetOption(Option::Password, "pass"));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(Status(o), "200");
    EXPECT_EQ(ReadAll(*o.request), "secret");
}

TEST_F(CurlInternetTest, ConnectCredentialsAnswerUnlessNoAuth) {
    const Opened o = Open(OpenArgs().Object("/secret").Credentials("user", "pass"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "200");

    const Opened noAuth =
        Open(OpenArgs().Object("/secret").Flags(kFlagNoAuth).Credentials("user", "pass"));
    ASSERT_TRUE(Get(noAuth));
    EXPECT_EQ(Status(noAuth), "401");
    EXPECT_FALSE(server_.LastRequest().Has("Authorization"));
}

TEST_F(CurlInternetTest, OfflineSessionNeverSends) {
    auto args = OpenArgs().Object("/page");
    args.params.flags = kOpenFlagOffline;
    const Opened o = Open(args);
    ASSERT_TRUE(o.request);
    EXPECT_FALSE(o->Send({}, {}));
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(CurlInternetTest, DirectIgnoresTheProxyEnvironment) {
    // Nothing listens there: a request that took this proxy would fail.
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:9");
    ScopedEnv noProxy("no_proxy", nullptr);
    ScopedEnv noProxyUpper("NO_PROXY", nullptr);
    const Opened o = Open(OpenArgs().Object("/page"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "200");
}

// ---------------------------------------------------------------------------------------------
// Through a real proxy.

class CurlInternetProxyTest : public CurlInternetTest {
  protected:
    void SetUp() override {
        if (!ProxyProcess::Available()) GTEST_SKIP() << "tinyproxy is not installed";
        CurlInternetTest::SetUp();
    }

    // tinyproxy marks what it forwards.
    bool CameThroughProxy() { return server_.LastRequest().Has("Via"); }
};

TEST_F(CurlInternetProxyTest, ProxyAccessTypeAndItsBypassList) {
    ProxyProcess proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Log();

    const Opened through = Open(OpenArgs().Object("/page").Params(ThroughProxy(proxy)));
    ASSERT_TRUE(Get(through));
    EXPECT_EQ(ReadAll(*through.request), "hello");
    EXPECT_TRUE(CameThroughProxy());

    const Opened bypassed =
        Open(OpenArgs().Object("/page").Params(ThroughProxy(proxy, "127.0.0.1;")));
    ASSERT_TRUE(Get(bypassed));
    EXPECT_EQ(Status(bypassed), "200");
    EXPECT_FALSE(CameThroughProxy());

    // "<local>" covers host names without a dot only.
    const Opened local =
        Open(OpenArgs().Object("/page").Host("localhost").Params(ThroughProxy(proxy, "<local>")));
    ASSERT_TRUE(Get(local));
    EXPECT_FALSE(CameThroughProxy());
    const Opened dotted = Open(OpenArgs().Object("/page").Params(ThroughProxy(proxy, "<local>")));
    ASSERT_TRUE(Get(dotted));
    EXPECT_TRUE(CameThroughProxy());
}

TEST_F(CurlInternetProxyTest, PreconfigTakesTheProxyFromTheEnvironment) {
    ProxyProcess proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Log();
    ScopedEnv env("http_proxy", ("http://" + proxy.Address()).c_str());
    ScopedEnv noProxy("no_proxy", nullptr);
    ScopedEnv noProxyUpper("NO_PROXY", nullptr);
    auto args = OpenArgs().Object("/page");
    args.params.accessType = AccessType::Preconfig;
    const Opened o = Open(args);
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "200");
    EXPECT_TRUE(CameThroughProxy());
}

TEST_F(CurlInternetProxyTest, ProxyChallengeIsAnsweredOnResendWithProxyCredentials) {
    ProxyProcess proxy({.user = "puser", .password = "ppass"});
    ASSERT_TRUE(proxy.Running()) << proxy.Log();
    const Opened o = Open(OpenArgs().Object("/page").Params(ThroughProxy(proxy)));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(Status(o), "407");
    EXPECT_TRUE(ReadAll(*o.request).has_value());

    ASSERT_TRUE(o->SetOption(Option::ProxyUsername, "puser"));
    ASSERT_TRUE(o->SetOption(Option::ProxyPassword, "ppass"));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(Status(o), "200");
    EXPECT_EQ(ReadAll(*o.request), "hello");
}

TEST_F(CurlInternetProxyTest, HttpsTunnelRefusalIsTheAnswerUntilCredentialsCome) {
    ProxyProcess proxy({.user = "puser", .password = "ppass"});
    ASSERT_TRUE(proxy.Running()) << proxy.Log();
    HttpTestServer tls(HttpTestServer::Tls::Valid);
    tls.Http().Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("tunnelled", "text/plain");
    });
    tls.Start();
    const Opened o =
        posix::Open(internet_, tls.Port(),
                    OpenArgs().Flags(kFlagSecure).Host("localhost").Params(ThroughProxy(proxy)));
    ASSERT_TRUE(o.request);
    ASSERT_TRUE(o->SetOption(Option::SecurityFlags, kSecurityFlagIgnoreUnknownCa));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(Status(o), "407");
    EXPECT_EQ(ReadAll(*o.request), "");

    ASSERT_TRUE(o->SetOption(Option::ProxyUsername, "puser"));
    ASSERT_TRUE(o->SetOption(Option::ProxyPassword, "ppass"));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(Status(o), "200");
    EXPECT_EQ(ReadAll(*o.request), "tunnelled");
}

TEST(CurlProxyBypassTest, WinInetListBecomesNoProxyAndOwnPatterns) {
    const ProxyBypass b =
        ConvertBypass("127.0.0.1; *.Example.com  10.* 192.168.1.*;<local>;intra*;http://a.b");
    EXPECT_EQ(b.noProxy, "127.0.0.1,.example.com,10.0.0.0/8,192.168.1.0/24,a.b");
    EXPECT_TRUE(b.local);
    EXPECT_THAT(b.patterns, ElementsAre("intra*"));
    EXPECT_TRUE(b.MatchesOwn("printer"));
    EXPECT_TRUE(b.MatchesOwn("Intranet.corp"));
    EXPECT_FALSE(b.MatchesOwn("www.example.org"));
    EXPECT_EQ(ConvertBypass("a.b;*").noProxy, "*");
}

// ---------------------------------------------------------------------------------------------
// HTTPS with a certificate made for the run (CN and SAN "localhost").

class CurlInternetTlsTest : public ::testing::Test {
  protected:
    static void Serve(HttpTestServer& server) {
        server.Http().Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("secure", "text/plain");
        });
        server.Start();
    }

    // True when a GET gets the page.
    static bool Fetches(IInternet& internet, const HttpTestServer& server, std::string host,
                        std::uint32_t flags, std::uint32_t securityFlags = 0) {
        const Opened o =
            Open(internet, server.Port(), OpenArgs().Flags(kFlagSecure | flags).Host(host));
        if (!o.request) return false;
        if (securityFlags != 0) o->SetOption(Option::SecurityFlags, securityFlags);
        return o->Send({}, {}) && ReadAll(*o.request) == "secure";
    }
};

TEST_F(CurlInternetTlsTest, UnknownAuthorityFailsUnlessIgnoredAndTheHostNameIsCheckedApart) {
    HttpTestServer server(HttpTestServer::Tls::Valid);
    Serve(server);
    CurlInternet internet;
    EXPECT_FALSE(Fetches(internet, server, "localhost", 0));
    EXPECT_TRUE(Fetches(internet, server, "localhost", 0, kSecurityFlagIgnoreUnknownCa));
    // curl checks the name even when the chain is not verified.
    EXPECT_FALSE(Fetches(internet, server, "127.0.0.1", 0, kSecurityFlagIgnoreUnknownCa));
    EXPECT_TRUE(Fetches(internet, server, "127.0.0.1", kFlagIgnoreCertCnInvalid,
                        kSecurityFlagIgnoreUnknownCa));
}

TEST_F(CurlInternetTlsTest, TrustedCertificateStillNeedsTheRightNameUnlessIgnored) {
    HttpTestServer server(HttpTestServer::Tls::Valid);
    Serve(server);
    CurlInternet internet({.caFile = server.CertificateFile()});
    EXPECT_TRUE(Fetches(internet, server, "localhost", 0));
    EXPECT_FALSE(Fetches(internet, server, "127.0.0.1", 0));
    EXPECT_TRUE(Fetches(internet, server, "127.0.0.1", kFlagIgnoreCertCnInvalid));
}

TEST_F(CurlInternetTlsTest, ExpiredCertificatePassesOnlyWithTheDateFlag) {
    HttpTestServer server(HttpTestServer::Tls::Expired);
    Serve(server);
    CurlInternet internet({.caFile = server.CertificateFile()});
    EXPECT_FALSE(Fetches(internet, server, "localhost", 0));
    EXPECT_FALSE(Fetches(internet, server, "localhost", kFlagIgnoreCertCnInvalid));
    EXPECT_TRUE(Fetches(internet, server, "localhost", kFlagIgnoreCertDateInvalid));
    // The date flag forgives nothing else.
    EXPECT_FALSE(Fetches(internet, server, "127.0.0.1", kFlagIgnoreCertDateInvalid));
}

// ---------------------------------------------------------------------------------------------
// Hostile and silent servers.

class CurlInternetHostileTest : public ::testing::Test {
  protected:
    Opened Open(const ScriptedServer& server, OpenArgs args = {}) {
        return posix::Open(internet_, server.Port(), std::move(args));
    }
    CurlInternet internet_;
};

TEST_F(CurlInternetHostileTest, NoResponseWhenThereIsNoProperHeaderBlock) {
    ScriptedServer garbage(ScriptedServer::Reply("SSH-2.0-OpenSSH_9.2\r\n\r\nhello"));
    EXPECT_FALSE(Get(Open(garbage)));

    ScriptedServer huge(ScriptedServer::HugeHeaders(4 * 1024 * 1024));
    EXPECT_FALSE(Get(Open(huge)));

    ScriptedServer empty(ScriptedServer::Reply(""));
    EXPECT_FALSE(Get(Open(empty)));
}

TEST_F(CurlInternetHostileTest, RefusedConnectionIsNoResponse) {
    // A bound socket that does not listen refuses connections for as long as it is held.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const Opened o = posix::Open(internet_, ntohs(address.sin_port), {});
    EXPECT_FALSE(Get(o));
    std::size_t count = 0;
    std::vector<char> buffer(16);
    EXPECT_FALSE(o->Read(buffer, count));
    close(fd);
}

TEST_F(CurlInternetHostileTest, BodyShorterThanAnnouncedGivesItsBytesThenFails) {
    ScriptedServer server(
        ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\n0123456789"));
    const Opened o = Open(server);
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(o->QueryInfo(Query::ContentLength), "4294967296");
    std::vector<char> buffer(64 * 1024);
    std::string body;
    std::size_t count = 0;
    while (o->Read(buffer, count) && count > 0)
        body.append(buffer.data(), count);
    EXPECT_EQ(body, "0123456789");
    EXPECT_FALSE(o->Read(buffer, count));
}

TEST_F(CurlInternetHostileTest, EndlessBodyKeepsComingWhileMemoryStaysBounded) {
    ScriptedServer server(ScriptedServer::EndlessBody());
    const Opened o = Open(server);
    std::vector<char> small(16);
    std::vector<char> buffer(64 * 1024);
    const std::size_t before = gLiveBytes;
    gPeakBytes = before;

    // Tiny reads while the server writes as fast as it can: what the layer holds beyond them
    // must stay small.
    ASSERT_TRUE(Get(o));
    std::size_t count = 0;
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(o->Read(small, count));
        ASSERT_GT(count, 0u);
    }
    EXPECT_LT(gPeakBytes - before, 1024u * 1024);

    std::uint64_t total = 0;
    while (total < 64u * 1024 * 1024) {
        ASSERT_TRUE(o->Read(buffer, count));
        ASSERT_GT(count, 0u);
        total += count;
    }
    EXPECT_LT(gPeakBytes - before, 1024u * 1024);
}

TEST_F(CurlInternetHostileTest, SilentServerFailsByTheReceiveTimeout) {
    ScriptedServer server(ScriptedServer::Silent());
    const Opened o = Open(server);
    ASSERT_TRUE(o->SetOption(Option::ReceiveTimeout, 300u));
    auto send = std::async(std::launch::async, [&] { return o->Send({}, {}); });
    ASSERT_EQ(send.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(send.get());
}

TEST_F(CurlInternetHostileTest, BodyNobodyTakesFailsByTheSendTimeout) {
    ScriptedServer server([](ScriptedServer::Connection& c) { c.Hold(); });
    const Opened o = Open(server, OpenArgs().Verb("POST"));
    ASSERT_TRUE(o->SetOption(Option::SendTimeout, 300u));
    const std::string body(64 * 1024 * 1024, 'b');
    auto send = std::async(std::launch::async, [&] { return o->Send({}, body); });
    ASSERT_EQ(send.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(send.get());
}

TEST_F(CurlInternetHostileTest, ReceiveTimeoutDuringTheBodyFailsTheRead) {
    ScriptedServer server([](ScriptedServer::Connection& c) {
        c.ReadRequest();
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst");
        c.Hold();
    });
    const Opened o = Open(server);
    ASSERT_TRUE(o->SetOption(Option::ReceiveTimeout, 300u));
    ASSERT_TRUE(Get(o));
    std::vector<char> buffer(64);
    std::size_t count = 0;
    ASSERT_TRUE(o->Read(buffer, count));
    EXPECT_EQ(std::string(buffer.data(), count), "first");
    auto read = std::async(std::launch::async, [&] { return o->Read(buffer, count); });
    ASSERT_EQ(read.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(read.get());
}

// ---------------------------------------------------------------------------------------------
// Cancelling from another thread.

TEST_F(CurlInternetHostileTest, CancelWakesABlockedReadAndFailsEveryLaterCall) {
    ScriptedServer server([](ScriptedServer::Connection& c) {
        c.ReadRequest();
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
        c.Hold();
    });
    auto cancel = std::make_shared<InternetCancel>();
    Opened o = Open(server, OpenArgs().Cancel(cancel));
    // Longer than the watchdog: only the wake-up can end the Read in time.
    ASSERT_TRUE(o->SetOption(Option::ReceiveTimeout, 40'000u));
    ASSERT_TRUE(Get(o));
    std::vector<char> buffer(64);
    std::size_t count = 0;
    auto read = std::async(std::launch::async, [&] { return o->Read(buffer, count); });
    // Late enough for the Read to be blocked most times; if the cancel comes first, the Read
    // must fail all the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cancel->Cancel();
    ASSERT_EQ(read.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(read.get());
    EXPECT_FALSE(o->Send({}, {}));
    EXPECT_EQ(o->QueryInfo(Query::StatusCode), std::nullopt);
    EXPECT_EQ(o.connection->OpenRequest("GET", "/", "", "", 0), nullptr);

    // The cancel object outlives the session.
    o.request.reset();
    o.connection.reset();
    o.session.reset();
    cancel->Cancel();
}

// Repeated because the cancel may land at any point of the Send; each round has its own server
// connection and its own cancel object.
TEST_F(CurlInternetHostileTest, CancelRacingSendAndTeardownIsSafe) {
    ScriptedServer server(ScriptedServer::Silent());
    for (int round = 0; round < 20; ++round) {
        auto cancel = std::make_shared<InternetCancel>();
        auto send = std::async(std::launch::async, [&, cancel] {
            Opened o = Open(server, OpenArgs().Cancel(cancel));
            return o.request && o->Send({}, {});
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        cancel->Cancel();
        ASSERT_EQ(send.wait_for(kWatchdog), std::future_status::ready);
        EXPECT_FALSE(send.get());
    }
}

}  // namespace
}  // namespace pw::platform::posix
