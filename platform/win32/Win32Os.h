#pragma once
// The Windows back end of the operating-system layer, as one object that owns its parts.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/Os.h"

namespace pw::platform::win32 {

class Win32Registry;
class Win32Files;
class Win32Shell;
class Win32System;

class Win32Os {
  public:
    // The first three members are those of posix::PosixOs::Options, so callers and tests
    // build either with the same initialiser.
    struct Options {
        // Empty: the real registry. Otherwise a private registry for this folder (see
        // Win32Registry.h); nothing is written into the folder itself.
        std::filesystem::path configFolder{};
        // Receives messages a user should see. The registry needs none: nothing is ever set
        // aside, so it is kept for the shared initialiser only.
        std::function<void(const std::string&)> notice{};
        // The settings are only read: writes give AccessDenied.
        bool readOnlySettings = false;
        // The program's own settings key, which KeepCopy copies.
        std::string ownKey{"Software\\Quillmere\\Pagewarden"};
    };

    // Empty: settings live in the registry, not in a folder.
    static std::filesystem::path DefaultConfigFolder() { return {}; }

    Win32Os();
    explicit Win32Os(Options options);
    ~Win32Os();
    Win32Os(const Win32Os&) = delete;
    Win32Os& operator=(const Win32Os&) = delete;

    Os& os() { return os_; }

  private:
    std::unique_ptr<Win32Registry> registry_;
    std::unique_ptr<Win32Files> files_;
    std::unique_ptr<Win32Shell> shell_;
    std::unique_ptr<Win32System> system_;
    Os os_;
};

}  // namespace pw::platform::win32
