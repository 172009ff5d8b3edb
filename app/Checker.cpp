#include "app/Checker.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <span>
#include <system_error>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "monitor/Unit1.h"
#include "platform/posix/CurlInternet.h"
#include "platform/posix/PosixOs.h"
#include "platform/posix/RegistryStore.h"
#include "util/kxUtilsSystem.h"

namespace pw::app {

namespace {

constexpr std::string_view kHelp =
    R"(Usage: pagewarden                 open the window
       pagewarden --check         check the stored watch list once
       pagewarden --check --url URL --text TEXT [--presence]
                                  check one page once
       pagewarden --help          show this text

A check fetches each watched page once and searches it for the row's text (the bytes as
typed; letter case counts). It prints one line per watched row on standard output, in
tab-separated columns:
  row      1 to 20
  verdict  ok, ALARM, or error (the page could not be fetched; under "absence" a page
           that cannot be fetched is an ALARM)
  logic    absence (alarm when the text is missing) or presence (alarm when it is there)
  URL
  detail   why the page could not be fetched, such as "HTTP 404"; empty when it was

The watch list is the one the window saves: $XDG_CONFIG_HOME/pagewarden/HKCU.reg
(~/.config/pagewarden/HKCU.reg when XDG_CONFIG_HOME is not set). With --url no settings
are read, and the logic is absence unless --presence is given.

Exit status: 0 every row ok; 1 at least one ALARM; 3 no alarm, but at least one error;
2 the check could not run (bad arguments, an unreadable or empty watch list).
No display is needed and no sound is played.
)";

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

// Why the stored watch list cannot be used before anything is read, empty when it can: a
// missing file leaves nothing to check, and an unreadable one would read as an empty list.
std::string StoredListProblem(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return ec ? "cannot read the watch list " + file.string() + ": " + ec.message()
                  : "no watch list at " + file.string() +
                        " (add pages in the window and Save, or use --url)";
    std::ifstream in(file, std::ios::binary);
    if (!in) return "cannot read the watch list " + file.string();
    return {};
}

bool HasValue(std::string_view arg, std::string_view option, std::string& value) {
    if (arg.size() <= option.size() || arg.substr(0, option.size()) != option ||
        arg[option.size()] != '=')
        return false;
    value = std::string(arg.substr(option.size() + 1));
    return true;
}

}  // namespace

bool IsCheckerCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--check" || a == "--help" || a == "--presence" || a == "--url" || a == "--text" ||
            a.starts_with("--url=") || a.starts_with("--text="))
            return true;
    }
    return false;
}

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

Verdict VerdictOf(framework::TColor colour) {
    if (colour == framework::clGreen) return Verdict::Ok;
    if (colour == framework::clRed) return Verdict::Alarm;
    return Verdict::Error;
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
        error = error || r.verdict == Verdict::Error;
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
    if (parsed->mode == CheckerArgs::Mode::Help) {
        std::fwrite(kHelp.data(), 1, kHelp.size(), out);
        std::fflush(out);
        return kExitOk;
    }
    const bool stored = parsed->mode == CheckerArgs::Mode::Stored;

    try {
        // Messages of the settings store (a damaged file set aside) mean the list read is not
        // the list the user saved.
        std::vector<std::string> notices;
        platform::posix::PosixOs posix(
            {{}, [&notices](const std::string& message) { notices.push_back(message); }});
        if (stored) {
            const platform::posix::RegistryStore names(
                platform::posix::PosixOs::DefaultConfigFolder(), nullptr);
            problem = StoredListProblem(names.FileOf(platform::RegRoot::CurrentUser));
            if (!problem.empty()) {
                Say(err, problem);
                return kExitCannotRun;
            }
        }
        platform::posix::CurlInternet internet;
        SilentSound sound;
        TkxEnvironment env(posix.os());
        if (!setup.appExeName.empty()) {
            env.AppExeName = setup.appExeName;
            env.AppFolder = (std::filesystem::path(setup.appExeName).parent_path() / "").string();
        }
        framework::HeadlessApplication app;
        app.SetTitle("Pagewarden");

        monitor::TForm1 form({app, posix.os(), internet, sound, env},
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
        for (int k : watched) {
            RowReport r;
            r.row = k;
            r.verdict = VerdictOf(form.SearchField(k).Color());
            // Index 1, and no selection at all, alarm on presence.
            r.presence = form.LogicSelector(k).ItemIndex() != 0;
            r.url = form.UrlField(k).Text();
            r.detail = form.RowFailure(k);
            if (r.verdict == Verdict::Error && r.detail.empty()) r.detail = "not checked";
            reports.push_back(std::move(r));
        }
        for (const RowReport& r : reports) {
            const std::string line = FormatRow(r);
            std::fwrite(line.data(), 1, line.size(), out);
        }
        std::fflush(out);
        const int status = ExitStatusOf(reports);
        return passErrors && status == kExitOk ? kExitError : status;
    } catch (const std::exception& e) {
        Say(err, e.what());
        return kExitCannotRun;
    }
}

}  // namespace pw::app
