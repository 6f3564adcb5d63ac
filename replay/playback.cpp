#include "playback.h"

#include "engine/headless_host.h"

#include <algorithm>

namespace {

bool IsTick(ReplayEventKind kind)
{
    return kind == ReplayEventKind::FallTick || kind == ReplayEventKind::DropTick ||
           kind == ReplayEventKind::DropTickAfterKeys;
}

// How often the clock is read while playing.
constexpr std::uint64_t EventsPerClockCheck = 4096;

}  // namespace

bool PlayableRules(const ReplayRules& rules)
{
    constexpr std::int32_t LongestInterval = 60000;
    return rules.StartLevel <= rules.MaxLevel && rules.BaseInterval >= 1 && rules.BaseInterval <= LongestInterval &&
           rules.IntervalStep >= 0 && rules.IntervalStep <= LongestInterval && rules.MinInterval >= 1 &&
           rules.MinInterval <= LongestInterval;
}

ReplayPlayback::ReplayPlayback(const Replay& replay, TADTetrisGame& game, PlayCommands& commands,
                               const ReplayLimits& limits)
    : Events(replay.Events), Source(replay), Game(game), Commands(commands), Limits(limits)
{
}

void ReplayPlayback::Begin()
{
    Started = true;
    if (!PlayableRules(Source.Rules))
        throw ReplayError("the replay's rules are out of the game's range");
    if (Source.DrawsBefore > Limits.MaxDrawsBefore)
        throw ReplayError("the replay starts too far into its random source (" + std::to_string(Source.DrawsBefore) +
                          " draws)");
    Game.StartLevel = Source.Rules.StartLevel;
    Game.MaxLevel = Source.Rules.MaxLevel;
    Game.BaseInterval = Source.Rules.BaseInterval;
    Game.IntervalStep = Source.Rules.IntervalStep;
    Game.MinInterval = Source.Rules.MinInterval;
    Game.Random.Seed(Source.Seed);
    // In slices, so that the time limit holds here too.
    constexpr std::uint64_t Slice = std::uint64_t(1) << 20;
    for (std::uint64_t left = Source.DrawsBefore; left > 0;) {
        const std::uint64_t now = std::min(left, Slice);
        Game.Random.Skip(now);
        left -= now;
        if (Limits.Deadline && std::chrono::steady_clock::now() > *Limits.Deadline)
            throw ReplayError("the replay takes too long to play");
    }
    Commands.Look = Source.Look;
    Commands.StartGame();
}

void ReplayPlayback::ApplyOne(ReplayEventKind kind)
{
    if (!Game.Running)
        throw ReplayError("the replay goes on after its game has ended");
    if (kind == ReplayEventKind::Landed && !Commands.LandingPending())
        throw ReplayError("the replay has a landing where no figure landed");
    if (kind == ReplayEventKind::Started) {
        if (SawStarted)
            throw ReplayError("the replay starts its game twice");
        SawStarted = true;
    }
    if (++Applied > Limits.MaxEvents)
        throw ReplayError("the replay has more than " + std::to_string(Limits.MaxEvents) + " events");
    if (Limits.Deadline && Applied % EventsPerClockCheck == 1 && std::chrono::steady_clock::now() > *Limits.Deadline)
        throw ReplayError("the replay takes too long to play");
    Commands.Apply(kind);
}

bool ReplayPlayback::StepToTick()
{
    if (!Started) {
        Begin();
        if (Events.empty())
            return true;
    }
    if (Run >= Events.size())
        return false;
    while (Run < Events.size()) {
        const ReplayEvent& event = Events[Run];
        if (static_cast<int>(event.Kind) >= ReplayEventKinds)
            throw ReplayError("the replay has an event of an unknown kind");
        ApplyOne(event.Kind);
        if (++DoneOfRun >= event.Count) {
            ++Run;
            DoneOfRun = 0;
        }
        if (IsTick(event.Kind))
            return true;
    }
    return true;
}

ReplayOutcome PlayReplay(const Replay& replay, const ReplayLimits& limits)
{
    HeadlessGame headless;
    PlayCommands commands(headless.game, headless.loop, false);
    ReplayPlayback playback(replay, headless.game, commands, limits);
    while (playback.StepToTick()) {
    }
    ReplayOutcome outcome;
    outcome.Reached = commands.Progress();
    outcome.Reached.Name = replay.Result.Name;
    outcome.Ended = !headless.game.Running;
    return outcome;
}
