// What only the headless back end promises: virtual time, scripted dialogs, and shutdown with
// workers still waiting.

#include "framework/headless/HeadlessApplication.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace pw::framework {
namespace {

class HeadlessApp : public ::testing::Test {
  protected:
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::unique_ptr<HeadlessApplication> app = std::make_unique<HeadlessApplication>(clock);

    // Waits (bounded, real time) until a worker's delivery is queued.
    void AwaitQueuedDelivery() {
        for (int i = 0; i < 5000 && app->PendingDeliveries() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(app->PendingDeliveries(), 1u);
    }
};

TEST_F(HeadlessApp, AnHourOfVirtualTimeGivesSixtyMinuteTicks) {
    auto timer = app->CreateTimer();
    int ticks = 0;
    timer->OnTimer = [&] { ++ticks; };
    timer->SetInterval(60000);
    app->AdvanceAndProcess(60 * 60000);
    EXPECT_EQ(ticks, 60);
    EXPECT_EQ(clock->Now(), 60 * 60000);
}

TEST_F(HeadlessApp, TicksThatFallDueWhileBusyMergeIntoOne) {
    auto timer = app->CreateTimer();
    int ticks = 0;
    timer->OnTimer = [&] { ++ticks; };
    timer->SetInterval(100);
    clock->Advance(1000);  // ten periods pass without the loop running
    app->ProcessMessages();
    EXPECT_EQ(ticks, 1);
    app->AdvanceAndProcess(100);  // the period starts again from the tick
    EXPECT_EQ(ticks, 2);
}

TEST_F(HeadlessApp, AHandlerThatThrowsShowsTheErrorBoxAndTheLoopGoesOn) {
    app->SetTitle("Pagewarden");
    auto timer = app->CreateTimer();
    int ticks = 0;
    timer->OnTimer = [&] {
        if (++ticks == 1) throw std::runtime_error("Invalid data type for 'Duration'");
    };
    app->Post([] { throw std::runtime_error("posted failure"); });
    app->AdvanceAndProcess(2000);
    EXPECT_EQ(ticks, 2);
    const auto dialogs = app->Dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_TRUE(dialogs[0].errorBox);
    EXPECT_EQ(dialogs[0].text, "posted failure");
    EXPECT_EQ(dialogs[1].text, "Invalid data type for 'Duration'");
    EXPECT_EQ(dialogs[1].caption, "Pagewarden");
}

TEST_F(HeadlessApp, MessageBoxesAnswerAsScriptedOrWithTheirFirstButton) {
    EXPECT_EQ(app->MessageBox("Upgrade?", "Wizard", mb::kYesNo | mb::kIconQuestion),
              DialogResult::Yes);
    app->QueueDialogAnswer(DialogResult::No);
    EXPECT_EQ(app->MessageBox("Upgrade?", "Wizard", mb::kYesNo), DialogResult::No);
    EXPECT_EQ(app->MessageBox("Done", "Wizard", mb::kOk | mb::kIconInformation), DialogResult::Ok);
    const auto dialogs = app->Dialogs();
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_EQ(dialogs[0].flags, mb::kYesNo | mb::kIconQuestion);
    EXPECT_FALSE(dialogs[2].errorBox);
}

TEST_F(HeadlessApp, AWaitPrefersTheSignalAndTimesOutOnlyInVirtualTime) {
    Signal signal;
    app->Post([] {});
    signal.Set();
    EXPECT_EQ(app->WaitForSignalOrMessage(signal, 1000), WaitResult::Signaled);
    signal.Reset();
    EXPECT_EQ(app->WaitForSignalOrMessage(signal, 1000), WaitResult::Message);
    app->ProcessMessages();

    std::thread advancer([&] {
        app->WaitUntilIdle();
        clock->Advance(999);
        app->WaitUntilIdle();  // 999 ms is not yet the time-out: the UI thread waits on
        clock->Advance(1);
    });
    EXPECT_EQ(app->WaitForSignalOrMessage(signal, 1000), WaitResult::Timeout);
    advancer.join();
    EXPECT_EQ(clock->Now(), 1000);
}

TEST_F(HeadlessApp, AQueuedDeliveryIsSkippedWhenItsOwnerStartsDying) {
    DeliveryOwner owner;
    bool ran = false;
    Delivery result = Delivery::Delivered;
    std::thread worker([&] {
        std::exception_ptr error;
        result = app->RunOnUiThread(
            &owner, [&] { ran = true; }, error);
    });
    AwaitQueuedDelivery();
    owner.BeginDestroy();
    app->ProcessMessages();
    worker.join();
    EXPECT_EQ(result, Delivery::Skipped);
    EXPECT_FALSE(ran);
}

TEST_F(HeadlessApp, DestroyingTheApplicationReleasesAWorkerBlockedInADelivery) {
    bool ran = false;
    Delivery result = Delivery::Delivered;
    std::thread worker([&] {
        std::exception_ptr error;
        result = app->RunOnUiThread(
            nullptr, [&] { ran = true; }, error);
    });
    AwaitQueuedDelivery();
    app.reset();
    worker.join();
    EXPECT_EQ(result, Delivery::Skipped);
    EXPECT_FALSE(ran);
}

TEST(HeadlessAppOnTheMachineClock, RunServesTimersUntilTerminated) {
    HeadlessApplication app;  // steady clock: the loop really sleeps until the next tick
    auto timer = app.CreateTimer();
    timer->SetInterval(5);
    int ticks = 0;
    timer->OnTimer = [&] {
        if (++ticks == 3) app.Terminate();
    };
    app.Run();
    EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace pw::framework
