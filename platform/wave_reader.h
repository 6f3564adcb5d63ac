#pragma once
// WAVE files as the sound output plays them, without resampling: PCM, mono,
// 16-bit, at SoundRate.

#include <string_view>

#include "sound_format.h"

// The samples of such a file; nothing for anything else (another format, no
// fmt chunk before the data, a header cut off). A data chunk cut short
// gives the samples it holds. Never reads outside `file`.
SoundSamples ReadWave(std::string_view file);
