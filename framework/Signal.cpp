#include "framework/Signal.h"

#include <algorithm>

namespace pw::framework {

void Signal::Set() {
    set_.store(true, std::memory_order_release);
    std::lock_guard lock(mutex_);
    for (auto& [id, waker] : wakers_)
        waker();
}

Signal::WakerGuard Signal::AddWaker(std::function<void()> waker) const {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = nextId_++;
    wakers_.emplace_back(id, std::move(waker));
    return WakerGuard(*this, id);
}

Signal::WakerGuard::~WakerGuard() {
    if (!signal_) return;
    std::lock_guard lock(signal_->mutex_);
    auto& w = signal_->wakers_;
    w.erase(std::remove_if(w.begin(), w.end(), [this](const auto& e) { return e.first == id_; }),
            w.end());
}

}  // namespace pw::framework
