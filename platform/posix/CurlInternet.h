#pragma once
// The internet layer on libcurl: one curl easy handle and one multi handle per request, driven
// on the calling thread. Send returns once the final response's headers are in; Read pulls the
// body in the caller's steps, pausing the transfer while nobody reads, so memory stays bounded.
// Sessions and connections are here; a request and its exchange are CurlRequest.h's.
//
// Threads: a session and everything opened from it are used by one thread; InternetCancel may
// be set from any thread and wakes a blocked Send or Read at once.

#include <string>

#include "platform/Internet.h"

namespace pw::platform::posix {

// Time-outs used when a request sets none (or 0): a silent server never hangs a transfer.
inline constexpr std::uint32_t kDefaultConnectTimeoutMs = 60'000;
inline constexpr std::uint32_t kDefaultReceiveTimeoutMs = 30'000;
inline constexpr std::uint32_t kDefaultSendTimeoutMs = 30'000;

class CurlInternet : public IInternet {
  public:
    struct Options {
        // A PEM file of trusted certificates instead of the system's (tests trust their own).
        std::string caFile;
    };

    CurlInternet();
    explicit CurlInternet(Options options);

    std::unique_ptr<IInternetSession> Open(const InternetOpenParams& params,
                                           std::shared_ptr<InternetCancel> cancel) override;
    // Linux has no "work offline" switch: always connected (0).
    std::optional<std::uint32_t> ConnectedState() override;
    bool GoOnline(std::string_view url) override;

  private:
    Options options_;
};

}  // namespace pw::platform::posix
