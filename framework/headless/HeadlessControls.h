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
class HeadlessPanel;

// What every headless control holds. Positions are relative to the parent (form or panel).
template <typename Interface>
class HeadlessControl : public Interface {
  public:
    HeadlessControl(HeadlessForm& form, std::string name, HeadlessPanel* parent);

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

    // The panel it sits on; null on the form itself.
    HeadlessPanel* Parent() const { return parent_; }
    // Whether the user can reach it: it and its panel are visible and enabled.
    bool UserCanReach() const;

  protected:
    // Calls a handler as the back end does: an exception goes to the error box.
    void Notify(const std::function<void()>& handler);

    HeadlessForm& form_;

  private:
    std::string name_;
    HeadlessPanel* parent_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    std::string hint_;
    int tabOrder_ = -1;
};

class HeadlessLabel final : public HeadlessControl<ILabel> {
  public:
    using HeadlessControl::HeadlessControl;

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override { caption_ = caption; }
    void SetFont(int pointSize, bool bold) override;
    int FontSize() const override { return fontSize_; }
    bool Bold() const override { return bold_; }
    void SetAlignment(TAlignment alignment) override { alignment_ = alignment; }
    TAlignment Alignment() const override { return alignment_; }

  private:
    std::string caption_;
    int fontSize_ = 8;
    bool bold_ = false;
    TAlignment alignment_ = TAlignment::Left;
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

    // The user replaces the text by typing: OnChange when it differs. False (nothing happens)
    // when the field is read-only or the user cannot reach it.
    bool UserType(std::string_view text);

  private:
    std::string text_;
    TColor color_ = clWindow;
    bool readOnly_ = false;
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
    HeadlessButton(HeadlessForm& form, std::string name, HeadlessPanel* parent, bool flat)
        : HeadlessControl(form, std::move(name), parent), flat_(flat) {}

    std::string Caption() const override { return caption_; }
    void SetCaption(std::string_view caption) override { caption_ = caption; }
    // The bytes are kept as given; they are not decoded.
    void SetGlyph(std::span<const unsigned char> image) override;
    bool HasGlyph() const override { return !glyph_.empty(); }
    void Click() override;

    bool Flat() const { return flat_; }
    const std::vector<unsigned char>& Glyph() const { return glyph_; }

  private:
    bool flat_;
    std::string caption_;
    std::vector<unsigned char> glyph_;
};

class HeadlessPanel final : public HeadlessControl<IPanel> {
  public:
    using HeadlessControl::HeadlessControl;

    // A docked panel keeps only the height given here; the form places it.
    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;
    void DockBottom(int height) override;

    bool Docked() const { return docked_; }

  private:
    friend class HeadlessForm;
    void Place(int top, int width);

    bool docked_ = false;
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

    void SetCaption(std::string_view caption) override { caption_ = caption; }
    std::string Caption() const override { return caption_; }
    // Negative sizes are taken as 0.
    void SetClientSize(int width, int height) override;
    int ClientWidth() const override { return width_; }
    int ClientHeight() const override { return height_; }
    void SetPosition(int left, int top) override;
    // The first Show notifies OnResize, then OnActivate; showing a hidden form again activates it.
    void Show() override;
    bool Visible() const override { return visible_; }
    // Never refused: the form closes also when OnClose throws.
    void Close() override;
    void SetStayOnTop(bool stayOnTop) override { stayOnTop_ = stayOnTop; }
    bool StayOnTop() const override { return stayOnTop_; }
    void Repaint() override { ++repaints_; }

    ILabel& CreateLabel(std::string_view name, IPanel* parent = nullptr) override;
    IEdit& CreateEdit(std::string_view name, IPanel* parent = nullptr) override;
    IComboBox& CreateComboBox(std::string_view name, IPanel* parent = nullptr) override;
    ISpinEdit& CreateSpinEdit(std::string_view name, IPanel* parent = nullptr) override;
    ICheckBox& CreateCheckBox(std::string_view name, IPanel* parent = nullptr) override;
    IButton& CreateButton(std::string_view name, bool flat = false,
                          IPanel* parent = nullptr) override;
    IPanel& CreatePanel(std::string_view name) override;
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
    int Left() const { return left_; }
    int Top() const { return top_; }
    int RepaintCount() const { return repaints_; }
    // The names of the controls in the order the Tab key walks them, whether or not they are
    // visible and enabled now: controls with a tab order of 0 or more, by that order (ties by
    // creation); a panel's controls in their own order at the panel's place (a panel with -1
    // keeps them out). Labels and flat buttons take no focus.
    std::vector<std::string> FocusOrder() const;

    HeadlessApplication& App() const { return app_; }

  private:
    friend class HeadlessPanel;

    template <typename T, typename... Args>
    T& Add(std::string_view name, IPanel* parent, Args&&... args);
    HeadlessPanel* OwnPanel(IPanel* parent) const;
    void Dock(HeadlessPanel* panel);
    void LayOutDocked();
    void Notify(const std::function<void()>& handler);

    HeadlessApplication& app_;
    std::string caption_;
    int width_ = 0, height_ = 0, left_ = 0, top_ = 0;
    bool visible_ = false;
    bool shown_ = false;
    bool stayOnTop_ = false;
    int repaints_ = 0;
    struct Entry {
        std::unique_ptr<IControl> control;
        HeadlessPanel* parent;
    };
    std::vector<Entry> controls_;  // in creation order
    std::map<std::string, IControl*, std::less<>> byName_;
    std::vector<HeadlessPanel*> docked_;  // in the order they were docked: bottom-most first
};

}  // namespace pw::framework
