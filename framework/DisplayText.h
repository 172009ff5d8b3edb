#pragma once
// Display texts: captions and message texts. Texts of the program's own tables are UTF-8 (the
// self-update messages come in 29 languages); texts made from the system's 8-bit code page, such
// as a path or a user's entry, may be bytes that are not. A text is therefore shown as UTF-8 when
// its bytes are valid UTF-8, and byte for byte as Latin-1 otherwise.

#include <cstddef>
#include <string>
#include <string_view>

namespace pw::framework {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
bool IsValidUtf8(std::string_view text);

// How many characters a display text shows: code points of UTF-8, else bytes.
std::size_t DisplayLength(std::string_view text);

// A text of the 8-bit code page (what the user typed into an edit field) as a display text that
// shows the same characters, also where it is joined to UTF-8 text: each byte as the Latin-1
// character it stands for, in UTF-8. Plain ASCII comes back unchanged.
std::string CodePageToDisplay(std::string_view bytes);

}  // namespace pw::framework
