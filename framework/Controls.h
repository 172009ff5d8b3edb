#pragma once
// The controls a window is made of. A form creates them (IForm::Create...) and owns them; each
// has a name by which tests and the Qt object tree find it. Positions are client pixels of the
// parent (the form, or a panel). UI thread only.
//
// As in the toolkit the window was designed for, setting a text or a value from code notifies
// OnChange too; choosing an item in code (SetItemIndex) does not, only the user's choice does.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pw::framework {

// Colours in the platform's encoding: system colours have the top bit set, plain colours hold
// red in the low byte.
using TColor = std::uint32_t;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clRed = 0x0000FF;
// "Could not check": a failed fetch under "Presence".
inline constexpr TColor clAmber = 0x0080FF;

enum class TAlignment { Left, Center };

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
    // A negative width is taken as 0.
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }

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
};

class ILabel : public IControl {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(std::string_view caption) = 0;
    virtual void SetFont(int pointSize, bool bold) = 0;
    virtual int FontSize() const = 0;
    virtual bool Bold() const = 0;
    // Centred text is centred within the label's width.
    virtual void SetAlignment(TAlignment alignment) = 0;
    virtual TAlignment Alignment() const = 0;
};

class IEdit : public IControl {
  public:
    // Bytes in the system's 8-bit code page (the Qt back end converts from and to Latin-1).
    virtual std::string Text() const = 0;
    virtual void SetText(std::string_view text) = 0;  // notifies OnChange
    virtual TColor Color() const = 0;
    virtual void SetColor(TColor color) = 0;
    virtual bool ReadOnly() const = 0;
    virtual void SetReadOnly(bool readOnly) = 0;

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

    std::function<void()> OnClick;
};

class IPanel : public IControl {
  public:
    // Docked to the bottom edge of its parent, across its whole width, above panels docked
    // earlier; the height is kept.
    virtual void DockBottom(int height) = 0;
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
