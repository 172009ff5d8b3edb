#include "ui/qt/QtFonts.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pw::ui::qt {

namespace {

struct FontMapping {
    int designPoints;    // "MS Sans Serif" at this size
    const char* family;  // is drawn in this face
    int pixelSize;       // at this many pixels to the em
};

// In pixels, not points, since the geometry the texts must fit is in pixels. DejaVu Sans Condensed
// (Debian's fonts-dejavu-extra) at these sizes is about as wide as the design face; at 8 points
// (11 pixels), or in the wider faces a desktop offers, "Start minimised" and the work panel's
// label are cut. The Qt window test measures every caption and drop-down item of the watch window
// in these fonts.
constexpr FontMapping kFontMap[] = {
    {8, "DejaVu Sans Condensed", 10},   // a window's own font
    {10, "DejaVu Sans Condensed", 12},  // the column headings of the watch window
};

}  // namespace

QFont DesignFont(int designPoints) {
    const FontMapping* nearest = &kFontMap[0];
    for (const FontMapping& m : kFontMap)
        if (std::abs(m.designPoints - designPoints) <
            std::abs(nearest->designPoints - designPoints))
            nearest = &m;
    const int pixels = static_cast<int>(std::lround(static_cast<double>(nearest->pixelSize) *
                                                    designPoints / nearest->designPoints));
    QFont font;
    // DejaVu Sans before the desktop's own choice: wider, but of the same design.
    font.setFamilies({QString::fromLatin1(nearest->family), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(pixels, 1));
    return font;
}

}  // namespace pw::ui::qt
