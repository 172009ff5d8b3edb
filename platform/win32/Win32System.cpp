#include "platform/win32/Win32System.h"

// winsock2.h before windows.h, which would otherwise bring the old winsock.h. The adapter list
// needs no WSAStartup.
#include <winsock2.h>

#include <windows.h>

#include <iphlpapi.h>
#include <shlobj.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pw::platform::win32 {
namespace {

// Calls fill(buffer, size) -> length, as the ...A calls that return the length they wrote, or
// the size they need when the buffer is too small; empty on failure.
template <class F>
std::string GrowingCall(F fill) {
    std::string buffer(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(std::max<std::size_t>(length + 1, buffer.size() * 2), '\0');
    }
    return {};
}

struct FolderSource {
    Folder folder;
    int csidl;
    const char* below;  // appended to the shell folder, or null
};

// The Windows folders as the shell names them; the last three have no shell folder of their
// own and sit in the Windows folder.
constexpr FolderSource kFolders[] = {
    {Folder::Windows, CSIDL_WINDOWS, nullptr},
    {Folder::System, CSIDL_SYSTEM, nullptr},
    {Folder::ProgramFiles, CSIDL_PROGRAM_FILES, nullptr},
    {Folder::Help, CSIDL_WINDOWS, "\\Help"},
    {Folder::Media, CSIDL_WINDOWS, "\\Media"},
    {Folder::Cursors, CSIDL_WINDOWS, "\\Cursors"},
    {Folder::Desktop, CSIDL_DESKTOPDIRECTORY, nullptr},
    {Folder::Personal, CSIDL_PERSONAL, nullptr},
    {Folder::MyPictures, CSIDL_MYPICTURES, nullptr},
    {Folder::AppData, CSIDL_APPDATA, nullptr},
};

bool IsNetworkAddress(const SOCKADDR* address) {
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(in->sin_addr.s_addr) >> 24) != 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        // Every running link gets a link-local address by itself; it proves no network.
        return !IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr) && !IN6_IS_ADDR_LINKLOCAL(&in6->sin6_addr);
    }
    return false;
}

}  // namespace

std::string Win32System::ExecutablePath() {
    return GrowingCall([](char* buffer, DWORD size) {
        // The length is the whole buffer when the name was cut short.
        const DWORD n = ::GetModuleFileNameA(nullptr, buffer, size);
        return n == size ? size : n;
    });
}

std::string Win32System::CurrentDirectory() {
    std::string dir =
        GrowingCall([](char* buffer, DWORD size) { return ::GetCurrentDirectoryA(size, buffer); });
    const bool driveRoot = dir.size() == 3 && dir[1] == ':';
    if (!driveRoot && dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

std::string Win32System::TempPath() {
    return GrowingCall([](char* buffer, DWORD size) { return ::GetTempPathA(size, buffer); });
}

std::string Win32System::FolderPath(Folder folder) {
    for (const FolderSource& f : kFolders) {
        if (f.folder != folder) continue;
        char path[MAX_PATH] = {};
        if (FAILED(::SHGetFolderPathA(nullptr, f.csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
            return {};
        std::string result = path;
        if (f.below) result += f.below;
        return result;
    }
    return {};
}

OsVersion Win32System::Version() {
    // GetVersionEx lies to programs without a manifest that names the newer Windows.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll")) {
        if (const auto get = reinterpret_cast<RtlGetVersionFn>(
                reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlGetVersion")))) {
            OSVERSIONINFOW info{};
            info.dwOSVersionInfoSize = sizeof info;
            if (get(&info) == 0)
                return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
        }
    }
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&info)) return {};
#pragma GCC diagnostic pop
    return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

int Win32System::TimeZoneBiasMinutes() {
    TIME_ZONE_INFORMATION tz{};
    switch (::GetTimeZoneInformation(&tz)) {
        case TIME_ZONE_ID_DAYLIGHT:
            return static_cast<int>(tz.Bias + tz.DaylightBias);
        case TIME_ZONE_ID_STANDARD:
            return static_cast<int>(tz.Bias + tz.StandardBias);
        case TIME_ZONE_ID_UNKNOWN:
            return static_cast<int>(tz.Bias);
        default:
            return 0;
    }
}

std::uint16_t Win32System::DefaultLanguage() {
    return ::GetUserDefaultLangID();
}

bool Win32System::HasNonLoopbackAddress() {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                        GAA_FLAG_SKIP_FRIENDLY_NAME;
    std::vector<unsigned char> buffer(16 * 1024);
    ULONG size = static_cast<ULONG>(buffer.size());
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // Adapters may come between asking the size and the call that fills it.
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result =
            ::GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                   reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) return false;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next)
            if (u->Address.lpSockaddr && IsNetworkAddress(u->Address.lpSockaddr)) return true;
    }
    return false;
}

}  // namespace pw::platform::win32
