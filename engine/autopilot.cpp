#include "game.h"

namespace {

constexpr int None = 500;   // no column or turn count accepted yet

// A grid cell, or empty when the place lies outside the grid.
std::uint8_t CellAt(const Grid& grid, int row, int col)
{
    const int index = CellIndex(row, col);
    return index >= 0 && index < GridSize ? grid[index] : std::uint8_t(CellEmpty);
}

bool RowEmpty(const Grid& grid, int row)
{
    for (int col = 1; col < BorderCol; ++col)
        if (grid[CellIndex(row, col)] != CellEmpty)
            return false;
    return true;
}

}  // namespace

AutopilotResult TADTetrisGame::AutopilotStep()
{
    if (PlaceToBuild())
        return {AutopilotStrategy::PlaceToBuild, 0};
    if (PlaceToScore())
        return {AutopilotStrategy::PlaceToScore, 0};
    for (std::uint8_t t = 1; t <= 10; ++t)
        if (PlaceLow(t))
            return {AutopilotStrategy::PlaceLow, t};
    return {};
}

bool TADTetrisGame::PlaceToBuild()
{
    if (CountHoles(Stack) > 0)
        return false;
    return Search(AutopilotStrategy::PlaceToBuild, 0);
}

bool TADTetrisGame::PlaceToScore()
{
    return Search(AutopilotStrategy::PlaceToScore, 0);
}

bool TADTetrisGame::PlaceLow(std::uint8_t tolerance)
{
    return Search(AutopilotStrategy::PlaceLow, tolerance);
}

bool TADTetrisGame::Search(AutopilotStrategy strategy, std::uint8_t tolerance)
{
    const int x0 = Figure.X, y0 = Figure.Y;
    int bestColumn = None, bestTurns = None;
    std::int32_t bestScore = 0;
    int left = x0, right = x0;
    CopyGrid(SavedStack, Stack);
    const int holesBefore = CountHoles(SavedStack);

    for (int turns = 0; turns < 4; ++turns) {
        // The ends move only on successful moves; an orientation that cannot
        // move at all keeps the previous orientation's ends.
        while (Move(0))
            left = Figure.X;
        while (Move(1))
            right = Figure.X;

        int threshold = 0;
        if (strategy == AutopilotStrategy::PlaceToBuild)
            threshold = ColumnDepth(SavedStack, false);
        else if (strategy == AutopilotStrategy::PlaceLow)
            threshold = ColumnDepth(Stack, true);

        for (int x = left; x <= right; ++x) {
            Figure.X = static_cast<std::uint8_t>(x);
            Drop(Stack);
            ComposeDisplay(Stack, true);
            const std::int32_t score = TrialCascadeScore();

            const int landing = Figure.Y + Figure.Height;   // L
            const int probeRow = landing - 1, probeCol = Figure.X + 1;   // P
            bool accept = false;
            switch (strategy) {
            case AutopilotStrategy::PlaceToBuild:
                if (score > Level * 1620) {
                    Figure.X = static_cast<std::uint8_t>(x0);
                    Figure.Y = static_cast<std::uint8_t>(y0);
                    CopyGrid(Stack, SavedStack);
                    return false;
                }
                accept = score <= bestScore && CountHoles(Stack) == 0 &&
                         !NearMatch(SavedStack, probeCol, probeRow) && landing >= threshold &&
                         CountEvenSteps(Stack) > 0 && RowEmpty(Stack, 9);
                if (accept) {
                    bestScore = score;
                    threshold = landing;
                }
                break;
            case AutopilotStrategy::PlaceToScore: {
                const int holes = CountHoles(Stack);
                accept = (score > bestScore && holes <= holesBefore && CountEvenSteps(Stack) > 0) ||
                         holes < holesBefore;
                if (accept)
                    bestScore = score;
                break;
            }
            case AutopilotStrategy::PlaceLow:
                accept = CountHoles(Stack) <= holesBefore && landing + tolerance >= threshold &&
                         CountEvenSteps(Stack) > 0 &&
                         (tolerance > 9 || !NearMatch(SavedStack, probeCol, probeRow));
                if (accept)
                    threshold = landing;
                break;
            case AutopilotStrategy::None:
                break;
            }
            if (accept) {
                bestColumn = x;
                bestTurns = turns;
            }
            Figure.Y = static_cast<std::uint8_t>(y0);
            CopyGrid(Stack, SavedStack);
        }

        Figure.X = static_cast<std::uint8_t>(x0);
        Figure.Rotate(Stack, false);
        CopyGrid(Stack, SavedStack);
    }

    if (bestTurns != None && bestTurns != 0)
        for (int i = 0; i < bestTurns; ++i)
            Figure.Rotate(Stack, false);
    if (bestColumn == None)
        return false;
    TryMoveTo(Stack, bestColumn, Figure.Y);
    Drop(Stack);
    return true;
}

std::int32_t TADTetrisGame::TrialCascadeScore()
{
    CopyGrid(TrialMarks, Stack);
    WindowHandle->SetFallTimerEnabled(false);
    std::int64_t pass = 0, removed = 0, sum = 0;
    while (MarkMatches(TrialMarks)) {
        ++pass;
        while (RemoveMarkedCell(Stack)) {
            ++removed;
            sum += pass * removed * Level * 15;
        }
    }
    WindowHandle->SetFallTimerEnabled(true);
    return AddSaturated(0, sum);
}

int TADTetrisGame::CountHoles(const Grid& grid)
{
    int holes = 0;
    for (int col = 1; col < BorderCol; ++col) {
        bool covered = false;
        for (int row = 0; row < BorderRow; ++row) {
            const std::uint8_t cell = grid[CellIndex(row, col)];
            if (cell == CellBorder)
                break;
            if (cell != CellEmpty)
                covered = true;
            else if (covered)
                ++holes;
        }
    }
    return holes;
}

int TADTetrisGame::ColumnDepth(const Grid& grid, bool deepest)
{
    int most = 0, second = 0;
    for (int col = 1; col < BorderCol; ++col) {
        int depth = 0;
        while (depth < BorderRow - 1 && grid[CellIndex(1 + depth, col)] == CellEmpty)
            ++depth;
        // A new maximum does not hand the old one down to the second value.
        if (depth >= most)
            most = depth;
        else if (depth >= second)
            second = depth;
    }
    return deepest ? most : second;
}

bool TADTetrisGame::NearMatch(const Grid& grid, int column, int row)
{
    auto g = [&](int dr, int dc) { return CellAt(grid, row + dr, column + dc); };
    auto same = [](std::uint8_t a, std::uint8_t b) { return a == b && a != CellEmpty && a != CellBorder; };
    return same(g(1, 1), g(-1, -1)) || same(g(1, -1), g(-1, 1)) || same(g(0, 1), g(0, 2)) ||
           same(g(0, -1), g(0, -2)) || same(g(1, 1), g(2, 2)) || same(g(-1, 1), g(-2, 2)) ||
           same(g(0, -1), g(0, 1));
}

int TADTetrisGame::CountEvenSteps(const Grid& grid)
{
    int count = 0;
    for (int col = 1; col <= 6; ++col) {
        int top = 4;
        while (top < BorderRow && grid[CellIndex(top, col)] == CellEmpty)
            ++top;
        auto r = [&](int row) { return CellAt(grid, row, col + 1); };
        if ((r(top - 1) == CellEmpty && r(top) != CellEmpty) ||
            (r(top) == CellEmpty && r(top + 1) != CellEmpty) ||
            (r(top - 2) == CellEmpty && r(top - 1) != CellEmpty))
            ++count;
    }
    return count;
}
