#include "game.h"

namespace {

struct Direction {
    int step;        // index step along the line
    int firstRow;    // first start row of the pass
};

// Horizontal, vertical, falling diagonal, rising diagonal; each its own pass.
constexpr Direction Passes[4] = {
    {1, 0},
    {GridStride, 0},
    {GridStride + 1, 0},
    {-GridStride + 1, 2},
};

bool InGrid(int index) { return index >= 0 && index < GridSize; }

}  // namespace

bool TADTetrisGame::MarkMatches(Grid& marks)
{
    CopyGrid(marks, Stack);
    bool found = false;
    for (const Direction& pass : Passes) {
        for (int row = pass.firstRow; row < BorderRow; ++row) {
            for (int col = 1; col < BorderCol; ++col) {
                const int start = CellIndex(row, col);
                const std::uint8_t colour = Stack[start];
                if (colour == CellEmpty || colour >= CellMarked)
                    continue;
                // Tests read Stack only, so a mark never hides a colour.
                const int second = start + pass.step, third = second + pass.step;
                if (!InGrid(third) || Stack[second] != colour || Stack[third] != colour)
                    continue;
                marks[start] = marks[second] = marks[third] = CellMarked;
                found = true;
                for (int k = 3, index = third + pass.step; k < 7 && InGrid(index) && Stack[index] == colour;
                     ++k, index += pass.step)
                    marks[index] = CellMarked;
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
