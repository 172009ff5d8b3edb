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
#include "tests/platform/InternetTestSupport.h"
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
using namespace pw::platform::inettest;
using pw::test::HttpTestServer;
using pw::test::ProxyProcess;
using pw::test::ScriptedServer;
using ::testing::ElementsAre;

InternetOpenParams ThroughProxy(const ProxyProcess& proxy, std::string bypass = "") {
    InternetOpenParams params = Direct();
    params.accessType = AccessType::Proxy;
    params.proxy = proxy.Address();
    params.bypass = bypass;
    return params;
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
            res.set_content("hello", "text/html");
        });
        server_.Start();
    }

    Opened Open(OpenArgs args = {}) { return inettest::Open(internet_, server_.Port(), args); }

    HttpTestServer server_;
    CurlInternet internet_;
};

TEST_F(CurlInternetTest, DirectIgnoresTheProxyEnvironment) {
    // Nothing listens there: a request that took this proxy would fail.
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:9");
    ScopedEnv noProxy("no_proxy", nullptr);
    ScopedEnv noProxyUpper("NO_PROXY", nullptr);
    const Opened o = Open(OpenArgs().Object("/page"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "200");
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
    EXPECT_EQ(StatusCode(bypassed), "200");
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
    EXPECT_EQ(StatusCode(o), "200");
    EXPECT_TRUE(CameThroughProxy());
}

TEST_F(CurlInternetProxyTest, ProxyChallengeIsAnsweredOnResendWithProxyCredentials) {
    ProxyProcess proxy({.user = "puser", .password = "ppass"});
    ASSERT_TRUE(proxy.Running()) << proxy.Log();
    const Opened o = Open(OpenArgs().Object("/page").Params(ThroughProxy(proxy)));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "407");
    EXPECT_TRUE(ReadAll(*o.request).has_value());

    ASSERT_TRUE(o->SetOption(Option::ProxyUsername, "puser"));
    ASSERT_TRUE(o->SetOption(Option::ProxyPassword, "ppass"));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(StatusCode(o), "200");
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
        inettest::Open(internet_, tls.Port(),
                       OpenArgs().Flags(kFlagSecure).Host("localhost").Params(ThroughProxy(proxy)));
    ASSERT_TRUE(o.request);
    ASSERT_TRUE(o->SetOption(Option::SecurityFlags, kSecurityFlagIgnoreUnknownCa));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(StatusCode(o), "407");
    EXPECT_EQ(ReadAll(*o.request), "");

    ASSERT_TRUE(o->SetOption(Option::ProxyUsername, "puser"));
    ASSERT_TRUE(o->SetOption(Option::ProxyPassword, "ppass"));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(StatusCode(o), "200");
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
        return inettest::Open(internet_, server.Port(), std::move(args));
    }
    CurlInternet internet_;
};

TEST_F(CurlInternetHostileTest, RefusedConnectionIsNoResponse) {
    // A bound socket that does not listen refuses connections for as long as it is held.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const Opened o = inettest::Open(internet_, ntohs(address.sin_port), {});
    EXPECT_FALSE(Get(o));
    std::size_t count = 0;
    std::vector<char> buffer(16);
    EXPECT_FALSE(o->Read(buffer, count));
    close(fd);
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

}  // namespace
}  // namespace pw::platform::posix
