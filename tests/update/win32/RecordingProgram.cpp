// Stands in for the program the replacer replaces. "--stay MS" keeps it running (and its file
// locked) that long; any other command line is written to "<its own path>.cmdline".
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--stay") == 0) {
        ::Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
    char self[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    // Written aside and renamed, so a reader never sees half of it.
    const std::string target = std::string(self) + ".cmdline";
    const std::string part = target + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << ::GetCommandLineA();
        if (!out) return 1;
    }
    return ::MoveFileExA(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
