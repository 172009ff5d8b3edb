#pragma once
// The upgrade question window: "A newer version of ... was released", Yes or Later.
//
// UI thread only.

#include <string>

#include "update/kxReliftWindowHost.h"

namespace pw::update {

// Asks modally; true only when the window closed with Yes.
bool AskUpgrade(IReliftWindowHost& host, const std::string& message);

}  // namespace pw::update
