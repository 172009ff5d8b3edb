#include "platform/Registry.h"

namespace pw::platform {

RegValue RegValue::Text(std::string_view text, RegType type) {
    RegValue v{type, std::string(text)};
    v.data.push_back('\0');
    return v;
}

RegValue RegValue::Dword(std::uint32_t value) {
    RegValue v{RegType::Dword, std::string(4, '\0')};
    for (int i = 0; i < 4; ++i)
        v.data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return v;
}

RegValue RegValue::Binary(std::string_view bytes) {
    return RegValue{RegType::Binary, std::string(bytes)};
}

std::string RegValue::AsText() const {
    return data.substr(0, data.find('\0'));
}

std::uint32_t RegValue::AsDword() const {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < data.size(); ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    return v;
}

}  // namespace pw::platform
