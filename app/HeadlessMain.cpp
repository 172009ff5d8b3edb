// The Pagewarden program where the UI framework has no window back end yet (Windows): the
// checker, the update check and the version, and a clear word instead of the window.

#include <cstdio>
#include <optional>

#include "app/Checker.h"
#include "app/Launch.h"

int main(int argc, char** argv) {
    if (const std::optional<int> status = pw::app::RunWithoutWindow(argc, argv)) return *status;
    std::fputs(
        "pagewarden: this build has no window; pagewarden --check checks the watch list "
        "(pagewarden --help shows how)\n",
        stderr);
    return pw::app::kExitCannotRun;
}
