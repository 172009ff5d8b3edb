#include "platform/Resources.h"

#include <algorithm>
#include <cctype>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pw::platform {
namespace {
bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

#ifdef _WIN32
// windres turns the RCDATA keyword into the predefined type; every other type stays a string
// (the build refuses the keywords whose data windres would convert).
std::optional<std::span<const unsigned char>> FindInExecutable(const ResourceName& resource) {
    const LPCSTR type = EqualNoCase(resource.type, "RCDATA") ? MAKEINTRESOURCEA(10) : resource.type;
    // The resources are linked into the executable, never into a DLL of ours.
    const HMODULE module = ::GetModuleHandleA(nullptr);
    const HRSRC found = ::FindResourceA(module, resource.name, type);
    if (found == nullptr) return std::nullopt;
    // Loaded resources live as long as the module: nothing to free.
    const HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (data == nullptr) {
        if (size != 0) return std::nullopt;
        return std::span<const unsigned char>();
    }
    return std::span<const unsigned char>(static_cast<const unsigned char*>(data), size);
}
#endif
}  // namespace

std::optional<std::span<const unsigned char>> ResourceModule::Find(std::string_view name,
                                                                   std::string_view type) const {
#ifdef _WIN32
    for (const ResourceName& r : names_) {
        if (EqualNoCase(r.name, name) && EqualNoCase(r.type, type)) return FindInExecutable(r);
    }
#endif
    for (const ResourceEntry& e : entries_) {
        if (EqualNoCase(e.name, name) && EqualNoCase(e.type, type))
            return std::span<const unsigned char>(e.data, e.size);
    }
    return std::nullopt;
}

}  // namespace pw::platform
