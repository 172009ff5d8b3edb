#include "platform/Resources.h"

#include <algorithm>
#include <cctype>

namespace pw::platform {
namespace {
bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}
}  // namespace

std::optional<std::span<const unsigned char>> ResourceModule::Find(std::string_view name,
                                                                   std::string_view type) const {
    for (const ResourceEntry& e : entries_) {
        if (EqualNoCase(e.name, name) && EqualNoCase(e.type, type))
            return std::span<const unsigned char>(e.data, e.size);
    }
    return std::nullopt;
}

}  // namespace pw::platform
