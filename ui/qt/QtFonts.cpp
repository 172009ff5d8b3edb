#include "ui/qt/QtFonts.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace pw::ui::qt {

namespace {

struct FontMapping {
    std::string_view designFace;  // the face a window names,
    int designPoints;             // at this size,
    const char* family;           // is drawn in this desktop face
    const char* fallback;         // (or this one, of the same design but wider)
    QFont::StyleHint kind;        // (or else the desktop's choice of this kind)
    int pixelSize;                // at this many pixels to the em
};

// In pixels, not points, since the geometry the texts must fit is in pixels. DejaVu Sans Condensed
// (Debian's fonts-dejavu-extra) at these sizes is about as wide as "MS Sans Serif"; at 8 points
// (11 pixels), or in the wider faces a desktop offers, "Start minimised" and the work panel's
// label are cut. The serif title of the progress window is as wide as its design face in DejaVu
// Serif Condensed at 18 pixels. The Qt tests measure the captions of the windows in these fonts.
constexpr FontMapping kFontMap[] = {
    // a window's own font
    {"MS Sans Serif", 8, "DejaVu Sans Condensed", "DejaVu Sans", QFont::SansSerif, 10},
    // the engraved caption of the progress window
    {"MS Sans Serif", 9, "DejaVu Sans Condensed", "DejaVu Sans", QFont::SansSerif, 11},
    // the column headings of the watch window
    {"MS Sans Serif", 10, "DejaVu Sans Condensed", "DejaVu Sans", QFont::SansSerif, 12},
    // the title of the progress window
    {"Times New Roman", 14, "DejaVu Serif Condensed", "DejaVu Serif", QFont::Serif, 18},
};

bool SameFace(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

QFont DesignFont(const framework::TFont& design) {
    const bool known =
        std::any_of(std::begin(kFontMap), std::end(kFontMap),
                    [&](const FontMapping& m) { return SameFace(m.designFace, design.name); });
    const std::string_view face =
        known ? std::string_view(design.name) : framework::kDesignFontName;
    const int points = std::max(design.size, 1);
    const FontMapping* nearest = nullptr;
    for (const FontMapping& m : kFontMap) {
        if (!SameFace(m.designFace, face)) continue;
        if (!nearest ||
            std::abs(m.designPoints - points) < std::abs(nearest->designPoints - points))
            nearest = &m;
    }
    const int pixels = static_cast<int>(
        std::lround(static_cast<double>(nearest->pixelSize) * points / nearest->designPoints));
    QFont font;
    font.setFamilies(
        {QString::fromLatin1(nearest->family), QString::fromLatin1(nearest->fallback)});
    font.setStyleHint(nearest->kind);
    font.setPixelSize(std::max(pixels, 1));
    font.setBold(design.bold);
    font.setItalic(design.italic);
    return font;
}

QFont DesignFont(int designPoints) {
    framework::TFont font;
    font.size = designPoints;
    return DesignFont(font);
}

}  // namespace pw::ui::qt
