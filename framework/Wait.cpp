#include "framework/Application.h"

namespace pw::framework {

PumpedWait WaitPumping(IApplication& app, const Signal& signal, std::uint32_t timeoutMs,
                       bool stopOnTerminate, const std::function<bool()>& keepWaiting) {
    for (;;) {
        if (stopOnTerminate && app.Terminated()) return PumpedWait::Terminated;
        switch (app.WaitForSignalOrMessage(signal, timeoutMs)) {
            case WaitResult::Signaled:
                return PumpedWait::Signaled;
            case WaitResult::Timeout:
                return PumpedWait::TimedOut;
            case WaitResult::Message:
                break;
        }
        app.ProcessMessages();
        if (keepWaiting && !keepWaiting()) return PumpedWait::Stopped;
    }
}

}  // namespace pw::framework
