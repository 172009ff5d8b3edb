#include "update/kxReliftWizard.h"

namespace pw::update {

void TkxReliftWizard::SetLanguage(TkxReliftLanguage value, std::uint16_t systemLanguageId) {
    // A value outside the enumeration (a damaged stored property) keeps the language in use.
    const int number = value;
    if (value == language_ || number < wlAuto || number > wlSlovak) return;
    language_ = value;
    // The base is the process's, so the change reaches every component's windows at once.
    if (value == wlAuto)
        DetectLanguage(systemLanguageId);
    else
        SetMessageBase(value);
}

}  // namespace pw::update
