#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/win32/Win32Handle.h"

namespace pw::platform::win32 {
namespace {

// Windows' own limit on key nesting.
constexpr std::size_t kMaxDepth = 512;

struct RootInfo {
    HKEY predefined;
    const char* longName;
    const char* shortName;
};

// Indexed by RegRoot.
const RootInfo kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
};

RegStatus FromError(LSTATUS error) {
    switch (error) {
        case ERROR_SUCCESS:
            return RegStatus::Ok;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_KEY_DELETED:
            return RegStatus::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return RegStatus::AccessDenied;
        case ERROR_INVALID_PARAMETER:
        case ERROR_BADKEY:
            return RegStatus::InvalidParameter;
        case ERROR_MORE_DATA:
            return RegStatus::MoreData;
        default:
            return RegStatus::IoError;
    }
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Bytes compare unsigned, as std::string compares them in the file store's sorted map.
bool LessFolded(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(Lower(x)) < static_cast<unsigned char>(Lower(y));
    });
}

// Control characters (the zero byte among them) are refused as the file store refuses them, so
// a name means the same on both back ends.
bool Printable(std::string_view s) {
    return std::none_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

bool ValidName(std::string_view name) {
    return name.size() <= kRegMaxNameBytes && Printable(name);
}

// The empty path is the root; an empty component, an over-long or unprintable one, or nesting
// deeper than Windows allows is refused.
bool ValidPath(std::string_view path) {
    if (path.empty()) return true;
    std::size_t depth = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part =
            path.substr(start, end == std::string_view::npos ? end : end - start);
        if (part.empty() || part.size() > kRegMaxKeyNameBytes || !Printable(part) ||
            ++depth > kMaxDepth)
            return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

std::string Hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

// ---- one root -----------------------------------------------------------------------------------

struct Win32Registry::Root {
    HKEY base = nullptr;      // the predefined root, or `owned`
    UniqueRegKey owned;       // a sandbox's root key
    std::string displayName;  // `base` as the registry editor names it
    UniqueHandle writeMutex;  // named: shared by every process (and object) using this root

    std::mutex stateMutex;  // guards the two below
    std::thread::id owner;  // the thread holding the update
    int depth = 0;

    // Takes the named mutex for one write; a thread that holds the update has it already, and
    // a Windows mutex may be taken again by its owner.
    class WriteLock {
      public:
        explicit WriteLock(const Root& r) : mutex_(r.writeMutex.get()) {
            // An abandoned mutex (its holder died) is ours now all the same.
            if (mutex_) ::WaitForSingleObject(mutex_, INFINITE);
        }
        ~WriteLock() {
            if (mutex_) ::ReleaseMutex(mutex_);
        }
        WriteLock(const WriteLock&) = delete;
        WriteLock& operator=(const WriteLock&) = delete;

      private:
        HANDLE mutex_;
    };

    RegStatus Open(std::string_view path, REGSAM access, UniqueRegKey& key) const {
        if (!base) return RegStatus::IoError;
        return FromError(::RegOpenKeyExA(base, std::string(path).c_str(), 0, access, key.put()));
    }
};

Win32Registry::Win32Registry(Options options) : options_(std::move(options)) {
    const bool sandbox = !options_.sandboxFolder.empty();
    const std::string sandboxKey = sandbox ? SandboxKey(options_.sandboxFolder) : std::string();
    for (std::size_t i = 0; i < roots_.size(); ++i) {
        auto r = std::make_unique<Root>();
        std::string mutexName = "Local\\Pagewarden registry ";
        if (sandbox) {
            const std::string key = sandboxKey + "\\" + kRoots[i].shortName;
            // A failure leaves the root without a base: its calls then report IoError.
            if (::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, r->owned.put(),
                                  nullptr) == ERROR_SUCCESS)
                r->base = r->owned.get();
            r->displayName = std::string("HKEY_CURRENT_USER\\") + key;
            mutexName += sandboxKey.substr(sandboxKey.rfind('\\') + 1) + " ";
        } else {
            r->base = kRoots[i].predefined;
            r->displayName = kRoots[i].longName;
        }
        mutexName += kRoots[i].shortName;
        // Without the mutex writes still work, only not grouped against other processes.
        r->writeMutex = UniqueHandle(::CreateMutexA(nullptr, FALSE, mutexName.c_str()));
        roots_[i] = std::move(r);
    }
}

Win32Registry::~Win32Registry() {
    for (std::size_t i = 0; i < roots_.size(); ++i) {
        Root& r = *roots_[i];
        bool held = false;
        {
            std::lock_guard guard(r.stateMutex);
            held = r.depth > 0 && r.owner == std::this_thread::get_id();
        }
        if (held) EndUpdate(static_cast<RegRoot>(i));
    }
}

std::string Win32Registry::SandboxKey(const std::filesystem::path& folder) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : folder.string()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return "Software\\Quillmere\\Pagewarden sandboxes\\" + Hex16(hash);
}

Win32Registry::Root* Win32Registry::RootOf(RegRoot root) const {
    const auto i = static_cast<std::size_t>(root);
    return i < roots_.size() ? roots_[i].get() : nullptr;
}

RegStatus Win32Registry::OpenKey(RegRoot root, std::string_view path, bool create) {
    Root* r = RootOf(root);
    if (!r || !ValidPath(path)) return RegStatus::InvalidParameter;
    if (path.empty()) return r->base ? RegStatus::Ok : RegStatus::IoError;
    UniqueRegKey key;
    // Only a missing key costs a write, so opening an existing one with create works read-only.
    RegStatus s = r->Open(path, KEY_READ, key);
    if (s != RegStatus::NotFound || !create) return s;
    if (options_.readOnly) return RegStatus::AccessDenied;
    const Root::WriteLock lock(*r);
    return FromError(::RegCreateKeyExA(r->base, std::string(path).c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                                       key.put(), nullptr));
}

RegStatus Win32Registry::QueryValue(RegRoot root, std::string_view path, std::string_view name,
                                    RegValue& out) {
    Root* r = RootOf(root);
    if (!r || !ValidPath(path) || !ValidName(name)) return RegStatus::InvalidParameter;
    UniqueRegKey key;
    if (const RegStatus s = r->Open(path, KEY_QUERY_VALUE, key); s != RegStatus::Ok) return s;
    const std::string valueName(name);
    std::string data;
    // The value may grow between asking its size and reading it: ask again then.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        LSTATUS e =
            ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
        if (e != ERROR_SUCCESS) return FromError(e);
        data.assign(size, '\0');
        e = ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &size);
        if (e == ERROR_MORE_DATA) continue;
        if (e != ERROR_SUCCESS) return FromError(e);
        // For text read through the ANSI call the first size is an upper bound.
        data.resize(std::min<std::size_t>(size, data.size()));
        out = RegValue{static_cast<RegType>(type), std::move(data)};
        return RegStatus::Ok;
    }
    return RegStatus::IoError;
}

RegStatus Win32Registry::SetValue(RegRoot root, std::string_view path, std::string_view name,
                                  const RegValue& value) {
    Root* r = RootOf(root);
    if (!r || !ValidPath(path) || !ValidName(name) || value.data.size() > kRegMaxValueBytes)
        return RegStatus::InvalidParameter;
    if (options_.readOnly) return RegStatus::AccessDenied;
    UniqueRegKey key;
    if (const RegStatus s = r->Open(path, KEY_SET_VALUE, key); s != RegStatus::Ok) return s;
    const Root::WriteLock lock(*r);
    return FromError(::RegSetValueExA(
        key.get(), std::string(name).c_str(), 0, static_cast<DWORD>(value.type),
        reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size())));
}

RegStatus Win32Registry::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
    Root* r = RootOf(root);
    if (!r || !ValidPath(path) || !ValidName(name)) return RegStatus::InvalidParameter;
    if (options_.readOnly) return RegStatus::AccessDenied;
    UniqueRegKey key;
    if (const RegStatus s = r->Open(path, KEY_SET_VALUE, key); s != RegStatus::Ok) return s;
    const Root::WriteLock lock(*r);
    return FromError(::RegDeleteValueA(key.get(), std::string(name).c_str()));
}

RegStatus Win32Registry::DeleteKey(RegRoot root, std::string_view path) {
    Root* r = RootOf(root);
    // The root itself cannot be deleted.
    if (!r || path.empty() || !ValidPath(path)) return RegStatus::InvalidParameter;
    if (options_.readOnly) return RegStatus::AccessDenied;
    if (!r->base) return RegStatus::IoError;
    const Root::WriteLock lock(*r);
    return FromError(::RegDeleteTreeA(r->base, std::string(path).c_str()));
}

RegStatus Win32Registry::EnumSubKeys(RegRoot root, std::string_view path,
                                     std::vector<std::string>& names) {
    Root* r = RootOf(root);
    if (!r || !ValidPath(path)) return RegStatus::InvalidParameter;
    UniqueRegKey key;
    if (const RegStatus s = r->Open(path, KEY_ENUMERATE_SUB_KEYS, key); s != RegStatus::Ok)
        return s;
    std::vector<std::string> found;
    char name[kRegMaxKeyNameBytes + 1];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        const LSTATUS e =
            ::RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) break;
        if (e != ERROR_SUCCESS) return FromError(e);
        found.emplace_back(name, length);
    }
    // Windows sorts by its own upper-case folding; the file store by lower case. One order for
    // both: it differs for the few characters between 'Z' and 'a'.
    std::stable_sort(found.begin(), found.end(), LessFolded);
    names = std::move(found);
    return RegStatus::Ok;
}

RegStatus Win32Registry::EnumValues(RegRoot root, std::string_view path,
                                    std::vector<std::string>& names) {
    Root* r = RootOf(root);
    if (!r || !ValidPath(path)) return RegStatus::InvalidParameter;
    UniqueRegKey key;
    if (const RegStatus s = r->Open(path, KEY_QUERY_VALUE, key); s != RegStatus::Ok) return s;
    std::vector<std::string> found;
    std::string name(kRegMaxNameBytes + 1, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS e =
            ::RegEnumValueA(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) break;
        if (e != ERROR_SUCCESS) return FromError(e);
        found.emplace_back(name.data(), length);
    }
    names = std::move(found);
    return RegStatus::Ok;
}

void Win32Registry::BeginUpdate(RegRoot root) {
    Root* r = RootOf(root);
    if (!r) return;
    {
        std::lock_guard guard(r->stateMutex);
        if (r->depth > 0 && r->owner == std::this_thread::get_id()) {
            ++r->depth;
            return;
        }
    }
    // Another thread's or process's update ends before this one starts.
    if (r->writeMutex.valid()) ::WaitForSingleObject(r->writeMutex.get(), INFINITE);
    std::lock_guard guard(r->stateMutex);
    r->owner = std::this_thread::get_id();
    r->depth = 1;
}

RegStatus Win32Registry::EndUpdate(RegRoot root) {
    Root* r = RootOf(root);
    if (!r) return RegStatus::InvalidParameter;
    {
        std::lock_guard guard(r->stateMutex);
        if (r->depth == 0 || r->owner != std::this_thread::get_id())
            return RegStatus::InvalidParameter;
        if (--r->depth > 0) return RegStatus::Ok;
        r->owner = {};
    }
    const RegStatus s = options_.readOnly ? RegStatus::Ok
                        : r->base         ? FromError(::RegFlushKey(r->base))
                                          : RegStatus::IoError;
    if (r->writeMutex.valid()) ::ReleaseMutex(r->writeMutex.get());
    return s;
}

RegStatus Win32Registry::KeepCopy(RegRoot root, std::string& where) {
    Root* r = RootOf(root);
    if (!r || !ValidPath(options_.ownKey) || options_.ownKey.empty())
        return RegStatus::InvalidParameter;
    if (options_.readOnly) return RegStatus::AccessDenied;
    UniqueRegKey source;
    if (const RegStatus s = r->Open(options_.ownKey, KEY_READ, source); s != RegStatus::Ok)
        return s;

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, " (kept %04u-%02u-%02u %02u-%02u-%02u", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    const Root::WriteLock lock(*r);
    for (int n = 1; n < 100; ++n) {
        std::string name = options_.ownKey + stamp;
        if (n > 1) name += " #" + std::to_string(n);
        name += ")";
        UniqueRegKey copy;
        DWORD disposition = 0;
        const LSTATUS e =
            ::RegCreateKeyExA(r->base, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, copy.put(), &disposition);
        if (e != ERROR_SUCCESS) return FromError(e);
        // An earlier copy in the same second keeps its contents.
        if (disposition == REG_OPENED_EXISTING_KEY) continue;
        if (const LSTATUS c = ::RegCopyTreeA(source.get(), nullptr, copy.get());
            c != ERROR_SUCCESS) {
            copy.Reset();
            ::RegDeleteTreeA(r->base, name.c_str());
            return FromError(c);
        }
        where = r->displayName + "\\" + name;
        return RegStatus::Ok;
    }
    return RegStatus::IoError;
}

}  // namespace pw::platform::win32
