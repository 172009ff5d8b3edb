// The SDL2 sound layer, heard through SDL's disk driver: the file it writes holds what a sound
// card would have been given. The driver runs in real time, so the sounds here are short.

#include "platform/posix/SdlSound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sound/AlarmWave.h"
#include "tests/sound/WaveImages.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempDir.h"

namespace pw::platform::posix {
namespace {

using namespace pw::test::wave;
using pw::test::ReadFile;

std::span<const unsigned char> Span(const std::string& s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

// 16-bit mono samples that never repeat within a sound and are never silent.
std::string Samples(int frames, int seed) {
    std::string s;
    for (int i = 0; i < frames; ++i)
        s += Le(static_cast<std::uint32_t>(1000 + seed * 7919 + i * 13), 2);
    return s;
}
std::string Mono8k(const std::string& samples) {
    return Riff({Fmt(1, 1, 8000, 16), {"data", samples}});
}

std::size_t Count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size()))
        ++n;
    return n;
}

using pw::test::Eventually;

class SdlSoundTest : public ::testing::Test {
  protected:
    // Read when SDL's audio starts and when a device opens, i.e. in the first play of each test.
    SdlSoundTest() { UseDevice("disk", out); }
    static void UseDevice(const char* driver, const std::string& file) {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    }
    std::uintmax_t Written() const {
        std::error_code ec;
        const auto size = std::filesystem::file_size(out, ec);
        return ec ? 0 : size;
    }

    test::TempDir dir;
    const std::string out = dir / "played.raw";
};

TEST_F(SdlSoundTest, ASynchronousPlayReturnsWhenEverySampleIsOutAndPlaysOnceEvenWithLoop) {
    const std::span<const unsigned char> wave = sound::BuiltInAlarmWave();
    const std::string samples(wave.begin() + 44, wave.end());
    SdlSound sound;
    ASSERT_TRUE(sound.PlayWave(wave, kSndMemory | kSndLoop));  // the main window's flag word
    const std::string played = ReadFile(out);
    ASSERT_EQ(Count(played, samples), 1u);
    // Around the samples only silence: a few device buffers of 8,192 bytes (here a silent one at
    // the start, and the rest of the last one plus one more at the end).
    const std::size_t at = played.find(samples);
    EXPECT_EQ(played.find_first_not_of('\0'), played.find_first_not_of('\0', at));
    EXPECT_EQ(played.find_first_not_of('\0', at + samples.size()), std::string::npos);
    EXPECT_LE(played.size() - samples.size(), 8u * 8192);
}

TEST_F(SdlSoundTest, AnAsynchronousLoopPlaysFromItsOwnCopyUntilStoppedAndNoStopLeavesItAlone) {
    const std::string samples = Samples(800, 1);  // 0.1 s
    SdlSound sound;
    {
        const std::string bytes = Mono8k(samples);
        std::vector<unsigned char> image(bytes.begin(), bytes.end());
        ASSERT_TRUE(sound.PlayWave(image, kSndMemory | kSndAsync | kSndLoop));
        // The caller's bytes go at once: the loop goes on from the layer's own copy.
        std::fill(image.begin(), image.end(), 0xEE);
        image = {};
    }
    const std::string other = Samples(800, 2);
    EXPECT_FALSE(sound.PlayWave(Span(Mono8k(other)), kSndMemory | kSndAsync | kSndNoStop));
    ASSERT_TRUE(Eventually([&] { return Written() >= 5 * samples.size(); }));

    ASSERT_TRUE(sound.PlayWave({}, 0));
    const std::uintmax_t stopped = Written();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Written(), stopped);
    const std::string played = ReadFile(out);
    EXPECT_NE(played.find(samples + samples + samples), std::string::npos);
    EXPECT_EQ(played.find(other), std::string::npos);
}

TEST_F(SdlSoundTest, AnAsynchronousSoundEndsByItselfAndThenNoStopMayPlay) {
    SdlSound sound;
    ASSERT_TRUE(sound.PlayWave(Span(Mono8k(Samples(4000, 1))), kSndMemory | kSndAsync));  // 0.5 s
    const std::string next = Mono8k(Samples(400, 2));
    EXPECT_FALSE(sound.PlayWave(Span(next), kSndMemory | kSndNoStop));
    ASSERT_TRUE(Eventually([&] { return sound.PlayWave(Span(next), kSndMemory | kSndNoStop); }));
    EXPECT_EQ(Count(ReadFile(out), Samples(400, 2)), 1u);
}

TEST_F(SdlSoundTest, AnImageThatCannotBePlayedFailsAtOnceWithNothingPlayed) {
    const std::span<const unsigned char> wave = sound::BuiltInAlarmWave();
    SdlSound sound;
    EXPECT_FALSE(sound.PlayWave(wave.first(50'000), kSndMemory));  // truncated
    EXPECT_FALSE(sound.PlayWave(Span(Riff({Fmt(3, 2, 44100, 32), {"data", std::string(64, 'x')}})),
                                kSndMemory | kSndNoDefault));  // float samples
    EXPECT_FALSE(sound.PlayWave(Span(Riff({Fmt(1, 2, 44100, 16), {"data", "", 0x7FFFFFF0}})),
                                kSndMemory | kSndAsync | kSndLoop));  // claims 2 GiB
    EXPECT_FALSE(sound.PlayWave(wave, kSndSync));                     // not a memory image
    EXPECT_FALSE(std::filesystem::exists(out));                       // no device was opened
    EXPECT_FALSE(sound.NoDevice());  // nor given up on: the next good wave is played
}

TEST_F(SdlSoundTest, ADeviceIsLookedForOnceAndOnlyANewRunUsesOneThatCameLater) {
    // 8-bit samples, whose silence is 0x80: the padding after them must not click.
    std::string samples;
    for (int i = 0; i < 2000; ++i)
        samples += static_cast<char>(i % 100);
    const std::string image = Riff({Fmt(1, 1, 11025, 8), {"data", samples}});
    const struct {
        const char* driver;
        std::string file;
    } missing[] = {
        {"no-such-driver", out},                      // SDL's audio cannot start
        {"disk", dir / "no-such-folder/played.raw"},  // the device cannot open
    };
    for (const auto& m : missing) {
        SCOPED_TRACE(m.driver);
        SdlSound sound;
        UseDevice(m.driver, m.file);
        EXPECT_FALSE(sound.PlayWave(Span(image), kSndMemory | kSndAsync | kSndLoop));
        EXPECT_TRUE(sound.NoDevice());
        // Not looked for again, so nothing more is said about it: the device that is there now
        // stays unused.
        UseDevice("disk", out);
        EXPECT_FALSE(sound.PlayWave(Span(image), kSndMemory));
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_TRUE(sound.PlayWave({}, 0));
        EXPECT_TRUE(sound.NoDevice());
    }

    SdlSound sound;
    ASSERT_TRUE(sound.PlayWave(Span(image), kSndMemory));
    EXPECT_FALSE(sound.NoDevice());
    const std::string played = ReadFile(out);
    ASSERT_EQ(Count(played, samples), 1u);
    EXPECT_EQ(played.find_first_not_of('\x80', played.find(samples) + samples.size()),
              std::string::npos);
}

}  // namespace
}  // namespace pw::platform::posix
