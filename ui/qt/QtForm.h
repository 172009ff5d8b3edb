#pragma once
// A form of the Qt back end: a top-level QWidget whose children are the controls' widgets.
//
// Activation follows the toolkit the window was designed for: OnActivate comes when the form
// becomes the application's active form, that is when it is first shown and when it takes over
// from another form of the program. Coming back from another program, being restored, or a
// message box or file dialog closing over it is no new activation.
//
// Focus order: controls with a place (TabOrder >= 0) are chained in the order of their numbers.
// A panel or group box with a place takes its children there, in their own order; the children of
// one without a place are ordered among the form's controls by their own numbers.
//
// The close box (and whatever else closes the window from outside the program) does not close it
// at once: it posts the system close command, which asks OnSystemClose and then closes from code.
// UI thread only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/Form.h"
#include "ui/qt/QtControlHost.h"
#include "ui/qt/QtControls.h"

class QEventLoop;
class QWidget;

namespace pw::ui::qt {

class QtApplication;

class QtForm final : public framework::IForm, public QtControlHost {
  public:
    explicit QtForm(QtApplication& app);
    ~QtForm() override;
    QtForm(const QtForm&) = delete;
    QtForm& operator=(const QtForm&) = delete;

    void SetName(std::string_view name) override;
    std::string Name() const override { return name_; }
    void SetCaption(std::string_view caption) override;
    std::string Caption() const override { return caption_; }
    // A hidden window hears of the new size at once, and again when it is first shown.
    void SetClientSize(int width, int height) override;
    int ClientWidth() const override;
    int ClientHeight() const override;
    void SetPosition(int left, int top) override;
    // A dialog frame is a fixed-size Qt::Dialog window without minimise and maximise buttons.
    void SetBorderStyle(framework::TFormBorderStyle style) override;
    framework::TFormBorderStyle BorderStyle() const override { return borderStyle_; }
    // On the available area of the window's screen; the window manager adds its frame.
    void SetCentered(bool centered) override { centered_ = centered; }
    bool Centered() const override { return centered_; }
    void Show() override;
    // Application-modal, in a QEventLoop of its own.
    framework::DialogResult ShowModal() override;
    bool Modal() const override { return modal_; }
    void SetModalResult(framework::DialogResult result) override;
    framework::DialogResult ModalResult() const override { return modalResult_; }
    bool Visible() const override;
    void Close() override;
    void PostSystemClose() override;
    void SetStayOnTop(bool stayOnTop) override;
    bool StayOnTop() const override;
    void Repaint() override;

    framework::ILabel& CreateLabel(std::string_view name, framework::IContainer* parent) override;
    framework::IEdit& CreateEdit(std::string_view name, framework::IContainer* parent) override;
    framework::IComboBox& CreateComboBox(std::string_view name,
                                         framework::IContainer* parent) override;
    framework::ISpinEdit& CreateSpinEdit(std::string_view name,
                                         framework::IContainer* parent) override;
    framework::ICheckBox& CreateCheckBox(std::string_view name,
                                         framework::IContainer* parent) override;
    framework::IButton& CreateButton(std::string_view name, bool flat,
                                     framework::IContainer* parent) override;
    framework::IProgressBar& CreateProgressBar(std::string_view name,
                                               framework::IContainer* parent) override;
    framework::IBevel& CreateBevel(std::string_view name, framework::IContainer* parent) override;
    framework::IImage& CreateImage(std::string_view name, framework::IContainer* parent) override;
    framework::IPanel& CreatePanel(std::string_view name) override;
    framework::IGroupBox& CreateGroupBox(std::string_view name) override;
    framework::IControl* FindControl(std::string_view name) const override;

    QWidget* widget() const;

    // QtControlHost, for the controls.
    void RunHandler(const std::function<void()>& handler) override;
    void TabOrderChanged() override;
    void Docked(QtPanel& panel) override;
    void PlaceDockedPanels() override;
    void ModalButtonClicked(framework::DialogResult result) override;

  private:
    class Window;
    friend class Window;

    // Checks the name and the parent; the parent's widget, or the form's.
    QWidget& ParentFor(std::string_view name, framework::IContainer* parent) const;
    // Makes a control of class C on the form or in the container parent and keeps it under its
    // name. The control's own arguments (extra) come before its parent widget and container.
    template <class C, class... Extra>
    C& Create(std::string_view name, framework::IContainer* parent, Extra&&... extra);
    template <class C, class... Args>
    C& Add(std::string_view name, Args&&... args);

    void Resized();
    void Activated();
    void Hidden();
    void Closing();
    void Closed();
    // The system close command: asks OnSystemClose, then closes from code.
    void SystemClose();
    // Hides the window through its close event, with OnClose.
    void CloseNow();
    // Enter and Escape as the default and cancel buttons take them; false when no button did.
    bool PressEnter();
    bool PressEscape();
    // Gives the window new flags; a shown window comes back where it was, not activated.
    void SetFlags(Qt::WindowFlags flags);
    void ApplyFixedSize();
    void Centre();

    QtApplication& app_;
    // First member: destroyed after the controls, whose widgets live in it.
    std::unique_ptr<Window> window_;
    std::vector<std::unique_ptr<QtControlBase>> controls_;
    std::map<std::string, framework::IControl*, std::less<>> byName_;
    std::vector<QtPanel*> docked_;  // in docking order: the first is lowest
    std::string name_;
    std::string caption_;
    framework::TFormBorderStyle borderStyle_ = framework::TFormBorderStyle::Sizeable;
    bool centered_ = false;
    bool modal_ = false;
    framework::DialogResult modalResult_ = framework::DialogResult::None;
    QEventLoop* modalLoop_ = nullptr;  // while ShowModal waits
    bool reflagging_ = false;          // the window is hidden only to take new flags
    bool closingFromCode_ = false;     // the close event comes from CloseNow
};

}  // namespace pw::ui::qt
