#pragma once
// What every back end's application object keeps in the same way: the main form, the nesting of
// the hourglass, the terminate flag, the error box around handlers, and the part of a delivery
// that needs no message loop. A back end derives from it and supplies its loop, its forms and how
// the hourglass looks.
//
// Threads: Terminate, Terminated and RunOnUiThread may be called from any thread; the rest from
// the UI thread only.

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

#include "framework/Application.h"

namespace pw::framework {

class ApplicationBase : public IApplication {
  public:
    void Terminate() final;
    bool Terminated() const final;
    void SetBusyCursor(bool busy) final;
    // The first form created becomes the main form.
    std::unique_ptr<IForm> CreateForm() final;
    IForm* MainForm() const final;
    Delivery RunOnUiThread(const DeliveryOwner* owner, const std::function<void()>& fn,
                           std::exception_ptr& error) final;

    // How many SetBusyCursor(true) are not yet ended: 0 shows the normal cursor.
    int BusyCursorDepth() const { return busyDepth_; }

    // Calls a handler the way the back end calls every handler: an exception escaping it is
    // shown in the standard error box and the program goes on. It runs from a copy, since a
    // handler may rebind or destroy what holds it; an empty one does nothing.
    void RunHandler(const std::function<void()>& handler);

    // For the back end's forms: closing the main form terminates the application; once it is
    // destroyed there is no main form.
    void FormClosed(const IForm* form);
    void FormDestroyed(const IForm* form);

  protected:
    ApplicationBase() = default;

    // A new form of the back end.
    virtual std::unique_ptr<IForm> NewForm() = 0;
    // The flag is set: the message loop and every wait must return. Any thread.
    virtual void TerminateRequested() = 0;
    // One counted change of the hourglass: true for every SetBusyCursor(true), false only for a
    // false that ends one of them.
    virtual void BusyCursorChanged(bool busy) = 0;
    // Runs fn on the UI thread for a worker, which blocks until it has run (or was skipped).
    // Called on another thread, for an owner not being destroyed at the time of the call.
    virtual Delivery SendToUiThread(const DeliveryOwner* owner, const std::function<void()>& fn,
                                    std::exception_ptr& error) = 0;
    // The loop ended without Terminate (the toolkit quit on its own): the application counts as
    // terminated from now on.
    void LoopEnded() { terminated_ = true; }

  private:
    std::atomic<bool> terminated_{false};
    int busyDepth_ = 0;
    IForm* mainForm_ = nullptr;
};

}  // namespace pw::framework
