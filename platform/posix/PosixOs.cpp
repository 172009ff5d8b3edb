#include "platform/posix/PosixOs.h"

#include <iostream>
#include <utility>

#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/PosixSystem.h"
#include "platform/posix/RegistryStore.h"

namespace pw::platform::posix {

namespace {

std::filesystem::path ConfigFolderOf(const PosixOs::Options& options) {
    return options.configFolder.empty() ? PosixOs::DefaultConfigFolder() : options.configFolder;
}

std::function<void(const std::string&)> NoticeOf(PosixOs::Options& options) {
    if (options.notice) return std::move(options.notice);
    return [](const std::string& message) { std::cerr << message << std::endl; };
}

}  // namespace

std::filesystem::path PosixOs::DefaultConfigFolder() {
    // With no home folder known at all, the folder is relative to the current directory.
    return std::filesystem::path(PosixSystem::UserConfigFolder()) / "pagewarden";
}

PosixOs::PosixOs() : PosixOs(Options{}) {}

PosixOs::PosixOs(Options options)
    : registry_(std::make_unique<RegistryStore>(ConfigFolderOf(options), NoticeOf(options),
                                                options.readOnlySettings
                                                    ? RegistryStore::Access::Snapshot
                                                    : RegistryStore::Access::ReadWrite)),
      files_(std::make_unique<PosixFiles>()),
      shell_(std::make_unique<PosixShell>()),
      system_(std::make_unique<PosixSystem>()),
      os_{*registry_, *files_, *shell_, *system_} {}

PosixOs::~PosixOs() = default;

}  // namespace pw::platform::posix
