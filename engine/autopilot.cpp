#include "game.h"

namespace {

constexpr int NoChoice = 500;   // no column or turn count accepted yet

// Whether the cell at index stands in three or more equal colours in a row
// along any of the four line directions.
bool OnLine(const Grid& grid, int index)
{
    const std::uint8_t colour = grid[index];
    if (!IsColour(colour))
        return false;
    for (const int step : LineSteps) {
        int run = 1;
        for (int i = index + step; InGrid(i) && grid[i] == colour; i += step)
            ++run;
        for (int i = index - step; InGrid(i) && grid[i] == colour; i -= step)
            ++run;
        if (run >= 3)
            return true;
    }
    return false;
}

// A well with its border intact, its hidden row empty and no line in it:
// then any line after a placement runs through a cell of the placed figure.
bool QuietWell(const Grid& grid)
{
    for (int row = 0; row <= BorderRow; ++row)
        if (grid[CellIndex(row, 0)] != CellBorder || grid[CellIndex(row, BorderCol)] != CellBorder)
            return false;
    for (int col = 1; col < BorderCol; ++col)
        if (grid[CellIndex(0, col)] != CellEmpty || grid[CellIndex(BorderRow, col)] != CellBorder)
            return false;
    // Every line has a first cell from which the next two follow in one of
    // the forward directions.
    for (int row = 1; row < BorderRow; ++row)
        for (int col = 1; col < BorderCol; ++col)
            for (const int step : LineSteps)
                if (StartsLine(grid, CellIndex(row, col), step))
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
    int bestColumn = NoChoice, bestTurns = NoChoice;
    std::int32_t bestScore = 0;
    int left = x0, right = x0;
    CopyGrid(SavedStack, Stack);
    const int holesBefore = CountHoles(SavedStack);
    const bool quiet = TrialShortcut && QuietWell(SavedStack);

    for (int turns = 0; turns < 4; ++turns) {
        // The ends move only on successful moves; an orientation that cannot
        // move at all keeps the previous orientation's ends.
        while (Move(MoveDirection::Left))
            left = Figure.X;
        while (Move(MoveDirection::Right))
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
            const std::int32_t score = TrialScore(quiet);

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

    if (bestTurns != NoChoice && bestTurns != 0)
        for (int i = 0; i < bestTurns; ++i)
            Figure.Rotate(Stack, false);
    if (bestColumn == NoChoice)
        return false;
    TryMoveTo(Stack, bestColumn, Figure.Y);
    Drop(Stack);
    return true;
}

std::int32_t TADTetrisGame::TrialScore(bool quietWell)
{
    // On a quiet well a placement that forms no line through its own cells
    // scores 0 and leaves Stack as it is: the trial cascade would only scan.
    if (quietWell && TFigure::Fits(SavedStack, Figure.X, Figure.Y, Figure.Cells) && Figure.Y >= 1) {
        bool line = false;
        for (int r = 0; r < 3 && !line; ++r)
            for (int c = 0; c < 3 && !line; ++c)
                if (Figure.Cells[r * 3 + c] != 0)
                    line = OnLine(Stack, CellIndex(Figure.Y + r, Figure.X + c));
        if (!line) {
            // The same timer switch as the trial cascade's, so the window
            // sees no difference.
            WindowHandle->SetFallTimerEnabled(false);
            WindowHandle->SetFallTimerEnabled(true);
            return 0;
        }
    }
    return TrialCascadeScore();
}

std::int32_t TADTetrisGame::TrialCascadeScore()
{
    CopyGrid(TrialMarks, Stack);
    // Off and on again, as around the landing cascade: the fall timer is on
    // after every autopilot step, and restarting it restarts its period, so
    // the next fall tick comes a full interval after the autopilot's choice.
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
