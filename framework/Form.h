#pragma once
// A top-level window. UI thread only.

#include <functional>
#include <string>
#include <string_view>

#include "framework/Controls.h"

namespace pw::framework {

class IForm {
  public:
    virtual ~IForm() = default;

    virtual void SetCaption(std::string_view caption) = 0;
    virtual std::string Caption() const = 0;
    // The client area, without frame and title bar. A new size notifies OnResize.
    virtual void SetClientSize(int width, int height) = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    virtual void SetPosition(int left, int top) = 0;
    virtual void Show() = 0;
    virtual bool Visible() const = 0;
    // Closes the window as its close box does: OnClose runs, then the window is hidden.
    // Closing the application's main form ends the message loop.
    virtual void Close() = 0;
    // Keeps the window above all other windows.
    virtual void SetStayOnTop(bool stayOnTop) = 0;
    virtual bool StayOnTop() const = 0;
    // Paints the window again now, also in the middle of a handler that keeps the loop busy.
    virtual void Repaint() = 0;

    // Controls, owned by the form, created visible and enabled at 0,0 with a size of 0; parent
    // is a panel of this form, or null for the form itself. Names are unique.
    virtual ILabel& CreateLabel(std::string_view name, IPanel* parent = nullptr) = 0;
    virtual IEdit& CreateEdit(std::string_view name, IPanel* parent = nullptr) = 0;
    virtual IComboBox& CreateComboBox(std::string_view name, IPanel* parent = nullptr) = 0;
    virtual ISpinEdit& CreateSpinEdit(std::string_view name, IPanel* parent = nullptr) = 0;
    virtual ICheckBox& CreateCheckBox(std::string_view name, IPanel* parent = nullptr) = 0;
    // flat: the small kind that takes no focus.
    virtual IButton& CreateButton(std::string_view name, bool flat = false,
                                  IPanel* parent = nullptr) = 0;
    virtual IPanel& CreatePanel(std::string_view name) = 0;
    // Null when no control has that name.
    virtual IControl* FindControl(std::string_view name) const = 0;

    std::function<void()> OnClose;
    // After every change of the client size, and once when the window is first shown.
    std::function<void()> OnResize;
    // The window became the application's active window (also when first shown).
    std::function<void()> OnActivate;
};

}  // namespace pw::framework
