#pragma once
// The one stream format of the sound output: mono 16-bit at 44.1 kHz.

#include <cstdint>
#include <vector>

constexpr int SoundRate = 44100;

using SoundSamples = std::vector<std::int16_t>;

constexpr std::int64_t SoundFrames(int milliseconds)
{
    return std::int64_t(milliseconds) * SoundRate / 1000;
}

// How long that many frames sound, in nanoseconds.
constexpr std::int64_t SoundNanoseconds(std::int64_t frames)
{
    return frames * 1000000000 / SoundRate;
}
