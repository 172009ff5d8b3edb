// The UI framework on the Qt back end in real time (offscreen): the behaviour and control
// scenarios every back end shares, then what only real widgets show (object names, palettes,
// focus, mouse and keyboard input, dialogs).

#include <QAbstractSpinBox>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionSpinBox>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QtTest>
#include <chrono>
#include <optional>
#include <span>
#include <stdexcept>
#include <thread>

#include "tests/framework/BehaviourScenarios.h"
#include "tests/framework/ControlScenarios.h"
#include "tests/support/TempDir.h"
#include "ui/qt/QtApplication.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtForm.h"
#include "ui/qt/QtTrayIcon.h"

namespace pw::test {
namespace {

class QtHarness final : public BackendHarness {
  public:
    framework::IApplication& App() override { return app_; }
    void Elapse(framework::Millis ms) override {
        QDeadlineTimer deadline(ms, Qt::PreciseTimer);
        while (!deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents,
                                            static_cast<int>(deadline.remainingTime()));
    }
    void ElapseFromWorker(framework::Millis ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    bool ExactTime() const override { return false; }
    framework::Millis Now() const override { return clock_.Now(); }
    // Acts from a timer while the form waits in its own loop, one act a tick.
    void WhenModal(framework::IForm& form, std::function<void()> act) override {
        acts_.push_back({&form, std::move(act)});
        if (!modalTimer_.isActive()) modalTimer_.start(20);
    }

    QtHarness() {
        QObject::connect(&modalTimer_, &QTimer::timeout, [this] {
            if (acts_.empty()) return modalTimer_.stop();
            auto [form, act] = acts_.front();
            if (!form->Modal() || !form->Visible()) return;
            acts_.erase(acts_.begin());
            act();
        });
    }

  private:
    ui::qt::QtApplication app_{*qobject_cast<QApplication*>(QCoreApplication::instance())};
    framework::SteadyClock clock_;
    QTimer modalTimer_;
    std::vector<std::pair<framework::IForm*, std::function<void()>>> acts_;
};

// Answers every message box that comes up, as a user would, and keeps what they said.
class BoxAnswerer {
  public:
    BoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts_ << box->text();
                box->accept();
            }
        });
        timer_.start(10);
    }
    const QStringList& texts() const { return texts_; }

  private:
    QTimer timer_;
    QStringList texts_;
};

// Acts on a visible top-level T as soon as it is up, as the user would on a dialog; acts again
// until act says it is done.
template <class T>
class WhenShown {
  public:
    explicit WhenShown(std::function<bool(T&)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* t = qobject_cast<T*>(w);
                if (!t || !t->isVisible()) continue;
                if (act_(*t)) timer_.stop();
                return;
            }
        });
        timer_.start(20);
    }

  private:
    QTimer timer_;
    std::function<bool(T&)> act_;
};

// A form of the Qt back end and its window.
struct QtWindow {
    ui::qt::QtApplication app{*qobject_cast<QApplication*>(QCoreApplication::instance())};
    std::unique_ptr<framework::IForm> form = app.CreateForm();
    QWidget& window = *dynamic_cast<ui::qt::QtForm&>(*form).widget();

    template <class W>
    W& Widget(const char* name) const {
        auto* w = window.findChild<W*>(QString::fromLatin1(name));
        if (!w) throw std::runtime_error(std::string("no widget ") + name);
        return *w;
    }
    bool ShowAndActivate() {
        form->Show();
        return QTest::qWaitForWindowActive(&window);
    }
};

// The control a focused widget belongs to (a spin field's editor is Qt's own, inside it).
QString FocusedControl() {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        const QString name = w->objectName();
        if (!name.isEmpty() && !name.startsWith(QStringLiteral("qt_"))) return name;
    }
    return {};
}

QByteArray RedSquarePng() {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::span<const unsigned char> Bytes(const QByteArray& b) {
    return {reinterpret_cast<const unsigned char*>(b.constData()),
            static_cast<std::size_t>(b.size())};
}

}  // namespace
}  // namespace pw::test

class QtBehaviourTest : public QObject {
    Q_OBJECT

    static const std::vector<pw::test::Scenario>& AllScenarios() {
        static const std::vector<pw::test::Scenario> all = [] {
            std::vector<pw::test::Scenario> v = pw::test::BehaviourScenarios();
            const auto& controls = pw::test::ControlScenarios();
            v.insert(v.end(), controls.begin(), controls.end());
            return v;
        }();
        return all;
    }

  private slots:
    // The behaviour and control scenarios that every back end must pass.
    void scenarios_data() {
        QTest::addColumn<int>("index");
        const auto& all = AllScenarios();
        for (int i = 0; i < static_cast<int>(all.size()); ++i)
            QTest::newRow(all[i].name) << i;
    }

    void scenarios() {
        QFETCH(int, index);
        pw::test::QtHarness harness;
        try {
            AllScenarios()[index].run(harness);
        } catch (const pw::test::ScenarioFailure& f) {
            QTest::qFail(f.message.c_str(), f.file.c_str(), f.line);
        }
    }

    void messageBoxesAndTheErrorBoxShowAndAnswer() {
        pw::ui::qt::QtApplication app(*qobject_cast<QApplication*>(QCoreApplication::instance()));
        app.SetTitle("Pagewarden");
        // Answer each box as a user would, once it is up.
        QTimer::singleShot(50, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QString("Wizard"));
            QCOMPARE(box->text(), QString("Upgrade now?"));
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(app.MessageBox("Upgrade now?", "Wizard",
                                pw::framework::mb::kYesNo | pw::framework::mb::kIconQuestion),
                 pw::framework::DialogResult::No);

        QTimer::singleShot(50, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->text(), QString("Invalid data type for 'Duration'"));
            box->accept();
        });
        app.ShowException("Invalid data type for 'Duration'");
    }

    void widgetsCarryTheirNamesPlacesTooltipsAndPictures() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        ILabel& heading = w.form->CreateLabel("Label4");
        heading.SetBounds(4, 12, 272, 16);
        heading.SetCaption("<b>Complete URL</b>");
        heading.SetFont(10, true);
        heading.SetAlignment(TAlignment::Center);
        IEdit& url = w.form->CreateEdit("Edit3");
        url.SetBounds(4, 32, 496, 21);
        IButton& open = w.form->CreateButton("SpeedButton1", true);
        open.SetBounds(756, 32, 23, 22);
        open.SetHint("Open web page");
        IPanel& bar = w.form->CreatePanel("Panel1");
        IButton& start = w.form->CreateButton("BitBtn2", false, &bar);
        start.SetBounds(22, 19, 67, 30);
        const QByteArray png = pw::test::RedSquarePng();
        start.SetGlyph(pw::test::Bytes(png));

        auto& label = w.Widget<QLabel>("Label4");
        QCOMPARE(label.geometry(), QRect(4, 12, 272, 16));
        QCOMPARE(label.text(), QString("<b>Complete URL</b>"));  // shown as written, never as HTML
        QCOMPARE(label.textFormat(), Qt::PlainText);
        QCOMPARE(label.font().pixelSize(), pw::ui::qt::DesignFont(10).pixelSize());
        QVERIFY(label.font().bold());
        QVERIFY(label.alignment() & Qt::AlignHCenter);
        QCOMPARE(w.Widget<QLineEdit>("Edit3").geometry(), QRect(4, 32, 496, 21));
        QCOMPARE(w.Widget<QLineEdit>("Edit3").toolTip(), QString());

        auto& flat = w.Widget<QToolButton>("SpeedButton1");
        QCOMPARE(flat.geometry(), QRect(756, 32, 23, 22));
        QCOMPARE(flat.toolTip(), QString("Open web page"));
        QVERIFY(flat.autoRaise());
        QCOMPARE(flat.focusPolicy(), Qt::NoFocus);

        auto& button = w.Widget<QPushButton>("BitBtn2");
        QCOMPARE(button.parentWidget(), &w.Widget<QFrame>("Panel1"));
        QCOMPARE(button.geometry(), QRect(22, 19, 67, 30));
        QCOMPARE(button.iconSize(), QSize(16, 16));
        const QImage shown = button.icon().pixmap(16, 16).toImage();
        QCOMPARE(shown.pixelColor(8, 8), QColor(Qt::red));
        // Bytes that are no image leave the button without one, and say so.
        const unsigned char junk[] = {'n', 'o', 't', ' ', 'p', 'n', 'g'};
        start.SetGlyph(junk);
        QVERIFY(!start.HasGlyph());
        QVERIFY(button.icon().isNull());
    }

    void fieldsShowTheirColoursAndKeepTheirBytes() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        w.form->SetClientSize(300, 100);
        IEdit& edit = w.form->CreateEdit("Edit4");
        edit.SetBounds(10, 10, 174, 21);
        IComboBox& combo = w.form->CreateComboBox("ComboBox1");
        combo.SetBounds(10, 40, 73, 21);
        w.form->Show();
        auto& line = w.Widget<QLineEdit>("Edit4");
        const QPalette system = QApplication::palette(&line);
        const struct {
            TColor colour;
            QColor expected;
        } cases[] = {{clGreen, QColor(0, 128, 0)},
                     {clRed, QColor(255, 0, 0)},
                     {clAmber, QColor(255, 128, 0)},
                     {clBtnFace, system.color(QPalette::Button)},
                     {clWindow, system.color(QPalette::Base)}};
        for (const auto& c : cases) {
            edit.SetColor(c.colour);
            QCOMPARE(line.palette().color(QPalette::Base), c.expected);
            // What the user sees: the field's fill, right of any text.
            QCOMPARE(line.grab().toImage().pixelColor(line.width() - 6, line.height() / 2),
                     c.expected);
        }
        combo.SetColor(clAmber);
        QCOMPARE(w.Widget<QComboBox>("ComboBox1").palette().color(QPalette::Button),
                 QColor(255, 128, 0));

        // Bytes of the 8-bit code page are Latin-1 characters both ways.
        edit.SetText("caf\xE9 \xFC");
        QCOMPARE(line.text(), QString::fromUtf8("café ü"));
        line.setText(QString::fromUtf8("Größe"));
        QCOMPARE(edit.Text(), std::string("Gr\xF6\xDF") + "e");
        // Longer than Qt's default limit of 32,767 characters.
        const std::string longUrl = "http://example.org/?" + std::string(100000, 'q');
        edit.SetText(longUrl);
        QCOMPARE(edit.Text().size(), longUrl.size());
    }

    void userInputReachesTheHandlers() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        w.form->SetClientSize(400, 200);
        IEdit& edit = w.form->CreateEdit("Edit3");
        edit.SetBounds(4, 4, 200, 21);
        edit.SetTabOrder(0);
        IComboBox& combo = w.form->CreateComboBox("ComboBox2");
        combo.SetBounds(4, 30, 100, 21);
        combo.SetItems({"Absence", "Presence"});
        combo.SetItemIndex(0);
        combo.SetTabOrder(1);
        ISpinEdit& spin = w.form->CreateSpinEdit("timerduration");
        spin.SetBounds(4, 56, 60, 22);
        spin.SetTabOrder(2);
        ICheckBox& check = w.form->CreateCheckBox("autostart");
        check.SetBounds(4, 84, 200, 17);
        IButton& button = w.form->CreateButton("Button1");
        button.SetBounds(4, 110, 105, 25);
        IButton& flat = w.form->CreateButton("SpeedButton1", true);
        flat.SetBounds(120, 110, 23, 22);
        flat.SetCaption("W");

        int edits = 0, choices = 0, spins = 0, ticks = 0, clicks = 0, flatClicks = 0;
        edit.OnChange = [&] { ++edits; };
        combo.OnChange = [&] { ++choices; };
        spin.OnChange = [&] { ++spins; };
        check.OnClick = [&] { ++ticks; };
        button.OnClick = [&] { ++clicks; };
        flat.OnClick = [&] { ++flatClicks; };
        QVERIFY(w.ShowAndActivate());

        QTest::keyClicks(&w.Widget<QLineEdit>("Edit3"), "http://a/");
        QCOMPARE(edit.Text(), std::string("http://a/"));
        QCOMPARE(edits, 9);

        auto& comboWidget = w.Widget<QComboBox>("ComboBox2");
        comboWidget.setFocus();
        QTest::keyClick(&comboWidget, Qt::Key_Down);
        QCOMPARE(combo.ItemIndex(), 1);
        QCOMPARE(choices, 1);

        // The spin field keeps any text; its arrows step the number it spells, unbounded.
        auto& spinWidget = w.Widget<QAbstractSpinBox>("timerduration");
        spinWidget.setFocus();
        QCOMPARE(spin.Text(), std::string("0"));
        spinWidget.selectAll();
        QTest::keyClicks(&spinWidget, "abc");
        QTest::keyClick(&spinWidget, Qt::Key_Tab);  // leaving the field keeps the text
        QCOMPARE(spin.Text(), std::string("abc"));
        QCOMPARE(spin.Value(), 0);
        spinWidget.setFocus();
        QTest::keyClick(&spinWidget, Qt::Key_Up);
        QCOMPARE(spin.Value(), 1);
        spin.SetValue(-5000);
        QTest::keyClick(&spinWidget, Qt::Key_Down);
        QCOMPARE(spin.Value(), -5001);
        QStyleOptionSpinBox option;
        option.initFrom(&spinWidget);
        option.rect = spinWidget.rect();
        option.subControls = QStyle::SC_All;
        option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
        const QRect up = spinWidget.style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                            QStyle::SC_SpinBoxUp, &spinWidget);
        QTest::mouseClick(&spinWidget, Qt::LeftButton, {}, up.center());
        QCOMPARE(spin.Value(), -5000);
        QVERIFY(spins >= 6);  // "abc" (3), Up, SetValue, Down, the arrow

        QTest::mouseClick(&w.Widget<QCheckBox>("autostart"), Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(check.Checked());
        QCOMPARE(ticks, 1);
        QTest::mouseClick(&w.Widget<QPushButton>("Button1"), Qt::LeftButton);
        QCOMPARE(clicks, 1);
        QTest::mouseClick(&w.Widget<QToolButton>("SpeedButton1"), Qt::LeftButton);
        QCOMPARE(flatClicks, 1);
        button.SetEnabled(false);
        QTest::mouseClick(&w.Widget<QPushButton>("Button1"), Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

    void tabWalksTheFocusOrder() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        w.form->SetClientSize(500, 300);
        // Built out of order; a panel with a place takes its children there, a panel without
        // one leaves them to their own numbers.
        IEdit& search = w.form->CreateEdit("Edit4");
        search.SetBounds(4, 4, 100, 21);
        search.SetTabOrder(3);
        ISpinEdit& minutes = w.form->CreateSpinEdit("timerduration");
        minutes.SetBounds(110, 4, 50, 22);
        minutes.SetTabOrder(0);
        IComboBox& logic = w.form->CreateComboBox("ComboBox2");
        logic.SetBounds(170, 4, 75, 21);
        logic.SetTabOrder(2);
        IEdit& working = w.form->CreateEdit("Edit1");  // no place: reachable by a click only
        working.SetBounds(4, 30, 100, 21);
        IButton& open = w.form->CreateButton("SpeedButton1", true);
        open.SetBounds(110, 30, 23, 22);
        open.SetTabOrder(4);  // flat buttons take no focus whatever their number
        IPanel& settings = w.form->CreatePanel("settings");
        settings.SetBounds(0, 60, 500, 40);
        settings.SetTabOrder(1);
        ICheckBox& startmin = w.form->CreateCheckBox("startmin", &settings);
        startmin.SetBounds(100, 4, 90, 17);
        startmin.SetTabOrder(1);
        ICheckBox& autostart = w.form->CreateCheckBox("autostart", &settings);
        autostart.SetBounds(4, 4, 90, 17);
        autostart.SetTabOrder(0);
        IPanel& bar = w.form->CreatePanel("Panel1");
        bar.DockBottom(60);
        IButton& start = w.form->CreateButton("BitBtn2", false, &bar);
        start.SetBounds(22, 19, 67, 30);
        start.SetTabOrder(5);
        IButton& stop = w.form->CreateButton("BitBtn3", false, &bar);  // no place
        stop.SetBounds(128, 19, 67, 30);
        QVERIFY(w.ShowAndActivate());

        QCOMPARE(pw::test::FocusedControl(), QString("timerduration"));
        QStringList walk;
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walk << pw::test::FocusedControl();
        }
        QCOMPARE(walk, QStringList({"autostart", "startmin", "ComboBox2", "Edit4", "BitBtn2",
                                    "timerduration", "autostart"}));
        QCOMPARE(w.Widget<QToolButton>("SpeedButton1").focusPolicy(), Qt::NoFocus);
        QCOMPARE(w.Widget<QPushButton>("BitBtn3").focusPolicy(), Qt::NoFocus);
        QTest::mouseClick(&w.Widget<QLineEdit>("Edit1"), Qt::LeftButton);
        QCOMPARE(pw::test::FocusedControl(), QString("Edit1"));
    }

    void bottomPanelsFollowTheWindowAndHiddenOnesGiveWay() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        w.form->SetClientSize(784, 700);
        IPanel& bar = w.form->CreatePanel("Panel1");
        bar.DockBottom(60);
        IPanel& work = w.form->CreatePanel("workpanel");
        work.DockBottom(72);
        work.SetVisible(false);
        QVERIFY(w.ShowAndActivate());
        auto& barFrame = w.Widget<QFrame>("Panel1");
        auto& workFrame = w.Widget<QFrame>("workpanel");
        QCOMPARE(barFrame.geometry(), QRect(0, 640, 784, 60));

        // As the user drags the frame.
        w.window.resize(900, 500);
        QCOMPARE(barFrame.geometry(), QRect(0, 440, 900, 60));
        work.SetVisible(true);
        QCOMPARE(workFrame.geometry(), QRect(0, 368, 900, 72));
        QVERIFY(workFrame.isVisible());
        work.SetVisible(false);
        bar.SetBounds(0, 0, 10, 80);  // a docked panel keeps only its new height
        QCOMPARE(barFrame.geometry(), QRect(0, 420, 900, 80));
    }

    void theFormNotifiesResizeActivationAndClose() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        int resizes = 0, activations = 0, closes = 0, widthSeen = 0;
        w.form->OnResize = [&] {
            ++resizes;
            widthSeen = w.form->ClientWidth();
        };
        w.form->OnActivate = [&] { ++activations; };
        w.form->OnClose = [&] { ++closes; };
        w.form->SetClientSize(784, 700);
        w.form->SetPosition(306, 150);
        w.form->SetStayOnTop(true);
        QVERIFY(w.window.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(w.ShowAndActivate());
        QCOMPARE(activations, 1);
        resizes = 0;
        w.window.resize(884, 700);
        QTRY_COMPARE(resizes, 1);
        QCOMPARE(widthSeen, 884);

        // Repaint paints before it returns, with no message served.
        struct PaintCounter final : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++paints;
                return false;
            }
        } counter;
        w.window.installEventFilter(&counter);
        w.form->Repaint();
        QVERIFY(counter.paints >= 1);
        w.window.removeEventFilter(&counter);

        // A message box over the form is no new activation of it; another form taking over and
        // handing back is.
        {
            pw::test::BoxAnswerer answerer;
            w.app.MessageBox("Saved", "Pagewarden", mb::kOk);
            QCOMPARE(answerer.texts(), QStringList({"Saved"}));
        }
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QCOMPARE(activations, 1);
        std::unique_ptr<IForm> other = w.app.CreateForm();
        auto& otherWindow = *dynamic_cast<pw::ui::qt::QtForm&>(*other).widget();
        other->Show();
        QVERIFY(QTest::qWaitForWindowActive(&otherWindow));
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QCOMPARE(activations, 2);

        w.form->Close();
        QCOMPARE(closes, 1);
        QVERIFY(!w.form->Visible());
        QVERIFY(w.app.Terminated());  // the first form is the main form
    }

    void anExceptionInAHandlerIsShownAndTheProgramGoesOn() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        w.form->SetClientSize(300, 100);
        IButton& button = w.form->CreateButton("BitBtn4");
        button.SetBounds(4, 4, 75, 25);
        IEdit& edit = w.form->CreateEdit("Edit3");
        edit.SetBounds(4, 40, 200, 21);
        int clicks = 0;
        button.OnClick = [&] {
            if (++clicks == 1) throw std::runtime_error("Invalid data type for 'URL3'");
        };
        edit.OnChange = [] { throw std::runtime_error("change"); };
        w.form->OnResize = [] { throw std::runtime_error("resize"); };
        std::unique_ptr<ITimer> timer = w.app.CreateTimer();
        timer->SetInterval(20);
        timer->OnTimer = [&] {
            timer->SetEnabled(false);
            throw std::runtime_error("tick");
        };
        w.app.Post([] { throw std::runtime_error("posted"); });

        pw::test::BoxAnswerer answerer;
        QVERIFY(w.ShowAndActivate());
        QTest::mouseClick(&w.Widget<QPushButton>("BitBtn4"), Qt::LeftButton);
        QTest::mouseClick(&w.Widget<QPushButton>("BitBtn4"), Qt::LeftButton);
        QCOMPARE(clicks, 2);  // the program went on
        QTest::keyClicks(&w.Widget<QLineEdit>("Edit3"), "x");
        QCOMPARE(edit.Text(), std::string("x"));
        QTRY_VERIFY(answerer.texts().contains("tick"));
        for (const char* text : {"Invalid data type for 'URL3'", "change", "resize", "posted"})
            QVERIFY2(answerer.texts().contains(text), text);
    }

    void theNewWidgetsShowWhatTheyHold() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        w.form->SetClientSize(463, 281);
        IPanel& panel = w.form->CreatePanel("Panel1");
        panel.SetBounds(10, 10, 120, 220);
        panel.SetBevel(TPanelBevel::Lowered);
        IImage& image = w.form->CreateImage("Image1", &panel);
        image.SetBounds(1, 1, 118, 218);
        IGroupBox& group = w.form->CreateGroupBox("LCurrentFile");
        group.SetBounds(136, 34, 319, 125);
        group.SetCaption(" Current file ");
        IEdit& url = w.form->CreateEdit("FileURL", &group);
        url.SetBounds(10, 28, 301, 13);
        url.SetBorderless(true);
        url.SetColor(clBtnFace);
        url.SetFontColor(clHighlight);
        IProgressBar& bar = w.form->CreateProgressBar("ProgressCurrentFile", &group);
        bar.SetBounds(6, 96, 307, 22);
        bar.SetPosition(40);
        ILabel& title = w.form->CreateLabel("WizardTitle");
        title.SetBounds(136, 10, 1, 1);
        title.SetFont(TFont{"Times New Roman", 14, true, true});
        title.SetAutoSize(true);
        title.SetCaption("Downloading files...");
        IBevel& bevel = w.form->CreateBevel("Bevel1");
        bevel.SetBounds(10, 238, 447, 2);
        ILabel& shadow = w.form->CreateLabel("AboutShadow");
        shadow.SetBounds(31, 234, 40, 15);
        shadow.SetFontColor(clBtnHighlight);
        shadow.SetTransparent(false);
        IEdit& password = w.form->CreateEdit("PasswordEdit");
        password.SetBounds(122, 250, 157, 21);
        password.SetPasswordChar('*');
        password.SetText("secret");
        IButton& cancel = w.form->CreateButton("CancelBtn");
        cancel.SetBounds(380, 248, 75, 25);
        cancel.SetDefault(true);
        w.form->Show();

        QCOMPARE(w.Widget<QFrame>("Panel1").frameShadow(), QFrame::Sunken);
        QCOMPARE(w.Widget<QLabel>("Image1").parentWidget(), &w.Widget<QFrame>("Panel1"));
        auto& box = w.Widget<QGroupBox>("LCurrentFile");
        QCOMPARE(box.title(), QString(" Current file "));
        QCOMPARE(box.geometry(), QRect(136, 34, 319, 125));
        // The frame's top line runs through the middle of the caption, above the first row
        // (14 pixels down), and the caption cuts it.
        const QImage drawn = box.grab().toImage();
        const int top = QFontMetrics(box.font()).height() / 2;
        QVERIFY(top < 14);
        const QRgb dark = box.palette().color(QPalette::Dark).rgb();
        QCOMPARE(drawn.pixel(box.width() - 20, top), dark);
        QCOMPARE(drawn.pixel(2, top), dark);
        QVERIFY(drawn.pixel(10, top) != dark);  // the blank before "Current"
        QVERIFY(drawn.pixel(box.width() - 20, 2) != dark);
        auto& line = w.Widget<QLineEdit>("FileURL");
        QCOMPARE(line.parentWidget(), &box);
        QCOMPARE(line.geometry(), QRect(10, 28, 301, 13));
        QVERIFY(!line.hasFrame());
        QCOMPARE(line.palette().color(QPalette::Text),
                 QApplication::palette(&line).color(QPalette::Highlight));
        auto& progress = w.Widget<QProgressBar>("ProgressCurrentFile");
        QCOMPARE(progress.value(), 40);
        QVERIFY(!progress.isTextVisible());
        QCOMPARE(progress.parentWidget(), &box);

        auto& label = w.Widget<QLabel>("WizardTitle");
        QVERIFY(label.font().family().startsWith("DejaVu Serif"));
        QVERIFY(label.font().bold() && label.font().italic());
        QCOMPARE(label.size(), label.sizeHint());  // sized to its text
        QVERIFY(label.width() > 100);
        QCOMPARE(QFontInfo(label.font()).family(), QString("DejaVu Serif Condensed"));
        auto& engraved = w.Widget<QLabel>("AboutShadow");
        QVERIFY(engraved.autoFillBackground());
        QCOMPARE(engraved.palette().color(QPalette::WindowText),
                 QApplication::palette(&engraved).color(QPalette::Light));
        QVERIFY(w.Widget<QWidget>("Bevel1").testAttribute(Qt::WA_TransparentForMouseEvents));

        auto& masked = w.Widget<QLineEdit>("PasswordEdit");
        QCOMPARE(masked.echoMode(), QLineEdit::Password);
        QCOMPARE(masked.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, &masked),
                 int('*'));
        QCOMPARE(masked.text(), QString("secret"));
        password.SetPasswordChar('\0');
        QCOMPARE(masked.echoMode(), QLineEdit::Normal);
        QVERIFY(w.Widget<QPushButton>("CancelBtn").isDefault());

        // The picture is stretched to the control.
        QImage red(8, 4, QImage::Format_RGB32);
        red.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        red.save(&buffer, "PNG");
        QVERIFY(image.LoadPicture(pw::test::Bytes(png)));
        QCOMPARE(image.PictureSize(), (TImageSize{8, 4}));
        auto& picture = w.Widget<QLabel>("Image1");
        QVERIFY(picture.hasScaledContents());
        const QImage shown = picture.grab().toImage();
        QCOMPARE(shown.pixelColor(110, 200), QColor(Qt::red));
    }

    void displayTextsAreShownAsUtf8OrLatin1() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        const std::string cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
        ILabel& label = w.form->CreateLabel("Label1");
        IButton& button = w.form->CreateButton("YesBtn");
        IGroupBox& group = w.form->CreateGroupBox("LAllFiles");
        ICheckBox& check = w.form->CreateCheckBox("autostart");
        IEdit& edit = w.form->CreateEdit("UsernameEdit");
        const struct {
            std::string bytes;
            QString shown;
        } cases[] = {
            {cyrillic, QString::fromUtf8("Привет")},
            {"\xFC", QString::fromUtf8("ü")},
            {"\xC3\xBC", QString::fromUtf8("ü")},
            {"Gr\xFC\xDF"
             "e",
             QString::fromUtf8("Grüße")},
        };
        for (const auto& c : cases) {
            label.SetCaption(c.bytes);
            button.SetCaption(c.bytes);
            group.SetCaption(c.bytes);
            check.SetCaption(c.bytes);
            w.form->SetCaption(c.bytes);
            QCOMPARE(w.Widget<QLabel>("Label1").text(), c.shown);
            QCOMPARE(w.Widget<QPushButton>("YesBtn").text(), c.shown);
            QCOMPARE(w.Widget<QGroupBox>("LAllFiles").title(), c.shown);
            QCOMPARE(w.Widget<QCheckBox>("autostart").text(), c.shown);
            QCOMPARE(w.window.windowTitle(), c.shown);
        }
        // What the user types keeps the byte round trip of the 8-bit code page.
        edit.SetText("\xC3\xBC");
        QCOMPARE(w.Widget<QLineEdit>("UsernameEdit").text(), QString::fromUtf8("Ã¼"));
        QCOMPARE(edit.Text(), std::string("\xC3\xBC"));

        // Message boxes: the texts decoded, the icon and the buttons the flags ask for, and the
        // answer the user clicks.
        struct Box {
            QString text, title;
            QMessageBox::Icon icon;
            QMessageBox::StandardButtons buttons;
        } seen{};
        const auto answer = [&](QMessageBox::StandardButton click) {
            QTimer::singleShot(50, [&, click] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                seen = {box->text(), box->windowTitle(), box->icon(), box->standardButtons()};
                box->button(click)->click();
            });
        };
        answer(QMessageBox::No);
        QCOMPARE(w.app.MessageBox(cyrillic, "\xFC", mb::kYesNo | mb::kIconQuestion),
                 DialogResult::No);
        QCOMPARE(seen.text, QString::fromUtf8("Привет"));
        QCOMPARE(seen.title, QString::fromUtf8("ü"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        answer(QMessageBox::Yes);
        QCOMPARE(w.app.MessageBox("?", "t", mb::kYesNo | mb::kIconQuestion), DialogResult::Yes);
        const struct {
            std::uint32_t flag;
            QMessageBox::Icon icon;
        } icons[] = {{mb::kIconStop, QMessageBox::Critical},
                     {mb::kIconInformation, QMessageBox::Information},
                     {mb::kIconWarning, QMessageBox::Warning}};
        for (const auto& i : icons) {
            answer(QMessageBox::Ok);
            QCOMPARE(w.app.MessageBox("Host unreachable", "Wizard", mb::kOk | i.flag),
                     DialogResult::Ok);
            QCOMPARE(seen.icon, i.icon);
            QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
    }

    void modalFormsTakeEnterEscapeAndTheCloseBox() {
        using namespace pw::framework;
        pw::test::QtWindow w;  // the main form
        w.form->Show();
        std::unique_ptr<IForm> dialog = w.app.CreateForm();
        dialog->SetName("kxReliftPasswordForm");
        dialog->SetClientSize(297, 141);
        IEdit& user = dialog->CreateEdit("UsernameEdit");
        user.SetBounds(122, 10, 157, 21);
        user.SetTabOrder(0);
        IButton& ok = dialog->CreateButton("OKBtn");
        ok.SetBounds(114, 68, 75, 23);
        ok.SetModalResult(DialogResult::Ok);
        ok.SetDefault(true);
        ok.SetTabOrder(1);
        IButton& cancel = dialog->CreateButton("CancelBtn");
        cancel.SetBounds(204, 68, 75, 23);
        cancel.SetModalResult(DialogResult::Cancel);
        cancel.SetCancel(true);
        cancel.SetTabOrder(2);
        IButton& other = dialog->CreateButton("HelpBtn");
        other.SetBounds(10, 68, 75, 23);
        other.SetModalResult(DialogResult::No);
        other.SetTabOrder(3);
        QWidget& window = *dynamic_cast<pw::ui::qt::QtForm&>(*dialog).widget();
        int asked = 0;
        dialog->OnSystemClose = [&](bool&) { ++asked; };

        // The user acts once the window is up and active, as a person would.
        const auto whenUp = [&](std::function<void()> act) {
            QTimer::singleShot(0, [&window, act] {
                if (QTest::qWaitForWindowActive(&window)) act();
            });
        };
        const auto focused = [&] { return QApplication::focusWidget(); };
        // A name offered again is selected, so that typing replaces it.
        user.SetText("alice");
        whenUp([&] { QTest::keyClicks(focused(), "bob"); });
        whenUp([&] { QTest::keyClick(focused(), Qt::Key_Escape); });
        QCOMPARE(dialog->ShowModal(), DialogResult::Cancel);
        QCOMPARE(user.Text(), std::string("bob"));
        whenUp([&] { QTest::keyClicks(focused(), "joe\r"); });  // Enter in the field
        QCOMPARE(dialog->ShowModal(), DialogResult::Ok);
        QCOMPARE(user.Text(), std::string("joe"));
        whenUp([&] {
            other.SetFocus();
            QTest::keyClick(focused(), Qt::Key_Return);  // the focused button takes Enter
        });
        QCOMPARE(dialog->ShowModal(), DialogResult::No);
        QCOMPARE(asked, 0);
        whenUp([&] { window.windowHandle()->close(); });  // the close box
        QCOMPARE(dialog->ShowModal(), DialogResult::Cancel);
        QCOMPARE(asked, 1);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.windowModality(), Qt::NonModal);
        QVERIFY(!w.app.Terminated());
    }

    void dialogFormsAreFixedAndCentred() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        w.form->SetClientSize(463, 281);
        w.form->SetBorderStyle(TFormBorderStyle::Dialog);
        w.form->SetCentered(true);
        QVERIFY(w.window.windowFlags().testFlag(Qt::Dialog));
        QVERIFY(!w.window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.window.minimumSize(), QSize(463, 281));
        QCOMPARE(w.window.maximumSize(), QSize(463, 281));
        w.form->SetClientSize(318, 119);
        QCOMPARE(w.window.maximumSize(), QSize(318, 119));
        QVERIFY(w.ShowAndActivate());
        // Off by the frame at most, which the window manager adds on the first show.
        const QPoint off =
            w.window.geometry().center() - w.window.screen()->availableGeometry().center();
        QVERIFY2(off.manhattanLength() <= 8,
                 qPrintable(QString("off by %1,%2").arg(off.x()).arg(off.y())));
        w.form->SetStayOnTop(true);
        QVERIFY(w.window.windowFlags().testFlag(Qt::Dialog));  // the flags add up
        w.form->SetBorderStyle(TFormBorderStyle::Sizeable);
        QVERIFY(w.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(w.window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    }

    void stayOnTopKeepsTheFocusWhereItIs() {
        using namespace pw::framework;
        pw::test::QtWindow w;
        std::unique_ptr<IForm> progress = w.app.CreateForm();
        QWidget& window = *dynamic_cast<pw::ui::qt::QtForm&>(*progress).widget();
        progress->SetPosition(40, 50);
        progress->Show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(w.ShowAndActivate());
        progress->SetStayOnTop(true);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.pos(), QPoint(40, 50));
        QCOMPARE(QApplication::activeWindow(), &w.window);
    }

    void theOpenDialogFiltersAndReturnsThePath() {
        pw::test::QtWindow w;
        pw::test::TempDir dir;
        const std::string wave = dir.Write("alarm.wav", "RIFF");
        std::unique_ptr<pw::framework::IOpenDialog> dialog = w.app.CreateOpenDialog();
        dialog->SetFilter("Sounds|*.wav|All files|*.wav;*.txt");

        QStringList filters;
        {
            pw::test::WhenShown<QFileDialog> choose([&](QFileDialog& fd) {
                filters = fd.nameFilters();
                // As the user types it (selectFile leaves a focused name field alone).
                auto* name = fd.findChild<QLineEdit*>("fileNameEdit");
                if (!name) return false;
                name->setText(QString::fromStdString(wave));
                QMetaObject::invokeMethod(&fd, "accept", Qt::QueuedConnection);
                return true;
            });
            QCOMPARE(dialog->Execute(), std::optional<std::string>(wave));
        }
        QCOMPARE(filters, QStringList({"Sounds (*.wav)", "All files (*.wav *.txt)"}));

        pw::test::WhenShown<QFileDialog> cancel([](QFileDialog& fd) {
            QMetaObject::invokeMethod(&fd, "reject", Qt::QueuedConnection);
            return true;
        });
        QCOMPARE(dialog->Execute(), std::optional<std::string>());
    }

    // The offscreen platform has no notification area; the menu the back end builds is there all
    // the same, and is what the user meets on a desktop that has one.
    void theTrayIconsMenuAndClicksReachTheirHandlers() {
        using pw::framework::TTrayState;
        pw::ui::qt::QtApplication app(*qobject_cast<QApplication*>(QCoreApplication::instance()));
        std::unique_ptr<pw::framework::ITrayIcon> tray = app.CreateTrayIcon();
        auto& qt = dynamic_cast<pw::ui::qt::QtTrayIcon&>(*tray);
        QCOMPARE(tray->Available(), QSystemTrayIcon::isSystemTrayAvailable());
        QCOMPARE(qt.Icon().contextMenu(), &qt.Menu());

        QStringList chosen;
        int index = 0;
        for (const char* caption : {"Show", "Recheck now", "Stop", "Exit"})
            QCOMPARE(tray->AddMenuItem(caption, [&chosen, caption] { chosen << caption; }),
                     index++);
        tray->SetMenuItemEnabled(2, false);
        const QList<QAction*> actions = qt.Menu().actions();
        QCOMPARE(actions.size(), 4);
        QStringList captions;
        for (QAction* action : actions)
            captions << action->text();
        QCOMPARE(captions, QStringList({"Show", "Recheck now", "Stop", "Exit"}));
        QVERIFY(!actions[2]->isEnabled());

        // Chosen as the user does: the menu pops up and an entry is clicked.
        for (int i : {1, 2, 3}) {
            qt.Menu().popup(QPoint(20, 20));
            QVERIFY(QTest::qWaitForWindowExposed(&qt.Menu()));
            QTest::mouseClick(&qt.Menu(), Qt::LeftButton, {},
                              qt.Menu().actionGeometry(actions[i]).center());
            qt.Menu().hide();  // a click on a greyed entry leaves the menu open
        }
        QCOMPARE(chosen, QStringList({"Recheck now", "Exit"}));

        // A click or double click on the icon activates; its menu button only opens the menu.
        int activations = 0;
        int notificationClicks = 0;
        tray->OnActivate = [&activations] { ++activations; };
        tray->OnNotificationClicked = [&notificationClicks] { ++notificationClicks; };
        for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context,
                            QSystemTrayIcon::MiddleClick, QSystemTrayIcon::DoubleClick})
            emit qt.Icon().activated(reason);
        emit qt.Icon().messageClicked();
        QCOMPARE(activations, 2);
        QCOMPARE(notificationClicks, 1);

        // The picture follows the state; bytes that are no picture change nothing.
        const QByteArray red = pw::test::RedSquarePng();
        tray->SetStateIcon(TTrayState::Alarm, pw::test::Bytes(red));
        QVERIFY(qt.Icon().icon().isNull());
        tray->SetState(TTrayState::Alarm);
        QCOMPARE(qt.Icon().icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
        const QByteArray junk("not a picture");
        tray->SetStateIcon(TTrayState::Alarm, pw::test::Bytes(junk));
        QVERIFY(!qt.Icon().icon().isNull());
        QCOMPARE(tray->State(), TTrayState::Alarm);

        // The tooltip is a display text: given back as its bytes, shown as its characters.
        tray->SetToolTip("Pagewarden: caf\xE9");
        QCOMPARE(tray->ToolTip(), std::string("Pagewarden: caf\xE9"));
        QCOMPARE(qt.Icon().toolTip(), QString::fromUtf8("Pagewarden: caf\xC3\xA9"));
        tray->Show();
        tray->Notify("Pagewarden alarm", "nobody is told where there is no tray");

        // On X11 the icon is a window of its own, embedded in the tray out of the window
        // manager's sight: minimising and restoring the program leave it alone.
        QWidget iconWindow(nullptr,
                           Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        iconWindow.show();
        QWidget window;
        window.show();
        app.Minimize();
        QVERIFY(window.isMinimized());
        QVERIFY(!iconWindow.isMinimized());
        iconWindow.setWindowState(Qt::WindowMinimized);
        app.Restore();
        QVERIFY(!window.isMinimized());
        QVERIFY(iconWindow.isMinimized());
    }
};

QTEST_MAIN(QtBehaviourTest)
#include "QtBehaviourTest.moc"
