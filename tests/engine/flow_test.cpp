#include <gtest/gtest.h>

#include "support/test_host.h"

namespace {

using Box = TFigure::Box;
using Codes = std::vector<int>;
constexpr Box VerticalThree{0, 1, 0, 0, 2, 0, 0, 3, 0};

TEST(EngineConstruction, StartsIdleWithDefaultsAndPostsNothing)
{
    Rig rig;
    const TADTetrisGame& g = rig.game;
    EXPECT_FALSE(g.Running);
    EXPECT_FALSE(g.Paused);
    EXPECT_TRUE(g.Enabled);
    EXPECT_EQ(g.Interval, 0);
    EXPECT_EQ(g.Level, 0);
    EXPECT_EQ(g.Score, 0);
    EXPECT_EQ(g.RecordPlace, 0);
    EXPECT_FALSE(g.SoundOn);
    EXPECT_EQ(g.MaxLevel, 16);
    EXPECT_EQ(g.StartCol, 3);
    EXPECT_EQ(g.StartRow, 1);
    EXPECT_EQ(g.StartLevel, 1);
    EXPECT_EQ(g.BaseInterval, 1000);
    EXPECT_EQ(g.MinInterval, 60);
    EXPECT_EQ(g.IntervalStep, 60);
    EXPECT_EQ(g.Figure.Cells, Box{});
    EXPECT_TRUE(rig.host.Notifications.empty());
}

TEST(StartGame, PostsLevelScoreIntervalThenStartOnAFreshEngine)
{
    Rig rig;
    rig.game.StartGame();
    EXPECT_EQ(rig.host.Notifications, (Codes{10, 11, 8, 1}));
    EXPECT_TRUE(rig.game.Running);
    EXPECT_FALSE(rig.game.Paused);
    EXPECT_EQ(rig.game.Level, 1);
    EXPECT_EQ(rig.game.Score, 0);
    EXPECT_EQ(rig.game.Interval, 940);
    for (const TFigure* f : {&rig.game.Figure, &rig.game.NextFigure}) {
        EXPECT_EQ(f->X, 3);
        EXPECT_EQ(f->Y, 1);
    }
    Grid expected = rig.game.Stack;
    rig.game.Figure.StampInto(expected);
    EXPECT_EQ(rig.game.Display, expected) << "the first figure shows at once";
}

TEST(StartGame, SkipsTheIntervalNoticeWhenTheIntervalIsUnchanged)
{
    Rig rig;
    rig.game.StartGame();
    rig.game.GameOver();
    rig.host.Clear();
    rig.game.StartGame();
    EXPECT_EQ(rig.host.Notifications, (Codes{10, 11, 1}));
}

TEST(StartGame, ResetsTheWellScoreAndLevelOfTheLastGame)
{
    Rig rig;
    rig.game.StartGame();
    rig.game.Stack[CellIndex(18, 1)] = 4;
    rig.game.SetScore(1234);
    rig.game.SetLevel(9);
    rig.game.GameOver();
    rig.game.StartGame();
    Grid empty;
    rig.game.InitWell(empty);
    EXPECT_EQ(rig.game.Stack, empty);
    EXPECT_EQ(rig.game.Score, 0);
    EXPECT_EQ(rig.game.Level, 1);
}

TEST(Levels, IntervalFollowsTheLevelAtTheNextSpawnOnly)
{
    for (int level = 1; level <= 16; ++level) {
        Rig rig;
        rig.game.StartGame();
        rig.host.Clear();
        rig.game.SetLevel(level);
        EXPECT_EQ(rig.host.Notifications, (Codes{10})) << "level notice at once";
        EXPECT_EQ(rig.game.Interval, 940) << "no speed-up before the next figure";
        rig.game.SpawnNext();
        EXPECT_EQ(rig.game.Interval, 1000 - 60 * level) << "level " << level;
        const Codes expected = level == 1 ? Codes{10} : Codes{10, 8};
        EXPECT_EQ(rig.host.Notifications, expected) << "level " << level;
    }
}

TEST(Levels, NeverPassTheMaximum)
{
    Rig rig;
    rig.game.StartGame();
    for (int n : {16, 17, 40, 255}) {
        rig.game.SetLevel(n);
        EXPECT_EQ(rig.game.Level, 16);
    }
    rig.game.SpawnNext();
    EXPECT_EQ(rig.game.Interval, 40) << "the minimum applies only to intervals of 0 or less";
}

TEST(Levels, SetScoreAndSetLevelPostEvenWhenUnchanged)
{
    Rig rig;
    rig.game.StartGame();
    rig.host.Clear();
    rig.game.SetLevel(1);
    rig.game.SetScore(0);
    rig.game.SetInterval(940);
    EXPECT_EQ(rig.host.Notifications, (Codes{10, 11}));
}

TEST(Pause, ActsOnlyWhileAGameRuns)
{
    Rig rig;
    rig.game.SetPaused(true);
    EXPECT_FALSE(rig.game.Paused);
    rig.game.StartGame();
    rig.game.SetPaused(true);
    EXPECT_TRUE(rig.game.Paused);
    EXPECT_FALSE(rig.game.StepDown());
    rig.game.SetPaused(false);
    EXPECT_FALSE(rig.game.Paused);
}

TEST(StepDown, FallsOneRowQuietlyOrLandsWithANotice)
{
    Rig rig;
    rig.game.StartGame();
    SetFigure(rig.game, VerticalThree, 3, 15);
    rig.host.Clear();
    EXPECT_FALSE(rig.game.StepDown());
    EXPECT_EQ(rig.game.Figure.Y, 16);
    EXPECT_TRUE(rig.host.Notifications.empty());

    EXPECT_TRUE(rig.game.StepDown());
    EXPECT_EQ(rig.host.Notifications, (Codes{6}));
    EXPECT_EQ(rig.game.Stack[CellIndex(16, 4)], 1);
    EXPECT_EQ(rig.game.Stack[CellIndex(17, 4)], 2);
    EXPECT_EQ(rig.game.Stack[CellIndex(18, 4)], 3);
    EXPECT_EQ(rig.game.Figure.Cells, VerticalThree) << "the landed figure stays until the spawn";
}

TEST(SpawnNext, BringsInThePreparedFigureAndPreparesAnother)
{
    Rig rig;
    rig.game.StartGame();
    const TFigure next = rig.game.NextFigure;
    rig.game.SpawnNext();
    EXPECT_EQ(rig.game.Figure.Cells, next.Cells);
    EXPECT_EQ(rig.game.Figure.X, 3);
    EXPECT_EQ(rig.game.Figure.Y, 1);
    EXPECT_EQ(rig.game.NextFigure.X, 3);
    EXPECT_EQ(rig.game.NextFigure.Y, 1);
    EXPECT_TRUE(rig.game.Running);
}

TEST(SpawnNext, EndsTheGameWhenTheNewFigureMeetsASettledCell)
{
    struct Case {
        const char* name;
        int row, col;
        bool over;
    } cases[] = {
        {"cell under the figure's bottom", 3, 4, true},
        {"cell at the box top", 1, 4, true},
        {"cell beside the figure, in the box", 2, 5, false},
        {"cell below the box", 4, 4, false},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.game.StartGame();
        rig.game.NextFigure.Cells = VerticalThree;
        rig.game.NextFigure.RecomputeExtent();
        rig.game.Stack[CellIndex(c.row, c.col)] = 6;
        rig.host.Clear();
        rig.game.SpawnNext();
        EXPECT_EQ(rig.game.Running, !c.over) << c.name;
        EXPECT_EQ(rig.host.Notifications == Codes{2}, c.over) << c.name;
        EXPECT_EQ(rig.game.Figure.Cells, VerticalThree) << c.name << ": the new figure stays even at game over";
    }
}

TEST(GameOver, FreezesTheFinishedGame)
{
    Rig rig;
    rig.game.StartGame();
    rig.game.SetScore(321);
    rig.game.Stack[CellIndex(18, 2)] = 5;
    rig.game.ComposeDisplay(rig.game.Display, true);
    rig.host.Clear();
    rig.game.GameOver();
    EXPECT_EQ(rig.host.Notifications, (Codes{2}));
    EXPECT_FALSE(rig.game.Running);

    const Grid stack = rig.game.Stack, display = rig.game.Display;
    const TFigure figure = rig.game.Figure, next = rig.game.NextFigure;
    EXPECT_FALSE(rig.game.StepDown());
    EXPECT_FALSE(rig.game.Move(MoveDirection::Left));
    EXPECT_FALSE(rig.game.Move(MoveDirection::Right));
    EXPECT_FALSE(rig.game.Move(MoveDirection::Down));
    rig.game.Rotate(true);
    rig.game.Drop(rig.game.Stack);
    rig.game.SpawnNext();
    rig.game.SetPaused(true);
    EXPECT_EQ(rig.game.Stack, stack);
    EXPECT_EQ(rig.game.Display, display);
    EXPECT_EQ(rig.game.Score, 321);
    EXPECT_EQ(rig.game.Figure.Cells, figure.Cells);
    EXPECT_EQ(rig.game.Figure.Y, figure.Y);
    EXPECT_EQ(rig.game.NextFigure.Cells, next.Cells);
    EXPECT_FALSE(rig.game.Paused);
    EXPECT_EQ(rig.host.Notifications, (Codes{2}));
}

TEST(Random, TheSameSeedPlaysTheSameFigures)
{
    Rig a(42), b(42), c(43);
    a.game.StartGame();
    b.game.StartGame();
    c.game.StartGame();
    bool differs = false;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(a.game.Figure.Cells, b.game.Figure.Cells);
        differs = differs || a.game.Figure.Cells != c.game.Figure.Cells;
        a.game.SpawnNext();
        b.game.SpawnNext();
        c.game.SpawnNext();
    }
    EXPECT_TRUE(differs);
}

}  // namespace
