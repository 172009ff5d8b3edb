#include "platform/win32/WinInetSession.h"

#include <cstring>
#include <string>
#include <utility>

namespace pw::platform::win32 {

struct WinInetSessionState::Job {
    WinInetSessionState* session = nullptr;
    bool done = false;
    bool abandoned = false;
    std::function<void()> notice;  // handed over by the call's thread, run by the waiting one
    bool noticeRun = false;
};

namespace {
// The job the current thread runs, on a call's thread.
thread_local std::shared_ptr<void> tJobKeep;
thread_local void* tJob = nullptr;
}  // namespace

bool WinInetSessionState::Run(std::function<void()> call, const std::function<bool()>& stopped) {
    auto job = std::make_shared<Job>();
    job->session = this;
    caller_ = std::this_thread::get_id();
    // The thread keeps this state alive: WinInet may call back into it until the call ends.
    std::thread([self = shared_from_this(), job, call = std::move(call)] {
        tJobKeep = job;
        tJob = job.get();
        call();
        tJob = nullptr;
        tJobKeep.reset();
        {
            std::lock_guard lock(self->mutex_);
            job->done = true;
        }
        self->changed_.notify_all();
    }).detach();

    std::unique_lock lock(mutex_);
    for (;;) {
        if (job->notice) {
            auto notice = std::move(job->notice);
            job->notice = nullptr;
            lock.unlock();
            notice();
            lock.lock();
            job->noticeRun = true;
            changed_.notify_all();
            continue;
        }
        if (job->done) break;
        if (stopped()) {
            job->abandoned = true;
            changed_.notify_all();
            caller_ = std::thread::id();
            return false;
        }
        changed_.wait(lock);
    }
    caller_ = std::thread::id();
    return true;
}

void WinInetSessionState::Wake() {
    { std::lock_guard lock(mutex_); }  // a waiter between its check and its wait sees the change
    changed_.notify_all();
}

void WinInetSessionState::Hand(Job& job, std::function<void()> notice) {
    std::unique_lock lock(mutex_);
    if (job.abandoned) return;
    job.notice = std::move(notice);
    job.noticeRun = false;
    changed_.notify_all();
    changed_.wait(lock, [&] { return job.noticeRun || job.abandoned; });
}

void WinInetSessionState::Notify(DWORD status, std::string_view info) {
    switch (status) {
        case INTERNET_STATUS_CONNECTING_TO_SERVER:
            phase = Phase::Connecting;
            break;
        case INTERNET_STATUS_SENDING_REQUEST:
        case INTERNET_STATUS_REDIRECT:
            phase = Phase::Sending;
            break;
        case INTERNET_STATUS_REQUEST_SENT:
        case INTERNET_STATUS_RECEIVING_RESPONSE:
            phase = Phase::Receiving;
            break;
        default:
            break;
    }
    if (status == INTERNET_STATUS_REDIRECT) ++redirects;
    if (!callback) return;
    // Nothing may unwind through WinInet.
    try {
        callback(status, info);
    } catch (...) {
    }
}

void CALLBACK WinInetSessionState::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status,
                                                  LPVOID info, DWORD length) {
    auto* session = reinterpret_cast<WinInetSessionState*>(context);
    if (session == nullptr) return;
    std::string text;
    if (status == INTERNET_STATUS_REDIRECT && info != nullptr) {
        const auto* url = static_cast<const char*>(info);
        text.assign(url, length != 0 ? strnlen(url, length) : std::strlen(url));
    }
    if (session->caller_.load() == std::this_thread::get_id()) {
        session->Notify(status, text);
        return;
    }
    auto* job = static_cast<Job*>(tJob);
    // A notice of a thread that only closes a handle (a stop, a time limit) is dropped.
    if (job == nullptr || job->session != session) return;
    session->Hand(*job,
                  [session, status, text = std::move(text)] { session->Notify(status, text); });
}

}  // namespace pw::platform::win32
