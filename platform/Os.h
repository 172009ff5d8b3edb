#pragma once
// The operating-system layer handed to everything that needs the OS. Tests build their own.

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/System.h"

namespace pw::platform {

struct Os {
    IRegistry& registry;
    IFiles& files;
    IShell& shell;
    ISystem& system;
};

}  // namespace pw::platform
