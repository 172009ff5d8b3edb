#pragma once
// The HTTP component's worker: one fresh OS thread per run, and synchronous delivery of methods
// onto the UI thread while the worker waits.
//
// Threads: the UI thread creates, runs, stops and destroys; the worker calls only Synchronize,
// Terminated, Abandoned and Owner from inside OnExecute. OnException and OnFinish run on the UI
// thread.
//
// A run cannot be killed in C++: a run that is stopped at once is abandoned instead. It delivers
// nothing more, its owner wakes it from its blocking point (the component cancels its transfer),
// and it ends on its own; the component keeps the abandoned object until its thread has ended.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/Signal.h"
#include "framework/UiThread.h"

namespace pw::http {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The seven-row table between priorities and OS values, used both ways; an OS value not in the
// table reads back as tpNormal.
int ThreadPriorityToOs(TThreadPriority priority);
TThreadPriority ThreadPriorityFromOs(int value);

class TkxCustomThread;

// One OS thread for one run. Created suspended: the OS thread starts at Resume.
class TkxEventThread : public framework::DeliveryOwner {
  public:
    explicit TkxEventThread(TkxCustomThread& owner);
    // Sets Terminated. A thread that never ran ends without running anything; a running one is
    // waited for (serving messages on the UI thread, so its deliveries do not deadlock).
    ~TkxEventThread();
    TkxEventThread(const TkxEventThread&) = delete;
    TkxEventThread& operator=(const TkxEventThread&) = delete;

    TkxCustomThread& Owner() const { return owner_; }

    // Worker: runs method on the UI thread and returns when it has run. Skipped when the owner
    // component is being destroyed or this run has been abandoned. An exception from method is
    // discarded with HandleExceptions, else raised again here.
    void Synchronize(const std::function<void()>& method);

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);

    bool Suspended() const;
    // Starts the OS thread of a suspended object; nothing once started.
    void Resume();
    // Only a thread that has not started can be held back; a started one runs on.
    void Suspend();
    void SetSuspended(bool value);

    void RequestStop();
    bool Terminated() const;
    bool Running() const;
    // The run was stopped at once: it must deliver nothing and touch nothing shared.
    bool Abandoned() const;
    // Waits until the thread has ended (serving messages on the UI thread); returns its exit
    // value (0).
    std::uint32_t WaitFor();
    // Set once the thread procedure has ended (or can no longer start).
    const framework::Signal& Ended() const;

    // A new suspended object for the same owner, with this one's priority and handlers.
    std::unique_ptr<TkxEventThread> Clone() const;

    std::function<void(TkxEventThread& run)> OnExecute;
    std::function<void()> OnException;
    std::function<void(TkxEventThread& run)> OnFinish;

  private:
    // Abandons runs and keeps a run's state alive while it waits for it.
    friend class TkxCustomThread;
    struct State;
    TkxCustomThread& owner_;
    std::shared_ptr<State> state_;
};

class TkxCustomThread {
  public:
    // owner: the component whose destruction stops deliveries.
    TkxCustomThread(framework::IUiThread& ui, const framework::DeliveryOwner& owner);
    // Abandons a running worker, then waits (serving messages) until every thread of this
    // component has ended.
    ~TkxCustomThread();
    TkxCustomThread(const TkxCustomThread&) = delete;
    TkxCustomThread& operator=(const TkxCustomThread&) = delete;

    framework::IUiThread& UiThread() const { return ui_; }
    const framework::DeliveryOwner& ComponentOwner() const { return componentOwner_; }
    bool Destroying() const { return componentOwner_.Destroying(); }

    // Stops any earlier run at once, starts a fresh one and, with WaitThread, waits for it
    // (serving messages; every message starts a new WaitTimeout period). False only when the wait
    // timed out and the run was stopped.
    bool Run();
    // true: abandon the running worker and put a fresh suspended one in its place (StopNow);
    // false: ask the worker to stop at its next check (RequestStop).
    void Stop(bool now);
    void StopNow() { Stop(true); }
    void RequestStop() { Stop(false); }

    bool IsRunning() const;
    // Resumed and its thread procedure not over: true also in the moment before a fresh worker
    // has begun its work, when IsRunning is still false.
    bool InRun() const;
    bool Terminated() const;
    TkxEventThread& EventThread() { return *eventThread_; }

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);
    bool Suspended() const;
    void SetSuspended(bool value);

    bool HandleExceptions = true;
    bool WaitThread() const { return waitThread_; }
    void SetWaitThread(bool value) { waitThread_ = value; }
    std::int32_t WaitTimeout() const { return waitTimeout_; }
    void SetWaitTimeout(std::int32_t value) { waitTimeout_ = value; }

    void SetOnExecute(std::function<void(TkxEventThread& run)> handler);
    void SetOnException(std::function<void()> handler);
    void SetOnFinish(std::function<void(TkxEventThread& run)> handler);
    std::function<void(TkxCustomThread& sender, bool& TerminateThread)> OnWaitTimeoutExpired;

  private:
    framework::IUiThread& ui_;
    const framework::DeliveryOwner& componentOwner_;
    std::unique_ptr<TkxEventThread> eventThread_;
    // Abandoned runs whose threads may still be ending.
    std::vector<std::unique_ptr<TkxEventThread>> abandoned_;
    bool waitThread_ = false;
    std::int32_t waitTimeout_ = 0;
};

}  // namespace pw::http
