#pragma once
// The Qt widgets behind the framework's controls. A control owns its widget, which also sits in
// the form's widget tree under the control's name (its object name). The form destroys the
// controls before its own widget, newest first, so Qt's parents never delete a widget twice.
// Display texts keep the bytes they were given; edit texts are Latin-1 (QtSupport.h). UI thread
// only.

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
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QStyle;

namespace pw::ui::qt {

class SpinField;

// How a control takes part in keyboard focus.
enum class FocusKind {
    None,    // never (labels, panels, group boxes, bars, lines, pictures, flat buttons)
    Button,  // only while it has a place in the tab order
    Entry,   // in the tab order while it has a place; else still by a click, to be typed into
};

// Converts a filter of the platform's open dialog ("Sounds|*.wav|All|*.*", patterns split by ';')
// into Qt's ("Sounds (*.wav);;All (*.*)").
QString QtFileFilter(std::string_view filter);

// QColor of a TColor: system colours come from the widget's palette, plain colours are 0x00BBGGRR.
QColor ToQColor(framework::TColor color, const QWidget& widget);

// What the form keeps of every control, whatever its interface. The host is the form; the
// container is the panel or group box the control sits on (null: the form).
class QtControlBase {
  public:
    QtControlBase(QtControlHost& host, std::string name, QWidget& widget, QtControlBase* container,
                  FocusKind focus);
    virtual ~QtControlBase() = default;
    QtControlBase(const QtControlBase&) = delete;
    QtControlBase& operator=(const QtControlBase&) = delete;

    QWidget& widget() const { return widget_; }
    QtControlBase* container() const { return container_; }
    QtControlHost& host() const { return host_; }
    int tabOrder() const { return tabOrder_; }
    // Sets the focus policy that the control's kind and its place in the order call for.
    void ApplyFocusPolicy();

  protected:
    QtControlHost& host_;
    const std::string name_;
    QWidget& widget_;
    QtControlBase* const container_;
    const FocusKind focus_;
    const Qt::FocusPolicy naturalPolicy_;
    int tabOrder_ = -1;

    void SetOrder(int order);
    void TakeFocus();
    bool HasFocus() const;
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
    void SetFocus() override { TakeFocus(); }
    bool Focused() const override { return HasFocus(); }
};

// A QLabel that sizes itself with QLabel's own measure of its text (sizeHint, heightForWidth).
class QtLabel final : public QtControl<framework::ILabel> {
  public:
    QtLabel(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtLabel() override;
    using ILabel::SetFont;

    void SetBounds(int left, int top, int width, int height) override;
    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override;
    void SetFont(const framework::TFont& font) override;
    framework::TFont Font() const override { return font_; }
    void SetFontColor(framework::TColor color) override;
    framework::TColor FontColor() const override { return fontColor_; }
    void SetAlignment(framework::TAlignment alignment) override;
    framework::TAlignment Alignment() const override { return alignment_; }
    void SetWordWrap(bool wordWrap) override;
    bool WordWrap() const override { return wordWrap_; }
    void SetAutoSize(bool autoSize) override;
    bool AutoSize() const override { return autoSize_; }
    void SetTransparent(bool transparent) override;
    bool Transparent() const override { return transparent_; }

  private:
    QtLabel(QtControlHost& host, std::string name, std::unique_ptr<QLabel> label,
            QtControlBase* container);
    void AdjustSize();

    std::unique_ptr<QLabel> label_;
    std::string caption_;
    framework::TFont font_;  // the design font; the label draws in its DesignFont
    framework::TColor fontColor_ = framework::clWindowText;
    framework::TAlignment alignment_ = framework::TAlignment::Left;
    bool wordWrap_ = false;
    bool autoSize_ = false;
    bool transparent_ = true;
};

class QtEdit final : public QtControl<framework::IEdit> {
  public:
    QtEdit(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtEdit() override;

    std::string Text() const override;
    void SetText(std::string_view text) override;
    framework::TColor Color() const override { return color_; }
    void SetColor(framework::TColor color) override;
    bool ReadOnly() const override;
    void SetReadOnly(bool readOnly) override;
    framework::TColor FontColor() const override { return fontColor_; }
    void SetFontColor(framework::TColor color) override;
    char PasswordChar() const override { return passwordChar_; }
    // Qt's own mask character (a bullet) gives way to this one through a style of the field's
    // own.
    void SetPasswordChar(char passwordChar) override;
    bool Borderless() const override;
    void SetBorderless(bool borderless) override;

  private:
    QtEdit(QtControlHost& host, std::string name, std::unique_ptr<QLineEdit> edit,
           QtControlBase* container);
    // Before the field: it must outlive the widget that uses it.
    std::unique_ptr<QStyle> passwordStyle_;
    std::unique_ptr<QLineEdit> edit_;
    framework::TColor color_ = framework::clWindow;
    framework::TColor fontColor_ = framework::clWindowText;
    char passwordChar_ = '\0';
};

class QtComboBox final : public QtControl<framework::IComboBox> {
  public:
    QtComboBox(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtComboBox() override;

    void SetItems(const std::vector<std::string>& items) override;
    std::vector<std::string> Items() const override;
    int ItemIndex() const override;
    void SetItemIndex(int index) override;
    framework::TColor Color() const override { return color_; }
    void SetColor(framework::TColor color) override;

  private:
    QtComboBox(QtControlHost& host, std::string name, std::unique_ptr<QComboBox> combo,
               QtControlBase* container);
    std::unique_ptr<QComboBox> combo_;
    framework::TColor color_ = framework::clWindow;
};

class QtSpinEdit final : public QtControl<framework::ISpinEdit> {
  public:
    QtSpinEdit(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtSpinEdit() override;

    std::string Text() const override;
    void SetText(std::string_view text) override;
    int Value() const override { return framework::ParseSpinValue(Text()); }

  private:
    QtSpinEdit(QtControlHost& host, std::string name, std::unique_ptr<SpinField> spin,
               QtControlBase* container);
    std::unique_ptr<SpinField> spin_;
};

class QtCheckBox final : public QtControl<framework::ICheckBox> {
  public:
    QtCheckBox(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtCheckBox() override;

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override;
    bool Checked() const override;
    void SetChecked(bool checked) override;

  private:
    QtCheckBox(QtControlHost& host, std::string name, std::unique_ptr<QCheckBox> box,
               QtControlBase* container);
    std::unique_ptr<QCheckBox> box_;
    std::string caption_;
};

// A QPushButton, or for the flat kind an auto-raised QToolButton that takes no focus. The form
// handles Enter and Escape for the default and cancel buttons (QPushButton's own default is a
// QDialog's).
class QtButton final : public QtControl<framework::IButton> {
  public:
    QtButton(QtControlHost& host, std::string name, bool flat, QWidget& parent,
             QtControlBase* container);
    ~QtButton() override;

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override;
    // An image that does not decode leaves the button without a picture.
    void SetGlyph(std::span<const unsigned char> image) override;
    bool HasGlyph() const override { return hasGlyph_; }
    void Click() override;
    framework::DialogResult ModalResult() const override { return modalResult_; }
    void SetModalResult(framework::DialogResult result) override { modalResult_ = result; }
    bool Default() const override { return default_; }
    // Also drawn as the default button.
    void SetDefault(bool isDefault) override;
    bool Cancel() const override { return cancel_; }
    void SetCancel(bool isCancel) override { cancel_ = isCancel; }

    QAbstractButton& button() const { return *button_; }

  private:
    QtButton(QtControlHost& host, std::string name, bool flat,
             std::unique_ptr<QAbstractButton> button, QtControlBase* container);
    std::unique_ptr<QAbstractButton> button_;
    std::string caption_;
    bool hasGlyph_ = false;
    framework::DialogResult modalResult_ = framework::DialogResult::None;
    bool default_ = false;
    bool cancel_ = false;
};

// A QFrame, raised at first. The form places docked panels; hiding one gives its room to the
// others.
class QtPanel final : public QtControl<framework::IPanel> {
  public:
    QtPanel(QtControlHost& host, std::string name, QWidget& parent);
    ~QtPanel() override;

    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;
    void DockBottom(int height) override;
    void SetBevel(framework::TPanelBevel bevel) override;
    framework::TPanelBevel Bevel() const override { return bevel_; }

    bool Docked() const { return docked_; }
    int DockHeight() const { return dockHeight_; }

  private:
    QtPanel(QtControlHost& host, std::string name, std::unique_ptr<QFrame> frame);
    std::unique_ptr<QFrame> frame_;
    bool docked_ = false;
    int dockHeight_ = 0;
    framework::TPanelBevel bevel_ = framework::TPanelBevel::Raised;
};

class QtGroupBox final : public QtControl<framework::IGroupBox> {
  public:
    QtGroupBox(QtControlHost& host, std::string name, QWidget& parent);
    ~QtGroupBox() override;

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override;

  private:
    QtGroupBox(QtControlHost& host, std::string name, std::unique_ptr<QGroupBox> box);
    std::unique_ptr<QGroupBox> box_;
    std::string caption_;
};

// A QProgressBar without the percentage text.
class QtProgressBar final : public QtControl<framework::IProgressBar> {
  public:
    QtProgressBar(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtProgressBar() override;

    int Min() const override;
    int Max() const override;
    void SetRange(int min, int max) override;
    int Position() const override;
    void SetPosition(int position) override;

  private:
    QtProgressBar(QtControlHost& host, std::string name, std::unique_ptr<QProgressBar> bar,
                  QtControlBase* container);
    std::unique_ptr<QProgressBar> bar_;
};

class BevelLine;

// Two lines along the top, in the palette's dark and light shades. Clicks go through it.
class QtBevel final : public QtControl<framework::IBevel> {
  public:
    QtBevel(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtBevel() override;

  private:
    QtBevel(QtControlHost& host, std::string name, std::unique_ptr<BevelLine> line,
            QtControlBase* container);
    std::unique_ptr<BevelLine> line_;
};

// A QLabel that stretches its picture. Bytes are taken only when they are a PNG or BMP by their
// header (as in the headless back end) and Qt decodes them.
class QtImage final : public QtControl<framework::IImage> {
  public:
    QtImage(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container);
    ~QtImage() override;

    bool LoadPicture(std::span<const unsigned char> image) override;
    void ClearPicture() override;
    bool HasPicture() const override { return size_.width != 0; }
    framework::TImageSize PictureSize() const override { return size_; }

  private:
    QtImage(QtControlHost& host, std::string name, std::unique_ptr<QLabel> label,
            QtControlBase* container);
    std::unique_ptr<QLabel> label_;
    framework::TImageSize size_;
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
