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
// The job the current thread runs, on a call's thread (the thread holds it). Plain pointer: a
// thread_local with a destructor is not safe in threads that come and go under MinGW.
thread_local void* tJob = nullptr;
}  // namespace

struct WinInetSessionState::Worker {
    std::shared_ptr<Job> job;
    std::function<void()> call;
};

bool WinInetSessionState::Run(std::function<void()> call, const std::function<bool()>& stopped,
                              std::chrono::steady_clock::time_point recheck) {
    auto job = std::make_shared<Job>();
    job->session = this;
    caller_ = std::this_thread::get_id();
    {
        std::lock_guard lock(mutex_);
        auto worker = std::move(idle_);
        if (worker == nullptr) {
            // Threads start slowly under Wine (about 10 ms): a worker waits for the next call.
            worker = std::make_shared<Worker>();
            std::thread([self = shared_from_this(), worker] { self->Serve(worker); }).detach();
        }
        worker->job = job;
        worker->call = std::move(call);
    }
    changed_.notify_all();

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
        if (recheck == std::chrono::steady_clock::time_point::max()) {
            changed_.wait(lock);
        } else if (changed_.wait_until(lock, recheck) == std::cv_status::timeout) {
            recheck = std::chrono::steady_clock::time_point::max();
        }
    }
    caller_ = std::thread::id();
    return true;
}

// A worker's thread: runs the calls handed to it until it is left with a call that was given
// up on, another worker is idle, or no call comes for a while.
void WinInetSessionState::Serve(const std::shared_ptr<Worker>& worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!changed_.wait_for(lock, kWorkerIdle, [&] { return worker->call != nullptr; })) {
            if (idle_ == worker) idle_.reset();
            return;
        }
        auto call = std::move(worker->call);
        worker->call = nullptr;
        const auto job = worker->job;
        lock.unlock();
        tJob = job.get();
        call();
        tJob = nullptr;
        call = nullptr;
        lock.lock();
        job->done = true;
        changed_.notify_all();
        worker->job.reset();
        if (job->abandoned || idle_ != nullptr) return;
        idle_ = worker;
    }
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
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
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
