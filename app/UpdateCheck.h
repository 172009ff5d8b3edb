#pragma once
// `pagewarden --check-update [--info-url URL]`: asks the update information file whether a newer
// version exists, headless and without downloading anything, and prints the answer as
// tab-separated lines:
//   update|none <TAB> the offered date (or version) as the file states it <TAB> this version's date
//   file <TAB> URL <TAB> target (as listed; empty when none)      one line per listed file
//   message <TAB> the file's message, line breaks written as \n
//
// Threads: RunUpdateCheck runs on the calling thread, which becomes the headless UI thread.

#include <cstdio>
#include <optional>
#include <span>
#include <string>

namespace pw::app {

// Exit statuses of the update check.
inline constexpr int kExitNoUpdate = 0;
inline constexpr int kExitUpdate = 1;
inline constexpr int kExitUpdateCannotRun = 2;  // no address, bad arguments
inline constexpr int kExitNoInfoFile = 3;       // HTTP error, unreachable, lost, bad signature

struct UpdateCheckSetup {
    std::string infoFileUrl;   // the address built in or set by the environment
    std::string versionDate;   // the running version's release date, month/day/year
    std::string publicKeyPem;  // the build's update key; empty: files need no signature
};

// argv[1..] holds "--check-update" and optionally "--info-url URL" (or "--info-url=URL"). Empty,
// with the reason in `error`, for anything else.
std::optional<std::string> ParseUpdateCheckArgs(std::span<const std::string> args,
                                                std::string& error);

int RunUpdateCheck(int argc, char** argv, std::FILE* out, std::FILE* err,
                   const UpdateCheckSetup& setup);

}  // namespace pw::app
