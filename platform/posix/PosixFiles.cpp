#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <limits>
#include <string>

#include "platform/posix/PosixFileKit.h"

namespace pw::platform::posix {

namespace {

// Where each attribute bit lives on a POSIX file system.
enum class Keeper {
    FileType,           // read from the file's type; cannot be set
    WriteBits,          // read-only = nobody has write permission
    ExtendedAttribute,  // kept in kAttributeXattr where the file system supports user xattrs;
                        // silently dropped where it does not
    Derived,            // Normal: reported for a non-folder that has no other bit
};

struct AttributeMapping {
    std::uint32_t bit;
    Keeper keeper;
};

constexpr AttributeMapping kAttributeMap[] = {
    {kAttrReadOnly, Keeper::WriteBits},          {kAttrHidden, Keeper::ExtendedAttribute},
    {kAttrSystem, Keeper::ExtendedAttribute},    {kAttrDirectory, Keeper::FileType},
    {kAttrArchive, Keeper::ExtendedAttribute},   {kAttrNormal, Keeper::Derived},
    {kAttrTemporary, Keeper::ExtendedAttribute}, {kAttrOffline, Keeper::ExtendedAttribute},
};

// The bits kept in the extended attribute, stored there as lower-case hexadecimal text.
constexpr char kAttributeXattr[] = "user.pagewarden.attributes";

constexpr std::uint32_t XattrBits() {
    std::uint32_t bits = 0;
    for (const auto& m : kAttributeMap) {
        if (m.keeper == Keeper::ExtendedAttribute) bits |= m.bit;
    }
    return bits;
}
constexpr std::uint32_t kXattrBits = XattrBits();

constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

// A path the C library can take; nullopt when it holds a zero byte, which would silently name
// another file.
std::optional<std::string> CPath(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(path);
}

// Whether a failed xattr call means "this file system or file kind keeps no user xattrs".
bool XattrUnsupported(int error, mode_t mode) {
    if (error == ENOTSUP || error == EOPNOTSUPP) return true;
    // The kernel refuses user xattrs on anything but regular files and folders.
    return error == EPERM && !S_ISREG(mode) && !S_ISDIR(mode);
}

std::uint32_t ReadXattrBits(const std::string& path) {
    char buffer[16];
    const ssize_t n = getxattr(path.c_str(), kAttributeXattr, buffer, sizeof buffer);
    if (n <= 0) return 0;
    std::uint32_t bits = 0;
    const auto [end, ec] = std::from_chars(buffer, buffer + n, bits, 16);
    if (ec != std::errc() || end != buffer + n) return 0;  // not ours: ignore
    return bits & kXattrBits;
}

bool WriteXattrBits(const std::string& path, std::uint32_t bits, mode_t mode) {
    int rc = 0;
    if (bits == 0) {
        rc = removexattr(path.c_str(), kAttributeXattr);
        if (rc != 0 && errno == ENODATA) rc = 0;
    } else {
        char text[16];
        const auto [end, ec] = std::to_chars(text, text + sizeof text, bits, 16);
        (void)ec;  // 16 characters always hold a 32-bit number
        rc = setxattr(path.c_str(), kAttributeXattr, text, static_cast<size_t>(end - text), 0);
    }
    return rc == 0 || XattrUnsupported(errno, mode);
}

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// 1970-01-01 minus 1601-01-01 in 100-ns ticks.
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;

timespec ToTimespec(FileTime time) {
    // time >= 0 (checked by the caller), so this cannot overflow.
    const std::int64_t ticks = time - kUnixEpochTicks;
    std::int64_t seconds = ticks / kTicksPerSecond;
    std::int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --seconds;
    }
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

// Times outside what a FileTime can hold are clamped to its range.
FileTime FromTimespec(std::int64_t seconds, std::int64_t nanoseconds) {
    constexpr std::int64_t kMaxSeconds =
        (std::numeric_limits<FileTime>::max() - kUnixEpochTicks) / kTicksPerSecond - 1;
    constexpr std::int64_t kMinSeconds = -kUnixEpochTicks / kTicksPerSecond;
    if (seconds > kMaxSeconds) return std::numeric_limits<FileTime>::max();
    if (seconds < kMinSeconds) return 0;
    return seconds * kTicksPerSecond + nanoseconds / 100 + kUnixEpochTicks;
}

}  // namespace

std::uint32_t PosixFiles::GetAttributes(std::string_view path) {
    const auto p = CPath(path);
    struct stat st {};
    if (!p || stat(p->c_str(), &st) != 0) return kInvalidAttributes;

    const std::uint32_t kept = ReadXattrBits(*p);
    std::uint32_t attributes = 0;
    for (const auto& m : kAttributeMap) {
        bool on = false;
        switch (m.keeper) {
            case Keeper::FileType:
                on = m.bit == kAttrDirectory && S_ISDIR(st.st_mode);
                break;
            case Keeper::WriteBits:
                on = (st.st_mode & kAnyWrite) == 0;
                break;
            case Keeper::ExtendedAttribute:
                on = (kept & m.bit) != 0;
                break;
            case Keeper::Derived:
                break;
        }
        if (on) attributes |= m.bit;
    }
    return attributes != 0 ? attributes : kAttrNormal;
}

bool PosixFiles::SetAttributes(std::string_view path, std::uint32_t attributes) {
    const auto p = CPath(path);
    struct stat st {};
    if (!p || stat(p->c_str(), &st) != 0) return false;

    const mode_t mode = st.st_mode & 07777;
    const bool wasReadOnly = (mode & kAnyWrite) == 0;
    const bool readOnly = (attributes & kAttrReadOnly) != 0;

    // Writing a user xattr needs write permission, so lift read-only first and set it last.
    if (wasReadOnly && !readOnly && chmod(p->c_str(), mode | S_IWUSR) != 0) return false;
    if (!WriteXattrBits(*p, attributes & kXattrBits, st.st_mode)) return false;
    if (!wasReadOnly && readOnly && chmod(p->c_str(), mode & ~kAnyWrite) != 0) return false;
    return true;
}

std::int64_t PosixFiles::FileSize(std::string_view path) {
    const auto p = CPath(path);
    struct stat st {};
    if (!p || stat(p->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool PosixFiles::SetFileTimes(std::string_view path, std::optional<FileTime> creation,
                              std::optional<FileTime> lastAccess,
                              std::optional<FileTime> lastWrite) {
    // Linux keeps a birth time but offers no call to set it: the creation time is ignored.
    (void)creation;
    const auto p = CPath(path);
    if (!p) return false;
    if ((lastAccess && *lastAccess < 0) || (lastWrite && *lastWrite < 0)) return false;

    // O_NONBLOCK: opening a FIFO without a reader fails instead of hanging.
    Fd fd(open(p->c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return false;
    timespec times[2];
    times[0] = lastAccess ? ToTimespec(*lastAccess) : timespec{0, UTIME_OMIT};
    times[1] = lastWrite ? ToTimespec(*lastWrite) : timespec{0, UTIME_OMIT};
    const bool ok = futimens(fd.get(), times) == 0;
    return fd.Close() == 0 && ok;
}

std::optional<FileTimes> PosixFiles::GetFileTimes(std::string_view path) {
    const auto p = CPath(path);
    if (!p) return std::nullopt;

    struct statx stx {};
    if (statx(AT_FDCWD, p->c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &stx) ==
        0) {
        FileTimes times;
        times.lastAccess = FromTimespec(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec);
        times.lastWrite = FromTimespec(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
        times.creation = (stx.stx_mask & STATX_BTIME)
                             ? FromTimespec(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec)
                             : times.lastWrite;
        return times;
    }
    // Old kernels and some sandboxes refuse statx itself.
    if (errno != ENOSYS && errno != EPERM) return std::nullopt;
    struct stat st {};
    if (stat(p->c_str(), &st) != 0) return std::nullopt;
    FileTimes times;
    times.lastAccess = FromTimespec(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    times.lastWrite = FromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    times.creation = times.lastWrite;
    return times;
}

bool PosixFiles::CreateFolder(std::string_view path) {
    const auto p = CPath(path);
    return p && mkdir(p->c_str(), 0777) == 0;
}

bool PosixFiles::CanCreateFilesIn(std::string_view folder) {
    const auto p = CPath(folder);
    // Entering the folder (X) is part of creating a file in it.
    return p && access(p->c_str(), W_OK | X_OK) == 0;
}

}  // namespace pw::platform::posix
