#pragma once
// The line a game is told by, the same for a game played and for a replay
// played again, and the check that turns a replay's bytes into that line:
// what vantorix2-sim prints and the web edition's check answers.

#include <cstdint>
#include <string>
#include <string_view>

#include "replay/replay.h"

// {"game":1,"score":27842,"level":2,"landings":110,"ticks":110,"capped":false}
std::string GameLine(std::uint32_t game, const ReplayResult& result);

// Reads and plays the replay headless: its line when its game ends with
// everything the file says. ReplayError says why not otherwise.
std::string ReplayLine(std::string_view bytes);
