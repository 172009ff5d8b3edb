#pragma once
// Helpers shared by the sources of the Qt back end; not for use outside ui/qt/.

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

namespace pw::ui::qt {

// Control texts are bytes of the system's 8-bit code page, which Latin-1 stands for: every byte is
// one character and comes back unchanged; a character beyond it comes back as '?'.
inline QString FromLatin1(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ToLatin1(const QString& s) {
    const QByteArray bytes = s.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Window titles and message texts: the locale's encoding, since file paths appear in them.
inline QString FromLocal(std::string_view s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ToLocal(const QString& s) {
    const QByteArray bytes = s.toLocal8Bit();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace pw::ui::qt
