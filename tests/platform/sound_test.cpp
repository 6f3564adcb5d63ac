// What the game's sound output really plays: the calls go through
// MakeSoundOutput() into a private PulseAudio null sink, and the recording of
// its monitor is taken apart into bursts of sound, their lengths and pitches.

#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <sstream>

#include "platform/sound.h"
#include "pulse_server.h"

namespace {

constexpr int Rate = PulseServer::Rate;
constexpr int Loud = 1000;                   // a sample this far from zero is sound
constexpr qint64 ShortGap = Rate * 3 / 2000;  // quiet up to 1.5 ms stays inside a burst

PulseServer* Server = nullptr;

struct Burst {
    qint64 start = 0;
    qint64 length = 0;
    qint64 crossings = 0;
    qint64 loud = 0;  // samples at or above Loud
    double StartMs() const { return start * 1000.0 / Rate; }
    double Ms() const { return length * 1000.0 / Rate; }
    double Hz() const { return crossings * Rate / 2.0 / double(length); }
};

qint64 Crossings(const std::vector<qint16>& s, qint64 from, qint64 to)
{
    qint64 count = 0;
    for (qint64 i = from + 1; i < to; ++i)
        count += (s[i - 1] < 0) != (s[i] < 0);
    return count;
}

// The pitch between two moments of a burst's sound, its quiet left out.
double Pitch(const std::vector<qint16>& s, const Burst& in, double fromMs, double toMs)
{
    std::vector<qint16> sound;
    std::copy_if(s.begin() + in.start, s.begin() + in.start + in.length, std::back_inserter(sound),
                 [](qint16 v) { return std::abs(v) >= Loud; });
    const qint64 from = qint64(fromMs * Rate / 1000), to = std::min<qint64>(qint64(toMs * Rate / 1000), sound.size());
    return Crossings(sound, from, to) * Rate / 2.0 / double(to - from);
}

std::vector<Burst> FindBursts(const std::vector<qint16>& s, qint64 maxGap = ShortGap)
{
    std::vector<Burst> bursts;
    qint64 last = -1;
    for (qint64 i = 0; i < qint64(s.size()); ++i) {
        if (std::abs(s[i]) < Loud)
            continue;
        if (last < 0 || i - last > maxGap)
            bursts.push_back({i, 0, 0, 0});
        bursts.back().length = i - bursts.back().start + 1;
        ++bursts.back().loud;
        last = i;
    }
    for (Burst& burst : bursts)
        burst.crossings = Crossings(s, burst.start, burst.start + burst.length);
    return bursts;
}

std::string Describe(const std::vector<Burst>& bursts)
{
    std::ostringstream out;
    out << bursts.size() << " bursts (start ms / length ms / Hz):";
    for (std::size_t i = 0; i < bursts.size() && i < 60; ++i)
        out << " " << int(bursts[i].StartMs()) << "/" << bursts[i].Ms() << "/" << int(bursts[i].Hz());
    return out.str();
}

std::vector<qint16> WaveSamples(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const qsizetype data = bytes.indexOf("data");
    std::vector<qint16> samples;
    for (qsizetype at = data + 8; data >= 0 && at + 1 < bytes.size(); at += 2)
        samples.push_back(qFromLittleEndian<qint16>(bytes.constData() + at));
    return samples;
}

// How many samples from the first sound of `wave` in `heard` on match it.
qint64 MatchedPrefix(const std::vector<qint16>& heard, const std::vector<qint16>& wave, qint64 from = 0)
{
    const auto first = std::find_if(wave.begin(), wave.end(), [](qint16 v) { return std::abs(v) >= Loud; });
    const auto at = std::search(heard.begin() + from, heard.end(), first, first + 32);
    if (at == heard.end())
        return 0;
    const auto [h, w] = std::mismatch(at, heard.end(), first, wave.end());
    return w - first;
}

qint64 TimedMs(const std::function<void()>& call)
{
    QElapsedTimer clock;
    clock.start();
    call();
    return clock.elapsed();
}

// Calls play every paceMs, its own wait included, the way the game paces
// its sounds with delays: a late return makes the next sound later, never
// earlier.
void AtPace(int count, int paceMs, const std::function<void()>& play)
{
    for (int i = 0; i < count; ++i) {
        const qint64 spent = TimedMs(play);
        if (spent < paceMs)
            QThread::msleep(static_cast<unsigned long>(paceMs - spent));
    }
}

class HeardSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Server->Problem().isEmpty()) << Server->Problem().toStdString();
        Sound = MakeSoundOutput();
        // A marker tone, repeated until heard: from then on the output is
        // open, and the recording after the last marker is the test's.
        const qint64 from = Server->RecordedFrames();
        auto lastMarkerEnd = [&] {
            qint64 end = -1;
            for (const Burst& burst : FindBursts(Server->Recording(from)))
                if (burst.Ms() > 15 && std::abs(burst.Hz() - 1000) < 150)
                    end = from + burst.start + burst.length;
            return end;
        };
        for (int attempt = 0; attempt < 20 && Begin < 0; ++attempt) {
            Sound->Beep(1000, 20);
            for (int poll = 0; poll < 50 && Begin < 0; ++poll) {
                QThread::msleep(10);
                Begin = lastMarkerEnd();
            }
        }
        ASSERT_GE(Begin, 0) << "the marker tone was never heard";
        QThread::msleep(300);
        Begin = lastMarkerEnd();
    }

    // Everything recorded after the marker, once the last sound is through.
    std::vector<qint16> Heard()
    {
        QThread::msleep(400);
        return Server->Recording(Begin);
    }

    std::unique_ptr<SoundOutput> Sound;
    qint64 Begin = -1;
};

struct PaceCase {
    const char* name;
    bool click;  // ":/WAV_1", else the landing beep Beep(4000, 5)
    int count;
    int paceMs;
};

void PrintTo(const PaceCase& c, std::ostream* out)
{
    *out << c.name;
}

class EverySoundHeard : public HeardSound, public ::testing::WithParamInterface<PaceCase> {};

TEST_P(EverySoundHeard, OneBurstPerCallAtItsPitch)
{
    const PaceCase& c = GetParam();
    AtPace(c.count, c.paceMs, [&] {
        if (c.click)
            Sound->PlayWave(":/WAV_1", false);
        else
            Sound->Beep(4000, 5);
    });
    const std::vector<Burst> bursts = FindBursts(Heard());
    ASSERT_EQ(bursts.size(), std::size_t(c.count)) << Describe(bursts);
    for (std::size_t i = 0; i < bursts.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "burst " << i << ": " << Describe({bursts[i]}));
        if (c.click) {
            EXPECT_GT(bursts[i].Ms(), 4);
            EXPECT_LT(bursts[i].Ms(), 16);
            EXPECT_NEAR(bursts[i].Hz(), 1900, 300);
        } else {
            EXPECT_NEAR(bursts[i].Ms(), 5, 1);
            EXPECT_NEAR(bursts[i].Hz(), 4000, 400);
        }
        if (i > 0) {
            EXPECT_GT(bursts[i].StartMs() - bursts[i - 1].StartMs(), c.paceMs * 0.6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paces, EverySoundHeard,
                         ::testing::Values(PaceCase{"LandingBeeps", false, 50, 300},
                                           PaceCase{"RemovalBeepsEvery15ms", false, 20, 15},
                                           PaceCase{"RemovalBeepsEvery20ms", false, 20, 20},
                                           PaceCase{"ClicksEvery300ms", true, 50, 300},
                                           PaceCase{"ClicksEvery15ms", true, 20, 15},
                                           PaceCase{"ClicksEvery20ms", true, 20, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HeardSound, RecordFanfareOfShortBeepsPlaysWhole)
{
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i <= 20; ++i)
            Sound->Beep(1500 + 120 * i, 2);
        for (int i = 0; i <= 10; ++i)
            Sound->Beep(1500 - 150 * i, 2);
        QThread::msleep(300);
    }
    const std::vector<qint16> heard = Heard();
    // Joined across short gaps: each fanfare is one burst.
    const std::vector<Burst> bursts = FindBursts(heard, Rate / 100);
    ASSERT_EQ(bursts.size(), 3u) << Describe(bursts);
    const double sounding = 31 * 2;  // the last beep is a rest
    for (const Burst& burst : bursts) {
        SCOPED_TRACE(Describe({burst}));
        EXPECT_GT(burst.loud * 1000.0 / Rate, sounding * 0.9) << "beeps lost or cut";
        EXPECT_LT(burst.Ms(), sounding + 12) << "beeps far apart";
        const double rising = Pitch(heard, burst, 0, 20), top = Pitch(heard, burst, 32, 42),
                     falling = Pitch(heard, burst, 46, 58);
        EXPECT_LT(rising, top);
        EXPECT_LT(falling, rising);
        EXPECT_NEAR(top, 3600, 500);
    }
}

TEST_F(HeardSound, RecordWaveWithWaitPlaysWholeAndReturnsWhenDone)
{
    const std::vector<qint16> wave = WaveSamples(":/WAV_2");
    ASSERT_GT(wave.size(), 10000u);
    const double waveMs = wave.size() * 1000.0 / Rate;
    for (int round = 0; round < 2; ++round) {
        const qint64 spent = TimedMs([&] { Sound->PlayWave(":/WAV_2", true); });
        EXPECT_GE(spent, waveMs - 1);
        EXPECT_LT(spent, waveMs + 300);
        QThread::msleep(200);
    }
    const std::vector<qint16> heard = Heard();
    const qint64 first = MatchedPrefix(heard, wave);
    EXPECT_GE(first, qint64(wave.size()) * 99 / 100) << "heard " << first << " of " << wave.size() << " samples";
    const std::vector<Burst> bursts = FindBursts(heard, Rate / 20);
    ASSERT_EQ(bursts.size(), 2u) << Describe(bursts);
    EXPECT_GE(MatchedPrefix(heard, wave, bursts[1].start - 100), qint64(wave.size()) * 99 / 100);
}

TEST_F(HeardSound, ClickCutsOffTheWaveBeforeIt)
{
    const std::vector<qint16> wave = WaveSamples(":/WAV_2");
    const qint64 spent = TimedMs([&] { Sound->PlayWave(":/WAV_2", false); });
    EXPECT_LT(spent, 200) << "a wave without wait returns at once";
    QThread::msleep(150);
    Sound->PlayWave(":/WAV_1", false);
    const std::vector<qint16> heard = Heard();
    const double waveHeardMs = MatchedPrefix(heard, wave) * 1000.0 / Rate;
    EXPECT_GT(waveHeardMs, 100);
    EXPECT_LT(waveHeardMs, 250);
    const std::vector<Burst> bursts = FindBursts(heard, Rate / 20);
    ASSERT_EQ(bursts.size(), 1u) << "nothing of the wave after the click: " << Describe(bursts);
    EXPECT_LT(bursts[0].Ms(), waveHeardMs + 20);
}

// No device: silence, and every call keeps its own time, no more. Blocking
// calls in a row take their lengths added up: each one starts where the one
// before ended, however late its caller came back from its sleep.
TEST(SilentSound, CallsWaitTheirOwnLengthOnly)
{
    ASSERT_TRUE(Server->Problem().isEmpty()) << Server->Problem().toStdString();
    const qint64 from = Server->RecordedFrames();
    auto sound = MakeSoundOutput(QAudioDevice());
    const struct {
        const char* call;
        std::function<void()> play;
        qint64 waitMs;
    } calls[] = {
        {"Beep(1000, 50)", [&] { sound->Beep(1000, 50); }, 50},
        {"Beep(0, 30)", [&] { sound->Beep(0, 30); }, 30},
        {"Beep(1000, 0)", [&] { sound->Beep(1000, 0); }, 0},
        {"twenty Beep(2000, 3) in a row", [&] { for (int i = 0; i < 20; ++i) sound->Beep(2000, 3); }, 60},
        {"PlayWave(WAV_1)", [&] { sound->PlayWave(":/WAV_1", false); }, 0},
        {"PlayWave(WAV_2, wait)", [&] { sound->PlayWave(":/WAV_2", true); }, 454},
        {"PlayWave(missing, wait)", [&] { sound->PlayWave(":/none", true); }, 0},
    };
    for (const auto& c : calls) {
        QThread::msleep(20);
        const qint64 spent = TimedMs(c.play);
        EXPECT_GE(spent, c.waitMs) << c.call;
        EXPECT_LT(spent, c.waitMs + 200) << c.call;
    }
    EXPECT_LT(TimedMs([&] { sound.reset(); }), 1000);
    QThread::msleep(200);
    EXPECT_EQ(FindBursts(Server->Recording(from)).size(), 0u);
}

class PulseEnvironment : public ::testing::Environment {
    // A failure to start is reported by each test, with its reason.
    void SetUp() override { Server->Start(); }
    void TearDown() override { Server->Stop(); }
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir folder(QDir::tempPath() + "/vantorix-sound-XXXXXX");
    PulseServer::PointClientsAt(folder.path());
    QCoreApplication app(argc, argv);
    PulseServer server(folder.path());
    Server = &server;
    ::testing::AddGlobalTestEnvironment(new PulseEnvironment);
    const int result = RUN_ALL_TESTS();
    server.Stop();
    return result;
}
