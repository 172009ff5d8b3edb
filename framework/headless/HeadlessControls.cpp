#include "framework/headless/HeadlessControls.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "framework/headless/HeadlessApplication.h"

namespace pw::framework {

// --- every control ---

template <typename Interface>
HeadlessControl<Interface>::HeadlessControl(HeadlessForm& form, std::string name,
                                            HeadlessPanel* parent)
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

template class HeadlessControl<ILabel>;
template class HeadlessControl<IEdit>;
template class HeadlessControl<IComboBox>;
template class HeadlessControl<ISpinEdit>;
template class HeadlessControl<ICheckBox>;
template class HeadlessControl<IButton>;
template class HeadlessControl<IPanel>;

// --- the controls ---

void HeadlessLabel::SetFont(int pointSize, bool bold) {
    fontSize_ = pointSize;
    bold_ = bold;
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
    if (UserCanReach()) Notify(OnClick);
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
    visible_ = true;
    if (!shown_) {
        shown_ = true;
        LayOutDocked();
        Notify(OnResize);
    }
    Notify(OnActivate);
}

bool HeadlessForm::Activate() {
    if (!visible_) return false;
    Notify(OnActivate);
    return true;
}

void HeadlessForm::Close() {
    Notify(OnClose);
    visible_ = false;
    app_.FormClosed(this);
}

template <typename T, typename... Args>
T& HeadlessForm::Add(std::string_view name, IPanel* parent, Args&&... args) {
    HeadlessPanel* panel = OwnPanel(parent);
    if (byName_.contains(name))
        throw std::invalid_argument("A control named '" + std::string(name) + "' already exists");
    auto control =
        std::make_unique<T>(*this, std::string(name), panel, std::forward<Args>(args)...);
    T& ref = *control;
    controls_.push_back({std::move(control), panel});
    byName_.emplace(std::string(name), &ref);
    return ref;
}

HeadlessPanel* HeadlessForm::OwnPanel(IPanel* parent) const {
    if (!parent) return nullptr;
    auto* panel = dynamic_cast<HeadlessPanel*>(parent);
    if (!panel || FindControl(panel->Name()) != panel)
        throw std::invalid_argument("The parent panel belongs to another form");
    return panel;
}

ILabel& HeadlessForm::CreateLabel(std::string_view name, IPanel* parent) {
    return Add<HeadlessLabel>(name, parent);
}
IEdit& HeadlessForm::CreateEdit(std::string_view name, IPanel* parent) {
    return Add<HeadlessEdit>(name, parent);
}
IComboBox& HeadlessForm::CreateComboBox(std::string_view name, IPanel* parent) {
    return Add<HeadlessComboBox>(name, parent);
}
ISpinEdit& HeadlessForm::CreateSpinEdit(std::string_view name, IPanel* parent) {
    return Add<HeadlessSpinEdit>(name, parent);
}
ICheckBox& HeadlessForm::CreateCheckBox(std::string_view name, IPanel* parent) {
    return Add<HeadlessCheckBox>(name, parent);
}
IButton& HeadlessForm::CreateButton(std::string_view name, bool flat, IPanel* parent) {
    return Add<HeadlessButton>(name, parent, flat);
}
IPanel& HeadlessForm::CreatePanel(std::string_view name) {
    return Add<HeadlessPanel>(name, nullptr);
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
        if (c->TabOrder() < 0 || dynamic_cast<const HeadlessLabel*>(c)) return false;
        const auto* button = dynamic_cast<const HeadlessButton*>(c);
        return !button || !button->Flat();
    };
    const auto inOrder = [&](const HeadlessPanel* parent) {
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
        if (const auto* panel = dynamic_cast<const HeadlessPanel*>(c)) {
            for (const IControl* child : inOrder(panel))
                names.push_back(child->Name());
        } else {
            names.push_back(c->Name());
        }
    }
    return names;
}

}  // namespace pw::framework
