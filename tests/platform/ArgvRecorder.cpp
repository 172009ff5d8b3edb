// Writes the arguments it was started with, as a Windows program reads its command line, one per
// line to the file named by its first argument: "<file>.part" first, renamed when complete, so
// a reader never sees half of it.

#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

std::wstring Wide(const char* text) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

std::string Narrow(const wchar_t* text) {
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

}  // namespace

int main() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> args(
        ::CommandLineToArgvW(Wide(::GetCommandLineA()).c_str(), &count), &::LocalFree);
    if (!args || count < 2) return 1;
    const std::string file = Narrow(args.get()[1]);
    {
        std::ofstream out(file + ".part", std::ios::binary);
        for (int i = 2; i < count; ++i)
            out << Narrow(args.get()[i]) << '\n';
        if (!out) return 1;
    }
    return ::MoveFileExA((file + ".part").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
