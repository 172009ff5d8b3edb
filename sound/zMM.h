#pragma once
// The alarm sound: TzcWave holds the bytes of a wave file, TzcWavePlayer plays them through the
// sound layer with the flag word derived from its options.
//
// Threads: UI thread only.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/BusyCursor.h"
#include "framework/EnumSet.h"
#include "framework/Streams.h"
#include "platform/Sound.h"

namespace pw::sound {

// The whole image of a wave file (header included), exactly as read: nothing here parses or
// checks it, so any bytes load.
class TzcWave {
  public:
    TzcWave() = default;
    TzcWave(const TzcWave&) = delete;
    TzcWave& operator=(const TzcWave&) = delete;

    bool IsEmpty() const { return data_.empty(); }
    std::span<const unsigned char> Bytes() const { return data_; }

    // Reads as many bytes as the stream's whole size, from its current position. EReadError
    // when fewer are there; the held bytes are then kept as they were.
    void LoadFromStream(framework::TStream& stream);
    void SaveToStream(framework::TStream& stream) const;
    // EFOpenError when the file cannot be opened; the held bytes are then kept as they were.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    // Copies the source's bytes; a null source keeps them. The change notification fires either
    // way.
    void Assign(const TzcWave* source);

    // The streamed form: one binary value named "Data" holding the whole image, stored only when
    // the wave has bytes; reading gives it a stream that holds exactly those bytes.
    static constexpr std::string_view kDataName = "Data";
    bool HasData() const { return !IsEmpty(); }
    void ReadData(framework::TStream& stream) { LoadFromStream(stream); }
    void WriteData(framework::TStream& stream) const { SaveToStream(stream); }

    // Fires after every load and assignment.
    std::function<void(TzcWave& sender)> OnChange;

  private:
    void Changed();

    std::vector<unsigned char> data_;
};

enum TWavePlayOpt : std::uint8_t { zcwpoSync, zcwpoAsync, zcwpoNoDefault, zcwpoLoop, zcwpoNoStop };

using TOptionsSet = framework::TEnumSet<TWavePlayOpt, zcwpoNoStop>;

class TzcWavePlayer {
  public:
    // cursor: the hourglass during Play and Stop; sound: where the wave is played.
    TzcWavePlayer(framework::IBusyCursor& cursor, platform::ISound& sound);
    // Silences any sound first (without the cursor change).
    ~TzcWavePlayer();
    TzcWavePlayer(const TzcWavePlayer&) = delete;
    TzcWavePlayer& operator=(const TzcWavePlayer&) = delete;

    bool Enabled = true;

    TOptionsSet Options() const { return options_; }
    // Also sets the flag word handed to the sound layer.
    void SetOptions(TOptionsSet options);

    TzcWave& Wave() { return wave_; }
    const TzcWave& Wave() const { return wave_; }
    // Copies the given wave's bytes into the player's own (a null wave keeps them).
    void SetWave(const TzcWave* wave) { wave_.Assign(wave); }

    // Nothing when disabled or the wave is empty. Returns when the sound layer returns: with a
    // synchronous option set, once the sound has been heard.
    void Play();
    // Stops whatever the sound layer is playing.
    void Stop();

    std::function<void(TzcWavePlayer& sender)> BeforePlay;
    std::function<void(TzcWavePlayer& sender)> StartedPlay;
    std::function<void(TzcWavePlayer& sender)> AfterPlay;

  private:
    void Fire(const std::function<void(TzcWavePlayer&)>& event);

    framework::IBusyCursor& cursor_;
    platform::ISound& sound_;
    TOptionsSet options_{zcwpoSync};
    std::uint16_t flags_ = platform::kSndMemory;
    TzcWave wave_;
};

}  // namespace pw::sound
