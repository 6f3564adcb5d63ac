#pragma once
// A replay sent to the records server (POST /datas/html/replay.php?publisher=P):
// what the request carries, and the check that plays it again. A check
// plays a whole game on a headless engine, so it runs on a thread of its own,
// never on the server's.

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

// A replay that plays to its score: what it verifies, and the name it gives
// (for the answer). Else the status that refuses it and why.
struct ReplayCheck {
    std::optional<Verification> Verified;
    std::string Name;
    int Status = 0;   // 400: not a replay file; 422: not a game of the standard rules reaching its score
    std::string Refusal;
};
ReplayCheck CheckReplay(std::string_view file, const std::string& publisher, std::chrono::steady_clock::time_point start);

// The answer's text on success.
std::string DescribeVerified(const ReplayCheck& check);
