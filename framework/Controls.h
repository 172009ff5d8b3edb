#pragma once
// The controls a window is made of. A form creates them (IForm::Create...) and owns them; each
// has a name by which tests and the Qt object tree find it. Positions are client pixels of the
// parent (the form, or a panel). UI thread only.
//
// As in the toolkit the window was designed for, setting a text or a value from code notifies
// OnChange too; choosing an item in code (SetItemIndex) does not, only the user's choice does.
//
// Display texts (captions of forms, labels, buttons, check boxes and group boxes, message texts)
// are UTF-8 when their bytes are valid UTF-8 and bytes of the 8-bit code page otherwise
// (framework/DisplayText.h); they come back as they were given. The texts of edit fields and
// drop-down lists are always bytes of the 8-bit code page, since the user types them.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Dialogs.h"
#include "framework/ImageInfo.h"

namespace pw::framework {

// Colours in the platform's encoding: system colours have the top bit set, plain colours hold
// red in the low byte.
using TColor = std::uint32_t;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clHighlight = 0x8000000D;
inline constexpr TColor clBtnShadow = 0x80000010;
inline constexpr TColor clBtnHighlight = 0x80000014;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clRed = 0x0000FF;
// "Could not check": a failed fetch under "Presence".
inline constexpr TColor clAmber = 0x0080FF;

enum class TAlignment { Left, Center };

// The face the windows were designed in; every control starts in it at 8 points.
inline constexpr std::string_view kDesignFontName = "MS Sans Serif";

// A font as a window names it. The back end draws it in a face of the desktop that fits the same
// pixels (one table per back end maps the names and sizes the windows use).
struct TFont {
    std::string name{kDesignFontName};
    int size = 8;  // points
    bool bold = false;
    bool italic = false;

    bool operator==(const TFont&) const = default;
};

class IControl {
  public:
    virtual ~IControl() = default;

    virtual const std::string& Name() const = 0;
    virtual int Left() const = 0;
    virtual int Top() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetBounds(int left, int top, int width, int height) = 0;
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    // A negative width or height is taken as 0.
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }

    virtual bool Visible() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    // The tooltip; empty shows none.
    virtual std::string Hint() const = 0;
    virtual void SetHint(std::string_view hint) = 0;
    // Position in the focus order; -1 (the default) takes no focus.
    virtual int TabOrder() const = 0;
    virtual void SetTabOrder(int order) = 0;
    // Gives it the keyboard focus; nothing for a control that takes none (a label, a panel) or
    // that the user cannot reach now. Focused: it has the focus of its window.
    virtual void SetFocus() = 0;
    virtual bool Focused() const = 0;
};

// A control that holds others: a panel or a group box. Its controls are placed in its own
// pixels and go with it when it is hidden or disabled.
class IContainer : public IControl {};

// A text. A new label keeps the size it is given; with AutoSize it sizes itself to its text
// whenever the text, the font or (word-wrapped) the width changes: a label on one line takes the
// text's width and height, a word-wrapped one keeps its width and takes the height of the lines
// the text wraps into. Lines also break at line feeds.
class ILabel : public IControl {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(std::string_view caption) = 0;
    virtual void SetFont(const TFont& font) = 0;
    virtual TFont Font() const = 0;
    // The size (a size below 1 keeps the current one) and weight of the current face.
    void SetFont(int pointSize, bool bold) {
        TFont font = Font();
        if (pointSize > 0) font.size = pointSize;
        font.bold = bold;
        SetFont(font);
    }
    int FontSize() const { return Font().size; }
    bool Bold() const { return Font().bold; }
    // The colour of the text; clWindowText at first.
    virtual void SetFontColor(TColor color) = 0;
    virtual TColor FontColor() const = 0;
    // Centred text is centred within the label's width.
    virtual void SetAlignment(TAlignment alignment) = 0;
    virtual TAlignment Alignment() const = 0;
    virtual void SetWordWrap(bool wordWrap) = 0;
    virtual bool WordWrap() const = 0;
    // Off at first.
    virtual void SetAutoSize(bool autoSize) = 0;
    virtual bool AutoSize() const = 0;
    // A transparent label (the default) lets what lies under it show between its letters; an
    // opaque one fills its box with the window's colour first.
    virtual void SetTransparent(bool transparent) = 0;
    virtual bool Transparent() const = 0;
};

class IEdit : public IControl {
  public:
    // Bytes in the system's 8-bit code page (the Qt back end converts from and to Latin-1).
    virtual std::string Text() const = 0;
    virtual void SetText(std::string_view text) = 0;  // notifies OnChange
    virtual TColor Color() const = 0;
    virtual void SetColor(TColor color) = 0;
    // Read-only: typed characters are discarded, the text can still be selected and copied.
    virtual bool ReadOnly() const = 0;
    virtual void SetReadOnly(bool readOnly) = 0;
    // The colour of the text; clWindowText at first.
    virtual TColor FontColor() const = 0;
    virtual void SetFontColor(TColor color) = 0;
    // Shows every character as this one (the text itself is kept); '\0' (the default) shows the
    // text.
    virtual char PasswordChar() const = 0;
    virtual void SetPasswordChar(char passwordChar) = 0;
    // Without the sunken frame: the text alone on the field's colour.
    virtual bool Borderless() const = 0;
    virtual void SetBorderless(bool borderless) = 0;

    std::function<void()> OnChange;
};

class IComboBox : public IControl {
  public:
    virtual void SetItems(const std::vector<std::string>& items) = 0;
    virtual std::vector<std::string> Items() const = 0;
    // -1: nothing selected.
    virtual int ItemIndex() const = 0;
    virtual void SetItemIndex(int index) = 0;  // an index out of range selects nothing
    virtual TColor Color() const = 0;
    virtual void SetColor(TColor color) = 0;

    // The user chose an item.
    std::function<void()> OnChange;
};

// An integer field with up and down arrows: no bounds, step 1.
class ISpinEdit : public IControl {
  public:
    virtual std::string Text() const = 0;
    virtual void SetText(std::string_view text) = 0;  // notifies OnChange
    // The integer the text spells; a text that is not an integer counts as 0.
    virtual int Value() const = 0;
    void SetValue(int value) { SetText(std::to_string(value)); }

    std::function<void()> OnChange;
};

class ICheckBox : public IControl {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(std::string_view caption) = 0;
    virtual bool Checked() const = 0;
    virtual void SetChecked(bool checked) = 0;  // does not notify OnClick

    // The user clicked it.
    std::function<void()> OnClick;
};

// A push button; a flat one is the small kind that takes no focus.
class IButton : public IControl {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(std::string_view caption) = 0;
    // A small picture beside the caption: an image file's bytes (PNG); empty removes it.
    virtual void SetGlyph(std::span<const unsigned char> image) = 0;
    virtual bool HasGlyph() const = 0;
    // Clicks it as the user would (nothing when disabled or hidden).
    virtual void Click() = 0;
    // A click on a form shown modally first sets the form's modal result to this (None, the
    // default: no effect), which closes the form once OnClick has returned.
    virtual DialogResult ModalResult() const = 0;
    virtual void SetModalResult(DialogResult result) = 0;
    // The default button is clicked by Enter anywhere in its window (unless another button has
    // the focus, which Enter then clicks); the cancel button by Escape.
    virtual bool Default() const = 0;
    virtual void SetDefault(bool isDefault) = 0;
    virtual bool Cancel() const = 0;
    virtual void SetCancel(bool isCancel) = 0;

    std::function<void()> OnClick;
};

enum class TPanelBevel { None, Raised, Lowered };

class IPanel : public IContainer {
  public:
    // Docked to the bottom edge of its parent, across its whole width, above panels docked
    // earlier; the height is kept.
    virtual void DockBottom(int height) = 0;
    // The frame around it; raised at first.
    virtual void SetBevel(TPanelBevel bevel) = 0;
    virtual TPanelBevel Bevel() const = 0;
};

// A frame with a caption in its top edge around the controls it holds.
class IGroupBox : public IContainer {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(std::string_view caption) = 0;
};

// A bar that fills from the left as Position goes from Min to Max (0 and 100 at first).
class IProgressBar : public IControl {
  public:
    virtual int Min() const = 0;
    virtual int Max() const = 0;
    // A max below min is taken as min; the position is brought into the new range.
    virtual void SetRange(int min, int max) = 0;
    virtual int Position() const = 0;
    // Brought into the range.
    virtual void SetPosition(int position) = 0;
};

// An engraved line along its top edge, the width of the control.
class IBevel : public IControl {};

// A picture stretched to the control's size.
class IImage : public IControl {
  public:
    // Shows an image file's bytes (PNG or BMP). False, with the picture left as it was, when the
    // bytes are no such image.
    virtual bool LoadPicture(std::span<const unsigned char> image) = 0;
    virtual void ClearPicture() = 0;
    virtual bool HasPicture() const = 0;
    // The picture's own size in pixels (0 x 0 without one), whatever the control's size.
    virtual TImageSize PictureSize() const = 0;
};

class IOpenDialog {
  public:
    virtual ~IOpenDialog() = default;
    // "Name|pattern[|Name|pattern...]", e.g. "Sounds|*.wav".
    virtual void SetFilter(std::string_view filter) = 0;
    virtual std::string Filter() const = 0;
    // Shows the dialog modally; the chosen file's full path, or nullopt when cancelled.
    virtual std::optional<std::string> Execute() = 0;
};

}  // namespace pw::framework
