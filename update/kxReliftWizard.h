#pragma once
// The progress window of the self-update component: the downloads, then the completion note.
// At most one exists per process; it is created on first use and frees itself when closed.
//
// UI thread only.

#include <cstdint>
#include <vector>

#include "update/kxReliftMessages.h"
#include "update/kxReliftWindowHost.h"

namespace pw::update {

// The component's published Wizard property.
struct TkxReliftWizard {
    bool Enabled = true;
    bool HideFileLocation = false;
    // An image file's bytes (PNG or BMP) shown instead of the built-in side picture; empty: none.
    std::vector<std::uint8_t> Pic118x218;
    bool StayOnTop = true;

    TkxReliftLanguage Language() const { return language_; }
    // Same value: nothing; wlAuto detects the language from the system (systemLanguageId),
    // any other value sets the process's message base at once.
    void SetLanguage(TkxReliftLanguage value, std::uint16_t systemLanguageId);

  private:
    TkxReliftLanguage language_ = wlAuto;
};

class TkxReliftWizardForm;  // defined in kxReliftWizardForm.h (controls by their names)

// The open progress window, or null.
TkxReliftWizardForm* kxReliftWizardForm();

// Creates the window if needed, remembers the host, applies the options and texts and shows it
// without making it modal.
void ShowProgressWindow(IReliftWindowHost& host);
// The completion state: title, note, Finish enabled and focused, Cancel disabled.
void ShowCompleted();
// Frees the open progress window, if any, without asking and without raising the done event.
void FreeProgressWindow();

// Frees every self-update window that remembers this host (the component is going away).
void FreeReliftWindows(const IReliftWindowHost& host);

// A message box of the application with caption message 0; the flags as framework::mb.
framework::DialogResult ShowMessageBox(IReliftWindowHost& host, const std::string& text,
                                       std::uint32_t flags);
framework::DialogResult ShowMessageBox(IReliftWindowHost& host, int k, std::uint32_t flags);

}  // namespace pw::update
