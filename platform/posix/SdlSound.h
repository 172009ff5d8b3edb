#pragma once
// The sound layer on SDL2 audio. SDL's audio (and only that) is started on the first play and
// shut down with this object.
//
// Threads: construct, play and destroy on the UI thread. SDL's audio thread reads the samples;
// a helper thread closes the device once an asynchronous sound has ended.

#include <memory>
#include <thread>

#include "platform/Sound.h"

namespace pw::platform::posix {

class SdlSound final : public ISound {
  public:
    SdlSound();
    ~SdlSound() override;
    SdlSound(const SdlSound&) = delete;
    SdlSound& operator=(const SdlSound&) = delete;

    // Linux choices: the samples are copied, so the caller's image may go at once; kSndLoop
    // without kSndAsync plays once; kSndNoDefault changes nothing, as there is no default sound.
    // An asynchronous sound counts as playing (for kSndNoStop) until its tail has been heard.
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t flags) override;
    // The first play that needs a device looks for one; when SDL's audio cannot start or no
    // device opens, this stays true for the object's life (a device plugged in later is used by
    // the next run). Without it each alarm would print the audio library's complaints again.
    bool NoDevice() const override { return noDevice_; }

  private:
    class Playback;
    bool StartAudio();
    bool Playing() const;

    const std::thread::id uiThread_;
    bool audioStarted_ = false;
    bool noDevice_ = false;
    std::unique_ptr<Playback> current_;
};

}  // namespace pw::platform::posix
