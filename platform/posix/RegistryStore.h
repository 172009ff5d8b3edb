#pragma once
// The registry kept in text files: one REGEDIT5-format file per root ("HKCU.reg", "HKLM.reg",
// "HKCR.reg") in a config folder. Writes are atomic (temporary file, fsync, rename) and serialised
// between processes with flock on "<file>.lock"; each root keeps a parsed cache that is re-read
// only when the file changed, so writes of other processes are seen and never lost. A damaged file
// is salvaged: what parses is kept, the original is set aside as "<file>.broken-N" and the user is
// told through `notice`.
//
// An update (BeginUpdate/EndUpdate) takes the root's exclusive lock at its start (or at its first
// write, when the folder does not exist yet) and keeps it until the file is written once at its
// end. Readers elsewhere (other processes, other RegistryStore objects) do not wait for it: they
// see the file as it was until then. Writers elsewhere wait for it, so a second RegistryStore on
// the same folder must not write from the thread that holds an update of the first.
//
// A snapshot store only reads: each root's file is read once, at the first call that needs it, and
// every later call answers from that reading, so a save made by another process meanwhile is seen
// whole or not at all. It writes nothing, creates no folder or lock file, never blocks on a file
// that is not a regular one, and reads a damaged file as far as it parses, leaving it as it is.
// Its writes, updates' writes and KeepCopy give AccessDenied.
//
// Threads: any thread may call any member; `notice` runs on the calling thread, with no lock held.
// During an update, other threads of this store read its pending state and their writes and
// updates wait until it ends.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/Registry.h"

namespace pw::platform::posix {

struct RegKey;

class RegistryStore final : public IRegistry {
  public:
    // A file larger than this is not read (it is set aside as damaged), and a write that would
    // make a file larger is refused, so the store can always read what it wrote.
    static constexpr std::uint64_t kMaxFileBytes = std::uint64_t{64} << 20;

    enum class Access { ReadWrite, Snapshot };

    // `folder` is created (0700, with parents) on the first write. `notice` receives messages the
    // user must see; it may be empty.
    RegistryStore(std::filesystem::path folder, std::function<void(const std::string&)> notice,
                  Access access = Access::ReadWrite);
    // Writes what updates left open hold, as their end would.
    ~RegistryStore() override;
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The file that holds a root.
    std::filesystem::path FileOf(RegRoot root) const;

    RegStatus OpenKey(RegRoot root, std::string_view path, bool create) override;
    RegStatus QueryValue(RegRoot root, std::string_view path, std::string_view name,
                         RegValue& out) override;
    RegStatus SetValue(RegRoot root, std::string_view path, std::string_view name,
                       const RegValue& value) override;
    RegStatus DeleteValue(RegRoot root, std::string_view path, std::string_view name) override;
    RegStatus DeleteKey(RegRoot root, std::string_view path) override;
    // Sub-keys come sorted case-insensitively (the order the file keeps them in, so it does not
    // change when another process rewrites the file); values in the order they were first written.
    RegStatus EnumSubKeys(RegRoot root, std::string_view path,
                          std::vector<std::string>& names) override;
    RegStatus EnumValues(RegRoot root, std::string_view path,
                         std::vector<std::string>& names) override;
    void BeginUpdate(RegRoot root) override;
    RegStatus EndUpdate(RegRoot root) override;
    // The copy is "<file>.broken-N", as for a damaged file, with the first N not taken.
    RegStatus KeepCopy(RegRoot root, std::string& where) override;

  private:
    struct Root;
    std::filesystem::path folder_;
    std::function<void(const std::string&)> notice_;
    std::unique_ptr<Root> roots_[3];

    Root* RootOf(RegRoot root);  // null for a value outside the enumeration
    RegStatus Deliver(RegStatus status, const std::string& notice) const;
    // Runs `read` on an existing key under the read lock; NotFound when the key is missing.
    RegStatus ReadKey(RegRoot root, std::string_view path,
                      const std::function<RegStatus(const RegKey&)>& read);
};

}  // namespace pw::platform::posix
