#pragma once
// The speaker-like beep of the game.

#include "sound_format.h"

// A square wave of the given pitch and length; a frequency of 0 gives
// silence of that length (a rest).
SoundSamples SquareWave(int frequency, int milliseconds);
