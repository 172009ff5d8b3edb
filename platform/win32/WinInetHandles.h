#pragma once
// The WinInet handles of one session, closed exactly once whoever closes them: the session's
// thread when it lets an object go, a cancelling thread (the root, and with it every child) or
// a request's time limit (that request alone). WinInet closes a handle's children with it, so a
// child closed that way is never closed again.
//
// Threads: every member may be called from any thread.

#include <windows.h>
#include <wininet.h>

#include <map>
#include <mutex>

namespace pw::platform::win32 {

class WinInetHandles {
  public:
    explicit WinInetHandles(HINTERNET root) : root_(root) { open_.emplace(root, nullptr); }
    ~WinInetHandles() { Close(root_); }
    WinInetHandles(const WinInetHandles&) = delete;
    WinInetHandles& operator=(const WinInetHandles&) = delete;

    HINTERNET Root() const { return root_; }
    // Takes over a handle opened from parent.
    void Add(HINTERNET handle, HINTERNET parent);
    // Closes the handle and marks its descendants closed; nothing when it is closed already.
    void Close(HINTERNET handle);
    void CloseAll() { Close(root_); }
    bool IsOpen(HINTERNET handle) const;

  private:
    void Forget(HINTERNET handle);

    const HINTERNET root_;
    mutable std::mutex mutex_;
    std::map<HINTERNET, HINTERNET> open_;  // handle -> parent
};

}  // namespace pw::platform::win32
