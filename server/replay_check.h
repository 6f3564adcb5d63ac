#pragma once
// A replay sent to the records server (POST /datas/html/replay.php?publisher=P):
// what the request carries, what can be refused without playing it, and the
// check that plays it again. A check plays a whole game on a headless engine,
// so it runs on a thread of its own, never on the server's.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/records_site.h"
#include "replay/playback.h"
#include "server/results.h"

// A replay file's bytes at most. The game's replays are a few kilobytes (a
// run of events is one or two bytes, a long autopilot game a few thousand
// runs); the replay format allows 1 MiB, more than a request should hold.
inline constexpr std::size_t ReplayBodyLimit = 64 * 1024;

// What one check may cost. The deadline counts from the check's start.
ReplayLimits CheckLimits(std::chrono::steady_clock::time_point start);

// The publisher of a replay request: the query's "publisher", once, code page
// 1251 percent-encoded as the publish's name, by the same rules (it may be
// empty); or why not.
struct ReplayQuery {
    std::optional<std::string> Publisher;   // UTF-8
    std::string Refusal;
};
ReplayQuery ParseReplayQuery(std::string_view query);

// A download's "id", once: 1 to 18 digits, no leading 0; nothing otherwise.
std::optional<std::int64_t> ParseReplayId(std::string_view query);

// A replay file read, with the published result it would verify: a
// player's, by the file's name, or an autopilot result of the publisher
// (the name "AUTOPILOT"). Or, when it can be refused without playing it,
// the status that refuses it and why: 400 not a replay file; 422 a game not
// of the standard rules, further into its random source than a session
// goes, or whose events cannot reach what it claims.
struct ReplayClaim {
    std::optional<Replay> Game;
    ResultKind Kind = ResultKind::Player;
    std::string Name;   // the player's name, or the autopilot result's publisher
    int Status = 0;
    std::string Refusal;
};
ReplayClaim ReadReplayClaim(std::string_view file, const std::string& publisher);

// A claim whose game played to what it says: what it verifies; else 422
// and why (it does not reach its claims, goes past a limit, or the
// autopilot played a game that claims a player's result).
struct ReplayCheck {
    std::optional<Verification> Verified;
    int Status = 0;
    std::string Refusal;
};
ReplayCheck CheckReplay(const ReplayClaim& claim, std::string_view file, std::chrono::steady_clock::time_point start);

// The identity of a game as the store keeps it: SHA-256 of
// ReplayOutcome::Identity, 32 bytes.
std::string GameKey(std::string_view identity);

// The answer's text on success.
std::string DescribeVerified(const ReplayClaim& claim);
