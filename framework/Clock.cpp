#include "framework/Clock.h"

#include <algorithm>

namespace pw::framework {

Millis SteadyClock::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

std::optional<std::chrono::steady_clock::time_point> SteadyClock::RealTime(Millis at) const {
    return start_ + std::chrono::milliseconds(at);
}

Millis VirtualClock::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::uint64_t VirtualClock::AddListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listeners_.emplace_back(nextId_, std::move(listener));
    return nextId_++;
}

void VirtualClock::RemoveListener(std::uint64_t id) {
    std::lock_guard calling(callMutex_);  // waits for a running Advance: no call after removal
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void VirtualClock::Advance(Millis ms) {
    std::lock_guard calling(callMutex_);
    std::vector<std::function<void()>> toCall;
    {
        std::lock_guard lock(mutex_);
        now_ += std::max<Millis>(ms, 0);
        for (const auto& l : listeners_)
            toCall.push_back(l.second);
    }
    for (const auto& f : toCall)
        f();
}

}  // namespace pw::framework
