#pragma once
// The registry as the program sees it: typed values under backslash-separated key paths in a few
// predefined roots. Key paths and value names compare case-insensitively and keep the case they
// were created with. The empty value name is the key's default value.
//
// Implementations are safe to call from any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pw::platform {

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine };

// Numbered as the Windows registry numbers its value types; the numbers are stored in files.
enum class RegType : std::uint32_t {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    MultiSz = 7,
    Qword = 11,
};

// A value with its raw bytes as the registry returns them: Sz and ExpandSz hold the text followed
// by one zero byte, Dword 4 and Qword 8 bytes little-endian.
struct RegValue {
    RegType type = RegType::None;
    std::string data;

    static RegValue Text(std::string_view text, RegType type = RegType::Sz);
    static RegValue Dword(std::uint32_t value);
    static RegValue Binary(std::string_view bytes);

    // The text of a Sz/ExpandSz value up to its first zero byte.
    std::string AsText() const;
    // The number of a Dword value; only meaningful when type == Dword and data has 4 bytes.
    std::uint32_t AsDword() const;

    bool operator==(const RegValue&) const = default;
};

// Outcomes, numbered as the Windows error codes they stand for.
enum class RegStatus : std::int32_t {
    Ok = 0,
    NotFound = 2,           // key or value missing
    AccessDenied = 5,       // the store cannot be written (read-only folder or file)
    InvalidParameter = 87,  // a value or name beyond the store's limits, an empty key path
    MoreData = 234,         // the caller's buffer is too small (used by buffer-based readers)
    IoError = 1117,         // reading or writing the backing storage failed
};

// Limits that keep a hand-edited or hostile store from exhausting memory.
inline constexpr std::size_t kRegMaxValueBytes = 1 << 20;  // one value's data
inline constexpr std::size_t kRegMaxNameBytes = 16383;     // a value name (Windows' own limit)
inline constexpr std::size_t kRegMaxKeyNameBytes = 255;    // one key path component

class IRegistry {
  public:
    virtual ~IRegistry() = default;

    // Ok when the key exists; with create, every missing key on the path is created first.
    virtual RegStatus OpenKey(RegRoot root, std::string_view path, bool create) = 0;
    // Reads a value of an existing key; NotFound when the key or the value is missing.
    virtual RegStatus QueryValue(RegRoot root, std::string_view path, std::string_view name,
                                 RegValue& out) = 0;
    // Writes a value into an existing key (NotFound when the key is missing).
    virtual RegStatus SetValue(RegRoot root, std::string_view path, std::string_view name,
                               const RegValue& value) = 0;
    virtual RegStatus DeleteValue(RegRoot root, std::string_view path, std::string_view name) = 0;
    // Deletes the key with everything below it.
    virtual RegStatus DeleteKey(RegRoot root, std::string_view path) = 0;
    // Names of the direct sub-keys (sorted case-insensitively) and of the values (in the order
    // they were first written).
    virtual RegStatus EnumSubKeys(RegRoot root, std::string_view path,
                                  std::vector<std::string>& names) = 0;
    virtual RegStatus EnumValues(RegRoot root, std::string_view path,
                                 std::vector<std::string>& names) = 0;

    // Groups the writes to one root into one durable write. Between BeginUpdate and the matching
    // EndUpdate the calling thread holds the root for itself: other processes' writes, and other
    // threads' writes and updates, wait until it ends. Reads do not wait; through this object
    // they see the group's writes at once, elsewhere only after its end. Each write still reports
    // its own error (a value over the limits, a missing key) at once and changes nothing then.
    // Updates nest: only the outermost EndUpdate writes, and it returns how that went; when it
    // fails, the root goes back to what is stored and the stored values stay as they were.
    // EndUpdate without a matching BeginUpdate on the calling thread gives InvalidParameter. Do not
    // wait for another thread that writes to the same root while holding its update: that thread
    // waits for you.
    virtual void BeginUpdate(RegRoot root) = 0;
    virtual RegStatus EndUpdate(RegRoot root) = 0;

    // Keeps what is stored under the root, as it is now, under a new name that nothing writes
    // again, and says where in `where`: for values the program could not use, before a write
    // replaces them. NotFound when nothing is stored; AccessDenied when the store cannot be
    // written.
    virtual RegStatus KeepCopy(RegRoot root, std::string& where) = 0;
};

// Holds an update for one scope. Commit() ends it and returns EndUpdate's status; if Commit was
// not called, the destructor ends it, so writes made before an early return or an exception are
// kept as they would be without grouping.
class RegUpdate {
  public:
    RegUpdate(IRegistry& registry, RegRoot root) : registry_(&registry), root_(root) {
        registry.BeginUpdate(root);
    }
    ~RegUpdate() {
        if (!ended_) registry_->EndUpdate(root_);
    }
    RegUpdate(const RegUpdate&) = delete;
    RegUpdate& operator=(const RegUpdate&) = delete;

    // Ends the update once; later calls return the same status.
    RegStatus Commit() {
        if (!ended_) {
            ended_ = true;
            status_ = registry_->EndUpdate(root_);
        }
        return status_;
    }

  private:
    IRegistry* registry_;
    RegRoot root_;
    bool ended_ = false;
    RegStatus status_ = RegStatus::Ok;
};

}  // namespace pw::platform
