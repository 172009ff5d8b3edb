#include "platform/win32/Win32Shell.h"

#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>

#include "platform/win32/Win32Handle.h"

namespace pw::platform::win32 {
namespace {

bool HasZeroByte(std::string_view s) {
    return s.find('\0') != std::string_view::npos;
}

// The default value of a key below HKEY_CLASSES_ROOT as text; empty when there is none.
std::string ClassesText(const std::string& key) {
    DWORD size = 0;
    if (::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr,
                       RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, nullptr,
                       &size) != ERROR_SUCCESS)
        return {};
    std::string text(size, '\0');
    if (::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr,
                       RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, text.data(),
                       &size) != ERROR_SUCCESS)
        return {};
    text.resize(std::min<std::size_t>(size, text.size()));
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

}  // namespace

bool Win32Shell::ShellOpen(std::string_view file, std::string_view parameters) {
    if (file.empty() || HasZeroByte(file) || HasZeroByte(parameters)) return false;
    const std::string f(file);
    const std::string p(parameters);
    const HINSTANCE result = ::ShellExecuteA(
        nullptr, "open", f.c_str(), p.empty() ? nullptr : p.c_str(), nullptr, SW_SHOWNORMAL);
    // Not a handle: a number above 32 for success, an error code otherwise.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

std::string Win32Shell::QuoteArgument(std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string_view::npos)
        return std::string(arg);
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each stands for half of what is written.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::string Win32Shell::CommandLine(std::string_view program,
                                    const std::vector<std::string>& args) {
    std::string line = "\"" + std::string(program) + "\"";
    for (const std::string& arg : args)
        line += " " + QuoteArgument(arg);
    return line;
}

bool Win32Shell::StartProcess(const std::string& program, const std::vector<std::string>& args) {
    // A quote cannot be part of a program's name: it would end the name early.
    if (program.empty() || program.find('"') != std::string::npos || HasZeroByte(program))
        return false;
    for (const std::string& arg : args)
        if (HasZeroByte(arg)) return false;
    std::string line = CommandLine(program, args);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // CreateProcessA may write into the command line, so it gets a buffer of its own.
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                          &info))
        return false;
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    return true;
}

std::string Win32Shell::AssociatedCommand(std::string_view extension) {
    if (extension.size() < 2 || extension[0] != '.' || HasZeroByte(extension)) return {};
    const std::string ext(extension);
    DWORD size = 0;
    if (::AssocQueryStringA(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, ext.c_str(), "open", nullptr,
                            &size) == S_FALSE &&
        size > 1) {
        std::string command(size, '\0');
        if (SUCCEEDED(::AssocQueryStringA(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, ext.c_str(), "open",
                                          command.data(), &size))) {
            command.resize(std::min<std::size_t>(size, command.size()));
            while (!command.empty() && command.back() == '\0')
                command.pop_back();
            if (!command.empty()) return command;
        }
    }
    // The registry as the shell reads it, for a system whose association service says nothing.
    const std::string progId = ClassesText(ext);
    return progId.empty() ? std::string() : ClassesText(progId + "\\shell\\open\\command");
}

}  // namespace pw::platform::win32
