#pragma once
// The POSIX back end of the operating-system layer, as one object that owns its parts.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/Os.h"

namespace pw::platform::posix {

class RegistryStore;
class PosixFiles;
class PosixShell;
class PosixSystem;

class PosixOs {
  public:
    struct Options {
        // Folder of the registry files; DefaultConfigFolder() when empty.
        std::filesystem::path configFolder{};
        // Receives messages a user should see (a settings file that had to be moved aside).
        // Defaults to writing them to standard error.
        std::function<void(const std::string&)> notice{};
        // The settings are only read, each file once (RegistryStore::Access::Snapshot).
        bool readOnlySettings = false;
    };

    // $XDG_CONFIG_HOME/pagewarden, or ~/.config/pagewarden.
    static std::filesystem::path DefaultConfigFolder();

    PosixOs();
    explicit PosixOs(Options options);
    ~PosixOs();
    PosixOs(const PosixOs&) = delete;
    PosixOs& operator=(const PosixOs&) = delete;

    Os& os() { return os_; }

  private:
    std::unique_ptr<RegistryStore> registry_;
    std::unique_ptr<PosixFiles> files_;
    std::unique_ptr<PosixShell> shell_;
    std::unique_ptr<PosixSystem> system_;
    Os os_;
};

}  // namespace pw::platform::posix
