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

// The resources of one module. Names and types compare case-insensitively, as Windows does.
class ResourceModule {
  public:
    template <std::size_t N>
    constexpr explicit ResourceModule(const ResourceEntry (&entries)[N]) : entries_(entries, N) {}

    std::optional<std::span<const unsigned char>> Find(std::string_view name,
                                                       std::string_view type) const;

  private:
    std::span<const ResourceEntry> entries_;
};

}  // namespace pw::platform
