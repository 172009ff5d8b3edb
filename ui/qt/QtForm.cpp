#include "ui/qt/QtForm.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QResizeEvent>
#include <QWidget>
#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "ui/qt/QtApplication.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtSupport.h"

namespace pw::ui::qt {

using framework::IPanel;

// The window; its close box and Close() both come through closeEvent.
class QtForm::Window final : public QWidget {
  public:
    explicit Window(QtForm& form) : form_(form) {
        // The controls and labels are sized for the design font.
        setFont(DesignFont(kWindowFontPoints));
    }

  protected:
    bool event(QEvent* event) override {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::WindowActivate) form_.Activated();
        return handled;
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        form_.Resized();
    }
    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        // Minimising may hide the window spontaneously; that is not leaving it.
        if (!event->spontaneous()) form_.Hidden();
    }
    void closeEvent(QCloseEvent* event) override {
        form_.Closing();
        event->accept();
        form_.Closed();
    }

  private:
    QtForm& form_;
};

QtForm::QtForm(QtApplication& app) : app_(app), window_(std::make_unique<Window>(*this)) {}

QtForm::~QtForm() {
    // Newest first: a panel's children go before the panel.
    while (!controls_.empty())
        controls_.pop_back();
    app_.FormLeft(this);
    app_.FormDestroyed(this);
}

QWidget* QtForm::widget() const {
    return window_.get();
}

void QtForm::SetCaption(std::string_view caption) {
    window_->setWindowTitle(FromLocal(caption));
}

std::string QtForm::Caption() const {
    return ToLocal(window_->windowTitle());
}

void QtForm::SetClientSize(int width, int height) {
    const QSize before = window_->size();
    window_->resize(std::max(width, 0), std::max(height, 0));
    // Qt holds a hidden window's resize event back until it is shown.
    if (!window_->isVisible() && window_->size() != before) Resized();
}

int QtForm::ClientWidth() const {
    return window_->width();
}

int QtForm::ClientHeight() const {
    return window_->height();
}

void QtForm::SetPosition(int left, int top) {
    window_->move(left, top);
}

void QtForm::Show() {
    window_->show();
    // Ask for activation outright: without a window manager nobody else gives it, and the
    // window's start-up options run on activation.
    window_->raise();
    window_->activateWindow();
}

bool QtForm::Visible() const {
    return window_->isVisible();
}

void QtForm::Close() {
    window_->close();
}

void QtForm::SetStayOnTop(bool stayOnTop) {
    if (StayOnTop() == stayOnTop) return;
    const bool shown = window_->isVisible();
    const QPoint position = window_->pos();
    reflagging_ = true;
    // New flags hide a window that is up; it comes back where it was.
    window_->setWindowFlag(Qt::WindowStaysOnTopHint, stayOnTop);
    if (shown) {
        window_->move(position);
        window_->show();
    }
    reflagging_ = false;
}

bool QtForm::StayOnTop() const {
    return window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void QtForm::Repaint() {
    window_->repaint();
}

// --- controls ---

QWidget& QtForm::ParentFor(std::string_view name, IPanel* parent) const {
    if (byName_.contains(name))
        throw std::invalid_argument("A control named '" + std::string(name) + "' exists already");
    if (!parent) return *window_;
    auto* panel = dynamic_cast<QtPanel*>(parent);
    if (!panel || &panel->host() != this)
        throw std::invalid_argument("The parent of '" + std::string(name) +
                                    "' is not a panel of this form");
    return panel->widget();
}

template <class C, class... Args>
C& QtForm::Add(std::string_view name, Args&&... args) {
    auto control = std::make_unique<C>(*this, std::string(name), std::forward<Args>(args)...);
    C& result = *control;
    byName_.emplace(std::string(name), &result);
    controls_.push_back(std::move(control));
    return result;
}

template <class C, class... Extra>
C& QtForm::Create(std::string_view name, IPanel* parent, Extra&&... extra) {
    QWidget& widget = ParentFor(name, parent);
    return Add<C>(name, std::forward<Extra>(extra)..., widget, dynamic_cast<QtPanel*>(parent));
}

framework::ILabel& QtForm::CreateLabel(std::string_view name, IPanel* parent) {
    return Create<QtLabel>(name, parent);
}

framework::IEdit& QtForm::CreateEdit(std::string_view name, IPanel* parent) {
    return Create<QtEdit>(name, parent);
}

framework::IComboBox& QtForm::CreateComboBox(std::string_view name, IPanel* parent) {
    return Create<QtComboBox>(name, parent);
}

framework::ISpinEdit& QtForm::CreateSpinEdit(std::string_view name, IPanel* parent) {
    return Create<QtSpinEdit>(name, parent);
}

framework::ICheckBox& QtForm::CreateCheckBox(std::string_view name, IPanel* parent) {
    return Create<QtCheckBox>(name, parent);
}

framework::IButton& QtForm::CreateButton(std::string_view name, bool flat, IPanel* parent) {
    return Create<QtButton>(name, parent, flat);
}

// A panel sits on the form itself and belongs to no panel.
framework::IPanel& QtForm::CreatePanel(std::string_view name) {
    return Add<QtPanel>(name, ParentFor(name, nullptr));
}

framework::IControl* QtForm::FindControl(std::string_view name) const {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void QtForm::TabOrderChanged() {
    struct Place {
        int first, second;
        std::size_t created;
        QWidget* widget;
    };
    std::vector<Place> chain;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const QtControlBase& c = *controls_[i];
        if (c.tabOrder() < 0 || c.widget().focusPolicy() == Qt::NoFocus) continue;
        const int panelOrder = c.panel() ? c.panel()->TabOrder() : -1;
        if (panelOrder >= 0)
            chain.push_back({panelOrder, c.tabOrder(), i, &c.widget()});
        else
            chain.push_back({c.tabOrder(), -1, i, &c.widget()});
    }
    std::sort(chain.begin(), chain.end(), [](const Place& a, const Place& b) {
        return std::tie(a.first, a.second, a.created) < std::tie(b.first, b.second, b.created);
    });
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1].widget, chain[i].widget);
}

void QtForm::RunHandler(const std::function<void()>& handler) {
    app_.RunHandler(handler);
}

void QtForm::Docked(QtPanel& panel) {
    docked_.push_back(&panel);
}

void QtForm::PlaceDockedPanels() {
    int bottom = window_->height();
    for (QtPanel* panel : docked_) {
        if (!panel->Visible()) continue;  // a hidden panel gives its room to the others
        bottom -= panel->DockHeight();
        panel->widget().setGeometry(0, bottom, window_->width(), panel->DockHeight());
    }
}

// --- window events ---

void QtForm::Resized() {
    PlaceDockedPanels();
    RunHandler(OnResize);
}

void QtForm::Activated() {
    if (app_.FormActivated(this)) RunHandler(OnActivate);
}

void QtForm::Closing() {
    RunHandler(OnClose);
}

void QtForm::Closed() {
    app_.FormClosed(this);
}

void QtForm::Hidden() {
    if (!reflagging_) app_.FormLeft(this);
}

}  // namespace pw::ui::qt
