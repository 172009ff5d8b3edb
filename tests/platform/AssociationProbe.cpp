// Prints the command registered for each extension given, one line each. The shell tests run it
// in an environment of their own, because GIO reads the desktop's folders once per process.

#include <iostream>

#include "platform/posix/PosixShell.h"

int main(int argc, char** argv) {
    pw::platform::posix::PosixShell shell;
    for (int i = 1; i < argc; ++i)
        std::cout << shell.AssociatedCommand(argv[i]) << '\n';
    return 0;
}
