#pragma once
// The file replacer's decisions, apart from the file system: what its command line means and
// which files it moves where, in which order, and what it starts afterwards. The executable
// (posix/ or win32/ReplacerMain.cpp) does the waiting, moving and starting. Standard C++ only.
//
// Command line, two forms:
//   Relift4.exe --program PATH REST...
//     PATH is one argument taken as it is (blanks, double blanks and "+" survive). REST is the
//     remaining arguments joined with single blanks: the restart parameters followed by the
//     method digit as its last character. No "+" separates them.
//   Relift4.exe ARGS...   (any other command line, e.g. "--program" without a PATH after it)
//     All arguments joined with single blanks. The last character is the method digit; the
//     text after the first "+" up to it is the restart parameters; the text before that "+",
//     less the one blank that separates it, is the program path. Without a "+" the whole text
//     before the digit (less a trailing blank) is the program path and there are no parameters.
// The method digit "1" turns external-setup mode on; any other character is a self-upgrade.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pw::update::replacer {

inline constexpr std::string_view kReplacerName = "Relift4.exe";
inline constexpr std::string_view kQueueName = "ReliftQueue.txt";
inline constexpr std::string_view kTmpSuffix = ".uTMP";

struct ReplacerArgs {
    std::string programPath;
    std::string restartParams;
    bool externalSetup = false;
};

// args excludes the replacer's own name. Empty when there are no arguments at all.
std::optional<ReplacerArgs> ParseReplacerArgs(const std::vector<std::string>& args);

// Where a path's folder part ends: on Windows a backslash, "/" and a drive's ":"; elsewhere "/".
#ifdef _WIN32
inline constexpr std::string_view kFolderEnds = "\\/:";
#else
inline constexpr std::string_view kFolderEnds = "/";
#endif

// The temp folder with a trailing delimiter. tmpdir is the value of TMPDIR, "/tmp/" when it
// is unset or empty; on Windows what GetTempPathA gives, "" when it gives nothing (the
// replacer then uses its own folder, as the program did).
std::string TempFolderFrom(std::string_view tmpdir);

// The path up to and including its last folder end (empty when there is none), and the rest.
std::string FolderOf(std::string_view path);
std::string FileNameOf(std::string_view path);

struct Move {
    std::string from;
    std::string to;
    // The file becomes a program that is started afterwards: when nothing lies at `to` yet it
    // takes the program's permission bits instead of the download's.
    bool runnable = false;
};

// The queue's moves: each non-empty line (CR LF or LF ended) with ".uTMP" appended onto the
// line itself, in queue order.
std::vector<Move> QueueMoves(std::string_view queueText);

struct SweepPlan {
    std::vector<Move> moves;
    // What to start first, with the restart parameters.
    std::string start;
    // External-setup mode with a setup found among the downloads: once `start` (the setup) has
    // ended, it is deleted and this program is started. Empty otherwise.
    std::string programAfterSetup;
};

// The sweep of the program folder. entryNames are the folder's file names in listing order
// (names not ending in ".uTMP" are passed over). sameName: the program path with ".uTMP"
// appended existed before the queue was worked through. The first download whose name less
// ".uTMP" ends in lowercase "exe" is, unless sameName, installed under the program's name
// (self-upgrade) or taken as the setup program to start (external setup). Without such a setup
// in external-setup mode the program itself is started and nothing waits on it.
SweepPlan PlanSweep(const ReplacerArgs& args, const std::vector<std::string>& entryNames,
                    bool sameName);

}  // namespace pw::update::replacer
