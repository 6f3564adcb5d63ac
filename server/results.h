#pragma once
// What one publish from the game carries, what a verified replay marks, and
// what the records page lists. Every text is UTF-8.

#include <cstdint>
#include <optional>
#include <string>

// A player's score. On a listed row, Replay is the replay that verified it
// (0: none); a publish leaves it 0.
struct HumanResult {
    std::string Name;
    std::int32_t Score = 0;
    std::int64_t Replay = 0;
    bool operator==(const HumanResult&) const = default;
};

// An autopilot score and the player who published it (empty when the
// publishing game's table held autopilot results only). Replay as above.
// (Not "AutopilotResult": the engine has one, and the server links the
// engine to play replays.)
struct AutopilotScore {
    std::int32_t Score = 0;
    std::string Publisher;
    std::int64_t Replay = 0;
    bool operator==(const AutopilotScore&) const = default;
};

enum class ResultKind : std::uint8_t { Player = 0, Autopilot = 1 };

// A replay that played to its score, for the published result it verifies:
// the most recent unverified one with that score and that name (a player's)
// or that publisher (an autopilot's). One game verifies one result, ever.
struct Verification {
    ResultKind Kind = ResultKind::Player;
    std::string Name;       // the player's name, or the autopilot result's publisher
    std::int32_t Score = 0;
    std::string Replay;     // the file, kept for download
    std::string Game;       // the game's key (GameKey), whatever the file's form
    bool operator==(const Verification&) const = default;
};

enum class VerifyOutcome {
    Marked,          // a result is verified by it now
    AlreadyMarked,   // the same game had verified this kind, name and score before
    NoMatch,         // no unverified result of that score and name
    TakenByAnother,  // the same game verified another result: it verifies no more
};

struct Publish {
    std::optional<HumanResult> Human;
    std::optional<AutopilotScore> Autopilot;
    bool operator==(const Publish&) const = default;
};
