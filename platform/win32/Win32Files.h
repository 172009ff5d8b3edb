#pragma once
// File attributes, times and sizes through the Windows file API; the attribute bits and file
// times are Windows' own. Safe to call from any thread.

#include "platform/Files.h"

namespace pw::platform::win32 {

class Win32Files final : public IFiles {
  public:
    std::uint32_t GetAttributes(std::string_view path) override;
    // 0 and kAttrNormal clear every bit; bits Windows keeps to itself (directory) are ignored.
    bool SetAttributes(std::string_view path, std::uint32_t attributes) override;
    std::int64_t FileSize(std::string_view path) override;
    // A time of 0 is Windows' "leave unchanged"; negative times are refused.
    bool SetFileTimes(std::string_view path, std::optional<FileTime> creation,
                      std::optional<FileTime> lastAccess,
                      std::optional<FileTime> lastWrite) override;
    std::optional<FileTimes> GetFileTimes(std::string_view path) override;
    bool CreateFolder(std::string_view path) override;
    bool CanCreateFilesIn(std::string_view folder) override;
};

}  // namespace pw::platform::win32
