#include "platform/win32/WinInetHandles.h"

#include <vector>

namespace pw::platform::win32 {

void WinInetHandles::Add(HINTERNET handle, HINTERNET parent) {
    std::lock_guard lock(mutex_);
    if (open_.contains(parent)) {
        open_.emplace(handle, parent);
        return;
    }
    // The parent went while the child was being opened: the child is orphaned, close it now.
    InternetCloseHandle(handle);
}

void WinInetHandles::Close(HINTERNET handle) {
    std::lock_guard lock(mutex_);
    if (!open_.contains(handle)) return;
    Forget(handle);
    // Under the lock, so that nobody sees the handle open once it is closing. A call blocked on
    // it (or on a child) in another thread fails as the handle goes.
    InternetCloseHandle(handle);
}

bool WinInetHandles::IsOpen(HINTERNET handle) const {
    std::lock_guard lock(mutex_);
    return open_.contains(handle);
}

void WinInetHandles::Forget(HINTERNET handle) {
    open_.erase(handle);
    std::vector<HINTERNET> children;
    for (const auto& [child, parent] : open_)
        if (parent == handle) children.push_back(child);
    for (HINTERNET child : children)
        Forget(child);
}

}  // namespace pw::platform::win32
