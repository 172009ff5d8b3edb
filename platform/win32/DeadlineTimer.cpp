#include "platform/win32/DeadlineTimer.h"

#include <utility>

namespace pw::platform::win32 {

void DeadlineTimer::Start(std::chrono::milliseconds after, std::function<void()> action) {
    Stop();
    const auto deadline = std::chrono::steady_clock::now() + after;
    stop_ = false;
    thread_ = std::thread([this, deadline, action = std::move(action)] {
        std::unique_lock lock(mutex_);
        if (wake_.wait_until(lock, deadline, [this] { return stop_; })) return;
        action();
    });
}

void DeadlineTimer::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

}  // namespace pw::platform::win32
