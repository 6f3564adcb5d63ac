#include "play_commands.h"

PlayCommands::PlayCommands(TADTetrisGame& game, GameLoop& loop, bool recording)
    : Game(game), Loop(loop), Recording(recording)
{
}

void PlayCommands::Record(ReplayEventKind kind)
{
    if (Current)
        AddReplayEvent(Current->Events, kind);
}

void PlayCommands::CheckEnded()
{
    if (!Current || Game.Running)
        return;
    Current->Result = Progress();
    Finished = std::move(Current);
    Current.reset();
}

ReplayResult PlayCommands::Progress() const
{
    ReplayResult result;
    result.Score = Game.Score;
    result.Level = Game.Level;
    result.Landings = Landings;
    result.Ticks = static_cast<std::uint64_t>(Loop.FallTicks - TicksAtStart);
    result.Stopped = StoppedByCommand;
    return result;
}

std::optional<Replay> PlayCommands::TakeReplay()
{
    std::optional<Replay> taken = std::move(Finished);
    Finished.reset();
    return taken;
}

void PlayCommands::StartGame()
{
    if (Game.Running)
        return;
    const TRandom before = Game.Random;
    Game.StartGame();
    ++GamesStarted;
    Landings = 0;
    TicksAtStart = Loop.FallTicks;
    StoppedByCommand = false;
    AutopilotLanded = false;
    Pending = false;
    if (!Recording)
        return;
    Replay replay;
    replay.Seed = before.SeedGiven();
    replay.DrawsBefore = before.Draws();
    replay.GameNumber = GamesStarted;
    replay.Rules = {Game.StartLevel, Game.MaxLevel, Game.BaseInterval, Game.IntervalStep, Game.MinInterval};
    replay.Look = Look;
    Current = std::move(replay);
    if (Autopilot)
        Record(ReplayEventKind::AutopilotOn);
}

void PlayCommands::Stop()
{
    if (!Game.Running)
        return;
    Record(ReplayEventKind::Stop);
    StoppedByCommand = true;
    Game.GameOver();
    CheckEnded();
}

void PlayCommands::HardDrop()
{
    if (!Game.Running)
        return;
    Record(ReplayEventKind::HardDrop);
    Loop.HardDrop();
}

bool PlayCommands::Move(MoveDirection direction)
{
    if (!Game.Move(direction))
        return false;
    Record(direction == MoveDirection::Left    ? ReplayEventKind::MoveLeft
           : direction == MoveDirection::Right ? ReplayEventKind::MoveRight
                                               : ReplayEventKind::MoveDown);
    return true;
}

void PlayCommands::Rotate(bool clockwise)
{
    const TFigure before = Game.Figure;
    Game.Rotate(clockwise);
    const TFigure& after = Game.Figure;
    if (after.Cells != before.Cells || after.X != before.X || after.Y != before.Y)
        Record(clockwise ? ReplayEventKind::RotateClockwise : ReplayEventKind::RotateAnticlockwise);
}

void PlayCommands::SetPaused(bool paused)
{
    const bool before = Game.Paused;
    Game.SetPaused(paused);
    if (Game.Paused != before)
        Record(Game.Paused ? ReplayEventKind::Pause : ReplayEventKind::Resume);
}

void PlayCommands::SetAutopilot(bool on)
{
    if (Autopilot == on)
        return;
    Autopilot = on;
    Record(on ? ReplayEventKind::AutopilotOn : ReplayEventKind::AutopilotOff);
}

bool PlayCommands::FallTick()
{
    // A paused game's tick does nothing at all.
    if (Game.Paused)
        return false;
    Record(ReplayEventKind::FallTick);
    const bool landed = Loop.FallTick();
    Pending = Pending || landed;
    CheckEnded();
    return landed;
}

bool PlayCommands::DropTick(bool& keyPressed)
{
    if (Game.Paused)
        return false;
    Record(keyPressed ? ReplayEventKind::DropTickAfterKeys : ReplayEventKind::DropTick);
    const bool landed = Loop.GraceTick(Game.Interval, keyPressed);
    Pending = Pending || landed;
    CheckEnded();
    return landed;
}

void PlayCommands::Started()
{
    Record(ReplayEventKind::Started);
    Loop.GameStarted();
}

void PlayCommands::Landed()
{
    Record(ReplayEventKind::Landed);
    Pending = false;
    AutopilotLanded = AutopilotLanded || Autopilot;
    ++Landings;
    Loop.Landed(false);
    if (Autopilot && Game.Running) {
        if (RunAutopilotTurn)
            RunAutopilotTurn([this] { Loop.AutopilotTurn(); });
        else
            Loop.AutopilotTurn();
    }
    CheckEnded();
}

void PlayCommands::Apply(ReplayEventKind kind)
{
    bool noKeys = false, keys = true;
    switch (kind) {
    case ReplayEventKind::FallTick: FallTick(); break;
    case ReplayEventKind::DropTick: DropTick(noKeys); break;
    case ReplayEventKind::DropTickAfterKeys: DropTick(keys); break;
    case ReplayEventKind::Started: Started(); break;
    case ReplayEventKind::Landed: Landed(); break;
    case ReplayEventKind::MoveLeft: Move(MoveDirection::Left); break;
    case ReplayEventKind::MoveRight: Move(MoveDirection::Right); break;
    case ReplayEventKind::MoveDown: Move(MoveDirection::Down); break;
    case ReplayEventKind::RotateClockwise: Rotate(true); break;
    case ReplayEventKind::RotateAnticlockwise: Rotate(false); break;
    case ReplayEventKind::HardDrop: HardDrop(); break;
    case ReplayEventKind::Pause: SetPaused(true); break;
    case ReplayEventKind::Resume: SetPaused(false); break;
    case ReplayEventKind::AutopilotOn: SetAutopilot(true); break;
    case ReplayEventKind::AutopilotOff: SetAutopilot(false); break;
    case ReplayEventKind::Stop: Stop(); break;
    }
}
