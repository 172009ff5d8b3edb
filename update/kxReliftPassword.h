#pragma once
// The password window: the user name and password for a protected download.
//
// UI thread only.

#include "update/kxReliftWindowHost.h"

namespace pw::update {

// Asks modally; OK stores the entered user name and password in the host and gives true.
bool AskPassword(IReliftWindowHost& host);

}  // namespace pw::update
