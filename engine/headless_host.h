#pragma once
#include "game.h"
#include "game_loop.h"

// A host without a window: no drawing, no sound, no sleeping. Its Delay keeps
// the one effect a wait has on the game: a running game is unpaused after it.
class HeadlessHost : public GameHost {
public:
    void Attach(TADTetrisGame* game) { Game = game; }

    void PostGameNotification(int) override {}
    void SetFallTimerEnabled(bool) override {}
    void SetDropTimerEnabled(bool) override {}
    void DrawWell() override {}
    void My_Sound() override {}
    void Delay(int) override
    {
        if (Game) {
            Game->SetPaused(true);
            Game->SetPaused(false);
        }
    }
    void ShowScore(std::int32_t, bool) override {}
    void Bonus(std::int32_t) override {}
    bool SoundGoesToSpeaker() override { return false; }
    void Beep(int, int) override {}
    void PlayRecordWave() override {}

private:
    TADTetrisGame* Game = nullptr;
};

// An engine and its game loop on a headless host, for the tools.
struct HeadlessGame {
    HeadlessHost host;
    TADTetrisGame game{host};
    GameLoop loop{game};
    HeadlessGame() { host.Attach(&game); }
    HeadlessGame(const HeadlessGame&) = delete;
    HeadlessGame& operator=(const HeadlessGame&) = delete;
};
