#include "playback.h"

#include "engine/headless_host.h"

#include <algorithm>

namespace {

bool IsTick(ReplayEventKind kind)
{
    return kind == ReplayEventKind::FallTick || kind == ReplayEventKind::DropTick ||
           kind == ReplayEventKind::DropTickAfterKeys;
}

// How often the clock is read while playing.
constexpr std::uint64_t EventsPerClockCheck = 4096;

// Fall ticks one figure can take: a row a tick from the top of the well to
// its floor, the tick that lands it, and ticks that come before the landing
// is answered, with room to spare.
constexpr std::uint64_t MostTicksPerFigure = 32;

void PutBytes(std::string& out, std::uint64_t value, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        out.push_back(static_cast<char>((value >> (8 * k)) & 0xFF));
}

}  // namespace

bool PlayableRules(const ReplayRules& rules)
{
    constexpr std::int32_t LongestInterval = 60000;
    return rules.StartLevel <= rules.MaxLevel && rules.BaseInterval >= 1 && rules.BaseInterval <= LongestInterval &&
           rules.IntervalStep >= 0 && rules.IntervalStep <= LongestInterval && rules.MinInterval >= 1 &&
           rules.MinInterval <= LongestInterval;
}

std::string ImpossibleClaims(const Replay& replay)
{
    std::uint64_t landed = 0, fallTicks = 0, dropTicks = 0;
    for (const ReplayEvent& event : replay.Events) {
        if (event.Kind == ReplayEventKind::Landed)
            landed += event.Count;
        else if (event.Kind == ReplayEventKind::FallTick)
            fallTicks += event.Count;
        else if (IsTick(event.Kind))
            dropTicks += event.Count;
    }
    const ReplayResult& claims = replay.Result;
    const auto number = [](std::uint64_t value) { return std::to_string(value); };
    if (landed != claims.Landings)
        return "it has " + number(landed) + " landing reactions, not the " + number(claims.Landings) +
               " landings it claims";
    // A fall tick is recorded only when it runs; a drop tick runs one when
    // the grace ends.
    if (fallTicks > claims.Ticks)
        return "it has " + number(fallTicks) + " fall ticks, more than the " + number(claims.Ticks) + " it says ran";
    if (fallTicks + dropTicks < claims.Ticks)
        return "it has " + number(fallTicks + dropTicks) + " timer ticks, too few for the " + number(claims.Ticks) +
               " fall ticks it claims";
    if (claims.Ticks > MostTicksPerFigure * (std::uint64_t(claims.Landings) + 1))
        return number(claims.Ticks) + " fall ticks are more than " + number(std::uint64_t(claims.Landings) + 1) +
               " figures can take";
    return {};
}

ReplayPlayback::ReplayPlayback(const Replay& replay, TADTetrisGame& game, PlayCommands& commands,
                               const ReplayLimits& limits)
    : Events(replay.Events), Source(replay), Game(game), Commands(commands), Limits(limits)
{
    for (const ReplayEvent& event : Events)
        Total += event.Count;
}

void ReplayPlayback::Begin()
{
    Started = true;
    if (!PlayableRules(Source.Rules))
        throw ReplayError("the replay's rules are out of the game's range", ReplayFault::Unplayable);
    if (Source.DrawsBefore > Limits.MaxDrawsBefore)
        throw ReplayError("the replay starts too far into its random source (" + std::to_string(Source.DrawsBefore) +
                          " draws)", ReplayFault::Unplayable);
    const ReplayRules& rules = Source.Rules;
    Placed = "VXG1";
    PutBytes(Placed, Source.Seed, 4);
    PutBytes(Placed, Source.DrawsBefore, 8);
    PutBytes(Placed, rules.StartLevel, 1);
    PutBytes(Placed, rules.MaxLevel, 1);
    for (std::int32_t interval : {rules.BaseInterval, rules.IntervalStep, rules.MinInterval})
        PutBytes(Placed, static_cast<std::uint32_t>(interval), 4);
    Game.StartLevel = rules.StartLevel;
    Game.MaxLevel = rules.MaxLevel;
    Game.BaseInterval = rules.BaseInterval;
    Game.IntervalStep = rules.IntervalStep;
    Game.MinInterval = rules.MinInterval;
    Game.Random.Seed(Source.Seed);
    // In slices, so that the time limit holds here too.
    constexpr std::uint64_t Slice = std::uint64_t(1) << 20;
    for (std::uint64_t left = Source.DrawsBefore; left > 0;) {
        const std::uint64_t now = std::min(left, Slice);
        Game.Random.Skip(now);
        left -= now;
        if (Limits.Deadline && std::chrono::steady_clock::now() > *Limits.Deadline)
            throw ReplayError("the replay takes too long to play", ReplayFault::Unplayable);
    }
    Commands.Look = Source.Look;
    Commands.StartGame();
}

void ReplayPlayback::ApplyOne(ReplayEventKind kind)
{
    if (!Game.Running)
        throw ReplayError("the replay goes on after its game has ended", ReplayFault::Unplayable);
    // The game records no tick of a paused game: such a tick is made up.
    if (IsTick(kind) && Game.Paused)
        throw ReplayError("the replay has a tick of a paused game", ReplayFault::Unplayable);
    if (kind == ReplayEventKind::Landed) {
        if (!Commands.LandingPending())
            throw ReplayError("the replay has a landing where no figure landed", ReplayFault::Unplayable);
        Autopilot = Autopilot || Commands.AutopilotOn();
        if (Landings++ < IdentityLandings) {
            // The well's cells the figure covers, in the well's order: the
            // same whichever way it was turned to get there.
            const TFigure& figure = Game.Figure;
            std::string cells;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    if (const std::uint8_t colour = figure.Cells[std::size_t(r * 3 + c)]) {
                        cells.push_back(static_cast<char>(CellIndex(figure.Y + r, figure.X + c)));
                        cells.push_back(static_cast<char>(colour));
                    }
            Placed.push_back(static_cast<char>(cells.size() / 2));
            Placed += cells;
        }
    }
    if (kind == ReplayEventKind::Started) {
        if (SawStarted)
            throw ReplayError("the replay starts its game twice", ReplayFault::Unplayable);
        SawStarted = true;
    }
    if (++Applied > Limits.MaxEvents)
        throw ReplayError("the replay has more than " + std::to_string(Limits.MaxEvents) + " events", ReplayFault::Unplayable);
    if (Limits.Deadline && Applied % EventsPerClockCheck == 1 && std::chrono::steady_clock::now() > *Limits.Deadline)
        throw ReplayError("the replay takes too long to play", ReplayFault::Unplayable);
    Commands.Apply(kind);
    if (Limits.HoldToClaims)
        CheckClaims();
}

void ReplayPlayback::CheckClaims() const
{
    const ReplayResult reached = Commands.Progress();
    const ReplayResult& claims = Source.Result;
    if (reached.Score > claims.Score || reached.Level > claims.Level || reached.Landings > claims.Landings ||
        reached.Ticks > claims.Ticks)
        throw ReplayError("the replay goes past what it says it reached", ReplayFault::Unplayable);
}

bool ReplayPlayback::StepToTick()
{
    if (!Started) {
        Begin();
        if (Events.empty())
            return true;
    }
    if (Run >= Events.size())
        return false;
    while (Run < Events.size()) {
        const ReplayEvent& event = Events[Run];
        if (static_cast<int>(event.Kind) >= ReplayEventKinds)
            throw ReplayError("the replay has an event of an unknown kind", ReplayFault::Unplayable);
        ApplyOne(event.Kind);
        if (++DoneOfRun >= event.Count) {
            ++Run;
            DoneOfRun = 0;
        }
        if (IsTick(event.Kind))
            return true;
    }
    return true;
}

ReplayOutcome PlayReplay(const Replay& replay, const ReplayLimits& limits)
{
    HeadlessGame headless;
    PlayCommands commands(headless.game, headless.loop, false);
    ReplayPlayback playback(replay, headless.game, commands, limits);
    while (playback.StepToTick()) {
    }
    ReplayOutcome outcome;
    outcome.Reached = commands.Progress();
    outcome.Reached.Name = replay.Result.Name;
    outcome.Ended = !headless.game.Running;
    outcome.AutopilotPlayed = playback.AutopilotPlayed();
    outcome.Identity = playback.Identity();
    return outcome;
}

std::string MissedClaims(const Replay& replay, const ReplayOutcome& outcome)
{
    const ReplayResult& claims = replay.Result;
    const ReplayResult& reached = outcome.Reached;
    std::string missed;
    const auto add = [&](const std::string& what, const std::string& got, const std::string& says) {
        if (got != says)
            missed += (missed.empty() ? "" : ", ") + what + " " + got + " (it says " + says + ")";
    };
    const auto end = [](bool stopped) { return std::string(stopped ? "by a command" : "with a full well"); };
    add("score", std::to_string(reached.Score), std::to_string(claims.Score));
    add("level", std::to_string(reached.Level), std::to_string(claims.Level));
    add("landings", std::to_string(reached.Landings), std::to_string(claims.Landings));
    add("ticks", std::to_string(reached.Ticks), std::to_string(claims.Ticks));
    if (!outcome.Ended)
        missed += std::string(missed.empty() ? "" : ", ") + "the game had not ended";
    else
        add("ended", end(reached.Stopped), end(claims.Stopped));
    return missed;
}
