#include <gtest/gtest.h>

#include "support/test_host.h"

namespace {

using Box = TFigure::Box;
constexpr Box VerticalThree{0, 1, 0, 0, 2, 0, 0, 3, 0};   // a, b, c from the top
constexpr Box SingleCell{0, 5, 0, 0, 0, 0, 0, 0, 0};
constexpr Box Corner{0, 1, 0, 2, 3, 0, 0, 0, 0};

TEST(WellGrid, InitWellWritesTheBorderOnlyAndClearsTheRest)
{
    Rig rig;
    Grid grid;
    grid.fill(3);
    rig.game.InitWell(grid);
    int borders = 0, empties = 0;
    for (int row = 0; row < 20; ++row)
        for (int col = 0; col < 9; ++col) {
            const bool border = col == 0 || col == 8 || row == 19;
            EXPECT_EQ(grid[CellIndex(row, col)], border ? 8 : 0) << row << "," << col;
            (border ? borders : empties) += 1;
        }
    EXPECT_EQ(borders, 47);
    EXPECT_EQ(empties, 133);
    EXPECT_EQ(rig.game.Stack, grid);
    EXPECT_EQ(rig.game.EmptyWell, grid);
}

TEST(FigureGenerate, DrawsTheShapeThenOneColourPerCellColumnByColumn)
{
    // The box cells of each shape in the order their colours are drawn:
    // column by column, top to bottom within a column. Only the corner tells
    // this from row order: its left cell (1,0) comes before its top (0,1).
    const std::vector<int> colourOrder[4] = {{1, 4, 7}, {1, 4}, {1}, {3, 1, 4}};
    bool shapeSeen[4] = {};
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        TRandom random(seed), draws(seed);
        TFigure figure;
        figure.Generate(random, 3, 1);
        const std::uint32_t shape = draws.Draw(4);
        shapeSeen[shape] = true;
        Box expected{};
        for (int cell : colourOrder[shape])
            expected[cell] = static_cast<std::uint8_t>(draws.Draw(6) + 1);
        ASSERT_EQ(figure.Cells, expected) << "seed " << seed;
        EXPECT_EQ(figure.X, 3);
        EXPECT_EQ(figure.Y, 1);
        EXPECT_EQ(random.Draw(1u << 31), draws.Draw(1u << 31)) << "seed " << seed << ": no other draw";
    }
    for (bool seen : shapeSeen)
        EXPECT_TRUE(seen);
}

TEST(FigureGenerate, EveryShapeAndColourAppears)
{
    TRandom random(7);
    TFigure figure;
    bool shapes[4] = {}, colours[7] = {};
    for (int i = 0; i < 2000; ++i) {
        figure.Generate(random, 3, 1);
        for (int s = 0; s < 4; ++s) {
            bool same = true;
            for (int k = 0; k < 9; ++k)
                same = same && ((figure.Cells[k] != 0) == (TFigure::FigureShapes[s][k] != 0));
            shapes[s] = shapes[s] || same;
        }
        for (auto cell : figure.Cells) {
            ASSERT_LE(cell, 6);
            colours[cell] = true;
        }
    }
    for (bool seen : shapes)
        EXPECT_TRUE(seen);
    for (int c = 1; c <= 6; ++c)
        EXPECT_TRUE(colours[c]) << c;
}

TEST(FigureExtent, WidthAndHeightCountOccupiedColumnsAndRows)
{
    struct Case {
        Box cells;
        int width, height;
    } cases[] = {
        {TFigure::FigureShapes[0], 1, 3},
        {TFigure::FigureShapes[1], 1, 2},
        {TFigure::FigureShapes[2], 1, 1},
        {TFigure::FigureShapes[3], 2, 2},
        {{0, 0, 0, 1, 1, 1, 0, 0, 0}, 3, 1},
    };
    for (const Case& c : cases) {
        TFigure figure;
        figure.Cells = c.cells;
        figure.RecomputeExtent();
        EXPECT_EQ(figure.Width, c.width);
        EXPECT_EQ(figure.Height, c.height);
    }
}

TEST(FigurePlacement, NewVerticalLineAndSingleCellStandInColumnFour)
{
    Rig rig;
    MakeRunning(rig.game);
    SetFigure(rig.game, VerticalThree, 3, 1);
    rig.game.ComposeDisplay(rig.game.Display, true);
    EXPECT_EQ(rig.game.Display[CellIndex(1, 4)], 1);
    EXPECT_EQ(rig.game.Display[CellIndex(2, 4)], 2);
    EXPECT_EQ(rig.game.Display[CellIndex(3, 4)], 3);

    SetFigure(rig.game, SingleCell, 3, 1);
    rig.game.ComposeDisplay(rig.game.Display, true);
    EXPECT_EQ(rig.game.Display[CellIndex(1, 4)], 5);
    EXPECT_EQ(rig.game.Display[CellIndex(2, 4)], 0);
}

TEST(FigureFits, EmptyBoxCellsMayHangPastTheBorder)
{
    Rig rig;
    const Grid& well = rig.game.Stack;
    EXPECT_TRUE(TFigure::Fits(well, 3, 18, SingleCell));          // box rows 19, 20 empty
    EXPECT_FALSE(TFigure::Fits(well, 3, 19, SingleCell));         // cell on the bottom border
    EXPECT_TRUE(TFigure::Fits(well, 0, 1, VerticalThree));        // box column 0 on the border
    EXPECT_FALSE(TFigure::Fits(well, 7, 1, VerticalThree));       // cell on the right border
    EXPECT_FALSE(TFigure::Fits(well, 3, 17, VerticalThree));      // bottom cell on row 19
    Grid marked = well;
    marked[CellIndex(5, 4)] = CellMarked;
    EXPECT_FALSE(TFigure::Fits(marked, 3, 5, SingleCell));        // marks block too
}

TEST(FigureMove, RefusedMovesLeaveTheFigureUnchanged)
{
    struct Case {
        const char* name;
        Box cells;
        int x, y;
        MoveDirection direction;
        bool moved;
        int expectX, expectY;
    };
    using enum MoveDirection;
    const Case cases[] = {
        {"left from X 0 is refused before any grid test", VerticalThree, 0, 1, Left, false, 0, 1},
        {"left into column 0", Corner, 1, 1, Left, false, 1, 1},
        {"right into column 8", VerticalThree, 6, 1, Right, false, 6, 1},
        {"right inside the well", VerticalThree, 3, 1, Right, true, 4, 1},
        {"left inside the well", VerticalThree, 3, 1, Left, true, 2, 1},
        {"down inside the well", VerticalThree, 3, 1, Down, true, 3, 2},
        {"down onto the floor", VerticalThree, 3, 16, Down, false, 3, 16},
        {"onto a settled cell", VerticalThree, 3, 5, Right, false, 3, 5},
        {"a value outside the three", VerticalThree, 3, 1, static_cast<MoveDirection>(3), false, 3, 1},
    };
    for (const Case& c : cases) {
        Rig rig;
        MakeRunning(rig.game);
        rig.game.Stack[CellIndex(6, 5)] = 4;
        SetFigure(rig.game, c.cells, c.x, c.y);
        const Grid before = rig.game.Stack;
        EXPECT_EQ(rig.game.Move(c.direction), c.moved) << c.name;
        EXPECT_EQ(rig.game.Figure.X, c.expectX) << c.name;
        EXPECT_EQ(rig.game.Figure.Y, c.expectY) << c.name;
        EXPECT_EQ(rig.game.Figure.Cells, c.cells) << c.name;
        EXPECT_EQ(rig.game.Stack, before) << c.name;
    }
}

TEST(FigureRotate, TurnsAboutTheCentreInScreenDirection)
{
    struct Case {
        const char* name;
        std::vector<bool> turns;   // true: clockwise
        Box expected;
    } cases[] = {
        {"clockwise lies c b a", {true}, {0, 0, 0, 3, 2, 1, 0, 0, 0}},
        {"counter-clockwise lies a b c", {false}, {0, 0, 0, 1, 2, 3, 0, 0, 0}},
        {"clockwise twice stands c b a", {true, true}, {0, 3, 0, 0, 2, 0, 0, 1, 0}},
        {"there and back", {true, false}, VerticalThree},
        {"four quarter turns", {false, false, false, false}, VerticalThree},
    };
    for (const Case& c : cases) {
        Rig rig;
        MakeRunning(rig.game);
        SetFigure(rig.game, VerticalThree, 3, 5);
        for (bool clockwise : c.turns)
            rig.game.Rotate(clockwise);
        EXPECT_EQ(rig.game.Figure.Cells, c.expected) << c.name;
    }

    // The corner: cells travel with their colours.
    Rig rig;
    MakeRunning(rig.game);
    SetFigure(rig.game, {0, 1, 0, 2, 3, 0, 0, 0, 0}, 3, 5);
    rig.game.Rotate(true);
    EXPECT_EQ(rig.game.Figure.Cells, (Box{0, 2, 0, 0, 3, 1, 0, 0, 0}));
    EXPECT_EQ(rig.game.Figure.Width, 2);
    EXPECT_EQ(rig.game.Figure.Height, 2);
}

TEST(FigureRotate, SingleCellNeverTurns)
{
    Rig rig;
    MakeRunning(rig.game);
    SetFigure(rig.game, SingleCell, 3, 1);
    TFigure& figure = rig.game.Figure;
    EXPECT_TRUE(figure.Rotate(rig.game.Stack, true));
    EXPECT_EQ(figure.Cells, SingleCell);
}

TEST(FigureRotate, RefusedTurnKeepsCellsAndExtent)
{
    struct Case {
        const char* name;
        int x;
        bool settledCell;
    } cases[] = {
        {"onto the left border", 0, false},
        {"onto the right border", 6, false},
        {"onto a settled cell", 3, true},
    };
    for (const Case& c : cases) {
        Rig rig;
        MakeRunning(rig.game);
        if (c.settledCell)
            rig.game.Stack[CellIndex(6, 5)] = 2;
        SetFigure(rig.game, VerticalThree, c.x, 5);
        EXPECT_FALSE(rig.game.Figure.Rotate(rig.game.Stack, true)) << c.name;
        EXPECT_EQ(rig.game.Figure.Cells, VerticalThree) << c.name;
        EXPECT_EQ(rig.game.Figure.Width, 1) << c.name;
        EXPECT_EQ(rig.game.Figure.Height, 3) << c.name;
    }
}

TEST(FigureDrop, FallsUntilOneMoreRowWouldCollideWithoutLanding)
{
    Rig rig;
    MakeRunning(rig.game);
    PutBottomRows(rig.game.Stack, {"...1...", "...2...", "..333.."});
    SetFigure(rig.game, VerticalThree, 3, 1);
    const Grid before = rig.game.Stack;
    rig.game.Drop(rig.game.Stack);
    EXPECT_EQ(rig.game.Figure.Y, 13);   // bottom cell on row 15, above the 1 in row 16
    EXPECT_EQ(rig.game.Stack, before);
    EXPECT_TRUE(rig.host.Notifications.empty());

    EXPECT_FALSE(rig.game.Move(MoveDirection::Down)) << "a resting figure cannot be pushed down";
    EXPECT_EQ(rig.game.Stack, before) << "pushing down never lands the figure";
}

TEST(FigureOperations, DoNothingWhileIdleOrPaused)
{
    for (bool paused : {false, true}) {
        Rig rig;
        MakeRunning(rig.game);
        SetFigure(rig.game, VerticalThree, 3, 5);
        if (paused)
            rig.game.SetPaused(true);
        else
            rig.game.SetRunning(false);
        EXPECT_FALSE(rig.game.Move(MoveDirection::Left));
        EXPECT_FALSE(rig.game.Move(MoveDirection::Right));
        EXPECT_FALSE(rig.game.Move(MoveDirection::Down));
        rig.game.Rotate(true);
        rig.game.Drop(rig.game.Stack);
        EXPECT_FALSE(rig.game.StepDown());
        EXPECT_EQ(rig.game.Figure.X, 3);
        EXPECT_EQ(rig.game.Figure.Y, 5);
        EXPECT_EQ(rig.game.Figure.Cells, VerticalThree);
    }
}

TEST(ComposeDisplay, CopiesTheStackAndOptionallyTheFigure)
{
    Rig rig;
    MakeRunning(rig.game);
    PutBottomRows(rig.game.Stack, {"1.2.3.4"});
    SetFigure(rig.game, VerticalThree, 0, 2);
    const Grid stack = rig.game.Stack;

    rig.game.ComposeDisplay(rig.game.Display, false);
    EXPECT_EQ(rig.game.Display, stack);

    rig.game.ComposeDisplay(rig.game.Display, true);
    EXPECT_EQ(rig.game.Stack, stack);
    Grid expected = stack;
    expected[CellIndex(2, 1)] = 1;
    expected[CellIndex(3, 1)] = 2;
    expected[CellIndex(4, 1)] = 3;
    EXPECT_EQ(rig.game.Display, expected);

    rig.game.ComposeDisplay(rig.game.Stack, true);
    EXPECT_EQ(rig.game.Stack, expected) << "composing into Stack writes the figure into it";
}

}  // namespace
