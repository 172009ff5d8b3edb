#pragma once
// The headless back end of the UI framework: a message queue guarded by a mutex and a condition
// variable, on a clock that is either the machine's or a virtual one that tests advance by hand.
// It serves the tests and the headless checker; nothing is drawn.
//
// Threads: the thread that constructs it is the UI thread. Post, RunOnUiThread, Terminate,
// WaitUntilIdle and VirtualClock::Advance may be called from any thread; the rest from the UI
// thread only.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/ApplicationBase.h"
#include "framework/Clock.h"

namespace pw::framework {

class HeadlessTimer;
class HeadlessForm;
class HeadlessOpenDialog;
class HeadlessTrayIcon;

class HeadlessApplication final : public ApplicationBase {
  public:
    explicit HeadlessApplication(std::shared_ptr<IClock> clock = std::make_shared<SteadyClock>());
    ~HeadlessApplication() override;
    HeadlessApplication(const HeadlessApplication&) = delete;
    HeadlessApplication& operator=(const HeadlessApplication&) = delete;

    bool IsUiThread() const override;
    void ProcessMessages() override;
    void Run() override;

    void SetTitle(std::string_view title) override;
    std::string Title() const override;
    void Minimize() override;
    void Restore() override;
    bool IsMinimized() const override;

    std::unique_ptr<ITimer> CreateTimer() override;
    std::unique_ptr<IOpenDialog> CreateOpenDialog() override;
    std::unique_ptr<ITrayIcon> CreateTrayIcon() override;

    void Post(std::function<void()> fn) override;
    WaitResult WaitForSignalOrMessage(const Signal& signal, std::uint32_t timeoutMs) override;

    DialogResult MessageBox(std::string_view text, std::string_view caption,
                            std::uint32_t flags) override;
    void ShowException(std::string_view message) override;

    // --- for tests and the headless checker ---

    IClock& Clock() const override { return *clock_; }
    // Moves a virtual clock on by ms, stopping at every instant a timer falls due to process the
    // messages then pending, so each timer ticks as often as with a responsive message loop.
    // UI thread; the clock must be a VirtualClock.
    void AdvanceAndProcess(Millis ms);
    // Blocks the calling (non-UI) thread until the UI thread waits with no message pending.
    void WaitUntilIdle();
    // Deliveries queued and not yet run.
    std::size_t PendingDeliveries() const;

    struct ShownDialog {
        std::string text;
        std::string caption;
        std::uint32_t flags = 0;
        bool errorBox = false;
    };
    std::vector<ShownDialog> Dialogs() const;
    // The answer of the next message box; without one queued, a box answers its first button.
    void QueueDialogAnswer(DialogResult answer);
    // The answer of the next open dialog: a file's path, or nullopt for Cancel. Without one
    // queued, a dialog is cancelled.
    void QueueOpenDialogAnswer(std::optional<std::string> answer);
    // The filter of every open dialog shown, in order.
    std::vector<std::string> OpenDialogFilters() const { return openDialogFilters_; }
    // What the user does next on a form shown modally (see HeadlessForm::ShowModal), in order.
    using ModalAction = std::function<void(HeadlessForm&)>;
    void QueueModalAction(ModalAction action);
    std::size_t PendingModalActions() const { return modalActions_.size(); }
    // The screen forms are centred on; 1280 x 1024 at first.
    void SetScreenSize(int width, int height);
    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    // Whether the desktop has a notification area for tray icons; it has none at first.
    void SetTrayAvailable(bool available) { trayAvailable_ = available; }
    bool TrayAvailable() const { return trayAvailable_; }
    // The tray icons that exist now, oldest first, and how many were ever created.
    const std::vector<HeadlessTrayIcon*>& TrayIcons() const { return trayIcons_; }
    int TrayIconsCreated() const { return trayIconsCreated_; }

  private:
    friend class HeadlessTimer;
    friend class HeadlessOpenDialog;
    friend class HeadlessForm;
    friend class HeadlessTrayIcon;

    std::unique_ptr<IForm> NewForm() override;
    void TerminateRequested() override;
    // Nothing is drawn: the depth the base keeps is all there is to see.
    void BusyCursorChanged(bool /*busy*/) override {}
    Delivery SendToUiThread(const DeliveryOwner* owner, const std::function<void()>& fn,
                            std::exception_ptr& error) override;

    struct Delivered;
    struct TimerState {
        std::uint32_t interval = 0;
        bool enabled = false;
        Millis due = 0;
        bool pending = false;  // a tick is due and not yet run (ticks merge, as WM_TIMER does)
        HeadlessTimer* timer = nullptr;
    };

    // Runs one pending message; false when there was none. Called with the lock held; unlocks
    // while the message runs.
    bool RunOne(std::unique_lock<std::mutex>& lock);
    bool HasMessageLocked() const;
    void MarkDueTimersLocked();
    Millis NextTimerDueLocked() const;
    void WaitLocked(std::unique_lock<std::mutex>& lock, Millis deadline,
                    const std::function<bool()>& done);
    void Wake();

    std::uint64_t AddTimer(HeadlessTimer* timer);
    void RemoveTimer(std::uint64_t id);
    void UpdateTimer(std::uint64_t id, bool enabled, std::uint32_t interval);
    std::optional<std::string> NextOpenDialogAnswer(const std::string& filter);
    std::optional<ModalAction> NextModalAction();
    void TrayIconCreated(HeadlessTrayIcon* icon);
    void TrayIconDestroyed(HeadlessTrayIcon* icon);

    std::shared_ptr<IClock> clock_;
    std::uint64_t clockListener_ = 0;
    const std::thread::id uiThread_;

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
    std::deque<std::shared_ptr<Delivered>> deliveries_;
    std::map<std::uint64_t, TimerState> timers_;
    std::uint64_t nextTimerId_ = 1;
    bool wakeFlag_ = false;  // a wake that counts as a message (Terminate)
    bool shuttingDown_ = false;
    int blockedSenders_ = 0;  // workers inside RunOnUiThread
    bool uiWaiting_ = false;

    std::string title_;
    bool minimized_ = false;
    std::vector<ShownDialog> dialogs_;
    std::deque<DialogResult> answers_;
    std::deque<std::optional<std::string>> openAnswers_;
    std::vector<std::string> openDialogFilters_;
    std::deque<ModalAction> modalActions_;
    int screenWidth_ = 1280, screenHeight_ = 1024;
    bool trayAvailable_ = false;
    std::vector<HeadlessTrayIcon*> trayIcons_;
    int trayIconsCreated_ = 0;
};

}  // namespace pw::framework
