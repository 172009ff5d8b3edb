#include "platform/posix/SdlSound.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/WaveFormat.h"

namespace pw::platform::posix {

using std::chrono::milliseconds;

namespace {
// Frames per device buffer: a power of two of at most 50 ms (2,048 at 44.1 kHz), at least 256,
// so a stop is prompt and the tail short.
Uint16 BufferFrames(std::uint32_t rate) {
    Uint16 frames = 256;
    while (frames < 8192 && frames * 2u <= rate / 20)
        frames = static_cast<Uint16>(frames * 2);
    return frames;
}

// ALSA's own library prints its complaints to standard error when it finds no card; the user
// learns that there is no sound device from the window instead. Its error handler is set on the
// very library SDL opens (the same soname), which stays loaded for the life of the process.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa() {
    static void* const alsa = dlopen("libasound.so.2", RTLD_NOW);
    if (alsa == nullptr) return;
    using SetHandler = int (*)(decltype(&IgnoreAlsaError));
    const auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (set != nullptr) set(&IgnoreAlsaError);
}

}  // namespace

// One sound on one open device. The samples are our own copy, read by SDL's audio thread through
// Fill; the caller's image is free to go as soon as PlayWave returns.
class SdlSound::Playback {
  public:
    Playback(const ParsedWave& wave, bool loop)
        : samples_(wave.samples.begin(), wave.samples.end()),
          format_(wave.format),
          loop_(loop),
          silence_(format_.bitsPerSample == 8 ? 0x80 : 0),
          length_(static_cast<std::int64_t>(samples_.size()) * 1000 /
                  (std::int64_t{format_.blockAlign} * format_.samplesPerSec)) {}

    // Closes the device: the sound stops, and Fill is not called any more.
    ~Playback() {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        cv_.notify_all();
        if (closer_.joinable()) closer_.join();
        if (device_ != 0 && !closerCloses_) SDL_CloseAudioDevice(device_);
    }
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Opens a device in the wave's own format (SDL converts to what the hardware takes) and
    // starts it. False when there is no device.
    bool Start() {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(format_.samplesPerSec);
        want.format = format_.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        want.channels = static_cast<Uint8>(format_.channels);
        want.samples = BufferFrames(format_.samplesPerSec);
        want.callback = &Playback::FillThunk;
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) return false;
        bufferTime_ = milliseconds(std::int64_t{have.samples} * 1000 / have.freq + 1);
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    // Waits until the device has played every sample; false when it stopped taking them. The
    // wait is bounded so that a device that hangs cannot hold the UI thread for ever.
    bool WaitHeard() {
        std::unique_lock lock(mutex_);
        const milliseconds bound = length_ + 20 * bufferTime_ + milliseconds(2000);
        if (!cv_.wait_for(lock, bound, [this] { return drained_; })) return false;
        lock.unlock();
        // The device's own buffer still holds the tail: closing now would cut it off.
        std::this_thread::sleep_for(bufferTime_);
        return true;
    }

    // For an asynchronous sound that ends by itself: a helper thread closes the device once the
    // tail has played, so no idle device is kept open. Cancelled by the destructor.
    void CloseWhenEnded() {
        closer_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return drained_ || cancelled_; });
            if (cv_.wait_for(lock, bufferTime_, [this] { return cancelled_; })) return;
            closerCloses_ = true;
            lock.unlock();
            SDL_CloseAudioDevice(device_);
        });
    }

    // The tail of an asynchronous sound has been heard (never for a loop).
    bool Ended() const {
        std::lock_guard lock(mutex_);
        return closerCloses_;
    }

  private:
    static void SDLCALL FillThunk(void* self, Uint8* stream, int len) {
        static_cast<Playback*>(self)->Fill(stream, static_cast<std::size_t>(len));
    }

    // SDL's audio thread. The device asks once more after the buffer with the last sample: that
    // buffer has then been handed on, and the sound is drained.
    void Fill(Uint8* out, std::size_t len) {
        if (handedOut_) {
            std::memset(out, silence_, len);
            if (!drainedSignalled_) {
                drainedSignalled_ = true;
                {
                    std::lock_guard lock(mutex_);
                    drained_ = true;
                }
                cv_.notify_all();
            }
            return;
        }
        std::size_t done = 0;
        while (done < len) {
            if (pos_ == samples_.size()) {
                if (!loop_) break;
                pos_ = 0;
            }
            const std::size_t n = std::min(len - done, samples_.size() - pos_);
            std::memcpy(out + done, samples_.data() + pos_, n);
            pos_ += n;
            done += n;
        }
        if (!loop_ && pos_ == samples_.size()) handedOut_ = true;
        std::memset(out + done, silence_, len - done);
    }

    const std::vector<unsigned char> samples_;  // never empty
    const WaveFormat format_;
    const bool loop_;
    const unsigned char silence_;  // unsigned 8-bit samples are silent at their middle
    const milliseconds length_;
    SDL_AudioDeviceID device_ = 0;
    milliseconds bufferTime_{0};

    // SDL's audio thread only.
    std::size_t pos_ = 0;
    bool handedOut_ = false;
    bool drainedSignalled_ = false;

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool drained_ = false;
    bool cancelled_ = false;
    bool closerCloses_ = false;  // the closer has taken the device over
    std::thread closer_;
};

SdlSound::SdlSound() : uiThread_(std::this_thread::get_id()) {}

SdlSound::~SdlSound() {
    current_.reset();
    if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlSound::StartAudio() {
    if (audioStarted_) return true;
    // SDL's audio brings up its event subsystem, whose Ctrl+C handler would turn the terminal's
    // interrupt into an event that nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Pagewarden");
    QuietAlsa();
    audioStarted_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    return audioStarted_;
}

bool SdlSound::Playing() const {
    return current_ && !current_->Ended();
}

bool SdlSound::PlayWave(std::span<const unsigned char> image, std::uint32_t flags) {
    assert(std::this_thread::get_id() == uiThread_);
    if (image.data() == nullptr) {
        current_.reset();
        return true;
    }
    if ((flags & kSndNoStop) != 0 && Playing()) return false;
    current_.reset();
    // Without kSndMemory the argument would name a file or a system sound: not played here.
    if ((flags & kSndMemory) == 0) return false;
    // With kSndNoDefault or without it: there is no default sound to play instead.
    const std::optional<ParsedWave> wave = ParseWave(image);
    if (!wave || noDevice_) return false;
    if (!StartAudio()) {
        noDevice_ = true;
        return false;
    }

    const bool async = (flags & kSndAsync) != 0;
    // A synchronous play returns when the sound has been heard, so it cannot loop: it plays once.
    const bool loop = async && (flags & kSndLoop) != 0;
    auto playback = std::make_unique<Playback>(*wave, loop);
    if (!playback->Start()) {
        noDevice_ = true;
        return false;
    }
    if (!async) return playback->WaitHeard();
    if (!loop) playback->CloseWhenEnded();
    current_ = std::move(playback);
    return true;
}

}  // namespace pw::platform::posix
