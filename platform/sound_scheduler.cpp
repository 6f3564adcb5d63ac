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
    // A device that sat idle takes a whole buffer of silence first: the
    // first sound is placed behind it, as every other one is.
    void Place(const SoundRequest& request, std::int64_t deviceRoom)
    {
        const std::int64_t length = std::int64_t(request.samples->size());
        if (!Anchored)
            SetLead(request.askedAt, MinLead + deviceRoom);
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
    // still holds.
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
        const std::size_t taken = std::min(out.size(), Ahead.size());
        std::copy_n(Ahead.begin(), taken, out.begin());
        Ahead.erase(Ahead.begin(), Ahead.begin() + std::ptrdiff_t(taken));
        Head += std::int64_t(out.size());
        if (!out.empty()) {
            const double lead = FrameAt(now) - double(Head);
            const bool quiet = Head >= LastEnd && now - LastAskedAt > QuietNs;
            if (lead < double(MinLead) || (quiet && lead > double(MinLead + LeadBand)))
                SetLead(now, MinLead);
        }
        return out;
    }

    // Everything placed has gone to the device, and nothing was asked for
    // for a while.
    bool Quiet(std::int64_t now) const { return Head >= LastEnd && now - LastAskedAt > Nanoseconds(SoundSleepAfterMs); }
    // The device stops meanwhile: the line starts again with the next sound.
    void Unanchor() { Anchored = false; }

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

bool SoundScheduler::Feed(SoundSink& sink)
{
    const std::int64_t now = Clock.Now();
    if (sink.Stopped())
        return false;
    const std::int64_t room = sink.Room();
    for (const SoundRequest& request : Requests->Take(now))
        Plan->Place(request, room);
    const std::int64_t buffered = std::max<std::int64_t>(sink.Capacity() - room, 0);
    const std::vector<std::int16_t> block = Plan->Serve(now, room, buffered);
    if (!block.empty())
        sink.Write(block.data(), std::int64_t(block.size()));
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
