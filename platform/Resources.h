#pragma once
// Resources compiled into the program by the build (see cmake/EmbedResources.cmake).

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace pw::platform {

struct ResourceEntry {
    const char* name;
    const char* type;
    const unsigned char* data;
    std::size_t size;
};

#ifdef _WIN32
// A resource that windres linked into the executable: its bytes are found at run time.
struct ResourceName {
    const char* name;
    const char* type;
};
#endif

// The resources of one module. Names and types compare case-insensitively, as Windows does.
class ResourceModule {
  public:
    template <std::size_t N>
    constexpr explicit ResourceModule(const ResourceEntry (&entries)[N]) : entries_(entries, N) {}
#ifdef _WIN32
    // Real resources of the executable's own module. Only these names belong to this module,
    // so another module's resource is not found here even though the executable holds it.
    template <std::size_t N>
    constexpr explicit ResourceModule(const ResourceName (&names)[N]) : names_(names, N) {}
#endif

    std::optional<std::span<const unsigned char>> Find(std::string_view name,
                                                       std::string_view type) const;

  private:
    std::span<const ResourceEntry> entries_;
#ifdef _WIN32
    std::span<const ResourceName> names_;
#endif
};

}  // namespace pw::platform
