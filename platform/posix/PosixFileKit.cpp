#include "platform/posix/PosixFileKit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace pw::platform::posix {

// ---- descriptors ------------------------------------------------------------------------------

Fd::Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        Reset();
        fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
}

int Fd::Close() {
    const int fd = std::exchange(fd_, -1);
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
}

void Fd::Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

FileId FileId::Of(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// ---- the lock ---------------------------------------------------------------------------------

int FileLock::Open(const std::filesystem::path& path, bool create) {
    fd_ = Fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600));
    if (!fd_.valid() && !create) fd_ = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd_.valid() ? 0 : errno;
}

int FileLock::Lock(int operation) {
    while (::flock(fd_.get(), operation) != 0)
        if (errno != EINTR) return errno;
    return 0;
}

std::uint64_t FileLock::Generation() const {
    unsigned char b[8] = {};
    if (!fd_.valid() || ::pread(fd_.get(), b, sizeof b, 0) != 8) return 0;
    std::uint64_t g = 0;
    for (int i = 7; i >= 0; --i)
        g = (g << 8) | b[i];
    return g;
}

std::uint64_t FileLock::Bump() {
    const std::uint64_t g = Generation() + 1;
    unsigned char b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<unsigned char>(g >> (8 * i));
    // A failure only weakens change detection back to the file's own identity.
    [[maybe_unused]] const ssize_t n = ::pwrite(fd_.get(), b, sizeof b, 0);
    return g;
}

// ---- folders ----------------------------------------------------------------------------------

void FsyncFolder(const std::filesystem::path& folder) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
}

int EnsureFolder(const std::filesystem::path& folder) {
    std::filesystem::path p;
    for (const auto& part : folder) {
        p /= part;
        if (part.empty() || part == "/") continue;
        if (::mkdir(p.c_str(), 0700) == 0) continue;
        if (errno != EEXIST) return errno;
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0) return errno;
        if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    }
    return 0;
}

bool IsFolder(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- reading and writing ----------------------------------------------------------------------

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int ReadRegularFile(const std::filesystem::path& path, std::uint64_t limit, FileId& id,
                    std::string& text, bool& tooBig) {
    id = {};
    text.clear();
    tooBig = false;
    // O_NONBLOCK: a FIFO put in place of the file must not hang the program.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    id = FileId::Of(st);
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
        tooBig = true;
        return 0;
    }
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        text.append(buffer, static_cast<std::size_t>(n));
        // The file may have grown since fstat.
        if (text.size() > limit) {
            text.clear();
            tooBig = true;
            return 0;
        }
    }
}

int ReplaceFile(const std::filesystem::path& file, const std::filesystem::path& temp,
                std::string_view content, FileId& newId) {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) return errno;
    int error = WriteAll(fd.get(), content);
    if (!error && ::fsync(fd.get()) != 0) error = errno;
    struct stat st {};
    if (!error && ::fstat(fd.get(), &st) != 0) error = errno;
    if (const int closed = fd.Close(); !error) error = closed;
    if (!error && ::rename(temp.c_str(), file.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        return error;
    }
    FsyncFolder(file.parent_path());
    newId = FileId::Of(st);
    return 0;
}

// ---- keeping a damaged file -------------------------------------------------------------------

int CopyToNew(const std::filesystem::path& from, const std::filesystem::path& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!in.valid()) return errno;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return errno;
    char buffer[65536];
    int error = 0;
    while (!error) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        error = WriteAll(out.get(), std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    if (!error && ::fsync(out.get()) != 0) error = errno;
    if (const int closed = out.Close(); !error) error = closed;
    if (error) ::unlink(to.c_str());
    return error;
}

int KeepAside(const std::filesystem::path& file, std::filesystem::path& aside) {
    for (int n = 1; n < 100000; ++n) {
        aside = file;
        aside += ".broken-" + std::to_string(n);
        if (::link(file.c_str(), aside.c_str()) == 0) return 0;
        if (errno == EEXIST) continue;
        const int error = CopyToNew(file, aside);
        if (error == EEXIST) continue;
        return error;
    }
    return EEXIST;
}

}  // namespace pw::platform::posix
