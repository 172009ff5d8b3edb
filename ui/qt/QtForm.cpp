#include "ui/qt/QtForm.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "ui/qt/QtApplication.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtSupport.h"

namespace pw::ui::qt {

using framework::DialogResult;
using framework::IContainer;

// The window. Close() from code comes through closeEvent; a close from outside the program
// (the close box, Alt+F4) is turned into the system close command.
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
        if (!form_.closingFromCode_) {
            // Qt refuses a second close while this one runs, and OnSystemClose may close the
            // window itself: ask after this event.
            event->ignore();
            form_.PostSystemClose();
            return;
        }
        form_.Closing();
        event->accept();
        form_.Closed();
    }
    // Keys the focused control left alone.
    void keyPressEvent(QKeyEvent* event) override {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        bool handled = false;
        if (plain && event->key() == Qt::Key_Escape)
            handled = form_.PressEscape();
        else if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter))
            handled = form_.PressEnter();
        if (handled)
            event->accept();
        else
            QWidget::keyPressEvent(event);
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

void QtForm::SetName(std::string_view name) {
    name_ = name;
    window_->setObjectName(FromLatin1(name));
}

void QtForm::SetCaption(std::string_view caption) {
    caption_ = caption;
    window_->setWindowTitle(FromDisplay(caption));
}

void QtForm::SetClientSize(int width, int height) {
    const QSize before = window_->size();
    const QSize size(std::max(width, 0), std::max(height, 0));
    if (borderStyle_ == framework::TFormBorderStyle::Dialog) window_->setFixedSize(size);
    window_->resize(size);
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

void QtForm::SetBorderStyle(framework::TFormBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    // Only the stay-on-top hint carries over; the rest is the frame's.
    Qt::WindowFlags flags = window_->windowFlags() & Qt::WindowStaysOnTopHint;
    if (style == framework::TFormBorderStyle::Dialog)
        flags |= Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    else
        flags |= Qt::Window;
    SetFlags(flags);
    ApplyFixedSize();
}

void QtForm::ApplyFixedSize() {
    if (borderStyle_ == framework::TFormBorderStyle::Dialog) {
        window_->setFixedSize(window_->size());
    } else {
        window_->setMinimumSize(0, 0);
        window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

void QtForm::Centre() {
    const QScreen* screen = window_->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // move() places the frame, whose size is known once the window has been shown.
    const QRect area = screen->availableGeometry();
    const QSize frame = window_->frameGeometry().size();
    window_->move(area.x() + (area.width() - frame.width()) / 2,
                  area.y() + (area.height() - frame.height()) / 2);
}

void QtForm::Show() {
    if (centered_ && !window_->isVisible()) Centre();
    window_->show();
    // Ask for activation outright: without a window manager nobody else gives it, and the
    // window's start-up options run on activation.
    window_->raise();
    window_->activateWindow();
}

DialogResult QtForm::ShowModal() {
    if (modal_ || app_.Terminated()) return DialogResult::None;
    modal_ = true;
    modalResult_ = DialogResult::None;
    // Qt takes a new modality only while the window is hidden.
    if (window_->isVisible()) {
        reflagging_ = true;
        window_->hide();
        reflagging_ = false;
    }
    window_->setWindowModality(Qt::ApplicationModal);
    Show();
    QEventLoop loop;
    modalLoop_ = &loop;
    while (modalResult_ == DialogResult::None && window_->isVisible() && !app_.Terminated())
        loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    if (modalResult_ == DialogResult::None) modalResult_ = DialogResult::Cancel;
    modal_ = false;
    if (window_->isVisible()) CloseNow();
    window_->setWindowModality(Qt::NonModal);
    return modalResult_;
}

void QtForm::SetModalResult(DialogResult result) {
    modalResult_ = result;
    // The loop ends after the handler that set it; ShowModal looks again before it closes.
    if (modalLoop_ && result != DialogResult::None) modalLoop_->quit();
}

void QtForm::ModalButtonClicked(DialogResult result) {
    if (modal_) SetModalResult(result);
}

bool QtForm::Visible() const {
    return window_->isVisible();
}

void QtForm::Close() {
    if (modal_) {
        if (modalResult_ == DialogResult::None) SetModalResult(DialogResult::Cancel);
        return;
    }
    CloseNow();
}

void QtForm::CloseNow() {
    closingFromCode_ = true;
    window_->close();
    closingFromCode_ = false;
}

void QtForm::PostSystemClose() {
    // Queued on the window: dropped with it if the form goes first.
    QMetaObject::invokeMethod(
        window_.get(), [this] { SystemClose(); }, Qt::QueuedConnection);
}

void QtForm::SystemClose() {
    if (!window_->isVisible()) return;
    bool canClose = true;
    if (OnSystemClose) {
        const std::function<void(bool&)> handler = OnSystemClose;
        RunHandler([&] { handler(canClose); });
    }
    if (canClose && window_->isVisible()) Close();
}

bool QtForm::PressEnter() {
    // A focused push button takes Enter itself, as Escape never does.
    QtButton* target = nullptr;
    for (const auto& c : controls_) {
        auto* button = dynamic_cast<QtButton*>(c.get());
        if (!button || !button->widget().isEnabled() || !button->widget().isVisible()) continue;
        if (button->widget().hasFocus()) {
            target = button;
            break;
        }
        if (!target && button->Default()) target = button;
    }
    if (!target) return false;
    target->button().click();
    return true;
}

bool QtForm::PressEscape() {
    for (const auto& c : controls_) {
        auto* button = dynamic_cast<QtButton*>(c.get());
        if (button && button->Cancel() && button->widget().isEnabled() &&
            button->widget().isVisible()) {
            button->button().click();
            return true;
        }
    }
    return false;
}

void QtForm::SetFlags(Qt::WindowFlags flags) {
    if (window_->windowFlags() == flags) return;
    const bool shown = window_->isVisible();
    const QPoint position = window_->pos();
    reflagging_ = true;
    // New flags hide a window that is up; it comes back where it was, and without taking the
    // focus from the window the user is in.
    window_->setWindowFlags(flags);
    if (shown) {
        const bool quiet = window_->testAttribute(Qt::WA_ShowWithoutActivating);
        window_->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window_->move(position);
        window_->show();
        window_->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
    }
    reflagging_ = false;
}

void QtForm::SetStayOnTop(bool stayOnTop) {
    if (StayOnTop() == stayOnTop) return;
    Qt::WindowFlags flags = window_->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, stayOnTop);
    SetFlags(flags);
}

bool QtForm::StayOnTop() const {
    return window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void QtForm::Repaint() {
    window_->repaint();
}

// --- controls ---

QWidget& QtForm::ParentFor(std::string_view name, IContainer* parent) const {
    if (byName_.contains(name))
        throw std::invalid_argument("A control named '" + std::string(name) + "' exists already");
    if (!parent) return *window_;
    auto* container = dynamic_cast<QtControlBase*>(parent);
    if (!container || &container->host() != this)
        throw std::invalid_argument("The parent of '" + std::string(name) +
                                    "' is not a panel or group box of this form");
    return container->widget();
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
C& QtForm::Create(std::string_view name, IContainer* parent, Extra&&... extra) {
    QWidget& widget = ParentFor(name, parent);
    return Add<C>(name, std::forward<Extra>(extra)..., widget,
                  dynamic_cast<QtControlBase*>(parent));
}

framework::ILabel& QtForm::CreateLabel(std::string_view name, IContainer* parent) {
    return Create<QtLabel>(name, parent);
}

framework::IEdit& QtForm::CreateEdit(std::string_view name, IContainer* parent) {
    return Create<QtEdit>(name, parent);
}

framework::IComboBox& QtForm::CreateComboBox(std::string_view name, IContainer* parent) {
    return Create<QtComboBox>(name, parent);
}

framework::ISpinEdit& QtForm::CreateSpinEdit(std::string_view name, IContainer* parent) {
    return Create<QtSpinEdit>(name, parent);
}

framework::ICheckBox& QtForm::CreateCheckBox(std::string_view name, IContainer* parent) {
    return Create<QtCheckBox>(name, parent);
}

framework::IButton& QtForm::CreateButton(std::string_view name, bool flat, IContainer* parent) {
    return Create<QtButton>(name, parent, flat);
}

framework::IProgressBar& QtForm::CreateProgressBar(std::string_view name, IContainer* parent) {
    return Create<QtProgressBar>(name, parent);
}

framework::IBevel& QtForm::CreateBevel(std::string_view name, IContainer* parent) {
    return Create<QtBevel>(name, parent);
}

framework::IImage& QtForm::CreateImage(std::string_view name, IContainer* parent) {
    return Create<QtImage>(name, parent);
}

// Panels and group boxes sit on the form itself and belong to no container.
framework::IPanel& QtForm::CreatePanel(std::string_view name) {
    return Add<QtPanel>(name, ParentFor(name, nullptr));
}

framework::IGroupBox& QtForm::CreateGroupBox(std::string_view name) {
    return Add<QtGroupBox>(name, ParentFor(name, nullptr));
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
        const int containerOrder = c.container() ? c.container()->tabOrder() : -1;
        if (containerOrder >= 0)
            chain.push_back({containerOrder, c.tabOrder(), i, &c.widget()});
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
    // Hidden some other way while it waits modally: the wait is over.
    if (modalLoop_ && !reflagging_) modalLoop_->quit();
}

}  // namespace pw::ui::qt
