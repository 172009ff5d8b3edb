#pragma once
// Reading the format and the samples of a RIFF WAVE image, for the sound layers.

#include <cstdint>
#include <optional>
#include <span>

namespace pw::platform {

struct WaveFormat {
    std::uint16_t channels = 0;       // 1 or 2
    std::uint32_t samplesPerSec = 0;  // kMinWaveRate to kMaxWaveRate
    std::uint16_t bitsPerSample = 0;  // 8 (unsigned) or 16 (signed, little-endian)
    std::uint16_t blockAlign = 0;     // bytes per frame: channels * bitsPerSample / 8
    bool operator==(const WaveFormat&) const = default;
};

inline constexpr std::uint32_t kMinWaveRate = 4'000;
inline constexpr std::uint32_t kMaxWaveRate = 192'000;

struct ParsedWave {
    WaveFormat format;
    // Points into the image: whole frames of the "data" chunk, never empty.
    std::span<const unsigned char> samples;
};

// The format and samples of a PCM wave that can be played: "RIFF", "WAVE", a "fmt " chunk with
// format 1, 1 or 2 channels, 8 or 16 bits and a rate in the range above, then a "data" chunk.
// Other chunks are skipped (with the pad byte of an odd size). The image's real size bounds
// every chunk: a chunk that claims more than is there rejects the image, nothing is read or
// allocated for it, and the RIFF size field is not trusted. Anything else gives nullopt.
std::optional<ParsedWave> ParseWave(std::span<const unsigned char> image);

}  // namespace pw::platform
