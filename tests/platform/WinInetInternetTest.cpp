#include "platform/win32/WinInetInternet.h"

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/win32/WinInetErrors.h"
#include "platform/win32/WinInetRequest.h"
#include "tests/platform/InternetTestSupport.h"
#include "tests/support/net/HttpTestServer.h"

// What the WinInet back end adds to the shared contract: its own flags and notifications pass
// through unchanged, and stops and time limits close the handles under a blocked call.

namespace pw::platform::win32 {
namespace {

using namespace pw::platform::inet;
using namespace pw::platform::inettest;
using pw::test::HttpTestServer;

constexpr std::chrono::seconds kWatchdog{20};

// Holds a server handler until the test lets it go (at the latest when the test ends).
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;

    void Wait() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return open; });
    }
    void Open() {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        cv.notify_all();
    }
};

class WinInetInternetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.Http().Get("/start", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/next");
        });
        server_.Http().Get("/next", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("done", "text/plain");
        });
        server_.Http().Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("hello", "text/plain");
        });
        // 100 bytes announced, "first" sent, the rest only when the gate opens.
        server_.Http().Get("/held", [gate = gate_](const httplib::Request&,
                                                   httplib::Response& res) {
            res.set_content_provider(100, "text/plain",
                                     [gate](std::size_t offset, std::size_t, httplib::DataSink& s) {
                                         if (offset == 0) return s.write("first", 5);
                                         gate->Wait();
                                         return false;
                                     });
        });
        // Takes the request and answers only when the gate opens.
        server_.Http().Get("/silent",
                           [gate = gate_](const httplib::Request&, httplib::Response& res) {
                               gate->Wait();
                               res.set_content("late", "text/plain");
                           });
        server_.Start();
    }
    void TearDown() override { gate_->Open(); }

    Opened Open(OpenArgs args) { return inettest::Open(internet_, server_.Port(), args); }

    // Reads the first bytes of /held, then reads on another thread until it returns. A
    // synchronous WinInet read waits for its whole buffer: the first asks for what is there.
    static std::future<bool> BlockedRead(const Opened& o, std::vector<char>& buffer) {
        std::size_t count = 0;
        EXPECT_TRUE(o->Read(std::span(buffer).first(5), count));
        EXPECT_EQ(std::string(buffer.data(), count), "first");
        return std::async(std::launch::async, [&o, &buffer] {
            std::size_t more = 0;
            return o->Read(buffer, more);
        });
    }

    std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
    HttpTestServer server_;
    WinInetInternet internet_;
};

TEST_F(WinInetInternetTest, StatusCallbackPassesWinInetsNumbersInOrderWithTheRedirectUrl) {
    const Opened o = Open(OpenArgs().Object("/start"));
    std::vector<std::uint32_t> statuses;
    std::vector<std::string> redirects;
    const auto caller = std::this_thread::get_id();
    bool onCallerThread = true;
    o.session->SetStatusCallback([&](std::uint32_t status, std::string_view info) {
        onCallerThread = onCallerThread && std::this_thread::get_id() == caller;
        statuses.push_back(status);
        if (status == kStatusRedirect) redirects.emplace_back(info);
    });
    ASSERT_TRUE(Get(o));
    const std::size_t answered = statuses.size();
    EXPECT_EQ(ReadAll(*o.request), "done");
    statuses.resize(answered);  // reads add notices of their own
    EXPECT_THAT(redirects, ::testing::ElementsAre(server_.Url("/next")));
    EXPECT_TRUE(onCallerThread);
    // Each hop is sent, then answered; the redirect comes between the two hops.
    const std::vector<std::uint32_t> hop = {kStatusSendingRequest, kStatusRequestSent,
                                            kStatusReceivingResponse, kStatusResponseReceived};
    std::vector<std::uint32_t> expected = hop;
    expected.push_back(kStatusRedirect);
    expected.insert(expected.end(), hop.begin(), hop.end());
    std::vector<std::uint32_t> seen;
    for (std::uint32_t status : statuses) {
        if (std::find(expected.begin(), expected.end(), status) != expected.end()) {
            seen.push_back(status);
        }
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(WinInetInternetTest, RequestFlagsReachWinInetUnchanged) {
    struct Case {
        std::uint32_t flags;
        const char* object;
        const char* status;
        const char* body;
    };
    const Case cases[] = {
        {0, "/start", "200", "done"},
        {kFlagNoAutoRedirect, "/start", "302", ""},
        {kFlagNoAutoRedirect | kFlagReload | kFlagNoCacheWrite, "/start", "302", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        const Opened o = Open(OpenArgs().Object(c.object).Flags(c.flags));
        ASSERT_TRUE(Get(o));
        EXPECT_EQ(StatusCode(o), c.status);
        EXPECT_EQ(ReadAll(*o.request), c.body);
    }
    // WinInet's own header for this flag.
    const Opened noCache = Open(OpenArgs().Object("/page").Flags(kFlagPragmaNoCache));
    ASSERT_TRUE(Get(noCache));
    EXPECT_EQ(server_.LastRequest().Header("Pragma"), "no-cache");
}

TEST_F(WinInetInternetTest, CancelClosesTheHandlesUnderABlockedRead) {
    auto cancel = std::make_shared<InternetCancel>();
    Opened o = Open(OpenArgs().Object("/held").Cancel(cancel));
    ASSERT_TRUE(o->SetOption(Option::ReceiveTimeout, 40'000u));  // past the watchdog
    ASSERT_TRUE(Get(o));
    std::vector<char> buffer(64);
    auto read = BlockedRead(o, buffer);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel->Cancel();
    ASSERT_EQ(read.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(read.get());
    EXPECT_EQ(o->LastError().code, Error::Cancelled);
    EXPECT_FALSE(o->Send({}, {}));
    EXPECT_EQ(o->LastError().code, Error::Cancelled);
    // Every handle was closed once, by the cancel: letting the objects go closes none again.
    o.request.reset();
    o.connection.reset();
    o.session.reset();
}

// Repeated because the cancel may land at any point of the Send, also while a notification is
// being handed to the waiting thread; each round has its own cancel object and session.
TEST_F(WinInetInternetTest, CancelRacingSendAndTeardownIsSafe) {
    for (int round = 0; round < 20; ++round) {
        auto cancel = std::make_shared<InternetCancel>();
        auto send = std::async(std::launch::async, [&, cancel] {
            Opened o = Open(OpenArgs().Object("/silent").Cancel(cancel));
            if (!o.request) return false;
            // A callback, so that notices are being handed over when the cancel lands.
            o.session->SetStatusCallback([](std::uint32_t, std::string_view) {});
            const bool sent = o->Send({}, {});
            EXPECT_EQ(o->LastError().code, Error::Cancelled);
            return sent;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        cancel->Cancel();
        ASSERT_EQ(send.wait_for(kWatchdog), std::future_status::ready);
        EXPECT_FALSE(send.get());
    }
}

TEST_F(WinInetInternetTest, TotalTimeoutClosesTheRequestUnderABlockedRead) {
    const Opened o = Open(OpenArgs().Object("/held"));
    ASSERT_TRUE(o->SetOption(Option::ReceiveTimeout, 40'000u));
    ASSERT_TRUE(o->SetOption(Option::TotalTimeout, 500u));
    ASSERT_TRUE(Get(o));
    std::vector<char> buffer(64);
    auto read = BlockedRead(o, buffer);
    ASSERT_EQ(read.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(read.get());
    EXPECT_EQ(o->LastError().code, Error::TotalTimeout);
    EXPECT_EQ(o->LastError().timeoutMs, 500u);
    std::size_t count = 0;
    EXPECT_FALSE(o->Read(buffer, count));

    // A limit that does not run out changes nothing, also after the body has ended.
    const Opened fine = Open(OpenArgs().Object("/page"));
    ASSERT_TRUE(fine->SetOption(Option::TotalTimeout, 200u));
    ASSERT_TRUE(Get(fine));
    EXPECT_EQ(ReadAll(*fine.request), "hello");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(fine->QueryInfo(Query::StatusCode), "200");
    EXPECT_EQ(fine->LastError().code, Error::None);
}

TEST(WinInetErrorsTest, WinInetNumbersBecomeTheLayersErrors) {
    const Timeouts limits{.connectMs = 1, .sendMs = 2, .receiveMs = 3};
    struct Case {
        DWORD code;
        Phase phase;
        Error error;
        std::uint32_t ms;
    };
    const Case cases[] = {
        {ERROR_INTERNET_TIMEOUT, Phase::Connecting, Error::ConnectTimeout, 1},
        {ERROR_INTERNET_TIMEOUT, Phase::Sending, Error::SendTimeout, 2},
        {ERROR_INTERNET_TIMEOUT, Phase::Receiving, Error::Timeout, 3},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, Phase::Connecting, Error::NameNotResolved, 0},
        {ERROR_INTERNET_CONNECTION_ABORTED, Phase::Receiving, Error::ConnectionAborted, 0},
        {ERROR_HTTP_INVALID_SERVER_RESPONSE, Phase::Receiving, Error::InvalidServerResponse, 0},
        {ERROR_INTERNET_DISCONNECTED, Phase::Connecting, Error::Disconnected, 0},
        {ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, Phase::Sending, Error::RedirectFailed, 0},
        {ERROR_INTERNET_SEC_INVALID_CERT, Phase::Connecting, Error::CertErrors, 0},
        {ERROR_INVALID_HANDLE, Phase::Receiving, Error::Cancelled, 0},
        {ERROR_NOT_ENOUGH_MEMORY, Phase::Receiving, Error::CannotConnect, 0},  // unknown
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const InternetError e = ErrorFromWinInet(c.code, c.phase, limits);
        EXPECT_EQ(e.code, c.error);
        EXPECT_EQ(e.timeoutMs, c.ms);
    }
}

TEST(WinInetAuthTest, BasicLoginsAndChallenges) {
    // RFC 7617's example, and each padding length.
    EXPECT_EQ(BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(BasicAuthorization("ann", "secret"), "Basic YW5uOnNlY3JldA==");
    EXPECT_EQ(BasicAuthorization("a", "b"), "Basic YTpi");
    EXPECT_EQ(BasicAuthorization("ab", ""), "Basic YWI6");
    struct Case {
        const char* challenge;
        bool basic;
    };
    const Case cases[] = {
        {"Basic realm=\"Members\"", true},
        {"basic", true},
        {"Digest realm=\"x\", nonce=\"y\"", false},
        {"Negotiate, Basic realm=\"x\"", true},
        {"Digest realm=\"Basic\"", false},
        {"Basically", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OffersBasic(c.challenge), c.basic) << c.challenge;
}

}  // namespace
}  // namespace pw::platform::win32
