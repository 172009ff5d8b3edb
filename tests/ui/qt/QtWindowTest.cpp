// The watch window on the Qt back end: its widgets stand where the design puts them, their texts
// fit them in the desktop font, and a real click on "Start" checks the pages of a local server and
// colours the rows.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionToolButton>
#include <QTest>
#include <QToolButton>
#include <set>

#include "monitor/Unit1.h"
#include "platform/posix/CurlInternet.h"
#include "platform/posix/PosixOs.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"
#include "ui/qt/QtApplication.h"
#include "ui/qt/QtForm.h"

namespace {

using namespace pw;

class SilentSound final : public platform::ISound {
  public:
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t) override {
        if (image.data()) ++plays;
        return true;
    }
    int plays = 0;
};

// One window with everything it stands on.
struct Window {
    ui::qt::QtApplication app{*qobject_cast<QApplication*>(QCoreApplication::instance())};
    test::TempDir dir;
    platform::posix::PosixOs os{{dir.path() / "config", [](const std::string&) {}}};
    platform::posix::CurlInternet internet;
    SilentSound sound;
    TkxEnvironment env{os.os()};
    monitor::TForm1 form{{app, os.os(), internet, sound, env}};

    QWidget* Widget() { return static_cast<ui::qt::QtForm&>(form.Form()).widget(); }
    template <class W>
    W* Find(const std::string& name) {
        return Widget()->findChild<W*>(QString::fromStdString(name));
    }
};

}  // namespace

class QtWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void everyRowStandsWhereTheDesignPutsIt() {
        Window w;
        w.form.Form().Show();
        QCOMPARE(w.Widget()->windowTitle(), QString("Pagewarden"));
        QVERIFY(w.Widget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        for (int k = 1; k <= monitor::TForm1::kRowCount; ++k) {
            const int y = 32 + 24 * (k - 1);
            auto* url = w.Find<QLineEdit>("Edit" + std::to_string(2 * k + 1));
            auto* logic = w.Find<QComboBox>("ComboBox" + std::to_string(k + 1));
            auto* search = w.Find<QLineEdit>("Edit" + std::to_string(2 * k + 2));
            auto* open = w.Find<QToolButton>("SpeedButton" + std::to_string(k));
            QVERIFY(url && logic && search && open);
            QCOMPARE(url->geometry(), QRect(4, y, 496, 21));
            QCOMPARE(logic->geometry(), QRect(504, y, 75, 21));
            QCOMPARE(search->geometry(), QRect(580, y, 174, 21));
            QCOMPARE(open->geometry(), QRect(756, y, 23, 22));
            QCOMPARE(logic->currentText(), QString("Absence"));
            QCOMPARE(open->toolTip(), QString("Open web page"));
            QVERIFY(search->toolTip().isEmpty());
        }
        auto* exit = w.Find<QPushButton>("BitBtn1");
        QVERIFY(exit);
        QCOMPARE(exit->text(), QString("Exit"));
        QCOMPARE(exit->toolTip(), QString("Exit the program"));
        QVERIFY(!exit->icon().isNull());
        QVERIFY(w.Find<QPushButton>("BitBtn2")->toolTip().isEmpty());
        QVERIFY(!w.Find<QPushButton>("BitBtn3")->isEnabled());
    }

    // Each text is measured in its widget's real font against the room the style leaves it: beside
    // a check box's indicator, in a drop-down list's field beside its arrow, on a button's face
    // beside its picture. Every item of a drop-down list must fit, as any may be the one shown.
    void everyCaptionAndDropDownItemFitsItsControl() {
        Window w;
        w.form.Form().Show();  // the layout on resize has run
        const QFontInfo face(w.Widget()->font());
        QVERIFY2(face.family() == QStringLiteral("DejaVu Sans Condensed"),
                 qPrintable(face.family() + " stands in: is fonts-dejavu-extra installed?"));

        QStringList clipped;
        std::set<QString> measured;
        const auto fit = [&](const QWidget& widget, const QString& text, const QRect& room,
                             int beside = 0) {
            const QFontMetrics metrics(widget.font());
            const QSize need(metrics.horizontalAdvance(text) + beside, metrics.height());
            measured.insert(widget.objectName());
            if (need.width() > room.width() || need.height() > room.height())
                clipped << QStringLiteral("%1 \"%2\" needs %3x%4, has %5x%6")
                               .arg(widget.objectName(), text)
                               .arg(need.width())
                               .arg(need.height())
                               .arg(room.width())
                               .arg(room.height());
        };
        const QStyle& style = *w.Widget()->style();
        // Only the controls: the widgets Qt builds inside them have no names.
        for (QWidget* child : w.Widget()->findChildren<QWidget*>()) {
            if (child->objectName().isEmpty()) continue;
            if (auto* label = qobject_cast<QLabel*>(child)) {
                fit(*label, label->text(), label->contentsRect());
            } else if (auto* box = qobject_cast<QCheckBox*>(child)) {
                QStyleOptionButton option;
                option.initFrom(box);
                option.text = box->text();
                fit(*box, box->text(),
                    style.subElementRect(QStyle::SE_CheckBoxContents, &option, box));
            } else if (auto* combo = qobject_cast<QComboBox*>(child)) {
                QStyleOptionComboBox option;
                option.initFrom(combo);
                option.editable = combo->isEditable();
                option.frame = combo->hasFrame();
                const QRect field = style.subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, combo);
                for (int i = 0; i < combo->count(); ++i)
                    fit(*combo, combo->itemText(i), field, 2);  // a pixel in from either side
            } else if (auto* button = qobject_cast<QPushButton*>(child)) {
                QStyleOptionButton option;
                option.initFrom(button);
                option.text = button->text();
                option.icon = button->icon();
                option.iconSize = button->iconSize();
                const QRect face =
                    style.subElementRect(QStyle::SE_PushButtonContents, &option, button);
                // The picture and the text are drawn side by side, 4 pixels apart.
                fit(*button, button->text(), face,
                    button->icon().isNull() ? 0 : button->iconSize().width() + 4);
            } else if (auto* tool = qobject_cast<QToolButton*>(child)) {
                QStyleOptionToolButton option;
                option.initFrom(tool);
                const int frame = style.pixelMetric(QStyle::PM_DefaultFrameWidth, &option, tool);
                fit(*tool, tool->text(), tool->rect().adjusted(frame, frame, -frame, -frame));
            }
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
        for (const char* name : {"Label4", "Label1", "statustext", "ComboBox1", "ComboBox21",
                                 "startmin", "Button1", "BitBtn5", "SpeedButton20"})
            QVERIFY2(measured.contains(QString::fromLatin1(name)), name);
    }

    void startChecksThePagesAndColoursTheRows() {
        test::HttpTestServer server;
        server.Http().Get("/shop", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<p>in stock</p>", "text/html");
        });
        server.Start();

        Window w;
        w.form.Form().Show();
        const struct {
            std::string path;
            std::string text;
            int logic;
        } rows[] = {{"/shop", "in stock", 0}, {"/shop", "sold out", 0}, {"/gone", "x", 1}};
        for (int k = 1; k <= 3; ++k) {
            w.form.UrlField(k).SetText(server.Url(rows[k - 1].path));
            w.form.SearchField(k).SetText(rows[k - 1].text);
            w.form.LogicSelector(k).SetItemIndex(rows[k - 1].logic);
        }
        // The pass runs inside the click: each Fetch waits while Qt keeps serving events.
        QTest::mouseClick(w.Find<QPushButton>("BitBtn2"), Qt::LeftButton);

        QCOMPARE(w.form.SearchField(1).Color(), framework::clGreen);
        QCOMPARE(w.form.SearchField(2).Color(), framework::clRed);
        QCOMPARE(w.form.SearchField(3).Color(), framework::clAmber);
        QCOMPARE(w.form.RowFailure(3), std::string("HTTP 404"));
        // What the user sees is the widget's own background.
        auto* row2 = w.Find<QLineEdit>("Edit6");
        QCOMPARE(row2->palette().color(QPalette::Base), QColor(255, 0, 0));
        // The reason is read in full on the strip above the buttons, at the real font's width.
        auto* note = w.Find<QLabel>("statusnote");
        QVERIFY(note && note->isVisible());
        QCOMPARE(note->text(), QString("row 3: HTTP 404"));
        QCOMPARE(note->parentWidget(), w.Find<QWidget>("Panel1"));
        QVERIFY(note->geometry().bottom() < w.Find<QPushButton>("BitBtn2")->geometry().top());
        QCOMPARE(note->width(), w.Widget()->width() - 16);
        QVERIFY(note->fontMetrics().height() <= note->height());
        QVERIFY(note->fontMetrics().horizontalAdvance(note->text()) <= note->width());
        QVERIFY(w.sound.plays >= 1);
        QVERIFY(!w.Find<QPushButton>("BitBtn2")->isEnabled());
        QVERIFY(w.Find<QPushButton>("BitBtn3")->isEnabled());
    }
};

QTEST_MAIN(QtWindowTest)
#include "QtWindowTest.moc"
