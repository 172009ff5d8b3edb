#pragma once
// Image files made in memory for the tests of pictures.

#include <cstdint>
#include <vector>

namespace pw::test {

// An uncompressed 24-bit BMP of the given size, grey.
inline std::vector<unsigned char> GreyBmp(int width, int height) {
    const int stride = (width * 3 + 3) / 4 * 4;
    std::vector<unsigned char> b(static_cast<std::size_t>(54 + stride * height), 0x80);
    const auto put = [&](std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i)
            b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, static_cast<std::uint32_t>(b.size()));
    put(6, 0);
    put(10, 54);  // the pixels' offset
    put(14, 40);  // the info header's size
    put(18, static_cast<std::uint32_t>(width));
    put(22, static_cast<std::uint32_t>(height));
    put(26, 1 | 24 << 16);  // one plane, 24 bits
    for (std::size_t at = 30; at < 54; at += 4)
        put(at, 0);  // no compression; the rest may be 0
    return b;
}

}  // namespace pw::test
