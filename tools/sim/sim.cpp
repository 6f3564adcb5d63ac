#include "sim.h"

#include <algorithm>
#include <iterator>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>

#include "common/records_site.h"
#include "engine/game.h"
#include "engine/headless_host.h"
#include "game_session/headless_session.h"
#include "replay/play_commands.h"
#include "replay/game_line.h"
#include "replay/playback.h"
#include "replay/replay.h"
#include "storage/atomic_file.h"
#include "tools/sim/records_command.h"
#include "tools/sim/well_text.h"

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

constexpr const char* Usage =
    "usage: vantorix2-sim cascade | autopilot | records | play --seed N --games G [--max-landings M] [--replays DIR]\n"
    "       vantorix2-sim replay FILE";

ordered_json Cascade(const json& input)
{
    const auto level = IntegerField(input, "level", 1, 16);
    const auto score = IntegerField(input, "score", 0, std::numeric_limits<std::int32_t>::max());
    HeadlessGame bench;
    TADTetrisGame& game = bench.game;
    ParseStack(Field(input, "stack"), game.Stack);
    game.Level = static_cast<std::uint8_t>(level);
    game.Score = static_cast<std::int32_t>(score);

    const CascadeResult result = game.RunLandingCascade();
    ordered_json out;
    out["points"] = result.points;
    out["chains"] = result.chains;
    out["removed"] = result.removed;
    out["bonus"] = result.bonus;
    out["score"] = AddSaturated(game.Score, result.points);
    out["stack"] = StackText(game.Stack);
    return out;
}

std::string StrategyName(const AutopilotResult& result)
{
    switch (result.strategy) {
    case AutopilotStrategy::PlaceToBuild:
        return "PlaceToBuild";
    case AutopilotStrategy::PlaceToScore:
        return "PlaceToScore";
    case AutopilotStrategy::PlaceLow:
        return "PlaceLow" + std::to_string(result.tolerance);
    case AutopilotStrategy::None:
        break;
    }
    return "none";
}

ordered_json Autopilot(const json& input)
{
    const auto level = IntegerField(input, "level", 1, 16);
    HeadlessGame bench;
    TADTetrisGame& game = bench.game;
    ParseStack(Field(input, "stack"), game.Stack);
    const TFigure::Box cells = ParseFigure(Field(input, "figure"));
    if (std::all_of(cells.begin(), cells.end(), [](std::uint8_t c) { return c == 0; }))
        throw InputError("the figure has no cell");
    if (!TFigure::Fits(game.Stack, game.StartCol, game.StartRow, cells))
        throw InputError("the figure does not fit at its start place");

    game.Level = static_cast<std::uint8_t>(level);
    game.Figure.Cells = cells;
    game.Figure.X = game.StartCol;
    game.Figure.Y = game.StartRow;
    game.Figure.RecomputeExtent();
    game.SetRunning(true);
    game.SetPaused(false);

    const AutopilotResult result = game.AutopilotStep();
    ordered_json out;
    out["strategy"] = StrategyName(result);
    out["x"] = game.Figure.X;
    out["y"] = game.Figure.Y;
    out["figure"] = FigureText(game.Figure.Cells);
    return out;
}

// Answers each non-empty input line with one output line.
int AnswerLines(std::istream& in, std::ostream& out, std::ostream& err,
                const std::function<ordered_json(const json&)>& answer)
{
    std::string line;
    for (long number = 1; std::getline(in, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        try {
            const json input = json::parse(line, nullptr, false);
            if (input.is_discarded())
                throw InputError("not JSON");
            if (!input.is_object())
                throw InputError("not a JSON object");
            out << answer(input).dump() << std::endl;
        } catch (const InputError& e) {
            err << "vantorix2-sim: line " << number << ": " << e.what() << std::endl;
            return 2;
        }
    }
    return 0;
}

struct PlayOptions {
    std::uint32_t seed = 0;
    long games = 0;
    long maxLandings = 0;   // 0: no cap
    std::optional<std::filesystem::path> replays;   // a replay of each game goes here
};

std::optional<long> ParseCount(const std::string& text, long low, long high)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12)
        return std::nullopt;
    const long value = std::stol(text);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<PlayOptions> ParsePlayOptions(const std::vector<std::string>& args)
{
    struct Option {
        const char* name;
        long low, high;
        std::optional<long> value;
    } table[] = {
        {"--seed", 0, long(std::numeric_limits<std::uint32_t>::max()), {}},
        {"--games", 1, long(std::numeric_limits<std::int32_t>::max()), {}},
        {"--max-landings", 1, long(std::numeric_limits<std::int32_t>::max()), {}},
    };
    if (args.size() % 2 == 0)
        return std::nullopt;
    std::optional<std::filesystem::path> replays;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (args[i] == "--replays") {
            if (replays || args[i + 1].empty())
                return std::nullopt;
            replays = args[i + 1];
            continue;
        }
        Option* option = std::find_if(std::begin(table), std::end(table), [&](const Option& o) { return args[i] == o.name; });
        // Each at most once, with a value in its range.
        if (option == std::end(table) || option->value)
            return std::nullopt;
        option->value = ParseCount(args[i + 1], option->low, option->high);
        if (!option->value)
            return std::nullopt;
    }
    if (!table[0].value || !table[1].value)
        return std::nullopt;
    PlayOptions options;
    options.seed = static_cast<std::uint32_t>(*table[0].value);
    options.games = *table[1].value;
    options.maxLandings = table[2].value.value_or(0);
    options.replays = replays;
    return options;
}

double Rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

int Play(const PlayOptions& options, std::ostream& out, std::ostream& err)
{
    using Clock = std::chrono::steady_clock;
    if (options.replays) {
        std::error_code error;
        std::filesystem::create_directories(*options.replays, error);
        if (error) {
            err << "vantorix2-sim: cannot make " << options.replays->string() << ": " << error.message() << std::endl;
            return 2;
        }
    }
    HeadlessSession headless(QuietSetup(options.seed, options.replays.has_value()));
    GameSession& session = headless.Session;
    PlayCommands& play = session.Play();

    std::vector<double> stepMicros;
    play.RunAutopilotTurn = [&](const std::function<void()>& turn) {
        const auto before = Clock::now();
        turn();
        stepMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    };
    // Each game that ends is told before the autopilot starts the next.
    long index = 0, totalLandings = 0, landings = 0;
    int failed = 0;
    session.OnNotice = [&](int code) {
        if (code == NotifyLanded)
            ++landings;
        if (code != NotifyGameOver || index >= options.games || failed)
            return;
        ++index;
        totalLandings += landings;
        landings = 0;
        out << GameLine(static_cast<std::uint32_t>(index), play.Progress()) << std::endl;
        if (std::optional<Replay> replay = play.TakeReplay()) {
            replay->Result.Name = AutopilotName;   // as the window's autopilot enters it
            const std::filesystem::path file = *options.replays / ("game-" + std::to_string(index) + ".vxr");
            try {
                ReplaceFile(file, WriteReplay(*replay));
            } catch (const FileError& error) {
                err << "vantorix2-sim: " << error.what() << std::endl;
                failed = 2;
            }
        }
    };
    const auto started = Clock::now();
    // The autopilot key: Enter starts a game and Space drops its first figure.
    headless.Press('A');
    while (index < options.games && !failed) {
        headless.Tick();
        if (options.maxLandings > 0 && landings >= options.maxLandings && session.Game().Running && !session.Animating())
            play.Stop();
        headless.Settle();
    }
    if (failed)
        return failed;
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    double mean = 0, p99 = 0;
    if (!stepMicros.empty()) {
        for (double us : stepMicros)
            mean += us;
        mean /= static_cast<double>(stepMicros.size());
        const std::size_t rank = std::min(stepMicros.size() - 1,
                                          static_cast<std::size_t>(std::ceil(0.99 * stepMicros.size())) - 1);
        std::nth_element(stepMicros.begin(), stepMicros.begin() + rank, stepMicros.end());
        p99 = stepMicros[rank];
    }
    ordered_json summary;
    summary["games"] = options.games;
    summary["landings"] = totalLandings;
    summary["seconds"] = Rounded(seconds, 3);
    summary["landings_per_second"] = Rounded(seconds > 0 ? totalLandings / seconds : 0.0, 1);
    summary["autopilot_us_mean"] = Rounded(mean, 2);
    summary["autopilot_us_p99"] = Rounded(p99, 2);
    out << summary.dump() << std::endl;
    return 0;
}

int ReplayFile(const std::filesystem::path& file, std::ostream& out, std::ostream& err)
{
    try {
        std::string bytes;
        try {
            bytes = ReadWholeFile(file, MaxReplayBytes);
        } catch (const FileError& error) {
            throw ReplayError(error.what());
        }
        out << ReplayLine(bytes) << std::endl;
        return 0;
    } catch (const ReplayError& error) {
        err << "vantorix2-sim: " << file.string() << ": " << error.what() << std::endl;
        return 2;
    }
}

}  // namespace

int RunSim(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    const std::string command = args.empty() ? "" : args[0];
    if (command == "cascade" && args.size() == 1)
        return AnswerLines(in, out, err, Cascade);
    if (command == "autopilot" && args.size() == 1)
        return AnswerLines(in, out, err, Autopilot);
    if (command == "records" && args.size() == 1) {
        RecordsCommand records;
        return AnswerLines(in, out, err, std::ref(records));
    }
    if (command == "play") {
        if (const auto options = ParsePlayOptions(args))
            return Play(*options, out, err);
    }
    if (command == "replay" && args.size() == 2)
        return ReplayFile(args[1], out, err);
    err << Usage << std::endl;
    return 2;
}
