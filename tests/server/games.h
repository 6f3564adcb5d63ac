#pragma once
// Games for the records server's tests, played on the headless engine
// through the same door as the window: the autopilot's, and a player's by
// keys alone.

#include <cstdint>
#include <string>

#include "engine/headless_host.h"
#include "replay/play_commands.h"

namespace records_server_test {

// An autopilot game, stopped after so many landings, with the name entered.
inline Replay AutopilotGame(std::uint32_t seed, int landings, const std::string& name = "AUTOPILOT")
{
    HeadlessGame headless;
    PlayCommands play(headless.game, headless.loop);
    headless.game.Random.Seed(seed);
    play.SetAutopilot(true);
    play.StartGame();
    play.HardDrop();
    play.Started();
    for (int landed = 0; headless.game.Running;)
        if (play.Tick() && ++landed >= landings)
            play.Stop();
    Replay replay = play.TakeReplay().value();
    replay.Result.Name = name;
    return replay;
}

// A player's game: each figure turned and slid by a pattern of its number,
// then dropped; stopped after so many landings unless the well fills first.
inline Replay PlayerGame(std::uint32_t seed, int landings, const std::string& name)
{
    HeadlessGame headless;
    PlayCommands play(headless.game, headless.loop);
    headless.game.Random.Seed(seed);
    play.StartGame();
    play.Started();
    for (int figure = 0; figure < landings && headless.game.Running; ++figure) {
        if (figure % 3 == 0)
            play.Rotate(figure % 2 == 0);
        for (int k = 0; k < figure * 5 % 7; ++k)
            play.Move(figure % 2 ? MoveDirection::Left : MoveDirection::Right);
        play.HardDrop();
        while (headless.game.Running && !play.Tick()) {
        }
    }
    play.Stop();
    Replay replay = play.TakeReplay().value();
    replay.Result.Name = name;
    return replay;
}

}  // namespace records_server_test
