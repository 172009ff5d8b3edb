#include "platform/native/NativeOs.h"

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/platform/InternetTestSupport.h"
#include "tests/support/net/ScriptedServer.h"

// Hostile and silent servers, and stops from another thread: the same contract for every back
// end, against raw TCP scripts on 127.0.0.1.

namespace pw::platform {
namespace {

using namespace pw::platform::inet;
using namespace pw::platform::inettest;
using pw::test::ScriptedServer;

constexpr std::chrono::seconds kWatchdog{20};

class InternetHostileTest : public ::testing::Test {
  protected:
    Opened Open(const ScriptedServer& server, OpenArgs args = {}) {
        return inettest::Open(internet_, server.Port(), std::move(args));
    }
    NativeInternet internet_;
};

TEST_F(InternetHostileTest, BodyEndedByTheCloseIsReadToItsEnd) {
    // Line ends of bare LF come back as CR LF.
    ScriptedServer closing(ScriptedServer::Reply("HTTP/1.0 200 OK\nX-A: 1\n\nuntil the close"));
    const Opened o = Open(closing);
    ASSERT_TRUE(Get(o));
    EXPECT_EQ(o->QueryInfo(Query::ContentLength), std::nullopt);
    EXPECT_EQ(o->QueryInfo(Query::RawHeadersCrlf), "HTTP/1.0 200 OK\r\nX-A: 1\r\n\r\n");
    EXPECT_EQ(ReadAll(*o.request), "until the close");
}

TEST_F(InternetHostileTest, NoResponseWhenThereIsNoProperHeaderBlock) {
    ScriptedServer garbage(ScriptedServer::Reply("SSH-2.0-OpenSSH_9.2\r\n\r\nhello"));
    EXPECT_FALSE(Get(Open(garbage)));

    ScriptedServer huge(ScriptedServer::HugeHeaders(1024 * 1024));  // four times any limit
    EXPECT_FALSE(Get(Open(huge)));

    ScriptedServer empty(ScriptedServer::Reply(""));
    EXPECT_FALSE(Get(Open(empty)));
}

TEST_F(InternetHostileTest, BodyShorterThanAnnouncedGivesItsBytesThenFails) {
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

TEST_F(InternetHostileTest, SilentServerFailsByTheReceiveTimeout) {
    ScriptedServer server(ScriptedServer::Silent());
    const Opened o = Open(server);
    ASSERT_TRUE(o->SetOption(Option::ReceiveTimeout, 300u));
    auto send = std::async(std::launch::async, [&] { return o->Send({}, {}); });
    ASSERT_EQ(send.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(send.get());
}

TEST_F(InternetHostileTest, BodyNobodyTakesFailsByTheSendTimeout) {
    ScriptedServer server([](ScriptedServer::Connection& c) { c.Hold(); });
    const Opened o = Open(server, OpenArgs().Verb("POST"));
    ASSERT_TRUE(o->SetOption(Option::SendTimeout, 300u));
    const std::string body(64 * 1024 * 1024, 'b');
    auto send = std::async(std::launch::async, [&] { return o->Send({}, body); });
    ASSERT_EQ(send.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(send.get());
}

TEST_F(InternetHostileTest, ReceiveTimeoutDuringTheBodyFailsTheRead) {
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

TEST_F(InternetHostileTest, CancelWakesABlockedReadAndFailsEveryLaterCall) {
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
TEST_F(InternetHostileTest, CancelRacingSendAndTeardownIsSafe) {
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
}  // namespace pw::platform
