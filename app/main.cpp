// The Pagewarden program: the watch window on Qt, or the headless checker.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "Version.h"
#include "app/Checker.h"
#include "monitor/Unit1.h"
#include "platform/posix/CurlInternet.h"
#include "platform/posix/PosixOs.h"
#include "platform/posix/SdlSound.h"
#include "ui/qt/QtApplication.h"
#include "util/kxUtilsSystem.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Pagewarden %s\n", PW_VERSION);
        return 0;
    }
    // The headless checker needs no display: it must not meet Qt at all.
    if (pw::app::IsCheckerCommand(argc, argv))
        return pw::app::RunChecker(argc, argv, stdout, stderr);

    QApplication qapp(argc, argv);
    pw::ui::qt::QtApplication app(qapp);
    app.SetTitle("Pagewarden");

    pw::platform::posix::PosixOs os;
    pw::platform::posix::CurlInternet internet;
    pw::platform::posix::SdlSound sound;
    const pw::TkxEnvironment env(os.os());

    pw::monitor::TForm1 Form1({app, os.os(), internet, sound, env});
    Form1.Form().Show();
    app.Run();
    return 0;
}
