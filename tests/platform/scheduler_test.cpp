// The sound scheduler on fake time and a fake device: the game thread and the
// sound thread take turns, and the device's output is kept frame by frame.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>

#include "platform/sound_scheduler.h"
#include "platform/tone.h"

namespace {

constexpr std::int64_t Ms = 1000000;
constexpr std::int64_t Start = 1000 * Ms;  // a steady clock is far from zero

constexpr std::int64_t FrameAt(std::int64_t time)
{
    return (time - Start) * SoundRate / 1000000000;
}

// How a device differs from one that takes and plays all it is given.
struct Device {
    bool takesHalf = false;    // of each write
    bool reportsMore = false;  // room before its first write: far more than its buffer
    int startsAfterMs = 0;     // after its first write it plays nothing for this long
    int opensAfterMs = 0;      // after the first sound: the thread is busy opening the stream
};

// Time moves only in sleeps and Pass; the sound thread's tick comes every
// SoundTickMs, out of step with the start. The device plays its buffer at
// SoundRate and is silent when it runs dry or the thread sleeps (it is then
// suspended); Heard is what came out.
class Fake : public SoundClock, public SoundSink {
public:
    // Not open: the stream opens at the first sound, as the output does.
    explicit Fake(Device device = {}, bool open = true) : Kind(device)
    {
        Asleep = !open;
        Sound.SetWaker([this] {
            Play();
            if (Asleep && !Written)
                OpensAt = T + Kind.opensAfterMs * Ms;
            Asleep = false;
        });
        Pass(100 * Ms);  // the stream is running
    }

    std::int64_t Now() override { return T; }
    void Sleep(std::int64_t nanoseconds) override { Pass(nanoseconds + Overshoot); }
    // The sound thread's ticks; a sleeping thread has none until woken.
    void Pass(std::int64_t nanoseconds)
    {
        const std::int64_t end = T + nanoseconds;
        for (; NextTick <= end; NextTick += SoundTickMs * Ms) {
            T = NextTick;
            if (Asleep || Hung || T < OpensAt)
                continue;
            Sound.Feed(*this);
            ++Ticks;
            Play();
            Asleep = Sound.MaySleep();
        }
        T = end;
        Play();
    }

    bool Stopped() override { return Broken; }
    std::int64_t Capacity() override { return SoundFrames(SoundBufferMs); }
    std::int64_t Room() override
    {
        Play();
        if (Kind.reportsMore && !Written)
            return 40 * Capacity();
        return Full ? 0 : std::max<std::int64_t>(Capacity() - std::ssize(Buffer), 0);
    }
    std::int64_t Write(const std::int16_t* frames, std::int64_t count) override
    {
        Play();
        if (!Written)
            StartsAt = FrameAt(T) + SoundFrames(Kind.startsAfterMs);
        Written = true;
        const std::int64_t taken = Kind.takesHalf ? (count + 1) / 2 : count;
        Buffer.insert(Buffer.end(), frames, frames + taken);
        return taken;
    }

    SoundScheduler Sound{*this};
    std::vector<std::int16_t> Heard;  // frame 0 at Start
    std::int64_t Overshoot = 0;       // how late a sleeper wakes
    std::int64_t NextTick = Start + 1300000;
    bool Broken = false;
    bool Full = false;   // the device takes nothing
    bool Hung = false;   // the sound thread does not tick, as if stuck opening the stream
    bool Asleep = false;
    int Ticks = 0;

private:
    // What came out up to now.
    void Play()
    {
        while (std::ssize(Heard) < FrameAt(T)) {
            const bool plays = !Asleep && std::ssize(Heard) >= StartsAt && !Buffer.empty();
            Heard.push_back(plays ? Buffer.front() : 0);
            if (plays)
                Buffer.pop_front();
        }
    }

    Device Kind;
    std::deque<std::int16_t> Buffer;
    bool Written = false;
    std::int64_t StartsAt = 0;  // frame
    std::int64_t OpensAt = 0;
    std::int64_t T = Start;
};

SoundScheduler::Sound Level(int milliseconds)
{
    return std::make_shared<const SoundSamples>(std::size_t(SoundFrames(milliseconds)), 1000);
}

// What the sound output's Beep asks for.
void Beep(Fake& fake, int frequency, int milliseconds)
{
    fake.Sound.PlayAndWait(std::make_shared<const SoundSamples>(SquareWave(frequency, milliseconds)),
                           milliseconds * Ms);
}

struct Stretch {
    std::int64_t start, length;
};

// The stretches of sound, split at every silent frame.
std::vector<Stretch> Stretches(const std::vector<std::int16_t>& heard)
{
    std::vector<Stretch> runs;
    for (std::int64_t i = 0; i < std::ssize(heard); ++i) {
        if (heard[std::size_t(i)] == 0)
            continue;
        if (runs.empty() || runs.back().start + runs.back().length != i)
            runs.push_back({i, 0});
        ++runs.back().length;
    }
    return runs;
}

}  // namespace

// A click or a wave is played without wait; a tone is a 4000 Hz beep; a
// queued one returns at once, its caller waiting by its own clock.
enum class Do { Click, Tone, Rest, Pass, Queued };

// Sounds keep the spacing they were asked for at, a device buffer and a
// small lead later; a blocking one is joined to the one before only when
// asked for just as that ended, not after the 10 ms a cascade waits between
// beeps; a wave without wait cuts off what still sounds. Blocking calls
// return when their sound has ended, not each sleep's overshoot later.
TEST(SoundScheduler, PlacesSoundsAndReturnsInTime)
{
    using enum Do;
    const auto F = SoundFrames;
    const struct {
        const char* name;
        int overshootMs, times;
        std::vector<std::pair<Do, int>> steps;  // done `times` times
        std::vector<Stretch> heard;             // starts from the first one's
        int takesMs;
    } cases[] = {
        {"clicks every 15 ms", 0, 3, {{Click, 7}, {Pass, 15}}, {{0, F(7)}, {F(15), F(7)}, {F(30), F(7)}}, 45},
        {"clicks 300 ms apart", 0, 2, {{Click, 7}, {Pass, 300}}, {{0, F(7)}, {F(300), F(7)}}, 600},
        {"beeps every 15 ms, woken late", 2, 3, {{Tone, 5}, {Pass, 8}}, {{0, F(5)}, {F(15), F(5)}, {F(30), F(5)}}, 45},
        {"beep 5 ms after a beep", 1, 1, {{Tone, 5}, {Pass, 5}, {Tone, 5}}, {{0, 2 * F(5)}}, 11},
        {"beep 10 ms after a beep", 1, 1, {{Tone, 5}, {Pass, 10}, {Tone, 5}}, {{0, F(5)}, {F(16), F(5)}}, 22},
        {"twenty 3 ms beeps", 1, 20, {{Tone, 3}}, {{0, 20 * F(3)}}, 61},
        {"a rest", 1, 1, {{Rest, 30}}, {}, 31},
        {"click 150 ms into a wave", 0, 1, {{Click, 500}, {Pass, 150}, {Click, 7}}, {{0, F(150) + F(7)}}, 150},
        {"queued beeps at once", 0, 3, {{Queued, 5}}, {{0, 3 * F(5)}}, 0},
        {"a queued beep as the one before ends", 0, 2, {{Queued, 5}, {Pass, 5}}, {{0, 2 * F(5)}}, 10},
        {"a queued beep 10 ms after", 0, 2, {{Queued, 5}, {Pass, 15}}, {{0, F(5)}, {F(15), F(5)}}, 30},
        {"a queued beep behind a waited one", 1, 1, {{Tone, 5}, {Queued, 5}}, {{0, 2 * F(5)}}, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fake fake;
        fake.Overshoot = c.overshootMs * Ms;
        const std::int64_t asked = fake.Now();
        for (int i = 0; i < c.times; ++i) {
            for (const auto& [what, ms] : c.steps) {
                if (what == Click)
                    fake.Sound.Play(Level(ms));
                else if (what == Pass)
                    fake.Pass(ms * Ms);
                else if (what == Queued)
                    fake.Sound.Queue(std::make_shared<const SoundSamples>(SquareWave(4000, ms)), ms * Ms);
                else
                    Beep(fake, what == Tone ? 4000 : 0, ms);
            }
        }
        EXPECT_EQ(fake.Now() - asked, c.takesMs * Ms);
        fake.Pass(600 * Ms);
        const std::vector<Stretch> heard = Stretches(fake.Heard);
        ASSERT_EQ(heard.size(), c.heard.size());
        for (std::size_t i = 0; i < heard.size(); ++i) {
            EXPECT_NEAR(heard[i].start - heard[0].start, c.heard[i].start, 1) << i;
            EXPECT_EQ(heard[i].length, c.heard[i].length) << i;
        }
        if (!heard.empty()) {
            EXPECT_GE(heard[0].start - FrameAt(asked), F(SoundBufferMs));
            EXPECT_LE(heard[0].start - FrameAt(asked), F(SoundBufferMs + 10));
        }
    }
}

// The record fanfare: its 2 ms beeps, and a rest, come out as one unbroken
// run however late the caller wakes from each, or queued all at once,
// wherever they fall between the sound thread's ticks, and though that
// thread is held up for 25 ms.
TEST(SoundScheduler, FanfareOfShortBeepsIsOneUnbrokenRun)
{
    std::vector<int> pitches;
    for (int i = 0; i <= 20; ++i)
        pitches.push_back(1500 + 120 * i);
    for (int i = 0; i <= 10; ++i)
        pitches.push_back(1500 - 150 * i);
    SoundSamples whole;
    for (int pitch : pitches) {
        const SoundSamples beep = SquareWave(pitch, 2);
        whole.insert(whole.end(), beep.begin(), beep.end());
    }
    whole.resize(whole.size() - std::size_t(SoundFrames(2)));  // the rest

    constexpr int Rounds = 16;
    for (const bool queued : {false, true})
    for (const std::int64_t overshoot : {std::int64_t(0), Ms / 10, Ms, 5 * Ms, 7 * Ms}) {
        SCOPED_TRACE(testing::Message() << (queued ? "queued, " : "") << "woken " << overshoot << " ns late");
        Fake fake;
        fake.Overshoot = overshoot;
        for (int round = 0; round < Rounds; ++round) {
            for (std::size_t i = 0; i < pitches.size(); ++i) {
                if (i == 20 && round % 2)
                    fake.NextTick += 25 * Ms;
                if (queued)
                    fake.Sound.Queue(std::make_shared<const SoundSamples>(SquareWave(pitches[i], 2)), 2 * Ms);
                else
                    Beep(fake, pitches[i], 2);
            }
            fake.Pass(300 * Ms + round * Ms / 4);
        }
        const std::vector<Stretch> heard = Stretches(fake.Heard);
        ASSERT_EQ(heard.size(), std::size_t(Rounds));
        for (const Stretch& run : heard)
            EXPECT_TRUE(std::equal(whole.begin(), whole.end(), fake.Heard.begin() + run.start,
                                   fake.Heard.begin() + run.start + run.length));
    }
}

// Once the device has failed the output is closed: calls keep their time
// and nothing of them is queued.
TEST(SoundScheduler, ClosedOutputQueuesNothing)
{
    Fake fake;
    fake.Broken = true;
    EXPECT_FALSE(fake.Sound.Feed(fake));
    fake.Sound.Close();
    fake.Broken = false;
    const std::int64_t before = fake.Now();
    Beep(fake, 1000, 50);
    EXPECT_EQ(fake.Now() - before, 50 * Ms);
    fake.Sound.Play(Level(10));
    fake.Pass(300 * Ms);
    EXPECT_TRUE(Stretches(fake.Heard).empty());
}

// A quiet second puts the sound thread to sleep, and a cascade never does;
// the first beep after a long silence wakes it and is heard whole, as soon
// after it was asked for as any other sound.
TEST(SoundScheduler, SleepsWhenQuietAndWakesForTheNextSoundWhole)
{
    Fake fake;
    EXPECT_TRUE(fake.Asleep) << "nothing asked for yet";
    for (int i = 0; i < 150; ++i) {   // a long cascade, a beep every 15 ms
        Beep(fake, 4000, 5);
        fake.Pass(10 * Ms);
        ASSERT_FALSE(fake.Asleep) << i;
    }
    fake.Pass(SoundSleepAfterMs * Ms + 50 * Ms);
    ASSERT_TRUE(fake.Asleep);
    const int ticks = fake.Ticks;
    fake.Pass(10000 * Ms);
    EXPECT_EQ(fake.Ticks, ticks) << "not one tick while asleep";
    const std::int64_t asked = fake.Now();
    Beep(fake, 4000, 5);
    EXPECT_FALSE(fake.Asleep);
    fake.Pass(300 * Ms);
    const std::vector<Stretch> heard = Stretches(fake.Heard);
    ASSERT_EQ(heard.size(), 151u);
    EXPECT_EQ(heard.back().length, SoundFrames(5));
    EXPECT_EQ(heard.back().length, heard.front().length);
    EXPECT_GE(heard.back().start - FrameAt(asked), SoundFrames(SoundBufferMs));
    EXPECT_LE(heard.back().start - FrameAt(asked), SoundFrames(SoundBufferMs + 10));
}

// The first beep after the stream opens, one awake and the first after a
// sleep are heard whole, as soon after their asking as the device lets them:
// nothing is lost to a short write, and the thread does not sleep (suspending
// the device) before the device has played it, unless it never plays.
TEST(SoundScheduler, FirstBeepsAfterOpeningAndSleepingAreHeardInTime)
{
    const struct {
        const char* name;
        Device device;
        int idleMs;   // before the first sound
        int awakeMs;  // from the first to one while awake
    } cases[] = {
        {"slow to open", {.opensAfterMs = 30}, 1000, 300},
        {"a new stream reporting far more room than its buffer", {.reportsMore = true}, 3000, 300},
        {"taking half of each write", {.takesHalf = true}, 6000, 300},
        {"playing nothing for 1.5 s after opening", {.startsAfterMs = 1500}, 9000, 1550},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fake fake(c.device, false);
        fake.Pass(c.idleMs * Ms);
        std::vector<std::int64_t> asked;
        for (const int gapMs : {0, c.awakeMs, 3000}) {  // the first, one awake, one after sleeping
            fake.Pass(gapMs * Ms);
            EXPECT_EQ(fake.Asleep, gapMs != c.awakeMs);
            asked.push_back(fake.Now());
            Beep(fake, 4000, 5);
        }
        fake.Pass(2000 * Ms);
        EXPECT_TRUE(fake.Asleep);
        const std::vector<Stretch> heard = Stretches(fake.Heard);
        ASSERT_EQ(heard.size(), asked.size());
        for (std::size_t i = 0; i < heard.size(); ++i) {
            const std::int64_t starting = std::max(c.device.startsAfterMs * Ms - (asked[i] - asked[0]), std::int64_t(0));
            EXPECT_EQ(heard[i].length, SoundFrames(5)) << i;
            EXPECT_LE(heard[i].start - FrameAt(asked[i] + starting), SoundFrames(SoundBufferMs + 10)) << i;
        }
    }
    Fake dead({.startsAfterMs = 7000}, false);
    Beep(dead, 4000, 300);
    dead.Pass(4000 * Ms);
    EXPECT_FALSE(dead.Asleep);
    dead.Pass(4000 * Ms);
    EXPECT_TRUE(dead.Asleep) << "once the sound is stale";
    const std::int64_t asked = dead.Now();
    Beep(dead, 4000, 5);
    dead.Pass(1000 * Ms);
    const std::vector<Stretch> heard = Stretches(dead.Heard);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].length, SoundFrames(5)) << "the stale one is not heard after all";
    EXPECT_LE(heard[0].start - FrameAt(asked), SoundFrames(SoundBufferMs + 10)) << "nor waited for";
}

// A device that takes nothing for half a minute while a cascade beeps on
// (each blocking beep kept for after the one before) gets about a second of
// them once it takes frames again, not the half minute, and the next sound
// is then in step.
TEST(SoundScheduler, DeviceThatTakesNothingGetsASecondOfWhatItMissed)
{
    Fake fake;
    fake.Full = true;
    for (int i = 0; i < 2000; ++i) {
        Beep(fake, 4000, 5);
        fake.Pass(10 * Ms);
    }
    fake.Full = false;
    fake.Pass(3000 * Ms);
    std::int64_t missed = 0;
    for (const Stretch& run : Stretches(fake.Heard))
        missed += run.length;
    EXPECT_LE(missed, SoundFrames(1500));

    const std::int64_t asked = fake.Now();
    Beep(fake, 4000, 9);
    fake.Pass(300 * Ms);
    const std::vector<Stretch> heard = Stretches(fake.Heard);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().length, SoundFrames(9));
    EXPECT_GE(heard.back().start - FrameAt(asked), SoundFrames(SoundBufferMs));
    EXPECT_LE(heard.back().start - FrameAt(asked), SoundFrames(SoundBufferMs + 10));
}

// A sound thread that takes nothing (stuck on a sound server that never
// answers) while the game plays on for minutes, a click and a beep at every
// landing, holds on to a moment's sounds, not to all of them; when it comes
// back after the game has gone quiet, none of them is heard late, and the
// next sound (a longer beep than theirs) is in step.
TEST(SoundScheduler, SoundThreadThatTakesNothingHoldsNoPileOfRequests)
{
    Fake fake;
    fake.Hung = true;
    const SoundScheduler::Sound click = Level(7);  // a cached wave, passed uncopied
    std::weak_ptr<const SoundSamples> firstBeep;
    for (int landing = 0; landing < 1000; ++landing) {
        fake.Sound.Play(click);
        auto beep = std::make_shared<const SoundSamples>(SquareWave(4000, 5));
        if (landing == 0)
            firstBeep = beep;
        fake.Sound.PlayAndWait(std::move(beep), 5 * Ms);
        fake.Pass(450 * Ms);
    }
    EXPECT_LT(click.use_count(), 30);
    EXPECT_TRUE(firstBeep.expired());

    fake.Pass(6000 * Ms);
    fake.Hung = false;
    fake.Pass(300 * Ms);  // back before the next sound is asked for
    const std::int64_t asked = fake.Now();
    Beep(fake, 4000, 9);
    fake.Pass(300 * Ms);
    const std::vector<Stretch> heard = Stretches(fake.Heard);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].length, SoundFrames(9));
    EXPECT_GE(heard[0].start - FrameAt(asked), SoundFrames(SoundBufferMs));
    EXPECT_LE(heard[0].start - FrameAt(asked), SoundFrames(SoundBufferMs + 10));
}
