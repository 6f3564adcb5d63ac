#pragma once
// Everything that changes a game passes here: the player's and the
// autopilot's commands, the ticks of the two timers and the reactions to
// the game's notices. The game session (for every front end) and the
// replayer drive the engine and its loop through it, so a game is recorded
// where it is played and replayed by the same code. A command that changes nothing
// (a move into a wall, a tick of a paused game) is not recorded.

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/game.h"
#include "engine/game_loop.h"
#include "replay/replay.h"

class PlayCommands {
public:
    // Recording: every game started here is recorded, and its replay can be
    // taken once it has ended.
    PlayCommands(TADTetrisGame& game, GameLoop& loop, bool recording = true);

    // How the next game looks and sounds when watched (the player's options).
    ReplayLook Look;
    // Runs the autopilot's move after a landing; a tool that times the
    // autopilot wraps it here.
    std::function<void(const std::function<void()>& turn)> RunAutopilotTurn;

    // Commands.
    void StartGame();
    // Enter during a game, or the autopilot switched off: the game ends.
    void Stop();
    void HardDrop();
    bool Move(MoveDirection direction);
    void Rotate(bool clockwise);
    void SetPaused(bool paused);
    void SetAutopilot(bool on);
    bool AutopilotOn() const { return Autopilot; }
    // A landing of the game in hand (or the last one) was answered with the
    // autopilot on: the game is the autopilot's, whoever ends it.
    bool AutopilotPlayed() const { return AutopilotLanded; }

    // The timers' ticks. A drop tick is told whether a command key was
    // pressed since the last one (it clears the flag).
    bool FallTick();
    bool DropTick(bool& keyPressed);

    // The reactions to the game-started notice and to a landing.
    void Started();
    void Landed();
    // A landing waits for its reaction.
    bool LandingPending() const { return Pending; }

    // One recorded event (the replayer, and watching in the session).
    void Apply(ReplayEventKind kind);

    // The game since its start, as a replay's result says it (no name).
    ReplayResult Progress() const;

    // The game being recorded, or nothing between games.
    const Replay* Recorded() const { return Current ? &*Current : nullptr; }
    // The replay of the game that ended last; taken once.
    std::optional<Replay> TakeReplay();

private:
    void Record(ReplayEventKind kind);
    // After each command: a game that has ended closes its replay.
    void CheckEnded();

    TADTetrisGame& Game;
    GameLoop& Loop;
    bool Recording;
    bool Autopilot = false;
    bool AutopilotLanded = false;
    bool Pending = false;
    std::uint32_t GamesStarted = 0;
    std::uint32_t Landings = 0;
    std::int64_t TicksAtStart = 0;
    bool StoppedByCommand = false;
    std::optional<Replay> Current;
    std::optional<Replay> Finished;
};
