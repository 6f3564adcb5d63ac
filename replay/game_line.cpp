#include "replay/game_line.h"

#include "replay/playback.h"

std::string GameLine(std::uint32_t game, const ReplayResult& result)
{
    return "{\"game\":" + std::to_string(game) + ",\"score\":" + std::to_string(result.Score) +
           ",\"level\":" + std::to_string(unsigned(result.Level)) + ",\"landings\":" +
           std::to_string(result.Landings) + ",\"ticks\":" + std::to_string(result.Ticks) +
           ",\"capped\":" + (result.Stopped ? "true" : "false") + "}";
}

std::string ReplayLine(std::string_view bytes)
{
    const Replay replay = ReadReplay(bytes);
    const ReplayOutcome outcome = PlayReplay(replay);
    if (!outcome.Ended)
        throw ReplayError("the replay ends before its game does");
    if (!outcome.Matches(replay))
        throw ReplayError("the replay is not what it says: " + MissedClaims(replay, outcome));
    return GameLine(replay.GameNumber, outcome.Reached);
}
