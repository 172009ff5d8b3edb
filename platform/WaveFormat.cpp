#include "platform/WaveFormat.h"

#include <cstddef>
#include <cstring>

namespace pw::platform {
namespace {

std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
bool Tag(const unsigned char* p, const char (&tag)[5]) {
    return std::memcmp(p, tag, 4) == 0;
}

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kFmtSize = 16;

std::optional<WaveFormat> ReadFmt(std::span<const unsigned char> body) {
    if (body.size() < kFmtSize) return std::nullopt;
    const unsigned char* p = body.data();
    WaveFormat f;
    const std::uint16_t format = U16(p);
    f.channels = U16(p + 2);
    f.samplesPerSec = U32(p + 4);
    // p + 8: bytes per second, derived by every reader from the rest; not needed to play.
    f.blockAlign = U16(p + 12);
    f.bitsPerSample = U16(p + 14);
    if (format != kFormatPcm) return std::nullopt;
    if (f.channels != 1 && f.channels != 2) return std::nullopt;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return std::nullopt;
    if (f.samplesPerSec < kMinWaveRate || f.samplesPerSec > kMaxWaveRate) return std::nullopt;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return std::nullopt;
    return f;
}

}  // namespace

std::optional<ParsedWave> ParseWave(std::span<const unsigned char> image) {
    constexpr std::size_t kRiffHeader = 12;
    if (image.data() == nullptr || image.size() < kRiffHeader) return std::nullopt;
    if (!Tag(image.data(), "RIFF") || !Tag(image.data() + 8, "WAVE")) return std::nullopt;

    std::optional<WaveFormat> format;
    std::size_t pos = kRiffHeader;
    while (image.size() - pos >= kChunkHeader) {
        const unsigned char* chunk = image.data() + pos;
        const std::size_t size = U32(chunk + 4);
        const std::size_t left = image.size() - pos - kChunkHeader;
        if (size > left) return std::nullopt;  // truncated, or a size that was never true
        const auto body = image.subspan(pos + kChunkHeader, size);
        if (Tag(chunk, "fmt ")) {
            if (format) return std::nullopt;
            format = ReadFmt(body);
            if (!format) return std::nullopt;
        } else if (Tag(chunk, "data")) {
            if (!format) return std::nullopt;
            const std::size_t whole = size - size % format->blockAlign;
            if (whole == 0) return std::nullopt;
            return ParsedWave{*format, body.first(whole)};
        }
        // The pad byte of an odd-sized chunk may be missing at the very end; then we stop.
        pos += kChunkHeader + size + (size & 1);
        if (pos > image.size()) break;
    }
    return std::nullopt;
}

}  // namespace pw::platform
