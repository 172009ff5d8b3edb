#include "platform/posix/RegistryStore.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/PosixFileKit.h"
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
        return ReplaceFile(file, tempFile, content, newId);
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
        if (const int error =
                ReadRegularFile(file, RegistryStore::kMaxFileBytes, current, text, tooBig)) {
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
        if (const int error =
                ReadRegularFile(file, RegistryStore::kMaxFileBytes, current, text, tooBig))
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
