#include "game_loop.h"

#include <cmath>

bool GameLoop::FallTick()
{
    if (Game.Paused)
        return false;
    ++FallTicks;
    const bool landed = Game.StepDown();
    Game.ComposeDisplay(Game.Display, true);
    Host().DrawWell();
    SecsInLevel();
    return landed;
}

void GameLoop::SecsInLevel()
{
    if (Game.Paused)
        return;
    ++TicksInLevel;
    if (TicksInLevel < TicksPerLevel || !Game.Running)
        return;
    // At the top level the count goes on.
    if (Game.Level < Game.MaxLevel) {
        Game.SetLevel(Game.Level + 1);
        TicksInLevel = 0;
    }
}

void GameLoop::Landed(bool autopilot)
{
    if (Game.SoundOn)
        Host().My_Sound();
    Game.ResolveLanding();
    Game.ComposeDisplay(Game.Display, true);
    Host().DrawWell();
    Host().Delay(100);
    if (autopilot)
        AutopilotTurn();
}

void GameLoop::AutopilotTurn()
{
    // The placed figure lies at the bottom of its fall: the next fall tick lands it.
    Game.AutopilotStep();
    Game.ComposeDisplay(Game.Display, true);
    Host().DrawWell();
}

void GameLoop::HardDrop()
{
    if (!Game.Running)
        return;
    Host().SetFallTimerEnabled(false);
    Host().SetDropTimerEnabled(true);
    DropTimerOn = true;
    DropGrace = 1;
    Game.Drop(Game.Stack);
}

bool GameLoop::GraceTick(std::int32_t fallInterval, bool& keyPressed)
{
    if (Game.Paused)
        return false;
    // Keys pressed during the grace shrink it; otherwise it grows until it
    // passes the fall interval.
    DropGrace = static_cast<int>(std::lround(DropGrace * (keyPressed ? 0.6 : 1.8)));
    bool landed = false;
    if (fallInterval < DropGrace) {
        landed = FallTick();
        Host().SetFallTimerEnabled(true);
        Host().SetDropTimerEnabled(false);
        DropTimerOn = false;
        DropGrace = 1;
    }
    keyPressed = false;
    return landed;
}

void GameLoop::GameStarted()
{
    Host().SetFallTimerEnabled(true);
    Host().SetDropTimerEnabled(false);
    DropTimerOn = false;
    TicksInLevel = 0;
}

void GameLoop::GameEnded()
{
    Host().SetFallTimerEnabled(false);
    Host().SetDropTimerEnabled(false);
    DropTimerOn = false;
}
