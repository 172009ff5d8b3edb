// The Pagewarden program: the watch window on Qt, or the headless checker.

#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Version.h"
#include "app/Checker.h"
#include "app/UpdateCheck.h"
#include "monitor/Unit1.h"
#include "platform/posix/CurlInternet.h"
#include "platform/posix/PosixOs.h"
#include "platform/posix/SdlSound.h"
#include "ui/qt/QtApplication.h"
#include "update/kxRelift.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftVerify.h"
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

// The update information file's address: the environment's when it sets one (an empty value
// switches the check off), else the one built in.
std::string UpdateUrl() {
    if (!PW_SELF_UPDATE) return {};
    const char* env = std::getenv("PAGEWARDEN_UPDATE_URL");
    return env ? std::string(env) : std::string(PW_UPDATE_URL);
}

const pw::TkxInstallLayout kInstallLayout{PW_BIN_FOLDER, PW_DOC_FOLDER};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Pagewarden %s, released %s\n", PW_VERSION, PW_VERSION_DATE);
        return 0;
    }
    const std::vector<std::string> params(argv + 1, argv + argc);
    for (const std::string& p : params) {
        if (p == "--check-update")
            return pw::app::RunUpdateCheck(
                argc, argv, stdout, stderr,
                {UpdateUrl(), PW_VERSION_DATE, std::string(pw::update::BuiltInUpdatePublicKey())});
    }
    // The window takes no arguments but the one of a restart after an update, so any other
    // argument is the checker's, which also rejects the unknown ones; the checker needs no
    // display and must not meet Qt at all.
    const bool afterUpgrade = argc == 2 && params[0] == pw::update::kDefaultRestartParams;
    if (argc > 1 && !afterUpgrade)
        return pw::app::RunChecker(argc, argv, stdout, stderr,
                                   {.appExeName = {}, .layout = kInstallLayout});

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
    pw::platform::posix::PosixOs os({.notice = [&app](const std::string& notice) {
        app.Post([&app, notice] {
            app.MessageBox(notice, "Pagewarden",
                           pw::framework::mb::kOk | pw::framework::mb::kIconWarning);
        });
    }});
    pw::platform::posix::CurlInternet internet;
    pw::platform::posix::SdlSound sound;
    const pw::TkxEnvironment env(os.os(), kInstallLayout);

    pw::update::DetectLanguage(os.os().system.DefaultLanguage());

    pw::monitor::TForm1 Form1({app, os.os(), internet, sound, env, /*trayIcon=*/true},
                              pw::monitor::TSettingsUse::ReadWrite,
                              {UpdateUrl(), PW_VERSION_DATE, params});
    Form1.Form().Show();
    app.Run();
    return 0;
}
