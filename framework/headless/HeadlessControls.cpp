#include "framework/headless/HeadlessControls.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "framework/DisplayText.h"
#include "framework/headless/HeadlessApplication.h"

namespace pw::framework {

// --- text metrics ---

HeadlessFontMetrics HeadlessMetrics(const TFont& font) {
    const int pixels = static_cast<int>(std::lround(std::max(font.size, 1) * 96.0 / 72.0));
    return {pixels + 2, pixels / 2 + (font.bold ? 1 : 0)};
}

TImageSize HeadlessTextExtent(std::string_view text, const TFont& font, int wrapWidth) {
    const HeadlessFontMetrics m = HeadlessMetrics(font);
    const auto widthOf = [&](std::string_view s) {
        return static_cast<int>(DisplayLength(s)) * m.charWidth;
    };
    int lines = 0, widest = 0;
    const auto addLine = [&](std::string_view line) {
        ++lines;
        widest = std::max(widest, widthOf(line));
    };
    for (;;) {
        const std::size_t lf = text.find('\n');
        std::string_view paragraph = text.substr(0, lf);
        if (!paragraph.empty() && paragraph.back() == '\r') paragraph.remove_suffix(1);
        if (wrapWidth <= 0 || widthOf(paragraph) <= wrapWidth) {
            addLine(paragraph);
        } else {
            // Greedy, word by word: a line ends before the word that would make it too wide.
            std::size_t lineStart = 0, pos = 0;
            std::size_t fits = std::string_view::npos;  // where the line that fits so far ends
            for (;;) {
                const std::size_t blank = paragraph.find(' ', pos);
                const std::size_t wordEnd =
                    blank == std::string_view::npos ? paragraph.size() : blank;
                if (fits != std::string_view::npos &&
                    widthOf(paragraph.substr(lineStart, wordEnd - lineStart)) > wrapWidth) {
                    addLine(paragraph.substr(lineStart, fits - lineStart));
                    lineStart = fits + 1;  // the blank where the line broke is not shown
                    fits = std::string_view::npos;
                    continue;  // the same word again, first on the new line
                }
                fits = wordEnd;
                if (blank == std::string_view::npos) break;
                pos = blank + 1;
            }
            addLine(paragraph.substr(lineStart));
        }
        if (lf == std::string_view::npos) break;
        text.remove_prefix(lf + 1);
    }
    return {widest, lines * m.lineHeight};
}

// --- every control ---

template <typename Interface>
HeadlessControl<Interface>::HeadlessControl(HeadlessForm& form, std::string name,
                                            IContainer* parent)
    : form_(form), name_(std::move(name)), parent_(parent) {}

template <typename Interface>
void HeadlessControl<Interface>::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

template <typename Interface>
bool HeadlessControl<Interface>::UserCanReach() const {
    if (!visible_ || !enabled_) return false;
    return !parent_ || (parent_->Visible() && parent_->Enabled());
}

template <typename Interface>
void HeadlessControl<Interface>::Notify(const std::function<void()>& handler) {
    form_.App().RunHandler(handler);
}

namespace {
bool TakesFocus(const IControl& c) {
    if (const auto* button = dynamic_cast<const HeadlessButton*>(&c)) return !button->Flat();
    return dynamic_cast<const IEdit*>(&c) || dynamic_cast<const IComboBox*>(&c) ||
           dynamic_cast<const ISpinEdit*>(&c) || dynamic_cast<const ICheckBox*>(&c);
}
}  // namespace

template <typename Interface>
void HeadlessControl<Interface>::SetFocus() {
    if (TakesFocus(*this) && UserCanReach()) form_.focused_ = this;
}

template <typename Interface>
bool HeadlessControl<Interface>::Focused() const {
    return form_.focused_ == this;
}

template class HeadlessControl<ILabel>;
template class HeadlessControl<IEdit>;
template class HeadlessControl<IComboBox>;
template class HeadlessControl<ISpinEdit>;
template class HeadlessControl<ICheckBox>;
template class HeadlessControl<IButton>;
template class HeadlessControl<IPanel>;
template class HeadlessControl<IGroupBox>;
template class HeadlessControl<IProgressBar>;
template class HeadlessControl<IBevel>;
template class HeadlessControl<IImage>;

// --- the controls ---

void HeadlessLabel::SetBounds(int left, int top, int width, int height) {
    HeadlessControl::SetBounds(left, top, width, height);
    AdjustSize();
}

void HeadlessLabel::SetCaption(std::string_view caption) {
    caption_ = caption;
    AdjustSize();
}

void HeadlessLabel::SetFont(const TFont& font) {
    font_ = font;
    AdjustSize();
}

void HeadlessLabel::SetWordWrap(bool wordWrap) {
    wordWrap_ = wordWrap;
    AdjustSize();
}

void HeadlessLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    AdjustSize();
}

void HeadlessLabel::AdjustSize() {
    if (!autoSize_) return;
    const TImageSize extent = HeadlessTextExtent(caption_, font_, wordWrap_ ? Width() : 0);
    HeadlessControl::SetBounds(Left(), Top(), wordWrap_ ? Width() : extent.width, extent.height);
}

void HeadlessEdit::SetText(std::string_view text) {
    if (text == text_) return;
    text_ = text;
    Notify(OnChange);
}

bool HeadlessEdit::UserType(std::string_view text) {
    if (readOnly_ || !UserCanReach()) return false;
    SetText(text);
    return true;
}

std::string HeadlessEdit::ShownText() const {
    if (passwordChar_ == '\0') return text_;
    return std::string(DisplayLength(text_), passwordChar_);
}

void HeadlessComboBox::SetItems(const std::vector<std::string>& items) {
    items_ = items;
    index_ = -1;
}

void HeadlessComboBox::SetItemIndex(int index) {
    index_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
}

bool HeadlessComboBox::UserSelect(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size()) || !UserCanReach()) return false;
    if (index == index_) return true;
    index_ = index;
    Notify(OnChange);
    return true;
}

void HeadlessSpinEdit::SetText(std::string_view text) {
    if (text == text_) return;
    text_ = text;
    Notify(OnChange);
}

bool HeadlessSpinEdit::UserType(std::string_view text) {
    if (!UserCanReach()) return false;
    SetText(text);
    return true;
}

bool HeadlessSpinEdit::UserStep(int delta) {
    if (!UserCanReach()) return false;
    const long long next = static_cast<long long>(Value()) + delta;
    if (next < std::numeric_limits<int>::min() || next > std::numeric_limits<int>::max())
        return true;  // the arrows stop at the ends of the range
    SetValue(static_cast<int>(next));
    return true;
}

bool HeadlessCheckBox::UserClick() {
    if (!UserCanReach()) return false;
    checked_ = !checked_;
    Notify(OnClick);
    return true;
}

void HeadlessButton::SetGlyph(std::span<const unsigned char> image) {
    glyph_.assign(image.begin(), image.end());
}

void HeadlessButton::Click() {
    if (!UserCanReach()) return;
    form_.ButtonClicked(*this);
    Notify(OnClick);
}

void HeadlessPanel::SetBounds(int left, int top, int width, int height) {
    HeadlessControl::SetBounds(left, top, width, height);
    if (docked_) form_.LayOutDocked();
}

void HeadlessPanel::SetVisible(bool visible) {
    HeadlessControl::SetVisible(visible);
    if (docked_) form_.LayOutDocked();
}

void HeadlessPanel::DockBottom(int height) {
    HeadlessControl::SetBounds(Left(), Top(), Width(), height);
    form_.Dock(this);
}

void HeadlessPanel::Place(int top, int width) {
    HeadlessControl::SetBounds(0, top, width, Height());
}

void HeadlessProgressBar::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    position_ = std::clamp(position_, min_, max_);
}

void HeadlessProgressBar::SetPosition(int position) {
    position_ = std::clamp(position, min_, max_);
}

bool HeadlessImage::LoadPicture(std::span<const unsigned char> image) {
    const std::optional<TImageSize> size = ImageFileSize(image);
    if (!size) return false;
    picture_.assign(image.begin(), image.end());
    size_ = *size;
    return true;
}

void HeadlessImage::ClearPicture() {
    picture_.clear();
    size_ = {};
}

std::optional<std::string> HeadlessOpenDialog::Execute() {
    return app_.NextOpenDialogAnswer(filter_);
}

// --- the form ---

HeadlessForm::HeadlessForm(HeadlessApplication& app) : app_(app) {}

HeadlessForm::~HeadlessForm() {
    app_.FormDestroyed(this);
}

void HeadlessForm::Notify(const std::function<void()>& handler) {
    app_.RunHandler(handler);
}

void HeadlessForm::SetClientSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    LayOutDocked();
    Notify(OnResize);
}

void HeadlessForm::SetPosition(int left, int top) {
    left_ = left;
    top_ = top;
}

void HeadlessForm::Show() {
    if (visible_) return;
    if (centered_) {
        left_ = (app_.ScreenWidth() - width_) / 2;
        top_ = (app_.ScreenHeight() - height_) / 2;
    }
    visible_ = true;
    if (!shown_) {
        shown_ = true;
        LayOutDocked();
        Notify(OnResize);
    }
    Notify(OnActivate);
}

DialogResult HeadlessForm::ShowModal() {
    if (modal_ || app_.Terminated()) return DialogResult::None;
    modal_ = true;
    modalResult_ = DialogResult::None;
    visible_ = false;  // a form shown without being modal becomes modal
    Show();
    const auto waiting = [this] {
        return modalResult_ == DialogResult::None && visible_ && !app_.Terminated();
    };
    while (waiting()) {
        app_.ProcessMessages();
        if (!waiting()) break;
        if (std::optional<HeadlessApplication::ModalAction> action = app_.NextModalAction()) {
            Notify([&] { (*action)(*this); });
            continue;
        }
        SystemClose();
        if (waiting()) modalResult_ = DialogResult::Cancel;
    }
    if (modalResult_ == DialogResult::None) modalResult_ = DialogResult::Cancel;
    modal_ = false;
    if (visible_) CloseNow();
    return modalResult_;
}

bool HeadlessForm::Activate() {
    if (!visible_) return false;
    Notify(OnActivate);
    return true;
}

void HeadlessForm::Close() {
    if (modal_) {
        if (modalResult_ == DialogResult::None) modalResult_ = DialogResult::Cancel;
        return;
    }
    CloseNow();
}

void HeadlessForm::CloseNow() {
    Notify(OnClose);
    visible_ = false;
    focused_ = nullptr;
    app_.FormClosed(this);
}

void HeadlessForm::SystemClose() {
    if (!visible_) return;
    bool canClose = true;
    if (OnSystemClose) {
        const std::function<void(bool&)> handler = OnSystemClose;
        Notify([&] { handler(canClose); });
    }
    if (canClose && visible_) Close();
}

void HeadlessForm::PostSystemClose() {
    app_.Post([this, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired()) SystemClose();
    });
}

HeadlessButton* HeadlessForm::FindButton(bool (*pick)(const HeadlessButton&)) const {
    for (const auto& [control, parent] : controls_) {
        auto* button = dynamic_cast<HeadlessButton*>(control.get());
        if (button && pick(*button) && button->UserCanReach()) return button;
    }
    return nullptr;
}

bool HeadlessForm::UserPressEnter() {
    if (!visible_) return false;
    HeadlessButton* button = dynamic_cast<HeadlessButton*>(focused_);
    if (!button || !button->UserCanReach())
        button = FindButton([](const HeadlessButton& b) { return b.Default(); });
    if (!button) return false;
    button->Click();
    return true;
}

bool HeadlessForm::UserPressEscape() {
    if (!visible_) return false;
    HeadlessButton* button = FindButton([](const HeadlessButton& b) { return b.Cancel(); });
    if (!button) return false;
    button->Click();
    return true;
}

bool HeadlessForm::UserCloseBox() {
    if (!visible_) return false;
    SystemClose();
    return true;
}

void HeadlessForm::ButtonClicked(const HeadlessButton& button) {
    if (modal_ && button.ModalResult() != DialogResult::None) modalResult_ = button.ModalResult();
}

template <typename T, typename... Args>
T& HeadlessForm::Add(std::string_view name, IContainer* parent, Args&&... args) {
    IContainer* container = OwnContainer(parent);
    if (byName_.contains(name))
        throw std::invalid_argument("A control named '" + std::string(name) + "' already exists");
    auto control =
        std::make_unique<T>(*this, std::string(name), container, std::forward<Args>(args)...);
    T& ref = *control;
    controls_.push_back({std::move(control), container});
    byName_.emplace(std::string(name), &ref);
    return ref;
}

IContainer* HeadlessForm::OwnContainer(IContainer* parent) const {
    if (!parent) return nullptr;
    if (FindControl(parent->Name()) != parent)
        throw std::invalid_argument("The parent '" + parent->Name() + "' belongs to another form");
    return parent;
}

ILabel& HeadlessForm::CreateLabel(std::string_view name, IContainer* parent) {
    return Add<HeadlessLabel>(name, parent);
}
IEdit& HeadlessForm::CreateEdit(std::string_view name, IContainer* parent) {
    return Add<HeadlessEdit>(name, parent);
}
IComboBox& HeadlessForm::CreateComboBox(std::string_view name, IContainer* parent) {
    return Add<HeadlessComboBox>(name, parent);
}
ISpinEdit& HeadlessForm::CreateSpinEdit(std::string_view name, IContainer* parent) {
    return Add<HeadlessSpinEdit>(name, parent);
}
ICheckBox& HeadlessForm::CreateCheckBox(std::string_view name, IContainer* parent) {
    return Add<HeadlessCheckBox>(name, parent);
}
IButton& HeadlessForm::CreateButton(std::string_view name, bool flat, IContainer* parent) {
    return Add<HeadlessButton>(name, parent, flat);
}
IProgressBar& HeadlessForm::CreateProgressBar(std::string_view name, IContainer* parent) {
    return Add<HeadlessProgressBar>(name, parent);
}
IBevel& HeadlessForm::CreateBevel(std::string_view name, IContainer* parent) {
    return Add<HeadlessBevel>(name, parent);
}
IImage& HeadlessForm::CreateImage(std::string_view name, IContainer* parent) {
    return Add<HeadlessImage>(name, parent);
}
IPanel& HeadlessForm::CreatePanel(std::string_view name) {
    return Add<HeadlessPanel>(name, nullptr);
}
IGroupBox& HeadlessForm::CreateGroupBox(std::string_view name) {
    return Add<HeadlessGroupBox>(name, nullptr);
}

IControl* HeadlessForm::FindControl(std::string_view name) const {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void HeadlessForm::Dock(HeadlessPanel* panel) {
    panel->docked_ = true;
    if (std::find(docked_.begin(), docked_.end(), panel) == docked_.end()) docked_.push_back(panel);
    LayOutDocked();
}

// As the toolkit's bottom alignment does: a hidden panel gives up its place.
void HeadlessForm::LayOutDocked() {
    int bottom = height_;
    for (HeadlessPanel* panel : docked_) {
        if (!panel->Visible()) continue;
        bottom -= panel->Height();
        panel->Place(bottom, width_);
    }
}

std::vector<std::string> HeadlessForm::FocusOrder() const {
    const auto takesFocus = [](const IControl* c) {
        return c->TabOrder() >= 0 && (TakesFocus(*c) || dynamic_cast<const IContainer*>(c));
    };
    const auto inOrder = [&](const IContainer* parent) {
        std::vector<const IControl*> list;
        for (const auto& [control, p] : controls_) {
            if (p == parent && takesFocus(control.get())) list.push_back(control.get());
        }
        std::stable_sort(list.begin(), list.end(), [](const IControl* a, const IControl* b) {
            return a->TabOrder() < b->TabOrder();
        });
        return list;
    };
    std::vector<std::string> names;
    for (const IControl* c : inOrder(nullptr)) {
        if (const auto* container = dynamic_cast<const IContainer*>(c)) {
            for (const IControl* child : inOrder(container))
                names.push_back(child->Name());
        } else {
            names.push_back(c->Name());
        }
    }
    return names;
}

}  // namespace pw::framework
