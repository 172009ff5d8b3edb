#pragma once
// Time as the headless back end sees it: the steady clock of the machine, or a virtual clock that
// tests advance by hand, so a 60-minute interval is tested in microseconds.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace pw::framework {

using Millis = std::int64_t;

class IClock {
  public:
    virtual ~IClock() = default;
    virtual Millis Now() const = 0;
    // When the clock reaches `at` in real time; nullopt for a clock that only moves when told
    // (waiters then wake through the listeners of Advance).
    virtual std::optional<std::chrono::steady_clock::time_point> RealTime(Millis at) const = 0;
    // Registers a function called after every move of a virtual clock; the returned id removes it.
    virtual std::uint64_t AddListener(std::function<void()> listener) = 0;
    virtual void RemoveListener(std::uint64_t id) = 0;
};

class SteadyClock final : public IClock {
  public:
    Millis Now() const override;
    std::optional<std::chrono::steady_clock::time_point> RealTime(Millis at) const override;
    std::uint64_t AddListener(std::function<void()>) override { return 0; }
    void RemoveListener(std::uint64_t) override {}

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Any thread may advance it; listeners run on the advancing thread, outside the clock's lock.
class VirtualClock final : public IClock {
  public:
    Millis Now() const override;
    std::optional<std::chrono::steady_clock::time_point> RealTime(Millis) const override {
        return std::nullopt;
    }
    std::uint64_t AddListener(std::function<void()> listener) override;
    void RemoveListener(std::uint64_t id) override;

    void Advance(Millis ms);

  private:
    std::mutex callMutex_;  // held while listeners run
    mutable std::mutex mutex_;
    Millis now_ = 0;
    std::vector<std::pair<std::uint64_t, std::function<void()>>> listeners_;
    std::uint64_t nextId_ = 1;
};

}  // namespace pw::framework
