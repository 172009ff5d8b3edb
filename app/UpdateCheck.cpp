#include "app/UpdateCheck.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "platform/native/NativeOs.h"
#include "update/kxRelift.h"
#include "update/kxReliftInfo.h"

namespace pw::app {

namespace {

void Say(std::FILE* err, const std::string& message) {
    std::fprintf(err, "pagewarden: %s\n", message.c_str());
}

// One column of a line: a tab or line break inside would start another.
std::string Column(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            continue;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> ParseUpdateCheckArgs(std::span<const std::string> args,
                                                std::string& error) {
    std::optional<std::string> url;
    bool check = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string value;
        if (a == "--check-update") {
            check = true;
            continue;
        }
        if (a == "--info-url") {
            if (i + 1 == args.size()) {
                error = "--info-url needs a value";
                return std::nullopt;
            }
            value = args[++i];
        } else if (a.starts_with("--info-url=")) {
            value = a.substr(std::strlen("--info-url="));
        } else {
            error = "unknown argument '" + a + "'";
            return std::nullopt;
        }
        if (url) {
            error = "--info-url is given twice";
            return std::nullopt;
        }
        url = value;
    }
    if (!check) {
        error = "--check-update is missing";
        return std::nullopt;
    }
    return url.value_or(std::string());
}

int RunUpdateCheck(int argc, char** argv, std::FILE* out, std::FILE* err,
                   const UpdateCheckSetup& setup) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::string problem;
    std::optional<std::string> given = ParseUpdateCheckArgs(args, problem);
    if (!given) {
        Say(err, problem + " (pagewarden --help shows the usage)");
        return kExitUpdateCannotRun;
    }
    const std::string url = given->empty() ? setup.infoFileUrl : *given;
    if (url.empty()) {
        Say(err,
            "no update address: this build has none and PAGEWARDEN_UPDATE_URL is not set "
            "(or give --info-url URL)");
        return kExitUpdateCannotRun;
    }
    try {
        platform::NativeOs native({.notice = {}, .readOnlySettings = true});
        platform::NativeInternet internet;
        const TkxEnvironment env(native.os());
        framework::HeadlessApplication app;
        app.SetTitle("Pagewarden");

        update::TkxRelift relift({.app = app,
                                  .internet = internet,
                                  .env = env,
                                  .resources = nullptr,
                                  .params = {},
                                  .publicKeyPem = setup.publicKeyPem});
        relift.InfoFileURL = url;
        if (!setup.versionDate.empty()) relift.VersionDate = setup.versionDate;
        // Nothing is asked or shown: the answer is the report.
        relift.ShowMessages = {};
        const bool newer = relift.CheckForUpdate(true);
        if (!relift.CheckFailure().empty() || relift.InfoText().empty()) {
            Say(err, "the update information file " + url + " could not be read: " +
                         (relift.CheckFailure().empty() ? std::string("no answer")
                                                        : relift.CheckFailure()));
            return kExitNoInfoFile;
        }

        const std::string& text = relift.InfoText();
        const bool byNumber = relift.VersionControl == update::TkxReliftVersionControl::byNumber;
        std::string report =
            std::string(newer ? "update" : "none") + '\t' +
            Column(update::GetInfoValue(text, byNumber ? "#version" : "#date", false)) + '\t' +
            Column(byNumber ? relift.VersionNumber : relift.VersionDate) + '\n';
        const update::TkxReliftInfoFile info = update::ReadInfoFile(text);
        for (const std::string& item : info.files)
            report += "file\t" + Column(update::FileItemURL(item)) + '\t' +
                      Column(update::FileItemTarget(item)) + '\n';
        report += "message\t" + Column(info.message) + '\n';

        const bool written = std::fwrite(report.data(), 1, report.size(), out) == report.size();
        if (!written || std::fflush(out) != 0 || std::ferror(out)) {
            Say(err, std::string("cannot write the report: ") + std::strerror(errno));
            return kExitUpdateCannotRun;
        }
        return newer ? kExitUpdate : kExitNoUpdate;
    } catch (const std::exception& e) {
        Say(err, e.what());
        return kExitUpdateCannotRun;
    }
}

}  // namespace pw::app
