// What the game's sound output really plays, end to end: the calls go
// through MakeDeviceSoundOutput() into a private PulseAudio null sink, and the
// recording of its monitor is taken apart into bursts of sound, their lengths
// and pitches. The scheduling itself is tested on a fake device in
// scheduler_test.cpp; this is the real stream, thread and resources.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
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
#include "platform/sound_device.h"
#include "platform/sound_scheduler.h"
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

class HeardSound : public ::testing::Test {
protected:
    // Started only for this, so the tests on a fake device need no daemon.
    static void SetUpTestSuite() { Server->Start(); }

    void SetUp() override
    {
        ASSERT_TRUE(Server->Problem().isEmpty()) << Server->Problem().toStdString();
        Sound = MakeDeviceSoundOutput();
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

// A record as the game plays it: the record wave with wait, the fanfare of
// 2 ms beeps, then the wave again without wait, cut off by a click.
TEST_F(HeardSound, RecordWaveFanfareAndClickComeOutWholeAndInStep)
{
    const std::vector<qint16> wave = WaveSamples(":/WAV_2");
    ASSERT_GT(wave.size(), 10000u);
    const double waveMs = wave.size() * 1000.0 / Rate;
    const qint64 spent = TimedMs([&] { Sound->PlayWave(":/WAV_2", true); });
    EXPECT_GE(spent, waveMs - 1) << "a wave with wait returns when it has ended";
    EXPECT_LT(spent, waveMs + 300);
    QThread::msleep(200);
    for (int i = 0; i <= 20; ++i)
        Sound->Beep(1500 + 120 * i, 2);
    for (int i = 0; i <= 10; ++i)
        Sound->Beep(1500 - 150 * i, 2);
    QThread::msleep(200);
    EXPECT_LT(TimedMs([&] { Sound->PlayWave(":/WAV_2", false); }), 200) << "a wave without wait returns at once";
    QThread::msleep(150);
    Sound->PlayWave(":/WAV_1", false);

    const std::vector<qint16> heard = Heard();
    const std::vector<Burst> bursts = FindBursts(heard, Rate / 20);
    ASSERT_EQ(bursts.size(), 3u) << Describe(bursts);

    const qint64 whole = MatchedPrefix(heard, wave);
    EXPECT_GE(whole, qint64(wave.size()) * 99 / 100) << "heard " << whole << " of " << wave.size() << " samples";

    const Burst& fanfare = bursts[1];
    SCOPED_TRACE(Describe({fanfare}));
    const double sounding = 31 * 2;  // the last beep is a rest
    EXPECT_GT(fanfare.loud * 1000.0 / Rate, sounding * 0.9) << "beeps lost or cut";
    EXPECT_LT(fanfare.Ms(), sounding + 12) << "beeps far apart";
    const double rising = Pitch(heard, fanfare, 0, 20), top = Pitch(heard, fanfare, 32, 42),
                 falling = Pitch(heard, fanfare, 46, 58);
    EXPECT_LT(rising, top);
    EXPECT_LT(falling, rising);
    EXPECT_NEAR(top, 3600, 500);

    const double cutMs = MatchedPrefix(heard, wave, bursts[2].start - 100) * 1000.0 / Rate;
    EXPECT_GT(cutMs, 100);
    EXPECT_LT(cutMs, 250);
    EXPECT_GT(bursts[2].Ms(), cutMs + 4) << "the click after the cut";
    EXPECT_LT(bursts[2].Ms(), cutMs + 20) << "nothing of the wave after the click";
}

// After a quiet second the output sleeps; a beep ten seconds later wakes it
// and is heard whole, at its pitch.
TEST_F(HeardSound, ABeepAfterTenSecondsOfSilenceIsHeardWhole)
{
    QThread::msleep(10000);
    Sound->Beep(4000, 5);
    const std::vector<Burst> bursts = FindBursts(Heard());
    ASSERT_EQ(bursts.size(), 1u) << Describe(bursts);
    EXPECT_NEAR(bursts[0].Ms(), 5, 0.5) << Describe(bursts);
    EXPECT_GT(bursts[0].loud * 1000.0 / Rate, 4.5) << "the start or the end is lost";
    EXPECT_NEAR(bursts[0].Hz(), 4000, 400);
}

// How long after its asking a 5 ms beep is recorded, or -1 when it is not
// heard alone in the `ms` recorded after the asking; the recording's length
// then stands for that moment, the recorder's delay in every figure alike.
double BeepLatencyMs(SoundOutput& sound, int ms = 400)
{
    const qint64 asked = Server->RecordedFrames();
    sound.Beep(4000, 5);
    const qint64 until = asked + ms * qint64(Rate) / 1000;
    for (QDeadlineTimer end(ms + 8000); Server->RecordedFrames() < until && !end.hasExpired();)
        QThread::msleep(5);
    const std::vector<Burst> bursts = FindBursts(Server->Recording(asked));
    return bursts.size() == 1 && bursts[0].Ms() > 4.5 ? bursts[0].StartMs() : -1;
}

// The first beep of an output, however long after its making, and the first
// after it slept, are heard as soon after their asking as one while awake.
// A server slow to start a new stream plays it late, but the stream is not
// put to sleep with it still inside (to come out with the next sound).
struct FirstBeepCase {
    const char* name;
    int idleMs;       // before the first sound
    bool asleep = false;      // the beep measured comes after the output went to sleep
    bool slowServer = false;  // starting a new stream at its next two-second block
};

class FirstBeep : public ::testing::TestWithParam<FirstBeepCase> {
protected:
    static void SetUpTestSuite() { Server->Start(); }
};

TEST_P(FirstBeep, IsHeardAsSoonAsABeepOfAnOutputAwake)
{
    const FirstBeepCase& c = GetParam();
    ASSERT_TRUE(Server->Problem().isEmpty()) << Server->Problem().toStdString();
    if (c.slowServer && Server->Record(false)) {
        // Asked just after a block, the stream waits most of two seconds.
        const qint64 before = Server->RecordedFrames();
        for (QDeadlineTimer end(5000); Server->RecordedFrames() == before && !end.hasExpired();)
            QThread::msleep(2);
    }
    const std::unique_ptr<SoundOutput> sound = MakeDeviceSoundOutput();
    QThread::msleep(c.idleMs);
    double first = BeepLatencyMs(*sound, c.slowServer ? 5000 : 400);
    if (c.asleep) {
        QThread::msleep(SoundSleepAfterMs + 800);
        first = BeepLatencyMs(*sound);
    }
    EXPECT_GT(first, 0) << "heard, alone";
    if (c.slowServer)
        return (void)Server->Record(true);
    const double awake = BeepLatencyMs(*sound, 200);
    ASSERT_GT(awake, 0) << "a beep of an output awake is heard";
    EXPECT_LT(first, awake + 25) << "an output awake has it heard after " << awake << " ms";
}

INSTANTIATE_TEST_SUITE_P(SoundOutput, FirstBeep,
                         ::testing::Values(FirstBeepCase{.name = "Idle1s", .idleMs = 1000},
                                           FirstBeepCase{.name = "Idle3s", .idleMs = 3000},
                                           FirstBeepCase{.name = "Idle6s", .idleMs = 6000},
                                           FirstBeepCase{.name = "Idle9s", .idleMs = 9000},
                                           FirstBeepCase{.name = "AfterSleep", .idleMs = 300, .asleep = true},
                                           FirstBeepCase{.name = "SlowServer", .idleMs = 0, .slowServer = true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Where the install rules put the plugin, seen from where they put the game.
TEST(SoundPlugin, IsLookedForWhereItIsInstalledAndBesideTheProgram)
{
    const QString prefix = "/opt/some prefix";
    const QString installed = prefix + "/" VANTORIX2_INSTALL_LIBDIR "/vantorix2/vantorix2-sound";
    const QStringList paths = SoundPluginPaths(prefix + "/" VANTORIX2_INSTALL_BINDIR);
    EXPECT_TRUE(paths.contains(installed)) << paths.join(" ").toStdString();
    EXPECT_EQ(paths.value(0), prefix + "/" VANTORIX2_INSTALL_BINDIR "/vantorix2-sound") << "a build tree first";
}

// The game loads the device output from a plugin beside it; this program
// has none, so its sound is silent, and the calls that wait still take
// their time, as the animations count on them.
TEST(SoundWithoutItsPlugin, IsSilentAndTakesItsTime)
{
    const std::unique_ptr<SoundOutput> sound = MakeSoundOutput();
    EXPECT_GE(TimedMs([&] { sound->Beep(1000, 120); }), 119);
    EXPECT_LT(TimedMs([&] { sound->PlayWave(":/WAV_2", false); }), 60) << "a wave without wait returns at once";
    const double waveMs = double(WaveSamples(":/WAV_2").size()) * 1000.0 / Rate;
    const qint64 spent = TimedMs([&] { sound->PlayWave(":/WAV_2", true); });
    EXPECT_GE(spent, waveMs - 10);   // WaveSamples counts the bytes after the data chunk too
    EXPECT_LT(spent, waveMs + 200);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir folder(QDir::tempPath() + "/vantorix-sound-XXXXXX");
    PulseServer::PointClientsAt(folder.path());
    QCoreApplication app(argc, argv);
    PulseServer server(folder.path());
    Server = &server;
    const int result = RUN_ALL_TESTS();
    server.Stop();
    return result;
}
