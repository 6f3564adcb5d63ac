#pragma once
// A host that records every call the engine makes, in order, so that tests
// can check notifications and the host-call sequence of a cascade.

#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/game.h"
#include "tools/sim/well_rows.h"

class RecordingHost : public GameHost {
public:
    void Attach(TADTetrisGame* game) { Game = game; }

    void PostGameNotification(int code) override
    {
        Notifications.push_back(code);
        Calls.push_back("post " + std::to_string(code));
    }
    void SetFallTimerEnabled(bool enabled) override
    {
        FallTimerOn = enabled;
        Calls.push_back(enabled ? "timer on" : "timer off");
    }
    void SetDropTimerEnabled(bool enabled) override
    {
        DropTimerOn = enabled;
        Calls.push_back(enabled ? "drop timer on" : "drop timer off");
    }
    void DrawWell() override { Calls.push_back("draw"); }
    void My_Sound() override { Calls.push_back("sound"); }
    void Delay(int ms) override
    {
        Calls.push_back("delay " + std::to_string(ms));
        if (Game) {
            Game->SetPaused(true);
            Game->SetPaused(false);
        }
    }
    void ShowScore(std::int32_t score, bool repaintNow) override
    {
        Calls.push_back("caption " + std::to_string(score) + (repaintNow ? " repaint" : ""));
    }
    void Bonus(std::int32_t amount) override { Calls.push_back("bonus " + std::to_string(amount)); }
    bool SoundGoesToSpeaker() override { return ToSpeaker; }
    void Beep(int frequency, int ms) override
    {
        Calls.push_back("beep " + std::to_string(frequency) + " " + std::to_string(ms));
    }
    void PlayRecordWave() override { Calls.push_back("wave"); }

    void Clear()
    {
        Notifications.clear();
        Calls.clear();
    }

    std::vector<int> Notifications;
    std::vector<std::string> Calls;
    bool FallTimerOn = true;
    bool DropTimerOn = false;
    bool ToSpeaker = false;

private:
    TADTetrisGame* Game = nullptr;
};

// An engine wired to a recording host.
struct Rig {
    RecordingHost host;
    TADTetrisGame game{host};
    explicit Rig(std::uint32_t seed = 1)
    {
        host.Attach(&game);
        game.Random.Seed(seed);
    }
};

// Writes rows of well text ('.', '1'..'6', '7' for a mark) into a well so
// that the last row given lands on visible row 18; rows above them keep their
// values. Text that is not a well row fails the test with what is wrong.
inline void PutBottomRows(Grid& well, const std::vector<std::string>& rows)
{
    if (rows.size() > VisibleRows)
        throw std::invalid_argument("a well has " + std::to_string(VisibleRows) + " rows");
    int row = BorderRow - static_cast<int>(rows.size());
    for (const std::string& text : rows) {
        if (const auto wrong = ReadCellRow(text, std::span(well).subspan(CellIndex(row, 1), VisibleCols),
                                           HighestWithMarks))
            throw std::invalid_argument("well row \"" + text + "\" " + *wrong);
        ++row;
    }
}

// The visible rows of a well as text, row 1 first.
inline std::vector<std::string> WellRows(const Grid& well)
{
    std::vector<std::string> rows;
    for (int row = 1; row <= VisibleRows; ++row)
        rows.push_back(CellRowText(std::span(well).subspan(CellIndex(row, 1), VisibleCols)));
    return rows;
}

// The visible well with `bottom` as its lowest rows and empty rows above.
inline std::vector<std::string> WellOf(const std::vector<std::string>& bottom)
{
    std::vector<std::string> rows(VisibleRows - bottom.size(), std::string(VisibleCols, '.'));
    rows.insert(rows.end(), bottom.begin(), bottom.end());
    return rows;
}

// Puts a figure with the given box into a running game at (x, y).
inline void SetFigure(TADTetrisGame& game, const TFigure::Box& cells, int x, int y)
{
    game.Figure.Cells = cells;
    game.Figure.X = static_cast<std::uint8_t>(x);
    game.Figure.Y = static_cast<std::uint8_t>(y);
    game.Figure.RecomputeExtent();
}

// Running, unpaused, at the given level, on an empty bordered well.
inline void MakeRunning(TADTetrisGame& game, int level = 1)
{
    game.InitWell(game.Stack);
    game.Level = static_cast<std::uint8_t>(level);
    game.Running = true;
    game.Paused = false;
}
