#include "ui/qt/QtApplication.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cassert>

#include "ui/qt/QtControls.h"
#include "ui/qt/QtForm.h"
#include "ui/qt/QtSupport.h"
#include "ui/qt/QtTrayIcon.h"

namespace pw::ui::qt {

using framework::DialogResult;
using framework::IForm;
using framework::ITimer;
namespace mb = framework::mb;

namespace {

class QtTimer final : public ITimer {
  public:
    explicit QtTimer(QtApplication& app) {
        timer_.setTimerType(Qt::PreciseTimer);
        // RunHandler runs a copy: the handler may change or destroy its own timer.
        QObject::connect(&timer_, &QTimer::timeout, [this, &app] { app.RunHandler(OnTimer); });
        Apply();  // a new timer is enabled with 1,000 ms, as the toolkit's timers are
    }

    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        Apply();
    }
    bool Enabled() const override { return enabled_; }
    void SetInterval(std::uint32_t ms) override {
        if (ms == interval_) return;
        interval_ = ms;
        Apply();
    }
    std::uint32_t Interval() const override { return interval_; }

  private:
    void Apply() {
        if (enabled_ && interval_ > 0)
            timer_.start(static_cast<int>(std::min<std::uint32_t>(interval_, INT32_MAX)));
        else
            timer_.stop();
    }

    QTimer timer_;
    bool enabled_ = true;
    std::uint32_t interval_ = 1000;
};

// The windows minimise and restore act on: the program's windows and dialogs, not the tray
// icon's own window (on X11 one the window manager never sees, embedded in the tray), nor
// balloons, tooltips or menus.
bool MinimisesWithTheProgram(const QWidget& w) {
    const Qt::WindowType type = w.windowType();
    return (type == Qt::Window || type == Qt::Dialog) &&
           !w.windowFlags().testFlag(Qt::X11BypassWindowManagerHint);
}

}  // namespace

// --- the application ---

QtApplication::QtApplication(QApplication& app)
    : app_(app), receiver_(std::make_unique<QObject>()) {
    // The main form's close ends the program, not the last window's (a dialog may be the last).
    QApplication::setQuitOnLastWindowClosed(false);
}

QtApplication::~QtApplication() {
    shuttingDown_ = true;
    // Senders already under way still reach the receiver; serve them (they are skipped) before
    // it goes, so no worker is left blocked or pointing at a freed object.
    while (blockedSenders_.load() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::yieldCurrentThread();
    }
    // Posts not yet run go with the receiver; what they hold (a window freed after its own
    // handler, say) is destroyed while this object is still whole.
    receiver_.reset();
}

bool QtApplication::IsUiThread() const {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

void QtApplication::ProcessMessages() {
    assert(IsUiThread());
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtApplication::Run() {
    assert(IsUiThread());
    if (Terminated()) return;
    QApplication::exec();
    LoopEnded();
}

void QtApplication::Wake() {
    if (auto* dispatcher =
            QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread()))
        dispatcher->wakeUp();
}

void QtApplication::TerminateRequested() {
    Post([] { QCoreApplication::exit(0); });
    Wake();
}

void QtApplication::SetTitle(std::string_view title) {
    title_ = title;
    QApplication::setApplicationDisplayName(FromDisplay(title));
}

std::string QtApplication::Title() const {
    return title_;
}

void QtApplication::Minimize() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && MinimisesWithTheProgram(*w)) w->showMinimized();
    minimized_ = true;
}

void QtApplication::Restore() {
    if (!IsMinimized()) return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isMinimized() || !MinimisesWithTheProgram(*w)) continue;
        w->showNormal();
        w->raise();
        w->activateWindow();
    }
    minimized_ = false;
}

bool QtApplication::IsMinimized() const {
    if (QWidget* main = MainWidget()) return main->isMinimized();
    return minimized_;
}

void QtApplication::BusyCursorChanged(bool busy) {
    // The base never ends more than we set: the rest of the override stack is not ours.
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

std::unique_ptr<ITimer> QtApplication::CreateTimer() {
    assert(IsUiThread());
    return std::make_unique<QtTimer>(*this);
}

std::unique_ptr<IForm> QtApplication::NewForm() {
    return std::make_unique<QtForm>(*this);
}

QWidget* QtApplication::MainWidget() const {
    // Every form of this application is one of ours (NewForm).
    const auto* main = static_cast<const QtForm*>(MainForm());
    return main ? main->widget() : nullptr;
}

QWidget* QtApplication::DialogParent() const {
    // A window kept on top would otherwise cover a box that belongs to the main form.
    if (QWidget* active = QApplication::activeWindow()) return active;
    return MainWidget();
}

bool QtApplication::FormActivated(QtForm* form) {
    if (form == activeForm_) return false;
    activeForm_ = form;
    return true;
}

void QtApplication::FormLeft(QtForm* form) {
    if (form == activeForm_) activeForm_ = nullptr;
}

std::unique_ptr<framework::IOpenDialog> QtApplication::CreateOpenDialog() {
    assert(IsUiThread());
    return std::make_unique<QtOpenDialog>([this] { return MainWidget(); });
}

std::unique_ptr<framework::ITrayIcon> QtApplication::CreateTrayIcon() {
    assert(IsUiThread());
    return std::make_unique<QtTrayIcon>(*this);
}

framework::Delivery QtApplication::SendToUiThread(const framework::DeliveryOwner* owner,
                                                  const std::function<void()>& fn,
                                                  std::exception_ptr& error) {
    ++blockedSenders_;  // before the check, so the destructor waits for this sender
    if (shuttingDown_) {
        --blockedSenders_;
        return framework::Delivery::Skipped;
    }
    bool ran = false;
    std::exception_ptr caught;
    // The worker blocks until the UI thread has run this (or dropped it at shutdown).
    QMetaObject::invokeMethod(
        receiver_.get(),
        [&] {
            if (shuttingDown_ || (owner && owner->Destroying())) return;
            ran = true;
            try {
                fn();
            } catch (...) {
                caught = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    --blockedSenders_;
    error = caught;
    return ran ? framework::Delivery::Delivered : framework::Delivery::Skipped;
}

void QtApplication::Post(std::function<void()> fn) {
    ++blockedSenders_;
    if (!shuttingDown_) {
        QMetaObject::invokeMethod(
            receiver_.get(), [this, fn = std::move(fn)] { RunHandler(fn); }, Qt::QueuedConnection);
    }
    --blockedSenders_;
}

framework::WaitResult QtApplication::WaitForSignalOrMessage(const framework::Signal& signal,
                                                            std::uint32_t timeoutMs) {
    assert(IsUiThread());
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    auto waker = signal.AddWaker([dispatcher] { dispatcher->wakeUp(); });
    bool timedOut = false;
    QTimer timer;
    if (timeoutMs != framework::kInfinite) {
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&timedOut] { timedOut = true; });
        timer.start(static_cast<int>(std::min<std::uint32_t>(timeoutMs, INT32_MAX)));
    }
    // Qt cannot look at its queue without dispatching, so the messages that woke the wait have
    // already run when it returns Message; the caller's ProcessMessages then finds the rest.
    for (;;) {
        if (signal.IsSet()) return framework::WaitResult::Signaled;
        if (timedOut) return framework::WaitResult::Timeout;
        if (dispatcher->processEvents(QEventLoop::WaitForMoreEvents)) {
            if (signal.IsSet()) return framework::WaitResult::Signaled;
            if (timedOut) return framework::WaitResult::Timeout;
            return framework::WaitResult::Message;
        }
    }
}

DialogResult QtApplication::MessageBox(std::string_view text, std::string_view caption,
                                       std::uint32_t flags) {
    assert(IsUiThread());
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & mb::kIconMask) {
        case mb::kIconStop:
            icon = QMessageBox::Critical;
            break;
        case mb::kIconQuestion:
            icon = QMessageBox::Question;
            break;
        case mb::kIconWarning:
            icon = QMessageBox::Warning;
            break;
        case mb::kIconInformation:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (flags & mb::kButtonsMask) {
        case mb::kOkCancel:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case mb::kYesNo:
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        case mb::kYesNoCancel:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
        default:
            break;
    }
    QMessageBox box(icon, FromDisplay(caption), FromDisplay(text), buttons, DialogParent());
    switch (box.exec()) {
        case QMessageBox::Ok:
            return DialogResult::Ok;
        case QMessageBox::Yes:
            return DialogResult::Yes;
        case QMessageBox::No:
            return DialogResult::No;
        case QMessageBox::Cancel:
            return DialogResult::Cancel;
        default:
            return DialogResult::Cancel;  // closed without a button
    }
}

void QtApplication::ShowException(std::string_view message) {
    QMessageBox::critical(DialogParent(), QApplication::applicationDisplayName(),
                          FromDisplay(message));
}

}  // namespace pw::ui::qt
