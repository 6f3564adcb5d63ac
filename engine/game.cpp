#include "game.h"

#include <algorithm>
#include <limits>

std::int32_t AddSaturated(std::int32_t a, std::int64_t b)
{
    const std::int64_t sum = std::int64_t(a) + b;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

TADTetrisGame::TADTetrisGame(GameHost& host) : WindowHandle(&host)
{
    InitWell(EmptyWell);
    InitWell(Display);
    InitWell(Stack);
}

void TADTetrisGame::ClearGrid(Grid& grid)
{
    grid.fill(CellEmpty);
}

void TADTetrisGame::InitWell(Grid& grid) const
{
    ClearGrid(grid);
    for (int row = 0; row <= BorderRow; ++row) {
        grid[CellIndex(row, 0)] = CellBorder;
        grid[CellIndex(row, BorderCol)] = CellBorder;
    }
    for (int col = 0; col <= BorderCol; ++col)
        grid[CellIndex(BorderRow, col)] = CellBorder;
}

bool TADTetrisGame::TryMoveTo(const Grid& grid, int x, int y)
{
    if (!TFigure::Fits(grid, x, y, Figure.Cells))
        return false;
    Figure.X = static_cast<std::uint8_t>(x);
    Figure.Y = static_cast<std::uint8_t>(y);
    return true;
}

bool TADTetrisGame::Move(MoveDirection direction)
{
    if (!CanAct())
        return false;
    switch (direction) {
    case MoveDirection::Left:
        if (Figure.X == 0)
            return false;
        return TryMoveTo(Stack, Figure.X - 1, Figure.Y);
    case MoveDirection::Right:
        return TryMoveTo(Stack, Figure.X + 1, Figure.Y);
    case MoveDirection::Down:
        return TryMoveTo(Stack, Figure.X, Figure.Y + 1);
    default:   // a value cast from outside the three
        return false;
    }
}

void TADTetrisGame::Rotate(bool clockwise)
{
    if (CanAct())
        Figure.Rotate(Stack, clockwise);
}

void TADTetrisGame::Drop(const Grid& grid)
{
    if (!CanAct())
        return;
    // The row bound only matters for a figure without cells, which would
    // otherwise fit everywhere and never stop.
    while (Figure.Y < BorderRow && TFigure::Fits(grid, Figure.X, Figure.Y + 1, Figure.Cells))
        ++Figure.Y;   // the move that was just tested
}

void TADTetrisGame::ComposeDisplay(Grid& destination, bool withFigure)
{
    CopyGrid(destination, Stack);
    if (withFigure)
        Figure.StampInto(destination);
}

void TADTetrisGame::ClearFigureCells()
{
    Figure.Cells.fill(0);
}

void TADTetrisGame::StartGame()
{
    InitWell(Stack);
    InitWell(Display);
    Figure.Generate(Random, StartCol, StartRow);
    SetLevel(StartLevel);
    SetScore(0);
    SetPaused(false);   // no effect: not running yet
    ComposeDisplay(Display, true);
    SetRunning(true);
    NextFigure.Generate(Random, StartCol, StartRow);
    SetInterval(BaseInterval - Level * IntervalStep);
    Post(NotifyGameStarted);
}

bool TADTetrisGame::StepDown()
{
    if (!CanAct())
        return false;
    if (TryMoveTo(Stack, Figure.X, Figure.Y + 1))
        return false;
    Post(NotifyLanded);
    Figure.StampInto(Stack);
    return true;
}

void TADTetrisGame::SpawnNext()
{
    if (!CanAct())
        return;
    SetInterval(BaseInterval - Level * IntervalStep);
    if (Interval <= 0)
        SetInterval(MinInterval);
    Figure.Assign(NextFigure);
    NextFigure.Generate(Random, StartCol, StartRow);
    if (!TFigure::Fits(Stack, Figure.X, Figure.Y, Figure.Cells))
        GameOver();
}

void TADTetrisGame::GameOver()
{
    SetRunning(false);
    Post(NotifyGameOver);
}

void TADTetrisGame::SetPaused(bool flag)
{
    if (Running && Enabled)
        Paused = flag;
}

void TADTetrisGame::SetLevel(int level)
{
    Level = static_cast<std::uint8_t>(std::clamp(level, 0, int(MaxLevel)));
    Post(NotifyLevelSet);
}

void TADTetrisGame::SetInterval(std::int32_t milliseconds)
{
    if (milliseconds == Interval)
        return;
    Interval = milliseconds;
    Post(NotifyIntervalChanged);
}

void TADTetrisGame::SetScore(std::int32_t score)
{
    Score = score;
    Post(NotifyScoreSet);
}
