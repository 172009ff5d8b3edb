#include "app/Launch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Version.h"
#include "app/Checker.h"
#include "app/UpdateCheck.h"
#include "update/kxRelift.h"
#include "update/kxReliftVerify.h"

namespace pw::app {

std::string UpdateUrl() {
    if (!PW_SELF_UPDATE) return {};
    const char* env = std::getenv("PAGEWARDEN_UPDATE_URL");
    return env ? std::string(env) : std::string(PW_UPDATE_URL);
}

const TkxInstallLayout& InstallLayout() {
    static const TkxInstallLayout layout{PW_BIN_FOLDER, PW_DOC_FOLDER};
    return layout;
}

std::optional<int> RunWithoutWindow(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Pagewarden %s, released %s\n", PW_VERSION, PW_VERSION_DATE);
        return 0;
    }
    const std::vector<std::string> params(argv + 1, argv + argc);
    for (const std::string& p : params) {
        if (p == "--check-update")
            return RunUpdateCheck(
                argc, argv, stdout, stderr,
                {UpdateUrl(), PW_VERSION_DATE, std::string(update::BuiltInUpdatePublicKey())});
    }
    // The window takes no arguments but the one of a restart after an update, so any other
    // argument is the checker's, which also rejects the unknown ones.
    const bool afterUpgrade = argc == 2 && params[0] == update::kDefaultRestartParams;
    if (argc > 1 && !afterUpgrade)
        return RunChecker(argc, argv, stdout, stderr,
                          {.appExeName = {}, .layout = InstallLayout(), .configFolder = {}});
    return std::nullopt;
}

}  // namespace pw::app
