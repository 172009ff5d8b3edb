// The Pagewarden program: the watch window on Qt, or the headless checker.

#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Version.h"
#include "app/Checker.h"
#include "app/Launch.h"
#include "monitor/Unit1.h"
#include "platform/native/NativeOs.h"
#include "ui/qt/QtApplication.h"
#include "update/kxRelift.h"
#include "update/kxReliftMessages.h"
#include "util/kxUtilsSystem.h"

namespace {

// What Qt says while it connects to the display is held back: when it cannot connect, it ends
// with a fatal message and an abort, which become one line and exit status 2 instead.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<HeldMessage>* heldMessages = nullptr;

[[noreturn]] void NoDisplay() {
    std::string why;
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); platform && *platform)
        why = std::string("the platform \"") + platform + "\" cannot be started";
    else if (const char* display = std::getenv("DISPLAY"); display && *display)
        why = std::string("the display \"") + display + "\" cannot be reached";
    else
        why = "DISPLAY is not set";
    std::fprintf(stderr,
                 "pagewarden: no display to show the window on (%s); "
                 "pagewarden --check checks the watch list without one\n",
                 why.c_str());
    std::fflush(stderr);
    // Qt is half built and about to abort: nothing of ours needs to be unwound.
    std::_Exit(pw::app::kExitCannotRun);
}

void HoldStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) NoDisplay();
    heldMessages->push_back({type, QByteArray(context.category), text});
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = pw::app::RunWithoutWindow(argc, argv)) return *status;
    // The checker needs no display and must not meet Qt at all: only the window gets here.
    const std::vector<std::string> params(argv + 1, argv + argc);

    std::vector<HeldMessage> held;
    heldMessages = &held;
    const QtMessageHandler previous = qInstallMessageHandler(HoldStartupMessage);
    QApplication qapp(argc, argv);
    qInstallMessageHandler(previous);
    heldMessages = nullptr;
    for (const HeldMessage& m : held)
        previous(m.type, QMessageLogContext(nullptr, 0, nullptr, m.category.constData()), m.text);

    // Names the installed desktop entry, whose icon and name the desktop then shows for the
    // window (on Wayland the window carries nothing else to match it by).
    QGuiApplication::setDesktopFileName(QStringLiteral(PW_APP_ID));

    pw::ui::qt::QtApplication app(qapp);
    app.SetTitle("Pagewarden");

    // What the settings store must tell the user (a damaged file set aside) is shown in a box
    // once the window is up: the loop runs posted messages only after Show.
    pw::platform::NativeOs os({.notice = [&app](const std::string& notice) {
        app.Post([&app, notice] {
            app.MessageBox(notice, "Pagewarden",
                           pw::framework::mb::kOk | pw::framework::mb::kIconWarning);
        });
    }});
    pw::platform::NativeInternet internet;
    pw::platform::NativeSound sound;
    const pw::TkxEnvironment env(os.os(), pw::app::InstallLayout());

    pw::update::DetectLanguage(os.os().system.DefaultLanguage());

    pw::monitor::TForm1 Form1({app, os.os(), internet, sound, env, /*trayIcon=*/true},
                              pw::monitor::TSettingsUse::ReadWrite,
                              {pw::app::UpdateUrl(), PW_VERSION_DATE, params});
    Form1.Form().Show();
    app.Run();
    return 0;
}
