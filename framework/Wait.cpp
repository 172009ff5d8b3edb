#include "framework/UiThread.h"

namespace pw::framework {

PumpedWait WaitPumping(IUiThread& ui, const Signal& signal, std::uint32_t timeoutMs,
                       bool stopOnTerminate, const std::function<bool()>& keepWaiting) {
    for (;;) {
        if (stopOnTerminate && ui.Terminated()) return PumpedWait::Terminated;
        switch (ui.WaitForSignalOrMessage(signal, timeoutMs)) {
            case WaitResult::Signaled:
                return PumpedWait::Signaled;
            case WaitResult::Timeout:
                return PumpedWait::TimedOut;
            case WaitResult::Message:
                break;
        }
        ui.ProcessMessages();
        if (keepWaiting && !keepWaiting()) return PumpedWait::Stopped;
    }
}

}  // namespace pw::framework
