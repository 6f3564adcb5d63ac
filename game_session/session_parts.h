#pragma once
// The session's own parts: the steps it plays, and the replay being
// watched with what it borrows from the player's game.

#include "game_session/game_session.h"

// One thing the front end is to do, in its turn behind the waits before it.
struct GameSession::Step {
    enum class Kind { Well, Score, Bonus, Timer, Sound, Wait };
    explicit Step(Kind what) : What(what) {}
    Kind What;
    Grid Well{};
    std::string Text;
    bool Now = false;                    // shown at once
    bool Word = false, Amount = false;   // the bonus labels
    SessionTimer Timer = SessionTimer::Fall;
    bool On = false;
    SessionSound Sound;
    int Milliseconds = 0;
};


struct GameSession::Watched {
    Replay Source;
    PlayCommands Commands;
    ReplayPlayback Playback;
    TRandom SavedRandom;
    ReplayRules SavedRules;
    Watched(const Replay& replay, TADTetrisGame& game, GameLoop& loop)
        : Source(replay), Commands(game, loop, false), Playback(Source, game, Commands), SavedRandom(game.Random),
          SavedRules{game.StartLevel, game.MaxLevel, game.BaseInterval, game.IntervalStep, game.MinInterval}
    {
    }
};
