// The Pagewarden program where the UI framework has no window back end yet (Windows): the
// checker, the update check and the version, and a clear word instead of the window.

#include <cstdio>
#include <optional>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/Checker.h"
#include "app/Launch.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    // The report's lines end in "\n" on every system, as scripts that read it expect; text mode
    // would make them "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    if (const std::optional<int> status = pw::app::RunWithoutWindow(argc, argv)) return *status;
    std::fputs(
        "pagewarden: this build has no window; pagewarden --check checks the watch list "
        "(pagewarden --help shows how)\n",
        stderr);
    return pw::app::kExitCannotRun;
}
