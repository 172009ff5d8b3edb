#pragma once
// A top-level window. UI thread only.
//
// Closing: Close() from code closes at once (OnClose, then the window is hidden). The system
// close command (the close box, Alt+F4, the window menu, or PostSystemClose) first asks
// OnSystemClose, which may keep the window open, and then closes as Close() does.
//
// Shown modally (ShowModal), the window runs a message loop of its own until it closes: when its
// modal result is set (by a button with a modal result, or SetModalResult), when Close() is
// called (Cancel, unless a result is set), or by the system close command (Cancel). Escape clicks
// the cancel button and Enter the default button, so they give those buttons' results.

#include <functional>
#include <string>
#include <string_view>

#include "framework/Controls.h"
#include "framework/Dialogs.h"

namespace pw::framework {

enum class TFormBorderStyle {
    Sizeable,  // a frame the user can drag
    Dialog,    // a fixed frame: the client size is the program's alone
};

class IForm {
  public:
    virtual ~IForm() = default;

    // The form's own name (tests and the widget tree find the window by it); empty at first.
    virtual void SetName(std::string_view name) = 0;
    virtual std::string Name() const = 0;
    virtual void SetCaption(std::string_view caption) = 0;
    virtual std::string Caption() const = 0;
    // The client area, without frame and title bar. A new size notifies OnResize.
    virtual void SetClientSize(int width, int height) = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    virtual void SetPosition(int left, int top) = 0;
    virtual void SetBorderStyle(TFormBorderStyle style) = 0;
    virtual TFormBorderStyle BorderStyle() const = 0;
    // Centred on the screen each time it is shown (instead of at its position).
    virtual void SetCentered(bool centered) = 0;
    virtual bool Centered() const = 0;
    // Shows the window without making it modal; the program's other windows stay usable.
    virtual void Show() = 0;
    // Shows the window modally and returns once it has closed, with its modal result (None when
    // the form is already shown modally or the application is ending). The form must not be
    // destroyed while ShowModal runs.
    virtual DialogResult ShowModal() = 0;
    virtual bool Modal() const = 0;
    // On a form shown modally, a result other than None closes it once the handler that set it
    // has returned; a handler may set None again to keep it open.
    virtual void SetModalResult(DialogResult result) = 0;
    virtual DialogResult ModalResult() const = 0;
    virtual bool Visible() const = 0;
    // Closes the window as described above. Closing the application's main form ends the
    // message loop.
    virtual void Close() = 0;
    // Queues the system close command, as the close box gives it; it is handled after what runs
    // now has returned, and dropped if the form is destroyed first.
    virtual void PostSystemClose() = 0;
    // Keeps the window above all other windows. Changing it on a shown window neither moves nor
    // activates the window.
    virtual void SetStayOnTop(bool stayOnTop) = 0;
    virtual bool StayOnTop() const = 0;
    // Paints the window again now, also in the middle of a handler that keeps the loop busy.
    virtual void Repaint() = 0;

    // Controls, owned by the form, created visible and enabled at 0,0 with a size of 0; parent
    // is a panel or group box of this form, or null for the form itself. Names are unique.
    virtual ILabel& CreateLabel(std::string_view name, IContainer* parent = nullptr) = 0;
    virtual IEdit& CreateEdit(std::string_view name, IContainer* parent = nullptr) = 0;
    virtual IComboBox& CreateComboBox(std::string_view name, IContainer* parent = nullptr) = 0;
    virtual ISpinEdit& CreateSpinEdit(std::string_view name, IContainer* parent = nullptr) = 0;
    virtual ICheckBox& CreateCheckBox(std::string_view name, IContainer* parent = nullptr) = 0;
    // flat: the small kind that takes no focus.
    virtual IButton& CreateButton(std::string_view name, bool flat = false,
                                  IContainer* parent = nullptr) = 0;
    virtual IProgressBar& CreateProgressBar(std::string_view name,
                                            IContainer* parent = nullptr) = 0;
    virtual IBevel& CreateBevel(std::string_view name, IContainer* parent = nullptr) = 0;
    virtual IImage& CreateImage(std::string_view name, IContainer* parent = nullptr) = 0;
    // Panels and group boxes sit on the form itself.
    virtual IPanel& CreatePanel(std::string_view name) = 0;
    virtual IGroupBox& CreateGroupBox(std::string_view name) = 0;
    // Null when no control has that name.
    virtual IControl* FindControl(std::string_view name) const = 0;

    std::function<void()> OnClose;
    // The system close command: set canClose to false to keep the window open. Not asked when
    // the program closes the window itself (Close, a modal result).
    std::function<void(bool& canClose)> OnSystemClose;
    // After every change of the client size, and once when the window is first shown.
    std::function<void()> OnResize;
    // The window became the application's active window (also when first shown).
    std::function<void()> OnActivate;
};

}  // namespace pw::framework
