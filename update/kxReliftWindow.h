#pragma once
// What the three self-update windows share: a form of the application with a dialog frame,
// centred on the screen, and a life that ends when the window closes.
//
// A window frees itself from inside its own handlers (closing it frees it), where the toolkit is
// still at work on it. So the unit's reference is cleared at once, the window's handlers do
// nothing from then on, and the window itself is destroyed once the outermost of its handlers has
// returned (by a posted message), or at once when none is running.
//
// UI thread only.

#include <memory>
#include <span>
#include <string_view>

#include "framework/Application.h"
#include "framework/Form.h"
#include "update/kxReliftWindowHost.h"

namespace pw::update {

class TReliftWindow {
  public:
    TReliftWindow(const TReliftWindow&) = delete;
    TReliftWindow& operator=(const TReliftWindow&) = delete;
    virtual ~TReliftWindow();

    framework::IForm& Form() const { return *form_; }
    framework::IApplication& App() const { return app_; }
    // The component the window works for; null once it is freed or the component has gone.
    IReliftWindowHost* Host() const { return host_; }
    void SetHost(IReliftWindowHost* host) { host_ = host; }
    // Being freed: its handlers do nothing any more.
    bool Freed() const { return freed_; }

    // Empties the slot and frees the window it held, as described above.
    template <class W>
    static void Free(std::unique_ptr<W>& slot) {
        if (!slot) return;
        W* window = slot.get();
        window->Release(std::unique_ptr<TReliftWindow>(slot.release()));
    }

    // Empties the slot and frees its window when that window works for host.
    template <class W>
    static void FreeFor(std::unique_ptr<W>& slot, const IReliftWindowHost& host) {
        if (slot && slot->Host() == &host) Free(slot);
    }

    // Shows the slot's window modally and frees it once it has closed (unless the component
    // freed it while it asked); the answer it closed with.
    template <class W>
    static framework::DialogResult AskModally(std::unique_ptr<W>& slot) {
        W& window = *slot;
        framework::DialogResult answer;
        {
            Busy busy(window);
            answer = window.Form().ShowModal();
        }
        if (slot.get() == &window) Free(slot);
        return answer;
    }

    // Keeps the window alive while it is in scope (a handler, a modal wait).
    class Busy {
      public:
        explicit Busy(TReliftWindow& window) : window_(window) { ++window_.busy_; }
        ~Busy() { window_.Leave(); }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

      private:
        TReliftWindow& window_;
    };

  protected:
    // A form named name, with a dialog frame, centred, of the given client size.
    TReliftWindow(framework::IApplication& app, std::string_view name, int clientWidth,
                  int clientHeight);

    // Wraps one of the window's handlers (any arguments): nothing once the window is freed, and
    // the window outlives the call.
    template <class F>
    auto Handler(F f) {
        return [this, f](auto&... args) {
            if (freed_) return;
            Busy busy(*this);
            f(args...);
        };
    }

  private:
    void Release(std::unique_ptr<TReliftWindow> self);
    void Leave();

    framework::IApplication& app_;
    std::unique_ptr<framework::IForm> form_;
    IReliftWindowHost* host_ = nullptr;
    int busy_ = 0;
    bool freed_ = false;
    // Itself, while it waits for its handlers to return before it is destroyed.
    std::unique_ptr<TReliftWindow> self_;
};

// The question and password windows, each freed by its own unit when it works for host
// (FreeReliftWindows frees all three).
void FreeUpgradeMessageForm(const IReliftWindowHost& host);
void FreePasswordForm(const IReliftWindowHost& host);

// The built-in pictures: "WIZARD" (the progress window's 118 x 218 side picture, a 16-colour BMP),
// "UPGRADE" and "PASSWORD" (the 32 x 32 icons of the question and password windows, PNG).
std::span<const unsigned char> ReliftPicture(std::string_view name);

}  // namespace pw::update
