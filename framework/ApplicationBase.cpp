#include "framework/ApplicationBase.h"

#include <cassert>
#include <exception>

namespace pw::framework {

void ApplicationBase::Terminate() {
    terminated_ = true;
    TerminateRequested();
}

bool ApplicationBase::Terminated() const {
    return terminated_;
}

void ApplicationBase::SetBusyCursor(bool busy) {
    assert(IsUiThread());
    if (busy) {
        ++busyDepth_;
        BusyCursorChanged(true);
    } else if (busyDepth_ > 0) {
        // Never more than were set: the back end may share its cursor with code that is not ours.
        --busyDepth_;
        BusyCursorChanged(false);
    }
}

std::unique_ptr<IForm> ApplicationBase::CreateForm() {
    assert(IsUiThread());
    std::unique_ptr<IForm> form = NewForm();
    if (!mainForm_) mainForm_ = form.get();
    return form;
}

IForm* ApplicationBase::MainForm() const {
    return mainForm_;
}

void ApplicationBase::FormClosed(const IForm* form) {
    if (form == mainForm_) Terminate();
}

void ApplicationBase::FormDestroyed(const IForm* form) {
    if (form == mainForm_) mainForm_ = nullptr;
}

Delivery ApplicationBase::RunOnUiThread(const DeliveryOwner* owner, const std::function<void()>& fn,
                                        std::exception_ptr& error) {
    error = nullptr;
    if (owner && owner->Destroying()) return Delivery::Skipped;
    if (IsUiThread()) {
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        return Delivery::Delivered;
    }
    return SendToUiThread(owner, fn, error);
}

void ApplicationBase::RunHandler(const std::function<void()>& handler) {
    if (!handler) return;
    const std::function<void()> run = handler;
    try {
        run();
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("Unknown exception");
    }
}

}  // namespace pw::framework
