#include "app/Checker.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <span>
#include <system_error>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "monitor/Unit1.h"
#include "platform/native/NativeOs.h"
#ifndef _WIN32
#include "platform/posix/RegistryStore.h"
#endif
#include "update/kxReliftMessages.h"
#include "util/kxUtilsSystem.h"

namespace pw::app {

namespace {

constexpr std::string_view kHelp =
    R"(Usage: pagewarden                 open the window
       pagewarden --check         check the stored watch list once
       pagewarden --check --url URL --text TEXT [--presence]
                                  check one page once
       pagewarden --check-update [--info-url URL]
                                  ask the maker's server for a newer version
       pagewarden --help          show this text
       pagewarden --version       show the version

A check fetches each watched page once and searches it for the row's text (the bytes as
typed; letter case counts). It prints one line per watched row on standard output, in
tab-separated columns:
  row      1 to 20
  verdict  ok, ALARM, or error (the page could not be fetched; under "absence" a page
           that cannot be fetched is an ALARM)
  logic    absence (alarm when the text is missing) or presence (alarm when it is there)
  URL
  detail   why the page could not be fetched, such as "HTTP 404"; empty when it was
)"
#ifdef _WIN32
    R"(
The watch list is the one the window saves, in the registry:
  HKEY_CURRENT_USER\Software\Quillmere\Pagewarden\watchset.ini
It is only read, never written, so a check may run while the window is open. With --url no
settings are read, and the logic is absence unless --presence is given.
)"
#else
    R"(
The watch list is the one the window saves: $XDG_CONFIG_HOME/pagewarden/HKCU.reg
(~/.config/pagewarden/HKCU.reg when XDG_CONFIG_HOME is not set). It is only read, never
written, so a check may run while the window is open. With --url no settings are read,
and the logic is absence unless --presence is given.
)"
#endif
    R"(
--check-update only asks; it downloads nothing. It prints "update" or "none", the date
the server offers and this version's date, then one "file" line per file the update lists
and a "message" line, tab-separated. Exit status 1: an update exists; 0: none; 3: the
update information could not be read; 2: no address is known (PAGEWARDEN_UPDATE_URL).

Exit status of a check: 0 every row ok; 1 at least one ALARM; 3 no alarm, but at least one error;
2 the check could not run (bad arguments, an unreadable, damaged or empty watch list, or
a report that could not be written). No display is needed and no sound is played.
)";

TkxEnvironment EnvironmentOf(platform::Os& os, const CheckerSetup& setup) {
    TkxEnvironment env(os, setup.layout);
    if (!setup.appExeName.empty()) {
        env.AppExeName = setup.appExeName;
        env.AppFolder = (std::filesystem::path(setup.appExeName).parent_path() / "").string();
        env.DataFolder = InstalledDataFolder(env.AppFolder, setup.layout);
    }
    return env;
}

// The usage ends with where the window's Help finds the user guide, so that a user of the
// command line (or of a packaged copy) can open it by hand.
std::string GuideNote(const CheckerSetup& setup) {
    platform::NativeOs native({.notice = [](const std::string&) {}, .readOnlySettings = true});
    const TkxEnvironment env = EnvironmentOf(native.os(), setup);
    const std::string beside = monitor::ChangeFileExt(env.AppExeName, ".pdf");
    if (const std::string guide = FindShippedFile(env, beside); !guide.empty())
        return "\nThe user guide (Help in the window): " + guide + "\n";
    std::string places;
    for (const std::string& place : ShippedFilePlaces(env, beside))
        places += (places.empty() ? "" : " or ") + place;
    return "\nThe user guide is missing (looked for " + places + ").\n";
}

// The alarm is heard by nobody: a play reports that there is no sound device.
class SilentSound final : public platform::ISound {
  public:
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t) override {
        return image.data() == nullptr;
    }
};

void Say(std::FILE* err, std::string_view message) {
    std::fprintf(err, "pagewarden: %.*s\n", static_cast<int>(message.size()), message.data());
}

int ErrorBoxes(const framework::HeadlessApplication& app) {
    int n = 0;
    for (const auto& d : app.Dialogs())
        n += d.errorBox ? 1 : 0;
    return n;
}

// Error boxes shown after the first `skip`, said on `err`.
int SayErrorBoxes(const framework::HeadlessApplication& app, int skip, std::FILE* err,
                  std::string_view context) {
    int n = 0;
    for (const auto& d : app.Dialogs()) {
        if (!d.errorBox || skip-- > 0) continue;
        Say(err, std::string(context) + d.text);
        ++n;
    }
    return n;
}

// Why the stored watch list cannot be used, told before anything is read: a missing file
// leaves nothing to check. Nothing is opened here: opening a FIFO would wait for a writer.
#ifdef _WIN32
// What keeps the stored watch list in the registry from being read; empty when it can be.
std::string StoredListProblem(platform::NativeOs& os, const std::filesystem::path&) {
    const std::string where = "HKEY_CURRENT_USER\\" + std::string(monitor::kSettingsKey);
    switch (os.os().registry.OpenKey(platform::RegRoot::CurrentUser, monitor::kSettingsKey,
                                     /*create=*/false)) {
        case platform::RegStatus::Ok:
            return {};
        case platform::RegStatus::NotFound:
            return "no watch list at " + where +
                   " (add pages in the window and Save, or use --url)";
        case platform::RegStatus::AccessDenied:
            return "cannot read the watch list " + where + ": permission denied";
        default:
            return "cannot read the watch list " + where + ": input/output error";
    }
}
#else
std::string FileProblem(const std::filesystem::path& file) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return "no watch list at " + file.string() +
               " (add pages in the window and Save, or use --url)";
    if (ec) return "cannot read the watch list " + file.string() + ": " + ec.message();
    if (status.type() != std::filesystem::file_type::regular)
        return "cannot read the watch list " + file.string() + ": it is not a regular file";
    return {};
}

// What the store's one reading of the file says about the list, empty when it can be used.
std::string ReadProblem(const std::filesystem::path& file, platform::RegStatus status) {
    switch (status) {
        case platform::RegStatus::Ok:
        case platform::RegStatus::NotFound:  // no settings key: an empty list, said later
            return {};
        case platform::RegStatus::AccessDenied:
            return "cannot read the watch list " + file.string() + ": permission denied";
        default:
            return "cannot read the watch list " + file.string() + ": input/output error";
    }
}

// What keeps the stored watch list from being read; empty when it can be.
std::string StoredListProblem(platform::NativeOs& os, const std::filesystem::path& configFolder) {
    const platform::posix::RegistryStore names(
        configFolder.empty() ? platform::NativeOs::DefaultConfigFolder() : configFolder, nullptr);
    const std::filesystem::path file = names.FileOf(platform::RegRoot::CurrentUser);
    std::string problem = FileProblem(file);
    // The store reads the file once, here, and the load reads that same version, whatever the
    // window saves meanwhile.
    if (problem.empty())
        problem = ReadProblem(
            file, os.os().registry.OpenKey(platform::RegRoot::CurrentUser, monitor::kSettingsKey,
                                           /*create=*/false));
    return problem;
}
#endif

// Writes the whole text and flushes it; false, with the reason said on `err`, when it did not
// all arrive (a full disk, a closed pipe).
bool WriteOut(std::FILE* out, std::string_view text, std::FILE* err) {
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const int error = errno;
    if (written && std::fflush(out) == 0 && !std::ferror(out)) return true;
    Say(err, std::string("cannot write the report: ") + std::strerror(written ? errno : error));
    return false;
}

bool HasValue(std::string_view arg, std::string_view option, std::string& value) {
    if (arg.size() <= option.size() || arg.substr(0, option.size()) != option ||
        arg[option.size()] != '=')
        return false;
    value = std::string(arg.substr(option.size() + 1));
    return true;
}

}  // namespace

std::optional<CheckerArgs> ParseCheckerArgs(std::span<const std::string> args, std::string& error) {
    CheckerArgs parsed;
    bool check = false;
    std::optional<std::string> url;
    std::optional<std::string> text;
    const auto take = [&](std::optional<std::string>& slot, std::string_view option,
                          std::string value) {
        if (slot) {
            error = std::string(option) + " is given twice";
            return false;
        }
        slot = std::move(value);
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string value;
        if (a == "--help") {
            parsed.mode = CheckerArgs::Mode::Help;
            return parsed;
        } else if (a == "--check") {
            check = true;
        } else if (a == "--presence") {
            parsed.presence = true;
        } else if (a == "--url" || a == "--text") {
            // The next argument is the value whatever it looks like: a search text may well
            // begin with "--".
            if (i + 1 == args.size()) {
                error = a + " needs a value";
                return std::nullopt;
            }
            if (!take(a == "--url" ? url : text, a, args[++i])) return std::nullopt;
        } else if (HasValue(a, "--url", value)) {
            if (!take(url, "--url", std::move(value))) return std::nullopt;
        } else if (HasValue(a, "--text", value)) {
            if (!take(text, "--text", std::move(value))) return std::nullopt;
        } else {
            error = "unknown argument '" + a + "'";
            return std::nullopt;
        }
    }
    if (!check) {
        error = "--check is missing";
        return std::nullopt;
    }
    if (!url) {
        if (text || parsed.presence) {
            error = std::string(text ? "--text" : "--presence") + " needs --url";
            return std::nullopt;
        }
        parsed.mode = CheckerArgs::Mode::Stored;
        return parsed;
    }
    // The window skips a row without a URL; here that would check nothing and say nothing.
    if (url->empty()) {
        error = "--url needs a URL";
        return std::nullopt;
    }
    if (!text) {
        error = "--url needs --text";
        return std::nullopt;
    }
    parsed.mode = CheckerArgs::Mode::Single;
    parsed.url = std::move(*url);
    parsed.text = std::move(*text);
    return parsed;
}

std::string FormatRow(const RowReport& report) {
    const auto column = [](std::string s) {
        for (char& c : s) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x20 || b == 0x7F) c = ' ';
        }
        return s;
    };
    const char* verdict = report.verdict == Verdict::Ok      ? "ok"
                          : report.verdict == Verdict::Alarm ? "ALARM"
                                                             : "error";
    return std::to_string(report.row) + '\t' + verdict + '\t' +
           (report.presence ? "presence" : "absence") + '\t' + column(report.url) + '\t' +
           column(report.detail) + '\n';
}

int ExitStatusOf(std::span<const RowReport> reports) {
    bool error = false;
    for (const RowReport& r : reports) {
        if (r.verdict == Verdict::Alarm) return kExitAlarm;
        error = error || r.verdict != Verdict::Ok;
    }
    return error ? kExitError : kExitOk;
}

int RunChecker(int argc, char** argv, std::FILE* out, std::FILE* err) {
    return RunChecker(argc, argv, out, err, CheckerSetup{});
}

int RunChecker(int argc, char** argv, std::FILE* out, std::FILE* err, const CheckerSetup& setup) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::string problem;
    const std::optional<CheckerArgs> parsed = ParseCheckerArgs(args, problem);
    if (!parsed) {
        Say(err, problem + " (pagewarden --help shows the usage)");
        return kExitCannotRun;
    }
    if (parsed->mode == CheckerArgs::Mode::Help)
        return WriteOut(out, std::string(kHelp) + GuideNote(setup), err) ? kExitOk : kExitCannotRun;
    const bool stored = parsed->mode == CheckerArgs::Mode::Stored;

    try {
        // Messages of the settings store (a damaged file) mean the list read is not the list
        // the user saved.
        std::vector<std::string> notices;
        platform::NativeOs native(
            {.configFolder = setup.configFolder,
             .notice = [&notices](const std::string& message) { notices.push_back(message); },
             .readOnlySettings = true});
        if (stored) {
            problem = StoredListProblem(native, setup.configFolder);
            if (!problem.empty()) {
                Say(err, problem);
                return kExitCannotRun;
            }
        }
        update::DetectLanguage(native.os().system.DefaultLanguage());
        platform::NativeInternet internet;
        SilentSound sound;
        const TkxEnvironment env = EnvironmentOf(native.os(), setup);
        framework::HeadlessApplication app;
        app.SetTitle("Pagewarden");

        monitor::TForm1 form(
            {app, native.os(), internet, sound, env},
            stored ? monitor::TSettingsUse::ReadOnly : monitor::TSettingsUse::None);
        const int loadErrors = SayErrorBoxes(app, 0, err, "cannot read the watch list: ");
        for (const std::string& notice : notices)
            Say(err, notice);
        if (loadErrors > 0 || !notices.empty()) return kExitCannotRun;
        if (!stored) {
            form.UrlField(1).SetText(parsed->url);
            form.SearchField(1).SetText(parsed->text);
            form.LogicSelector(1).SetItemIndex(parsed->presence ? 1 : 0);
        }

        std::vector<int> watched;
        for (int k = 1; k <= monitor::TForm1::kRowCount; ++k)
            if (!form.UrlField(k).Text().empty()) watched.push_back(k);
        if (watched.empty()) {
            Say(err, "the watch list has no pages (add them in the window and Save)");
            return kExitCannotRun;
        }

        const int before = ErrorBoxes(app);
        form.Button1Click();
        // A handler that failed during the pass leaves its rows unproven.
        const bool passErrors = SayErrorBoxes(app, before, err, "") > 0;

        std::vector<RowReport> reports;
        std::string report;
        for (int k : watched) {
            const monitor::TRowVerdict verdict = form.RowVerdict(k);
            RowReport r;
            r.row = k;
            r.verdict = verdict.verdict;
            // Index 1, and no selection at all, alarm on presence.
            r.presence = form.LogicSelector(k).ItemIndex() != 0;
            r.url = form.UrlField(k).Text();
            r.detail = verdict.reason;
            if (r.verdict == Verdict::None && r.detail.empty()) r.detail = "not checked";
            report += FormatRow(r);
            reports.push_back(std::move(r));
        }
        // A report that does not arrive whole must not pass for "all is well".
        if (!WriteOut(out, report, err)) return kExitCannotRun;
        const int status = ExitStatusOf(reports);
        return passErrors && status == kExitOk ? kExitError : status;
    } catch (const std::exception& e) {
        Say(err, e.what());
        return kExitCannotRun;
    }
}

}  // namespace pw::app
