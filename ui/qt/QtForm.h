#pragma once
// A form of the Qt back end: a top-level QWidget whose children are the controls' widgets.
//
// Activation follows the toolkit the window was designed for: OnActivate comes when the form
// becomes the application's active form, that is when it is first shown and when it takes over
// from another form of the program. Coming back from another program, being restored, or a
// message box or file dialog closing over it is no new activation.
//
// Focus order: controls with a place (TabOrder >= 0) are chained in the order of their numbers.
// A panel with a place takes its children there, in their own order; the children of a panel
// without one are ordered among the form's controls by their own numbers. UI thread only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/Form.h"
#include "ui/qt/QtControlHost.h"
#include "ui/qt/QtControls.h"

class QWidget;

namespace pw::ui::qt {

class QtApplication;

class QtForm final : public framework::IForm, public QtControlHost {
  public:
    explicit QtForm(QtApplication& app);
    ~QtForm() override;
    QtForm(const QtForm&) = delete;
    QtForm& operator=(const QtForm&) = delete;

    void SetCaption(std::string_view caption) override;
    std::string Caption() const override;
    // A hidden window hears of the new size at once, and again when it is first shown.
    void SetClientSize(int width, int height) override;
    int ClientWidth() const override;
    int ClientHeight() const override;
    void SetPosition(int left, int top) override;
    void Show() override;
    bool Visible() const override;
    void Close() override;
    void SetStayOnTop(bool stayOnTop) override;
    bool StayOnTop() const override;
    void Repaint() override;

    framework::ILabel& CreateLabel(std::string_view name, framework::IPanel* parent) override;
    framework::IEdit& CreateEdit(std::string_view name, framework::IPanel* parent) override;
    framework::IComboBox& CreateComboBox(std::string_view name, framework::IPanel* parent) override;
    framework::ISpinEdit& CreateSpinEdit(std::string_view name, framework::IPanel* parent) override;
    framework::ICheckBox& CreateCheckBox(std::string_view name, framework::IPanel* parent) override;
    framework::IButton& CreateButton(std::string_view name, bool flat,
                                     framework::IPanel* parent) override;
    framework::IPanel& CreatePanel(std::string_view name) override;
    framework::IControl* FindControl(std::string_view name) const override;

    QWidget* widget() const;

    // QtControlHost, for the controls.
    void RunHandler(const std::function<void()>& handler) override;
    void TabOrderChanged() override;
    void Docked(QtPanel& panel) override;
    void PlaceDockedPanels() override;

  private:
    class Window;
    friend class Window;

    // Checks the name and the parent; the parent's widget, or the form's.
    QWidget& ParentFor(std::string_view name, framework::IPanel* parent) const;
    // Makes a control of class C on the form or on the panel parent and keeps it under its name.
    // The control's own arguments (extra) come before its parent widget and panel.
    template <class C, class... Extra>
    C& Create(std::string_view name, framework::IPanel* parent, Extra&&... extra);
    template <class C, class... Args>
    C& Add(std::string_view name, Args&&... args);

    void Resized();
    void Activated();
    void Hidden();
    void Closing();
    void Closed();

    QtApplication& app_;
    // First member: destroyed after the controls, whose widgets live in it.
    std::unique_ptr<Window> window_;
    std::vector<std::unique_ptr<QtControlBase>> controls_;
    std::map<std::string, framework::IControl*, std::less<>> byName_;
    std::vector<QtPanel*> docked_;  // in docking order: the first is lowest
    bool reflagging_ = false;       // the window is hidden only to take new flags
};

}  // namespace pw::ui::qt
