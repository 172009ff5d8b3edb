#include "update/replacer/Replacer.h"

namespace pw::update::replacer {

namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string Join(std::vector<std::string>::const_iterator first,
                 std::vector<std::string>::const_iterator last) {
    std::string joined;
    for (auto it = first; it != last; ++it) {
        if (it != first) joined += ' ';
        joined += *it;
    }
    return joined;
}

// Splits off the method digit; what is left may be empty.
bool TakeMethodDigit(std::string& text) {
    if (text.empty()) return false;
    const bool externalSetup = text.back() == '1';
    text.pop_back();
    return externalSetup;
}

}  // namespace

std::optional<ReplacerArgs> ParseReplacerArgs(const std::vector<std::string>& args) {
    if (args.empty()) return std::nullopt;
    ReplacerArgs result;
    if (args.size() >= 2 && args[0] == "--program") {
        result.programPath = args[1];
        std::string rest = Join(args.begin() + 2, args.end());
        result.externalSetup = TakeMethodDigit(rest);
        result.restartParams = std::move(rest);
        return result;
    }
    std::string joined = Join(args.begin(), args.end());
    result.externalSetup = TakeMethodDigit(joined);
    const std::size_t plus = joined.find('+');
    std::string path = joined.substr(0, plus);
    if (plus != std::string::npos) result.restartParams = joined.substr(plus + 1);
    if (!path.empty() && path.back() == ' ') path.pop_back();
    result.programPath = std::move(path);
    return result;
}

std::string TempFolderFrom(std::string_view tmpdir) {
#ifdef _WIN32
    if (tmpdir.empty()) return {};
    std::string folder(tmpdir);
    if (kFolderEnds.find(folder.back()) == std::string_view::npos) folder += '\\';
#else
    if (tmpdir.empty()) return "/tmp/";
    std::string folder(tmpdir);
    if (folder.back() != '/') folder += '/';
#endif
    return folder;
}

std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.find_last_of(kFolderEnds);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FileNameOf(std::string_view path) {
    return std::string(path.substr(FolderOf(path).size()));
}

std::vector<Move> QueueMoves(std::string_view queueText) {
    std::vector<Move> moves;
    while (!queueText.empty()) {
        const std::size_t end = queueText.find('\n');
        std::string_view line = queueText.substr(0, end);
        queueText = end == std::string_view::npos ? std::string_view() : queueText.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        moves.push_back({std::string(line) + std::string(kTmpSuffix), std::string(line), false});
    }
    return moves;
}

SweepPlan PlanSweep(const ReplacerArgs& args, const std::vector<std::string>& entryNames,
                    bool sameName) {
    SweepPlan plan;
    const std::string folder = FolderOf(args.programPath);
    const std::string programName = FileNameOf(args.programPath);
    std::string start = args.programPath;
    for (const std::string& entry : entryNames) {
        if (!EndsWith(entry, kTmpSuffix)) continue;
        std::string name = entry.substr(0, entry.size() - kTmpSuffix.size());
        if (name.empty()) continue;
        bool runnable = name == programName;
        if (!sameName && EndsWith(name, "exe")) {
            if (args.externalSetup) {
                plan.programAfterSetup = args.programPath;
                start = folder + name;
            } else {
                name = programName;
            }
            runnable = true;
            sameName = true;
        }
        plan.moves.push_back({folder + entry, folder + name, runnable});
    }
    plan.start = std::move(start);
    return plan;
}

}  // namespace pw::update::replacer
