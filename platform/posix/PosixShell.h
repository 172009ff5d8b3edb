#pragma once
// Starting programs on a POSIX desktop: xdg-open or $BROWSER for "open", posix_spawn for programs,
// GIO for the registered handler of a file type. Safe to call from any thread; every started
// process is reaped by a detached thread of its own, so none is left as a zombie.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Shell.h"

namespace pw::platform::posix {

class PosixShell final : public IShell {
  public:
    bool ShellOpen(std::string_view file, std::string_view parameters) override;
    bool StartProcess(const std::string& program, const std::vector<std::string>& args) override;
    std::string AssociatedCommand(std::string_view extension) override;

    // Splits a command line into arguments: blanks separate, double quotes group and are
    // removed, a backslash escapes a double quote (2n backslashes before a quote give n).
    static std::vector<std::string> SplitArguments(std::string_view commandLine);
};

}  // namespace pw::platform::posix
