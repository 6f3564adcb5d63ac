#include "sound_scheduler.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t Nanoseconds(int milliseconds)
{
    return std::int64_t(milliseconds) * 1000000;
}

// How far ahead of the write head a sound asked for now is placed: covers
// the tick, so a request is never already behind what has been handed over.
constexpr std::int64_t MinLead = SoundFrames(6);
// More lead than this is pulled back in a quiet moment (the device ran slow
// or stalled), so the delay of a sound stays small.
constexpr std::int64_t LeadBand = SoundFrames(10);
constexpr std::int64_t MaxLead = SoundFrames(200);
constexpr std::int64_t Backlog = SoundFrames(1000);
// A blocking call returns when its time is up and the caller asks for the
// next sound at once; later than this it is a new sound, not a sequel. Below
// the 10 ms the game waits between the beeps of a cascade.
constexpr std::int64_t ChainSlackNs = Nanoseconds(8);
constexpr std::int64_t QuietNs = Nanoseconds(250);
// A request the sound thread has not taken this long after it was asked for
// is dropped: a game's sound belongs to its moment, heard later it only
// misleads, and the game asks again at its next event. So a sound thread
// that takes nothing (a sound server that never answers) holds seconds of
// requests, not hours of them, and the first one it takes does not place
// the rest hours ahead. Long enough for a sound server that is slow to
// start to play the game's first sound.
constexpr std::int64_t StaleNs = Nanoseconds(5000);
// While waiting for a sequel the device is not topped up, down to this.
constexpr std::int64_t HoldFloor = SoundFrames(20);
// What the sound server may still hold of a sound once the stream's buffer
// has let it go: a stream suspended sooner keeps the rest for its next wake.
constexpr std::int64_t DrainMargin = SoundFrames(SoundBufferMs);

std::int64_t FramesIn(std::int64_t nanoseconds)
{
    return nanoseconds * SoundRate / 1000000000;
}

struct SoundRequest {
    SoundScheduler::Sound samples;
    std::int64_t askedAt;  // when the caller asked, or when the sound it continues ended
    bool blocking;
};

}  // namespace

// Requests from the game thread to the sound thread.
class SoundScheduler::Mailbox {
public:
    void Post(SoundRequest request)
    {
        std::lock_guard lock(Mutex);
        if (Closed)
            return;
        DropAskedBefore(request.askedAt - StaleNs);
        Requests.push_back(std::move(request));
    }
    std::deque<SoundRequest> Take(std::int64_t now)
    {
        std::lock_guard lock(Mutex);
        DropAskedBefore(now - StaleNs);
        return std::exchange(Requests, {});
    }
    void Close()
    {
        std::lock_guard lock(Mutex);
        Closed = true;
        Requests.clear();
    }
    bool Empty()
    {
        std::lock_guard lock(Mutex);
        return Requests.empty();
    }

private:
    void DropAskedBefore(std::int64_t time)
    {
        while (!Requests.empty() && Requests.front().askedAt < time)
            Requests.pop_front();
    }

    std::mutex Mutex;
    std::deque<SoundRequest> Requests;  // in the order asked
    bool Closed = false;
};

// The output from the write head on: what is scheduled but not yet handed
// to the device. One voice: a new sound cuts off what is scheduled from its
// start on, except a blocking sound, which its caller has waited for.
class SoundScheduler::Timeline {
public:
    // The device is kept full, so a sound is heard a buffer after its lead.
    // One that sat idle or has just opened is topped up with silence first,
    // so its first sound comes as late as any other, not later: less the
    // time since the asking that opening or waking took.
    void Place(const SoundRequest& request, std::int64_t now, std::int64_t freeBuffer)
    {
        const std::int64_t length = std::int64_t(request.samples->size());
        if (!Anchored)
            SetLead(request.askedAt, MinLead + std::max<std::int64_t>(freeBuffer - FramesIn(now - request.askedAt), 0));
        std::int64_t start = std::llround(FrameAt(request.askedAt));
        if (request.blocking && LastBlocking && request.askedAt <= LastDueAt + ChainSlackNs)
            start = LastEnd;
        start = std::max({start, KeepUntil, Head});
        // A device that takes nothing must not make the queue grow without end.
        if (start - Head > Backlog)
            start = std::max<std::int64_t>(Head, std::llround(FrameAt(request.askedAt)));
        Ahead.resize(std::size_t(start - Head), 0);
        Ahead.insert(Ahead.end(), request.samples->cbegin(), request.samples->cend());
        LastBlocking = request.blocking;
        LastDueAt = request.askedAt + SoundNanoseconds(length);
        LastAskedAt = request.askedAt;
        LastEnd = start + length;
        if (request.blocking)
            KeepUntil = LastEnd;
    }

    // The next frames for the device: at most room; buffered is what it
    // still holds. They stay on the line until Advance.
    std::vector<std::int16_t> Serve(std::int64_t now, std::int64_t room, std::int64_t buffered)
    {
        if (!Anchored || FrameAt(now) - double(Head) > double(MaxLead))
            SetLead(now, MinLead);
        std::int64_t count = room;
        if (LastBlocking && now <= LastDueAt + ChainSlackNs && LastEnd >= Head) {
            // The sequel is due any moment: hand over no silence after this
            // sound but what keeps the device from running dry.
            count = std::min(room, std::max(LastEnd - Head, HoldFloor - buffered));
        }
        std::vector<std::int16_t> out(std::size_t(std::max<std::int64_t>(count, 0)), 0);
        std::copy_n(Ahead.begin(), std::min(out.size(), Ahead.size()), out.begin());
        return out;
    }

    // The device took the first `taken` frames served and now holds `holds`.
    void Advance(std::int64_t now, std::int64_t taken, std::int64_t holds)
    {
        Ahead.erase(Ahead.begin(), Ahead.begin() + std::ptrdiff_t(std::min(std::size_t(taken), Ahead.size())));
        Head += taken;
        Played = std::max(Played, Head - holds);
        if (taken > 0) {
            const double lead = FrameAt(now) - double(Head);
            const bool quiet = Head >= LastEnd && now - LastAskedAt > QuietNs;
            if (lead < double(MinLead) || (quiet && lead > double(MinLead + LeadBand)))
                SetLead(now, MinLead);
        }
    }

    // Nothing was asked for for a while, and the last sound has gone to the
    // device and been played, or is stale: a device that plays nothing does
    // not keep the thread awake for good.
    bool Quiet(std::int64_t now) const
    {
        const std::int64_t since = now - LastAskedAt;
        return since > Nanoseconds(SoundSleepAfterMs) &&
               (since > StaleNs || (Head >= LastEnd && Played >= LastEnd + DrainMargin));
    }
    // The device stops meanwhile: what it was not given is stale by then,
    // and the line starts again with the next sound.
    void Unanchor()
    {
        Anchored = false;
        Ahead.clear();
        KeepUntil = std::min(KeepUntil, Head);
    }

private:
    double FrameAt(std::int64_t time) const
    {
        return LineFrame + double(time - LineTime) * SoundRate / 1e9;
    }
    void SetLead(std::int64_t now, std::int64_t lead)
    {
        Anchored = true;
        LineTime = now;
        LineFrame = double(Head + lead);
    }

    std::int64_t Head = 0;           // frames handed to the device so far
    std::int64_t Played = 0;         // of them, what it has let go of
    std::vector<std::int16_t> Ahead;  // frames from Head on; zeros are silence
    // The frame where a sound asked for at LineTime starts; the line runs
    // on at the sample rate.
    bool Anchored = false;
    std::int64_t LineTime = 0;
    double LineFrame = 0;
    bool LastBlocking = false;
    std::int64_t LastAskedAt = 0;
    std::int64_t LastDueAt = 0;  // when the last sound's caller is done with it
    std::int64_t LastEnd = 0;
    std::int64_t KeepUntil = 0;
};

SoundScheduler::SoundScheduler(SoundClock& clock)
    : Clock(clock), Requests(std::make_unique<Mailbox>()), Plan(std::make_unique<Timeline>())
{
}

SoundScheduler::~SoundScheduler() = default;

void SoundScheduler::SetWaker(std::function<void()> wake)
{
    Wake = std::move(wake);
}

void SoundScheduler::Play(Sound samples)
{
    BlockingDue = 0;
    Requests->Post({std::move(samples), Clock.Now(), false});
    if (Wake)
        Wake();
}

// A call that follows a blocking one at once continues it: it starts when
// the previous one ended, not when the caller, a little late from its
// sleep, got round to it. So a run of short beeps keeps in step with the
// clock instead of falling behind by each sleep's overshoot.
void SoundScheduler::PlayAndWait(Sound samples, std::int64_t length)
{
    const std::int64_t now = Clock.Now();
    const std::int64_t start = now <= BlockingDue + ChainSlackNs ? std::min(BlockingDue, now) : now;
    BlockingDue = start + length;
    Requests->Post({std::move(samples), start, true});
    if (Wake)
        Wake();
    const std::int64_t left = BlockingDue - Clock.Now();
    if (left > 0)
        Clock.Sleep(left);
}

void SoundScheduler::Queue(Sound samples, std::int64_t length)
{
    const std::int64_t now = Clock.Now();
    const std::int64_t start = now <= BlockingDue + ChainSlackNs ? BlockingDue : now;
    BlockingDue = start + length;
    Requests->Post({std::move(samples), start, true});
    if (Wake)
        Wake();
}

bool SoundScheduler::Feed(SoundSink& sink)
{
    const std::int64_t now = Clock.Now();
    if (sink.Stopped())
        return false;
    // A new stream may report far more free than its buffer: more than that
    // would only delay every sound.
    const std::int64_t capacity = sink.Capacity(), room = std::min(sink.Room(), capacity);
    for (const SoundRequest& request : Requests->Take(now))
        Plan->Place(request, now, room);
    const std::int64_t buffered = std::max<std::int64_t>(capacity - room, 0);
    const std::vector<std::int16_t> block = Plan->Serve(now, room, buffered);
    const std::int64_t taken =
        block.empty() ? 0 : std::clamp<std::int64_t>(sink.Write(block.data(), std::ssize(block)), 0, std::ssize(block));
    Plan->Advance(now, taken, buffered + taken);
    return true;
}

bool SoundScheduler::MaySleep()
{
    if (!Requests->Empty() || !Plan->Quiet(Clock.Now()))
        return false;
    Plan->Unanchor();
    return true;
}

void SoundScheduler::Close()
{
    Requests->Close();
}
