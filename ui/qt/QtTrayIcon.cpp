#include "ui/qt/QtTrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <cassert>

#include "ui/qt/QtApplication.h"
#include "ui/qt/QtSupport.h"

namespace pw::ui::qt {

using framework::TTrayState;

namespace {
// Long enough to be read on coming back to the desk; the notification service may keep it
// longer (or shorter) as its user set it up.
constexpr int kNotificationMs = 15'000;
}  // namespace

QtTrayIcon::QtTrayIcon(QtApplication& app)
    : app_(app), menu_(std::make_unique<QMenu>()), icon_(std::make_unique<QSystemTrayIcon>()) {
    assert(app_.IsUiThread());
    menu_->setObjectName(QStringLiteral("TrayMenu"));
    icon_->setContextMenu(menu_.get());
    QObject::connect(
        icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
            // The menu button opens the menu by itself; a middle click means nothing.
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                app_.RunHandler(OnActivate);
        });
    QObject::connect(icon_.get(), &QSystemTrayIcon::messageClicked,
                     [this] { app_.RunHandler(OnNotificationClicked); });
}

QtTrayIcon::~QtTrayIcon() {
    // Leaves the notification area at once, not when Qt next gets round to it.
    icon_->hide();
}

bool QtTrayIcon::Available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QIcon QtTrayIcon::StateIcon(TTrayState state) const {
    return icons_.at(static_cast<std::size_t>(state));
}

void QtTrayIcon::SetStateIcon(TTrayState state, std::span<const unsigned char> image) {
    QPixmap pixmap;
    if (!pixmap.loadFromData(image.data(), static_cast<uint>(image.size()))) return;
    icons_.at(static_cast<std::size_t>(state)) = QIcon(pixmap);
    if (state == state_) icon_->setIcon(StateIcon(state));
}

void QtTrayIcon::SetState(TTrayState state) {
    if (state == state_ && !icon_->icon().isNull()) return;
    state_ = state;
    icon_->setIcon(StateIcon(state));
}

void QtTrayIcon::SetToolTip(std::string_view toolTip) {
    toolTip_ = toolTip;
    icon_->setToolTip(FromDisplay(toolTip));
}

int QtTrayIcon::AddMenuItem(std::string_view caption, std::function<void()> onClick) {
    QAction* action = menu_->addAction(FromDisplay(caption));
    QObject::connect(action, &QAction::triggered,
                     [this, onClick = std::move(onClick)] { app_.RunHandler(onClick); });
    actions_.push_back(action);
    return static_cast<int>(actions_.size()) - 1;
}

void QtTrayIcon::SetMenuItemEnabled(int index, bool enabled) {
    if (index < 0 || index >= static_cast<int>(actions_.size())) return;
    actions_[static_cast<std::size_t>(index)]->setEnabled(enabled);
}

void QtTrayIcon::Show() {
    // Without a picture Qt would only warn and show nothing; the icon comes with its first one.
    if (icon_->icon().isNull()) icon_->setIcon(StateIcon(state_));
    if (!icon_->icon().isNull()) icon_->show();
}

void QtTrayIcon::Notify(std::string_view title, std::string_view text) {
    // Where the desktop has no notification area there is no icon for a balloon to point at.
    if (!icon_->isVisible() || !Available()) return;
    icon_->showMessage(FromDisplay(title), FromDisplay(text), StateIcon(state_), kNotificationMs);
}

}  // namespace pw::ui::qt
