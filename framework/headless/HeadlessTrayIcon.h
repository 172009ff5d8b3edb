#pragma once
// The headless back end's tray icon: it keeps what the program sets and what the desktop would
// show, and lets tests act as the user would on the icon, its menu and its notifications. Whether
// the desktop has a notification area is up to the test (HeadlessApplication::SetTrayAvailable);
// at first it has none.
//
// UI thread only.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "framework/TrayIcon.h"

namespace pw::framework {

class HeadlessApplication;

class HeadlessTrayIcon final : public ITrayIcon {
  public:
    explicit HeadlessTrayIcon(HeadlessApplication& app);
    ~HeadlessTrayIcon() override;
    HeadlessTrayIcon(const HeadlessTrayIcon&) = delete;
    HeadlessTrayIcon& operator=(const HeadlessTrayIcon&) = delete;

    bool Available() const override;
    // Bytes that are no image (framework/ImageInfo.h) leave the state's picture as it was.
    void SetStateIcon(TTrayState state, std::span<const unsigned char> image) override;
    void SetState(TTrayState state) override { state_ = state; }
    TTrayState State() const override { return state_; }
    void SetToolTip(std::string_view toolTip) override { toolTip_ = toolTip; }
    std::string ToolTip() const override { return toolTip_; }
    int AddMenuItem(std::string_view caption, std::function<void()> onClick) override;
    void SetMenuItemEnabled(int index, bool enabled) override;
    void Show() override { shown_ = true; }
    // Kept only when the desktop would show it (OnScreen).
    void Notify(std::string_view title, std::string_view text) override;

    // --- for tests ---

    bool Shown() const { return shown_; }
    // Shown, on a desktop with a notification area.
    bool OnScreen() const { return shown_ && Available(); }
    // A state's picture as it was set; empty without one.
    const std::vector<unsigned char>& StateIcon(TTrayState state) const;

    struct MenuEntry {
        std::string caption;
        bool enabled = true;
        bool operator==(const MenuEntry&) const = default;
    };
    std::vector<MenuEntry> Menu() const;
    // The user chooses the entry with that caption from the icon's menu. False (nothing happens)
    // while the icon is not on screen, or when no enabled entry has that caption.
    bool ChooseMenuItem(std::string_view caption);
    // The user clicks the icon: OnActivate. False (nothing) while it is not on screen.
    bool UserClick();

    struct Notification {
        std::string title;
        std::string text;
        TTrayState picture = TTrayState::Idle;  // the state whose picture it showed
        bool operator==(const Notification&) const = default;
    };
    // The notifications the desktop showed, in order.
    const std::vector<Notification>& Notifications() const { return notifications_; }
    // The user clicks the notification last shown: OnNotificationClicked. False (nothing) when
    // none was shown.
    bool ClickNotification();

  private:
    struct Item {
        MenuEntry entry;
        std::function<void()> onClick;
    };

    HeadlessApplication& app_;
    TTrayState state_ = TTrayState::Idle;
    std::string toolTip_;
    std::array<std::vector<unsigned char>, kTrayStateCount> icons_;
    std::vector<Item> menu_;
    std::vector<Notification> notifications_;
    bool shown_ = false;
};

}  // namespace pw::framework
