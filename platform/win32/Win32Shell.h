#pragma once
// Starting programs on Windows: the shell's "open" verb, CreateProcess with a command line
// built from an argument vector, and the shell's file associations. Safe to call from any
// thread; started processes are never awaited, their handles are closed at once.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Shell.h"

namespace pw::platform::win32 {

class Win32Shell final : public IShell {
  public:
    bool ShellOpen(std::string_view file, std::string_view parameters) override;
    // The program is looked for as CreateProcess looks (the program's folder, the current one,
    // the system folders, PATH; ".exe" added when there is no extension). The child gets no
    // console of ours and inherits no handles.
    bool StartProcess(const std::string& program, const std::vector<std::string>& args) override;
    std::string AssociatedCommand(std::string_view extension) override;

    // One argument as the C runtime and CommandLineToArgvW read it back: unchanged when it has
    // no blank, tab, line break or quote and is not empty; otherwise quoted, with a quote
    // escaped by a backslash and the backslashes before a quote or the closing quote doubled.
    static std::string QuoteArgument(std::string_view arg);
    // The program (always quoted: its name is read up to the next quote, without escapes)
    // followed by the quoted arguments.
    static std::string CommandLine(std::string_view program, const std::vector<std::string>& args);
};

}  // namespace pw::platform::win32
