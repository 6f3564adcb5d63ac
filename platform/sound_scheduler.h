#pragma once
// What goes to the audio device and when. The game thread asks for sounds
// and sleeps through the blocking ones; the sound thread calls Feed every
// SoundTickMs to top up a push-mode output stream. Time comes from a
// SoundClock and the stream is a SoundSink, so neither has to be real.
//
// Every sound is put on the output at the time it was asked for plus a small
// constant lead, so sounds keep the spacing the game gave them. A blocking
// sound asked for as the previous blocking one ends is joined to it, and
// the device is not topped up with silence while such a sequel is due, so
// the record fanfare's 2 ms beeps come out as one unbroken run. A sound
// the sound thread has not taken within 5 s of its asking is dropped,
// and one queued to start more than a second past what the device has
// taken goes at its own time instead, cutting off the queue from there: so
// neither a thread nor a device that takes nothing makes the queue grow.
// The first sound after the stream opens or wakes is heard as soon after its
// asking as any other, whatever a new stream reports free (a server slow to
// start a stream plays it when it starts), and the stream sleeps only once
// the device has played what it was given.

#include <cstdint>
#include <functional>
#include <memory>

#include "sound_format.h"

// The sound thread may stop ticking once nothing has sounded for this long:
// an idle game wakes nobody, the sound server included.
constexpr int SoundSleepAfterMs = 1000;

// The sound thread's tick and the device buffer it keeps filled, its own
// latency included (PulseAudio keeps about 37 ms in the stream): enough to
// ride out the thread being held up for 25 ms on a busy machine, which a
// 30 ms buffer did not. The scheduler's leads are tuned to both.
constexpr int SoundTickMs = 4;
constexpr int SoundBufferMs = 50;

class SoundClock {
public:
    virtual ~SoundClock() = default;
    // Nanoseconds on a clock that never goes back.
    virtual std::int64_t Now() = 0;
    virtual void Sleep(std::int64_t nanoseconds) = 0;
};

// A push-mode output stream of SoundRate mono frames.
class SoundSink {
public:
    virtual ~SoundSink() = default;
    // Failed for good.
    virtual bool Stopped() = 0;
    // Frames its buffer holds, and frames it takes now: what it still has to
    // play is the difference.
    virtual std::int64_t Capacity() = 0;
    virtual std::int64_t Room() = 0;
    // Returns how many of the frames it took, from the first on.
    virtual std::int64_t Write(const std::int16_t* frames, std::int64_t count) = 0;
};

class SoundScheduler {
public:
    // Cached waves pass to the sound thread uncopied.
    using Sound = std::shared_ptr<const SoundSamples>;

    explicit SoundScheduler(SoundClock& clock);
    ~SoundScheduler();

    // Game thread. Play cuts off whatever is still sounding and returns at
    // once; PlayAndWait returns when its `length` is up.
    void Play(Sound samples);
    void PlayAndWait(Sound samples, std::int64_t length);
    // As PlayAndWait, returning at once: placed where the last queued or
    // blocking sound ends when that is not yet past.
    void Queue(Sound samples, std::int64_t length);

    // Sound thread: one tick. False once the sink has stopped.
    bool Feed(SoundSink& sink);
    // Sound thread, after a tick: true when nothing has been asked for for
    // SoundSleepAfterMs, nothing is waiting and the device has played the
    // last sound (or it is 5 s old). The thread may then stop ticking and
    // suspend the device until woken; the next sound is placed afresh.
    bool MaySleep();
    // Called on the game thread after every request, to wake the sound
    // thread if it sleeps.
    void SetWaker(std::function<void()> wake);
    // No device: requests are dropped from now on.
    void Close();

private:
    class Mailbox;
    class Timeline;

    SoundClock& Clock;
    std::unique_ptr<Mailbox> Requests;
    std::unique_ptr<Timeline> Plan;  // sound thread only
    std::int64_t BlockingDue = 0;    // game thread only: when the last blocking call's sound ends
    std::function<void()> Wake;      // set before the first request
};
