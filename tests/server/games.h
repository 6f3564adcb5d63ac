#pragma once
// Games for the records server's tests, played through the game session on
// a virtual clock, as the window plays them: the autopilot's, and a
// player's by keys alone.

#include <cstdint>
#include <optional>
#include <string>

#include "game_session/headless_session.h"

namespace records_server_test {

// Plays until the first game ends, which stop() may end early; its replay,
// named.
template <typename Stop>
Replay FirstGame(HeadlessSession& headless, const std::string& name, Stop stop)
{
    std::optional<Replay> ended;
    headless.Session.OnNotice = [&](int code) {
        if (code == NotifyGameOver && !ended)
            ended = headless.Session.Play().TakeReplay();
    };
    for (int landed = 0; !ended;) {
        if (headless.Tick())
            ++landed;
        if (!ended && stop(landed) && headless.Session.Game().Running && !headless.Session.Animating())
            headless.Press(VK_RETURN);
    }
    Replay replay = *ended;
    replay.Result.Name = name;
    return replay;
}

// An autopilot game, stopped after so many landings, with the name entered.
inline Replay AutopilotGame(std::uint32_t seed, int landings, const std::string& name = "AUTOPILOT")
{
    HeadlessSession headless(QuietSetup(seed));
    headless.Press('A');
    return FirstGame(headless, name, [&](int landed) { return landed >= landings; });
}

// A player's game: each figure turned and slid by a pattern of its number,
// then dropped; stopped after so many landings unless the well fills first.
inline Replay PlayerGame(std::uint32_t seed, int landings, const std::string& name)
{
    HeadlessSession headless(QuietSetup(seed));
    headless.Press(VK_RETURN);
    int figure = 0;
    const auto place = [&] {
        if (figure % 3 == 0)
            headless.Press(figure % 2 == 0 ? VK_DOWN : VK_UP);
        for (int k = 0; k < figure * 5 % 7; ++k)
            headless.Press(figure % 2 ? VK_LEFT : VK_RIGHT);
        headless.Press(VK_SPACE);
    };
    place();
    return FirstGame(headless, name, [&](int landed) {
        if (landed > figure && landed < landings) {
            figure = landed;
            place();
        }
        return landed >= landings;
    });
}

}  // namespace records_server_test
