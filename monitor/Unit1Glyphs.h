#pragma once
// The 16 x 16 button pictures and the 32 x 32 tray icons of the main window (PNG), compiled into
// the program.

#include <span>
#include <string_view>

namespace pw::monitor {

// The picture of that name ("START", "STOP", "EXIT", "MINIMISE", "SAVE", "HELP", "SOUND", and
// the tray's "TRAYIDLE", "TRAYWATCHING", "TRAYALARM", "TRAYERROR"); empty when there is none.
std::span<const unsigned char> ButtonGlyph(std::string_view name);

}  // namespace pw::monitor
