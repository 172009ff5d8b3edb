// TEMPORARY STUB (lead's local build only)
#include <cstdio>
#include "update/kxReliftMessages.h"
#include "update/kxReliftPassword.h"
#include "update/kxReliftUpgradeMsg.h"
#include "update/kxReliftWizard.h"
#include "update/kxReliftWizardForm.h"
namespace pw::update {
TkxReliftWizardForm* kxReliftWizardForm() { return nullptr; }
void ShowProgressWindow(IReliftWindowHost&) {}
void ShowCompleted() {}
void FreeProgressWindow() {}
void FreeReliftWindows(const IReliftWindowHost&) {}
framework::DialogResult ShowMessageBox(IReliftWindowHost& host, const std::string& text,
                                       std::uint32_t flags) {
    return host.Application().MessageBox(text, "Application update wizard", flags);
}
framework::DialogResult ShowMessageBox(IReliftWindowHost& host, int k, std::uint32_t flags) {
    return ShowMessageBox(host, LoadMessageText(k), flags);
}
bool AskUpgrade(IReliftWindowHost&, const std::string&) { return true; }
bool AskPassword(IReliftWindowHost&) { return false; }
}  // namespace pw::update
