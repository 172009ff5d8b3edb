#pragma once
// A millisecond timer of the UI thread. It ticks only while the UI thread serves messages; ticks
// that fall due while it is busy are merged into one. Setting the interval or enabling restarts
// the period; an interval of 0 never ticks. Create, change and destroy it on the UI thread.

#include <cstdint>
#include <functional>

namespace pw::framework {

class ITimer {
  public:
    virtual ~ITimer() = default;

    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(std::uint32_t ms) = 0;
    virtual std::uint32_t Interval() const = 0;

    // Runs on the UI thread at every tick.
    std::function<void()> OnTimer;
};

}  // namespace pw::framework
