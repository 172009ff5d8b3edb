#pragma once
// The fonts of the Qt back end. The windows were laid out in pixels for "MS Sans Serif", which a
// Linux desktop does not have; each of its sizes is drawn in a desktop face and pixel size whose
// texts fit the same pixels (the table in QtFonts.cpp).

#include <QFont>

namespace pw::ui::qt {

// The point size of "MS Sans Serif" a window's own font was designed in.
inline constexpr int kWindowFontPoints = 8;

// The desktop font that stands in for "MS Sans Serif" at the given point size. A size the table
// lacks is scaled from the nearest one it has.
QFont DesignFont(int designPoints);

}  // namespace pw::ui::qt
