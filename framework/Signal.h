#pragma once
// A manual-reset signal that a worker sets and the UI thread waits on while it keeps serving
// messages. Any thread may Set, Reset or look; waiters register a waker for the time they wait.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace pw::framework {

class Signal {
  public:
    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    void Set();
    void Reset() { set_.store(false, std::memory_order_release); }
    bool IsSet() const { return set_.load(std::memory_order_acquire); }

    // Registers a function that Set calls (on the setting thread) until the returned guard ends.
    // The waker must be cheap and must not call back into this signal.
    class WakerGuard {
      public:
        WakerGuard(const Signal& signal, std::uint64_t id) : signal_(&signal), id_(id) {}
        WakerGuard(WakerGuard&& other) noexcept : signal_(other.signal_), id_(other.id_) {
            other.signal_ = nullptr;
        }
        WakerGuard(const WakerGuard&) = delete;
        WakerGuard& operator=(const WakerGuard&) = delete;
        WakerGuard& operator=(WakerGuard&&) = delete;
        ~WakerGuard();

      private:
        const Signal* signal_;
        std::uint64_t id_;
    };
    [[nodiscard]] WakerGuard AddWaker(std::function<void()> waker) const;

  private:
    std::atomic<bool> set_{false};
    // Wakers run under this mutex, so a guard's end waits for a running Set: no late call.
    mutable std::mutex mutex_;
    mutable std::vector<std::pair<std::uint64_t, std::function<void()>>> wakers_;
    mutable std::uint64_t nextId_ = 1;
};

}  // namespace pw::framework
