#include "tests/support/net/ScriptedServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <stdexcept>
#include <type_traits>

namespace pw::test {

namespace {

// The few places where Windows sockets differ from the POSIX ones.
#ifdef _WIN32
static_assert(std::is_same_v<SOCKET, NativeSocket>);
constexpr NativeSocket kNoSocket = INVALID_SOCKET;
constexpr int kShutBoth = SD_BOTH;
constexpr int kNoSignal = 0;
using SockLen = int;
using IoSize = int;

class WinsockSession {
  public:
    WinsockSession() {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            throw std::runtime_error("Windows sockets do not start");
    }
    ~WinsockSession() { WSACleanup(); }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

// Sockets are inheritable handles on Windows: a child process must not keep a connection open.
NativeSocket OpenSocket(bool nonBlocking) {
    static const WinsockSession session;
    const SOCKET s = WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    u_long on = 1;
    if (s != INVALID_SOCKET && nonBlocking) ioctlsocket(s, FIONBIO, &on);
    return s;
}

NativeSocket Accept(NativeSocket listener) {
    const SOCKET s = accept(listener, nullptr, nullptr);
    if (s != INVALID_SOCKET)
        SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return s;
}

void CloseSocket(NativeSocket s) {
    closesocket(s);
}
bool Interrupted() {
    return false;
}

// A shutdown does not end a send or receive already blocked on Windows; cancelling does.
void WakeConnection(NativeSocket s) {
    shutdown(s, SD_BOTH);
    CancelIoEx(reinterpret_cast<HANDLE>(s), nullptr);
}
#else
constexpr NativeSocket kNoSocket = -1;
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kNoSignal = MSG_NOSIGNAL;
using SockLen = socklen_t;
using IoSize = std::size_t;

NativeSocket OpenSocket(bool nonBlocking) {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}

NativeSocket Accept(NativeSocket listener) {
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

void CloseSocket(NativeSocket s) {
    close(s);
}
bool Interrupted() {
    return errno == EINTR;
}

// Wakes blocked sends and reads.
void WakeConnection(NativeSocket s) {
    shutdown(s, SHUT_RDWR);
}
#endif

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A socket listening on a free port of 127.0.0.1.
NativeSocket ListenOnLoopback(int backlog, std::uint16_t& port) {
    const NativeSocket fd = OpenSocket(false);
    sockaddr_in address = Loopback(0);
    SockLen length = sizeof address;
    if (fd == kNoSocket || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd != kNoSocket) CloseSocket(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Makes a thread blocked in accept() return. Linux wakes it when the listener is shut down;
// Windows does not, so a connection of our own arrives instead.
void WakeAcceptor(NativeSocket listener, std::uint16_t port) {
#ifdef _WIN32
    const NativeSocket s = OpenSocket(false);
    const sockaddr_in address = Loopback(port);
    connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    CloseSocket(s);
#else
    (void)port;
#endif
    shutdown(listener, kShutBoth);
}

}  // namespace

std::string ScriptedServer::Connection::ReadRequest() {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 64 * 1024) {
        const auto n = recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && Interrupted()) continue;
        if (n <= 0) return {};
        request.append(buffer, static_cast<std::size_t>(n));
    }
    return request;
}

bool ScriptedServer::Connection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        if (server_.stopping_) return false;
        const auto n = send(fd_, bytes.data(), static_cast<IoSize>(bytes.size()), kNoSignal);
        if (n < 0 && Interrupted()) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        server_.bytesSent_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

void ScriptedServer::Connection::Hold() {
    std::unique_lock lock(server_.mutex_);
    server_.stopped_.wait(lock, [this] { return server_.stopping_.load(); });
}

bool ScriptedServer::Connection::Pause(std::chrono::milliseconds time) {
    std::unique_lock lock(server_.mutex_);
    return !server_.stopped_.wait_for(lock, time, [this] { return server_.stopping_.load(); });
}

void ScriptedServer::Connection::Reset() {
    const linger abrupt{1, 0};  // closing then sends a reset
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abrupt), sizeof abrupt);
}

ScriptedServer::ScriptedServer(Script script) : script_(std::move(script)) {
    listenFd_ = ListenOnLoopback(16, port_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (NativeSocket fd : open_)
            WakeConnection(fd);
    }
    stopped_.notify_all();
    WakeAcceptor(listenFd_, port_);
    acceptor_.join();
    for (std::thread& t : connections_)
        t.join();
    CloseSocket(listenFd_);
}

std::string ScriptedServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void ScriptedServer::AcceptLoop() {
    for (;;) {
        const NativeSocket fd = Accept(listenFd_);
        if (fd == kNoSocket) {
            if (Interrupted() && !stopping_) continue;
            return;
        }
        std::lock_guard lock(mutex_);
        if (stopping_) {
            CloseSocket(fd);
            return;
        }
        ++accepted_;
        open_.insert(fd);
        connections_.emplace_back([this, fd] { Serve(fd); });
    }
}

void ScriptedServer::Serve(NativeSocket fd) {
    Connection connection(*this, fd);
    script_(connection);
    std::lock_guard lock(mutex_);
    open_.erase(fd);
    CloseSocket(fd);
}

ScriptedServer::Script ScriptedServer::Reply(std::string bytes) {
    return [bytes = std::move(bytes)](Connection& c) {
        c.ReadRequest();
        c.Send(bytes);
    };
}

ScriptedServer::Script ScriptedServer::HugeHeaders(std::size_t bytes) {
    return [bytes](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\n")) return;
        const std::string filler(1000, 'x');
        for (std::size_t sent = 0, i = 0; sent < bytes; ++i) {
            const std::string line = "X-Filler-" + std::to_string(i) + ": " + filler + "\r\n";
            if (!c.Send(line)) return;
            sent += line.size();
        }
        c.Send("Content-Length: 2\r\n\r\nok");
    };
}

ScriptedServer::Script ScriptedServer::EndlessBody() {
    return [](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n")) return;
        const std::string block(64 * 1024, 'z');
        while (c.Send(block)) {
        }
    };
}

ScriptedServer::Script ScriptedServer::Silent() {
    return [](Connection& c) {
        c.ReadRequest();
        c.Hold();
    };
}

ScriptedServer::Script ScriptedServer::ReplyAndHold(std::string bytes) {
    return [bytes = std::move(bytes)](Connection& c) {
        c.ReadRequest();
        if (c.Send(bytes)) c.Hold();
    };
}

ScriptedServer::Script ScriptedServer::ReplyAndReset(std::string bytes) {
    return [bytes = std::move(bytes)](Connection& c) {
        c.ReadRequest();
        c.Send(bytes);
        c.Pause(std::chrono::milliseconds(20));  // let the bytes reach the peer first
        c.Reset();
    };
}

ScriptedServer::Script ScriptedServer::Trickle(std::string head,
                                               std::chrono::milliseconds interval) {
    return [head = std::move(head), interval](Connection& c) {
        c.ReadRequest();
        if (!c.Send(head)) return;
        while (c.Pause(interval) && c.Send("t")) {
        }
    };
}

UnansweredListener::UnansweredListener() {
    listenFd_ = ListenOnLoopback(0, port_);
    const sockaddr_in address = Loopback(port_);
    // Fill the accept queue; later connection attempts are then dropped unanswered.
    for (int i = 0; i < 3; ++i) {
        const NativeSocket fd = OpenSocket(true);
        if (fd == kNoSocket) continue;
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fillers_.push_back(fd);
    }
}

UnansweredListener::~UnansweredListener() {
    for (NativeSocket fd : fillers_)
        CloseSocket(fd);
    CloseSocket(listenFd_);
}

std::string UnansweredListener::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace pw::test
