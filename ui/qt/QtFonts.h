#pragma once
// The fonts of the Qt back end. The windows were laid out in pixels for Windows faces ("MS Sans
// Serif", "Times New Roman") that a Linux desktop does not have; each face and size they name is
// drawn in a desktop face and pixel size whose texts fit the same pixels (the table in
// QtFonts.cpp).

#include <QFont>

#include "framework/Controls.h"

namespace pw::ui::qt {

// The point size of "MS Sans Serif" a window's own font was designed in.
inline constexpr int kWindowFontPoints = 8;

// The desktop font that stands in for a font a window names: the table's row of the same face
// (any other face counts as "MS Sans Serif") nearest in size, scaled to the size asked for, bold
// and italic as asked.
QFont DesignFont(const framework::TFont& font);
// "MS Sans Serif" at the given point size.
QFont DesignFont(int designPoints);

}  // namespace pw::ui::qt
