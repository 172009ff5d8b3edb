#pragma once
// The headless form and its controls: plain objects that hold every property and follow the same
// notification rules as real widgets. Besides the interfaces, each class has a few methods that act
// as the user would (type, choose, click), so tests and the headless checker can drive a window.
// A handler that throws is caught where the back end calls it and shown in the standard error box.
//
// UI thread only. Controls live as long as the form that created them.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Controls.h"
#include "framework/Form.h"
#include "framework/SpinValue.h"

namespace pw::framework {

class HeadlessApplication;
class HeadlessForm;

// The text metrics of the headless back end, a fixed rule that tests can count on: a font of
// p points is n = round(p * 96 / 72) pixels high; its lines are n + 2 pixels apart and every
// character is n / 2 pixels wide (one more when bold). "MS Sans Serif" at 8 points: 13-pixel
// lines of 5-pixel characters.
struct HeadlessFontMetrics {
    int lineHeight;
    int charWidth;
};
HeadlessFontMetrics HeadlessMetrics(const TFont& font);

// The size a text takes in the headless back end: lines break at line feeds and, when wrapWidth
// is above 0, between words so that a line is no wider than wrapWidth (a word wider than that
// stands alone on its line). An empty text is one empty line.
TImageSize HeadlessTextExtent(std::string_view text, const TFont& font, int wrapWidth);

// What every headless control holds. Positions are relative to the parent (form, panel or group
// box).
template <typename Interface>
class HeadlessControl : public Interface {
  public:
    HeadlessControl(HeadlessForm& form, std::string name, IContainer* parent);

    const std::string& Name() const override { return name_; }
    int Left() const override { return left_; }
    int Top() const override { return top_; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetBounds(int left, int top, int width, int height) override;

    bool Visible() const override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    std::string Hint() const override { return hint_; }
    void SetHint(std::string_view hint) override { hint_ = hint; }
    int TabOrder() const override { return tabOrder_; }
    void SetTabOrder(int order) override { tabOrder_ = order; }
    // Only for the kinds that take focus (see TakesFocus), when the user can reach them.
    void SetFocus() override;
    bool Focused() const override;

    // The panel or group box it sits on; null on the form itself.
    IContainer* Parent() const { return parent_; }
    // Whether the user can reach it: it and its container are visible and enabled.
    bool UserCanReach() const;

  protected:
    // Calls a handler as the back end does: an exception goes to the error box.
    void Notify(const std::function<void()>& handler);

    HeadlessForm& form_;

  private:
    std::string name_;
    IContainer* parent_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    std::string hint_;
    int tabOrder_ = -1;
};

// Sizes itself by HeadlessTextExtent.
class HeadlessLabel final : public HeadlessControl<ILabel> {
  public:
    using HeadlessControl::HeadlessControl;
    using ILabel::SetFont;

    void SetBounds(int left, int top, int width, int height) override;
    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override;
    void SetFont(const TFont& font) override;
    TFont Font() const override { return font_; }
    void SetFontColor(TColor color) override { fontColor_ = color; }
    TColor FontColor() const override { return fontColor_; }
    void SetAlignment(TAlignment alignment) override { alignment_ = alignment; }
    TAlignment Alignment() const override { return alignment_; }
    void SetWordWrap(bool wordWrap) override;
    bool WordWrap() const override { return wordWrap_; }
    void SetAutoSize(bool autoSize) override;
    bool AutoSize() const override { return autoSize_; }
    void SetTransparent(bool transparent) override { transparent_ = transparent; }
    bool Transparent() const override { return transparent_; }

  private:
    void AdjustSize();

    std::string caption_;
    TFont font_;
    TColor fontColor_ = clWindowText;
    TAlignment alignment_ = TAlignment::Left;
    bool wordWrap_ = false;
    bool autoSize_ = false;
    bool transparent_ = true;
};

class HeadlessEdit final : public HeadlessControl<IEdit> {
  public:
    using HeadlessControl::HeadlessControl;

    std::string Text() const override { return text_; }
    void SetText(std::string_view text) override;
    TColor Color() const override { return color_; }
    void SetColor(TColor color) override { color_ = color; }
    bool ReadOnly() const override { return readOnly_; }
    void SetReadOnly(bool readOnly) override { readOnly_ = readOnly; }
    TColor FontColor() const override { return fontColor_; }
    void SetFontColor(TColor color) override { fontColor_ = color; }
    char PasswordChar() const override { return passwordChar_; }
    void SetPasswordChar(char passwordChar) override { passwordChar_ = passwordChar; }
    bool Borderless() const override { return borderless_; }
    void SetBorderless(bool borderless) override { borderless_ = borderless; }

    // The user replaces the text by typing: OnChange when it differs. False (nothing happens)
    // when the field is read-only or the user cannot reach it.
    bool UserType(std::string_view text);
    // What the field shows: the text, or one password character for each of its characters.
    std::string ShownText() const;

  private:
    std::string text_;
    TColor color_ = clWindow;
    TColor fontColor_ = clWindowText;
    bool readOnly_ = false;
    char passwordChar_ = '\0';
    bool borderless_ = false;
};

class HeadlessComboBox final : public HeadlessControl<IComboBox> {
  public:
    using HeadlessControl::HeadlessControl;

    // New items select nothing.
    void SetItems(const std::vector<std::string>& items) override;
    std::vector<std::string> Items() const override { return items_; }
    int ItemIndex() const override { return index_; }
    void SetItemIndex(int index) override;
    TColor Color() const override { return color_; }
    void SetColor(TColor color) override { color_ = color; }

    // The user chooses item `index`: OnChange when the selection changes. False (nothing
    // happens) for an index that is not an item, or when the user cannot reach the list.
    bool UserSelect(int index);

  private:
    std::vector<std::string> items_;
    int index_ = -1;
    TColor color_ = clWindow;
};

class HeadlessSpinEdit final : public HeadlessControl<ISpinEdit> {
  public:
    using HeadlessControl::HeadlessControl;

    std::string Text() const override { return text_; }
    void SetText(std::string_view text) override;
    int Value() const override { return ParseSpinValue(text_); }

    // The user types a new text, or presses an arrow (delta +1 or -1 from the current value).
    // False (nothing happens) when the user cannot reach the field.
    bool UserType(std::string_view text);
    bool UserStep(int delta);

  private:
    std::string text_ = "0";
};

class HeadlessCheckBox final : public HeadlessControl<ICheckBox> {
  public:
    using HeadlessControl::HeadlessControl;

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override { caption_ = caption; }
    bool Checked() const override { return checked_; }
    void SetChecked(bool checked) override { checked_ = checked; }

    // The user clicks it: the tick toggles, then OnClick. False when the user cannot reach it.
    bool UserClick();

  private:
    std::string caption_;
    bool checked_ = false;
};

class HeadlessButton final : public HeadlessControl<IButton> {
  public:
    HeadlessButton(HeadlessForm& form, std::string name, IContainer* parent, bool flat)
        : HeadlessControl(form, std::move(name), parent), flat_(flat) {}

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override { caption_ = caption; }
    // The bytes are kept as given; they are not decoded.
    void SetGlyph(std::span<const unsigned char> image) override;
    bool HasGlyph() const override { return !glyph_.empty(); }
    void Click() override;
    DialogResult ModalResult() const override { return modalResult_; }
    void SetModalResult(DialogResult result) override { modalResult_ = result; }
    bool Default() const override { return default_; }
    void SetDefault(bool isDefault) override { default_ = isDefault; }
    bool Cancel() const override { return cancel_; }
    void SetCancel(bool isCancel) override { cancel_ = isCancel; }

    bool Flat() const { return flat_; }
    const std::vector<unsigned char>& Glyph() const { return glyph_; }

  private:
    bool flat_;
    std::string caption_;
    std::vector<unsigned char> glyph_;
    DialogResult modalResult_ = DialogResult::None;
    bool default_ = false;
    bool cancel_ = false;
};

class HeadlessPanel final : public HeadlessControl<IPanel> {
  public:
    using HeadlessControl::HeadlessControl;

    // A docked panel keeps only the height given here; the form places it.
    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;
    void DockBottom(int height) override;
    void SetBevel(TPanelBevel bevel) override { bevel_ = bevel; }
    TPanelBevel Bevel() const override { return bevel_; }

    bool Docked() const { return docked_; }

  private:
    friend class HeadlessForm;
    void Place(int top, int width);

    bool docked_ = false;
    TPanelBevel bevel_ = TPanelBevel::Raised;
};

class HeadlessGroupBox final : public HeadlessControl<IGroupBox> {
  public:
    using HeadlessControl::HeadlessControl;

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override { caption_ = caption; }

  private:
    std::string caption_;
};

class HeadlessProgressBar final : public HeadlessControl<IProgressBar> {
  public:
    using HeadlessControl::HeadlessControl;

    int Min() const override { return min_; }
    int Max() const override { return max_; }
    void SetRange(int min, int max) override;
    int Position() const override { return position_; }
    void SetPosition(int position) override;

  private:
    int min_ = 0, max_ = 100, position_ = 0;
};

class HeadlessBevel final : public HeadlessControl<IBevel> {
  public:
    using HeadlessControl::HeadlessControl;
};

// Takes the bytes for a picture when ImageFileSize reads a size from them; nothing is decoded.
class HeadlessImage final : public HeadlessControl<IImage> {
  public:
    using HeadlessControl::HeadlessControl;

    bool LoadPicture(std::span<const unsigned char> image) override;
    void ClearPicture() override;
    bool HasPicture() const override { return !picture_.empty(); }
    TImageSize PictureSize() const override { return size_; }

    // The bytes of the picture shown.
    const std::vector<unsigned char>& Picture() const { return picture_; }

  private:
    std::vector<unsigned char> picture_;
    TImageSize size_;
};

class HeadlessOpenDialog final : public IOpenDialog {
  public:
    explicit HeadlessOpenDialog(HeadlessApplication& app) : app_(app) {}

    void SetFilter(std::string_view filter) override { filter_ = filter; }
    std::string Filter() const override { return filter_; }
    // Answers with the next answer queued on the application; cancelled when none is queued.
    std::optional<std::string> Execute() override;

  private:
    HeadlessApplication& app_;
    std::string filter_;
};

class HeadlessForm final : public IForm {
  public:
    explicit HeadlessForm(HeadlessApplication& app);
    ~HeadlessForm() override;
    HeadlessForm(const HeadlessForm&) = delete;
    HeadlessForm& operator=(const HeadlessForm&) = delete;

    void SetName(std::string_view name) override { name_ = name; }
    std::string Name() const override { return name_; }
    void SetCaption(std::string_view caption) override { caption_ = caption; }
    std::string Caption() const override { return caption_; }
    // Negative sizes are taken as 0.
    void SetClientSize(int width, int height) override;
    int ClientWidth() const override { return width_; }
    int ClientHeight() const override { return height_; }
    void SetPosition(int left, int top) override;
    void SetBorderStyle(TFormBorderStyle style) override { borderStyle_ = style; }
    TFormBorderStyle BorderStyle() const override { return borderStyle_; }
    // Centred on the application's screen (HeadlessApplication::SetScreenSize); the headless
    // window has no frame, so the client area is centred.
    void SetCentered(bool centered) override { centered_ = centered; }
    bool Centered() const override { return centered_; }
    // The first Show notifies OnResize, then OnActivate; showing a hidden form again activates it.
    void Show() override;
    // The user's part is played by the actions queued on the application
    // (HeadlessApplication::QueueModalAction): whenever the form waits with no message pending,
    // the next action runs on it; with none left, the user closes it with the close box, and if
    // the form refuses that, it ends with Cancel. So a modal form never waits for ever.
    DialogResult ShowModal() override;
    bool Modal() const override { return modal_; }
    void SetModalResult(DialogResult result) override { modalResult_ = result; }
    DialogResult ModalResult() const override { return modalResult_; }
    bool Visible() const override { return visible_; }
    // Never refused: the form closes also when OnClose throws.
    void Close() override;
    void PostSystemClose() override;
    void SetStayOnTop(bool stayOnTop) override { stayOnTop_ = stayOnTop; }
    bool StayOnTop() const override { return stayOnTop_; }
    void Repaint() override { ++repaints_; }

    ILabel& CreateLabel(std::string_view name, IContainer* parent = nullptr) override;
    IEdit& CreateEdit(std::string_view name, IContainer* parent = nullptr) override;
    IComboBox& CreateComboBox(std::string_view name, IContainer* parent = nullptr) override;
    ISpinEdit& CreateSpinEdit(std::string_view name, IContainer* parent = nullptr) override;
    ICheckBox& CreateCheckBox(std::string_view name, IContainer* parent = nullptr) override;
    IButton& CreateButton(std::string_view name, bool flat = false,
                          IContainer* parent = nullptr) override;
    IProgressBar& CreateProgressBar(std::string_view name, IContainer* parent = nullptr) override;
    IBevel& CreateBevel(std::string_view name, IContainer* parent = nullptr) override;
    IImage& CreateImage(std::string_view name, IContainer* parent = nullptr) override;
    IPanel& CreatePanel(std::string_view name) override;
    IGroupBox& CreateGroupBox(std::string_view name) override;
    IControl* FindControl(std::string_view name) const override;

    // --- for tests and the headless checker ---

    // The control of that name as its concrete class; null when there is none or it is another
    // kind.
    template <typename T>
    T* Find(std::string_view name) const {
        return dynamic_cast<T*>(FindControl(name));
    }
    // The window becomes the active window again: OnActivate. False (nothing) while hidden.
    bool Activate();
    // The user presses Enter: clicks the focused button, else the default button. Escape: clicks
    // the cancel button. The close box: the system close command. False (nothing happens) while
    // the form is hidden, or when there is no such button the user can reach.
    bool UserPressEnter();
    bool UserPressEscape();
    bool UserCloseBox();
    // The control with the keyboard focus; null when none has it.
    IControl* FocusedControl() const { return focused_; }
    int Left() const { return left_; }
    int Top() const { return top_; }
    int RepaintCount() const { return repaints_; }
    // The names of the controls in the order the Tab key walks them, whether or not they are
    // visible and enabled now: controls with a tab order of 0 or more, by that order (ties by
    // creation); a panel's or group box's controls in their own order at its place (one with -1
    // keeps them out). Only edit fields, drop-down lists, spin fields, check boxes and buttons
    // that are not flat take focus.
    std::vector<std::string> FocusOrder() const;

    HeadlessApplication& App() const { return app_; }

  private:
    friend class HeadlessPanel;
    friend class HeadlessButton;
    template <typename Interface>
    friend class HeadlessControl;

    template <typename T, typename... Args>
    T& Add(std::string_view name, IContainer* parent, Args&&... args);
    IContainer* OwnContainer(IContainer* parent) const;
    void Dock(HeadlessPanel* panel);
    void LayOutDocked();
    void Notify(const std::function<void()>& handler);
    // The system close command: asks OnSystemClose, then closes.
    void SystemClose();
    // Hides the window after OnClose.
    void CloseNow();
    // The first button the user can reach for which pick says yes.
    HeadlessButton* FindButton(bool (*pick)(const HeadlessButton&)) const;
    // A button clicked while shown modally hands its modal result here.
    void ButtonClicked(const HeadlessButton& button);

    HeadlessApplication& app_;
    std::string name_;
    std::string caption_;
    int width_ = 0, height_ = 0, left_ = 0, top_ = 0;
    bool visible_ = false;
    bool shown_ = false;
    bool stayOnTop_ = false;
    bool centered_ = false;
    bool modal_ = false;
    TFormBorderStyle borderStyle_ = TFormBorderStyle::Sizeable;
    DialogResult modalResult_ = DialogResult::None;
    int repaints_ = 0;
    IControl* focused_ = nullptr;
    // Posted system close commands check it: they are dropped once the form is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    struct Entry {
        std::unique_ptr<IControl> control;
        IContainer* parent;
    };
    std::vector<Entry> controls_;  // in creation order
    std::map<std::string, IControl*, std::less<>> byName_;
    std::vector<HeadlessPanel*> docked_;  // in the order they were docked: bottom-most first
};

}  // namespace pw::framework
