#include "framework/ImageInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace pw::framework {

namespace {

std::uint32_t BigEndian32(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | static_cast<std::uint32_t>(b[at + 3]);
}

std::uint32_t LittleEndian32(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t LittleEndian16(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::optional<TImageSize> Sized(long long width, long long height) {
    // Larger than any screen by far: a header that says so is damaged, not a picture.
    constexpr long long kLimit = 1 << 20;
    if (width <= 0 || height <= 0 || width > kLimit || height > kLimit) return std::nullopt;
    return TImageSize{static_cast<int>(width), static_cast<int>(height)};
}

std::optional<TImageSize> PngSize(std::span<const unsigned char> b) {
    constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    // Signature, then the IHDR chunk: length 13, type, width, height.
    if (b.size() < 24 || !std::equal(std::begin(kSignature), std::end(kSignature), b.begin()))
        return std::nullopt;
    if (BigEndian32(b, 8) != 13 || !std::equal(b.begin() + 12, b.begin() + 16, "IHDR"))
        return std::nullopt;
    return Sized(BigEndian32(b, 16), BigEndian32(b, 20));
}

std::optional<TImageSize> BmpSize(std::span<const unsigned char> b) {
    // File header (14 bytes), then an info header whose first field is its own size.
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
    const std::uint32_t infoSize = LittleEndian32(b, 14);
    if (infoSize == 12) {  // the old core header: 16-bit sizes
        return Sized(LittleEndian16(b, 18), LittleEndian16(b, 20));
    }
    if (infoSize < 40) return std::nullopt;
    const auto width = static_cast<std::int32_t>(LittleEndian32(b, 18));
    const auto height = static_cast<std::int32_t>(LittleEndian32(b, 22));
    // A negative height is a top-down picture of that many rows.
    return Sized(width, std::llabs(static_cast<long long>(height)));
}

}  // namespace

std::optional<TImageSize> ImageFileSize(std::span<const unsigned char> image) {
    if (auto png = PngSize(image)) return png;
    return BmpSize(image);
}

}  // namespace pw::framework
