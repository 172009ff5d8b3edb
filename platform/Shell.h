#pragma once
// Starting other programs: the desktop's "open" action, detached processes, and the program the
// desktop has registered for a kind of file. Nothing here waits for the started program.

#include <string>
#include <string_view>
#include <vector>

namespace pw::platform {

class IShell {
  public:
    virtual ~IShell() = default;

    // Asks the desktop to open a document or URL with its registered handler; with parameters,
    // `file` is a program started with them (split like a command line). False when nothing
    // could be started; what the started program does later is not awaited.
    virtual bool ShellOpen(std::string_view file, std::string_view parameters) = 0;
    // Starts a program with an argument vector, detached. False when it could not be started.
    virtual bool StartProcess(const std::string& program, const std::vector<std::string>& args) = 0;
    // The command line the desktop has registered to open files with this extension (".html"),
    // such as "/usr/bin/firefox %u"; empty when none is registered.
    virtual std::string AssociatedCommand(std::string_view extension) = 0;
};

}  // namespace pw::platform
