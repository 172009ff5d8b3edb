// The self-update windows on Qt, as a user meets them: the question answered with a real click on
// Yes, then the progress window of a download cancelled with a real click and the abort confirmed
// in the message box. Also that their texts fit the widgets in the desktop's fonts.

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "tests/update/ReliftTestHost.h"
#include "ui/qt/QtApplication.h"
#include "ui/qt/QtFonts.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftUpgradeMsg.h"
#include "update/kxReliftWizard.h"
#include "update/kxReliftWizardForm.h"

namespace {

using namespace pw;

// The visible top-level window of that object name; null when there is none.
QWidget* TopLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible()) return w;
    return nullptr;
}

template <class W>
W& Child(QWidget& window, const char* name) {
    auto* w = window.findChild<W*>(QString::fromLatin1(name));
    if (!w) throw std::runtime_error(std::string("no widget ") + name);
    return *w;
}

// Acts once on the window of that name when it is up and active, from the event loop: the code
// that showed it may be waiting in a loop of its own.
class WhenUp {
  public:
    WhenUp(QString name, std::function<void(QWidget&)> act)
        : name_(std::move(name)), act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* w = TopLevel(name_);
            if (!w || !w->isActiveWindow()) return;
            timer_.stop();
            act_(*w);
        });
        timer_.start(20);
    }

  private:
    QString name_;
    std::function<void(QWidget&)> act_;
    QTimer timer_;
};

// The text a label or button shows fits it in its font (the "&" of a shortcut takes no room).
bool Fits(const QWidget& w, const QString& text) {
    QString shown = text;
    shown.remove(QLatin1Char('&'));
    const QFontMetrics metrics(w.font());
    return metrics.horizontalAdvance(shown) <= w.width();
}

}  // namespace

class QtReliftWindowsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { update::SetMessageBase(update::wlEnglish); }

    void aQuestionAnsweredYesThenADownloadCancelledAndAborted() {
        ui::qt::QtApplication app(*qobject_cast<QApplication*>(QCoreApplication::instance()));
        app.SetTitle("Pagewarden");
        std::unique_ptr<framework::IForm> main = app.CreateForm();  // the watch window
        main->SetClientSize(400, 300);
        main->Show();
        test::ReliftTestHost host(app);

        // The question: a real click on Yes.
        QString question;
        bool labelFits = false, buttonsFit = false;
        WhenUp clickYes("kxReliftUpgradeMessageForm", [&](QWidget& window) {
            auto& label = Child<QLabel>(window, "Label1");
            question = label.text();
            labelFits = label.height() >= label.heightForWidth(label.width()) &&
                        label.geometry().bottom() < Child<QWidget>(window, "BottomPanel").y();
            auto& yes = Child<QPushButton>(window, "YesBtn");
            auto& later = Child<QPushButton>(window, "LaterBtn");
            buttonsFit = Fits(yes, yes.text()) && Fits(later, later.text());
            QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            QCOMPARE(window.windowTitle(), QString("Application update wizard"));
            QTest::mouseClick(&yes, Qt::LeftButton);
        });
        QVERIFY(update::AskUpgrade(host, "Faster checks."));
        QCOMPARE(question, QString("A newer version of Pagewarden was released.\n\nFaster "
                                   "checks.\n\nDo you want to update your version with the "
                                   "latest one?"));
        QVERIFY(labelFits);
        QVERIFY(buttonsFit);
        QTRY_VERIFY(!TopLevel("kxReliftUpgradeMessageForm"));

        // The progress window, mid-download as the component leaves it.
        update::ShowProgressWindow(host);
        update::TkxReliftWizardForm* wizard = update::kxReliftWizardForm();
        QVERIFY(wizard);
        wizard->FileURL.SetText("http://127.0.0.1:8080/pagewarden-2.0.tar.gz");
        wizard->AllDownloading.SetCaption(update::FormatMessageText(9, {1, 2}));
        wizard->LFileSize.SetCaption(update::FormatMessageText(6, {1843.2}));
        wizard->LTransferRate.SetCaption(update::FormatMessageText(7, {211.5}));
        wizard->LEstimatedTime.SetCaption(update::FormatMessageText(8, {0, 0, 7}));
        wizard->ProgressCurrentFile.SetPosition(40);
        wizard->ProgressAllFiles.SetPosition(20);
        QPointer<QWidget> window = TopLevel("kxReliftWizardForm");
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), QSize(463, 281));
        QCOMPARE(Child<QProgressBar>(*window, "ProgressCurrentFile").value(), 40);
        QCOMPARE(Child<QLineEdit>(*window, "FileURL").text(),
                 QString("http://127.0.0.1:8080/pagewarden-2.0.tar.gz"));
        for (const char* name :
             {"WizardTitle", "LDownloadingFileFrom", "LFileSize", "LTransferRate", "LEstimatedTime",
              "AllDownloading", "AboutLabel"}) {
            auto& label = Child<QLabel>(*window, name);
            QVERIFY2(Fits(label, label.text()), name);
            // Within its group box or the window.
            QVERIFY2(label.parentWidget()->rect().contains(label.geometry()), name);
        }
        auto& cancel = Child<QPushButton>(*window, "CancelBtn");
        QVERIFY(Fits(cancel, cancel.text()));
        QVERIFY(!Child<QPushButton>(*window, "FinishBtn").isEnabled());

        // Cancel, and Yes in the box that asks whether to abort.
        QString asked, askedTitle;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            answerer.stop();
            asked = box->text();
            askedTitle = box->windowTitle();
            icon = box->icon();
            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
        });
        answerer.start(20);
        QTest::mouseClick(&cancel, Qt::LeftButton);
        QTRY_COMPARE(host.calls, (std::vector<std::string>{"done", "abort"}));
        QCOMPARE(asked,
                 QString("The update is not completed.\nWould you like to abort upgrading?"));
        QCOMPARE(askedTitle, QString("Pagewarden"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(update::kxReliftWizardForm(), nullptr);
        // The window goes once its handlers have returned.
        QTRY_VERIFY(window.isNull());
        QVERIFY(!app.Terminated());
        update::FreeReliftWindows(host);
    }

    // The password window leaves its two labels the 77 pixels before the edit fields; in every
    // language both words must fit there (with a few pixels to spare), or the edit covers them.
    void passwordLabelsFitInEveryLanguage() {
        const QFontMetrics metrics(ui::qt::DesignFont(ui::qt::kWindowFontPoints));
        QStringList tooWide;
        for (int l = update::wlEnglish; l <= update::wlSlovak; ++l) {
            update::SetMessageBase(static_cast<update::TkxReliftLanguage>(l));
            for (int k : {12, 13}) {
                const QString text = QString::fromUtf8(update::LoadMessageText(k));
                if (metrics.horizontalAdvance(text) > 122 - 45 - 4)
                    tooWide << QString("%1: %2 (%3 px)")
                                   .arg(l)
                                   .arg(text)
                                   .arg(metrics.horizontalAdvance(text));
            }
        }
        update::SetMessageBase(update::wlEnglish);
        QVERIFY2(tooWide.isEmpty(), qPrintable(tooWide.join(", ")));
    }
};

QTEST_MAIN(QtReliftWindowsTest)
#include "QtReliftWindowsTest.moc"
