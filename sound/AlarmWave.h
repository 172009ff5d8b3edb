#pragma once
// The built-in alarm sound, compiled into the program: a PCM wave image of 191,788 bytes.

#include <span>

#include "sound/zMM.h"

namespace pw::sound {

std::span<const unsigned char> BuiltInAlarmWave();

// Gives the wave the built-in image, as the main window's stored "Data" value does at start-up.
void LoadBuiltInAlarmWave(TzcWave& wave);

}  // namespace pw::sound
