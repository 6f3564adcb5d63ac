// The sound output's samples: WAVE files read, and the beep's square wave.

#include <gtest/gtest.h>

#include <string>

#include "platform/tone.h"
#include "platform/wave_reader.h"

namespace {

std::string Little(std::uint32_t value, int width)
{
    std::string bytes;
    for (int i = 0; i < width; ++i)
        bytes += char(value >> (8 * i) & 0xff);
    return bytes;
}

std::string Chunk(const std::string& id, const std::string& body)
{
    return id + Little(std::uint32_t(body.size()), 4) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

std::string Fmt(int format = 1, int channels = 1, int rate = SoundRate, int bits = 16)
{
    return Chunk("fmt ", Little(format, 2) + Little(channels, 2) + Little(rate, 4) +
                             Little(rate * channels * bits / 8, 4) + Little(channels * bits / 8, 2) + Little(bits, 2));
}

std::string Riff(const std::string& chunks)
{
    return "RIFF" + Little(std::uint32_t(chunks.size() + 4), 4) + "WAVE" + chunks;
}

// Read from a buffer of exactly its size, so that a read past it is caught
// by the address sanitizer.
SoundSamples Read(const std::string& file)
{
    const std::vector<char> exact(file.begin(), file.end());
    return ReadWave(std::string_view(exact.data(), exact.size()));
}

const std::string Data = Chunk("data", Little(0x0102, 2) + Little(0x8000, 2) + Little(0xffff, 2));
const SoundSamples DataSamples = {258, -32768, -1};

}  // namespace

TEST(WaveReader, ReadsOnlyWhatItCanPlay)
{
    const struct {
        const char* name;
        std::string file;
        SoundSamples samples;
    } cases[] = {
        {"plain", Riff(Fmt() + Data), DataSamples},
        {"odd chunk skipped with its pad byte", Riff(Chunk("LIST", "abc") + Fmt() + Data), DataSamples},
        {"longer fmt", Riff(Chunk("fmt ", Fmt().substr(8) + "xy") + Data), DataSamples},
        {"data cut short", Riff(Fmt() + "data" + Little(100, 4) + "\x01\x02\x03"), {0x0201}},
        {"stereo", Riff(Fmt(1, 2) + Data), {}},
        {"8-bit", Riff(Fmt(1, 1, SoundRate, 8) + Data), {}},
        {"22050 Hz", Riff(Fmt(1, 1, 22050) + Data), {}},
        {"float", Riff(Fmt(3) + Data), {}},
        {"data before fmt", Riff(Data + Fmt()), {}},
        {"short fmt", Riff(Chunk("fmt ", Fmt().substr(8, 14)) + Data), {}},
        {"fmt longer than the file", Riff("fmt " + Little(16, 4) + Fmt().substr(8, 12)), {}},
        {"chunk size past the end", Riff("LIST" + Little(0xfffffff0, 4) + Fmt() + Data), {}},
        {"not RIFF", "RIFX" + Riff(Fmt() + Data).substr(4), {}},
        {"not WAVE", Riff(Fmt() + Data).replace(8, 4, "AVI "), {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(c.file), c.samples) << c.name;
}

// Full swing square waves at the pitch asked for; 0 Hz is silence.
TEST(Tone, SquareWaveOfThePitchAndLength)
{
    const struct {
        int frequency, milliseconds;
    } cases[] = {{4000, 5}, {1500, 2}, {3900, 2}, {440, 100}, {0, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frequency << " Hz, " << c.milliseconds << " ms");
        const SoundSamples wave = SquareWave(c.frequency, c.milliseconds);
        ASSERT_EQ(std::ssize(wave), SoundFrames(c.milliseconds));
        int flips = 0, high = 0;
        for (std::size_t i = 0; i < wave.size(); ++i) {
            EXPECT_EQ(std::abs(wave[i]), c.frequency ? 6000 : 0) << i;
            flips += i > 0 && wave[i] != wave[i - 1];
            high += wave[i] > 0;
        }
        EXPECT_NEAR(flips, 2.0 * c.frequency * c.milliseconds / 1000, 1);
        // Half high, half low, as near as whole samples allow.
        EXPECT_NEAR(high, c.frequency ? double(wave.size()) / 2 : 0, double(wave.size()) / 8);
    }
}
