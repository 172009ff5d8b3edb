// The scripted server seen from a raw client socket, on the system's own sockets.
#include "tests/support/net/ScriptedServer.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace pw::test {
namespace {

using namespace std::chrono_literals;

#ifdef _WIN32
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
void CloseSocket(NativeSocket s) {
    closesocket(s);
}
bool WasReset() {
    return WSAGetLastError() == WSAECONNRESET;
}
#else
void CloseSocket(NativeSocket s) {
    close(s);
}
bool WasReset() {
    return errno == ECONNRESET;
}
#endif

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Blocks until the socket can be read (or written), at most this long.
bool Ready(NativeSocket s, std::chrono::milliseconds wait, bool forWriting = false) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{static_cast<long>(wait.count() / 1000),
                  static_cast<long>(wait.count() % 1000 * 1000)};
    return select(static_cast<int>(s + 1), forWriting ? nullptr : &set, forWriting ? &set : nullptr,
                  nullptr, &limit) == 1;
}

class Client {
  public:
    enum class Outcome { Data, Closed, Reset, Silent };
    struct Received {
        Outcome outcome;
        std::string bytes;
    };

    explicit Client(std::uint16_t port) : s_(socket(AF_INET, SOCK_STREAM, 0)) {
        const sockaddr_in address = Loopback(port);
        connected_ = connect(s_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { CloseSocket(s_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }
    void Send(const std::string& bytes) {
        ASSERT_EQ(send(s_, bytes.data(), static_cast<int>(bytes.size()), 0),
                  static_cast<int>(bytes.size()));
    }
    // One read; the wait is a watchdog except where silence is what is tested.
    Received Receive(std::chrono::milliseconds wait = 10s) {
        if (!Ready(s_, wait)) return {Outcome::Silent, {}};
        char buffer[4096];
        const auto n = recv(s_, buffer, sizeof buffer, 0);
        if (n > 0) return {Outcome::Data, std::string(buffer, static_cast<std::size_t>(n))};
        if (n == 0) return {Outcome::Closed, {}};
        return {WasReset() ? Outcome::Reset : Outcome::Closed, {}};
    }
    // Everything up to the end of the connection, and how it ended.
    Received ReceiveAll() {
        std::string all;
        for (;;) {
            Received r = Receive();
            if (r.outcome != Outcome::Data) return {r.outcome, all};
            all += r.bytes;
        }
    }

  private:
    NativeSocket s_;
    bool connected_ = false;
};

constexpr const char* kRequest = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

TEST(ScriptedServer, ReplyAnswersTheRequestAndCloses) {
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    ScriptedServer server(ScriptedServer::Reply(response));
    EXPECT_EQ(server.Url("/a"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a");
    for (int i = 1; i <= 2; ++i) {
        Client client(server.Port());
        ASSERT_TRUE(client.Connected());
        client.Send(kRequest);
        const Client::Received r = client.ReceiveAll();
        EXPECT_EQ(r.outcome, Client::Outcome::Closed);
        EXPECT_EQ(r.bytes, response);
        EXPECT_EQ(server.Accepted(), i);
    }
    EXPECT_EQ(server.BytesSent(), 2 * response.size());
}

TEST(ScriptedServer, SilentSaysNothingUntilItStops) {
    auto server = std::make_unique<ScriptedServer>(ScriptedServer::Silent());
    Client asked(server->Port());
    Client mute(server->Port());  // never sends a request: its script waits in ReadRequest
    ASSERT_TRUE(asked.Connected() && mute.Connected());
    asked.Send(kRequest);
    EXPECT_EQ(asked.Receive(300ms).outcome, Client::Outcome::Silent);

    server.reset();  // must wake both scripts, whatever they block in
    EXPECT_EQ(asked.ReceiveAll().outcome, Client::Outcome::Closed);
    EXPECT_EQ(mute.ReceiveAll().outcome, Client::Outcome::Closed);
}

TEST(ScriptedServer, TrickleSendsTheHeadThenOneByteAtATime) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    ScriptedServer server(ScriptedServer::Trickle(head, 20ms));
    Client client(server.Port());
    client.Send(kRequest);
    std::string got;
    while (got.size() < head.size() + 3) {
        const Client::Received r = client.Receive();
        ASSERT_EQ(r.outcome, Client::Outcome::Data);
        got += r.bytes;
    }
    EXPECT_EQ(got.substr(0, head.size()), head);
    EXPECT_EQ(got.substr(head.size()).find_first_not_of('t'), std::string::npos);
    EXPECT_LT(got.size(), head.size() + 100);
}

TEST(ScriptedServer, ReplyAndResetEndsWithAResetNotAClose) {
    ScriptedServer server(ScriptedServer::ReplyAndReset("partial"));
    Client client(server.Port());
    client.Send(kRequest);
    const Client::Received r = client.ReceiveAll();
    EXPECT_EQ(r.bytes, "partial");
#ifdef _WIN32
    if (UnderWine()) GTEST_SKIP() << "Wine closes a socket with SO_LINGER 0 gracefully: no reset";
#endif
    EXPECT_EQ(r.outcome, Client::Outcome::Reset);
}

TEST(UnansweredListener, AConnectGetsNoAnswer) {
    UnansweredListener listener;
    const std::string url = listener.Url();
    const auto colon = url.rfind(':');
    const auto port = static_cast<std::uint16_t>(std::stoi(url.substr(colon + 1)));

    const NativeSocket s = socket(AF_INET, SOCK_STREAM, 0);
#ifdef _WIN32
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
#else
    fcntl(s, F_SETFL, O_NONBLOCK);
#endif
    const sockaddr_in address = Loopback(port);
    connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    // Neither accepted nor refused: the attempt is still pending.
    EXPECT_FALSE(Ready(s, 500ms, true));
    CloseSocket(s);
}

}  // namespace
}  // namespace pw::test
