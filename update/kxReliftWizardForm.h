#pragma once
// TEMPORARY STUB (lead's local build only; replaced by the real window)
#include <string_view>
#include "update/kxReliftWizard.h"
namespace pw::update {
struct StubCtl {
    void SetText(std::string_view) {}
    void SetCaption(std::string_view) {}
    void SetPosition(int) {}
};
class TkxReliftWizardForm {
  public:
    StubCtl FileURL, AllDownloading, LFileSize, LTransferRate, LEstimatedTime, ProgressCurrentFile,
        ProgressAllFiles;
};
}  // namespace pw::update
