#pragma once
// Facts about a Linux system: folders (XDG user dirs and the stand-ins for Windows folders), the
// kernel version, the local time zone, the locale's language, the network interfaces.
// Reads the process environment; call it from one thread at a time with respect to setenv.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/System.h"

namespace pw::platform::posix {

class PosixSystem final : public ISystem {
  public:
    std::string ExecutablePath() override;
    std::string CurrentDirectory() override;
    std::string TempPath() override;
    std::string FolderPath(Folder folder) override;
    OsVersion Version() override;
    int TimeZoneBiasMinutes() override;
    std::uint16_t DefaultLanguage() override;
    bool HasNonLoopbackAddress() override;

    // $HOME, else the home folder of the user database; empty when neither is known.
    static std::string HomeFolder();
    // $XDG_CONFIG_HOME when set and absolute, else HomeFolder() + "/.config"; empty when unknown.
    static std::string UserConfigFolder();
    // The Windows language identifier of a locale name such as "de_DE.UTF-8" or "pt_BR";
    // 0x0409 (English, United States) for "C", "POSIX", empty and unknown languages.
    static std::uint16_t LanguageIdFromLocale(std::string_view locale);
};

}  // namespace pw::platform::posix
