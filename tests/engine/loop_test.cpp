// The game loop driven headless, as the tools drive it: the sequence of a
// landing, the hard drop's grace with and without keys, and the autopilot's
// games.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/game_loop.h"
#include "support/test_host.h"

namespace {

using Calls = std::vector<std::string>;

struct LoopRig : Rig {
    GameLoop loop{game};
    explicit LoopRig(std::uint32_t seed = 1) : Rig(seed) {}
};

// A running game with a vertical line of three (colours 1, 2, 3 from the
// top) at the given place.
void PlaceColumn(LoopRig& rig, int x, int y)
{
    rig.game.StartGame();
    rig.loop.GameStarted();
    SetFigure(rig.game, {0, 1, 0, 0, 2, 0, 0, 3, 0}, x, y);
    rig.host.Clear();
}

Calls Without(Calls calls, const std::string& prefix)
{
    calls.erase(std::remove_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }),
                calls.end());
    return calls;
}

TEST(Landing, SoundCascadeRedrawWaitThenTheAutopilotsMove)
{
    for (const bool autopilot : {false, true}) {
        for (const bool sound : {false, true}) {
            LoopRig rig;
            PlaceColumn(rig, 2, 16);   // its bottom cell on row 18
            rig.game.SoundOn = sound;
            ASSERT_TRUE(rig.loop.FallTick());
            rig.host.Clear();
            rig.loop.Landed(autopilot);
            const Calls calls = Without(rig.host.Calls, "post");
            // The cascade holds the fall timer; nothing lies in a line, so it only spawns.
            Calls expected = {"timer off", "timer on", "draw", "delay 100"};
            if (sound)
                expected.insert(expected.begin(), "sound");
            const auto wait = std::find(calls.begin(), calls.end(), "delay 100");
            ASSERT_NE(wait, calls.end());
            EXPECT_EQ(Calls(calls.begin(), wait + 1), expected) << autopilot << sound;
            // After the wait only the autopilot's trials (which restart the
            // fall timer) and the redraw of its move.
            const Calls after(wait + 1, calls.end());
            if (!autopilot) {
                EXPECT_TRUE(after.empty());
                EXPECT_EQ(rig.game.Figure.Y, rig.game.StartRow);
                continue;
            }
            ASSERT_FALSE(after.empty());
            EXPECT_EQ(after.back(), "draw");
            EXPECT_EQ(Without(Without(Calls(after.begin(), after.end() - 1), "timer on"), "timer off"), Calls{});
            // The autopilot leaves the new figure at the bottom of its fall.
            EXPECT_FALSE(TFigure::Fits(rig.game.Stack, rig.game.Figure.X, rig.game.Figure.Y + 1, rig.game.Figure.Cells));
        }
    }
}

// DropGrace after each drop-timer tick, from a hard drop on; 'k' marks a
// tick after a command key, '.' one without.
TEST(DropGrace, GrowsByNineFifthsAndShrinksByThreeFifthsAfterAKey)
{
    const struct {
        const char* ticks;
        std::vector<int> grace;
    } cases[] = {
        {"......", {2, 4, 7, 13, 23, 41}},
        {"kkk", {1, 1, 1}},   // 0.6 rounds back to 1
        {"......k.", {2, 4, 7, 13, 23, 41, 25, 45}},
        {".......kk.", {2, 4, 7, 13, 23, 41, 74, 44, 26, 47}},
        {"........k", {2, 4, 7, 13, 23, 41, 74, 133, 80}},
    };
    for (const auto& c : cases) {
        LoopRig rig;
        rig.game.StartGame();
        rig.loop.GameStarted();
        rig.loop.HardDrop();
        std::vector<int> grace;
        for (const char* t = c.ticks; *t; ++t) {
            bool key = *t == 'k';
            rig.loop.GraceTick(940, key);
            EXPECT_FALSE(key) << "a tick that counts clears the key";
            grace.push_back(rig.loop.DropGrace);
        }
        EXPECT_EQ(grace, c.grace) << c.ticks;
        EXPECT_TRUE(rig.loop.DropTimerOn);
    }
}

TEST(DropGrace, KeysPutOffTheLandingUntilTheyStop)
{
    // At 940 ms the grace passes on the 12th quiet tick. Keys on ticks 5 to
    // 9 bring it from 13 back to 1 (8, 5, 3, 2, 1); twelve quiet ticks more
    // pass 940.
    LoopRig rig;
    PlaceColumn(rig, 2, 1);
    rig.loop.HardDrop();
    EXPECT_EQ(rig.host.Calls, (Calls{"timer off", "drop timer on"}));
    int tick = 0;
    bool landed = false;
    while (!landed && tick < 60) {
        ++tick;
        bool key = tick >= 5 && tick <= 9;
        landed = rig.loop.GraceTick(940, key);
    }
    EXPECT_EQ(tick, 21);
    EXPECT_FALSE(rig.loop.DropTimerOn);
    EXPECT_EQ(rig.loop.DropGrace, 1);
    EXPECT_TRUE(rig.host.FallTimerOn);
    EXPECT_FALSE(rig.host.DropTimerOn);
}

TEST(DropGrace, AFigureSlidOverAGapFallsOnInsteadOfLanding)
{
    LoopRig rig;
    PlaceColumn(rig, 2, 1);
    // A ledge under column 3 only: dropped on it, then slid left over the gap.
    rig.game.Stack[CellIndex(18, 3)] = 4;
    rig.loop.HardDrop();
    ASSERT_EQ(rig.game.Figure.Y, 15);
    ASSERT_TRUE(rig.game.Move(MoveDirection::Left));
    bool key = true;
    int ticks = 1;
    bool landed = rig.loop.GraceTick(100, key);
    for (; !landed && rig.loop.DropTimerOn && ticks < 30; ++ticks)
        landed = rig.loop.GraceTick(100, key);
    EXPECT_FALSE(landed);
    EXPECT_FALSE(rig.loop.DropTimerOn) << "the fall timer took over";
    EXPECT_EQ(rig.game.Figure.Y, 16) << "one row further down";
}

TEST(DropGrace, APauseFreezesItAndKeepsTheKey)
{
    LoopRig rig;
    PlaceColumn(rig, 2, 1);
    rig.loop.HardDrop();
    bool key = false;
    rig.loop.GraceTick(940, key);
    rig.game.SetPaused(true);
    key = true;
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(rig.loop.GraceTick(10, key));
    EXPECT_EQ(rig.loop.DropGrace, 2);
    EXPECT_TRUE(key);
    EXPECT_TRUE(rig.loop.DropTimerOn);
}

TEST(DropGrace, ANewGameOrTheEndOfOneCancelsIt)
{
    for (const bool restart : {true, false}) {
        LoopRig rig;
        PlaceColumn(rig, 2, 1);
        rig.loop.HardDrop();
        rig.host.Clear();
        if (restart) {
            rig.loop.GameStarted();
            EXPECT_EQ(rig.host.Calls, (Calls{"timer on", "drop timer off"}));
        } else {
            rig.loop.GameEnded();
            EXPECT_EQ(rig.host.Calls, (Calls{"timer off", "drop timer off"}));
        }
        EXPECT_FALSE(rig.loop.DropTimerOn);
    }
}

TEST(LevelClock, CountsFallTicksOfARunningUnpausedGame)
{
    LoopRig rig;
    for (int i = 0; i < 60; ++i)
        rig.loop.FallTick();
    EXPECT_EQ(rig.loop.TicksInLevel, 60) << "ticks without a game count";
    EXPECT_EQ(rig.game.Level, 0);
    rig.game.StartGame();
    rig.loop.GameStarted();
    EXPECT_EQ(rig.loop.TicksInLevel, 0);
    for (int i = 0; i < 55; ++i)
        rig.loop.SecsInLevel();
    EXPECT_EQ(rig.game.Level, 1);
    rig.loop.SecsInLevel();
    EXPECT_EQ(rig.game.Level, 2);
    EXPECT_EQ(rig.loop.TicksInLevel, 0);
    rig.game.SetPaused(true);
    const std::int64_t ticks = rig.loop.FallTicks;
    rig.loop.FallTick();
    EXPECT_EQ(rig.loop.FallTicks, ticks) << "a paused fall tick does nothing";
    EXPECT_EQ(rig.loop.TicksInLevel, 0);
}

}  // namespace
