#include "framework/headless/HeadlessTrayIcon.h"

#include <algorithm>

#include "framework/ImageInfo.h"
#include "framework/headless/HeadlessApplication.h"

namespace pw::framework {

HeadlessTrayIcon::HeadlessTrayIcon(HeadlessApplication& app) : app_(app) {
    app_.TrayIconCreated(this);
}

HeadlessTrayIcon::~HeadlessTrayIcon() {
    app_.TrayIconDestroyed(this);
}

bool HeadlessTrayIcon::Available() const {
    return app_.TrayAvailable();
}

void HeadlessTrayIcon::SetStateIcon(TTrayState state, std::span<const unsigned char> image) {
    if (!ImageFileSize(image)) return;
    icons_.at(static_cast<std::size_t>(state)).assign(image.begin(), image.end());
}

const std::vector<unsigned char>& HeadlessTrayIcon::StateIcon(TTrayState state) const {
    return icons_.at(static_cast<std::size_t>(state));
}

int HeadlessTrayIcon::AddMenuItem(std::string_view caption, std::function<void()> onClick) {
    menu_.push_back({{std::string(caption), true}, std::move(onClick)});
    return static_cast<int>(menu_.size()) - 1;
}

void HeadlessTrayIcon::SetMenuItemEnabled(int index, bool enabled) {
    if (index < 0 || index >= static_cast<int>(menu_.size())) return;
    menu_[static_cast<std::size_t>(index)].entry.enabled = enabled;
}

std::vector<HeadlessTrayIcon::MenuEntry> HeadlessTrayIcon::Menu() const {
    std::vector<MenuEntry> entries;
    for (const Item& item : menu_)
        entries.push_back(item.entry);
    return entries;
}

bool HeadlessTrayIcon::ChooseMenuItem(std::string_view caption) {
    if (!OnScreen()) return false;
    const auto it = std::find_if(menu_.begin(), menu_.end(), [caption](const Item& item) {
        return item.entry.enabled && item.entry.caption == caption;
    });
    if (it == menu_.end()) return false;
    // RunHandler runs a copy: the entry's handler may end the icon with the window.
    app_.RunHandler(it->onClick);
    return true;
}

bool HeadlessTrayIcon::UserClick() {
    if (!OnScreen()) return false;
    app_.RunHandler(OnActivate);
    return true;
}

void HeadlessTrayIcon::Notify(std::string_view title, std::string_view text) {
    if (!OnScreen()) return;
    notifications_.push_back({std::string(title), std::string(text), state_});
}

bool HeadlessTrayIcon::ClickNotification() {
    if (notifications_.empty()) return false;
    app_.RunHandler(OnNotificationClicked);
    return true;
}

}  // namespace pw::framework
