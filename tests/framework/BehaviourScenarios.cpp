#include "tests/framework/BehaviourScenarios.h"

#include <stdexcept>
#include <thread>

namespace pw::test {
namespace {

using framework::Delivery;
using framework::DeliveryOwner;
using framework::IApplication;
using framework::kInfinite;
using framework::PumpedWait;
using framework::Signal;
using framework::WaitPumping;

// Safety limit for waits that must end through their signal: virtual time never reaches it, and
// in real time it only stops a broken back end from hanging the run.
constexpr std::uint32_t kSafety = 20000;

// A worker thread that is always joined, also when a requirement fails.
class Worker {
  public:
    template <typename F>
    explicit Worker(F&& f) : thread_(std::forward<F>(f)) {}
    ~Worker() {
        if (thread_.joinable()) thread_.join();
    }
    void Join() { thread_.join(); }

  private:
    std::thread thread_;
};

void DeliveryRunsOnUiThreadWhileItWaits(BackendHarness& h) {
    IApplication& app = h.App();
    const auto ui = std::this_thread::get_id();
    Signal done;
    std::thread::id ranOn;
    Delivery result = Delivery::Skipped;
    std::exception_ptr error;
    Worker worker([&] {
        result = app.RunOnUiThread(
            nullptr, [&] { ranOn = std::this_thread::get_id(); }, error);
        done.Set();
    });
    PW_REQUIRE(WaitPumping(app, done, kSafety, false) == PumpedWait::Signaled);
    worker.Join();
    PW_REQUIRE(result == Delivery::Delivered);
    PW_REQUIRE(ranOn == ui);
    PW_REQUIRE(!error);
}

void DeliveryHandsTheExceptionBack(BackendHarness& h) {
    IApplication& app = h.App();
    Signal done;
    std::exception_ptr error;
    Worker worker([&] {
        app.RunOnUiThread(
            nullptr, [] { throw std::runtime_error("handler failed"); }, error);
        done.Set();
    });
    PW_REQUIRE(WaitPumping(app, done, kSafety, false) == PumpedWait::Signaled);
    worker.Join();
    PW_REQUIRE(error != nullptr);
    try {
        std::rethrow_exception(error);
    } catch (const std::runtime_error& e) {
        PW_REQUIRE_EQ(std::string(e.what()), std::string("handler failed"));
    }
}

// Two workers deliver into one unguarded counter at the same time: the count is right, and the
// thread sanitizer silent, only if every delivery runs on the UI thread.
void DeliveriesFromTwoWorkersAreSerialised(BackendHarness& h) {
    IApplication& app = h.App();
    int counter = 0;
    Signal doneA, doneB;
    auto body = [&](Signal& done) {
        std::exception_ptr error;
        for (int i = 0; i < 200; ++i)
            app.RunOnUiThread(
                nullptr, [&] { ++counter; }, error);
        done.Set();
    };
    Worker a([&] { body(doneA); });
    Worker b([&] { body(doneB); });
    PW_REQUIRE(WaitPumping(app, doneA, kSafety, false) == PumpedWait::Signaled);
    PW_REQUIRE(WaitPumping(app, doneB, kSafety, false) == PumpedWait::Signaled);
    PW_REQUIRE_EQ(counter, 400);
}

void DeliveryToAnOwnerBeingDestroyedIsSkipped(BackendHarness& h) {
    IApplication& app = h.App();
    DeliveryOwner owner;
    Signal done;
    bool firstRan = false, secondRan = false;
    Delivery first = Delivery::Skipped, second = Delivery::Delivered;
    Worker worker([&] {
        std::exception_ptr error;
        // The first handler starts the owner's destruction; the next delivery must not run.
        first = app.RunOnUiThread(
            &owner, [&] { firstRan = true, owner.BeginDestroy(); }, error);
        second = app.RunOnUiThread(
            &owner, [&] { secondRan = true; }, error);
        done.Set();
    });
    PW_REQUIRE(WaitPumping(app, done, kSafety, false) == PumpedWait::Signaled);
    worker.Join();
    PW_REQUIRE(first == Delivery::Delivered && firstRan);
    PW_REQUIRE(second == Delivery::Skipped);
    PW_REQUIRE(!secondRan);
}

void DeliveryFromTheUiThreadRunsAtOnce(BackendHarness& h) {
    bool ran = false;
    std::exception_ptr error;
    PW_REQUIRE(h.App().RunOnUiThread(
                   nullptr, [&] { ran = true; }, error) == Delivery::Delivered);
    PW_REQUIRE(ran);
}

void PostsRunInOrderOnTheUiThread(BackendHarness& h) {
    IApplication& app = h.App();
    const auto ui = std::this_thread::get_id();
    std::vector<int> seen;
    bool allOnUi = true;
    Signal done;
    Worker worker([&] {
        for (int i = 1; i <= 5; ++i)
            app.Post([&, i] {
                seen.push_back(i);
                allOnUi = allOnUi && std::this_thread::get_id() == ui;
            });
        app.Post([&] { done.Set(); });
    });
    PW_REQUIRE(WaitPumping(app, done, kSafety, false) == PumpedWait::Signaled);
    worker.Join();
    PW_REQUIRE((seen == std::vector<int>{1, 2, 3, 4, 5}));
    PW_REQUIRE(allOnUi);
}

void TimersTickOnlyWhileEnabled(BackendHarness& h) {
    IApplication& app = h.App();
    auto timer = app.CreateTimer();
    int ticks = 0;
    timer->OnTimer = [&] { ++ticks; };
    timer->SetEnabled(false);
    timer->SetInterval(100);
    h.Elapse(350);
    PW_REQUIRE_EQ(ticks, 0);

    timer->SetEnabled(true);
    h.Elapse(350);
    if (h.ExactTime())
        PW_REQUIRE_EQ(ticks, 3);
    else
        PW_REQUIRE(ticks >= 1);

    timer->SetEnabled(false);
    const int stopped = ticks;
    h.Elapse(300);
    PW_REQUIRE_EQ(ticks, stopped);

    timer->SetInterval(0);  // an interval of 0 never ticks, enabled or not
    timer->SetEnabled(true);
    h.Elapse(300);
    PW_REQUIRE_EQ(ticks, stopped);
}

void ANewIntervalRestartsThePeriod(BackendHarness& h) {
    if (!h.ExactTime()) return;  // needs exact instants
    IApplication& app = h.App();
    auto timer = app.CreateTimer();
    int ticks = 0;
    timer->OnTimer = [&] { ++ticks; };
    timer->SetInterval(60000);
    h.Elapse(59999);
    PW_REQUIRE_EQ(ticks, 0);
    h.Elapse(1);
    PW_REQUIRE_EQ(ticks, 1);
    h.Elapse(30000);
    timer->SetInterval(40000);  // restarts: next tick 40 s from now, not at the old 60 s mark
    h.Elapse(39999);
    PW_REQUIRE_EQ(ticks, 1);
    h.Elapse(1);
    PW_REQUIRE_EQ(ticks, 2);
    timer->SetInterval(40000);  // the same value changes nothing
    h.Elapse(40000);
    PW_REQUIRE_EQ(ticks, 3);
}

void TheWaitTimeoutRestartsWithEveryMessage(BackendHarness& h) {
    IApplication& app = h.App();
    const std::uint32_t timeout = 1000;
    const int messages = 6;
    int processed = 0;
    Signal never;
    const framework::Millis start = h.Now();
    Worker worker([&] {
        for (int i = 0; i < messages; ++i) {
            h.ElapseFromWorker(300);  // well inside one time-out period each
            app.Post([&] { ++processed; });
        }
        h.ElapseFromWorker(timeout);
    });
    PW_REQUIRE(WaitPumping(app, never, timeout, false) == PumpedWait::TimedOut);
    worker.Join();
    PW_REQUIRE_EQ(processed, messages);  // 1.8 s of messages did not end a 1 s wait
    if (h.ExactTime()) PW_REQUIRE_EQ(h.Now() - start, framework::Millis{messages * 300 + timeout});
}

void TerminateEndsAWaitThatStopsOnTerminate(BackendHarness& h) {
    IApplication& app = h.App();
    Signal never;
    Worker worker([&] {
        h.ElapseFromWorker(100);
        app.Terminate();
    });
    PW_REQUIRE(WaitPumping(app, never, kInfinite, true) == PumpedWait::Terminated);
    worker.Join();
    PW_REQUIRE(app.Terminated());
}

// After Terminate, a wait that does not stop on it still waits for its signal.
void AWaitThatIgnoresTerminateGoesOn(BackendHarness& h) {
    IApplication& app = h.App();
    app.Terminate();
    Signal done;
    Worker worker([&] {
        h.ElapseFromWorker(200);
        done.Set();
    });
    PW_REQUIRE(WaitPumping(app, done, kSafety, false) == PumpedWait::Signaled);
}

void TerminateEndsTheMessageLoop(BackendHarness& h) {
    IApplication& app = h.App();
    bool posted = false;
    Worker worker([&] {
        app.Post([&] { posted = true; });
        h.ElapseFromWorker(100);
        app.Terminate();
    });
    app.Run();
    worker.Join();
    PW_REQUIRE(posted);
    PW_REQUIRE(app.Terminated());
}

void ClosingTheMainFormTerminates(BackendHarness& h) {
    IApplication& app = h.App();
    auto form = app.CreateForm();
    auto other = app.CreateForm();
    PW_REQUIRE(app.MainForm() == form.get());
    form->SetCaption("Pagewarden");
    form->SetClientSize(784, 700);
    form->Show();
    PW_REQUIRE(form->Visible());
    PW_REQUIRE_EQ(form->ClientWidth(), 784);
    PW_REQUIRE_EQ(form->ClientHeight(), 700);

    int closes = 0;
    other->OnClose = [&] { ++closes; };
    other->Show();
    other->Close();
    PW_REQUIRE_EQ(closes, 1);
    PW_REQUIRE(!app.Terminated());  // only the main form ends the program

    form->OnClose = [&] { ++closes; };
    form->Close();
    PW_REQUIRE_EQ(closes, 2);
    PW_REQUIRE(!form->Visible());
    PW_REQUIRE(app.Terminated());
}

void TitleMinimiseAndRestore(BackendHarness& h) {
    IApplication& app = h.App();
    app.SetTitle("Pagewarden");
    PW_REQUIRE_EQ(app.Title(), std::string("Pagewarden"));
    auto form = app.CreateForm();
    form->Show();
    PW_REQUIRE(!app.IsMinimized());
    app.Restore();  // not minimised: no effect
    PW_REQUIRE(!app.IsMinimized());
    app.Minimize();
    h.Elapse(50);
    PW_REQUIRE(app.IsMinimized());
    app.Restore();
    h.Elapse(50);
    PW_REQUIRE(!app.IsMinimized());
    PW_REQUIRE(form->Visible());
}

}  // namespace

const std::vector<Scenario>& BehaviourScenarios() {
    static const std::vector<Scenario> all = {
        {"DeliveryRunsOnUiThreadWhileItWaits", DeliveryRunsOnUiThreadWhileItWaits},
        {"DeliveryHandsTheExceptionBack", DeliveryHandsTheExceptionBack},
        {"DeliveriesFromTwoWorkersAreSerialised", DeliveriesFromTwoWorkersAreSerialised},
        {"DeliveryToAnOwnerBeingDestroyedIsSkipped", DeliveryToAnOwnerBeingDestroyedIsSkipped},
        {"DeliveryFromTheUiThreadRunsAtOnce", DeliveryFromTheUiThreadRunsAtOnce},
        {"PostsRunInOrderOnTheUiThread", PostsRunInOrderOnTheUiThread},
        {"TimersTickOnlyWhileEnabled", TimersTickOnlyWhileEnabled},
        {"ANewIntervalRestartsThePeriod", ANewIntervalRestartsThePeriod},
        {"TheWaitTimeoutRestartsWithEveryMessage", TheWaitTimeoutRestartsWithEveryMessage},
        {"TerminateEndsAWaitThatStopsOnTerminate", TerminateEndsAWaitThatStopsOnTerminate},
        {"AWaitThatIgnoresTerminateGoesOn", AWaitThatIgnoresTerminateGoesOn},
        {"TerminateEndsTheMessageLoop", TerminateEndsTheMessageLoop},
        {"ClosingTheMainFormTerminates", ClosingTheMainFormTerminates},
        {"TitleMinimiseAndRestore", TitleMinimiseAndRestore},
    };
    return all;
}

}  // namespace pw::test
