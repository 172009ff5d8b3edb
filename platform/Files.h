#pragma once
// Files as the program needs them beyond reading and writing: attributes, times, sizes.
// Paths are byte strings in the system's encoding, separated by kPathDelim.

#include <cstdint>
#include <optional>
#include <string_view>

namespace pw::platform {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif

// A point in time as Windows keeps file times: 100-ns intervals since 1601-01-01 00:00 UTC.
using FileTime = std::int64_t;

struct FileTimes {
    FileTime creation = 0;
    FileTime lastAccess = 0;
    FileTime lastWrite = 0;
};

// Attribute bits, numbered as Windows numbers them.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kAttrTemporary = 0x100;
inline constexpr std::uint32_t kAttrOffline = 0x1000;
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFF;

class IFiles {
  public:
    virtual ~IFiles() = default;

    // The attribute bits of a file or folder, kInvalidAttributes when they cannot be read.
    virtual std::uint32_t GetAttributes(std::string_view path) = 0;
    // Sets exactly these attribute bits (0 = none); false when the platform refuses.
    virtual bool SetAttributes(std::string_view path, std::uint32_t attributes) = 0;
    // Size in bytes of an existing file (not a folder), or -1.
    virtual std::int64_t FileSize(std::string_view path) = 0;
    // Opens an existing file for writing, replaces the given times and keeps the others.
    // False when the file cannot be opened for writing or the times cannot be written.
    virtual bool SetFileTimes(std::string_view path, std::optional<FileTime> creation,
                              std::optional<FileTime> lastAccess,
                              std::optional<FileTime> lastWrite) = 0;
    virtual std::optional<FileTimes> GetFileTimes(std::string_view path) = 0;
    // Creates one folder (its parent must exist); false when it cannot (it exists, no rights).
    virtual bool CreateFolder(std::string_view path) = 0;
    // Whether this process may create, rename and delete files in the folder.
    virtual bool CanCreateFilesIn(std::string_view folder) = 0;
};

}  // namespace pw::platform
