// Engine benchmarks: the matching scan, a whole landing cascade on a busy
// well, and one autopilot step on wells taken from seeded games. Run by hand
// on a Release build (`make bench`); CI never runs them.

#include <benchmark/benchmark.h>

#include <vector>

#include "engine/game.h"
#include "engine/headless_host.h"
#include "game_session/headless_session.h"

namespace {

using Rig = HeadlessGame;

// Rows 5..18 filled with random colours: dozens of lines and long chains.
Grid BusyWell(std::uint32_t seed)
{
    Rig rig;
    TRandom random(seed);
    Grid well = rig.game.Stack;
    for (int row = 5; row <= 18; ++row)
        for (int col = 1; col <= 7; ++col)
            well[CellIndex(row, col)] = static_cast<std::uint8_t>(random.Draw(6) + 1);
    return well;
}

void BM_MarkMatches(benchmark::State& state)
{
    Rig rig;
    const Grid well = BusyWell(11);
    for (auto _ : state) {
        rig.game.Stack = well;
        benchmark::DoNotOptimize(rig.game.MarkMatches(rig.game.TrialMarks));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MarkMatches);

void BM_ResolveLandingBusyWell(benchmark::State& state)
{
    Rig rig;
    const Grid well = BusyWell(11);
    rig.game.Level = 8;
    std::int64_t removed = 0;
    for (auto _ : state) {
        rig.game.Stack = well;
        const CascadeResult result = rig.game.RunLandingCascade();
        removed += result.removed;
        benchmark::DoNotOptimize(result);
    }
    state.counters["cells_removed"] = benchmark::Counter(double(removed) / double(state.iterations()));
}
BENCHMARK(BM_ResolveLandingBusyWell);

struct Position {
    Grid stack;
    TFigure figure;
    std::uint8_t level;
};

// The positions an autopilot meets in seeded games, just before its step,
// played as every front end plays them.
std::vector<Position> AutopilotPositions(std::uint32_t seed, int games)
{
    std::vector<Position> positions;
    HeadlessSession headless(QuietSetup(seed, false));
    const TADTetrisGame& game = headless.Session.Game();
    headless.Session.Play().RunAutopilotTurn = [&](const std::function<void()>& turn) {
        positions.push_back({game.Stack, game.Figure, game.Level});
        turn();
    };
    int ended = 0;
    headless.Session.OnNotice = [&](int code) { ended += code == NotifyGameOver; };
    headless.Press('A');
    while (ended < games && positions.size() < 20000)
        headless.Tick();
    return positions;
}

// Counts the autopilot's trials: each switches the fall timer off once.
class TrialCountingHost : public HeadlessHost {
public:
    void SetFallTimerEnabled(bool enabled) override { Trials += enabled ? 0 : 1; }
    std::int64_t Trials = 0;
};

// Counted apart from the timed loop, which keeps the plain headless host.
double TrialsPerStep(const std::vector<Position>& positions)
{
    TrialCountingHost host;
    TADTetrisGame game(host);
    game.Running = true;
    for (const Position& p : positions) {
        game.Stack = p.stack;
        game.Figure = p.figure;
        game.Level = p.level;
        game.AutopilotStep();
    }
    return double(host.Trials) / double(positions.size());
}

void BM_AutopilotStep(benchmark::State& state)
{
    static const std::vector<Position> positions = AutopilotPositions(1, 5);
    static const double trials = TrialsPerStep(positions);
    Rig rig;
    TADTetrisGame& game = rig.game;
    game.Running = true;
    std::size_t next = 0;
    for (auto _ : state) {
        const Position& p = positions[next];
        next = (next + 1) % positions.size();
        game.Stack = p.stack;
        game.Figure = p.figure;
        game.Level = p.level;
        benchmark::DoNotOptimize(game.AutopilotStep());
    }
    state.counters["positions"] = double(positions.size());
    state.counters["trials"] = trials;
}
BENCHMARK(BM_AutopilotStep);

}  // namespace

BENCHMARK_MAIN();
