// The file replacer: waits for the program to exit, installs the downloads, starts it again.
// It reports nothing while it works; a move that fails leaves both files where they were.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "update/replacer/Replacer.h"

extern char** environ;

namespace {

using namespace pw::update::replacer;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A running executable refuses to be opened for writing (ETXTBSY), so this waits for the
// process behind path to end. Any other failure (missing file, EACCES for a file we may not
// write) would never change, so it ends the wait instead of hanging.
void WaitUntilWritable(const std::string& path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
        if (errno != ETXTBSY && errno != EINTR) return;
        ::usleep(1000);
    }
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t DefaultProgramMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0777 & ~mask;
}

// rename() replaces an existing target in one step, so a failed move leaves both files. The
// installed file takes the bits of the file it replaces, or the program's when it is a program
// that did not exist yet: a download arrives without exec bits.
void Install(const Move& move, mode_t programMode) {
    struct stat source {};
    if (::stat(move.from.c_str(), &source) != 0) return;
    struct stat target {};
    if (::stat(move.to.c_str(), &target) == 0) {
        ::chmod(move.from.c_str(), target.st_mode & 07777);
    } else if (move.runnable) {
        ::chmod(move.from.c_str(), programMode);
    }
    ::rename(move.from.c_str(), move.to.c_str());
}

// Started in a session of its own, so it outlives the replacer and the terminal it came from.
// The restart parameters are a command line's text: split at blanks as a shell would, so a
// blank alone (an empty RestartParams) gives the program no parameter at all.
pid_t Start(const std::string& path, const std::string& params) {
    std::vector<std::string> args{path};
    std::size_t i = 0;
    while ((i = params.find_first_not_of(" \t", i)) != std::string::npos) {
        const std::size_t end = params.find_first_of(" \t", i);
        args.push_back(params.substr(i, end == std::string::npos ? end : end - i));
        i = end;
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
#ifdef POSIX_SPAWN_SETSID
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
#endif
    pid_t pid = -1;
    if (::posix_spawn(&pid, path.c_str(), nullptr, &attr, argv.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attr);
    return pid;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    return names;
}

std::string QueueFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string folder = TempFolderFrom(tmpdir ? tmpdir : "");
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return folder;
    // The program then used its own folder as temp folder and wrote the replacer there too.
    return FolderOf(std::filesystem::read_symlink("/proc/self/exe", ec).string());
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

    mode_t programMode = DefaultProgramMode();
    struct stat program {};
    if (::stat(args->programPath.c_str(), &program) == 0) {
        programMode = program.st_mode & 07777;
        WaitUntilWritable(args->programPath);
    }
    const bool sameName = Exists(args->programPath + std::string(kTmpSuffix));

    for (const Move& move : QueueMoves(queueText))
        Install(move, programMode);
    const SweepPlan plan = PlanSweep(*args, ListFolder(FolderOf(args->programPath)), sameName);
    for (const Move& move : plan.moves)
        Install(move, programMode);

    const pid_t started = Start(plan.start, args->restartParams);
    ::unlink(queuePath.c_str());

    if (!plan.programAfterSetup.empty()) {
        if (started > 0) {
            int status = 0;
            while (::waitpid(started, &status, 0) < 0 && errno == EINTR) {
            }
        }
        WaitUntilWritable(plan.start);
        ::unlink(plan.start.c_str());
        Start(plan.programAfterSetup, args->restartParams);
    }
    return 0;
}
