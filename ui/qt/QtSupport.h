#pragma once
// Helpers shared by the sources of the Qt back end; not for use outside ui/qt/.

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

#include "framework/DisplayText.h"

namespace pw::ui::qt {

// The texts of edit fields and drop-down lists are bytes of the system's 8-bit code page, which
// Latin-1 stands for: every byte is one character and comes back unchanged; a character beyond it
// comes back as '?'.
inline QString FromLatin1(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ToLatin1(const QString& s) {
    const QByteArray bytes = s.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Display texts (captions, titles, message texts): UTF-8 when the bytes are valid UTF-8, else
// Latin-1. Both decodings can give the same characters, so a control keeps the bytes it was given
// and hands those back rather than encoding what it shows.
inline QString FromDisplay(std::string_view s) {
    return framework::IsValidUtf8(s) ? QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))
                                     : FromLatin1(s);
}

}  // namespace pw::ui::qt
