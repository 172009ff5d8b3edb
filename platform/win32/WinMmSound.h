#pragma once
// The sound layer on winmm's sndPlaySoundA, which takes the flag word as it is.
//
// Threads: construct, play and destroy on the UI thread; winmm's own thread reads the copy of
// an asynchronous sound, which this object keeps until the sound is stopped or replaced.

#include <vector>

#include "platform/Sound.h"

namespace pw::platform::win32 {

class WinMmSound final : public ISound {
  public:
    WinMmSound() = default;
    // Stops a sound of ours that still plays, before its samples go.
    ~WinMmSound() override;
    WinMmSound(const WinMmSound&) = delete;
    WinMmSound& operator=(const WinMmSound&) = delete;

    // The image is checked first (platform/WaveFormat.h): one that cannot be read fails without
    // a sound, never the system's default sound. kSndMemory is always added, as the image must
    // never be taken for a file name.
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t flags) override;
    // Set at the first play when winmm has no output device, or when a readable image fails to
    // play: the images accepted are plain PCM, which every device takes through winmm's mapper.
    bool NoDevice() const override { return noDevice_; }

  private:
    void Stop();

    bool deviceChecked_ = false;
    bool noDevice_ = false;
    std::vector<unsigned char> playing_;  // the samples of the asynchronous sound, if any
};

}  // namespace pw::platform::win32
