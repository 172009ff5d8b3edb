#pragma once
// Polling for tests that wait on another thread or process, with a watchdog instead of a timed
// assertion.

#include <chrono>
#include <thread>

namespace pw::test {

// Polls until the condition holds or about ten seconds have passed; the condition's last answer.
template <typename F>
bool Eventually(F condition) {
    for (int i = 0; i < 500 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}

}  // namespace pw::test
