#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/test_host.h"

namespace {

using Box = TFigure::Box;
using Rows = std::vector<std::string>;

// A running level-1 game with the given well and the figure at its start.
void Prepare(Rig& rig, const Rows& bottom, const Box& figure, int level = 1)
{
    MakeRunning(rig.game, level);
    PutBottomRows(rig.game.Stack, bottom);
    SetFigure(rig.game, figure, 3, 1);
    rig.host.Clear();
}

Box Single(int colour) { return {0, static_cast<std::uint8_t>(colour), 0, 0, 0, 0, 0, 0, 0}; }
constexpr Box Vertical123{0, 1, 0, 0, 2, 0, 0, 3, 0};
constexpr Box Vertical444{0, 4, 0, 0, 4, 0, 0, 4, 0};
constexpr Box Corner616{0, 6, 0, 1, 6, 0, 0, 0, 0};

TEST(AutopilotStep, PlacesOnAnEmptyWellAsTheStrategiesOrder)
{
    struct Case {
        const char* name;
        Box figure;
        AutopilotStrategy strategy;
        int x, y;
        Box cells;
    } cases[] = {
        {"a single cell goes to the last candidate", Single(3), AutopilotStrategy::PlaceToBuild, 6, 18, Single(3)},
        {"three colours lie along the floor at the right", Vertical123, AutopilotStrategy::PlaceToBuild, 5, 17,
         {0, 0, 0, 3, 2, 1, 0, 0, 0}},
        {"three of one colour score in every trial, the first is kept", Vertical444,
         AutopilotStrategy::PlaceToScore, 0, 16, Vertical444},
    };
    for (const Case& c : cases) {
        Rig rig;
        Prepare(rig, {}, c.figure);
        const Grid before = rig.game.Stack;
        const AutopilotResult result = rig.game.AutopilotStep();
        EXPECT_EQ(result.strategy, c.strategy) << c.name;
        EXPECT_EQ(rig.game.Figure.X, c.x) << c.name;
        EXPECT_EQ(rig.game.Figure.Y, c.y) << c.name;
        EXPECT_EQ(rig.game.Figure.Cells, c.cells) << c.name;
        EXPECT_EQ(rig.game.Stack, before) << c.name;
        EXPECT_TRUE(rig.host.FallTimerOn) << c.name;
    }
}

TEST(PlaceToBuild, GivesUpAtOnceOnAWellWithAHole)
{
    Rig rig;
    Prepare(rig, {"3......", ".......", "1......"}, Vertical123);
    const Grid before = rig.game.Stack;
    EXPECT_FALSE(rig.game.PlaceToBuild());
    EXPECT_TRUE(rig.host.Calls.empty()) << "not even a trial";
    EXPECT_EQ(rig.game.Figure.X, 3);
    EXPECT_EQ(rig.game.Figure.Y, 1);
    EXPECT_EQ(rig.game.Figure.Cells, Vertical123);
    EXPECT_EQ(rig.game.Stack, before);
}

TEST(PlaceToBuild, GivesWayWhenATrialWouldScoreTooMuch)
{
    const Rows well = {"..2.1..", ".311312", "2133133"};
    // The single cell of colour 1 in column 7 sets off a long cascade.
    Rig probe;
    Prepare(probe, well, Single(1));
    probe.game.Figure.X = 6;
    probe.game.Drop(probe.game.Stack);
    probe.game.ComposeDisplay(probe.game.Stack, true);
    ASSERT_GT(probe.game.TrialCascadeScore(), 1620);

    Rig rig;
    Prepare(rig, well, Single(1));
    const Grid before = rig.game.Stack;
    EXPECT_FALSE(rig.game.PlaceToBuild());
    EXPECT_EQ(rig.game.Figure.X, 3);
    EXPECT_EQ(rig.game.Figure.Y, 1);
    EXPECT_EQ(rig.game.Stack, before);

    // The same well takes a quiet colour: the earlier columns qualify.
    Rig quiet;
    Prepare(quiet, well, Single(6));
    EXPECT_TRUE(quiet.game.PlaceToBuild());

    EXPECT_NE(rig.game.AutopilotStep().strategy, AutopilotStrategy::PlaceToBuild);
    EXPECT_EQ(rig.game.Stack, before);
}

// A flat, hole-free stack of n rows in which no two neighbours share a colour
// in any direction: a single cell of colour 6 lands on it quietly anywhere.
Rows QuietLayers(int n)
{
    Rows rows;
    for (int i = n - 1; i >= 0; --i)
        rows.push_back(i % 2 == 0 ? "2341234" : "4123412");
    return rows;
}

TEST(PlaceToBuild, KeepsRowNineFree)
{
    struct Case {
        const char* name;
        int layers;
        bool placed;
    } cases[] = {
        {"the cell lands in row 11", 7, true},
        {"the cell lands in row 10", 8, true},
        {"the cell would land in row 9", 9, false},
        {"the cell would land in row 8", 10, false},
    };
    for (const Case& c : cases) {
        Rig rig;
        Prepare(rig, QuietLayers(c.layers), Single(6));
        EXPECT_EQ(rig.game.PlaceToBuild(), c.placed) << c.name;
        if (c.placed) {
            EXPECT_EQ(rig.game.Figure.Y, 18 - c.layers) << c.name;
        } else {
            EXPECT_EQ(rig.game.Figure.Y, 1) << c.name;
        }
    }
}

TEST(PlaceToBuild, GivesWayOnlyAboveSixteenHundredTwentyPointsPerLevel)
{
    // Trial scores come in steps of 15 x Level: a single cell of colour 1
    // sets off three passes of three cells (exactly 1620 x Level) in column 6
    // of the first well, nine and then three cells (1665 x Level) in column 5
    // of the second. The other columns take the cell quietly.
    const Rows exact = {"..2.3..", "..223.1", "..331.2", ".3231.1"};
    const Rows over = {"...1.1.", "...2.22", "...1211", "3.11212"};
    struct Case {
        const char* name;
        Rows well;
        int column, level;
        std::int32_t trialScore;
        bool placed;
    } cases[] = {
        {"exactly the limit at level 1", exact, 6, 1, 1620, true},
        {"exactly the limit at level 3", exact, 6, 3, 3 * 1620, true},
        {"the next score above it at level 1", over, 5, 1, 1665, false},
        {"the next score above it at level 3", over, 5, 3, 3 * 1665, false},
    };
    for (const Case& c : cases) {
        Rig probe;
        Prepare(probe, c.well, Single(1), c.level);
        probe.game.Figure.X = static_cast<std::uint8_t>(c.column - 1);
        probe.game.Drop(probe.game.Stack);
        probe.game.ComposeDisplay(probe.game.Stack, true);
        ASSERT_EQ(probe.game.TrialCascadeScore(), c.trialScore) << c.name;

        Rig rig;
        Prepare(rig, c.well, Single(1), c.level);
        const Grid before = rig.game.Stack;
        EXPECT_EQ(rig.game.PlaceToBuild(), c.placed) << c.name;
        EXPECT_EQ(rig.game.Stack, before) << c.name;
        if (!c.placed) {
            EXPECT_EQ(rig.game.Figure.X, 3) << c.name;
            EXPECT_EQ(rig.game.Figure.Y, 1) << c.name;
        }
    }
}

TEST(PlaceToScore, CountsItsTurnsFromWherePlaceToBuildGaveWay)
{
    // The build pass gives way with the corner turned and leaves it so; the
    // next pass counts its turns from there, which decides between the two
    // placements it rates alike.
    const Rows well = {"...22..", "...24.2", "...1244", "1..1332", "4..4124"};
    constexpr Box corner{0, 2, 0, 1, 5, 0, 0, 0, 0};
    Rig probe;
    Prepare(probe, well, corner);
    ASSERT_FALSE(probe.game.PlaceToBuild());
    ASSERT_NE(probe.game.Figure.Cells, corner);

    Rig rig;
    Prepare(rig, well, corner);
    EXPECT_EQ(rig.game.AutopilotStep().strategy, AutopilotStrategy::PlaceToScore);
    EXPECT_EQ(rig.game.Figure.X, 4);
    EXPECT_EQ(rig.game.Figure.Y, 12);
    EXPECT_EQ(rig.game.Figure.Cells, (Box{0, 1, 0, 0, 5, 2, 0, 0, 0}));
}

TEST(AutopilotStep, AnOrientationThatCannotMoveKeepsTheEndsOfTheOneBefore)
{
    // A tower in column 3 up to row 3. The corner passes over it in its first
    // orientation; turned once it cannot move left at all and is tried from
    // the first one's left end, beyond the tower, where it completes two lines.
    Rows well;
    for (int row = 3; row <= 16; ++row)
        well.push_back(row % 2 == 0 ? "..3...." : "..2....");
    well.push_back("..6....");
    well.push_back("..11...");
    Rig rig;
    Prepare(rig, well, Corner616);
    EXPECT_EQ(rig.game.AutopilotStep().strategy, AutopilotStrategy::PlaceToScore);
    EXPECT_EQ(rig.game.Figure.X, 1);
    EXPECT_EQ(rig.game.Figure.Y, 16);
    EXPECT_EQ(rig.game.Figure.Cells, (Box{0, 0, 0, 6, 6, 0, 0, 1, 0}));
}

TEST(PlaceToScore, TakesAPlacementThatClearsAHoleOverABetterScore)
{
    // Column 1 scores five cells; column 5 scores three but uncovers the
    // hole in column 7. Both come in that order in every orientation.
    Rig rig;
    Prepare(rig, {"..2....", ".24..22", ".22531."}, Single(2));
    EXPECT_EQ(TADTetrisGame::CountHoles(rig.game.Stack), 1);
    EXPECT_TRUE(rig.game.PlaceToScore());
    EXPECT_EQ(rig.game.Figure.X, 4);
    EXPECT_EQ(rig.game.Figure.Y, 17);
}

TEST(PlaceLow, OnlyTheLastToleranceMayCoverALinedUpProbeCell)
{
    Rig rig;
    Prepare(rig,
            {"...6...", "...3.5.", "3..6.1.", "5..1.6.", "4..1.6.", "223424.", "5643413"},
            Corner616);
    const Grid before = rig.game.Stack;
    const AutopilotResult result = rig.game.AutopilotStep();
    EXPECT_EQ(result.strategy, AutopilotStrategy::PlaceLow);
    EXPECT_EQ(result.tolerance, 10);
    const TFigure& f = rig.game.Figure;
    EXPECT_TRUE(TADTetrisGame::NearMatch(before, f.X + 1, f.Y + f.Height - 1));
    EXPECT_EQ(rig.game.Stack, before);
}

TEST(AutopilotStep, LeavesTheFigureAtItsStartWhenNothingQualifies)
{
    Rig rig;
    Prepare(rig,
            {"....2..", "....6..", "..3.4..", "..4.3.5", "..4.2.2", ".25.1.4", ".5451.4", ".1254.6"},
            Corner616);
    const Grid before = rig.game.Stack;
    EXPECT_EQ(rig.game.AutopilotStep().strategy, AutopilotStrategy::None);
    EXPECT_EQ(rig.game.Figure.X, 3);
    EXPECT_EQ(rig.game.Figure.Y, 1);
    EXPECT_EQ(rig.game.Figure.Cells, Corner616);
    EXPECT_EQ(rig.game.Stack, before);
    EXPECT_TRUE(rig.host.FallTimerOn);
}

TEST(AutopilotStep, TriesEachPlacementOnceForAllItsStrategies)
{
    // Each trial switches the fall timer off and on once. A placement is an
    // orientation in a column; on these low wells every column is in reach.
    struct Case {
        const char* name;
        Rows well;
        Box figure;
        AutopilotStrategy strategy;
        int placements;
    } cases[] = {
        {"a single cell never turns", {}, Single(3), AutopilotStrategy::PlaceToBuild, 7},
        {"one colour upright and lying, judged twice", {}, Vertical444, AutopilotStrategy::PlaceToScore, 7 + 5},
        {"three colours, four orientations", {}, Vertical123, AutopilotStrategy::PlaceToBuild, 7 + 5 + 7 + 5},
        {"a corner judged by every tolerance",
         {"...6...", "...3.5.", "3..6.1.", "5..1.6.", "4..1.6.", "223424.", "5643413"}, Corner616,
         AutopilotStrategy::PlaceLow, 4 * 6},
        {"a corner nothing takes",
         {"....2..", "....6..", "..3.4..", "..4.3.5", "..4.2.2", ".25.1.4", ".5451.4", ".1254.6"}, Corner616,
         AutopilotStrategy::None, 4 * 6},
    };
    for (const Case& c : cases) {
        Rig rig;
        Prepare(rig, c.well, c.figure);
        EXPECT_EQ(rig.game.AutopilotStep().strategy, c.strategy) << c.name;
        const std::vector<std::string>& calls = rig.host.Calls;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "timer off"), c.placements) << c.name;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "timer on"), c.placements) << c.name;
    }
}

TEST(TrialCascadeScore, WeighsEachCellByPassAndCountAndSwitchesTheTimer)
{
    struct Case {
        const char* name;
        int level;
        Rows well;
        int score;
        Rows after;
    } cases[] = {
        {"a line of three", 1, {"111...."}, 90, {"......."}},
        {"a line of three at level 2", 2, {"111...."}, 180, {"......."}},
        {"two passes", 1, {"..1....", "..2....", "..2....", "112...."}, 15 * (1 + 2 + 3) + 15 * 2 * (4 + 5 + 6),
         {".......", ".......", ".......", "......."}},
        {"nothing", 1, {"1212..."}, 0, {"1212..."}},
    };
    for (const Case& c : cases) {
        Rig rig;
        Prepare(rig, c.well, Single(1), c.level);
        EXPECT_EQ(rig.game.TrialCascadeScore(), c.score) << c.name;
        EXPECT_EQ(rig.host.Calls, (std::vector<std::string>{"timer off", "timer on"})) << c.name;
        EXPECT_EQ(WellRows(rig.game.Stack), WellOf(c.after)) << c.name;
    }
}

TEST(AutopilotMeasures, ColumnDepthKeepsTheDeepestAndTheSecondAsScanned)
{
    struct Case {
        std::vector<int> depths;   // columns 1..7
        int deepest, second;
    } cases[] = {
        {{10, 5, 0, 0, 0, 0, 0}, 10, 5},
        {{5, 10, 0, 0, 0, 0, 0}, 10, 0},
        {{18, 18, 18, 18, 18, 18, 18}, 18, 0},
        {{0, 3, 2, 7, 1, 7, 4}, 7, 4},
    };
    for (const Case& c : cases) {
        Rig rig;
        Grid& well = rig.game.Stack;
        for (int col = 1; col <= 7; ++col)
            for (int row = c.depths[col - 1] + 1; row <= 18; ++row)
                well[CellIndex(row, col)] = 1;
        EXPECT_EQ(TADTetrisGame::ColumnDepth(well, true), c.deepest);
        EXPECT_EQ(TADTetrisGame::ColumnDepth(well, false), c.second);
    }
}

TEST(AutopilotMeasures, HolesEvenStepsAndNearMatches)
{
    struct Case {
        const char* name;
        Rows well;
        int holes, evenSteps;
    } cases[] = {
        {"empty well: every pair level on the floor", {}, 0, 6},
        // Column 7's top is row 17, but row 18 beside column 6's floor is empty: level.
        {"a covered gap and a gap under a gap", {"1......", ".......", "2.....3", "......."}, 3, 5},
        {"a tower beside empty columns", {"1......", "1......", "1......"}, 0, 5},
        {"steps of one row", {"......1", ".....11", "....111", "...1111"}, 0, 6},
        {"a lid in row 1 over every column", [] {
             Rows rows(18, ".......");
             rows.front() = "1111111";
             return rows;
         }(), 7 * 17, 6},
    };
    for (const Case& c : cases) {
        Rig rig;
        PutBottomRows(rig.game.Stack, c.well);
        EXPECT_EQ(TADTetrisGame::CountHoles(rig.game.Stack), c.holes) << c.name;
        EXPECT_EQ(TADTetrisGame::CountEvenSteps(rig.game.Stack), c.evenSteps) << c.name;
    }

    struct Probe {
        const char* name;
        Rows well;
        int col, row;
        bool near;
    } probes[] = {
        {"left and right neighbours", {"2.2...."}, 2, 18, true},
        {"two to the right of column 1", {".33...."}, 1, 18, true},
        {"two to the left", {"44....."}, 3, 18, true},
        {"falling diagonal across", {"5......", ".......", "..5...."}, 2, 17, true},
        {"vertical pairs are not looked at", {"6......", "6......"}, 1, 16, false},
        {"empty cells never match", {"......."}, 4, 18, false},
        {"different colours", {"1.2...."}, 2, 18, false},
    };
    for (const Probe& p : probes) {
        Rig rig;
        PutBottomRows(rig.game.Stack, p.well);
        EXPECT_EQ(TADTetrisGame::NearMatch(rig.game.Stack, p.col, p.row), p.near) << p.name;
    }
}

// The visible well with columns 1..7 filled from the floor to the given heights.
Rows WellOfHeights(const std::vector<int>& heights)
{
    Rows rows;
    for (int row = 1; row <= 18; ++row) {
        std::string text;
        for (int height : heights)
            text += row > 18 - height ? '1' : '.';
        rows.push_back(text);
    }
    return rows;
}

TEST(CountEvenSteps, LooksForAColumnsTopFromRowFourDown)
{
    // Columns 3..7 stay empty: their four pairs are level on the floor and
    // column 2 against the empty column 3 never is, so pair (1, 2) decides
    // between 4 and 5.
    struct Case {
        const char* name;
        std::vector<int> heights;
        int evenSteps;
    } cases[] = {
        {"a full column has its top taken at row 4", {18, 15, 0, 0, 0, 0, 0}, 5},
        {"a cell in row 3 is passed over: the neighbour one row lower", {16, 14, 0, 0, 0, 0, 0}, 5},
        {"the neighbour's cell in row 3 counts: one row higher", {15, 16, 0, 0, 0, 0, 0}, 5},
        {"a neighbour two rows lower is no even step", {15, 13, 0, 0, 0, 0, 0}, 4},
        {"a neighbour two rows higher is no even step", {15, 17, 0, 0, 0, 0, 0}, 4},
    };
    for (const Case& c : cases) {
        Rig rig;
        PutBottomRows(rig.game.Stack, WellOfHeights(c.heights));
        EXPECT_EQ(TADTetrisGame::CountEvenSteps(rig.game.Stack), c.evenSteps) << c.name;
    }
}

TEST(NearMatch, EachOfTheSevenPairsAloneLinesUpTheProbe)
{
    // Probe cell (row 10, column 4); only the two cells of one pair are set.
    struct Offset {
        int dr, dc;
    };
    struct Case {
        const char* name;
        Offset first, second;
    } cases[] = {
        {"falling diagonal, one on each side", {1, 1}, {-1, -1}},
        {"rising diagonal, one on each side", {1, -1}, {-1, 1}},
        {"the two cells to the right", {0, 1}, {0, 2}},
        {"the two cells to the left", {0, -1}, {0, -2}},
        {"the two cells down and to the right", {1, 1}, {2, 2}},
        {"the two cells up and to the right", {-1, 1}, {-2, 2}},
        {"left and right neighbour", {0, -1}, {0, 1}},
    };
    const int row = 10, col = 4;
    for (const Case& c : cases) {
        for (const bool equal : {true, false}) {
            Rig rig;
            Grid& well = rig.game.Stack;
            well[CellIndex(row + c.first.dr, col + c.first.dc)] = 5;
            well[CellIndex(row + c.second.dr, col + c.second.dc)] = equal ? 5 : 3;
            EXPECT_EQ(TADTetrisGame::NearMatch(well, col, row), equal) << c.name << (equal ? "" : ", two colours");
        }
    }
}

TEST(NearMatch, BorderAndEmptyCellsAndUnlistedPairsNeverMatch)
{
    struct Case {
        const char* name;
        Rows well;
        int col, row;
    } cases[] = {
        {"the border twice left of column 1", {"......."}, 1, 18},
        {"the border right of column 7 and below row 18", {"......."}, 7, 18},
        {"an empty well", {}, 4, 10},
        {"a vertical pair", {"...2...", "...2...", "......."}, 4, 18},
        {"the down-left diagonal", {".......", "...3...", "..3...."}, 5, 16},
        {"the up-left diagonal", {"..3....", "...3...", "......."}, 5, 18},
    };
    for (const Case& c : cases) {
        Rig rig;
        PutBottomRows(rig.game.Stack, c.well);
        EXPECT_FALSE(TADTetrisGame::NearMatch(rig.game.Stack, c.col, c.row)) << c.name;
    }
}

// Random wells: some with holes, some with lines already in them.
Grid RandomWell(std::mt19937& rng, TADTetrisGame& game)
{
    Grid well;
    game.InitWell(well);
    const int tallest = 1 + static_cast<int>(rng() % 15);
    for (int col = 1; col <= 7; ++col) {
        const int height = static_cast<int>(rng() % tallest);
        for (int k = 0; k < height; ++k)
            well[CellIndex(18 - k, col)] = static_cast<std::uint8_t>(1 + rng() % 6);
        if (height > 1 && rng() % 4 == 0)
            well[CellIndex(18 - static_cast<int>(rng() % (height - 1)), col)] = 0;
    }
    return well;
}

TEST(AutopilotProperty, StackUnchangedAndThePlacedFigureRestsWhereItFits)
{
    std::mt19937 rng(2024);
    int placed = 0, tried = 0;
    for (int i = 0; i < 1500; ++i) {
        Rig rig(static_cast<std::uint32_t>(i));
        TADTetrisGame& game = rig.game;
        const Grid well = RandomWell(rng, game);
        game.Stack = well;
        game.Level = static_cast<std::uint8_t>(1 + rng() % 16);
        game.Running = true;
        game.Figure.Generate(game.Random, 3, 1);
        if (!TFigure::Fits(well, 3, 1, game.Figure.Cells))
            continue;
        ++tried;
        const TFigure start = game.Figure;

        // The same step without the trial shortcut must agree exactly.
        Rig literal(static_cast<std::uint32_t>(i));
        literal.game.Stack = well;
        literal.game.Level = game.Level;
        literal.game.Running = true;
        literal.game.Figure = start;
        literal.game.TrialShortcut = false;

        const AutopilotResult result = game.AutopilotStep();
        const AutopilotResult expected = literal.game.AutopilotStep();
        ASSERT_EQ(game.Stack, well) << "well " << i;
        ASSERT_EQ(result.strategy, expected.strategy) << "well " << i;
        ASSERT_EQ(result.tolerance, expected.tolerance) << "well " << i;
        ASSERT_EQ(game.Figure.X, literal.game.Figure.X) << "well " << i;
        ASSERT_EQ(game.Figure.Y, literal.game.Figure.Y) << "well " << i;
        ASSERT_EQ(game.Figure.Cells, literal.game.Figure.Cells) << "well " << i;
        EXPECT_TRUE(rig.host.FallTimerOn);

        const TFigure& f = game.Figure;
        if (result.strategy == AutopilotStrategy::None) {
            EXPECT_EQ(f.X, start.X);
            EXPECT_EQ(f.Y, start.Y);
        } else {
            ++placed;
            EXPECT_TRUE(TFigure::Fits(well, f.X, f.Y, f.Cells)) << "well " << i;
            EXPECT_FALSE(TFigure::Fits(well, f.X, f.Y + 1, f.Cells)) << "well " << i;
        }
    }
    EXPECT_GT(tried, 1000);
    EXPECT_GT(placed, tried / 2);
}

TEST(AutopilotProperty, AnEndedGameLeavesTheStackAlone)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        Rig rig(static_cast<std::uint32_t>(i));
        TADTetrisGame& game = rig.game;
        const Grid well = RandomWell(rng, game);
        game.Stack = well;
        game.Level = 1;
        game.Figure.Generate(game.Random, 3, 1);   // may overlap the stack
        game.AutopilotStep();
        ASSERT_EQ(game.Stack, well) << "well " << i;
        EXPECT_EQ(game.Figure.X, 3);
        EXPECT_EQ(game.Figure.Y, 1);
    }
}

}  // namespace
