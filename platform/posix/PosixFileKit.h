#pragma once
// Files that are replaced whole and never seen half-written: descriptors that close themselves,
// an inter-process lock beside the file, writes that survive short writes and signals, a new
// version written to a temporary file and renamed over the old, and a damaged file kept aside
// before anything touches it. Every call returns 0 or the errno that stopped it.
//
// Threads: the functions may run on any thread; an Fd or FileLock belongs to one thread at a time.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pw::platform::posix {

// An owned file descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept;
    Fd& operator=(Fd&& o) noexcept;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes and reports the error close() gives (a delayed write error shows up here).
    int Close();

  private:
    void Reset();
    int fd_ = -1;
};

// What identifies one version of a file: writers replace the file by rename, so a new version
// has a new inode; a hand edit in place changes size or mtime.
struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    time_t mtimeSec = 0;
    long mtimeNsec = 0;

    static FileId Of(const struct stat& st);
    bool operator==(const FileId&) const = default;
};

// flock on a lock file beside the data file, which also holds a generation number that every
// write increments: two versions of the file written within one timestamp tick that reuse an
// inode still differ.
class FileLock {
  public:
    // Opens (and with create, creates 0600) the lock file. Without create, a lock file that
    // cannot be opened for writing is opened read-only: it can still be locked shared and its
    // generation read.
    int Open(const std::filesystem::path& path, bool create);
    bool valid() const { return fd_.valid(); }
    // flock(operation), retried after a signal.
    int Lock(int operation);

    // 0 when the lock file is new, empty or unreadable.
    std::uint64_t Generation() const;
    // Called under the exclusive lock after a write; returns the new generation.
    std::uint64_t Bump();

  private:
    Fd fd_;
};

// Writes all of `data`, however short the writes the descriptor takes.
int WriteAll(int fd, std::string_view data);

// Makes a rename in the folder durable. File systems that cannot sync a folder say so with
// EINVAL; the file itself is complete either way, so this is best effort.
void FsyncFolder(const std::filesystem::path& folder);

// Creates the folder and its missing parents, 0700.
int EnsureFolder(const std::filesystem::path& folder);
bool IsFolder(const std::filesystem::path& path);

// Reads a whole regular file of at most `limit` bytes; a longer one sets `tooBig` and leaves
// `text` empty. A missing file gives 0 with id.exists false. Never blocks on a FIFO or device put
// in the file's place: those give EINVAL, a folder EISDIR.
int ReadRegularFile(const std::filesystem::path& path, std::uint64_t limit, FileId& id,
                    std::string& text, bool& tooBig);

// Writes `content` as the new `file`: into `temp` (created 0600, never through a symlink), fsync,
// rename over `file`, fsync of the folder. On failure `file` is as it was and nothing this call
// wrote is left. `newId` identifies the version written.
int ReplaceFile(const std::filesystem::path& file, const std::filesystem::path& temp,
                std::string_view content, FileId& newId);

// Copies `from` to a new file `to` (never replacing one), synced; on failure `to` is removed.
int CopyToNew(const std::filesystem::path& from, const std::filesystem::path& to);

// Keeps the file's current content under "<file>.broken-N" with the first N not taken, and
// gives that name in `aside`. A hard link keeps the very bytes without copying; file systems
// without links get a copy. ENOENT when there is no file.
int KeepAside(const std::filesystem::path& file, std::filesystem::path& aside);

}  // namespace pw::platform::posix
