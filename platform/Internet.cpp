#include "platform/Internet.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace pw::platform {

struct InternetCancel::Shared {
    std::mutex mutex;
    std::map<std::uint64_t, std::function<void()>> wakers;
    std::uint64_t nextId = 0;
};

InternetCancel::InternetCancel() : shared_(std::make_shared<Shared>()) {}

InternetCancel::~InternetCancel() = default;

void InternetCancel::Cancel() {
    // The flag first: a session that checks it after its waker ran must see it set.
    cancelled_.store(true, std::memory_order_release);
    std::lock_guard lock(shared_->mutex);
    for (auto& [id, waker] : shared_->wakers)
        waker();
}

std::unique_ptr<InternetCancel::WakerGuard> InternetCancel::AddWaker(std::function<void()> waker) {
    std::lock_guard lock(shared_->mutex);
    const std::uint64_t id = shared_->nextId++;
    shared_->wakers.emplace(id, std::move(waker));
    return std::make_unique<WakerGuard>(shared_, id);
}

InternetCancel::WakerGuard::WakerGuard(std::shared_ptr<InternetCancel::Shared> shared,
                                       std::uint64_t id)
    : shared_(std::move(shared)), id_(id) {}

InternetCancel::WakerGuard::~WakerGuard() {
    // Under the lock: once this returns, the waker is not running and never runs again, so its
    // owner may free what it wakes.
    std::lock_guard lock(shared_->mutex);
    shared_->wakers.erase(id_);
}

namespace inet {

bool HasNul(std::string_view s) {
    return s.find('\0') != std::string_view::npos;
}

bool IsHeaderText(std::string_view s) {
    return std::none_of(s.begin(), s.end(),
                        [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; });
}

bool IsToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return c > 0x20 && c < 0x7F && std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
    });
}

std::optional<std::vector<std::string>> HeaderLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)) ||
            !IsHeaderText(line)) {
            return std::nullopt;
        }
        lines.emplace_back(line);
    }
    return lines;
}

std::string RequestTarget(std::string_view object) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (object.empty() || object.front() != '/') out += '/';
    for (unsigned char c : object) {
        if (c <= 0x20 || c >= 0x7F || c == '#') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace inet

}  // namespace pw::platform
