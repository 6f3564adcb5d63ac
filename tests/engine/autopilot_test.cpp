#include <gtest/gtest.h>

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
