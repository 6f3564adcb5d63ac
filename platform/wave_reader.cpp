#include "wave_reader.h"

#include <algorithm>

namespace {

// The little-endian unsigned number of `width` bytes at `at`.
std::uint32_t Little(std::string_view bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + std::size_t(i)]);
    return value;
}

}  // namespace

SoundSamples ReadWave(std::string_view file)
{
    if (file.size() < 12 || file.substr(0, 4) != "RIFF" || file.substr(8, 4) != "WAVE")
        return {};
    bool playable = false;
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::string_view id = file.substr(at, 4);
        const std::uint32_t size = Little(file, at + 4, 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= file.size()) {
            playable = Little(file, body, 2) == 1 && Little(file, body + 2, 2) == 1 &&
                       Little(file, body + 4, 4) == SoundRate && Little(file, body + 14, 2) == 16;
        } else if (id == "data") {
            if (!playable)
                return {};
            SoundSamples samples(std::min<std::size_t>(size, file.size() - body) / 2);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<std::int16_t>(Little(file, body + 2 * i, 2));
            return samples;
        }
        // Chunks are padded to an even length.
        at = body + size + (size & 1);
    }
    return {};
}
