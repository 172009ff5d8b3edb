#pragma once
// Helpers shared by the sources of the Qt back end; not for use outside ui/qt/.

#include <QByteArray>
#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "framework/Application.h"

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

// Runs a handler that Qt calls. Nothing may unwind through Qt's event dispatch, so an exception
// stops here, in the standard error box, and the loop goes on.
template <typename F>
void RunGuarded(framework::IApplication& app, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        app.ShowException(e.what());
    } catch (...) {
        app.ShowException("Unknown exception");
    }
}

// Runs an event property when it is set. It runs from a copy: a handler may rebind or destroy
// its own control.
inline void Notify(framework::IApplication& app, const std::function<void()>& handler) {
    if (!handler) return;
    const std::function<void()> run = handler;
    RunGuarded(app, run);
}

}  // namespace pw::ui::qt
