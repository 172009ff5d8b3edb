#pragma once
// WinInet's error numbers (GetLastError after a failed call) as the internet layer's errors.

#include <windows.h>

#include "platform/Internet.h"

namespace pw::platform::win32 {

// What the request was doing when a time-out hit: WinInet has one error number for all three.
enum class Phase { Connecting, Sending, Receiving };

struct Timeouts {
    std::uint32_t connectMs = 0;
    std::uint32_t sendMs = 0;
    std::uint32_t receiveMs = 0;
};

InternetError ErrorFromWinInet(DWORD code, Phase phase, const Timeouts& timeouts);

}  // namespace pw::platform::win32
