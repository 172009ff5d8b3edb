#pragma once
// The Qt widgets behind the framework's controls. A control owns its widget, which also sits in
// the form's widget tree under the control's name (its object name). The form destroys the
// controls before its own widget, newest first, so Qt's parents never delete a widget twice.
// Texts are Latin-1 (QtSupport.h). UI thread only.

#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/SpinValue.h"
#include "ui/qt/QtControlHost.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtSupport.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

namespace pw::ui::qt {

class QtPanel;
class SpinField;

// How a control takes part in keyboard focus.
enum class FocusKind {
    None,    // never (labels, panels, flat buttons)
    Button,  // only while it has a place in the tab order
    Entry,   // in the tab order while it has a place; else still by a click, to be typed into
};

// Converts a filter of the platform's open dialog ("Sounds|*.wav|All|*.*", patterns split by ';')
// into Qt's ("Sounds (*.wav);;All (*.*)").
QString QtFileFilter(std::string_view filter);

// QColor of a TColor: system colours come from the widget's palette, plain colours are 0x00BBGGRR.
QColor ToQColor(framework::TColor color, const QWidget& widget);

// What the form keeps of every control, whatever its interface. The host is the form.
class QtControlBase {
  public:
    QtControlBase(QtControlHost& host, std::string name, QWidget& widget, QtPanel* panel,
                  FocusKind focus);
    virtual ~QtControlBase() = default;
    QtControlBase(const QtControlBase&) = delete;
    QtControlBase& operator=(const QtControlBase&) = delete;

    QWidget& widget() const { return widget_; }
    QtPanel* panel() const { return panel_; }
    QtControlHost& host() const { return host_; }
    int tabOrder() const { return tabOrder_; }
    // Sets the focus policy that the control's kind and its place in the order call for.
    void ApplyFocusPolicy();

  protected:
    QtControlHost& host_;
    const std::string name_;
    QWidget& widget_;
    QtPanel* const panel_;
    const FocusKind focus_;
    const Qt::FocusPolicy naturalPolicy_;
    int tabOrder_ = -1;

    void SetOrder(int order);
};

// IControl over a widget; I is the control's interface.
template <class I>
class QtControl : public I, public QtControlBase {
  public:
    using QtControlBase::QtControlBase;

    const std::string& Name() const override { return name_; }
    int Left() const override { return widget_.x(); }
    int Top() const override { return widget_.y(); }
    int Width() const override { return widget_.width(); }
    int Height() const override { return widget_.height(); }
    void SetBounds(int left, int top, int width, int height) override {
        widget_.setGeometry(left, top, std::max(width, 0), std::max(height, 0));
    }
    bool Visible() const override { return !widget_.isHidden(); }
    void SetVisible(bool visible) override { widget_.setVisible(visible); }
    // The control's own state, whatever its panel's.
    bool Enabled() const override { return widget_.isEnabledTo(widget_.parentWidget()); }
    void SetEnabled(bool enabled) override { widget_.setEnabled(enabled); }
    std::string Hint() const override { return ToLatin1(widget_.toolTip()); }
    void SetHint(std::string_view hint) override { widget_.setToolTip(FromLatin1(hint)); }
    int TabOrder() const override { return tabOrder_; }
    void SetTabOrder(int order) override { SetOrder(order); }
};

class QtLabel final : public QtControl<framework::ILabel> {
  public:
    QtLabel(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel);
    ~QtLabel() override;

    std::string Caption() const override;
    void SetCaption(std::string_view caption) override;
    void SetFont(int pointSize, bool bold) override;
    int FontSize() const override;
    bool Bold() const override;
    void SetAlignment(framework::TAlignment alignment) override;
    framework::TAlignment Alignment() const override { return alignment_; }

  private:
    QtLabel(QtControlHost& host, std::string name, std::unique_ptr<QLabel> label, QtPanel* panel);
    std::unique_ptr<QLabel> label_;
    framework::TAlignment alignment_ = framework::TAlignment::Left;
    int fontSize_ = kWindowFontPoints;  // the design size; the label draws in its DesignFont
};

class QtEdit final : public QtControl<framework::IEdit> {
  public:
    QtEdit(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel);
    ~QtEdit() override;

    std::string Text() const override;
    void SetText(std::string_view text) override;
    framework::TColor Color() const override { return color_; }
    void SetColor(framework::TColor color) override;
    bool ReadOnly() const override;
    void SetReadOnly(bool readOnly) override;

  private:
    QtEdit(QtControlHost& host, std::string name, std::unique_ptr<QLineEdit> edit, QtPanel* panel);
    std::unique_ptr<QLineEdit> edit_;
    framework::TColor color_ = framework::clWindow;
};

class QtComboBox final : public QtControl<framework::IComboBox> {
  public:
    QtComboBox(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel);
    ~QtComboBox() override;

    void SetItems(const std::vector<std::string>& items) override;
    std::vector<std::string> Items() const override;
    int ItemIndex() const override;
    void SetItemIndex(int index) override;
    framework::TColor Color() const override { return color_; }
    void SetColor(framework::TColor color) override;

  private:
    QtComboBox(QtControlHost& host, std::string name, std::unique_ptr<QComboBox> combo,
               QtPanel* panel);
    std::unique_ptr<QComboBox> combo_;
    framework::TColor color_ = framework::clWindow;
};

class QtSpinEdit final : public QtControl<framework::ISpinEdit> {
  public:
    QtSpinEdit(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel);
    ~QtSpinEdit() override;

    std::string Text() const override;
    void SetText(std::string_view text) override;
    int Value() const override { return framework::ParseSpinValue(Text()); }

  private:
    QtSpinEdit(QtControlHost& host, std::string name, std::unique_ptr<SpinField> spin,
               QtPanel* panel);
    std::unique_ptr<SpinField> spin_;
};

class QtCheckBox final : public QtControl<framework::ICheckBox> {
  public:
    QtCheckBox(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel);
    ~QtCheckBox() override;

    std::string Caption() const override;
    void SetCaption(std::string_view caption) override;
    bool Checked() const override;
    void SetChecked(bool checked) override;

  private:
    QtCheckBox(QtControlHost& host, std::string name, std::unique_ptr<QCheckBox> box,
               QtPanel* panel);
    std::unique_ptr<QCheckBox> box_;
};

// A QPushButton, or for the flat kind an auto-raised QToolButton that takes no focus.
class QtButton final : public QtControl<framework::IButton> {
  public:
    QtButton(QtControlHost& host, std::string name, bool flat, QWidget& parent, QtPanel* panel);
    ~QtButton() override;

    std::string Caption() const override;
    void SetCaption(std::string_view caption) override;
    // An image that does not decode leaves the button without a picture.
    void SetGlyph(std::span<const unsigned char> image) override;
    bool HasGlyph() const override { return hasGlyph_; }
    void Click() override;

  private:
    QtButton(QtControlHost& host, std::string name, bool flat,
             std::unique_ptr<QAbstractButton> button, QtPanel* panel);
    std::unique_ptr<QAbstractButton> button_;
    bool hasGlyph_ = false;
};

// A raised QFrame. The form places docked panels; hiding one gives its room to the others.
class QtPanel final : public QtControl<framework::IPanel> {
  public:
    QtPanel(QtControlHost& host, std::string name, QWidget& parent);
    ~QtPanel() override;

    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;
    void DockBottom(int height) override;

    bool Docked() const { return docked_; }
    int DockHeight() const { return dockHeight_; }

  private:
    QtPanel(QtControlHost& host, std::string name, std::unique_ptr<QFrame> frame);
    std::unique_ptr<QFrame> frame_;
    bool docked_ = false;
    int dockHeight_ = 0;
};

class QtOpenDialog final : public framework::IOpenDialog {
  public:
    // parent: the window the dialog belongs to (null: none).
    explicit QtOpenDialog(std::function<QWidget*()> parent) : parent_(std::move(parent)) {}

    void SetFilter(std::string_view filter) override { filter_ = filter; }
    std::string Filter() const override { return filter_; }
    // The path in the file system's own bytes, ready to be opened.
    std::optional<std::string> Execute() override;

  private:
    std::function<QWidget*()> parent_;
    std::string filter_;
};

}  // namespace pw::ui::qt
