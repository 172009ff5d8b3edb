#pragma once
// The progress window's form, its controls under the names the component writes to during the
// downloads (kxReliftWizard.h shows, completes and frees it).
//
// UI thread only.

#include "framework/Application.h"
#include "framework/Controls.h"
#include "update/kxReliftWindow.h"
#include "update/kxReliftWizard.h"

namespace pw::update {

class TkxReliftWizardForm final : public TReliftWindow {
  public:
    explicit TkxReliftWizardForm(framework::IApplication& app);

    // --- controls, by name (the form owns them) ---
    framework::IPanel& Panel1;  // the frame of the side picture
    framework::IImage& Image1;
    framework::ILabel& WizardTitle;
    // Under the group boxes: shown once they are hidden at completion.
    framework::ILabel& AfterNote;
    framework::IGroupBox& LCurrentFile;
    framework::ILabel& LDownloadingFileFrom;
    framework::IEdit& FileURL;
    framework::ILabel& LFileSize;
    framework::ILabel& LTransferRate;
    framework::ILabel& LEstimatedTime;
    framework::IProgressBar& ProgressCurrentFile;
    framework::IGroupBox& LAllFiles;
    framework::ILabel& AllDownloading;
    framework::IProgressBar& ProgressAllFiles;
    framework::IBevel& Bevel1;
    // The engraved caption: the light copy one pixel down and right, under the dark one.
    framework::ILabel& AboutShadow;
    framework::ILabel& AboutLabel;
    framework::IButton& FinishBtn;
    framework::IButton& CancelBtn;

    // --- handlers, by the name each bears ---
    void FinishBtnClick();  // closes the window
    void CancelBtnClick();  // posts the system close command
    // The system close command: asks whether to abort; Yes closes and aborts the upgrade.
    void WMSysCommandClose(bool& canClose);
    // Every close: frees the window and ends the component's completion wait.
    void FormClose();
};

}  // namespace pw::update
