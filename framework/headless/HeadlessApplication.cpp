#include "framework/headless/HeadlessApplication.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <stdexcept>

#include "framework/headless/HeadlessControls.h"
#include "framework/headless/HeadlessTrayIcon.h"

namespace pw::framework {

namespace {
constexpr Millis kNever = std::numeric_limits<Millis>::max();
}  // namespace

// One blocking delivery from a worker; the worker waits until `done`.
struct HeadlessApplication::Delivered {
    const DeliveryOwner* owner = nullptr;
    const std::function<void()>* fn = nullptr;
    std::exception_ptr error;
    bool done = false;
    bool skipped = false;
};

// --- timers ---

class HeadlessTimer final : public ITimer {
  public:
    explicit HeadlessTimer(HeadlessApplication& app) : app_(app), id_(app.AddTimer(this)) {}
    ~HeadlessTimer() override { app_.RemoveTimer(id_); }

    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        app_.UpdateTimer(id_, enabled_, interval_);
    }
    bool Enabled() const override { return enabled_; }
    void SetInterval(std::uint32_t ms) override {
        if (ms == interval_) return;
        interval_ = ms;
        app_.UpdateTimer(id_, enabled_, interval_);
    }
    std::uint32_t Interval() const override { return interval_; }

  private:
    HeadlessApplication& app_;
    std::uint64_t id_;
    bool enabled_ = true;  // a new timer is enabled with 1,000 ms, as the toolkit's timers are
    std::uint32_t interval_ = 1000;
};

// --- the application ---

HeadlessApplication::HeadlessApplication(std::shared_ptr<IClock> clock)
    : clock_(std::move(clock)), uiThread_(std::this_thread::get_id()) {
    clockListener_ = clock_->AddListener([this] { Wake(); });
}

HeadlessApplication::~HeadlessApplication() {
    clock_->RemoveListener(clockListener_);
    std::unique_lock lock(mutex_);
    shuttingDown_ = true;
    // Workers blocked in a delivery are released; what they wanted to run never runs.
    for (auto& d : deliveries_) {
        d->skipped = true;
        d->done = true;
    }
    deliveries_.clear();
    cv_.notify_all();
    // They still need this object's mutex to leave RunOnUiThread.
    cv_.wait(lock, [this] { return blockedSenders_ == 0; });
}

bool HeadlessApplication::IsUiThread() const {
    return std::this_thread::get_id() == uiThread_;
}

void HeadlessApplication::Wake() {
    std::lock_guard lock(mutex_);
    cv_.notify_all();
}

void HeadlessApplication::MarkDueTimersLocked() {
    const Millis now = clock_->Now();
    for (auto& [id, t] : timers_) {
        if (t.enabled && t.interval > 0 && !t.pending && now >= t.due) t.pending = true;
    }
}

Millis HeadlessApplication::NextTimerDueLocked() const {
    Millis next = kNever;
    for (const auto& [id, t] : timers_) {
        if (t.enabled && t.interval > 0) next = std::min(next, t.pending ? Millis{0} : t.due);
    }
    return next;
}

bool HeadlessApplication::HasMessageLocked() const {
    if (!deliveries_.empty() || !posted_.empty() || wakeFlag_) return true;
    const Millis now = clock_->Now();
    return std::any_of(timers_.begin(), timers_.end(), [now](const auto& e) {
        const TimerState& t = e.second;
        return t.enabled && t.interval > 0 && (t.pending || now >= t.due);
    });
}

bool HeadlessApplication::RunOne(std::unique_lock<std::mutex>& lock) {
    // Sent messages (deliveries) first, then posted ones, then timer ticks, as the platform's
    // message retrieval orders them.
    if (!deliveries_.empty()) {
        std::shared_ptr<Delivered> d = deliveries_.front();
        deliveries_.pop_front();
        lock.unlock();
        bool skipped = d->owner && d->owner->Destroying();
        std::exception_ptr error;
        if (!skipped) {
            try {
                (*d->fn)();
            } catch (...) {
                error = std::current_exception();
            }
        }
        lock.lock();
        d->skipped = skipped;
        d->error = error;
        d->done = true;
        cv_.notify_all();
        return true;
    }
    if (!posted_.empty()) {
        std::function<void()> fn = std::move(posted_.front());
        posted_.pop_front();
        lock.unlock();
        RunHandler(fn);
        lock.lock();
        return true;
    }
    MarkDueTimersLocked();
    for (auto& [id, t] : timers_) {
        if (!t.pending) continue;
        t.pending = false;
        const Millis now = clock_->Now();
        t.due += t.interval;
        if (t.due <= now) t.due = now + t.interval;  // missed periods merge into this one tick
        HeadlessTimer* timer = t.timer;
        lock.unlock();
        // RunHandler copies it: the handler may change or destroy its own timer.
        RunHandler(timer->OnTimer);
        lock.lock();
        return true;
    }
    return false;
}

void HeadlessApplication::ProcessMessages() {
    assert(IsUiThread());
    std::unique_lock lock(mutex_);
    wakeFlag_ = false;
    while (RunOne(lock)) {
    }
}

void HeadlessApplication::WaitLocked(std::unique_lock<std::mutex>& lock, Millis deadline,
                                     const std::function<bool()>& done) {
    while (!done()) {
        const Millis until = std::min(deadline, NextTimerDueLocked());
        uiWaiting_ = true;
        cv_.notify_all();  // for WaitUntilIdle
        const auto real = until == kNever ? std::nullopt : clock_->RealTime(until);
        if (real)
            cv_.wait_until(lock, *real);
        else
            cv_.wait(lock);
        uiWaiting_ = false;
        if (deadline != kNever && clock_->Now() >= deadline) return;
    }
}

void HeadlessApplication::Run() {
    assert(IsUiThread());
    while (!Terminated()) {
        ProcessMessages();
        std::unique_lock lock(mutex_);
        WaitLocked(lock, kNever, [this] { return Terminated() || HasMessageLocked(); });
    }
}

void HeadlessApplication::TerminateRequested() {
    std::lock_guard lock(mutex_);
    wakeFlag_ = true;
    cv_.notify_all();
}

WaitResult HeadlessApplication::WaitForSignalOrMessage(const Signal& signal,
                                                       std::uint32_t timeoutMs) {
    assert(IsUiThread());
    auto waker = signal.AddWaker([this] { Wake(); });
    std::unique_lock lock(mutex_);
    const Millis deadline = timeoutMs == kInfinite ? kNever : clock_->Now() + timeoutMs;
    WaitLocked(lock, deadline, [&] { return signal.IsSet() || HasMessageLocked(); });
    if (signal.IsSet()) return WaitResult::Signaled;
    if (HasMessageLocked()) {
        wakeFlag_ = false;  // a wake counts as one message
        return WaitResult::Message;
    }
    return WaitResult::Timeout;
}

Delivery HeadlessApplication::SendToUiThread(const DeliveryOwner* owner,
                                             const std::function<void()>& fn,
                                             std::exception_ptr& error) {
    auto d = std::make_shared<Delivered>();
    d->owner = owner;
    d->fn = &fn;
    std::unique_lock lock(mutex_);
    if (shuttingDown_) return Delivery::Skipped;
    deliveries_.push_back(d);
    cv_.notify_all();
    ++blockedSenders_;
    cv_.wait(lock, [&] { return d->done; });
    --blockedSenders_;
    cv_.notify_all();
    error = d->error;
    return d->skipped ? Delivery::Skipped : Delivery::Delivered;
}

void HeadlessApplication::Post(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    if (shuttingDown_) return;
    posted_.push_back(std::move(fn));
    cv_.notify_all();
}

void HeadlessApplication::WaitUntilIdle() {
    assert(!IsUiThread());
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return shuttingDown_ || (uiWaiting_ && !HasMessageLocked()); });
}

std::size_t HeadlessApplication::PendingDeliveries() const {
    std::lock_guard lock(mutex_);
    return deliveries_.size();
}

void HeadlessApplication::AdvanceAndProcess(Millis ms) {
    assert(IsUiThread());
    auto* clock = dynamic_cast<VirtualClock*>(clock_.get());
    if (!clock) throw std::logic_error("AdvanceAndProcess needs a virtual clock");
    const Millis target = clock->Now() + std::max<Millis>(ms, 0);
    for (;;) {
        ProcessMessages();
        Millis next;
        {
            std::lock_guard lock(mutex_);
            next = NextTimerDueLocked();
        }
        const Millis now = clock->Now();
        if (next > now && next <= target) {
            clock->Advance(next - now);
            continue;
        }
        if (next <= now) continue;  // a handler re-armed a timer that is due at once
        clock->Advance(target - now);
        ProcessMessages();
        return;
    }
}

// --- title, minimise, forms, timers ---

void HeadlessApplication::SetTitle(std::string_view title) {
    title_ = title;
}
std::string HeadlessApplication::Title() const {
    return title_;
}
void HeadlessApplication::Minimize() {
    minimized_ = true;
}
void HeadlessApplication::Restore() {
    minimized_ = false;
}
bool HeadlessApplication::IsMinimized() const {
    return minimized_;
}

std::unique_ptr<ITimer> HeadlessApplication::CreateTimer() {
    assert(IsUiThread());
    return std::make_unique<HeadlessTimer>(*this);
}

std::unique_ptr<IForm> HeadlessApplication::NewForm() {
    return std::make_unique<HeadlessForm>(*this);
}

std::unique_ptr<IOpenDialog> HeadlessApplication::CreateOpenDialog() {
    assert(IsUiThread());
    return std::make_unique<HeadlessOpenDialog>(*this);
}

std::unique_ptr<ITrayIcon> HeadlessApplication::CreateTrayIcon() {
    assert(IsUiThread());
    return std::make_unique<HeadlessTrayIcon>(*this);
}

void HeadlessApplication::TrayIconCreated(HeadlessTrayIcon* icon) {
    trayIcons_.push_back(icon);
    ++trayIconsCreated_;
}

void HeadlessApplication::TrayIconDestroyed(HeadlessTrayIcon* icon) {
    std::erase(trayIcons_, icon);
}

std::uint64_t HeadlessApplication::AddTimer(HeadlessTimer* timer) {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = nextTimerId_++;
    TimerState& t = timers_[id];
    t.timer = timer;
    t.enabled = true;
    t.interval = 1000;
    t.due = clock_->Now() + t.interval;
    return id;
}

void HeadlessApplication::RemoveTimer(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void HeadlessApplication::UpdateTimer(std::uint64_t id, bool enabled, std::uint32_t interval) {
    std::lock_guard lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    TimerState& t = it->second;
    t.enabled = enabled;
    t.interval = interval;
    t.pending = false;
    t.due = clock_->Now() + interval;
    cv_.notify_all();
}

// --- dialogs ---

DialogResult HeadlessApplication::MessageBox(std::string_view text, std::string_view caption,
                                             std::uint32_t flags) {
    dialogs_.push_back({std::string(text), std::string(caption), flags, false});
    if (!answers_.empty()) {
        const DialogResult answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    switch (flags & mb::kButtonsMask) {
        case mb::kYesNo:
        case mb::kYesNoCancel:
            return DialogResult::Yes;
        default:
            return DialogResult::Ok;
    }
}

void HeadlessApplication::ShowException(std::string_view message) {
    dialogs_.push_back({std::string(message), title_, mb::kOk | mb::kIconStop, true});
}

std::vector<HeadlessApplication::ShownDialog> HeadlessApplication::Dialogs() const {
    return dialogs_;
}

void HeadlessApplication::QueueDialogAnswer(DialogResult answer) {
    answers_.push_back(answer);
}

void HeadlessApplication::QueueOpenDialogAnswer(std::optional<std::string> answer) {
    openAnswers_.push_back(std::move(answer));
}

void HeadlessApplication::QueueModalAction(ModalAction action) {
    modalActions_.push_back(std::move(action));
}

std::optional<HeadlessApplication::ModalAction> HeadlessApplication::NextModalAction() {
    if (modalActions_.empty()) return std::nullopt;
    ModalAction action = std::move(modalActions_.front());
    modalActions_.pop_front();
    return action;
}

void HeadlessApplication::SetScreenSize(int width, int height) {
    screenWidth_ = std::max(width, 0);
    screenHeight_ = std::max(height, 0);
}

std::optional<std::string> HeadlessApplication::NextOpenDialogAnswer(const std::string& filter) {
    openDialogFilters_.push_back(filter);
    if (openAnswers_.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(openAnswers_.front());
    openAnswers_.pop_front();
    return answer;
}

}  // namespace pw::framework
