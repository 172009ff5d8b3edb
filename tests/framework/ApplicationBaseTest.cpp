// The bookkeeping that every back end inherits: what it hands down to the back end's hooks and
// what it keeps to itself. The behaviour a user sees is in the shared scenarios; this is the
// contract a back end builds on (the Qt one pops its override cursor on every false it is told of).

#include "framework/ApplicationBase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace pw::framework {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A back end with no loop and no windows that writes down what the base asks of it.
class RecordingBackEnd final : public ApplicationBase {
  public:
    std::vector<bool> cursorChanges;
    int wakes = 0;
    std::vector<std::string> errorBoxes;

    bool IsUiThread() const override { return std::this_thread::get_id() == ui_; }
    IClock& Clock() const override { return clock_; }
    void ProcessMessages() override {}
    void Run() override {}
    void Post(std::function<void()>) override {}
    WaitResult WaitForSignalOrMessage(const Signal&, std::uint32_t) override {
        return WaitResult::Timeout;
    }
    void SetTitle(std::string_view) override {}
    std::string Title() const override { return {}; }
    void Minimize() override {}
    void Restore() override {}
    bool IsMinimized() const override { return false; }
    std::unique_ptr<ITimer> CreateTimer() override { return nullptr; }
    std::unique_ptr<IOpenDialog> CreateOpenDialog() override { return nullptr; }
    std::unique_ptr<ITrayIcon> CreateTrayIcon() override { return nullptr; }
    DialogResult MessageBox(std::string_view, std::string_view, std::uint32_t) override {
        return DialogResult::Ok;
    }
    void ShowException(std::string_view message) override { errorBoxes.emplace_back(message); }

  private:
    std::unique_ptr<IForm> NewForm() override { return nullptr; }
    void TerminateRequested() override { ++wakes; }
    void BusyCursorChanged(bool busy) override { cursorChanges.push_back(busy); }
    Delivery SendToUiThread(const DeliveryOwner*, const std::function<void()>&,
                            std::exception_ptr&) override {
        return Delivery::Skipped;
    }

    mutable SteadyClock clock_;
    const std::thread::id ui_ = std::this_thread::get_id();
};

TEST(ApplicationBase, BusyCursorCallsNestAndOnlyEndsOfOwnCallsReachTheBackEnd) {
    struct Case {
        std::vector<bool> calls;
        int depth;
        std::vector<bool> handedDown;
    };
    const Case cases[] = {
        {{true, true, false, false}, 0, {true, true, false, false}},
        {{false}, 0, {}},  // an end without a start is not ours to undo
        {{true, false, false, true}, 1, {true, false, true}},
        {{true, true, false}, 1, {true, true, false}},
    };
    for (const Case& c : cases) {
        RecordingBackEnd app;
        for (bool busy : c.calls)
            app.SetBusyCursor(busy);
        EXPECT_EQ(app.BusyCursorDepth(), c.depth) << ::testing::PrintToString(c.calls);
        EXPECT_THAT(app.cursorChanges, ElementsAreArray(c.handedDown))
            << ::testing::PrintToString(c.calls);
    }
}

TEST(ApplicationBase, AHandlerThatThrowsEndsInTheErrorBox) {
    RecordingBackEnd app;
    app.RunHandler([] { throw std::runtime_error("Invalid data type for 'Duration'"); });
    app.RunHandler([] { throw 42; });
    app.RunHandler({});
    // A handler that drops its own binding while it runs still has its captures to the end (a
    // long text, so they live on the heap where a sanitizer sees them freed).
    const std::string word(64, 'w');
    std::function<void()> self;
    std::string seen;
    self = [&self, &seen, word] {
        self = nullptr;
        seen = word;
    };
    app.RunHandler(self);
    EXPECT_EQ(seen, word);
    EXPECT_THAT(app.errorBoxes,
                ElementsAre("Invalid data type for 'Duration'", "Unknown exception"));
}

TEST(ApplicationBase, TerminateSetsTheFlagForEveryThreadAndWakesTheBackEndEachTime) {
    RecordingBackEnd app;
    EXPECT_FALSE(app.Terminated());
    app.Terminate();
    bool seen = false;
    std::thread([&] { seen = app.Terminated(); }).join();
    EXPECT_TRUE(seen);
    app.Terminate();
    EXPECT_EQ(app.wakes, 2);
}

}  // namespace
}  // namespace pw::framework
