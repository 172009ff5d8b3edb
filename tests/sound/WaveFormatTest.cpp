// Which wave images the sound layer takes, and the built-in alarm wave.

#include "platform/WaveFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sound/AlarmWave.h"
#include "tests/sound/WaveImages.h"

namespace pw::platform {
namespace {

using namespace pw::test::wave;

TEST(WaveFormat, PlayablePcmGivesItsFormatAndWholeFramesOfTheDataChunk) {
    struct Case {
        const char* what;
        std::string image;
        WaveFormat format;
        std::string samples;
    };
    const std::vector<Case> cases = {
        {"8-bit mono with an 18-byte fmt",
         Riff({{"fmt ", Fmt(1, 1, 8000, 8).body + std::string(2, '\0')}, {"data", "abc"}}),
         {1, 8000, 8, 1},
         "abc"},
        {"an odd chunk and its pad byte before fmt",
         Riff({{"LIST", "odd"}, Fmt(1, 1, 22050, 16), {"data", "abcd"}}),
         {1, 22050, 16, 2},
         "abcd"},
        {"part of a frame at the end, a RIFF size that lies, bytes after the data",
         Riff({Fmt(1, 2, 48000, 16), {"data", "abcdefg"}}, "WAVE", 0xFFFFFFF0) + "ID3",
         {2, 48000, 16, 4},
         "abcd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned char> image(c.image.begin(), c.image.end());
        const auto parsed = ParseWave(image);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->format, c.format);
        EXPECT_EQ(std::string(parsed->samples.begin(), parsed->samples.end()), c.samples);
    }
}

TEST(WaveFormat, AnythingElseIsRefusedWithoutReadingPastTheImage) {
    std::string badAlign = Fmt(1, 2, 44100, 16).body;
    badAlign[12] = 3;
    const std::string data(64, 'x');
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"nothing", ""},
        {"a text file", "This is not a sound, just a note to myself.\n"},
        {"RIFF of another kind", Riff({Fmt(1, 2, 44100, 16), {"data", data}}, "AVI ")},
        {"float samples", Riff({Fmt(3, 2, 44100, 32), {"data", data}})},
        {"six channels", Riff({Fmt(1, 6, 44100, 16), {"data", data}})},
        {"24 bits", Riff({Fmt(1, 2, 44100, 24), {"data", data}})},
        {"a rate of 100 Hz", Riff({Fmt(1, 1, 100, 8), {"data", data}})},
        {"block alignment that does not fit", Riff({{"fmt ", badAlign}, {"data", data}})},
        {"data before fmt", Riff({{"data", data}, Fmt(1, 2, 44100, 16)})},
        {"no data chunk", Riff({Fmt(1, 2, 44100, 16)})},
        {"no whole frame", Riff({Fmt(1, 2, 44100, 16), {"data", "abc"}})},
        {"data that claims 2 GiB", Riff({Fmt(1, 2, 44100, 16), {"data", data, 0x80000000u}})},
        {"data one byte short", Riff({Fmt(1, 2, 44100, 16), {"data", data, 65}})},
        {"a chunk that claims 4 GiB", Riff({{"LIST", "x", 0xFFFFFFFFu}, Fmt(1, 1, 8000, 8)})},
        {"cut inside fmt", Riff({Fmt(1, 2, 44100, 16)}).substr(0, 30)},
    };
    for (const auto& [what, image] : cases) {
        SCOPED_TRACE(what);
        // An exact-size heap copy, so a byte read too far is caught under the sanitizer.
        const std::vector<unsigned char> exact(image.begin(), image.end());
        EXPECT_FALSE(ParseWave(exact));
    }
}

TEST(BuiltInAlarmWave, IsAnAudiblePcmWaveOfTheAgreedShape) {
    const std::span<const unsigned char> wave = sound::BuiltInAlarmWave();
    ASSERT_EQ(wave.size(), 191'788u);
    EXPECT_EQ(std::string(wave.begin(), wave.begin() + 44),
              Riff({Fmt(1, 2, 44100, 16), {"data", "", 191'744}}));
    const auto parsed = ParseWave(wave);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->samples.size(), 191'744u);

    std::vector<int> samples;
    for (std::size_t i = 0; i < parsed->samples.size(); i += 2)
        samples.push_back(
            static_cast<std::int16_t>(parsed->samples[i] | parsed->samples[i + 1] << 8));
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    EXPECT_GT(std::max(-*low, *high), 32767 / 8);  // loud enough to be heard, never clipped
    EXPECT_LT(std::max(-*low, *high), 32767);
    // It starts and ends in silence, so a repeat does not click.
    EXPECT_EQ(samples.front(), 0);
    EXPECT_EQ(samples.back(), 0);

    sound::TzcWave held;
    sound::LoadBuiltInAlarmWave(held);
    EXPECT_TRUE(std::ranges::equal(held.Bytes(), wave));
}

}  // namespace
}  // namespace pw::platform
