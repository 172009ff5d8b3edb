#pragma once
// The 16 x 16 button pictures of the main window (PNG), compiled into the program.

#include <span>
#include <string_view>

namespace pw::monitor {

// The picture of that name ("START", "STOP", "EXIT", "MINIMISE", "SAVE", "HELP", "SOUND");
// empty when there is none.
std::span<const unsigned char> ButtonGlyph(std::string_view name);

}  // namespace pw::monitor
