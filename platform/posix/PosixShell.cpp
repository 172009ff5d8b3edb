#include "platform/posix/PosixShell.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <thread>

extern char** environ;

namespace pw::platform::posix {

namespace {

bool HasZeroByte(std::string_view s) {
    return s.find('\0') != std::string_view::npos;
}

// Waits for the child on a detached thread, so it never lingers as a zombie while the caller
// goes on at once. The thread lives as long as the child does.
void ReapWhenDone(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child is reaped by init once this process has ended.
    }
}

class SpawnFileActions {
  public:
    SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
  public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
};

// Replaces "%s" by the URL and "%%" by "%" in one argument; true when a "%s" was replaced.
bool SubstituteUrl(std::string& arg, std::string_view url) {
    std::string out;
    bool substituted = false;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] == '%' && i + 1 < arg.size() && (arg[i + 1] == 's' || arg[i + 1] == '%')) {
            if (arg[i + 1] == 's') {
                out += url;
                substituted = true;
            } else {
                out += '%';
            }
            ++i;
        } else {
            out += arg[i];
        }
    }
    arg = std::move(out);
    return substituted;
}

struct GFreeDeleter {
    void operator()(gchar* p) const { g_free(p); }
};
struct GObjectDeleter {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

// The command line with its program made absolute when it is found on PATH. A desktop entry's
// Exec value may quote the program; backslash escapes the next character inside the quotes.
std::string ResolveProgram(std::string_view command) {
    std::size_t i = command.find_first_not_of(" \t");
    if (i == std::string_view::npos) return {};
    std::string program;
    if (command[i] == '"') {
        for (++i; i < command.size() && command[i] != '"'; ++i) {
            if (command[i] == '\\' && i + 1 < command.size()) ++i;
            program += command[i];
        }
        if (i < command.size()) ++i;  // the closing quote
    } else {
        const std::size_t end = std::min(command.find_first_of(" \t", i), command.size());
        program.assign(command.substr(i, end - i));
        i = end;
    }
    const std::string_view rest = command.substr(i);

    if (program.find('/') == std::string::npos) {
        if (GCharPtr found{g_find_program_in_path(program.c_str())}) program = found.get();
    }
    if (program.find_first_of(" \t") != std::string::npos) program = '"' + program + '"';
    return program + std::string(rest);
}

}  // namespace

std::vector<std::string> PosixShell::SplitArguments(std::string_view commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool inQuotes = false;
    std::size_t i = 0;
    while (i < commandLine.size()) {
        const char c = commandLine[i];
        if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inArgument) args.push_back(std::move(current));
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            std::size_t n = 0;
            while (i + n < commandLine.size() && commandLine[i + n] == '\\')
                ++n;
            if (i + n < commandLine.size() && commandLine[i + n] == '"') {
                current.append(n / 2, '\\');
                if (n % 2 == 1) {
                    current += '"';
                    ++n;  // the escaped quote is consumed
                }
            } else {
                current.append(n, '\\');
            }
            i += n;
        } else if (c == '"') {
            inQuotes = !inQuotes;
            ++i;
        } else {
            current += c;
            ++i;
        }
    }
    if (inArgument) args.push_back(std::move(current));
    return args;
}

bool PosixShell::StartProcess(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty() || HasZeroByte(program)) return false;
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) {
        if (HasZeroByte(a)) return false;
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    SpawnFileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Descriptors without close-on-exec (a settings lock, a socket) must not outlive us in a
    // browser that runs for hours.
    posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);

    SpawnAttributes attributes;
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(attributes.get(), &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(attributes.get(), &signals);
    // Its own session: closing our terminal or process group does not take it along.
    posix_spawnattr_setflags(attributes.get(),
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    // glibc reports a failed exec as the result of posix_spawn itself.
    const int rc = program.find('/') == std::string::npos
                       ? posix_spawnp(&pid, program.c_str(), actions.get(), attributes.get(),
                                      argv.data(), environ)
                       : posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(),
                                     argv.data(), environ);
    if (rc != 0) return false;
    ReapWhenDone(pid);
    return true;
}

bool PosixShell::ShellOpen(std::string_view file, std::string_view parameters) {
    if (file.empty()) return false;
    if (!parameters.empty()) return StartProcess(std::string(file), SplitArguments(parameters));

    if (file.find("://") != std::string_view::npos) {
        // $BROWSER: commands separated by ":", tried in turn until one starts; then xdg-open.
        const char* browsers = std::getenv("BROWSER");
        std::string_view list = browsers ? browsers : "";
        while (!list.empty()) {
            const std::size_t colon = std::min(list.find(':'), list.size());
            auto args = SplitArguments(list.substr(0, colon));
            list.remove_prefix(std::min(colon + 1, list.size()));
            if (args.empty()) continue;
            bool substituted = false;
            for (std::size_t i = 1; i < args.size(); ++i) {
                substituted = SubstituteUrl(args[i], file) || substituted;
            }
            if (!substituted) args.emplace_back(file);
            const std::string program = args.front();
            args.erase(args.begin());
            if (StartProcess(program, args)) return true;
        }
    }
    return StartProcess("xdg-open", {std::string(file)});
}

std::string PosixShell::AssociatedCommand(std::string_view extension) {
    if (extension.empty() || extension == "." || HasZeroByte(extension) ||
        extension.find('/') != std::string_view::npos) {
        return {};
    }
    const std::string name =
        std::string("file") + (extension.front() == '.' ? "" : ".") + std::string(extension);

    // GIO answers from the shared MIME database and the desktop entries with their
    // mimeapps.list defaults, as every desktop does; xdg-mime would need a shell per query
    // and names only the desktop entry, not its command.
    gboolean uncertain = FALSE;
    const GCharPtr type{g_content_type_guess(name.c_str(), nullptr, 0, &uncertain)};
    if (!type || g_content_type_is_unknown(type.get())) return {};
    const std::unique_ptr<GAppInfo, GObjectDeleter> app{
        g_app_info_get_default_for_type(type.get(), FALSE)};
    if (!app) return {};
    const char* command = g_app_info_get_commandline(app.get());
    return command ? ResolveProgram(command) : std::string();
}

}  // namespace pw::platform::posix
