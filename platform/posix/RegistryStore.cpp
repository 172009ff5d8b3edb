#include "platform/posix/RegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/RegFileFormat.h"
#include "platform/posix/RegKeyTree.h"

namespace pw::platform::posix {
namespace {

struct RootInfo {
    const char* fileName;
    std::string_view keyName;
};

// Indexed by RegRoot.
constexpr RootInfo kRoots[] = {
    {"HKCR.reg", "HKEY_CLASSES_ROOT"},
    {"HKCU.reg", "HKEY_CURRENT_USER"},
    {"HKLM.reg", "HKEY_LOCAL_MACHINE"},
};

// ---- files ------------------------------------------------------------------------------------

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes and reports the error close() gives (a delayed write error shows up here).
    int Close() {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

  private:
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

RegStatus FromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ENOTDIR:
        case EEXIST:
        case ELOOP:
            return RegStatus::AccessDenied;
        default:
            return RegStatus::IoError;
    }
}

// What identifies one version of a file: writers replace the file by rename, so a new version
// has a new inode; a hand edit in place changes size or mtime.
struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    time_t mtimeSec = 0;
    long mtimeNsec = 0;

    static FileId Of(const struct stat& st) {
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    }
    bool operator==(const FileId&) const = default;
};

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

void FsyncFolder(const std::filesystem::path& folder) {
    // Makes the rename durable. File systems that cannot sync a folder say so with EINVAL; the
    // file itself is complete either way, so this is best effort.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
}

// Creates the folder and its missing parents, 0700. Returns 0 or an errno.
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

// Reads a whole regular file of at most RegistryStore::kMaxFileBytes. Returns 0 or an errno; a
// missing file gives 0 with id.exists false.
int ReadFileAt(const std::filesystem::path& path, FileId& id, std::string& text, bool& tooBig) {
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
    const std::uint64_t limit = RegistryStore::kMaxFileBytes;
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
        if (text.size() > limit) {
            text.clear();
            tooBig = true;
            return 0;
        }
    }
}

// Copies `from` to a new file `to` (never replacing one). Returns 0 or an errno.
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

// Keeps the file's current content under "<file>.broken-N" with the first N not taken. A hard
// link keeps the very bytes without copying; file systems without links get a copy.
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

// flock on "<file>.lock", which also holds a generation number that every write increments:
// two versions of the file written within one timestamp tick that reuse an inode still differ.
class FileLock {
  public:
    // Opens (and with create, creates) the lock file. Returns 0 or an errno.
    int Open(const std::filesystem::path& path, bool create) {
        fd_ = Fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600));
        if (!fd_.valid() && !create) fd_ = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        return fd_.valid() ? 0 : errno;
    }
    bool valid() const { return fd_.valid(); }

    // Returns 0 or an errno.
    int Lock(int operation) {
        while (::flock(fd_.get(), operation) != 0)
            if (errno != EINTR) return errno;
        return 0;
    }

    std::uint64_t Generation() const {
        unsigned char b[8] = {};
        if (!fd_.valid() || ::pread(fd_.get(), b, sizeof b, 0) != 8) return 0;
        std::uint64_t g = 0;
        for (int i = 7; i >= 0; --i)
            g = (g << 8) | b[i];
        return g;
    }

    // Called under the exclusive lock after a write; returns the new generation.
    std::uint64_t Bump() {
        const std::uint64_t g = Generation() + 1;
        unsigned char b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = static_cast<unsigned char>(g >> (8 * i));
        // A failure only weakens change detection back to the file's own identity.
        [[maybe_unused]] const ssize_t n = ::pwrite(fd_.get(), b, sizeof b, 0);
        return g;
    }

  private:
    Fd fd_;
};

bool IsFolder(const std::filesystem::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

}  // namespace

// ---- one root ---------------------------------------------------------------------------------

struct RegistryStore::Root {
    Root(const std::filesystem::path& folder, const RootInfo& info, bool snapshot)
        : folder(folder), file(folder / info.fileName), keyName(info.keyName), snapshot(snapshot) {
        lockFile = file;
        lockFile += ".lock";
        tempFile = file;
        tempFile += ".new";
    }

    const std::filesystem::path folder;
    const std::filesystem::path file;
    std::filesystem::path lockFile;
    std::filesystem::path tempFile;
    const std::string_view keyName;
    const bool snapshot;

    std::mutex mutex;  // guards everything below
    // A snapshot store's one reading of the file: how it went, once it was made.
    std::optional<RegStatus> snapshotStatus;
    bool loaded = false;
    FileId id;
    std::uint64_t generation = 0;
    RegKey tree;
    // The file is damaged and could not be replaced by its repaired form: the salvaged values are
    // used, writes are refused so the original stays as it is.
    bool readOnly = false;

    // The update in progress, if any.
    std::condition_variable idle;  // notified when an update ends
    std::thread::id owner;
    int depth = 0;
    FileLock updateLock;  // held exclusively, once taken, until the update ends
    // The update's tree, from its first write; `tree` stays the file's.
    std::optional<RegKey> pending;
    bool dirty = false;           // pending differs from the file
    std::uint64_t sizeBound = 0;  // at least the size of SerializeRegFile(*pending)

    ~Root() {
        std::lock_guard guard(mutex);
        if (depth > 0) Finish();
    }

    // Writes by other threads wait while an update is held.
    bool Free() const { return depth == 0 || owner == std::this_thread::get_id(); }

    // Writes `content` as the new file: temporary file, fsync, rename, fsync of the folder. On
    // failure the old file is untouched. Returns 0 or an errno (EFBIG: over kMaxFileBytes).
    int WriteFile(const std::string& content, FileId& newId) {
        if (content.size() > RegistryStore::kMaxFileBytes) return EFBIG;
        Fd fd(
            ::open(tempFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.valid()) return errno;
        int error = WriteAll(fd.get(), content);
        if (!error && ::fsync(fd.get()) != 0) error = errno;
        struct stat st {};
        if (!error && ::fstat(fd.get(), &st) != 0) error = errno;
        if (const int closed = fd.Close(); !error) error = closed;
        if (!error && ::rename(tempFile.c_str(), file.c_str()) != 0) error = errno;
        if (error) {
            ::unlink(tempFile.c_str());
            return error;
        }
        FsyncFolder(folder);
        newId = FileId::Of(st);
        return 0;
    }

    // Brings the cache up to date with the file. Called with `mutex` held and, when there is a
    // lock file, its lock held (exclusive when `exclusive`). A damaged file found under the shared
    // lock sets `needExclusive`: it is repaired only under the exclusive one.
    RegStatus Refresh(FileLock* lock, bool exclusive, bool& needExclusive, std::string& notice) {
        needExclusive = false;
        const std::uint64_t gen = lock ? lock->Generation() : 0;
        FileId current;
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0)
            current = FileId::Of(st);
        else if (errno != ENOENT && errno != ENOTDIR)
            return FromErrno(errno);
        if (loaded && current == id && gen == generation) return RegStatus::Ok;

        std::string text;
        bool tooBig = false;
        if (const int error = ReadFileAt(file, current, text, tooBig)) {
            loaded = false;
            return error == EACCES || error == EPERM ? RegStatus::AccessDenied : RegStatus::IoError;
        }
        RegParseResult parsed = ParseRegFile(text, keyName);
        if (!tooBig && !parsed.firstBadLine) {
            Accept(std::move(parsed.tree), current, gen, false);
            return RegStatus::Ok;
        }
        if (!exclusive) {
            needExclusive = true;
            return RegStatus::Ok;
        }
        Salvage(std::move(parsed), tooBig, current, lock, gen, notice);
        return RegStatus::Ok;
    }

    void Accept(RegKey&& newTree, const FileId& newId, std::uint64_t gen, bool damaged) {
        tree = std::move(newTree);
        id = newId;
        generation = gen;
        loaded = true;
        readOnly = damaged;
    }

    // The first sentence of every message about a damaged file.
    std::string DamageHead(const RegParseResult& parsed, bool tooBig) const {
        std::string problem;
        if (tooBig) {
            problem = "it is larger than " + std::to_string(RegistryStore::kMaxFileBytes >> 20) +
                      " MiB and was not read";
        } else {
            problem = "line " + std::to_string(parsed.firstBadLine) + ": " + parsed.what;
            if (parsed.badLines > 1)
                problem += "; " + std::to_string(parsed.badLines) + " lines could not be read";
        }
        return "The settings file \"" + file.string() + "\" is damaged (" + problem + ").";
    }

    // Keeps what parsed, sets the original aside and writes the salvaged values in its place.
    void Salvage(RegParseResult&& parsed, bool tooBig, const FileId& damagedId, FileLock* lock,
                 std::uint64_t gen, std::string& notice) {
        const std::string head = DamageHead(parsed, tooBig);
        const std::string content = SerializeRegFile(parsed.tree, keyName);

        std::filesystem::path aside;
        if (const int error = KeepAside(file, aside)) {
            Accept(std::move(parsed.tree), damagedId, gen, true);
            notice = head + " It could not be set aside (" + ErrorText(error) +
                     "), so it was left untouched; the values that could be read are used, but " +
                     "changes cannot be saved until the file is repaired or removed.";
            return;
        }
        FileId newId;
        if (const int error = WriteFile(content, newId)) {
            Accept(std::move(parsed.tree), damagedId, gen, true);
            notice = head + " The original was copied to \"" + aside.string() +
                     "\", but the repaired file could not be written (" + ErrorText(error) +
                     "); the values that could be read are used, but changes cannot be saved " +
                     "until the file is repaired or removed.";
            return;
        }
        Accept(std::move(parsed.tree), newId, lock ? lock->Bump() : gen, false);
        notice = head +
                 " The values that could be read were kept; the original file was moved to \"" +
                 aside.string() + "\".";
    }

    // A snapshot store's reading: no lock is needed, as files are replaced whole by rename, so
    // one descriptor reads one complete version; nothing is repaired.
    RegStatus TakeSnapshot(std::string& notice) {
        FileId current;
        std::string text;
        bool tooBig = false;
        if (const int error = ReadFileAt(file, current, text, tooBig))
            return error == EACCES || error == EPERM ? RegStatus::AccessDenied : RegStatus::IoError;
        RegParseResult parsed = ParseRegFile(text, keyName);
        if (tooBig || parsed.firstBadLine)
            notice = DamageHead(parsed, tooBig) +
                     " The values that could be read are used; the file was left as it is.";
        Accept(std::move(parsed.tree), current, 0, true);
        return RegStatus::Ok;
    }

    // Runs `read(tree)` on the current content of the file (a snapshot store: on its one
    // reading of it).
    template <class F>
    RegStatus Read(std::string& notice, F&& read) {
        std::lock_guard guard(mutex);
        if (snapshot) {
            if (!snapshotStatus) snapshotStatus = TakeSnapshot(notice);
            return *snapshotStatus == RegStatus::Ok ? read(static_cast<const RegKey&>(tree))
                                                    : *snapshotStatus;
        }
        if (pending) return read(static_cast<const RegKey&>(*pending));
        bool needExclusive = false;
        if (updateLock.valid()) {
            // This store holds the lock: another one taken here would wait for ourselves.
            const RegStatus s = Refresh(&updateLock, true, needExclusive, notice);
            return s == RegStatus::Ok ? read(static_cast<const RegKey&>(tree)) : s;
        }
        FileLock lock;
        // Reads take the shared lock when they can; without a folder there is nothing to lock.
        bool opened = IsFolder(folder) && lock.Open(lockFile, true) == 0;
        if (!opened && lock.Open(lockFile, false) == 0) opened = true;
        // A writer may hold the lock for a whole update: read without it rather than wait. Files
        // are replaced by rename, so the version read is complete, and the generation is read
        // before the file, so a change made meanwhile is noticed by the next read.
        if (opened) lock.Lock(LOCK_SH | LOCK_NB);
        RegStatus s = Refresh(opened ? &lock : nullptr, false, needExclusive, notice);
        if (needExclusive) {
            const bool exclusive = opened && lock.Lock(LOCK_EX) == 0;
            s = Refresh(exclusive ? &lock : nullptr, true, needExclusive, notice);
        }
        return s == RegStatus::Ok ? read(static_cast<const RegKey&>(tree)) : s;
    }

    // Runs `change(copy, changed)` on a copy of the tree under the exclusive lock and, when it
    // changed something, writes the copy and only then makes it the cached tree: a failed write
    // leaves both the file and the cache as they were.
    //
    // Inside an update the change goes to the update's tree instead; `growth` bounds what it adds
    // to the file.
    template <class F>
    RegStatus Write(std::string& notice, std::uint64_t growth, F&& change) {
        if (snapshot) return RegStatus::AccessDenied;
        std::unique_lock guard(mutex);
        idle.wait(guard, [this] { return Free(); });
        if (depth > 0) return WriteInUpdate(notice, growth, change);
        for (int pass = 0; pass < 2; ++pass) {
            FileLock lock;
            if (pass == 1 || IsFolder(folder)) {
                if (const int error = EnsureFolder(folder)) return FromErrno(error);
                if (const int error = lock.Open(lockFile, true)) return FromErrno(error);
                if (lock.Lock(LOCK_EX) != 0) return RegStatus::IoError;
            }
            bool needExclusive = false;
            RegStatus s = Refresh(lock.valid() ? &lock : nullptr, true, needExclusive, notice);
            if (s != RegStatus::Ok) return s;
            RegKey copy = tree.Clone();
            bool changed = false;
            s = change(copy, changed);
            if (s != RegStatus::Ok || !changed) return s;
            if (readOnly) return RegStatus::AccessDenied;
            // No folder yet: create it, then redo the change under the lock.
            if (!lock.valid()) continue;
            FileId newId;
            if (const int error = WriteFile(SerializeRegFile(copy, keyName), newId))
                return error == EFBIG ? RegStatus::InvalidParameter : FromErrno(error);
            Accept(std::move(copy), newId, lock.Bump(), false);
            return RegStatus::Ok;
        }
        return RegStatus::IoError;
    }

    RegStatus TakeUpdateLock() {
        if (const int error = EnsureFolder(folder)) return FromErrno(error);
        if (const int error = updateLock.Open(lockFile, true)) return FromErrno(error);
        if (updateLock.Lock(LOCK_EX) != 0) {
            updateLock = FileLock();
            return RegStatus::IoError;
        }
        return RegStatus::Ok;
    }

    // What `change` would report on the tree, and whether it would change anything.
    template <class F>
    RegStatus DryRun(F& change, bool& changed) {
        RegKey copy = tree.Clone();
        changed = false;
        return change(copy, changed);
    }

    // Called with `mutex` held by the thread that holds the update.
    template <class F>
    RegStatus WriteInUpdate(std::string& notice, std::uint64_t growth, F& change) {
        if (!pending) {
            bool needExclusive = false;
            if (!updateLock.valid()) {
                // The update began without a folder (or without the lock). Creating the folder is
                // a change of its own, so only a write that changes something may cause it.
                if (!IsFolder(folder)) {
                    RegStatus s = Refresh(nullptr, true, needExclusive, notice);
                    bool changed = false;
                    if (s == RegStatus::Ok) s = DryRun(change, changed);
                    if (s != RegStatus::Ok || !changed) return s;
                }
                if (const RegStatus s = TakeUpdateLock(); s != RegStatus::Ok) return s;
            }
            if (const RegStatus s = Refresh(&updateLock, true, needExclusive, notice);
                s != RegStatus::Ok)
                return s;
            if (readOnly) {
                bool changed = false;
                const RegStatus s = DryRun(change, changed);
                return s != RegStatus::Ok || !changed ? s : RegStatus::AccessDenied;
            }
            pending.emplace(tree.Clone());
            sizeBound = SerializeRegFile(*pending, keyName).size();
        }
        if (sizeBound + growth > RegistryStore::kMaxFileBytes) {
            // Near the limit the bound is too coarse: measure the result.
            RegKey copy = pending->Clone();
            bool changed = false;
            const RegStatus s = change(copy, changed);
            if (s != RegStatus::Ok || !changed) return s;
            const std::size_t size = SerializeRegFile(copy, keyName).size();
            if (size > RegistryStore::kMaxFileBytes) return RegStatus::InvalidParameter;
            pending = std::move(copy);
            sizeBound = size;
            dirty = true;
            return RegStatus::Ok;
        }
        bool changed = false;
        const RegStatus s = change(*pending, changed);
        if (changed) {
            sizeBound += growth;
            dirty = true;
        }
        return s;
    }

    void Begin(std::string& notice) {
        std::unique_lock guard(mutex);
        idle.wait(guard, [this] { return Free(); });
        if (depth++ > 0) return;
        owner = std::this_thread::get_id();
        // Without a folder there is nothing to lock yet; a failure here shows at the first write,
        // which tries again. A snapshot store has nothing to lock: it never writes.
        if (!snapshot && IsFolder(folder) && TakeUpdateLock() == RegStatus::Ok) {
            bool needExclusive = false;
            Refresh(&updateLock, true, needExclusive, notice);
        }
    }

    RegStatus End() {
        std::lock_guard guard(mutex);
        if (depth == 0 || owner != std::this_thread::get_id()) return RegStatus::InvalidParameter;
        if (--depth > 0) return RegStatus::Ok;
        return Finish();
    }

    RegStatus KeepCopy(std::string& where) {
        if (snapshot) return RegStatus::AccessDenied;
        std::lock_guard guard(mutex);
        // Files are replaced whole by rename, so the link (or copy) holds one complete version.
        std::filesystem::path aside;
        if (const int error = KeepAside(file, aside))
            return error == ENOENT ? RegStatus::NotFound : FromErrno(error);
        where = aside.string();
        return RegStatus::Ok;
    }

    // Writes the update's tree, if it changed anything, and ends the update. On failure the
    // cache keeps the file's tree.
    RegStatus Finish() {
        struct Reset {
            Root& r;
            ~Reset() {
                r.pending.reset();
                r.dirty = false;
                r.updateLock = FileLock();
                r.depth = 0;
                r.owner = {};
                r.idle.notify_all();
            }
        } reset{*this};
        if (!dirty) return RegStatus::Ok;
        FileId newId;
        if (const int error = WriteFile(SerializeRegFile(*pending, keyName), newId))
            return error == EFBIG ? RegStatus::InvalidParameter : FromErrno(error);
        Accept(std::move(*pending), newId, updateLock.Bump(), false);
        return RegStatus::Ok;
    }
};

// ---- the store --------------------------------------------------------------------------------

RegistryStore::RegistryStore(std::filesystem::path folder,
                             std::function<void(const std::string&)> notice, Access access)
    : folder_(std::move(folder)), notice_(std::move(notice)) {
    for (std::size_t i = 0; i < 3; ++i)
        roots_[i] = std::make_unique<Root>(folder_, kRoots[i], access == Access::Snapshot);
}

RegistryStore::~RegistryStore() = default;

std::filesystem::path RegistryStore::FileOf(RegRoot root) const {
    const auto i = static_cast<std::size_t>(root);
    return i < 3 ? folder_ / kRoots[i].fileName : std::filesystem::path();
}

RegistryStore::Root* RegistryStore::RootOf(RegRoot root) {
    const auto i = static_cast<std::size_t>(root);
    return i < 3 ? roots_[i].get() : nullptr;
}

// Every call does its locked work first and delivers a notice afterwards, with no lock held, so
// the receiver may call back into the store.
RegStatus RegistryStore::Deliver(RegStatus status, const std::string& notice) const {
    if (!notice.empty() && notice_) notice_(notice);
    return status;
}

RegStatus RegistryStore::OpenKey(RegRoot root, std::string_view path, bool create) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitKeyPath(path, parts)) return RegStatus::InvalidParameter;
    std::string notice;
    RegStatus s = r->Read(notice, [&](const RegKey& tree) {
        return FindKey(tree, parts) ? RegStatus::Ok : RegStatus::NotFound;
    });
    // Only a missing key costs a write, so opening an existing key with create also works on a
    // store that cannot be written.
    if (s == RegStatus::NotFound && create) {
        s = r->Write(notice, SerializedKeyGrowth(path, parts.size()),
                     [&](RegKey& tree, bool& changed) {
                         RegKey* k = &tree;
                         for (std::string_view p : parts)
                             k = &k->ChildOrNew(p, changed);
                         return RegStatus::Ok;
                     });
    }
    return Deliver(s, notice);
}

RegStatus RegistryStore::ReadKey(RegRoot root, std::string_view path,
                                 const std::function<RegStatus(const RegKey&)>& read) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitKeyPath(path, parts)) return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Read(notice, [&](const RegKey& tree) {
        const RegKey* k = FindKey(tree, parts);
        return k ? read(*k) : RegStatus::NotFound;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::QueryValue(RegRoot root, std::string_view path, std::string_view name,
                                    RegValue& out) {
    if (!ValidValueName(name)) return RegStatus::InvalidParameter;
    return ReadKey(root, path, [&](const RegKey& k) {
        const RegValue* v = k.Find(name);
        if (!v) return RegStatus::NotFound;
        out = *v;
        return RegStatus::Ok;
    });
}

RegStatus RegistryStore::SetValue(RegRoot root, std::string_view path, std::string_view name,
                                  const RegValue& value) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitKeyPath(path, parts) || !ValidValueName(name) ||
        value.data.size() > kRegMaxValueBytes)
        return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s =
        r->Write(notice, SerializedValueGrowth(name, value), [&](RegKey& tree, bool& changed) {
            RegKey* k = FindKey(tree, parts);
            if (!k) return RegStatus::NotFound;
            const RegValue* old = k->Find(name);
            if (old && *old == value) return RegStatus::Ok;
            k->Set(name, value);
            changed = true;
            return RegStatus::Ok;
        });
    return Deliver(s, notice);
}

RegStatus RegistryStore::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitKeyPath(path, parts) || !ValidValueName(name))
        return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Write(notice, 0, [&](RegKey& tree, bool& changed) {
        RegKey* k = FindKey(tree, parts);
        if (!k || !k->Erase(name)) return RegStatus::NotFound;
        changed = true;
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::DeleteKey(RegRoot root, std::string_view path) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    // The root itself cannot be deleted.
    if (!r || !SplitKeyPath(path, parts) || parts.empty()) return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Write(notice, 0, [&](RegKey& tree, bool& changed) {
        const std::string_view last = parts.back();
        parts.pop_back();
        RegKey* parent = FindKey(tree, parts);
        parts.push_back(last);
        if (!parent || !parent->EraseChild(last)) return RegStatus::NotFound;
        changed = true;
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::EnumSubKeys(RegRoot root, std::string_view path,
                                     std::vector<std::string>& names) {
    return ReadKey(root, path, [&](const RegKey& k) {
        names.clear();
        for (const auto& [folded, child] : k.children)
            names.push_back(child->name);
        return RegStatus::Ok;
    });
}

RegStatus RegistryStore::EnumValues(RegRoot root, std::string_view path,
                                    std::vector<std::string>& names) {
    return ReadKey(root, path, [&](const RegKey& k) {
        names.clear();
        for (const auto& [name, value] : k.values)
            names.push_back(name);
        return RegStatus::Ok;
    });
}

void RegistryStore::BeginUpdate(RegRoot root) {
    Root* r = RootOf(root);
    if (!r) return;
    std::string notice;
    r->Begin(notice);
    Deliver(RegStatus::Ok, notice);
}

RegStatus RegistryStore::EndUpdate(RegRoot root) {
    Root* r = RootOf(root);
    return r ? r->End() : RegStatus::InvalidParameter;
}

RegStatus RegistryStore::KeepCopy(RegRoot root, std::string& where) {
    Root* r = RootOf(root);
    return r ? r->KeepCopy(where) : RegStatus::InvalidParameter;
}

}  // namespace pw::platform::posix
