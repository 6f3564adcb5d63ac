#pragma once
// Sound output: the program's WAVE resources and a speaker-like square-wave
// beep. Playback runs on a thread of its own, so it goes on while the game
// thread sleeps in its animations. Without an audio device it is silent.

#include <QString>
#include <memory>

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Plays a WAVE resource (":/WAV_1"); with wait, returns when it has ended.
    virtual void PlayWave(const QString& resource, bool wait) = 0;
    // A tone of the given pitch and length; returns when it has ended. A
    // frequency of 0 is a rest.
    virtual void Beep(int frequency, int milliseconds) = 0;
};

std::unique_ptr<SoundOutput> MakeSoundOutput();
