#include "sound_device.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "sound_scheduler.h"
#include "tone.h"
#include "wave_reader.h"

// The sound output on the system's audio device, built as the plugin
// vantorix2-sound that the game loads at its first sound (sound.cpp).
//
// The output stream is opened at the first sound, on a thread of its own,
// and then stays open for the program's life: starting and stopping a stream
// per sound loses sounds on PulseAudio and soon falls silent. The sound
// thread feeds it in push mode from its own SoundTickMs timer. Qt's pull mode
// would read 20 ms blocks on a 20 ms timer, too coarse to keep a 2 ms beep in
// step with the next one; pushing lets the scheduler decide how much to hand
// over. After a quiet second, once the stream has played what it was given,
// it is suspended and the timer stopped, so an idle game wakes no one; the
// next sound resumes them.

namespace {

class SteadyClock : public SoundClock {
public:
    std::int64_t Now() override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void Sleep(std::int64_t nanoseconds) override { QThread::usleep(static_cast<unsigned long>(nanoseconds / 1000)); }
};

// Shared by the game thread and the sound thread, which may outlive the
// output (see ~ThreadedSound).
struct Scheduling {
    SteadyClock Clock;
    SoundScheduler Scheduler{Clock};
    // The sound thread's object that a wake-up is posted to, while it runs.
    std::mutex WakerMutex;
    QObject* Waker = nullptr;
    std::function<void()> OnWake;   // runs on the sound thread
};

// Lives on the sound thread: the open stream.
class DeviceSink : public SoundSink {
public:
    bool Open(const std::optional<QAudioDevice>& chosen)
    {
        const QAudioDevice device = chosen ? *chosen : QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return false;
        QAudioFormat format;
        format.setSampleRate(SoundRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format))
            return false;
        Sink = std::make_unique<QAudioSink>(device, format);
        Sink->setBufferSize(SoundFrames(SoundBufferMs) * 2);
        Device = Sink->start();
        return Device != nullptr && Sink->error() == QAudio::NoError;
    }

    void Suspend() { Sink->suspend(); }
    void Resume() { Sink->resume(); }
    bool Stopped() override { return Sink->state() == QAudio::StoppedState; }
    std::int64_t Capacity() override { return Sink->bufferSize() / 2; }
    std::int64_t Room() override { return Sink->bytesFree() / 2; }
    std::int64_t Write(const std::int16_t* frames, std::int64_t count) override
    {
        return std::max<qint64>(Device->write(reinterpret_cast<const char*>(frames), count * 2), 0) / 2;
    }

private:
    std::unique_ptr<QAudioSink> Sink;
    QIODevice* Device = nullptr;  // owned by Sink
};

class SoundThread : public QThread {
public:
    SoundThread(std::optional<QAudioDevice> device, std::shared_ptr<Scheduling> shared)
        : Device(std::move(device)), Shared(std::move(shared))
    {
    }

protected:
    void run() override
    {
        // Built and torn down here, so the sink lives on this thread only.
        DeviceSink sink;
        if (isInterruptionRequested() || !sink.Open(Device)) {
            Shared->Scheduler.Close();
            return;
        }
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        bool asleep = false;
        QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
            // A quit() that came before exec() is not lost.
            if (isInterruptionRequested()) {
                quit();
            } else if (!Shared->Scheduler.Feed(sink)) {
                Shared->Scheduler.Close();
                tick.stop();
            } else if (Shared->Scheduler.MaySleep()) {
                tick.stop();
                sink.Suspend();
                asleep = true;
            }
        });
        QObject waker;
        {
            std::lock_guard lock(Shared->WakerMutex);
            Shared->Waker = &waker;
            Shared->OnWake = [&] {
                if (!asleep)
                    return;
                asleep = false;
                sink.Resume();
                tick.start(SoundTickMs);
            };
        }
        tick.start(SoundTickMs);
        exec();
        std::lock_guard lock(Shared->WakerMutex);
        Shared->Waker = nullptr;
        Shared->OnWake = nullptr;
    }

private:
    std::optional<QAudioDevice> Device;
    std::shared_ptr<Scheduling> Shared;
};

class ThreadedSound : public SoundOutput {
public:
    explicit ThreadedSound(std::optional<QAudioDevice> device)
        : Shared(std::make_shared<Scheduling>()), Player(new SoundThread(std::move(device), Shared))
    {
        Shared->Scheduler.SetWaker([shared = Shared.get()] {
            std::lock_guard lock(shared->WakerMutex);
            if (shared->Waker)
                QMetaObject::invokeMethod(
                    shared->Waker, [shared] { if (shared->OnWake) shared->OnWake(); }, Qt::QueuedConnection);
        });
    }
    ~ThreadedSound() override
    {
        if (!Player->isRunning() && !Player->isFinished()) {
            delete Player;   // never started: no sound was ever asked for
            return;
        }
        Player->requestInterruption();
        Player->quit();
        // A sound server that never answers must not hang the program on
        // its way out: the thread is then left behind.
        if (Player->wait(QDeadlineTimer(3000)))
            delete Player;
    }

    void PlayWave(const QString& resource, bool wait) override
    {
        Open();
        const SoundScheduler::Sound& samples = Wave(resource);
        if (samples->empty())
            return;
        if (wait)
            Shared->Scheduler.PlayAndWait(samples, SoundNanoseconds(std::int64_t(samples->size())));
        else
            Shared->Scheduler.Play(samples);
    }

    void Beep(int frequency, int milliseconds) override
    {
        Open();
        if (milliseconds > 0)
            Shared->Scheduler.PlayAndWait(std::make_shared<const SoundSamples>(SquareWave(frequency, milliseconds)),
                                          std::int64_t(milliseconds) * 1000000);
    }

    int QueueWave(const QString& resource) override
    {
        Open();
        const SoundScheduler::Sound& samples = Wave(resource);
        if (samples->empty())
            return 0;
        const std::int64_t length = SoundNanoseconds(std::int64_t(samples->size()));
        Shared->Scheduler.Queue(samples, length);
        return int((length + 999999) / 1000000);
    }

    void QueueTone(int frequency, int milliseconds) override
    {
        Open();
        if (milliseconds > 0)
            Shared->Scheduler.Queue(std::make_shared<const SoundSamples>(SquareWave(frequency, milliseconds)),
                                    std::int64_t(milliseconds) * 1000000);
    }

private:
    const SoundScheduler::Sound& Wave(const QString& resource)
    {
        auto cached = Waves.find(resource);
        if (cached == Waves.end()) {
            QFile file(resource);
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            cached = Waves.insert(resource, std::make_shared<const SoundSamples>(
                                                ReadWave(std::string_view(bytes.constData(), bytes.size()))));
        }
        return *cached;
    }

    // The audio stack is loaded and the stream opened at the first sound.
    void Open()
    {
        if (!Started)
            Player->start();
        Started = true;
    }

    std::shared_ptr<Scheduling> Shared;
    SoundThread* Player;
    bool Started = false;
    QHash<QString, SoundScheduler::Sound> Waves;
};

}  // namespace

std::unique_ptr<SoundOutput> MakeDeviceSoundOutput()
{
    return std::make_unique<ThreadedSound>(std::nullopt);
}

extern "C" Q_DECL_EXPORT SoundOutput* VantorixDeviceSound()
{
    return MakeDeviceSoundOutput().release();
}
