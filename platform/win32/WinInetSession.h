#pragma once
// What a WinInet session shares with everything opened from it: its handles, its stop request
// and its status callback, which WinInet calls with this object as the context value.
//
// Threads: the session's thread uses it; WinInet may call Notify on a thread that closes a
// handle (a cancel, a time limit), and such calls are dropped so the callback stays on the
// session's thread.

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/Internet.h"
#include "platform/win32/WinInetErrors.h"
#include "platform/win32/WinInetHandles.h"

namespace pw::platform::win32 {

struct WinInetSessionState {
    InternetOpenParams params;
    std::shared_ptr<InternetCancel> cancel;
    InternetStatusCallback callback;
    std::shared_ptr<WinInetHandles> handles;
    // The thread inside one of this session's calls; WinInet's notifications on it are passed on.
    std::atomic<std::thread::id> caller;
    // Where the current Send is, from WinInet's notifications, to tell its time-outs apart.
    Phase phase = Phase::Connecting;

    bool Cancelled() const { return cancel && cancel->Cancelled(); }
    DWORD_PTR Context() { return reinterpret_cast<DWORD_PTR>(this); }

    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD length);
};

// Marks the calling thread as the session's for the length of one call.
class SessionCall {
  public:
    explicit SessionCall(WinInetSessionState& session) : session_(session) {
        session_.caller = std::this_thread::get_id();
    }
    ~SessionCall() { session_.caller = std::thread::id(); }
    SessionCall(const SessionCall&) = delete;
    SessionCall& operator=(const SessionCall&) = delete;

  private:
    WinInetSessionState& session_;
};

}  // namespace pw::platform::win32
