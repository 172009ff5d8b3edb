// The Pagewarden program: the Qt window and its message loop.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "Version.h"
#include "platform/posix/SdlSound.h"
#include "sound/AlarmWave.h"
#include "sound/zMM.h"
#include "ui/qt/QtApplication.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Pagewarden %s\n", PW_VERSION);
        return 0;
    }
    QApplication qapp(argc, argv);
    pw::ui::qt::QtApplication app(qapp);
    app.SetTitle("Pagewarden");
    pw::platform::posix::SdlSound sound;

    // The main window's alarm player, owned here until the main window takes it over.
    pw::sound::TzcWavePlayer zcWavePlayer1(app, sound);
    zcWavePlayer1.SetOptions({pw::sound::zcwpoSync, pw::sound::zcwpoLoop});
    pw::sound::LoadBuiltInAlarmWave(zcWavePlayer1.Wave());

    auto form = app.CreateForm();
    form->SetCaption("Pagewarden");
    form->SetClientSize(784, 700);
    form->SetPosition(306, 150);
    form->Show();
    app.Run();
    return 0;
}
