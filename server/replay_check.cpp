#include "replay_check.h"

#include "server/digest.h"
#include "server/publish_request.h"
#include "storage/cp1251.h"

namespace {

// What a check may cost; none of it stops a game played by the standard
// rules, and none of it lets a file cost much more than a long game does.
// Measured on a release build, a 400-landing autopilot game checks in about
// 2 ms.
// Draws before the game: the window's autopilot at its own speed (about one
// landing a second) draws about 12 300 a hour from the source, 295 000 a
// day (3.27 a landing: a figure draws its shape and a colour a cell). 2^24
// draws are 57 days of it without a break; skipping them takes about 0.1 s.
constexpr std::uint64_t MaxDrawsBefore = std::uint64_t(1) << 24;
// A long game by hand (10 000 landings, hours) has some 500 000 events;
// 4 million cheap ones (drop ticks of a grace held by keys) take about 0.1 s.
constexpr std::uint64_t MaxEvents = 4'000'000;
// What costs more an event (the autopilot's turn after a landing, a few
// microseconds) stops here, about a thousand times a long game's check.
constexpr std::chrono::seconds CheckTime{2};

}  // namespace

ReplayLimits CheckLimits(std::chrono::steady_clock::time_point start)
{
    ReplayLimits limits;
    limits.MaxDrawsBefore = MaxDrawsBefore;
    limits.MaxEvents = MaxEvents;
    limits.Deadline = start + CheckTime;
    limits.HoldToClaims = true;
    return limits;
}

ReplayQuery ParseReplayQuery(std::string_view query)
{
    const QueryValue found = FindQueryValue(query, "publisher");
    if (!found.Value)
        return {std::nullopt, "publisher: " + found.Fault};
    std::string publisher = Cp1251ToUtf8(*found.Value);
    if (std::string fault = NameFault(publisher); !fault.empty())
        return {std::nullopt, "publisher" + fault.substr(fault.find(':'))};
    return {std::move(publisher), {}};
}

std::optional<std::int64_t> ParseReplayId(std::string_view query)
{
    const QueryValue found = FindQueryValue(query, "id");
    if (!found.Value || found.Value->empty() || found.Value->size() > 18 || found.Value->front() == '0')
        return std::nullopt;
    std::int64_t id = 0;
    for (char ch : *found.Value) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        id = id * 10 + (ch - '0');
    }
    return id;
}

ReplayClaim ReadReplayClaim(std::string_view file, const std::string& publisher)
{
    ReplayClaim claim;
    try {
        claim.Game = ReadReplay(file);
    } catch (const ReplayError& error) {
        claim.Status = 400;
        claim.Refusal = error.what();
        return claim;
    }
    const Replay& replay = *claim.Game;
    const bool autopilot = replay.Result.Name == AutopilotName;
    claim.Kind = autopilot ? ResultKind::Autopilot : ResultKind::Player;
    claim.Name = autopilot ? publisher : replay.Result.Name;
    claim.Status = 422;
    if (!(replay.Rules == ReplayRules{}))
        claim.Refusal = "not played by the standard rules";
    else if (replay.DrawsBefore > MaxDrawsBefore)
        claim.Refusal = "the replay starts too far into its random source (" + std::to_string(replay.DrawsBefore) +
                        " draws)";
    else if (const std::string impossible = ImpossibleClaims(replay); !impossible.empty())
        claim.Refusal = "the replay cannot reach what it says: " + impossible;
    else
        claim.Status = 0;
    if (claim.Status != 0)
        claim.Game.reset();
    return claim;
}

ReplayCheck CheckReplay(const ReplayClaim& claim, std::string_view file, std::chrono::steady_clock::time_point start)
{
    ReplayCheck check;
    check.Status = 422;
    const Replay& replay = *claim.Game;
    ReplayOutcome outcome;
    try {
        outcome = PlayReplay(replay, CheckLimits(start));
    } catch (const ReplayError& error) {
        check.Refusal = error.what();
        return check;
    }
    if (!outcome.Matches(replay)) {
        check.Refusal = "the replay does not reach what it says: " + MissedClaims(replay, outcome);
        return check;
    }
    if (outcome.AutopilotPlayed && claim.Kind == ResultKind::Player) {
        check.Refusal = "the autopilot played this game: it verifies an autopilot result only";
        return check;
    }
    check.Status = 0;
    check.Verified =
        Verification{claim.Kind, claim.Name, replay.Result.Score, std::string(file), GameKey(outcome.Identity)};
    return check;
}

std::string GameKey(std::string_view identity)
{
    return Sha256(identity);
}

std::string DescribeVerified(const ReplayClaim& claim)
{
    const Replay* game = claim.Game ? &*claim.Game : nullptr;
    return "Verified: " + std::to_string(game ? game->Result.Score : 0) + " of " + (game ? game->Result.Name : "") +
           ".\n";
}
