#pragma once
// The back end of the system this is built for, under names that do not say which: programs and
// tests written once construct these (link pw_platform_native).

#ifdef _WIN32
#include "platform/win32/Win32Os.h"
#include "platform/win32/WinInetInternet.h"
#include "platform/win32/WinMmSound.h"
#else
#include "platform/posix/CurlInternet.h"
#include "platform/posix/PosixOs.h"
#include "platform/posix/SdlSound.h"
#endif

namespace pw::platform {

#ifdef _WIN32
using NativeOs = win32::Win32Os;
using NativeInternet = win32::WinInetInternet;
using NativeSound = win32::WinMmSound;
#else
using NativeOs = posix::PosixOs;
using NativeInternet = posix::CurlInternet;
using NativeSound = posix::SdlSound;
#endif

}  // namespace pw::platform
