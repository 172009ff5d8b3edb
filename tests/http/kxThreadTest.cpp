// The worker of the HTTP component on real threads and the headless message loop: which thread
// runs what, waits that keep serving messages, abandoned runs, exceptions and destruction.

#include "http/kxThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "platform/Threads.h"

namespace pw::http {
namespace {

using framework::DeliveryOwner;
using framework::HeadlessApplication;
using framework::VirtualClock;
using platform::CurrentThreadId;
using platform::ThreadId;
using Strings = std::vector<std::string>;

// Fails the whole run instead of letting a deadlock hang it.
class Watchdog {
  public:
    ~Watchdog() {
        done_.set_value();
        thread_.join();
    }

  private:
    std::promise<void> done_;
    std::thread thread_{[done = done_.get_future()] {
        if (done.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
            std::fputs("kxThreadTest: a test hung\n", stderr);
            std::abort();
        }
    }};
};

// A one-shot gate on a mutex and a condition variable. std::latch waits through libstdc++'s
// atomic wait, which GCC 12 builds on Windows (no platform wait) can leave asleep for good.
class Gate {
  public:
    void count_down() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

class KxThread : public ::testing::Test {
  protected:
    Watchdog watchdog;
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    HeadlessApplication app{clock};
    DeliveryOwner component;
    std::unique_ptr<TkxCustomThread> thread = std::make_unique<TkxCustomThread>(app, component);
    const ThreadId uiThread = CurrentThreadId();
    // Held workers wait here; the test lets them go.
    Gate gate;

    template <typename Pred>
    void PumpUntil(Pred done) {
        while (!done()) {
            app.ProcessMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // From another thread: once the worker is in its work, lets the UI thread's wait run out in
    // virtual time.
    std::thread ExpireWaitOf(std::int32_t timeoutMs, Gate& workEntered) {
        return std::thread([this, timeoutMs, &workEntered] {
            workEntered.wait();
            app.WaitUntilIdle();
            clock->Advance(timeoutMs);
        });
    }
};

TEST_F(KxThread, EachRunWorksOnAFreshThreadAndFinishesOnTheUiThreadBeforeAWaitEnds) {
    std::vector<ThreadId> workers, finishers;
    thread->SetOnExecute([&](TkxEventThread& run) {
        workers.push_back(CurrentThreadId());
        EXPECT_EQ(&run.Owner(), thread.get());
    });
    thread->SetOnFinish([&](TkxEventThread&) { finishers.push_back(CurrentThreadId()); });
    thread->SetWaitThread(true);

    EXPECT_TRUE(thread->Suspended());
    ASSERT_TRUE(thread->Run());
    ASSERT_EQ(finishers.size(), 1u);  // the wait lasted until the finish had run
    ASSERT_TRUE(thread->Run());

    ASSERT_EQ(workers.size(), 2u);
    EXPECT_NE(workers[0], uiThread);
    EXPECT_NE(workers[0], workers[1]);
    EXPECT_EQ(finishers, (std::vector<ThreadId>{uiThread, uiThread}));
    EXPECT_FALSE(thread->IsRunning());
}

TEST_F(KxThread, WithoutWaitRunReturnsAtOnceAndTheFinishArrivesThroughTheMessageLoop) {
    bool finished = false;
    thread->SetOnExecute([&](TkxEventThread&) { gate.wait(); });
    thread->SetOnFinish([&](TkxEventThread&) { finished = true; });

    EXPECT_TRUE(thread->Run());  // would hang here if it waited for the held worker
    EXPECT_FALSE(finished);
    gate.count_down();
    PumpUntil([&] { return finished; });
}

TEST_F(KxThread, AWaitServesMessagesAndEveryMessageStartsTheTimeOutAgain) {
    int posts = 0;
    bool finished = false, timedOut = false;
    thread->SetOnExecute([&](TkxEventThread&) { gate.wait(); });
    thread->SetOnFinish([&](TkxEventThread&) { finished = true; });
    thread->OnWaitTimeoutExpired = [&](TkxCustomThread&, bool&) { timedOut = true; };
    thread->SetWaitThread(true);
    thread->SetWaitTimeout(1000);

    // 2,400 ms pass in all, but never 1,000 without a message.
    std::thread helper([&] {
        for (int i = 0; i < 4; ++i) {
            app.WaitUntilIdle();
            clock->Advance(600);
            app.Post([&] { ++posts; });
        }
        app.WaitUntilIdle();
        gate.count_down();
    });
    EXPECT_TRUE(thread->Run());
    helper.join();
    EXPECT_EQ(posts, 4);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(timedOut);
}

TEST_F(KxThread, ATimedOutWaitStopsTheRunWhichDeliversNothingMoreAndTheNextRunStartsAtOnce) {
    Gate entered;
    std::atomic<int> runs = 0;
    int finishes = 0, timeouts = 0;
    bool delivered = false, sawAbandoned = false;
    TkxEventThread* first = nullptr;
    thread->SetOnExecute([&](TkxEventThread& run) {
        if (++runs > 1) return;
        first = &run;
        entered.count_down();
        gate.wait();
        sawAbandoned = run.Abandoned() && run.Terminated();
        run.Synchronize([&] { delivered = true; });
    });
    thread->SetOnFinish([&](TkxEventThread&) { ++finishes; });
    thread->OnWaitTimeoutExpired = [&](TkxCustomThread& sender, bool& terminate) {
        EXPECT_EQ(&sender, thread.get());
        EXPECT_TRUE(terminate);
        ++timeouts;
    };
    thread->SetWaitThread(true);
    thread->SetWaitTimeout(1000);

    std::thread expire = ExpireWaitOf(1000, entered);
    EXPECT_FALSE(thread->Run());
    expire.join();
    EXPECT_EQ(timeouts, 1);
    EXPECT_TRUE(thread->Suspended());  // a fresh worker is in place

    // The stopped worker is still held; the next run does not wait for it.
    EXPECT_TRUE(thread->Run());
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(finishes, 1);

    gate.count_down();
    first->WaitFor();
    EXPECT_TRUE(sawAbandoned);
    EXPECT_FALSE(delivered);
    EXPECT_EQ(finishes, 1);
}

TEST_F(KxThread, ATimedOutWaitToldToGoOnReturnsTrueAndTheFinishStillArrives) {
    Gate entered;
    bool finished = false;
    thread->SetOnExecute([&](TkxEventThread&) {
        entered.count_down();
        gate.wait();
    });
    thread->SetOnFinish([&](TkxEventThread&) { finished = true; });
    thread->OnWaitTimeoutExpired = [](TkxCustomThread&, bool& terminate) { terminate = false; };
    thread->SetWaitThread(true);
    thread->SetWaitTimeout(500);

    std::thread expire = ExpireWaitOf(500, entered);
    EXPECT_TRUE(thread->Run());
    expire.join();
    EXPECT_FALSE(finished);
    gate.count_down();
    PumpUntil([&] { return finished; });
}

TEST_F(KxThread, ExceptionsOfTheWorkAndOfTheFinishReachOnExceptionOnTheUiThread) {
    Strings log;
    bool failWork = true;
    thread->SetOnExecute([&](TkxEventThread&) {
        if (failWork) throw std::runtime_error("work");
    });
    thread->SetOnFinish([&](TkxEventThread&) {
        log.push_back("finish");
        if (!failWork) throw std::runtime_error("finish");
    });
    thread->SetOnException([&] { log.push_back(CurrentThreadId() == uiThread ? "ui" : "worker"); });
    thread->SetWaitThread(true);

    EXPECT_TRUE(thread->Run());
    failWork = false;
    EXPECT_TRUE(thread->Run());
    EXPECT_EQ(log, (Strings{"ui", "finish", "finish", "ui"}));
    EXPECT_TRUE(app.Dialogs().empty());  // nothing reached the standard error box
}

TEST_F(KxThread, ASynchronizedExceptionIsDiscardedOrRaisedOnTheWorkerAsHandleExceptionsSays) {
    Strings log;
    thread->SetOnExecute([&](TkxEventThread& run) {
        try {
            run.Synchronize([] { throw std::runtime_error("handler"); });
            log.push_back("went on");
        } catch (const std::runtime_error& e) {
            log.push_back(std::string("raised ") + e.what());
            throw;  // escapes the work: without HandleExceptions the run just ends
        }
    });
    thread->SetOnFinish([&](TkxEventThread&) { log.push_back("finish"); });
    thread->SetWaitThread(true);

    EXPECT_TRUE(thread->Run());
    thread->HandleExceptions = false;
    EXPECT_TRUE(thread->Run());
    EXPECT_EQ(log, (Strings{"went on", "finish", "raised handler"}));
    EXPECT_FALSE(thread->IsRunning());
}

TEST_F(KxThread, NothingIsDeliveredOnceTheComponentIsBeingDestroyed) {
    bool delivered = false, finished = false;
    thread->SetOnExecute([&](TkxEventThread& run) {
        gate.wait();
        run.Synchronize([&] { delivered = true; });
    });
    thread->SetOnFinish([&](TkxEventThread&) { finished = true; });

    EXPECT_TRUE(thread->Run());
    component.BeginDestroy();
    gate.count_down();
    thread->EventThread().WaitFor();
    EXPECT_FALSE(delivered);
    EXPECT_FALSE(finished);
}

TEST_F(KxThread, DestroyingTheComponentRunsNothingNewAndDoesNotWaitOnABlockedDelivery) {
    bool executed = false;
    thread->SetOnExecute([&](TkxEventThread&) { executed = true; });
    thread.reset();
    EXPECT_FALSE(executed);  // never run: the suspended worker ends without working

    bool delivered = false, finished = false;
    thread = std::make_unique<TkxCustomThread>(app, component);
    thread->SetOnExecute([&](TkxEventThread& run) { run.Synchronize([&] { delivered = true; }); });
    thread->SetOnFinish([&](TkxEventThread&) { finished = true; });
    EXPECT_TRUE(thread->Run());
    while (app.PendingDeliveries() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    thread.reset();  // the queued delivery is skipped, so the worker can end
    EXPECT_FALSE(delivered);
    EXPECT_FALSE(finished);
}

TEST_F(KxThread, ARunStartedFromTheFinishOfTheLastRunReplacesItWithoutDeadlock) {
    std::vector<const TkxEventThread*> finishedRuns;
    thread->SetOnFinish([&](TkxEventThread& run) {
        finishedRuns.push_back(&run);
        if (finishedRuns.size() != 1) return;
        // The finishing run is blocked in this delivery: the new run must not wait for it.
        EXPECT_TRUE(thread->Run());
        EXPECT_TRUE(run.Abandoned());
    });
    thread->SetWaitThread(true);

    EXPECT_TRUE(thread->Run());
    ASSERT_EQ(finishedRuns.size(), 2u);
    EXPECT_NE(finishedRuns[0], finishedRuns[1]);
    EXPECT_TRUE(thread->Run());
    EXPECT_EQ(finishedRuns.size(), 3u);
}

TEST(KxThreadPriority, TheTableMapsBothWaysAndUnknownValuesReadAsNormal) {
    for (TThreadPriority p :
         {tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical})
        EXPECT_EQ(ThreadPriorityFromOs(ThreadPriorityToOs(p)), p);
    EXPECT_EQ(ThreadPriorityToOs(tpLower), -1);
    EXPECT_EQ(ThreadPriorityToOs(tpIdle), -15);
    EXPECT_EQ(ThreadPriorityToOs(tpTimeCritical), 15);
    for (int value : {3, -3, 16, 7})
        EXPECT_EQ(ThreadPriorityFromOs(value), tpNormal) << value;
}

TEST_F(KxThread, APriorityIsTheWorkersOwnAppliedAtStartAndWhileRunning) {
    const auto uiPriority = platform::ThreadPriorityValue(uiThread);
    std::vector<int> seen;
    thread->SetOnExecute([&](TkxEventThread&) {
        seen.push_back(platform::ThreadPriorityValue(CurrentThreadId()).value_or(99));
        gate.wait();
        seen.push_back(platform::ThreadPriorityValue(CurrentThreadId()).value_or(99));
    });
    thread->SetPriority(tpLower);  // asked for before the OS thread exists
    EXPECT_EQ(thread->Priority(), tpLower);

    EXPECT_TRUE(thread->Run());
    PumpUntil([&] { return thread->IsRunning(); });
    EXPECT_EQ(thread->Priority(), tpLower);  // read back from the OS
    thread->SetPriority(tpLowest);           // lowering needs no privilege
    EXPECT_EQ(thread->Priority(), tpLowest);
    gate.count_down();
    thread->EventThread().WaitFor();
    EXPECT_EQ(seen, (std::vector<int>{-1, -2}));
    EXPECT_EQ(platform::ThreadPriorityValue(uiThread), uiPriority);  // only the worker changed

    seen.clear();  // the next run's fresh thread gets the same priority
    thread->SetWaitThread(true);
    EXPECT_TRUE(thread->Run());
    EXPECT_EQ(seen, (std::vector<int>{-2, -2}));
}

}  // namespace
}  // namespace pw::http
