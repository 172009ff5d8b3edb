#pragma once
// A raw TCP listener on 127.0.0.1 that treats every connection with a script: for servers that
// misbehave in ways a real web server will not (garbage, endless headers or bodies, silence).
//
// Threads: each connection runs its script on a thread of its own; stopping (the destructor)
// wakes every script blocked in Send, ReadRequest or Hold and waits for them to end.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pw::test {

// A socket of the system: SOCKET on Windows, a descriptor elsewhere.
#ifdef _WIN32
using NativeSocket = std::uintptr_t;
#else
using NativeSocket = int;
#endif

class ScriptedServer {
  public:
    class Connection {
      public:
        // The request's header block (up to its empty line, at most 64 KiB); "" when the peer
        // closed first.
        std::string ReadRequest();
        // Writes all bytes; false once the peer is gone or the server stops.
        bool Send(std::string_view bytes);
        // Blocks until the server stops: a server that accepts and never answers.
        void Hold();
        // Waits this long; false when the server stops first.
        bool Pause(std::chrono::milliseconds time);
        // Drops the connection with a reset instead of a clean close.
        void Reset();

      private:
        friend class ScriptedServer;
        Connection(ScriptedServer& server, NativeSocket fd) : server_(server), fd_(fd) {}
        ScriptedServer& server_;
        NativeSocket fd_;
    };
    using Script = std::function<void(Connection&)>;

    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Url(std::string_view path = "/") const;
    int Accepted() const { return accepted_; }
    // Body and header bytes written by the scripts so far.
    std::uint64_t BytesSent() const { return bytesSent_; }

    // Reads the request, writes these bytes, closes.
    static Script Reply(std::string bytes);
    // A 200 status line followed by header lines adding up to about this many bytes.
    static Script HugeHeaders(std::size_t bytes);
    // A 200 response without a length whose body never ends.
    static Script EndlessBody();
    // Reads the request and never answers.
    static Script Silent();
    // Reads the request, writes these bytes, then falls silent without closing.
    static Script ReplyAndHold(std::string bytes);
    // Reads the request, writes these bytes, then resets the connection.
    static Script ReplyAndReset(std::string bytes);
    // Reads the request, writes the head, then one byte of body every interval, for ever.
    static Script Trickle(std::string head, std::chrono::milliseconds interval);

  private:
    void AcceptLoop();
    void Serve(NativeSocket fd);

    Script script_;
    NativeSocket listenFd_{};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::atomic<std::uint64_t> bytesSent_{0};
    std::mutex mutex_;
    std::condition_variable stopped_;
    std::set<NativeSocket> open_;  // connection sockets, shut down on stop
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// A listening socket whose backlog is full and never accepted from: a connect to it gets no
// answer, as with a host that drops the packets. (Linux drops them, and so does Wine, which uses
// the host's sockets; Windows itself refuses such a connection instead.)
class UnansweredListener {
  public:
    UnansweredListener();
    ~UnansweredListener();
    UnansweredListener(const UnansweredListener&) = delete;
    UnansweredListener& operator=(const UnansweredListener&) = delete;
    std::string Url(std::string_view path = "/") const;

  private:
    NativeSocket listenFd_{};
    std::vector<NativeSocket> fillers_;
    std::uint16_t port_ = 0;
};

}  // namespace pw::test
