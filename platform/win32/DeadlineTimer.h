#pragma once
// Runs an action once, on a thread of its own, when a time has passed, unless stopped first.
//
// Threads: Start and Stop from the owner's thread; the action runs on the timer's thread.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace pw::platform::win32 {

class DeadlineTimer {
  public:
    DeadlineTimer() = default;
    ~DeadlineTimer() { Stop(); }
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;

    // Replaces any running timer.
    void Start(std::chrono::milliseconds after, std::function<void()> action);
    // Once this returns, the action is not running and never runs.
    void Stop();

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace pw::platform::win32
