#pragma once
// Facts about a Windows system from its own services: module and shell folders, the version
// ntdll reports, the time-zone information, the user's language, the network adapters.
// Safe to call from any thread.

#include "platform/System.h"

namespace pw::platform::win32 {

class Win32System final : public ISystem {
  public:
    std::string ExecutablePath() override;
    // A drive's root keeps its delimiter ("C:\"): "C:" would mean the drive's current folder.
    std::string CurrentDirectory() override;
    std::string TempPath() override;
    std::string FolderPath(Folder folder) override;
    // The real version, also for a program the compatibility layer would tell an older one.
    OsVersion Version() override;
    int TimeZoneBiasMinutes() override;
    std::uint16_t DefaultLanguage() override;
    // An adapter that is up with an address that is neither loopback nor IPv6 link-local.
    bool HasNonLoopbackAddress() override;
};

}  // namespace pw::platform::win32
