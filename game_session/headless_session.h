#pragma once
// A game session without a screen, on a virtual clock that jumps to what is
// due next: the tools, the tests and the benchmarks drive the game through
// it exactly as the window does, with no files unless they ask for them.

#include <utility>

#include "game_session/game_session.h"

// No files, no sound: the options the tools have always played with.
inline SessionSetup QuietSetup(std::uint32_t seed = 1, bool recording = true)
{
    SessionSetup setup;
    setup.Seed = seed;
    setup.Recording = recording;
    setup.Options.SoundOn = false;
    setup.Options.PCSpeaker = false;
    return setup;
}

class HeadlessSession : public SessionFrontEnd {
public:
    explicit HeadlessSession(const SessionSetup& setup = QuietSetup()) : Session(*this, setup) {}
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    void WakeLater() override { Wake = true; }
    void StartTimer(SessionTimer timer, int) override
    {
        if (timer == SessionTimer::Wait)
            WaitDue = true;
    }

    // What the event loop does: the posted notices and keys, in turn.
    void Settle()
    {
        while (std::exchange(Wake, false))
            Session.Deliver();
    }

    // One jump of the clock: the wait in progress ends, or else whichever
    // timer runs ticks; then what was posted. True when a landing was answered.
    bool Tick()
    {
        const std::uint32_t before = Session.Play().Progress().Landings;
        if (std::exchange(WaitDue, false))
            Session.TimerFired(SessionTimer::Wait);
        else
            Session.TimerFired(Session.TimerRuns(SessionTimer::Drop) ? SessionTimer::Drop : SessionTimer::Fall);
        Settle();
        return Session.Play().Progress().Landings != before;
    }

    // A key as the player presses it, and what it posted.
    void Press(int virtualKey)
    {
        Session.Key(virtualKey);
        Settle();
    }

    GameSession Session;

private:
    bool Wake = false;
    bool WaitDue = false;
};
