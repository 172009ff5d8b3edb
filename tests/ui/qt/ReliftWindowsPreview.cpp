// Shows one self-update window in one state on the real display, for a look or a screenshot; not
// a test. Usage: pw_relift_windows_preview progress|completed|question|password [language]
// (language: a TkxReliftLanguage number, 1 English, 2 Russian, ...). Closes after 60 s.

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <string>

#include "tests/update/ReliftTestHost.h"
#include "ui/qt/QtApplication.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftPassword.h"
#include "update/kxReliftUpgradeMsg.h"
#include "update/kxReliftWizard.h"
#include "update/kxReliftWizardForm.h"

int main(int argc, char** argv) {
    using namespace pw;
    QApplication qt(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "progress";
    const int language = argc > 2 ? std::atoi(argv[2]) : update::wlEnglish;
    update::SetMessageBase(static_cast<update::TkxReliftLanguage>(language));
    ui::qt::QtApplication app(qt);
    app.SetTitle("Pagewarden");
    std::unique_ptr<framework::IForm> main = app.CreateForm();  // stands in for the watch window
    main->SetCaption("Pagewarden");
    main->SetPosition(20, 20);
    main->SetClientSize(300, 120);
    main->Show();
    test::ReliftTestHost host(app);
    host.username = "alice";
    QTimer::singleShot(60000, [&] { app.Terminate(); });

    if (what == "question") {
        std::cout << update::AskUpgrade(host, "Faster checks and a new alarm sound.") << '\n';
        return 0;
    }
    if (what == "password") {
        std::cout << update::AskPassword(host) << '\n';
        return 0;
    }
    update::ShowProgressWindow(host);
    update::TkxReliftWizardForm& w = *update::kxReliftWizardForm();
    w.FileURL.SetText("https://updates.example.org/pagewarden/pagewarden-2.0.tar.gz");
    w.AllDownloading.SetCaption(update::FormatMessageText(9, {1, 2}));
    w.LFileSize.SetCaption(update::FormatMessageText(6, {1843.2}));
    w.LTransferRate.SetCaption(update::FormatMessageText(7, {211.5}));
    w.LEstimatedTime.SetCaption(update::FormatMessageText(8, {0, 0, 5}));
    w.ProgressCurrentFile.SetPosition(62);
    w.ProgressAllFiles.SetPosition(31);
    if (what == "completed") update::ShowCompleted();
    app.Run();
    update::FreeReliftWindows(host);
    return 0;
}
