#pragma once
// A top-level window. UI thread only.

#include <functional>
#include <string>
#include <string_view>

namespace pw::framework {

class IForm {
  public:
    virtual ~IForm() = default;

    virtual void SetCaption(std::string_view caption) = 0;
    virtual std::string Caption() const = 0;
    // The client area, without frame and title bar.
    virtual void SetClientSize(int width, int height) = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    virtual void SetPosition(int left, int top) = 0;
    virtual void Show() = 0;
    virtual bool Visible() const = 0;
    // Closes the window as its close box does: OnClose runs, then the window is hidden.
    // Closing the application's main form ends the message loop.
    virtual void Close() = 0;

    std::function<void()> OnClose;
};

}  // namespace pw::framework
