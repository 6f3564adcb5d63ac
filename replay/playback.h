#pragma once
// Playing a replay again: on a headless engine to see what it reaches
// (vantorix2-sim replay, the records server's check), or event by event on
// the window's own engine to watch it.

#include <chrono>
#include <cstdint>
#include <optional>

#include "replay/play_commands.h"
#include "replay/replay.h"

// What playing one replay may cost, so that a file made to be slow is
// refused rather than played for ever.
struct ReplayLimits {
    std::uint64_t MaxDrawsBefore = std::uint64_t(1) << 32;
    std::uint64_t MaxEvents = 50'000'000;   // after the runs are counted out
    std::optional<std::chrono::steady_clock::time_point> Deadline;
};

// The rules a replay may name: the ranges the engine can play by.
bool PlayableRules(const ReplayRules& rules);

// Steps through a replay's events on an engine that PlayCommands drives.
// The engine is seeded and its source advanced as the replay says; the
// first step starts the game.
class ReplayPlayback {
public:
    ReplayPlayback(const Replay& replay, TADTetrisGame& game, PlayCommands& commands, const ReplayLimits& limits = {});

    // Applies events up to and including the next timer tick, or to the end
    // of the events. False when nothing was left. Throws ReplayError when
    // the replay breaks a rule of the game or a limit.
    bool StepToTick();
    bool Done() const { return Run >= Events.size() && Started; }

private:
    void Begin();
    void ApplyOne(ReplayEventKind kind);

    const std::vector<ReplayEvent>& Events;
    const Replay& Source;
    TADTetrisGame& Game;
    PlayCommands& Commands;
    ReplayLimits Limits;
    std::size_t Run = 0;
    std::uint32_t DoneOfRun = 0;
    std::uint64_t Applied = 0;
    bool Started = false;
    bool SawStarted = false;
};

struct ReplayOutcome {
    ReplayResult Reached;   // the replay's name, the rest as played
    bool Ended = false;     // the game was over after the last event
    // Everything the file says of its end was reached.
    bool Matches(const Replay& replay) const { return Ended && Reached == replay.Result; }
};

// Plays the whole replay headless. Throws ReplayError as StepToTick does.
ReplayOutcome PlayReplay(const Replay& replay, const ReplayLimits& limits = {});
