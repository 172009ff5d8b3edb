#pragma once
// Behaviour that every back end of the UI framework must show, written once and run by each back
// end's own test runner (GoogleTest for the headless one, QTest for Qt). A scenario runs on the UI
// thread and throws ScenarioFailure when a requirement does not hold.

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Clock.h"

namespace pw::test {

struct ScenarioFailure {
    std::string file;
    int line;
    std::string message;
};

#define PW_REQUIRE(cond)                                                                         \
    do {                                                                                         \
        if (!(cond))                                                                             \
            throw ::pw::test::ScenarioFailure{__FILE__, __LINE__, "requirement failed: " #cond}; \
    } while (0)

#define PW_REQUIRE_EQ(actual, expected)                                       \
    do {                                                                      \
        const auto& a_ = (actual);                                            \
        const auto& e_ = (expected);                                          \
        if (!(a_ == e_)) {                                                    \
            std::ostringstream os_;                                           \
            os_ << #actual " is " << a_ << ", expected " << e_;               \
            throw ::pw::test::ScenarioFailure{__FILE__, __LINE__, os_.str()}; \
        }                                                                     \
    } while (0)

// What a scenario needs from the back end under test besides the application itself.
class BackendHarness {
  public:
    virtual ~BackendHarness() = default;
    virtual framework::IApplication& App() = 0;
    // UI thread: lets ms of the application's time pass while messages are served.
    virtual void Elapse(framework::Millis ms) = 0;
    // Another thread: lets ms pass. On a virtual clock it first waits until the UI thread is
    // idle, so what the UI thread does next is decided before time moves.
    virtual void ElapseFromWorker(framework::Millis ms) = 0;
    // True when time is virtual and exact: scenarios then also check exact counts and instants.
    virtual bool ExactTime() const = 0;
    virtual framework::Millis Now() const = 0;
    // UI thread: what the user does next on a form shown modally, once it is up. Acts queue up
    // and run in order, one each time the form waits.
    virtual void WhenModal(framework::IForm& form, std::function<void()> act) = 0;
};

struct Scenario {
    const char* name;
    void (*run)(BackendHarness&);
};

const std::vector<Scenario>& BehaviourScenarios();

}  // namespace pw::test
