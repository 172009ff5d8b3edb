#include "tests/support/net/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace pw::test {

namespace {

// A socket listening on a free port of 127.0.0.1.
int ListenOnLoopback(int backlog, std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

std::string ScriptedServer::Connection::ReadRequest() {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 64 * 1024) {
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        request.append(buffer, static_cast<std::size_t>(n));
    }
    return request;
}

bool ScriptedServer::Connection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        if (server_.stopping_) return false;
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
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
    const linger abrupt{1, 0};  // close() then sends a reset
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
}

ScriptedServer::ScriptedServer(Script script) : script_(std::move(script)) {
    listenFd_ = ListenOnLoopback(16, port_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int fd : open_)
            shutdown(fd, SHUT_RDWR);  // wakes blocked sends and reads
    }
    stopped_.notify_all();
    shutdown(listenFd_, SHUT_RDWR);  // wakes accept
    acceptor_.join();
    for (std::thread& t : connections_)
        t.join();
    close(listenFd_);
}

std::string ScriptedServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void ScriptedServer::AcceptLoop() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR && !stopping_) continue;
            return;
        }
        std::lock_guard lock(mutex_);
        if (stopping_) {
            close(fd);
            return;
        }
        ++accepted_;
        open_.insert(fd);
        connections_.emplace_back([this, fd] { Serve(fd); });
    }
}

void ScriptedServer::Serve(int fd) {
    Connection connection(*this, fd);
    script_(connection);
    std::lock_guard lock(mutex_);
    open_.erase(fd);
    close(fd);
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
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    // Fill the accept queue; later connection attempts are then dropped unanswered.
    for (int i = 0; i < 3; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) continue;
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers_.push_back(fd);
    }
}

UnansweredListener::~UnansweredListener() {
    for (int fd : fillers_)
        close(fd);
    close(listenFd_);
}

std::string UnansweredListener::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace pw::test
