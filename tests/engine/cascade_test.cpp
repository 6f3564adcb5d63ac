#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

#include "engine/headless_host.h"
#include "support/test_host.h"

namespace {

using Rows = std::vector<std::string>;

struct CascadeCase {
    const char* name;
    int level;
    Rows before;
    int points, chains, removed, bonus;
    Rows after;
};

TEST(LandingCascade, ScoresChainsAndBonusesAsPlayed)
{
    const CascadeCase cases[] = {
        {"three in a row at level 1", 1, WellOf({"111...."}), 18, 1, 3, 0, WellOf({})},
        {"three in a row at level 2", 2, WellOf({"..222.."}), 36, 1, 3, 0, WellOf({})},
        {"five in a line", 1, WellOf({"33333.."}), 45, 1, 5, 0, WellOf({})},
        {"six in one chain earn the bonus", 1, WellOf({"444444."}), 1063, 1, 6, 1000, WellOf({})},
        {"a sinking that forms a second line", 2, WellOf({"..1....", "..2....", "..2....", "112...."}), 4126, 2,
         6, 4000, WellOf({})},
        {"crossing lines share their cell", 1, WellOf({"1......", "1......", "1114..."}), 45, 1, 5, 0,
         WellOf({"...4..."})},
        {"four on a rising diagonal", 1, WellOf({"...5...", "..51...", ".523...", "5234..."}), 30, 1, 4, 0,
         WellOf({"...1...", "..23...", ".234..."})},
        {"three on a falling diagonal", 1, WellOf({"2......", "32.....", "432...."}), 18, 1, 3, 0,
         WellOf({"3......", "43....."})},
        {"no line scores nothing", 3, WellOf({"1212121", "2121212"}), 0, 0, 0, 0, WellOf({"1212121", "2121212"})},
        {"a cell above a gap does not sink", 1,
         WellOf({"4......", ".......", "5......", "6......", "1......", "1......", "1......"}), 18, 1, 3, 0,
         WellOf({"4......", ".......", ".......", ".......", ".......", "5......", "6......"})},
    };
    for (const CascadeCase& c : cases) {
        Rig rig;
        rig.game.Level = static_cast<std::uint8_t>(c.level);
        PutBottomRows(rig.game.Stack, c.before);
        const CascadeResult result = rig.game.RunLandingCascade();
        EXPECT_EQ(result.points, c.points) << c.name;
        EXPECT_EQ(result.chains, c.chains) << c.name;
        EXPECT_EQ(result.removed, c.removed) << c.name;
        EXPECT_EQ(result.bonus, c.bonus) << c.name;
        EXPECT_EQ(WellRows(rig.game.Stack), c.after) << c.name;
    }
}

TEST(MarkMatches, FindsLinesOfEveryDirectionAndNoOthers)
{
    struct Case {
        const char* name;
        Rows well;
        bool found;
        int marked;
    } cases[] = {
        {"two of a kind", WellOf({"11....."}), false, 0},
        {"seven across", WellOf({"2222222"}), true, 7},
        {"eighteen high", Rows(18, "3......"), true, 18},
        {"no wrap from column 7 into the next row", WellOf({"......1", "11....."}), false, 0},
        {"broken by another colour", WellOf({"1121..."}), false, 0},
        {"broken by an empty cell", WellOf({"11.1..."}), false, 0},
        {"rising diagonal of three", WellOf({"..1....", ".12....", "123...."}), true, 3},
        {"falling diagonal at the right wall", WellOf({"....1..", "....21.", "....321"}), true, 3},
    };
    for (const Case& c : cases) {
        Rig rig;
        PutBottomRows(rig.game.Stack, c.well);
        EXPECT_EQ(rig.game.MarkMatches(rig.game.Display), c.found) << c.name;
        int marked = 0;
        for (int row = 0; row < 20; ++row)
            for (int col = 0; col < 9; ++col) {
                const auto cell = rig.game.Stack[CellIndex(row, col)];
                marked += cell == CellMarked;
                if (col == 0 || col == 8 || row == 19) {
                    EXPECT_EQ(cell, CellBorder) << c.name;
                }
            }
        EXPECT_EQ(marked, c.marked) << c.name;
        EXPECT_EQ(rig.game.Display, rig.game.Stack) << c.name << ": the marks grid gets the same picture";
    }
}

TEST(MarkMatches, MarksExactlyTheCellsOfEveryRunInEveryDirection)
{
    // A run of n cells of one colour, alone in the well, at the floor and
    // against the hidden row 0. Runs of three or more are marked cell for
    // cell, shorter ones not at all.
    struct Run {
        const char* name;
        int dr, dc;
        int (*startRow)(int n);
        int (*startCol)(int n);
    } runs[] = {
        {"across on the floor", 0, 1, [](int) { return 18; }, [](int) { return 1; }},
        {"across in row 1", 0, 1, [](int) { return 1; }, [](int n) { return 8 - n; }},
        {"down to the floor", 1, 0, [](int n) { return 19 - n; }, [](int) { return 7; }},
        {"down from row 1", 1, 0, [](int) { return 1; }, [](int) { return 1; }},
        {"down-right to the floor", 1, 1, [](int n) { return 19 - n; }, [](int) { return 1; }},
        {"down-right from row 1", 1, 1, [](int) { return 1; }, [](int n) { return 8 - n; }},
        {"up-right from the floor", -1, 1, [](int) { return 18; }, [](int n) { return 8 - n; }},
        {"up-right to row 1", -1, 1, [](int n) { return n; }, [](int) { return 1; }},
    };
    for (const Run& run : runs) {
        const int longest = run.dc == 0 ? 18 : 7;
        for (int n = 2; n <= longest; ++n) {
            Rig rig;
            Grid expected = rig.game.Stack;
            for (int k = 0; k < n; ++k) {
                const int index = CellIndex(run.startRow(n) + k * run.dr, run.startCol(n) + k * run.dc);
                rig.game.Stack[index] = 4;
                expected[index] = n >= 3 ? CellMarked : 4;
            }
            EXPECT_EQ(rig.game.MarkMatches(rig.game.Display), n >= 3) << run.name << ", " << n;
            EXPECT_EQ(rig.game.Stack, expected) << run.name << ", " << n;
        }
    }
}

TEST(RemoveMarkedCell, TakesTheTopmostThenLeftmostMarkAndSinksOnlyTheRunAbove)
{
    Grid well{};
    Rig rig;
    rig.game.InitWell(well);
    PutBottomRows(well, {"..6....", "..5....", ".......", "..4....", "..3....", "..77...", "7......"});
    // Removal order: row 17 column 3, row 17 column 4, row 18 column 1.
    ASSERT_TRUE(TADTetrisGame::RemoveMarkedCell(well));
    EXPECT_EQ(WellRows(well), WellOf({"..6....", "..5....", ".......", ".......", "..4....", "..37...", "7......"}));
    ASSERT_TRUE(TADTetrisGame::RemoveMarkedCell(well));
    EXPECT_EQ(WellRows(well), WellOf({"..6....", "..5....", ".......", ".......", "..4....", "..3....", "7......"}));
    ASSERT_TRUE(TADTetrisGame::RemoveMarkedCell(well));
    EXPECT_FALSE(TADTetrisGame::RemoveMarkedCell(well));
    EXPECT_EQ(WellRows(well), WellOf({"..6....", "..5....", ".......", ".......", "..4....", "..3....", "......."}));
}

TEST(ResolveLanding, DrivesTheHostInAnimationOrder)
{
    struct Case {
        const char* name;
        bool sound;
        std::vector<std::string> calls;
    } cases[] = {
        {"with sound",
         true,
         {"timer off", "draw", "sound", "delay 15", "draw", "caption 103 repaint", "sound", "delay 15", "draw",
          "caption 109 repaint", "sound", "delay 15", "draw", "caption 118 repaint", "post 11", "timer on"}},
        {"without sound",
         false,
         {"timer off", "draw", "delay 20", "draw", "caption 103 repaint", "delay 20", "draw", "caption 109 repaint",
          "delay 20", "draw", "caption 118 repaint", "post 11", "timer on"}},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.game.StartGame();
        rig.game.SoundOn = c.sound;
        rig.game.Score = 100;
        // Keep the spawned figure clear of the game-over test.
        PutBottomRows(rig.game.Stack, {"111...."});
        rig.host.Clear();
        rig.game.ResolveLanding();
        EXPECT_EQ(rig.host.Calls, c.calls) << c.name;
        EXPECT_EQ(rig.game.Score, 118) << c.name;
        EXPECT_TRUE(rig.host.FallTimerOn) << c.name;
    }
}

TEST(ResolveLanding, ShowsTheBonusBeforeStoringTheScore)
{
    Rig rig;
    rig.game.StartGame();
    PutBottomRows(rig.game.Stack, {"555555."});
    rig.host.Clear();
    rig.game.ResolveLanding();
    const auto& calls = rig.host.Calls;
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[calls.size() - 4], "bonus 1000");
    EXPECT_EQ(calls[calls.size() - 3], "caption 1063");
    EXPECT_EQ(calls[calls.size() - 2], "post 11");
    EXPECT_EQ(calls.back(), "timer on");
    EXPECT_EQ(rig.game.Score, 1063);
}

TEST(ResolveLanding, NoLineOnlySpawnsTheNextFigure)
{
    Rig rig;
    rig.game.StartGame();
    rig.game.Score = 77;
    PutBottomRows(rig.game.Stack, {"12....."});
    const TFigure next = rig.game.NextFigure;
    rig.host.Clear();
    rig.game.ResolveLanding();
    EXPECT_EQ(rig.host.Calls, (std::vector<std::string>{"timer off", "timer on"}));
    EXPECT_EQ(rig.game.Score, 77);
    EXPECT_EQ(rig.game.Figure.Cells, next.Cells);
}

TEST(ResolveLanding, ScoreSaturatesInsteadOfWrapping)
{
    Rig rig;
    rig.game.StartGame();
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    rig.game.Score = max - 5;
    rig.game.SetLevel(16);
    PutBottomRows(rig.game.Stack, {"666666."});
    rig.game.ResolveLanding();
    EXPECT_EQ(rig.game.Score, max);
    for (const std::string& call : rig.host.Calls)
        if (call.rfind("caption", 0) == 0) {
            EXPECT_EQ(call.substr(0, 18), "caption 2147483647") << call;
        }
    EXPECT_EQ(AddSaturated(max, 1), max);
    EXPECT_EQ(AddSaturated(0, std::int64_t(max) * 4), max);
    EXPECT_EQ(AddSaturated(5, 7), 12);
}

TEST(ResolveLanding, CanEndTheGameAtTheSpawn)
{
    Rig rig;
    rig.game.StartGame();
    for (int row = 1; row <= 18; ++row)
        rig.game.Stack[CellIndex(row, 4)] = static_cast<std::uint8_t>(row % 2 + 1);
    rig.host.Clear();
    rig.game.ResolveLanding();
    EXPECT_FALSE(rig.game.Running);
    EXPECT_EQ(rig.host.Calls.front(), "timer off");
    EXPECT_EQ(rig.host.Calls[rig.host.Calls.size() - 2], "post 2");
    EXPECT_EQ(rig.host.Calls.back(), "timer on");
}

TEST(PlayRecordSound, SilentSpeakerOrWaveByTheOptions)
{
    struct Case {
        bool soundOn, speaker;
        std::size_t calls;
    } cases[] = {
        {false, false, 0},
        {false, true, 0},
        {true, false, 1},
        {true, true, 32},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.game.SoundOn = c.soundOn;
        rig.host.ToSpeaker = c.speaker;
        rig.game.PlayRecordSound();
        EXPECT_EQ(rig.host.Calls.size(), c.calls) << c.soundOn << c.speaker;
        if (c.soundOn && !c.speaker) {
            EXPECT_EQ(rig.host.Calls, (std::vector<std::string>{"wave"}));
        }
    }
}

TEST(PlayRecordSound, SpeakerFanfareRisesThenFallsInTwoMillisecondTones)
{
    Rig rig;
    rig.game.SoundOn = true;
    rig.host.ToSpeaker = true;
    rig.game.PlayRecordSound();
    std::vector<int> pitches;
    for (const std::string& call : rig.host.Calls) {
        int pitch = -1, ms = -1;
        ASSERT_EQ(std::sscanf(call.c_str(), "beep %d %d", &pitch, &ms), 2) << call;
        EXPECT_EQ(ms, 2) << call;
        pitches.push_back(pitch);
    }
    ASSERT_EQ(pitches.size(), 32u);
    // 21 tones up from 1500 Hz to 3900 Hz, then 11 down from 1500 Hz to silence.
    EXPECT_EQ(pitches[0], 1500);
    EXPECT_EQ(pitches[20], 3900);
    EXPECT_EQ(pitches[21], 1500);
    EXPECT_EQ(pitches[31], 0);
    for (int i = 1; i <= 20; ++i)
        EXPECT_EQ(pitches[i] - pitches[i - 1], 120) << i;
    for (int i = 22; i <= 31; ++i)
        EXPECT_EQ(pitches[i] - pitches[i - 1], -150) << i;
}

TEST(ResolveLanding, ItsWaitsEndAPauseOnlyWhenCellsAreRemoved)
{
    // The window's wait pauses and unpauses the game, as the sim's host does;
    // the next figure comes in only when the game is no longer paused.
    struct Case {
        const char* name;
        std::vector<std::string> bottom;
        bool pausedAfter;
    } cases[] = {
        {"a line: every removal waits", {"111...."}, false},
        {"no line: no wait", {"12....."}, true},
    };
    for (const Case& c : cases) {
        HeadlessHost host;
        TADTetrisGame game(host);
        host.Attach(&game);
        game.StartGame();
        PutBottomRows(game.Stack, c.bottom);
        const TFigure falling = game.Figure, next = game.NextFigure;
        game.SetPaused(true);
        game.ResolveLanding();
        EXPECT_TRUE(game.Running) << c.name;
        EXPECT_EQ(game.Paused, c.pausedAfter) << c.name;
        EXPECT_EQ(game.Figure.Cells, c.pausedAfter ? falling.Cells : next.Cells) << c.name;
    }
}

}  // namespace
