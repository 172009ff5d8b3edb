#pragma once
// The Qt 6 Widgets back end of the UI framework's application object and message loop.
// Nothing may unwind through Qt's event dispatch, so every handler that Qt calls runs through
// RunHandler: an exception stops there, in the standard error box, and the loop goes on.
//
// Threads: construct it on the thread that owns the QApplication (the UI thread). Post,
// RunOnUiThread, Terminate, Terminated and IsUiThread may be called from any thread.

#include <atomic>
#include <memory>
#include <string>

#include "framework/ApplicationBase.h"

class QApplication;
class QObject;
class QWidget;

namespace pw::ui::qt {

class QtForm;

class QtApplication final : public framework::ApplicationBase {
  public:
    explicit QtApplication(QApplication& app);
    ~QtApplication() override;
    QtApplication(const QtApplication&) = delete;
    QtApplication& operator=(const QtApplication&) = delete;

    bool IsUiThread() const override;
    framework::IClock& Clock() const override { return clock_; }
    void ProcessMessages() override;
    void Run() override;

    void SetTitle(std::string_view title) override;
    std::string Title() const override;
    void Minimize() override;
    void Restore() override;
    bool IsMinimized() const override;

    std::unique_ptr<framework::ITimer> CreateTimer() override;
    std::unique_ptr<framework::IOpenDialog> CreateOpenDialog() override;
    std::unique_ptr<framework::ITrayIcon> CreateTrayIcon() override;

    void Post(std::function<void()> fn) override;
    framework::WaitResult WaitForSignalOrMessage(const framework::Signal& signal,
                                                 std::uint32_t timeoutMs) override;

    framework::DialogResult MessageBox(std::string_view text, std::string_view caption,
                                       std::uint32_t flags) override;
    void ShowException(std::string_view message) override;

    // The widget of the main form; null when there is none.
    QWidget* MainWidget() const;
    // The parent of a message box: the window the user is in, else the main form's.
    QWidget* DialogParent() const;

  private:
    friend class QtForm;

    std::unique_ptr<framework::IForm> NewForm() override;
    void TerminateRequested() override;
    // Our wait cursors on Qt's override stack, one for each counted SetBusyCursor(true).
    void BusyCursorChanged(bool busy) override;
    framework::Delivery SendToUiThread(const framework::DeliveryOwner* owner,
                                       const std::function<void()>& fn,
                                       std::exception_ptr& error) override;

    mutable framework::SteadyClock clock_;
    // The application's active form, as the toolkit the window was designed for keeps it: it
    // changes only when another form takes over. True when form was not the active one.
    bool FormActivated(QtForm* form);
    // The form was hidden or destroyed: showing it again activates it anew.
    void FormLeft(QtForm* form);
    void Wake();

    QApplication& app_;
    // Lives on the UI thread; deliveries and posts are queued invocations onto it.
    std::unique_ptr<QObject> receiver_;
    std::atomic<bool> shuttingDown_{false};
    std::atomic<int> blockedSenders_{0};
    QtForm* activeForm_ = nullptr;
    bool minimized_ = false;  // for an application without windows
    std::string title_;       // as given: display texts come back as they were
};

}  // namespace pw::ui::qt
