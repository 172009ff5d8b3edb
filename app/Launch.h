#pragma once
// What every build of the program does before its window: --version, --check-update and the
// checker's command lines, which need no window and no display.

#include <optional>
#include <string>

#include "util/kxUtilsSystem.h"

namespace pw::app {

// The update information file's address: the environment's when it sets one (an empty value
// switches the check off), else the one built in; always empty for a packaged program.
std::string UpdateUrl();

// Where the install rules put the program and its user guide.
const TkxInstallLayout& InstallLayout();

// Runs what the command line asks for when that is not the window, and gives its exit status;
// nullopt when the window is to start (no argument, or the restart after an update).
std::optional<int> RunWithoutWindow(int argc, char** argv);

}  // namespace pw::app
