#pragma once
// The game's time and sequence, between the engine and whoever drives it:
// the fall tick with the level clock, the landing reaction (cascade, next
// figure, autopilot), the hard drop and its grace. It owns no clock; the
// caller gives it the ticks of its two timers; the game session (the one
// sequencer of ticks, notices and keys) calls it for every front end.

#include <cstdint>

#include "game.h"

class GameLoop {
public:
    // The level rises every this many counted fall ticks.
    static constexpr int TicksPerLevel = 56;
    // Period of the drop timer that measures the grace after a hard drop.
    static constexpr int DropTimerMilliseconds = 20;

    // The game reaches its host through its WindowHandle.
    explicit GameLoop(TADTetrisGame& game) : Game(game) {}

    // Growth value of the grace after a hard drop; 1 when a drop starts.
    int DropGrace = 1;
    // Fall ticks counted since the last level rise.
    int TicksInLevel = 0;
    // Every fall tick that ran, for the tools' statistics.
    std::int64_t FallTicks = 0;
    // Whether the drop timer runs (and the fall timer waits for it).
    bool DropTimerOn = false;

    // A tick of the fall timer: one step down, the redraw, the level clock.
    // True when the figure landed; its reaction is Landed.
    bool FallTick();
    // The level clock, after every fall tick.
    void SecsInLevel();
    // What a landing sets off: the sound, the cascade ending with the next
    // figure, a short wait, and with the autopilot on its move.
    void Landed(bool autopilot);
    // The autopilot's move of the new figure, shown at once.
    void AutopilotTurn();

    // Space: the figure to the bottom of its fall. It lands only when the
    // grace is over, so it can still be slid under an overhang.
    void HardDrop();
    // A tick of the drop timer. keyPressed says a command key was handled
    // since the last tick; a tick that counts clears it. True when the grace
    // ended with a fall tick that landed the figure.
    bool GraceTick(std::int32_t fallInterval, bool& keyPressed);

    // The reactions to a game starting and ending, as far as the
    // timers are concerned.
    void GameStarted();
    void GameEnded();

private:
    GameHost& Host() const { return *Game.WindowHandle; }

    TADTetrisGame& Game;
};
