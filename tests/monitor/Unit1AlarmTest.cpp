// The alarm as it is heard: the window on the real SDL sound layer, whose disk driver writes to a
// file what a sound card would have been given.

// SDL's disk driver, which records what was played, and /proc exist on Linux only.
#ifndef _WIN32

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/posix/SdlSound.h"
#include "tests/monitor/Unit1Fixture.h"
#include "tests/sound/WaveImages.h"
#include "tests/support/Eventually.h"
#include "tests/support/ScopedEnv.h"

namespace pw::monitor::test {
namespace {

using namespace pw::test::wave;
using pw::test::ReadFile;

// The real sound layer, and a record of the plays the window asked of it and their answers.
class HeardSound final : public platform::ISound {
  public:
    struct Play {
        std::uint32_t flags;
        bool played;
    };
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t flags) override {
        const bool played = sdl.PlayWave(image, flags);
        if (image.data()) plays.push_back({flags, played});
        return played;
    }
    bool NoDevice() const override { return sdl.NoDevice(); }

    platform::posix::SdlSound sdl;
    std::vector<Play> plays;
};

// Whether this process holds the file open. SDL's disk device keeps its file open exactly while
// the device is open, that is while anything can be heard.
bool HeldOpen(const std::string& path) {
    const std::filesystem::path target = std::filesystem::weakly_canonical(path);
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(fd.path(), ec) == target) return true;
    }
    return false;
}

using pw::test::Eventually;

constexpr std::uint32_t kRate = 8000;  // 16-bit mono: 16,000 bytes a second

class AlarmSoundTest : public WindowTest {
  protected:
    AlarmSoundTest() {
        UseDriver("disk");
        pw::test::SetEnv("SDL_DISKAUDIOFILE", out);
        form.reset();
        form = std::make_unique<TForm1>(TForm1Services{*app, os, internet, heard, env});
        site.Serve("/shop", "sold out");
    }
    // The window stops its sound as it goes: before the sound layer does.
    ~AlarmSoundTest() override { form.reset(); }

    // Read when SDL's audio starts, that is at the first play.
    static void UseDriver(const char* driver) { pw::test::SetEnv("SDL_AUDIODRIVER", driver); }
    // What reached the device, less the silence it may start with.
    std::string Heard() const {
        const std::string played = ReadFile(out);
        const std::size_t start = played.find_first_not_of('\0');
        return start == std::string::npos ? std::string() : played.substr(start);
    }

    const std::string out = dir / "heard.raw";
    HeardSound heard;
};

TEST_F(AlarmSoundTest, ALongWavePlaysBehindTheWindowOnceAndStopSilencesItAtOnce) {
    std::string samples;  // 30 s, never silent
    for (std::uint32_t i = 0; i < 30 * kRate; ++i)
        samples += Le(1000 + i * 13, 2);
    app->QueueOpenDialogAnswer(
        dir.Write("long.wav", Riff({Fmt(1, 1, kRate, 16), {"data", samples}})));
    form->BitBtn7.Click();
    Watch(1, site.Url("/shop"), "in stock");  // absent: an alarm

    // The pass, and the alarm in it, run inside the click, which is back while the wave sounds.
    form->BitBtn2.Click();
    EXPECT_EQ(form->SearchField(1).Color(), clRed);
    ASSERT_EQ(heard.plays.size(), 1u);
    EXPECT_TRUE(heard.plays[0].played);
    EXPECT_TRUE(HeldOpen(out));
    EXPECT_LT(Heard().size(), samples.size());

    // A repeat while the wave sounds lets it play on: neither started again nor doubled.
    app->AdvanceAndProcess(10'000);
    ASSERT_EQ(heard.plays.size(), 2u);
    EXPECT_FALSE(heard.plays[1].played);
    EXPECT_NE(heard.plays[1].flags & platform::kSndNoStop, 0u);

    ASSERT_TRUE(Eventually([&] { return Heard().size() >= kRate * 2; }));  // one second in
    form->BitBtn3.Click();
    EXPECT_FALSE(HeldOpen(out));  // the device is closed: nothing more is heard
    const std::string played = Heard();
    EXPECT_GE(played.size(), kRate * 2);
    EXPECT_LT(played.size(), samples.size());
    EXPECT_TRUE(played == samples.substr(0, played.size())) << "not the wave's start, once";
    EXPECT_EQ(form->SearchField(1).Color(), clBtnFace);
    EXPECT_FALSE(form->alarmtimer.Enabled());
}

TEST_F(AlarmSoundTest, WithoutASoundDeviceTheStatusLineSaysSoOnceAndNoPlayLooksAgain) {
    UseDriver("no-such-driver");
    const std::string notice = "no sound device: alarms are silent";
    Watch(1, site.Url("/shop"), "sold out");
    form->Button1.Click();  // no alarm: no device looked for
    EXPECT_EQ(form->SearchField(1).Color(), clGreen);
    EXPECT_EQ(Note().find(notice), std::string::npos);

    Watch(2, site.Url("/shop"), "in stock");
    form->Button1.Click();
    EXPECT_EQ(form->SearchField(2).Color(), clRed);
    EXPECT_EQ(Note(), notice);

    // A device now would be used by the next run only: this one neither looks nor says it again.
    UseDriver("disk");
    form->BitBtn2.Click();
    app->AdvanceAndProcess(30'000);
    EXPECT_EQ(Status(), "60 Minutes to next update");
    EXPECT_EQ(Note(), notice);
    EXPECT_EQ(heard.plays.size(), 5u);  // the two alarms and three repeats
    for (const HeardSound::Play& play : heard.plays)
        EXPECT_FALSE(play.played);
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace pw::monitor::test

#endif  // _WIN32
