#pragma once
// The headless checker: `pagewarden --check` runs one pass of the main window's logic over the
// stored watch list (or over one page given on the command line) on the headless back end, and
// reports each watched row as one tab-separated line on standard output. No display, no sound.
// It only reads the settings, from one reading of the file, and never waits on a file that is
// not a regular one.
//
// Threads: RunChecker runs on the calling thread, which becomes the headless UI thread.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "monitor/Verdict.h"
#include "util/kxUtilsSystem.h"

namespace pw::app {

// Exit statuses.
inline constexpr int kExitOk = 0;     // every watched row is fine
inline constexpr int kExitAlarm = 1;  // at least one row is in alarm
// Bad arguments, an unreadable or empty watch list, or a report that could not be written.
inline constexpr int kExitCannotRun = 2;
inline constexpr int kExitError = 3;  // no alarm, but at least one row could not be checked

struct CheckerArgs {
    enum class Mode { Help, Stored, Single };
    Mode mode = Mode::Stored;
    // Mode::Single: the page, the text and the logic (alarm on presence rather than absence).
    std::string url;
    std::string text;
    bool presence = false;
};

// Parses argv[1..]. On a bad command line gives nullopt and says why in `error`.
std::optional<CheckerArgs> ParseCheckerArgs(std::span<const std::string> args, std::string& error);

using monitor::Verdict;

struct RowReport {
    int row = 0;                      // 1..20
    Verdict verdict = Verdict::None;  // reported as "error" unless Ok or Alarm
    bool presence = false;            // the row's logic: alarm on presence (true) or on absence
    std::string url;
    std::string detail;  // why the page could not be fetched; empty when it was
};

// "row<TAB>verdict<TAB>logic<TAB>url<TAB>detail\n". Control characters inside the URL or the
// detail become spaces, so every row stays one line of five columns.
std::string FormatRow(const RowReport& report);

// 1 if any row is in alarm, else 3 if any row is neither ok nor in alarm, else 0.
int ExitStatusOf(std::span<const RowReport> reports);

// What the tests change; the program passes the defaults.
struct CheckerSetup {
    // The executable's path as the window sees it (url2.htm goes beside it); empty for the
    // running program's own.
    std::string appExeName;
    // Where the install rules put the program and its user guide.
    TkxInstallLayout layout;
    // The settings' folder as NativeOs takes it; empty for the system's default (on Windows the
    // user's real registry).
    std::filesystem::path configFolder;
};

// The checker's main: parses argv, runs the check, writes the report to `out` and every message
// to `err`, and returns the exit status.
int RunChecker(int argc, char** argv, std::FILE* out, std::FILE* err);
int RunChecker(int argc, char** argv, std::FILE* out, std::FILE* err, const CheckerSetup& setup);

}  // namespace pw::app
