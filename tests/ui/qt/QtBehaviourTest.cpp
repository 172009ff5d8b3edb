// The shared behaviour of the UI framework, on the Qt back end in real time (offscreen).

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <chrono>
#include <thread>

#include "tests/framework/BehaviourScenarios.h"
#include "ui/qt/QtApplication.h"

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

  private:
    ui::qt::QtApplication app_{*qobject_cast<QApplication*>(QCoreApplication::instance())};
    framework::SteadyClock clock_;
};

}  // namespace
}  // namespace pw::test

class QtBehaviourTest : public QObject {
    Q_OBJECT

  private slots:
    void scenarios_data() {
        QTest::addColumn<int>("index");
        const auto& all = pw::test::BehaviourScenarios();
        for (int i = 0; i < static_cast<int>(all.size()); ++i)
            QTest::newRow(all[i].name) << i;
    }

    void scenarios() {
        QFETCH(int, index);
        pw::test::QtHarness harness;
        try {
            pw::test::BehaviourScenarios()[index].run(harness);
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
};

QTEST_MAIN(QtBehaviourTest)
#include "QtBehaviourTest.moc"
