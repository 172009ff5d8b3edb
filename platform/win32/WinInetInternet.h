#pragma once
// The internet layer on WinInet, synchronous: every call blocks the session's thread until
// WinInet is done. A stop from another thread (InternetCancel) or a request's overall limit
// closes the handles under the blocked call, which makes it fail.
// Sessions and connections are here; a request is WinInetRequest.h's.
//
// WinInet's cache acts on Windows as the request flags say; tests under Wine do not measure it.
//
// Threads: a session and everything opened from it are used by one thread; InternetCancel may
// be set from any thread.

#include "platform/Internet.h"

namespace pw::platform::win32 {

// Time-outs used when a request sets none (or 0), as the curl back end's: WinInet's own are
// far longer.
inline constexpr std::uint32_t kDefaultConnectTimeoutMs = 60'000;
inline constexpr std::uint32_t kDefaultReceiveTimeoutMs = 30'000;
inline constexpr std::uint32_t kDefaultSendTimeoutMs = 30'000;

class WinInetInternet : public IInternet {
  public:
    std::unique_ptr<IInternetSession> Open(const InternetOpenParams& params,
                                           std::shared_ptr<InternetCancel> cancel) override;
    // InternetGetConnectedState as INTERNET_OPTION_CONNECTED_STATE bits: offline (the user's
    // "work offline") is kStateDisconnectedByUser, else connected or disconnected.
    std::optional<std::uint32_t> ConnectedState() override;
    bool GoOnline(std::string_view url) override;
};

}  // namespace pw::platform::win32
