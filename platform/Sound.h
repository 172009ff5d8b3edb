#pragma once
// Playing a wave sound held in memory, with the flag word of the Windows sound call.
//
// Threads: the UI thread calls PlayWave; a synchronous play blocks it until the sound is heard.

#include <cstdint>
#include <span>

namespace pw::platform {

// The values of the Windows SND_* flags, so a flag word means the same on every platform.
inline constexpr std::uint32_t kSndSync = 0x0000;       // return when the sound has been heard
inline constexpr std::uint32_t kSndAsync = 0x0001;      // return at once, the sound plays on
inline constexpr std::uint32_t kSndNoDefault = 0x0002;  // no default sound for a bad image
inline constexpr std::uint32_t kSndMemory = 0x0004;     // the sound is an image in memory
inline constexpr std::uint32_t kSndLoop = 0x0008;       // repeat until stopped (with kSndAsync)
inline constexpr std::uint32_t kSndNoStop = 0x0010;     // do not interrupt a sound that plays

class ISound {
  public:
    virtual ~ISound() = default;

    // Plays a RIFF WAVE image (flags contain kSndMemory), first stopping whatever plays. An image
    // whose data() is null only stops and gives true. False, at once and with nothing playing,
    // for an image that cannot be played or when there is no sound device; with kSndNoStop, false
    // and the running sound left alone when something is playing. The image may be changed or
    // freed as soon as the call returns.
    virtual bool PlayWave(std::span<const unsigned char> image, std::uint32_t flags) = 0;

    // True once a play has found no sound device. The device is looked for only once, as looking
    // may cost time and print the audio library's complaints: every later play fails at once.
    virtual bool NoDevice() const { return false; }
};

}  // namespace pw::platform
