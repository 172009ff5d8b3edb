// The shared behaviour of the UI framework, on the headless back end with a virtual clock.

#include <gtest/gtest.h>

#include "framework/headless/HeadlessApplication.h"
#include "framework/headless/HeadlessControls.h"
#include "tests/framework/BehaviourScenarios.h"
#include "tests/framework/ControlScenarios.h"

namespace pw::test {
namespace {

using framework::HeadlessApplication;
using framework::Millis;
using framework::VirtualClock;

class HeadlessHarness final : public BackendHarness {
  public:
    framework::IApplication& App() override { return app_; }
    void Elapse(Millis ms) override { app_.AdvanceAndProcess(ms); }
    void ElapseFromWorker(Millis ms) override {
        app_.WaitUntilIdle();
        clock_->Advance(ms);
    }
    bool ExactTime() const override { return true; }
    Millis Now() const override { return clock_->Now(); }
    void WhenModal(framework::IForm& /*form*/, std::function<void()> act) override {
        app_.QueueModalAction([act = std::move(act)](framework::HeadlessForm&) { act(); });
    }

  private:
    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
    HeadlessApplication app_{clock_};
};

class HeadlessBehaviour : public ::testing::TestWithParam<Scenario> {};

TEST_P(HeadlessBehaviour, Holds) {
    HeadlessHarness harness;
    try {
        GetParam().run(harness);
    } catch (const ScenarioFailure& f) {
        ADD_FAILURE_AT(f.file.c_str(), f.line) << f.message;
    }
}

// Names of both sets are unique, so one suite runs them side by side.
INSTANTIATE_TEST_SUITE_P(Scenarios, HeadlessBehaviour, ::testing::ValuesIn(BehaviourScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Controls, HeadlessBehaviour, ::testing::ValuesIn(ControlScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pw::test
