#pragma once
// The registry of one root in memory: keys holding values and sub-keys. Names compare
// case-insensitively (ASCII letters only) and keep the case they were created with.

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace pw::platform::posix {

// A byte below 0x20 or DEL.
bool IsControlChar(char c);
// Whether the first prefix.size() bytes of `s` equal `prefix`, ignoring case.
bool StartsWithFolded(std::string_view s, std::string_view prefix);

// Names are written on one line of the file, so they cannot hold line breaks or other controls.
bool ValidValueName(std::string_view name);
// Splits a key path at '\'. The empty path is the root; an empty component, an over-long or
// unprintable name, or nesting deeper than Windows allows is refused.
bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& parts);

struct RegKey {
    std::string name;
    std::vector<std::pair<std::string, RegValue>> values;     // in the order first written
    std::unordered_map<std::string, std::size_t> valueIndex;  // folded name -> position
    std::map<std::string, std::unique_ptr<RegKey>> children;  // folded name -> key, sorted

    RegKey() = default;
    explicit RegKey(std::string n) : name(std::move(n)) {}
    RegKey(RegKey&&) = default;
    RegKey& operator=(RegKey&&) = default;

    RegKey Clone() const;

    RegKey* Child(std::string_view n) const;
    // Sets `created` only when the child is new, so one flag can collect a whole path.
    RegKey& ChildOrNew(std::string_view n, bool& created);
    // Removes the child with everything below it.
    bool EraseChild(std::string_view n);

    const RegValue* Find(std::string_view n) const;
    // An existing value keeps its name's case and its place.
    void Set(std::string_view n, const RegValue& v);
    bool Erase(std::string_view n);
};

// The key at `parts` below `root`, or null.
const RegKey* FindKey(const RegKey& root, const std::vector<std::string_view>& parts);
RegKey* FindKey(RegKey& root, const std::vector<std::string_view>& parts);

}  // namespace pw::platform::posix
