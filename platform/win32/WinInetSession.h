#pragma once
// What a WinInet session shares with everything opened from it: its handles, its stop request,
// its status callback (WinInet calls it with this object as the context value) and the way its
// blocking calls run.
//
// A blocking WinInet call (a send, a read) runs on a worker thread while the session's
// thread waits for it, for a stop, or for the request's time limit. On Windows, closing the
// handles makes the blocked call fail; Wine's WinInet does not wake a blocked receive that way,
// so the waiting thread leaves the call to end alone (its buffers are its own) and returns at
// once. WinInet's notifications from that thread are handed to the waiting thread and run there
// before WinInet goes on, so the callback runs on the session's thread, in order.
//
// Threads: the session's thread calls Run; Wake from any thread; WinInet calls StatusCallback
// on the call's thread or on a thread that closes a handle (such notices are dropped).

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Internet.h"
#include "platform/win32/WinInetErrors.h"
#include "platform/win32/WinInetHandles.h"

namespace pw::platform::win32 {

class WinInetSessionState : public std::enable_shared_from_this<WinInetSessionState> {
  public:
    InternetOpenParams params;
    std::shared_ptr<InternetCancel> cancel;
    InternetStatusCallback callback;
    std::shared_ptr<WinInetHandles> handles;
    // Where the current send is, from WinInet's notifications, to tell its time-outs apart.
    std::atomic<Phase> phase{Phase::Connecting};
    // Redirects followed in the current send.
    int redirects = 0;

    bool Cancelled() const { return cancel && cancel->Cancelled(); }
    DWORD_PTR Context() { return reinterpret_cast<DWORD_PTR>(this); }

    // Runs call on a thread of its own and waits until it has run (true) or stopped() holds
    // (false: the call goes on alone). stopped is checked whenever Wake is called, and once at
    // recheck.
    bool Run(std::function<void()> call, const std::function<bool()>& stopped,
             std::chrono::steady_clock::time_point recheck =
                 std::chrono::steady_clock::time_point::max());
    // Makes a waiting Run check its stop condition again.
    void Wake();

    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD length);

  private:
    struct Job;
    struct Worker;
    // How long a worker thread waits for the next call before it ends.
    static constexpr std::chrono::seconds kWorkerIdle{2};

    void Serve(const std::shared_ptr<Worker>& worker);
    void Notify(DWORD status, std::string_view info);
    void Hand(Job& job, std::function<void()> notice);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<std::thread::id> caller_;
    std::shared_ptr<Worker> idle_;  // a worker waiting for a call
};

}  // namespace pw::platform::win32
