// Writes the built-in alarm sound: eight short chimes alternating between A5 and E5, each with a
// soft attack, a gentle decay and a faded end (no clicks), then a short rest so that repeats stay
// apart. 16-bit stereo at 44,100 Hz with a 44-byte header and a data chunk of 191,744 bytes.
//
// Usage: pw_make_alarm_wave <output.wav>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

constexpr std::uint32_t kRate = 44'100;
constexpr std::uint16_t kChannels = 2;
constexpr std::uint16_t kBits = 16;
constexpr std::uint32_t kFrames = 47'936;     // 191,744 data bytes, about 1.09 s
constexpr std::uint32_t kNoteFrames = 5'512;  // 125 ms: tone, then a short gap
constexpr std::uint32_t kToneFrames = 4'851;  // 110 ms
constexpr std::uint32_t kFadeFrames = 220;    // 5 ms in and out
constexpr int kNotes = 8;
constexpr double kTones[2] = {880.0, 659.255};  // A5, E5
constexpr double kPeak = 0.5;                   // -6 dB of full scale

double Envelope(std::uint32_t i) {
    const double t = static_cast<double>(i) / kRate;
    double e = std::exp(-t / 0.12);  // a chime, not a buzzer
    if (i < kFadeFrames) e *= 0.5 - 0.5 * std::cos(std::numbers::pi * i / kFadeFrames);
    const std::uint32_t left = kToneFrames - i;
    if (left < kFadeFrames) e *= 0.5 - 0.5 * std::cos(std::numbers::pi * left / kFadeFrames);
    return e;
}

double Sample(std::uint32_t frame) {
    const std::uint32_t note = frame / kNoteFrames;
    const std::uint32_t i = frame % kNoteFrames;
    if (note >= kNotes || i >= kToneFrames) return 0.0;
    const double w = 2.0 * std::numbers::pi * kTones[note % 2] * i / kRate;
    // A few harmonics make it round rather than a thin sine; 1.35 is their sum.
    const double v = (std::sin(w) + 0.25 * std::sin(2 * w) + 0.1 * std::sin(3 * w)) / 1.35;
    return kPeak * Envelope(i) * v;
}

void Put16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(v >> 8));
}
void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}
void PutTag(std::vector<unsigned char>& out, const char (&tag)[5]) {
    out.insert(out.end(), tag, tag + 4);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.wav>\n", argv[0]);
        return 2;
    }
    constexpr std::uint16_t kBlockAlign = kChannels * kBits / 8;
    constexpr std::uint32_t kDataBytes = kFrames * kBlockAlign;
    std::vector<unsigned char> out;
    out.reserve(44 + kDataBytes);
    PutTag(out, "RIFF");
    Put32(out, 36 + kDataBytes);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, kChannels);
    Put32(out, kRate);
    Put32(out, kRate * kBlockAlign);
    Put16(out, kBlockAlign);
    Put16(out, kBits);
    PutTag(out, "data");
    Put32(out, kDataBytes);
    for (std::uint32_t f = 0; f < kFrames; ++f) {
        const auto v = static_cast<std::int16_t>(std::lround(Sample(f) * 32767.0));
        for (int c = 0; c < kChannels; ++c)
            Put16(out, static_cast<std::uint16_t>(v));
    }

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
