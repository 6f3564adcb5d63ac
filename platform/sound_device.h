#pragma once
// The sound output on the system's default audio device. It lives in the
// plugin vantorix2-sound, which the game loads at its first sound; the
// plugin's entry point is the C function VantorixDeviceSound, which returns
// a new output for the caller to own.

#include <memory>

#include "sound.h"

std::unique_ptr<SoundOutput> MakeDeviceSoundOutput();

extern "C" SoundOutput* VantorixDeviceSound();
