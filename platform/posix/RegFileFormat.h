#pragma once
// The text of one root's file: a header line, then a "[ROOT\path]" section per key with one
// `"name"=data` line per value. Reading keeps whatever parses and counts the lines that do not,
// so a damaged file can be salvaged.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/RegKeyTree.h"

namespace pw::platform::posix {

struct RegParseResult {
    RegKey tree;
    std::size_t firstBadLine = 0;  // 0: the text is sound
    std::string what;              // what is wrong with the first bad line
    std::size_t badLines = 0;
    std::size_t lastBadLine = 0;

    void Bad(std::size_t line, std::string_view why);
};

// `rootName` is the root's full name ("HKEY_CURRENT_USER"); sections of other roots are bad lines.
RegParseResult ParseRegFile(std::string_view text, std::string_view rootName);
std::string SerializeRegFile(const RegKey& tree, std::string_view rootName);

// Upper bounds of what a change adds to SerializeRegFile's output, so that a file size limit can
// be kept without serialising the tree on every write.
std::uint64_t SerializedValueGrowth(std::string_view name, const RegValue& value);
std::uint64_t SerializedKeyGrowth(std::string_view path, std::size_t depth);

}  // namespace pw::platform::posix
