#include "platform/native/NativeOs.h"
#ifdef _WIN32
#include "platform/win32/WinInetRequest.h"
#endif

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/platform/InternetTestSupport.h"
#include "tests/support/net/HttpTestServer.h"

// The internet layer's contract, one source for every back end: each case holds for the native
// one (curl on Linux, WinInet on Windows) against a real server on 127.0.0.1.

namespace pw::platform {
namespace {

using namespace pw::platform::inet;
using namespace pw::platform::inettest;
using pw::test::HttpTestServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class InternetTest : public ::testing::Test {
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

    Opened Open(OpenArgs args = {}) { return inettest::Open(internet_, server_.Port(), args); }

    HttpTestServer server_;
    NativeInternet internet_;
};

TEST_F(InternetTest, GetGivesStatusHeadersAndBody) {
    const Opened o = Open(OpenArgs().Object("/page"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "200");
    EXPECT_EQ(o->QueryInfo(Query::ContentType), "text/html");
    EXPECT_EQ(o->QueryInfo(Query::ContentLength), "5");
    EXPECT_EQ(o->QueryInfo(Query::ContentLanguage), std::nullopt);
    EXPECT_EQ(ReadAll(*o.request), "hello");

    const std::string raw = o->QueryInfo(Query::RawHeadersCrlf).value_or("");
    EXPECT_THAT(raw, StartsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(raw, HasSubstr("\r\nX-Custom: v\r\n"));
    EXPECT_TRUE(raw.ends_with("\r\n\r\n"));
}

TEST_F(InternetTest, RequestLineCarriesTheObjectAsGivenWithAgentAcceptAndReferer) {
    const Opened o =
        Open(OpenArgs().Object("/echo/a/../b?q=%41+b").Referer("http://from.example/"));
    ASSERT_TRUE(Get(o));
    ASSERT_EQ(ReadAll(*o.request), "echo");
    const auto sent = server_.LastRequest();
    EXPECT_EQ(sent.method, "GET");
    // Neither normalised nor re-encoded; Wine's WinInet resolves the dot segments.
    EXPECT_EQ(sent.target, RunningUnderWine() ? "/echo/b?q=%41+b" : "/echo/a/../b?q=%41+b");
    EXPECT_EQ(sent.Header("User-Agent"), kAgent);
    EXPECT_EQ(sent.Header("Accept"), "text/html, */*");
    EXPECT_EQ(sent.Header("Referer"), "http://from.example/");

    // Without a referer none is sent; bytes that cannot stand on a request line are escaped.
    const Opened plain = Open(OpenArgs().Object("/echo/a b\xE9"));
    ASSERT_TRUE(Get(plain));
    EXPECT_EQ(server_.LastRequest().target, "/echo/a%20b%E9");
    EXPECT_FALSE(server_.LastRequest().Has("Referer"));
}

TEST_F(InternetTest, PostSendsBodyAndContentTypeAndKeepsOnlyTheFinalHeaders) {
    const Opened o = Open(OpenArgs().Object("/form").Verb("POST"));
    ASSERT_TRUE(o.request);
    // Expect makes the server answer "100 Continue" first: its headers must not stay.
    ASSERT_TRUE(o->AddRequestHeaders("Expect: 100-continue\r\n", kAddReqFlagAdd));
    const std::string data = "a=1&b=2";
    ASSERT_TRUE(o->Send("Content-Type: application/x-www-form-urlencoded", data));
    EXPECT_EQ(StatusCode(o), "200");
    EXPECT_THAT(o->QueryInfo(Query::RawHeadersCrlf).value_or(""), StartsWith("HTTP/1.1 200"));
    EXPECT_EQ(ReadAll(*o.request), "got a=1&b=2");
    const auto sent = server_.LastRequest();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.body, "a=1&b=2");
    EXPECT_EQ(sent.Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(InternetTest, AddedHeadersAndTheRangeLineReachTheServer) {
    const Opened o = Open(OpenArgs().Object("/page"));
    ASSERT_TRUE(o.request);
    EXPECT_FALSE(o->AddRequestHeaders("not a header line\r\n", kAddReqFlagAdd));
    ASSERT_TRUE(o->AddRequestHeaders("X-One: 1\r\nRANGE: bytes=2-\r\n", kAddReqFlagAdd));
    ASSERT_TRUE(o->Send({}, {}));
    const auto sent = server_.LastRequest();
    EXPECT_EQ(sent.Header("X-One"), "1");
    EXPECT_EQ(sent.Header("Range"), "bytes=2-");
    EXPECT_EQ(StatusCode(o), "206");
    EXPECT_EQ(ReadAll(*o.request), "llo");
}

TEST_F(InternetTest, ErrorStatusIsAResponseWithItsBody) {
    const Opened o = Open(OpenArgs().Object("/missing"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "404");
    EXPECT_EQ(ReadAll(*o.request), "no such page");
}

TEST_F(InternetTest, BodyWithoutContentLengthIsReadToItsEnd) {
    const Opened chunked = Open(OpenArgs().Object("/chunked"));
    ASSERT_TRUE(Get(chunked));
    EXPECT_EQ(chunked->QueryInfo(Query::ContentLength), std::nullopt);
    EXPECT_EQ(ReadAll(*chunked.request), "part one,part two");
}

TEST_F(InternetTest, HeaderValueMustFitTheQueryBuffer) {
    if (RunningUnderWine()) GTEST_SKIP() << "Wine's WinInet cuts a header line at 4 KiB";
    const Opened fits = Open(OpenArgs().Object("/etag?n=4095"));
    ASSERT_TRUE(Get(fits));
    EXPECT_EQ(fits->QueryInfo(Query::ETag), std::string(4095, 'e'));

    const Opened tooLong = Open(OpenArgs().Object("/etag?n=4096"));
    ASSERT_TRUE(Get(tooLong));
    EXPECT_EQ(tooLong->QueryInfo(Query::ETag), std::nullopt);
    EXPECT_EQ(tooLong->QueryInfo(Query::RawHeadersCrlf), std::nullopt);
    EXPECT_EQ(StatusCode(tooLong), "200");
}

TEST_F(InternetTest, RedirectIsFollowedAndReportedBeforeTheNextRequest) {
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
    EXPECT_EQ(StatusCode(o), "200");
    EXPECT_EQ(o->QueryInfo(Query::Location), std::nullopt);  // the final response's headers
    EXPECT_EQ(ReadAll(*o.request), "done");
    EXPECT_THAT(redirects, ElementsAre(server_.Url("/next")));
    EXPECT_EQ(requestsSeenAtRedirect, 1u);
    EXPECT_TRUE(onCallerThread);
}

TEST_F(InternetTest, NoAutoRedirectAnswersWithThe3xx) {
    const Opened o = Open(OpenArgs().Object("/start").Flags(kFlagNoAutoRedirect));
    int redirects = 0;
    o.session->SetStatusCallback(
        [&](std::uint32_t status, std::string_view) { redirects += status == kStatusRedirect; });
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "302");
    EXPECT_EQ(o->QueryInfo(Query::Location), "/next");
    EXPECT_EQ(ReadAll(*o.request), "moved");
    EXPECT_EQ(redirects, 0);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(InternetTest, RedirectLoopEndsAtTheRedirectLimit) {
    const Opened o = Open(OpenArgs().Object("/loop"));
    int redirects = 0;
    o.session->SetStatusCallback(
        [&](std::uint32_t status, std::string_view) { redirects += status == kStatusRedirect; });
#ifdef _WIN32
    // WinInet cannot be stopped inside a send without losing its answer: the send fails.
    EXPECT_FALSE(Get(o));
    EXPECT_EQ(o->LastError().code, Error::TooManyRedirects);
    EXPECT_EQ(redirects, kMaxRedirects + 1);
#else
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "302");
    EXPECT_EQ(ReadAll(*o.request), "");
    EXPECT_EQ(redirects, kMaxRedirects);
    EXPECT_EQ(server_.Requests().size(), static_cast<std::size_t>(redirects) + 1);
#endif
}

TEST_F(InternetTest, CookiesLiveAcrossTheRedirectsUnlessSwitchedOff) {
    const Opened withCookies = Open(OpenArgs().Object("/login"));
    ASSERT_TRUE(Get(withCookies));
    EXPECT_EQ(ReadAll(*withCookies.request), "session=42");

    const Opened without = Open(OpenArgs().Object("/login").Flags(kFlagNoCookies));
    ASSERT_TRUE(Get(without));
    EXPECT_EQ(ReadAll(*without.request), "none");
}

TEST_F(InternetTest, BasicChallengeIsAnsweredOnResendWithNewCredentials) {
    const Opened o = Open(OpenArgs().Object("/secret"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "401");
    EXPECT_EQ(o->QueryInfo(Query::WwwAuthenticate), "Basic realm=\"Members\"");
    EXPECT_EQ(ReadAll(*o.request), "who are you");

    ASSERT_TRUE(o->SetOption(Option::Username, "user"));
    ASSERT_TRUE(o->SetOption(Option::Password, "pass"));
    ASSERT_TRUE(o->Send({}, {}));
    EXPECT_EQ(StatusCode(o), "200");
    EXPECT_EQ(ReadAll(*o.request), "secret");
}

TEST_F(InternetTest, ConnectCredentialsAnswerUnlessNoAuth) {
    const Opened o = Open(OpenArgs().Object("/secret").Credentials("user", "pass"));
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(StatusCode(o), "200");

    const Opened noAuth =
        Open(OpenArgs().Object("/secret").Flags(kFlagNoAuth).Credentials("user", "pass"));
    ASSERT_TRUE(Get(noAuth));
    EXPECT_EQ(StatusCode(noAuth), "401");
    EXPECT_FALSE(server_.LastRequest().Has("Authorization"));
}

TEST_F(InternetTest, OfflineSessionNeverSends) {
    auto args = OpenArgs().Object("/page");
    args.params.flags = kOpenFlagOffline;
    const Opened o = Open(args);
    ASSERT_TRUE(o.request);
    EXPECT_FALSE(o->Send({}, {}));
    EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
}  // namespace pw::platform
