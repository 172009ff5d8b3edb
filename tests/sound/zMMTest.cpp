// The wave object and the wave player, against a sound layer that records what it is asked.

#include "sound/zMM.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "tests/support/TempDir.h"

namespace pw::sound {
namespace {

std::vector<unsigned char> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}
std::vector<unsigned char> Held(const TzcWave& wave) {
    return {wave.Bytes().begin(), wave.Bytes().end()};
}
void Load(TzcWave& wave, const std::string& bytes) {
    framework::TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    s.SetPosition(0);
    wave.LoadFromStream(s);
}

class WavePlayer : public ::testing::Test, public platform::ISound {
  protected:
    struct Call {
        std::vector<unsigned char> image;  // empty for a stop (a null image)
        std::uint32_t flags;
        int busyDepth;  // the cursor while the call ran
    };
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t flags) override {
        calls.push_back({{image.begin(), image.end()}, flags, app.BusyCursorDepth()});
        log.push_back(image.data() ? "play" : "stop");
        if (fail) throw std::runtime_error("device lost");
        return true;
    }
    void LogEvents() {
        const auto logAs = [this](const char* name) {
            return [this, name](TzcWavePlayer& sender) {
                EXPECT_EQ(&sender, player.get());
                log.push_back(name);
            };
        };
        player->BeforePlay = logAs("BeforePlay");
        player->StartedPlay = logAs("StartedPlay");
        player->AfterPlay = logAs("AfterPlay");
    }

    framework::HeadlessApplication app;
    std::vector<Call> calls;
    std::vector<std::string> log;
    bool fail = false;
    std::unique_ptr<TzcWavePlayer> player = std::make_unique<TzcWavePlayer>(app, *this);
};

TEST_F(WavePlayer, EachOptionSetGivesItsFlagWord) {
    Load(player->Wave(), "RIFF");
    player->Play();  // as constructed: [zcwpoSync]
    const std::vector<std::pair<TOptionsSet, std::uint32_t>> cases = {
        {{zcwpoSync, zcwpoLoop}, 12},
        {{zcwpoAsync, zcwpoLoop}, 13},
        {{}, 4},
        {{zcwpoAsync, zcwpoNoDefault, zcwpoLoop, zcwpoNoStop}, 31},
        {{zcwpoSync, zcwpoNoStop}, 20},
    };
    for (const auto& [options, flags] : cases) {
        player->SetOptions(options);
        player->Play();
    }
    ASSERT_EQ(calls.size(), cases.size() + 1);
    EXPECT_EQ(calls[0].flags, 4u);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(calls[i + 1].flags, cases[i].second) << "case " << i;
}

TEST_F(WavePlayer, PlayHandsOverTheImageUnderTheHourglassAndThenAfterPlayOrElseStartedPlay) {
    const std::string image("RIFF\0\0\0\0WAVE\xff", 13);
    Load(player->Wave(), image);
    LogEvents();
    player->Play();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforePlay", "play", "AfterPlay"}));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].image, Bytes(image));
    EXPECT_EQ(calls[0].busyDepth, 1);
    EXPECT_EQ(app.BusyCursorDepth(), 0);

    log.clear();
    player->AfterPlay = nullptr;
    player->Play();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforePlay", "play", "StartedPlay"}));

    log.clear();
    LogEvents();
    player->SetOptions({zcwpoAsync, zcwpoLoop});
    player->Play();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforePlay", "play"}));

    // The cursor comes back also when the sound layer fails.
    fail = true;
    EXPECT_THROW(player->Play(), std::runtime_error);
    EXPECT_EQ(app.BusyCursorDepth(), 0);
    fail = false;
}

TEST_F(WavePlayer, ADisabledPlayerOrAnEmptyWaveDoesNothing) {
    LogEvents();
    player->Play();
    Load(player->Wave(), "");
    player->Play();
    Load(player->Wave(), "RIFF");
    player->Enabled = false;
    player->Play();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(app.BusyCursorDepth(), 0);
}

TEST_F(WavePlayer, StopAndDestructionSilenceTheSoundLayer) {
    player->Stop();
    player.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"stop", "stop"}));
    EXPECT_EQ(calls[0].flags, 0u);
    EXPECT_EQ(calls[0].busyDepth, 1);  // Stop shows the hourglass, destruction does not
    EXPECT_EQ(calls[1].busyDepth, 0);
}

TEST_F(WavePlayer, AssigningCopiesTheBytesAndANullSourceKeepsThem) {
    TzcWave other;
    Load(other, "first");
    int changes = 0;
    player->Wave().OnChange = [&](TzcWave&) { ++changes; };
    player->SetWave(&other);
    Load(other, "changed later");
    EXPECT_EQ(Held(player->Wave()), Bytes("first"));
    player->SetWave(nullptr);
    player->Wave().Assign(&player->Wave());
    EXPECT_EQ(Held(player->Wave()), Bytes("first"));
    EXPECT_EQ(changes, 3);
}

TEST_F(WavePlayer, LoadingTakesAnyBytesAndAFailedLoadKeepsTheOldOnes) {
    test::TempDir dir;
    TzcWave wave;
    int changes = 0;
    wave.OnChange = [&](TzcWave& sender) {
        EXPECT_EQ(&sender, &wave);
        ++changes;
    };
    const std::string text("\0\x01text, not a wave\xff\0", 20);
    wave.LoadFromFile(dir.Write("alarm.txt", text));
    EXPECT_EQ(Held(wave), Bytes(text));

    EXPECT_THROW(wave.LoadFromFile(dir / "missing.wav"), framework::EFOpenError);
    EXPECT_THROW(wave.LoadFromFile(dir.path().string()), framework::EFOpenError);  // a folder
    framework::TMemoryStream partly;  // holds less than its size from its position
    partly.WriteBuffer("abcdef", 6);
    partly.SetPosition(2);
    EXPECT_THROW(wave.LoadFromStream(partly), framework::EReadError);
    EXPECT_EQ(Held(wave), Bytes(text));
    EXPECT_EQ(changes, 1);

    wave.LoadFromFile(dir.Write("empty.wav", ""));
    EXPECT_TRUE(wave.IsEmpty());
    EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace pw::sound
