#include "tests/support/net/ProxyProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace pw::test {

namespace {

constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A port nobody listens on right now: bound to port 0, read back, closed again.
std::uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool Accepts(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in address = Loopback(port);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

}  // namespace

bool ProxyProcess::Available() {
    return access(kTinyproxy, X_OK) == 0;
}

ProxyProcess::ProxyProcess() : ProxyProcess(Options{}) {}

ProxyProcess::ProxyProcess(Options options) {
    if (!Available()) return;
    // Another process may take the free port before tinyproxy binds it: try again then.
    for (int attempt = 0; attempt < 5 && !Running(); ++attempt) {
        const std::uint16_t port = FreePort();
        if (port != 0) StartOn(port, options);
    }
}

ProxyProcess::~ProxyProcess() {
    Stop();
}

std::string ProxyProcess::Address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string ProxyProcess::Log() const {
    return ReadFile(dir_ / "tinyproxy.log") + ReadFile(dir_ / "output.log");
}

bool ProxyProcess::StartOn(std::uint16_t port, const Options& options) {
    std::string config = "Port " + std::to_string(port) +
                         "\n"
                         "Listen 127.0.0.1\n"
                         "Timeout 30\n"
                         "MaxClients 32\n"
                         "Allow 127.0.0.1\n"
                         "LogLevel Info\n"
                         "LogFile \"" +
                         (dir_ / "tinyproxy.log") + "\"\n";
    if (!options.user.empty()) {
        config += "BasicAuth " + options.user + " " + options.password + "\n";
    }
    const std::string configFile = dir_.Write("tinyproxy.conf", config);
    const std::string output = dir_ / "output.log";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<std::string> args = {kTinyproxy, "-d", "-c", configFile};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kTinyproxy, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return false;  // it gave up (port taken?)
        if (Accepts(port)) {
            pid_ = pid;
            port_ = port;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

void ProxyProcess::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

}  // namespace pw::test
