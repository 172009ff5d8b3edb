// A small program that updates itself with the self-update component, for the end-to-end test.
// Started with the restart parameters, it leaves the marker "restarted" beside itself and ends.
// Otherwise it checks the information file at $PW_TEST_INFO_URL, downloads what it lists, writes
// the replacer and the queue and closes; a failed upgrade leaves the marker "stopped" instead.
// With $PW_TEST_PUBKEY_FILE it is a signed build with that public key.

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "platform/native/NativeOs.h"
#include "update/kxRelift.h"

namespace {

std::string ReadAll(const char* path) {
    if (!path) return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pw;
    framework::HeadlessApplication app;
    platform::NativeOs native({.notice = {}, .readOnlySettings = true});
    platform::NativeInternet internet;
    const TkxEnvironment env(native.os());
    const auto mark = [&](const std::string& name, const std::string& text) {
        std::ofstream(env.AppFolder + name) << text;
    };

    update::TkxRelift relift({.app = app,
                              .internet = internet,
                              .env = env,
                              .resources = &UpdateResources(),
                              .params = std::vector<std::string>(argv + 1, argv + argc),
                              .publicKeyPem = ReadAll(std::getenv("PW_TEST_PUBKEY_FILE"))});
    relift.Wizard().Enabled = false;
    relift.ShowMessages = {};
    relift.VersionDate = "01/01/2000";
    const char* url = std::getenv("PW_TEST_INFO_URL");
    relift.InfoFileURL = url ? url : "";

    bool restarted = false;
    relift.OnAfterRestart = [&](update::TkxRelift&) {
        restarted = true;
        mark("restarted", argv[1]);
    };
    const auto stop = [&](const std::string& why) {
        mark("stopped", why);
        app.Terminate();
    };
    relift.OnAborted = [&](update::TkxRelift&) { stop("aborted"); };
    relift.OnNoInfoFile = [&](update::TkxRelift&) { stop("no information file"); };
    relift.OnNoUpdateAvailable = [&](update::TkxRelift&) { stop("no update"); };
    relift.Loaded();
    if (restarted) return 0;

    relift.CheckForUpdate(false);
    app.Run();
    return 0;
}
