#pragma once
// The Qt back end's tray icon: a QSystemTrayIcon with a menu of our own. Qt decides how the
// desktop is reached (its notification-area protocol, or the status-notifier and notification
// services over D-Bus); notifications go through showMessage.
//
// UI thread only.

#include <QIcon>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "framework/TrayIcon.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace pw::ui::qt {

class QtApplication;

class QtTrayIcon final : public framework::ITrayIcon {
  public:
    explicit QtTrayIcon(QtApplication& app);
    ~QtTrayIcon() override;
    QtTrayIcon(const QtTrayIcon&) = delete;
    QtTrayIcon& operator=(const QtTrayIcon&) = delete;

    bool Available() const override;
    // Bytes Qt cannot decode leave the state's picture as it was.
    void SetStateIcon(framework::TTrayState state, std::span<const unsigned char> image) override;
    void SetState(framework::TTrayState state) override;
    framework::TTrayState State() const override { return state_; }
    void SetToolTip(std::string_view toolTip) override;
    std::string ToolTip() const override { return toolTip_; }
    int AddMenuItem(std::string_view caption, std::function<void()> onClick) override;
    void SetMenuItemEnabled(int index, bool enabled) override;
    void Show() override;
    void Notify(std::string_view title, std::string_view text) override;

    // The widgets behind it, for tests.
    QSystemTrayIcon& Icon() const { return *icon_; }
    QMenu& Menu() const { return *menu_; }

  private:
    QIcon StateIcon(framework::TTrayState state) const;

    QtApplication& app_;
    framework::TTrayState state_ = framework::TTrayState::Idle;
    std::string toolTip_;  // as given: display texts come back as they were
    std::array<QIcon, framework::kTrayStateCount> icons_;
    // The icon refers to its menu, so the menu outlives it.
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::vector<QAction*> actions_;  // the menu's entries, owned by the menu
};

}  // namespace pw::ui::qt
