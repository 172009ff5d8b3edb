#pragma once
// Facts about the running system: where things are, the time zone, the language, the network.

#include <cstdint>
#include <string>

namespace pw::platform {

// Folders the program can name; each back end maps them in one table.
enum class Folder {
    Windows,       // the operating system's own folder
    System,        // the system programs and libraries
    ProgramFiles,  // where applications are installed
    Help,          // the system's help documents
    Media,         // the system's sounds
    Cursors,       // the system's pointer images
    Desktop,       // the user's desktop
    Personal,      // the user's documents
    MyPictures,    // the user's pictures
    AppData,       // the user's application data
};

struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

class ISystem {
  public:
    virtual ~ISystem() = default;

    // Full path of the running executable.
    virtual std::string ExecutablePath() = 0;
    // The process's current directory, without a trailing delimiter.
    virtual std::string CurrentDirectory() = 0;
    // The temporary folder with a trailing delimiter (it may not exist).
    virtual std::string TempPath() = 0;
    // The folder, with or without a trailing delimiter; empty when it cannot be determined.
    virtual std::string FolderPath(Folder folder) = 0;
    virtual OsVersion Version() = 0;
    // Minutes with the meaning UTC = local time + bias, daylight saving included when in force.
    virtual int TimeZoneBiasMinutes() = 0;
    // The system's default language as a Windows language identifier: primary language in the
    // low 10 bits, sub-language above (0x0409 = English, United States).
    virtual std::uint16_t DefaultLanguage() = 0;
    // Whether this machine has a network address other than the loopback one.
    virtual bool HasNonLoopbackAddress() = 0;
};

}  // namespace pw::platform
