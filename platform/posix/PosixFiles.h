#pragma once
// File attributes, times and sizes on a POSIX file system. Safe to call from any thread.

#include "platform/Files.h"

namespace pw::platform::posix {

class PosixFiles final : public IFiles {
  public:
    std::uint32_t GetAttributes(std::string_view path) override;
    bool SetAttributes(std::string_view path, std::uint32_t attributes) override;
    std::int64_t FileSize(std::string_view path) override;
    bool SetFileTimes(std::string_view path, std::optional<FileTime> creation,
                      std::optional<FileTime> lastAccess,
                      std::optional<FileTime> lastWrite) override;
    std::optional<FileTimes> GetFileTimes(std::string_view path) override;
    bool CreateFolder(std::string_view path) override;
    bool CanCreateFilesIn(std::string_view folder) override;
};

}  // namespace pw::platform::posix
