#pragma once
#include <cstdint>

// What the engine needs from whoever shows the game: the game session
// implements it (its calls become the steps a front end plays), the engine
// tests and the one-shot tools implement it without one.
class GameHost {
public:
    virtual ~GameHost() = default;

    // Queues a game notification; handled after the posting operation returns.
    virtual void PostGameNotification(int code) = 0;
    // Switches the fall timer (Timer1) off or on.
    virtual void SetFallTimerEnabled(bool enabled) = 0;
    // Switches the drop timer (Timer3), which measures the grace after a hard drop.
    virtual void SetDropTimerEnabled(bool enabled) = 0;
    // Redraws the well from the engine's Display grid.
    virtual void DrawWell() = 0;
    // The short sound of a removed cell.
    virtual void My_Sound() = 0;
    // A wait: what comes after it is shown that much later. The running
    // game is paused and unpaused by it.
    virtual void Delay(int milliseconds) = 0;
    // Writes an interim score into the score label; repaintNow makes it
    // visible at once, in the middle of the animation.
    virtual void ShowScore(std::int32_t score, bool repaintNow) = 0;
    // The bonus animation.
    virtual void Bonus(std::int32_t amount) = 0;
    // Whether the record fanfare goes to the PC speaker instead of a wave.
    virtual bool SoundGoesToSpeaker() = 0;
    virtual void Beep(int frequency, int milliseconds) = 0;
    // The record wave, waited for.
    virtual void PlayRecordWave() = 0;
};

// Game notification codes.
enum GameNotification : int {
    NotifyGameStarted = 1,
    NotifyGameOver = 2,
    NotifyLanded = 6,
    NotifyIntervalChanged = 8,
    NotifyLevelSet = 10,
    NotifyScoreSet = 11,
};
