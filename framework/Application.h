#pragma once
// The application object and its message loop, as the window's logic needs them: the UI-thread
// service, the hourglass, and what belongs to windows (title, minimise, forms, timers, dialogs).
//
// Threads: everything added here is for the UI thread (the thread that created the application);
// IUiThread says which of its functions any thread may call.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/BusyCursor.h"
#include "framework/Dialogs.h"
#include "framework/Form.h"
#include "framework/Timer.h"
#include "framework/TrayIcon.h"
#include "framework/UiThread.h"

namespace pw::framework {

class IApplication : public IUiThread, public IBusyCursor {
  public:
    // Runs the message loop until Terminate.
    virtual void Run() = 0;

    virtual void SetTitle(std::string_view title) = 0;
    virtual std::string Title() const = 0;
    virtual void Minimize() = 0;
    // When minimised, shows the application's windows again and activates them; else nothing.
    virtual void Restore() = 0;
    virtual bool IsMinimized() const = 0;

    virtual std::unique_ptr<ITimer> CreateTimer() = 0;
    // The first form created becomes the main form; closing it terminates the application.
    virtual std::unique_ptr<IForm> CreateForm() = 0;
    virtual IForm* MainForm() const = 0;
    virtual std::unique_ptr<IOpenDialog> CreateOpenDialog() = 0;
    // An icon in the desktop's notification area, not yet shown. A program asks for one at most;
    // a program without a window (the checker) asks for none.
    virtual std::unique_ptr<ITrayIcon> CreateTrayIcon() = 0;

    // A modal message box; returns the button chosen.
    virtual DialogResult MessageBox(std::string_view text, std::string_view caption,
                                    std::uint32_t flags) = 0;
    // The standard error box: shows an exception's message; the program goes on.
    virtual void ShowException(std::string_view message) = 0;
};

}  // namespace pw::framework
