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
};

}  // namespace pw::platform
