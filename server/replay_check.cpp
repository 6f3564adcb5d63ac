#include "replay_check.h"

#include "server/publish_request.h"
#include "storage/cp1251.h"

namespace {

// What a check may cost; none of it stops a game played by the standard
// rules. Measured on a release build, a 400-landing autopilot game checks in
// about 2 ms.
// Draws before the game: about three a landing, counted from the window's
// start, so 2^27 is tens of millions of landings in one session. Skipping
// them cannot be cut short by the deadline; 2^27 take about 0.7 s.
constexpr std::uint64_t MaxDrawsBefore = std::uint64_t(1) << 27;
// An hour of play is some tens of thousands of events; 20 million ticks of a
// paused game take about 0.15 s.
constexpr std::uint64_t MaxEvents = 20'000'000;
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

ReplayCheck CheckReplay(std::string_view file, const std::string& publisher, std::chrono::steady_clock::time_point start)
{
    ReplayCheck check;
    Replay replay;
    try {
        replay = ReadReplay(file);
    } catch (const ReplayError& error) {
        check.Status = 400;
        check.Refusal = error.what();
        return check;
    }
    check.Status = 422;
    if (!(replay.Rules == ReplayRules{})) {
        check.Refusal = "not played by the standard rules";
        return check;
    }
    try {
        if (!PlayReplay(replay, CheckLimits(start)).Matches(replay)) {
            check.Refusal = "the replay does not reach its score";
            return check;
        }
    } catch (const ReplayError& error) {
        check.Refusal = error.what();
        return check;
    }
    check.Status = 0;
    check.Name = replay.Result.Name;
    const bool autopilot = replay.Result.Name == AutopilotName;
    check.Verified = Verification{autopilot ? ResultKind::Autopilot : ResultKind::Player,
                                  autopilot ? publisher : replay.Result.Name, replay.Result.Score, std::string(file)};
    return check;
}

std::string DescribeVerified(const ReplayCheck& check)
{
    return "Verified: " + std::to_string(check.Verified ? check.Verified->Score : 0) + " of " + check.Name + ".\n";
}
