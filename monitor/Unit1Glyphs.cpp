#include "monitor/Unit1Glyphs.h"

#include "platform/Resources.h"

const pw::platform::ResourceModule& MonitorResources();

namespace pw::monitor {

std::span<const unsigned char> ButtonGlyph(std::string_view name) {
    return MonitorResources().Find(name, "PNG").value_or(std::span<const unsigned char>{});
}

}  // namespace pw::monitor
