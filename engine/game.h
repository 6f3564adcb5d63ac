#pragma once
// The game engine: the well, the figures, the game's life, the landing
// cascade and the autopilot. No I/O, no clock, no threads; it reaches its
// host (the game session) only through GameHost.

#include <cstdint>

#include "figure.h"
#include "grid.h"
#include "host.h"
#include "random.h"

// What one landing cascade did.
struct CascadeResult {
    std::int32_t points = 0;   // bonus included
    std::int32_t chains = 0;
    std::int32_t removed = 0;
    std::int32_t bonus = 0;
};

// Which strategy of the autopilot placed the figure.
enum class AutopilotStrategy : std::uint8_t {
    None,
    PlaceToBuild,
    PlaceToScore,
    PlaceLow,   // with tolerance AutopilotResult::tolerance
};

struct AutopilotResult {
    AutopilotStrategy strategy = AutopilotStrategy::None;
    std::uint8_t tolerance = 0;   // 1..10 for PlaceLow
};

// The placements one autopilot step has tried, shared by its strategies.
struct PlacementTrials;
struct PlacementTrial;

// Where Move takes the falling figure: one cell left, right or down.
enum class MoveDirection : std::uint8_t { Left, Right, Down };

// Adds without wrapping: clamps to the 32-bit range.
std::int32_t AddSaturated(std::int32_t a, std::int64_t b);

class TADTetrisGame {
public:
    explicit TADTetrisGame(GameHost& host);
    virtual ~TADTetrisGame() = default;
    TADTetrisGame(const TADTetrisGame&) = delete;
    TADTetrisGame& operator=(const TADTetrisGame&) = delete;

    TFigure Figure;
    Grid Stack{};
    Grid SavedStack{};
    Grid EmptyWell{};
    bool Paused = false;
    bool Running = false;
    std::int32_t Interval = 0;
    std::uint8_t Level = 0;
    std::int32_t MinInterval = 60;
    std::int32_t IntervalStep = 60;
    std::int32_t BaseInterval = 1000;
    std::uint8_t MaxLevel = 16;
    std::int32_t Score = 0;
    GameHost* WindowHandle;
    std::uint8_t StartRow = 1;
    std::uint8_t StartCol = 3;
    bool Enabled = true;
    std::uint8_t StartLevel = 1;
    TFigure NextFigure;
    Grid TrialMarks{};
    Grid Display{};
    std::uint8_t RecordPlace = 0;
    bool SoundOn = false;
    // The figures' random source; the game seeds it from the clock.
    TRandom Random;
    // Lets the autopilot skip the trial cascade of a placement that provably
    // forms no line. Results are the same either way; tests compare both.
    bool TrialShortcut = true;

    // Grids and the falling figure.
    static void ClearGrid(Grid& grid);
    void InitWell(Grid& grid) const;
    static void CopyGrid(Grid& destination, const Grid& source) { destination = source; }
    bool TryMoveTo(const Grid& grid, int x, int y);
    bool Move(MoveDirection direction);
    void Rotate(bool clockwise);
    void Drop(const Grid& grid);
    void ComposeDisplay(Grid& destination, bool withFigure);
    void ClearFigureCells();

    // Game flow.
    void StartGame();
    bool StepDown();
    void SpawnNext();
    void GameOver();
    void SetRunning(bool flag) { Running = flag; }
    void SetPaused(bool flag);
    void SetLevel(int level);
    void SetInterval(std::int32_t milliseconds);
    void SetScore(std::int32_t score);

    // Landing cascade.
    bool MarkMatches(Grid& marks);
    static bool RemoveMarkedCell(Grid& grid);
    void ResolveLanding();
    // The cascade's marking, removal and scoring without the timer switch,
    // the score store and the spawn.
    CascadeResult RunLandingCascade();
    void PlayRecordSound();

    // Autopilot.
    AutopilotResult AutopilotStep();
    bool PlaceToBuild();
    bool PlaceToScore();
    bool PlaceLow(std::uint8_t tolerance);
    std::int32_t TrialCascadeScore();
    static int CountHoles(const Grid& grid);
    static int ColumnDepth(const Grid& grid, bool deepest);
    static bool NearMatch(const Grid& grid, int column, int row);
    static int CountEvenSteps(const Grid& grid);

private:
    bool Search(PlacementTrials& trials, AutopilotStrategy strategy, std::uint8_t tolerance);
    void RunTrial(bool quietWell, PlacementTrial& trial);
    std::int32_t TrialScore(bool quietWell);
    bool CanAct() const { return Running && !Paused && Enabled; }
    void Post(int code) { WindowHandle->PostGameNotification(code); }
};
