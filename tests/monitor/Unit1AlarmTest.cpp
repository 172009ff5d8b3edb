// The alarm as it is heard: the window on the real SDL sound layer, whose disk driver writes to a
// file what a sound card would have been given.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/posix/SdlSound.h"
#include "tests/monitor/Unit1Fixture.h"
#include "tests/sound/WaveImages.h"

namespace pw::monitor::test {
namespace {

using namespace pw::test::wave;
using pw::test::ReadFile;

// The real sound layer, and a record of what the window asked of it and what it answered.
class HeardSound final : public platform::ISound {
  public:
    struct Call {
        bool stop;
        std::uint32_t flags;
        bool played;
    };
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t flags) override {
        const bool played = sdl.PlayWave(image, flags);
        calls.push_back({image.data() == nullptr, flags, played});
        return played;
    }
    bool NoDevice() const override { return sdl.NoDevice(); }
    std::vector<Call> Plays() const {
        std::vector<Call> plays;
        for (const Call& c : calls)
            if (!c.stop) plays.push_back(c);
        return plays;
    }

    platform::posix::SdlSound sdl;
    std::vector<Call> calls;
};

std::size_t Count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size()))
        ++n;
    return n;
}

class AlarmSoundTest : public WindowTest {
  protected:
    AlarmSoundTest() {
        UseDriver("disk");
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        form.reset();
        form = std::make_unique<TForm1>(TForm1Services{*app, os, internet, heard, env});
        site.Serve("/shop", "sold out");
    }
    // The window stops its sound as it goes: before the sound layer does.
    ~AlarmSoundTest() override { form.reset(); }

    // Read when SDL's audio starts, that is at the first play.
    static void UseDriver(const char* driver) { setenv("SDL_AUDIODRIVER", driver, 1); }

    const std::string out = dir / "heard.raw";
    HeardSound heard;
};

TEST_F(AlarmSoundTest, WithoutASoundDeviceTheStatusLineSaysSoOnceAndNoPlayLooksAgain) {
    UseDriver("no-such-driver");
    const std::string notice = "no sound device: alarms are silent";
    Watch(1, site.Url("/shop"), "sold out");
    form->Button1.Click();  // no alarm: no device looked for
    EXPECT_EQ(form->SearchField(1).Color(), clGreen);
    EXPECT_EQ(Count(Status(), notice), 0u);

    Watch(2, site.Url("/shop"), "in stock");
    form->Button1.Click();
    EXPECT_EQ(form->SearchField(2).Color(), clRed);
    EXPECT_EQ(Status(), notice);

    // A device now would be used by the next run only: this one neither looks nor says it again.
    UseDriver("disk");
    form->BitBtn2.Click();
    app->AdvanceAndProcess(30'000);
    EXPECT_EQ(Count(Status(), notice), 1u);
    EXPECT_NE(Status().find("Minutes to next update"), std::string::npos);
    const std::vector<HeardSound::Call> plays = heard.Plays();
    EXPECT_EQ(plays.size(), 5u);  // the two alarms and three repeats
    for (const HeardSound::Call& play : plays)
        EXPECT_FALSE(play.played);
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace pw::monitor::test
