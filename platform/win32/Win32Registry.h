#pragma once
// The registry on the Windows registry itself. Every write lands at once; BeginUpdate/EndUpdate
// hold a named mutex per root, which every write of this class also takes for its moment, so
// grouped writes of one thread or process are not interleaved with others' writes, and the
// outermost EndUpdate flushes the root to disk (RegFlushKey) and returns how that went. What was
// written before a failed flush stays written: the registry has no way back.
//
// A sandbox folder gives a private registry for tests: each root then lives under
// HKCU\Software\Quillmere\Pagewarden sandboxes\<16 hex digits of the FNV-1a hash of the folder
// path>\<HKCR|HKCU|HKLM>, so registries given different folders never see each other's values
// and two given the same folder share theirs, as the file store does on Linux.
//
// Threads: any thread may call any member.

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace pw::platform::win32 {

class Win32Registry final : public IRegistry {
  public:
    static constexpr std::string_view kDefaultOwnKey = "Software\\Quillmere\\Pagewarden";

    struct Options {
        // Empty: the real roots.
        std::filesystem::path sandboxFolder{};
        // The program's own settings key below a root: what KeepCopy copies.
        std::string ownKey{kDefaultOwnKey};
        // Writes, updates' writes and KeepCopy give AccessDenied; reads see the registry live.
        bool readOnly = false;
    };

    explicit Win32Registry(Options options);
    // Ends updates the destroying thread left open, as their EndUpdate would.
    ~Win32Registry() override;
    Win32Registry(const Win32Registry&) = delete;
    Win32Registry& operator=(const Win32Registry&) = delete;

    // The key below HKEY_CURRENT_USER that holds a sandbox folder's roots.
    static std::string SandboxKey(const std::filesystem::path& folder);

    RegStatus OpenKey(RegRoot root, std::string_view path, bool create) override;
    RegStatus QueryValue(RegRoot root, std::string_view path, std::string_view name,
                         RegValue& out) override;
    RegStatus SetValue(RegRoot root, std::string_view path, std::string_view name,
                       const RegValue& value) override;
    RegStatus DeleteValue(RegRoot root, std::string_view path, std::string_view name) override;
    RegStatus DeleteKey(RegRoot root, std::string_view path) override;
    // Sub-keys sorted case-insensitively; values in the order the registry keeps them (Windows:
    // as first written; Wine: by name).
    RegStatus EnumSubKeys(RegRoot root, std::string_view path,
                          std::vector<std::string>& names) override;
    RegStatus EnumValues(RegRoot root, std::string_view path,
                         std::vector<std::string>& names) override;
    void BeginUpdate(RegRoot root) override;
    RegStatus EndUpdate(RegRoot root) override;
    // Copies the own key, with everything below it, to the sibling "<ownKey> (kept YYYY-MM-DD
    // HH-MM-SS)" (" #2", " #3", ... appended when that is taken); `where` is its full name as
    // the registry editor shows it, e.g. "HKEY_CURRENT_USER\Software\Quillmere\Pagewarden (kept
    // 2026-12-08 17-49-27)". NotFound when the own key does not exist.
    RegStatus KeepCopy(RegRoot root, std::string& where) override;

  private:
    struct Root;
    Options options_;
    std::array<std::unique_ptr<Root>, 3> roots_;

    Root* RootOf(RegRoot root) const;  // null for a value outside the enumeration
};

}  // namespace pw::platform::win32
