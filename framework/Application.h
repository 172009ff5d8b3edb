#pragma once
// The application object and its message loop, as the components need them.
//
// Threads: everything here is for the UI thread (the thread that created the application),
// except RunOnUiThread, Post, Terminate, Terminated and IsUiThread, which any thread may call.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/Clock.h"
#include "framework/Dialogs.h"
#include "framework/Form.h"
#include "framework/Signal.h"
#include "framework/Timer.h"

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

class IApplication {
  public:
    virtual ~IApplication() = default;

    virtual bool IsUiThread() const = 0;
    // The time the application's timers run on; any thread may read it.
    virtual IClock& Clock() const = 0;

    // Runs every message that is pending now (timers due, posts, deliveries) and returns.
    virtual void ProcessMessages() = 0;
    // Runs the message loop until Terminate.
    virtual void Run() = 0;
    // Asks the application to end: the flag is set and every wait returns.
    virtual void Terminate() = 0;
    virtual bool Terminated() const = 0;

    virtual void SetTitle(std::string_view title) = 0;
    virtual std::string Title() const = 0;
    virtual void Minimize() = 0;
    // When minimised, shows the application's windows again and activates them; else nothing.
    virtual void Restore() = 0;
    virtual bool IsMinimized() const = 0;
    // Shows the hourglass while busy is true; calls nest, each true ended by one false.
    virtual void SetBusyCursor(bool busy) = 0;

    virtual std::unique_ptr<ITimer> CreateTimer() = 0;
    // The first form created becomes the main form; closing it terminates the application.
    virtual std::unique_ptr<IForm> CreateForm() = 0;
    virtual IForm* MainForm() const = 0;
    virtual std::unique_ptr<IOpenDialog> CreateOpenDialog() = 0;

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

    // A modal message box; returns the button chosen.
    virtual DialogResult MessageBox(std::string_view text, std::string_view caption,
                                    std::uint32_t flags) = 0;
    // The standard error box: shows an exception's message; the program goes on.
    virtual void ShowException(std::string_view message) = 0;
};

// Why WaitPumping returned.
enum class PumpedWait { Signaled, TimedOut, Terminated, Stopped };

// Waits for the signal while serving messages: every message that arrives is processed and the
// time-out starts again. Returns Terminated as soon as the application has been told to end
// (when stopOnTerminate), Stopped when keepWaiting (checked after each message) says false.
PumpedWait WaitPumping(IApplication& app, const Signal& signal, std::uint32_t timeoutMs,
                       bool stopOnTerminate, const std::function<bool()>& keepWaiting = {});

}  // namespace pw::framework
