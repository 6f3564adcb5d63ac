#pragma once
// Playing a replay again: on a headless engine to see what it reaches
// (vantorix2-sim replay, the records server's check), or event by event on
// the window's own engine to watch it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "replay/play_commands.h"
#include "replay/replay.h"

// What playing one replay may cost, so that a file made to be slow is
// refused rather than played for ever.
struct ReplayLimits {
    std::uint64_t MaxDrawsBefore = std::uint64_t(1) << 32;
    std::uint64_t MaxEvents = 50'000'000;   // after the runs are counted out
    std::optional<std::chrono::steady_clock::time_point> Deadline;
    // Stop as soon as the game goes past what the file says it reached (a
    // score, level, landing count or tick count only ever grows), so that
    // a file costs no more than the game it claims.
    bool HoldToClaims = false;
};

// The rules a replay may name: the ranges the engine can play by.
bool PlayableRules(const ReplayRules& rules);

// Why the events cannot reach what the file claims, found without playing
// them (landing reactions other than the landings claimed, more fall ticks
// than it says ran or too few ticks to run them, more ticks than its
// figures could take to fall); empty when they may.
std::string ImpossibleClaims(const Replay& replay);

// The landings that go into a game's identity (see ReplayOutcome::Identity).
inline constexpr std::uint32_t IdentityLandings = 16;

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

    // A landing was answered with the autopilot on: it placed a figure.
    bool AutopilotPlayed() const { return Autopilot; }
    const std::string& Identity() const { return Placed; }
    // How far it has gone: events applied, of all the replay's events.
    std::uint64_t EventsApplied() const { return Applied; }
    std::uint64_t EventsInAll() const { return Total; }

private:
    void Begin();
    void ApplyOne(ReplayEventKind kind);
    void CheckClaims() const;

    const std::vector<ReplayEvent>& Events;
    const Replay& Source;
    TADTetrisGame& Game;
    PlayCommands& Commands;
    ReplayLimits Limits;
    std::size_t Run = 0;
    std::uint32_t DoneOfRun = 0;
    std::uint64_t Applied = 0;
    std::uint64_t Total = 0;
    bool Started = false;
    bool SawStarted = false;
    bool Autopilot = false;
    std::uint32_t Landings = 0;
    std::string Placed;
};

struct ReplayOutcome {
    ReplayResult Reached;   // the replay's name, the rest as played
    bool Ended = false;     // the game was over after the last event
    // A landing was answered with the autopilot on: the autopilot played.
    bool AutopilotPlayed = false;
    // What makes the game this game and no other, whatever the file's name,
    // game number, look or way of getting there: where its random source
    // started, its rules, and the cells its first IdentityLandings figures
    // landed on with their colours. A game played on from another, or cut
    // short, is the same game.
    std::string Identity;
    // Everything the file says of its end was reached.
    bool Matches(const Replay& replay) const { return Ended && Reached == replay.Result; }
};

// Plays the whole replay headless. Throws ReplayError as StepToTick does.
ReplayOutcome PlayReplay(const Replay& replay, const ReplayLimits& limits = {});

// Each claim of the file that the game did not reach ("score 15, not 12"),
// joined by ", "; empty when it matches.
std::string MissedClaims(const Replay& replay, const ReplayOutcome& outcome);
