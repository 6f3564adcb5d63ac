#pragma once
// Sound output: the program's WAVE resources and a speaker-like square-wave
// beep. Playback runs on a thread of its own, so the game thread never waits
// for the device. Without an audio device it is silent.

#include <QString>
#include <QStringList>
#include <memory>

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Plays a WAVE resource (":/WAV_1"); with wait, returns when it has ended.
    // Without wait it cuts off whatever is still sounding.
    virtual void PlayWave(const QString& resource, bool wait) = 0;
    // A tone of the given pitch and length; returns when it has ended. A
    // frequency of 0 is a rest. Asked for just as the previous blocking sound
    // ends, it follows that one without a gap.
    virtual void Beep(int frequency, int milliseconds) = 0;
    // The same, returning at once: the sound starts where the last queued or
    // blocking one ends (or now, when that has passed), without a gap, and
    // the caller waits for it by its own clock. QueueWave returns the wave's
    // length in milliseconds.
    virtual int QueueWave(const QString& resource) = 0;
    virtual void QueueTone(int frequency, int milliseconds) = 0;
};

// Plays on the system's default output. The audio stack (the plugin
// vantorix2-sound, Qt Multimedia, the sound server's client) is loaded at
// the first sound, not before; when it cannot be, every sound is silent and
// the calls that wait still take their time.
std::unique_ptr<SoundOutput> MakeSoundOutput();

// The plugin's file name without its suffix, looked for beside the program
// (a build tree) and in the installed library folder, in this order.
inline constexpr const char* SoundPluginName = "vantorix2-sound";
QStringList SoundPluginPaths(const QString& programFolder);
