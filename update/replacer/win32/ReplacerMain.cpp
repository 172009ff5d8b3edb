// The file replacer: waits for the program to exit, installs the downloads, starts it again.
// It reports nothing while it works (a windows-subsystem program: no console appears); a move
// that fails leaves both files where they were.

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "update/replacer/Replacer.h"

namespace {

using namespace pw::update::replacer;

class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() {
        if (h_) ::CloseHandle(h_);
    }
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        std::swap(h_, other.h_);
        return *this;
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HANDLE h_ = nullptr;
};

class FindHandle {
  public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    ~FindHandle() {
        if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A running executable cannot be opened for writing (ERROR_SHARING_VIOLATION), so this waits
// for the process behind path to end. Any other failure (missing file, access denied) would
// never change, so it ends the wait instead of hanging.
void WaitUntilWritable(const std::string& path) {
    for (;;) {
        const Handle file(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || ::GetLastError() != ERROR_SHARING_VIOLATION) return;
        ::Sleep(1);
    }
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One step that replaces an existing target; across volumes it copies, and it returns only
// once the data is on disk, so the old file goes only when the new one is whole.
void Install(const Move& move) {
    ::MoveFileExA(move.from.c_str(), move.to.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
}

// The restart parameters are a command line's text and are passed on as they are; a blank
// alone (an empty RestartParams) gives the program no parameter at all.
Handle Start(const std::string& path, const std::string& params) {
    std::string commandLine = "\"" + path + "\"";
    if (params.find_first_not_of(" \t") != std::string::npos) commandLine += " " + params;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return Handle();
    }
    ::CloseHandle(process.hThread);
    return Handle(process.hProcess);
}

// ANSI names, as every other path here; std::filesystem would hand back UTF-8.
std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry{};
    const FindHandle find(::FindFirstFileA((folder + "*").c_str(), &entry));
    if (find.get() == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileA(find.get(), &entry));
    return names;
}

std::string OwnFolder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return FolderOf(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string QueueFolder() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(sizeof buffer, buffer);
    const std::string folder = TempFolderFrom(n > 0 && n <= MAX_PATH ? buffer : "");
    if (!folder.empty() && IsFolder(folder)) return folder;
    // The program then used its own folder as temp folder and wrote the replacer there too.
    return OwnFolder();
}

}  // namespace

int main(int argc, char** argv) {
    const auto args = ParseReplacerArgs(std::vector<std::string>(argv + 1, argv + argc));
    if (!args) {
        std::puts(
            "Relift4.exe: installs downloaded updates once the program has exited, then "
            "restarts the program.");
        return 0;
    }
    // Without a program path the folder to sweep would be wherever the replacer was started.
    if (args->programPath.empty()) return 2;

    const std::string queuePath = QueueFolder() + std::string(kQueueName);
    const std::string queueText = ReadAll(queuePath);

    if (Exists(args->programPath)) WaitUntilWritable(args->programPath);
    const bool sameName = Exists(args->programPath + std::string(kTmpSuffix));

    for (const Move& move : QueueMoves(queueText))
        Install(move);
    const SweepPlan plan = PlanSweep(*args, ListFolder(FolderOf(args->programPath)), sameName);
    for (const Move& move : plan.moves)
        Install(move);

    const Handle started = Start(plan.start, args->restartParams);
    ::DeleteFileA(queuePath.c_str());

    if (!plan.programAfterSetup.empty()) {
        if (started) ::WaitForSingleObject(started.get(), INFINITE);
        WaitUntilWritable(plan.start);
        ::DeleteFileA(plan.start.c_str());
        Start(plan.programAfterSetup, args->restartParams);
    }
    return 0;
}
