#include "game.h"

namespace {

// The first row holding a cell of the playing area; rows above it cannot
// start a line.
int TopRow(const Grid& grid)
{
    int row = 0;
    while (row < BorderRow && RowEmpty(grid, row))
        ++row;
    return row;
}

}  // namespace

bool TADTetrisGame::MarkMatches(Grid& marks)
{
    CopyGrid(marks, Stack);
    bool found = false;
    // Every test reads Stack and marks go to marks only, so the order of the
    // four directions does not matter: one sweep checks all four per cell.
    for (int row = TopRow(Stack); row < BorderRow; ++row) {
        for (int col = 1; col < BorderCol; ++col) {
            const int start = CellIndex(row, col);
            if (!IsColour(Stack[start]))
                continue;   // empty cells, marks and the border start nothing
            for (const int step : LineSteps) {
                if (step == StepUpRight && row < 2)
                    continue;   // a rising line needs two rows above its start
                if (!StartsLine(Stack, start, step))
                    continue;
                // A longer run needs no walk to its end: its later cells
                // start triples of their own, and every cell is scanned.
                marks[start] = marks[start + step] = marks[start + 2 * step] = CellMarked;
                found = true;
            }
        }
    }
    CopyGrid(Stack, marks);
    return found;
}

bool TADTetrisGame::RemoveMarkedCell(Grid& grid)
{
    for (int row = 0; row < BorderRow; ++row) {
        for (int col = 1; col < BorderCol; ++col) {
            if (grid[CellIndex(row, col)] != CellMarked)
                continue;
            // The unbroken run above the removed cell sinks by one row; row 0
            // is always empty, so the run ends there at the latest.
            int r = row;
            while (r > 0 && grid[CellIndex(r - 1, col)] != CellEmpty) {
                grid[CellIndex(r, col)] = grid[CellIndex(r - 1, col)];
                --r;
            }
            grid[CellIndex(r, col)] = CellEmpty;
            return true;
        }
    }
    return false;
}

CascadeResult TADTetrisGame::RunLandingCascade()
{
    CascadeResult result;
    GameHost& host = *WindowHandle;
    while (MarkMatches(Display)) {
        host.DrawWell();
        ++result.chains;
        while (RemoveMarkedCell(Stack)) {
            ++result.removed;
            if (SoundOn) {
                host.My_Sound();
                host.Delay(15);
            } else {
                host.Delay(20);
            }
            ClearFigureCells();
            ComposeDisplay(Display, false);
            host.DrawWell();
            result.points += Level * result.removed * 3;
            host.ShowScore(AddSaturated(Score, result.points), true);
        }
    }
    if (result.chains > 1 || result.removed > 5) {
        result.bonus = Level * result.chains * 1000;
        host.Bonus(result.bonus);
        result.points += result.bonus;
        host.ShowScore(AddSaturated(Score, result.points), false);
    }
    return result;
}

void TADTetrisGame::ResolveLanding()
{
    WindowHandle->SetFallTimerEnabled(false);
    const CascadeResult result = RunLandingCascade();
    if (result.points != 0)
        SetScore(AddSaturated(Score, result.points));
    SpawnNext();
    WindowHandle->SetFallTimerEnabled(true);
}

void TADTetrisGame::PlayRecordSound()
{
    if (!SoundOn)
        return;
    GameHost& host = *WindowHandle;
    if (host.SoundGoesToSpeaker()) {
        for (int i = 0; i <= 20; ++i)
            host.Beep(1500 + 120 * i, 2);
        for (int i = 0; i <= 10; ++i)
            host.Beep(1500 - 150 * i, 2);
    } else {
        host.PlayRecordWave();
    }
}
