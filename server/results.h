#pragma once
// What one publish from the game carries, and what the records page lists.
// Every text is UTF-8.

#include <cstdint>
#include <optional>
#include <string>

// A player's score.
struct HumanResult {
    std::string Name;
    std::int32_t Score = 0;
    bool operator==(const HumanResult&) const = default;
};

// An autopilot score and the player who published it (empty when the
// publishing game's table held autopilot results only).
struct AutopilotResult {
    std::int32_t Score = 0;
    std::string Publisher;
    bool operator==(const AutopilotResult&) const = default;
};

struct Publish {
    std::optional<HumanResult> Human;
    std::optional<AutopilotResult> Autopilot;
    bool operator==(const Publish&) const = default;
};
