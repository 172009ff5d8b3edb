#pragma once
// What a control of the Qt back end asks of the form it sits on. The form implements it, so the
// controls know nothing else of the form and the two units do not include each other.
// UI thread only.

#include <functional>

#include "framework/Dialogs.h"

namespace pw::ui::qt {

class QtPanel;

class QtControlHost {
  public:
    // Runs one of the control's event properties as the back end runs every handler.
    virtual void RunHandler(const std::function<void()>& handler) = 0;
    // A control took or left a place in the focus order.
    virtual void TabOrderChanged() = 0;
    // The panel docks at the bottom from now on, above those docked before it.
    virtual void Docked(QtPanel& panel) = 0;
    // A docked panel changed its height or visibility.
    virtual void PlaceDockedPanels() = 0;
    // A button with a modal result was clicked, before its OnClick runs.
    virtual void ModalButtonClicked(framework::DialogResult result) = 0;

  protected:
    ~QtControlHost() = default;
};

}  // namespace pw::ui::qt
