#include "tone.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int16_t BeepAmplitude = 6000;

}  // namespace

SoundSamples SquareWave(int frequency, int milliseconds)
{
    SoundSamples samples(std::size_t(std::max<std::int64_t>(SoundFrames(milliseconds), 0)), 0);
    if (frequency <= 0)
        return samples;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double phase = std::fmod(double(i) * frequency / SoundRate, 1.0);
        samples[i] = phase < 0.5 ? BeepAmplitude : std::int16_t(-BeepAmplitude);
    }
    return samples;
}
