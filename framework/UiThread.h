#pragma once
// The UI thread as a service: what a component that runs work on other threads needs of the
// message loop, and nothing of windows. The HTTP worker, the message-pumping waits and the
// utility functions take this, so a program with another kind of loop (or none to show) can
// serve them.
//
// Threads: IsUiThread, Clock, RunOnUiThread, Post, Terminate and Terminated may be called from any
// thread; ProcessMessages and WaitForSignalOrMessage from the UI thread only (the thread that
// created the service).

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>

#include "framework/Clock.h"
#include "framework/Signal.h"

namespace pw::framework {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// The receiver of deliveries from a worker. Once its destruction has begun, deliveries to it are
// skipped, both when they are sent and when the UI thread comes to run them.
class DeliveryOwner {
  public:
    void BeginDestroy() { destroying_.store(true, std::memory_order_release); }
    bool Destroying() const { return destroying_.load(std::memory_order_acquire); }

  private:
    std::atomic<bool> destroying_{false};
};

enum class Delivery { Delivered, Skipped };

// Why a wait for a signal returned.
enum class WaitResult {
    Signaled,  // the signal is set
    Message,   // a message arrived (not yet processed)
    Timeout,   // the time-out ran out
};

class IUiThread {
  public:
    virtual ~IUiThread() = default;

    virtual bool IsUiThread() const = 0;
    // The time the application's timers run on.
    virtual IClock& Clock() const = 0;

    // Runs every message that is pending now (timers due, posts, deliveries) and returns.
    virtual void ProcessMessages() = 0;
    // Asks the application to end: the flag is set and every wait returns.
    virtual void Terminate() = 0;
    virtual bool Terminated() const = 0;

    // Runs fn on the UI thread and blocks the calling thread until it has run. On the UI thread
    // itself fn runs at once. An exception escaping fn is stored in error. Skipped (fn does not
    // run) when owner is being destroyed, or the application is shutting down.
    virtual Delivery RunOnUiThread(const DeliveryOwner* owner, const std::function<void()>& fn,
                                   std::exception_ptr& error) = 0;
    // Queues fn to run on the UI thread as a message, without waiting.
    virtual void Post(std::function<void()> fn) = 0;

    // Waits until the signal is set, a message arrives or timeoutMs (kInfinite: no limit) has
    // passed, without processing anything.
    virtual WaitResult WaitForSignalOrMessage(const Signal& signal, std::uint32_t timeoutMs) = 0;
};

// Why WaitPumping returned.
enum class PumpedWait { Signaled, TimedOut, Terminated, Stopped };

// Waits for the signal while serving messages: every message that arrives is processed and the
// time-out starts again. Returns Terminated as soon as the application has been told to end
// (when stopOnTerminate), Stopped when keepWaiting (checked after each message) says false.
PumpedWait WaitPumping(IUiThread& ui, const Signal& signal, std::uint32_t timeoutMs,
                       bool stopOnTerminate, const std::function<bool()>& keepWaiting = {});

}  // namespace pw::framework
