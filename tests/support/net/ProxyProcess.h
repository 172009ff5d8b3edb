#pragma once
// A real tinyproxy for tests: started in the foreground on a free port of 127.0.0.1 with a
// configuration written to a temp folder, optionally demanding BasicAuth; stopped by its pid in
// the destructor. Tests skip when tinyproxy is not installed:
//   if (!ProxyProcess::Available()) GTEST_SKIP() << "tinyproxy is not installed";

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "tests/support/TempDir.h"

namespace pw::test {

class ProxyProcess {
  public:
    struct Options {
        // BasicAuth is demanded when the user is not empty.
        std::string user;
        std::string password;
    };

    static bool Available();

    ProxyProcess();
    // Returns once the proxy accepts connections; Running() is false when it never did.
    explicit ProxyProcess(Options options);
    ~ProxyProcess();
    ProxyProcess(const ProxyProcess&) = delete;
    ProxyProcess& operator=(const ProxyProcess&) = delete;

    bool Running() const { return pid_ > 0; }
    std::uint16_t Port() const { return port_; }
    // "127.0.0.1:<port>"
    std::string Address() const;
    // What tinyproxy wrote, for the message of a failing test.
    std::string Log() const;

  private:
    bool StartOn(std::uint16_t port, const Options& options);
    void Stop();

    TempDir dir_;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace pw::test
