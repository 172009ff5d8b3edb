#include "http/kxThread.h"

// Deliveries go through IUiThread::RunOnUiThread: no hidden window, no reference count and no
// lock of our own.

#include <algorithm>
#include <array>
#include <cassert>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/Threads.h"

namespace pw::http {

namespace {

constexpr std::array<std::pair<TThreadPriority, int>, 7> kPriorityTable{{
    {tpIdle, -15},
    {tpLowest, -2},
    {tpLower, -1},
    {tpNormal, 0},
    {tpHigher, 1},
    {tpHighest, 2},
    {tpTimeCritical, 15},
}};

// Started and its thread procedure not yet over.
bool StillGoing(const TkxEventThread& run) {
    return !run.Suspended() && !run.Ended().IsSet();
}

// Blocks a thread that serves no messages until the signal is set.
void BlockUntilSet(const framework::Signal& signal) {
    std::mutex mutex;
    std::condition_variable cv;
    // The waker takes the mutex, so a Set between our check and our wait cannot be missed.
    const auto waker = signal.AddWaker([&] {
        std::lock_guard lock(mutex);
        cv.notify_all();
    });
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return signal.IsSet(); });
}

}  // namespace

int ThreadPriorityToOs(TThreadPriority priority) {
    for (const auto& [p, value] : kPriorityTable) {
        if (p == priority) return value;
    }
    return 0;
}

TThreadPriority ThreadPriorityFromOs(int value) {
    for (const auto& [p, v] : kPriorityTable) {
        if (v == value) return p;
    }
    return tpNormal;
}

// --- TkxEventThread ---

struct TkxEventThread::State {
    std::atomic<bool> terminated{false};
    std::atomic<bool> suspended{true};
    std::atomic<bool> started{false};
    std::atomic<bool> running{false};
    std::atomic<bool> abandoned{false};
    framework::Signal ended;
    std::thread thread;  // UI thread: Resume and the destructor

    // The worker's copies, taken at Resume, so that the UI thread may change the handlers of the
    // object while a run goes on: the change applies to the next run (the clone).
    std::function<void(TkxEventThread&)> execute;
    std::function<void()> exception;
    std::function<void(TkxEventThread&)> finish;
    bool handleExceptions = true;

    // The worker's OS id exists only while its thread procedure runs; a priority asked for before
    // that is applied when it starts. tpNormal leaves the inherited value unless asked for.
    mutable std::mutex osMutex;
    std::optional<platform::ThreadId> osThread;
    TThreadPriority priority = tpNormal;
    bool priorityAsked = false;

    void Procedure(TkxEventThread& self);
    void Work(TkxEventThread& self);
    void Finish(TkxEventThread& self);
};

void TkxEventThread::State::Procedure(TkxEventThread& self) {
    {
        std::lock_guard lock(osMutex);
        osThread = platform::CurrentThreadId();
        if (priorityAsked)
            platform::SetThreadPriorityValue(*osThread, ThreadPriorityToOs(priority));
    }
    if (!terminated) {
        running = true;
        try {
            Work(self);
            Finish(self);
        } catch (...) {
            // Without HandleExceptions an exception ends the run here: nothing may escape a
            // thread.
        }
        running = false;
    }
    {
        std::lock_guard lock(osMutex);
        osThread.reset();
    }
    ended.Set();
}

void TkxEventThread::State::Work(TkxEventThread& self) {
    if (!execute || self.owner_.Destroying() || abandoned) return;
    if (!handleExceptions) {
        execute(self);
        return;
    }
    try {
        execute(self);
    } catch (...) {
        if (exception && !self.owner_.Destroying()) self.Synchronize(exception);
    }
}

void TkxEventThread::State::Finish(TkxEventThread& self) {
    if (!finish) return;
    self.Synchronize([this, &self] {
        if (!finish || self.owner_.Destroying()) return;
        if (!handleExceptions) {
            finish(self);
            return;
        }
        try {
            finish(self);
        } catch (...) {
            // Already on the UI thread: no second delivery.
            if (exception && !self.owner_.Destroying()) exception();
        }
    });
}

TkxEventThread::TkxEventThread(TkxCustomThread& owner)
    : owner_(owner), state_(std::make_shared<State>()) {}

TkxEventThread::~TkxEventThread() {
    State& s = *state_;
    s.terminated = true;
    // Never resumed: no OS thread exists, so nothing ran and nothing will.
    if (!s.started) {
        s.ended.Set();
        return;
    }
    WaitFor();
    s.thread.join();
}

void TkxEventThread::Synchronize(const std::function<void()>& method) {
    if (owner_.Destroying() || Abandoned()) return;
    framework::IUiThread& ui = owner_.UiThread();
    // On the UI thread the run's copy may not exist yet.
    const bool handle = ui.IsUiThread() ? owner_.HandleExceptions : state_->handleExceptions;
    const std::function<void()> deliver = [this, &method] {
        if (!owner_.Destroying()) method();
    };
    std::exception_ptr error;
    // This object is the delivery's owner: an abandoned run is skipped even when already queued.
    ui.RunOnUiThread(this, deliver, error);
    if (error && !handle) std::rethrow_exception(error);
}

TThreadPriority TkxEventThread::Priority() const {
    const State& s = *state_;
    std::lock_guard lock(s.osMutex);
    if (s.osThread) {
        if (const auto value = platform::ThreadPriorityValue(*s.osThread))
            return ThreadPriorityFromOs(*value);
    }
    return s.priority;
}

void TkxEventThread::SetPriority(TThreadPriority priority) {
    State& s = *state_;
    std::lock_guard lock(s.osMutex);
    s.priority = priority;
    s.priorityAsked = true;
    // Refused (raising without privilege): the thread keeps what it has, and Priority says so.
    if (s.osThread) platform::SetThreadPriorityValue(*s.osThread, ThreadPriorityToOs(priority));
}

bool TkxEventThread::Suspended() const {
    return state_->suspended;
}

void TkxEventThread::Resume() {
    assert(owner_.UiThread().IsUiThread());
    State& s = *state_;
    if (s.started) return;
    s.execute = OnExecute;
    s.exception = OnException;
    s.finish = OnFinish;
    s.handleExceptions = owner_.HandleExceptions;
    // When the OS refuses a thread, this throws and the object stays suspended.
    s.thread = std::thread([this] { state_->Procedure(*this); });
    s.started = true;
    s.suspended = false;
}

void TkxEventThread::Suspend() {
    // A thread that has not started is suspended already, and a started one cannot be paused
    // safely at an arbitrary point.
}

void TkxEventThread::SetSuspended(bool value) {
    if (value == Suspended()) return;
    if (value)
        Suspend();
    else
        Resume();
}

void TkxEventThread::RequestStop() {
    state_->terminated = true;
}

bool TkxEventThread::Terminated() const {
    return state_->terminated;
}

bool TkxEventThread::Running() const {
    return state_->running;
}

bool TkxEventThread::Abandoned() const {
    return state_->abandoned;
}

std::uint32_t TkxEventThread::WaitFor() {
    // Held: a handler served during the wait may free this object.
    const std::shared_ptr<State> state = state_;
    // Never resumed: it cannot end by itself, and waiting would hang.
    if (!state->started) return 0;
    framework::IUiThread& ui = owner_.UiThread();
    if (ui.IsUiThread())
        framework::WaitPumping(ui, state->ended, framework::kInfinite, /*stopOnTerminate=*/false);
    else
        BlockUntilSet(state->ended);
    return 0;
}

const framework::Signal& TkxEventThread::Ended() const {
    return state_->ended;
}

std::unique_ptr<TkxEventThread> TkxEventThread::Clone() const {
    auto clone = std::make_unique<TkxEventThread>(owner_);
    bool asked = false;
    {
        std::lock_guard lock(state_->osMutex);
        asked = state_->priorityAsked;
    }
    if (asked) clone->SetPriority(Priority());
    clone->OnExecute = OnExecute;
    clone->OnException = OnException;
    clone->OnFinish = OnFinish;
    return clone;
}

// --- TkxCustomThread ---

namespace {

// Frees the abandoned runs whose threads have ended; their destructors then wait for nothing.
void Reap(std::vector<std::unique_ptr<TkxEventThread>>& abandoned) {
    std::erase_if(abandoned, [](const auto& run) { return run->Ended().IsSet(); });
}

}  // namespace

TkxCustomThread::TkxCustomThread(framework::IUiThread& ui, const framework::DeliveryOwner& owner)
    : ui_(ui), componentOwner_(owner), eventThread_(std::make_unique<TkxEventThread>(*this)) {}

TkxCustomThread::~TkxCustomThread() {
    // Waiting serves messages, and a handler may still start a run of ours: repeat until no run
    // is left going.
    for (;;) {
        if (StillGoing(*eventThread_)) Stop(true);
        if (abandoned_.empty()) break;
        auto runs = std::move(abandoned_);
        abandoned_.clear();
        for (auto& run : runs)
            run->WaitFor();
    }
    eventThread_.reset();
}

bool TkxCustomThread::Run() {
    assert(ui_.IsUiThread());
    Stop(true);
    // The old object never started or has ended (a run still going was just abandoned), so
    // freeing it waits for nothing.
    eventThread_ = eventThread_->Clone();
    // A handler served during the wait may replace or free the run object; its state stays.
    const std::shared_ptr<TkxEventThread::State> state = eventThread_->state_;
    eventThread_->Resume();
    if (!waitThread_) return true;

    const std::uint32_t timeout =
        waitTimeout_ > 0 ? static_cast<std::uint32_t>(waitTimeout_) : framework::kInfinite;
    const auto result = framework::WaitPumping(ui_, state->ended, timeout, /*stopOnTerminate=*/true,
                                               [&] { return !Destroying() && !state->abandoned; });
    if (result != framework::PumpedWait::TimedOut) return true;

    bool terminateThread = true;
    if (OnWaitTimeoutExpired) OnWaitTimeoutExpired(*this, terminateThread);
    if (!terminateThread) return true;
    if (eventThread_ && eventThread_->state_ == state) Stop(true);
    return false;
}

void TkxCustomThread::Stop(bool now) {
    assert(ui_.IsUiThread());
    Reap(abandoned_);
    if (!eventThread_) return;
    if (!now) {
        eventThread_->RequestStop();
        return;
    }
    if (!StillGoing(*eventThread_)) return;
    auto fresh = eventThread_->Clone();
    TkxEventThread& run = *eventThread_;
    run.RequestStop();
    run.state_->abandoned = true;
    run.BeginDestroy();
    abandoned_.push_back(std::move(eventThread_));
    eventThread_ = std::move(fresh);
}

bool TkxCustomThread::IsRunning() const {
    return eventThread_ && eventThread_->Running();
}

bool TkxCustomThread::InRun() const {
    return eventThread_ && StillGoing(*eventThread_);
}

bool TkxCustomThread::Terminated() const {
    return eventThread_ && eventThread_->Terminated();
}

TThreadPriority TkxCustomThread::Priority() const {
    return eventThread_->Priority();
}

void TkxCustomThread::SetPriority(TThreadPriority priority) {
    eventThread_->SetPriority(priority);
}

bool TkxCustomThread::Suspended() const {
    return eventThread_->Suspended();
}

void TkxCustomThread::SetSuspended(bool value) {
    assert(ui_.IsUiThread());
    eventThread_->SetSuspended(value);
}

void TkxCustomThread::SetOnExecute(std::function<void(TkxEventThread& run)> handler) {
    eventThread_->OnExecute = std::move(handler);
}

void TkxCustomThread::SetOnException(std::function<void()> handler) {
    eventThread_->OnException = std::move(handler);
}

void TkxCustomThread::SetOnFinish(std::function<void(TkxEventThread& run)> handler) {
    eventThread_->OnFinish = std::move(handler);
}

}  // namespace pw::http
