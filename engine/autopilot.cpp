#include "game.h"

#include <array>
#include <cstring>

namespace {

constexpr int NoChoice = 500;   // no column or turn count accepted yet

// Eight cells of a row as one word, whatever the byte order.
std::uint64_t Word(const std::uint8_t* cells)
{
    std::uint64_t word;
    std::memcpy(&word, cells, sizeof word);
    return word;
}

constexpr std::uint64_t EveryByte(std::uint8_t value) { return 0x0101010101010101u * value; }

// 0x80 in each byte of x below limit (1..128), 0 in the others.
constexpr std::uint64_t BytesBelow(std::uint64_t x, std::uint8_t limit)
{
    const std::uint64_t low = EveryByte(0x7F);
    return ~(((x & low) + EveryByte(static_cast<std::uint8_t>(0x80 - limit))) | x) & ~low;
}

constexpr std::uint64_t ZeroBytes(std::uint64_t x) { return BytesBelow(x, 1); }

// The seven visible columns of a row read from column 1, as bytes of a
// word; the eighth byte is the border column's.
constexpr std::uint8_t VisibleBytes[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};

// The top bit of each visible column's byte, where the lane tests answer.
std::uint64_t ColumnBits() { return Word(VisibleBytes) & EveryByte(0x80); }

// The first row with a cell in the visible columns: the empty rows above it
// start no line, cover no hole and hold no border.
int FirstFilledRow(const Grid& grid)
{
    const std::uint64_t visible = Word(VisibleBytes);
    int row = 0;
    while (row < BorderRow && (Word(&grid[CellIndex(row, 1)]) & visible) == 0)
        ++row;
    return row;
}

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
    // the forward directions. A row's seven start cells are looked at at
    // once, in a copy with empty cells around the grid: the cells a step and
    // two steps on are read as words too, and off the grid none matches.
    constexpr int Margin = 16;
    std::array<std::uint8_t, Margin + GridSize + Margin> padded{};
    std::memcpy(&padded[Margin], grid.data(), GridSize);
    const std::uint64_t columns = ColumnBits();
    for (int row = FirstFilledRow(grid); row < BorderRow; ++row) {   // row 0 is empty by now
        const std::uint8_t* start = &padded[Margin + CellIndex(row, 1)];
        const std::uint64_t first = Word(start);
        const std::uint64_t colours = ~ZeroBytes(first) & BytesBelow(first, CellMarked) & columns;
        for (const int step : LineSteps)
            if (colours & ZeroBytes(first ^ Word(start + step)) & ZeroBytes(first ^ Word(start + 2 * step)))
                return false;
    }
    return true;
}

}  // namespace

// A placement's trial: its column, score and landing row, and the stack it
// leaves. The rest is measured when a judgement first asks.
struct PlacementTrial {
    bool tried = false;
    int column = 0;
    std::int32_t score = 0;
    int landing = 0;   // the row below the figure's lowest cell
    Grid after;        // left uninitialised: the trial writes it first

    bool NearMatch(const Grid& before)
    {
        if (nearMatch < 0)
            nearMatch = TADTetrisGame::NearMatch(before, column + 1, landing - 1);
        return nearMatch > 0;
    }
    int Holes()
    {
        if (holes < 0)
            holes = TADTetrisGame::CountHoles(after);
        return holes;
    }
    bool EvenSteps()
    {
        if (evenSteps < 0)
            evenSteps = TADTetrisGame::CountEvenSteps(after) > 0;
        return evenSteps > 0;
    }

private:
    int nearMatch = -1, holes = -1, evenSteps = -1;   // not measured yet
};

// A search's way through the turns of the figure: each turn's orientation
// at the start place and the columns its moves reach.
struct PlacementWalk {
    bool known = false;
    std::array<TFigure, 4> turn{};
    std::array<int, 4> shape{};   // the orientation's row of trials, -1 for none
    std::array<int, 4> left{}, right{};
    TFigure end;                  // as the four turns leave the figure
};

// The well, the level and the figure's start place stay the same through
// the passes of one step, and so do the moves, the turns and each trial
// from the same orientation: each placement is tried once and kept.
struct PlacementTrials {
    bool measured = false;
    bool quiet = false;
    int holesBefore = 0, deepest = 0, secondDeepest = 0;
    int shapes = 0;
    std::array<TFigure::Box, 4> shape{};
    std::array<PlacementWalk, 4> walkFrom{};
    std::array<std::array<PlacementTrial, GridStride>, 4> byColumn;   // not zeroed: a trial writes its stack

    // The index of an orientation, added when new; -1 when four others fill
    // the table, which the turns of one figure never do.
    int ShapeOf(const TFigure::Box& cells)
    {
        for (int i = 0; i < shapes; ++i)
            if (shape[i] == cells)
                return i;
        if (shapes == 4)
            return -1;
        shape[shapes] = cells;
        return shapes++;
    }
};

namespace {

// Turns the figure four times at its start place and moves it to both ends
// in each orientation; leaves it as the turns leave it.
void Walk(TADTetrisGame& game, PlacementTrials& trials, PlacementWalk& walk)
{
    TFigure& figure = game.Figure;
    const int x0 = figure.X;
    // The ends move only on successful moves; an orientation that cannot
    // move at all keeps the previous orientation's ends.
    int left = x0, right = x0;
    for (int turns = 0; turns < 4; ++turns) {
        walk.turn[turns] = figure;
        walk.shape[turns] = trials.ShapeOf(figure.Cells);
        while (game.Move(MoveDirection::Left))
            left = figure.X;
        while (game.Move(MoveDirection::Right))
            right = figure.X;
        walk.left[turns] = left;
        walk.right[turns] = right;
        figure.X = static_cast<std::uint8_t>(x0);
        figure.Rotate(game.Stack, false);
    }
    walk.end = figure;
    walk.known = true;
}

}  // namespace

AutopilotResult TADTetrisGame::AutopilotStep()
{
    PlacementTrials trials;
    if (Search(trials, AutopilotStrategy::PlaceToBuild, 0))
        return {AutopilotStrategy::PlaceToBuild, 0};
    if (Search(trials, AutopilotStrategy::PlaceToScore, 0))
        return {AutopilotStrategy::PlaceToScore, 0};
    for (std::uint8_t t = 1; t <= 10; ++t)
        if (Search(trials, AutopilotStrategy::PlaceLow, t))
            return {AutopilotStrategy::PlaceLow, t};
    return {};
}

bool TADTetrisGame::PlaceToBuild()
{
    PlacementTrials trials;
    return Search(trials, AutopilotStrategy::PlaceToBuild, 0);
}

bool TADTetrisGame::PlaceToScore()
{
    PlacementTrials trials;
    return Search(trials, AutopilotStrategy::PlaceToScore, 0);
}

bool TADTetrisGame::PlaceLow(std::uint8_t tolerance)
{
    PlacementTrials trials;
    return Search(trials, AutopilotStrategy::PlaceLow, tolerance);
}

bool TADTetrisGame::Search(PlacementTrials& trials, AutopilotStrategy strategy, std::uint8_t tolerance)
{
    // No building on a well with a hole: not even a trial.
    if (strategy == AutopilotStrategy::PlaceToBuild && CountHoles(Stack) > 0)
        return false;
    CopyGrid(SavedStack, Stack);
    if (!trials.measured) {
        trials.holesBefore = CountHoles(SavedStack);
        trials.quiet = TrialShortcut && QuietWell(SavedStack);
        trials.deepest = ColumnDepth(SavedStack, true);
        trials.secondDeepest = ColumnDepth(SavedStack, false);
        trials.measured = true;
    }
    PlacementWalk untabled;   // for an orientation the table has no room for
    const int start = trials.ShapeOf(Figure.Cells);
    PlacementWalk& walk = start >= 0 ? trials.walkFrom[start] : untabled;
    if (!walk.known)
        Walk(*this, trials, walk);

    int bestColumn = NoChoice, bestTurns = NoChoice;
    std::int32_t bestScore = 0;
    for (int turns = 0; turns < 4; ++turns) {
        int threshold = 0;
        if (strategy == AutopilotStrategy::PlaceToBuild)
            threshold = trials.secondDeepest;
        else if (strategy == AutopilotStrategy::PlaceLow)
            threshold = trials.deepest;

        const int shape = walk.shape[turns];
        for (int x = walk.left[turns]; x <= walk.right[turns]; ++x) {
            // Columns past the table only with a broken border or a figure set there.
            PlacementTrial untabled;
            PlacementTrial& trial = shape >= 0 && x < GridStride ? trials.byColumn[shape][x] : untabled;
            if (!trial.tried) {
                Figure = walk.turn[turns];
                Figure.X = static_cast<std::uint8_t>(x);
                RunTrial(trials.quiet, trial);
            }

            bool accept = false;
            switch (strategy) {
            case AutopilotStrategy::PlaceToBuild:
                if (trial.score > Level * 1620) {
                    Figure = walk.turn[turns];
                    return false;
                }
                accept = trial.score <= bestScore && trial.Holes() == 0 && !trial.NearMatch(SavedStack) &&
                         trial.landing >= threshold && trial.EvenSteps() && RowEmpty(trial.after, 9);
                if (accept) {
                    bestScore = trial.score;
                    threshold = trial.landing;
                }
                break;
            case AutopilotStrategy::PlaceToScore:
                accept = (trial.score > bestScore && trial.Holes() <= trials.holesBefore && trial.EvenSteps()) ||
                         trial.Holes() < trials.holesBefore;
                if (accept)
                    bestScore = trial.score;
                break;
            case AutopilotStrategy::PlaceLow:
                accept = trial.Holes() <= trials.holesBefore && trial.landing + tolerance >= threshold &&
                         trial.EvenSteps() && (tolerance > 9 || !trial.NearMatch(SavedStack));
                if (accept)
                    threshold = trial.landing;
                break;
            case AutopilotStrategy::None:
                break;
            }
            if (accept) {
                bestColumn = x;
                bestTurns = turns;
            }
        }
    }

    Figure = walk.end;
    if (bestTurns != NoChoice && bestTurns != 0)
        for (int i = 0; i < bestTurns; ++i)
            Figure.Rotate(Stack, false);
    if (bestColumn == NoChoice)
        return false;
    TryMoveTo(Stack, bestColumn, Figure.Y);
    Drop(Stack);
    return true;
}

// Drops the figure from its place and runs the trial cascade; then puts the
// figure back and the stack as it was.
void TADTetrisGame::RunTrial(bool quietWell, PlacementTrial& trial)
{
    const int y0 = Figure.Y;
    Drop(Stack);
    ComposeDisplay(Stack, true);
    trial.column = Figure.X;
    trial.score = TrialScore(quietWell);
    trial.landing = Figure.Y + Figure.Height;
    CopyGrid(trial.after, Stack);
    trial.tried = true;
    Figure.Y = static_cast<std::uint8_t>(y0);
    CopyGrid(Stack, SavedStack);
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
    // Every trial counts holes, so the seven columns go side by side, one
    // byte each in a 64-bit word read row by row; the eighth byte, the
    // border column, takes no part.
    const std::uint64_t columns = ColumnBits();
    std::uint64_t open = columns, covered = 0;   // open: no border cell met yet
    std::uint64_t holes = 0;                     // a count in each byte
    for (int row = FirstFilledRow(grid); row < BorderRow; ++row) {
        const std::uint64_t cells = Word(&grid[CellIndex(row, 1)]);
        const std::uint64_t empty = ZeroBytes(cells);
        open &= ~ZeroBytes(cells ^ EveryByte(CellBorder));
        holes += (open & covered & empty) >> 7;
        covered |= ~empty & columns;
    }
    // At most 7 x 18 holes: the bytes add up without a carry out of the top one.
    return static_cast<int>((holes * EveryByte(1)) >> 56);
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
    // Each column's top from row 4 down, found for all columns at once: a
    // byte of depth counts the empty cells above its column's first filled one.
    const std::uint64_t columns = ColumnBits();
    std::uint64_t filled = 0, depth = 0;
    for (int row = 4; row < BorderRow; ++row) {
        filled |= ~ZeroBytes(Word(&grid[CellIndex(row, 1)])) & columns;
        depth += (~filled & columns) >> 7;
    }
    std::uint8_t depths[8];
    std::memcpy(depths, &depth, sizeof depths);
    int count = 0;
    for (int col = 1; col <= 6; ++col) {
        const int top = 4 + depths[col - 1];
        // The right neighbour from two rows above the top to one below it,
        // without branches: which way they go is anyone's guess.
        auto empty = [&](int row) { return CellAt(grid, row, col + 1) == CellEmpty; };
        const bool twoAbove = empty(top - 2), above = empty(top - 1), level = empty(top), below = empty(top + 1);
        count += (above & !level) | (level & !below) | (twoAbove & !above);
    }
    return count;
}
