#pragma once
// Whether a fetched page holds a row's search text.

#include <string_view>

namespace pw::monitor {

// True when `text` occurs in `page` as a contiguous run of bytes at any offset, the very last
// included. Bytes are compared raw: no decoding, no case folding, bytes >= 0x80 like any other.
// An empty text is always found; a page shorter than the text never holds it.
// Linear in the page's length whatever the input, and usually much faster than one step per byte.
bool PageContains(std::string_view page, std::string_view text);

}  // namespace pw::monitor
