#include "platform/win32/Win32Files.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/win32/Win32Handle.h"

namespace pw::platform::win32 {
namespace {

// A zero byte would silently cut the path short to another file.
bool ToPath(std::string_view path, std::string& out) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return false;
    out.assign(path);
    return true;
}

bool Attributes(std::string_view path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    std::string p;
    return ToPath(path, p) && ::GetFileAttributesExA(p.c_str(), GetFileExInfoStandard, &data);
}

FILETIME ToFileTime(FileTime t) {
    const auto u = static_cast<std::uint64_t>(t);
    return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFFu), static_cast<DWORD>(u >> 32)};
}

FileTime FromFileTime(const FILETIME& t) {
    return static_cast<FileTime>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                 t.dwLowDateTime);
}

// Names for CanCreateFilesIn's probe files no other call or process uses at the same time.
std::string ProbeName(std::string_view folder, const char* kind) {
    static std::atomic<unsigned> counter{0};
    std::string name(folder);
    if (!name.empty() && name.back() != '\\' && name.back() != '/') name += '\\';
    name += "~pw" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) +
            "." + kind;
    return name;
}

}  // namespace

std::uint32_t Win32Files::GetAttributes(std::string_view path) {
    std::string p;
    return ToPath(path, p) ? ::GetFileAttributesA(p.c_str()) : kInvalidAttributes;
}

bool Win32Files::SetAttributes(std::string_view path, std::uint32_t attributes) {
    std::string p;
    // FILE_ATTRIBUTE_NORMAL is valid only alone: it is what no bits mean.
    const DWORD bits =
        attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    return ToPath(path, p) && ::SetFileAttributesA(p.c_str(), bits ? bits : FILE_ATTRIBUTE_NORMAL);
}

std::int64_t Win32Files::FileSize(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!Attributes(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

bool Win32Files::SetFileTimes(std::string_view path, std::optional<FileTime> creation,
                              std::optional<FileTime> lastAccess,
                              std::optional<FileTime> lastWrite) {
    for (const auto& t : {creation, lastAccess, lastWrite})
        if (t && *t < 0) return false;
    std::string p;
    if (!ToPath(path, p)) return false;
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open, as it would not for writing.
    const UniqueHandle file(::CreateFileA(p.c_str(), FILE_WRITE_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    FILETIME c{}, a{}, w{};
    if (creation) c = ToFileTime(*creation);
    if (lastAccess) a = ToFileTime(*lastAccess);
    if (lastWrite) w = ToFileTime(*lastWrite);
    return ::SetFileTime(file.get(), creation ? &c : nullptr, lastAccess ? &a : nullptr,
                         lastWrite ? &w : nullptr);
}

std::optional<FileTimes> Win32Files::GetFileTimes(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!Attributes(path, data)) return std::nullopt;
    return FileTimes{FromFileTime(data.ftCreationTime), FromFileTime(data.ftLastAccessTime),
                     FromFileTime(data.ftLastWriteTime)};
}

bool Win32Files::CreateFolder(std::string_view path) {
    std::string p;
    return ToPath(path, p) && ::CreateDirectoryA(p.c_str(), nullptr);
}

bool Win32Files::CanCreateFilesIn(std::string_view folder) {
    if (folder.find('\0') != std::string_view::npos) return false;
    const std::string probe = ProbeName(folder, "tmp");
    const std::string renamed = ProbeName(folder, "ren");
    {
        const UniqueHandle file(::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!file.valid()) return false;
    }
    if (!::MoveFileA(probe.c_str(), renamed.c_str())) {
        ::DeleteFileA(probe.c_str());
        return false;
    }
    return ::DeleteFileA(renamed.c_str());
}

}  // namespace pw::platform::win32
