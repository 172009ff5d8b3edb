#pragma once
// The program's icon in the desktop's notification area (the system tray), its menu, and the
// desktop notifications that come from it. UI thread only.
//
// Where the desktop has no notification area the icon simply is not there: everything can still
// be set, nothing is shown, notifications are dropped, and nothing is reported. So a program
// builds its icon the same way on every desktop.

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace pw::framework {

// What the icon says about the watched pages; each state has its own picture.
enum class TTrayState {
    Idle,           // nothing is being watched
    Watching,       // pages are being watched, none is in alarm
    Alarm,          // a page is in alarm
    CouldNotCheck,  // a page could not be checked, none is in alarm
};
inline constexpr int kTrayStateCount = 4;

class ITrayIcon {
  public:
    virtual ~ITrayIcon() = default;

    // Whether the desktop has a notification area now.
    virtual bool Available() const = 0;

    // The picture of a state: an image file's bytes (PNG). The icon shows the current state's.
    virtual void SetStateIcon(TTrayState state, std::span<const unsigned char> image) = 0;
    // Idle at first.
    virtual void SetState(TTrayState state) = 0;
    virtual TTrayState State() const = 0;
    // Display texts (framework/DisplayText.h), as the other captions.
    virtual void SetToolTip(std::string_view toolTip) = 0;
    virtual std::string ToolTip() const = 0;

    // The icon's menu, in the order the entries are added; returns the entry's index. A chosen
    // entry runs onClick as a handler (an exception goes to the standard error box).
    virtual int AddMenuItem(std::string_view caption, std::function<void()> onClick) = 0;
    // A disabled entry is shown greyed and cannot be chosen. Entries start enabled.
    virtual void SetMenuItemEnabled(int index, bool enabled) = 0;

    // Puts the icon into the notification area. A new icon is not shown, so that the desktop
    // never sees one half set up.
    virtual void Show() = 0;

    // A desktop notification from the icon, with the current state's picture: the desktop's
    // notification service where there is one, else a balloon at the icon. Nothing while the
    // icon is not shown.
    virtual void Notify(std::string_view title, std::string_view text) = 0;

    // The user clicked the icon itself (not its menu).
    std::function<void()> OnActivate;
    // The user clicked the notification last shown.
    std::function<void()> OnNotificationClicked;
};

}  // namespace pw::framework
