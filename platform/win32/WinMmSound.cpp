#include "platform/win32/WinMmSound.h"

#include <windows.h>

#include <mmsystem.h>

#include <utility>

#include "platform/WaveFormat.h"

namespace pw::platform::win32 {

static_assert(kSndAsync == SND_ASYNC && kSndNoDefault == SND_NODEFAULT &&
                  kSndMemory == SND_MEMORY && kSndLoop == SND_LOOP && kSndNoStop == SND_NOSTOP,
              "the flag word goes to winmm unchanged");

WinMmSound::~WinMmSound() {
    if (!playing_.empty()) Stop();
}

void WinMmSound::Stop() {
    ::sndPlaySoundA(nullptr, 0);
    std::vector<unsigned char>().swap(playing_);
}

bool WinMmSound::PlayWave(std::span<const unsigned char> image, std::uint32_t flags) {
    if (!image.data()) {
        Stop();
        return true;
    }
    const bool noStop = flags & kSndNoStop;
    if (!ParseWave(image)) {
        if (!noStop) Stop();
        return false;
    }
    if (!deviceChecked_) {
        deviceChecked_ = true;
        noDevice_ = ::waveOutGetNumDevs() == 0;
    }
    if (noDevice_) return false;

    // The caller may free the image once we return; winmm reads an asynchronous one later.
    std::vector<unsigned char> copy;
    const unsigned char* sound = image.data();
    if (flags & kSndAsync) {
        copy.assign(image.begin(), image.end());
        sound = copy.data();
    }
    if (::sndPlaySoundA(reinterpret_cast<LPCSTR>(sound), flags | kSndMemory)) {
        // The previous sound has been stopped by this one, or had ended (kSndNoStop).
        playing_ = std::move(copy);
        return true;
    }
    // With kSndNoStop the previous sound may still be playing from its samples.
    if (noStop) return false;
    Stop();
    noDevice_ = true;
    return false;
}

}  // namespace pw::platform::win32
