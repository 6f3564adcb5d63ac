#include "sound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// One output stream stays open for the program's life: starting and stopping
// a stream per sound loses sounds on PulseAudio and soon falls silent. The
// sound thread feeds it in push mode from its own 4 ms timer. Qt's pull mode
// would read 20 ms blocks on a 20 ms timer, too coarse to keep a 2 ms beep
// in step with the next one; pushing lets us decide how much to hand over.
//
// Every sound is put on the output at the time it was asked for plus a small
// constant lead, so sounds keep the spacing the game gave them. A blocking
// sound asked for as the previous blocking one ends is joined to it, and
// the device is not topped up with silence while such a sequel is due, so
// the record fanfare's 2 ms beeps come out as one unbroken run.

namespace {

constexpr int SampleRate = 44100;
constexpr qint16 BeepAmplitude = 6000;

constexpr qint64 Frames(int milliseconds)
{
    return qint64(milliseconds) * SampleRate / 1000;
}
constexpr qint64 Nanoseconds(int milliseconds)
{
    return qint64(milliseconds) * 1000000;
}
constexpr qint64 FramesToNanoseconds(qint64 frames)
{
    return frames * 1000000000 / SampleRate;
}

constexpr int TickMs = 4;
// What we ask the device to hold, its own latency included (PulseAudio keeps
// about 37 ms in the stream): enough to ride out this thread being held up
// for 25 ms on a busy machine, which a 30 ms buffer did not.
constexpr int DeviceBufferMs = 50;
// How far ahead of the write head a sound asked for now is placed: covers
// the tick, so a request is never already behind what has been handed over.
constexpr qint64 MinLead = Frames(6);
// More lead than this is pulled back in a quiet moment (the device ran slow
// or stalled), so the delay of a sound stays small.
constexpr qint64 LeadBand = Frames(10);
constexpr qint64 MaxLead = Frames(200);
constexpr qint64 Backlog = Frames(1000);
// A blocking call returns when its time is up and the caller asks for the
// next sound at once; later than this it is a new sound, not a sequel. Below
// the 10 ms the game waits between the beeps of a cascade.
constexpr qint64 ChainSlackNs = Nanoseconds(8);
constexpr qint64 QuietNs = Nanoseconds(250);
// While waiting for a sequel the device is not topped up, down to this.
constexpr qint64 HoldFloor = Frames(20);

using Samples = QList<qint16>;  // implicitly shared: cached waves pass to the sound thread uncopied

qint64 NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The samples of a PCM mono 16-bit 44.1 kHz WAVE file; nothing otherwise.
Samples WaveSamples(const QByteArray& file)
{
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return {};
    bool playable = false;
    qsizetype at = 12;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= file.size()) {
            const char* fmt = file.constData() + body;
            playable = qFromLittleEndian<quint16>(fmt) == 1 && qFromLittleEndian<quint16>(fmt + 2) == 1 &&
                       qFromLittleEndian<quint32>(fmt + 4) == SampleRate && qFromLittleEndian<quint16>(fmt + 14) == 16;
        } else if (id == "data") {
            if (!playable)
                return {};
            const qsizetype count = std::min<qsizetype>(size, file.size() - body) / 2;
            Samples samples(count);
            for (qsizetype i = 0; i < count; ++i)
                samples[i] = qFromLittleEndian<qint16>(file.constData() + body + 2 * i);
            return samples;
        }
        at = body + qsizetype(size) + (size & 1);
    }
    return {};
}

Samples SquareWave(int frequency, int milliseconds)
{
    Samples samples(Frames(milliseconds), 0);
    if (frequency <= 0)
        return samples;
    for (qsizetype i = 0; i < samples.size(); ++i) {
        const double phase = std::fmod(double(i) * frequency / SampleRate, 1.0);
        samples[i] = phase < 0.5 ? BeepAmplitude : qint16(-BeepAmplitude);
    }
    return samples;
}

struct SoundRequest {
    Samples samples;
    qint64 askedAt;  // NowNanoseconds() of the call
    bool blocking;
};

// Requests from the game thread to the sound thread.
class Mailbox {
public:
    void Post(SoundRequest request)
    {
        std::lock_guard lock(Mutex);
        if (!Closed)
            Requests.push_back(std::move(request));
    }
    std::vector<SoundRequest> Take()
    {
        std::lock_guard lock(Mutex);
        return std::exchange(Requests, {});
    }
    // No device: requests are dropped from now on.
    void Close()
    {
        std::lock_guard lock(Mutex);
        Closed = true;
        Requests.clear();
    }

private:
    std::mutex Mutex;
    std::vector<SoundRequest> Requests;
    bool Closed = false;
};

// The output from the write head on: what is scheduled but not yet handed
// to the device. One voice: a new sound cuts off what is scheduled from its
// start on, except a blocking sound, which its caller has waited for.
class Timeline {
public:
    void Place(const SoundRequest& request)
    {
        if (!Anchored)
            SetLead(request.askedAt, MinLead);
        qint64 start = std::llround(FrameAt(request.askedAt));
        if (request.blocking && LastBlocking && request.askedAt <= LastDueAt + ChainSlackNs)
            start = LastEnd;
        start = std::max({start, KeepUntil, Head});
        // A device that takes nothing must not make the queue grow without end.
        if (start - Head > Backlog)
            start = std::max(Head, std::llround(FrameAt(request.askedAt)));
        Ahead.resize(std::size_t(start - Head), 0);
        Ahead.insert(Ahead.end(), request.samples.cbegin(), request.samples.cend());
        LastBlocking = request.blocking;
        LastDueAt = request.askedAt + FramesToNanoseconds(request.samples.size());
        LastAskedAt = request.askedAt;
        LastEnd = start + request.samples.size();
        if (request.blocking)
            KeepUntil = LastEnd;
    }

    // The next frames for the device: at most room; buffered is what it
    // still holds.
    std::vector<qint16> Serve(qint64 now, qint64 room, qint64 buffered)
    {
        if (!Anchored || FrameAt(now) - double(Head) > double(MaxLead))
            SetLead(now, MinLead);
        qint64 count = room;
        if (LastBlocking && now <= LastDueAt + ChainSlackNs && LastEnd >= Head) {
            // The sequel is due any moment: hand over no silence after this
            // sound but what keeps the device from running dry.
            count = std::min(room, std::max(LastEnd - Head, HoldFloor - buffered));
        }
        std::vector<qint16> out(std::size_t(std::max<qint64>(count, 0)), 0);
        const std::size_t taken = std::min(out.size(), Ahead.size());
        std::copy_n(Ahead.begin(), taken, out.begin());
        Ahead.erase(Ahead.begin(), Ahead.begin() + std::ptrdiff_t(taken));
        Head += qint64(out.size());
        if (!out.empty()) {
            const double lead = FrameAt(now) - double(Head);
            const bool quiet = Head >= LastEnd && now - LastAskedAt > QuietNs;
            if (lead < double(MinLead) || (quiet && lead > double(MinLead + LeadBand)))
                SetLead(now, MinLead);
        }
        return out;
    }

private:
    double FrameAt(qint64 time) const
    {
        return LineFrame + double(time - LineTime) * SampleRate / 1e9;
    }
    void SetLead(qint64 now, qint64 lead)
    {
        Anchored = true;
        LineTime = now;
        LineFrame = double(Head + lead);
    }

    qint64 Head = 0;            // frames handed to the device so far
    std::vector<qint16> Ahead;  // frames from Head on; zeros are silence
    // The frame where a sound asked for at LineTime starts; the line runs
    // on at the sample rate.
    bool Anchored = false;
    qint64 LineTime = 0;
    double LineFrame = 0;
    bool LastBlocking = false;
    qint64 LastAskedAt = 0;
    qint64 LastDueAt = 0;  // when the last sound's caller is done with it
    qint64 LastEnd = 0;
    qint64 KeepUntil = 0;
};

// Lives on the sound thread: the open stream and what goes into it.
class SoundStream {
public:
    explicit SoundStream(std::shared_ptr<Mailbox> requests) : Requests(std::move(requests)) {}

    bool Open(const std::optional<QAudioDevice>& chosen)
    {
        const QAudioDevice device = chosen ? *chosen : QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return false;
        QAudioFormat format;
        format.setSampleRate(SampleRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format))
            return false;
        Sink = std::make_unique<QAudioSink>(device, format);
        Sink->setBufferSize(Frames(DeviceBufferMs) * 2);
        Device = Sink->start();
        return Device != nullptr && Sink->error() == QAudio::NoError;
    }

    // False once the stream has failed for good.
    bool Feed()
    {
        const qint64 now = NowNanoseconds();
        for (const SoundRequest& request : Requests->Take())
            Plan.Place(request);
        if (Sink->state() == QAudio::StoppedState)
            return false;
        const qint64 room = Sink->bytesFree() / 2;
        const qint64 buffered = std::max<qint64>(Sink->bufferSize() / 2 - room, 0);
        const std::vector<qint16> block = Plan.Serve(now, room, buffered);
        if (!block.empty())
            Device->write(reinterpret_cast<const char*>(block.data()), qint64(block.size()) * 2);
        return true;
    }

private:
    std::shared_ptr<Mailbox> Requests;
    std::unique_ptr<QAudioSink> Sink;
    QIODevice* Device = nullptr;  // owned by Sink
    Timeline Plan;
};

class SoundThread : public QThread {
public:
    SoundThread(std::optional<QAudioDevice> device, std::shared_ptr<Mailbox> requests)
        : Device(std::move(device)), Requests(std::move(requests))
    {
    }

protected:
    void run() override
    {
        // Built and torn down here, so the sink lives on this thread only.
        SoundStream stream(Requests);
        if (isInterruptionRequested() || !stream.Open(Device)) {
            Requests->Close();
            return;
        }
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
            // A quit() that came before exec() is not lost.
            if (isInterruptionRequested()) {
                quit();
            } else if (!stream.Feed()) {
                Requests->Close();
                tick.stop();
            }
        });
        tick.start(TickMs);
        exec();
    }

private:
    std::optional<QAudioDevice> Device;
    std::shared_ptr<Mailbox> Requests;
};

class ThreadedSound : public SoundOutput {
public:
    explicit ThreadedSound(std::optional<QAudioDevice> device)
        : Requests(std::make_shared<Mailbox>()), Player(new SoundThread(std::move(device), Requests))
    {
        Player->start();
    }
    ~ThreadedSound() override
    {
        Player->requestInterruption();
        Player->quit();
        // A sound server that never answers must not hang the program on
        // its way out: the thread is then left behind.
        if (Player->wait(QDeadlineTimer(3000)))
            delete Player;
    }

    void PlayWave(const QString& resource, bool wait) override
    {
        auto cached = Waves.find(resource);
        if (cached == Waves.end()) {
            QFile file(resource);
            cached = Waves.insert(resource, file.open(QIODevice::ReadOnly) ? WaveSamples(file.readAll()) : Samples());
        }
        if (cached->isEmpty())
            return;
        if (wait) {
            PlayAndWait(*cached, FramesToNanoseconds(cached->size()));
        } else {
            BlockingDue = 0;
            Requests->Post({*cached, NowNanoseconds(), false});
        }
    }

    void Beep(int frequency, int milliseconds) override
    {
        if (milliseconds > 0)
            PlayAndWait(SquareWave(frequency, milliseconds), Nanoseconds(milliseconds));
    }

private:
    // A call that follows a blocking one at once continues it: it starts
    // when the previous one ended, not when the caller, a little late from
    // its sleep, got round to it. So a run of short beeps keeps in step with
    // the clock instead of falling behind by each sleep's overshoot.
    void PlayAndWait(const Samples& samples, qint64 length)
    {
        const qint64 now = NowNanoseconds();
        const qint64 start = now <= BlockingDue + ChainSlackNs ? std::min(BlockingDue, now) : now;
        BlockingDue = start + length;
        Requests->Post({samples, start, true});
        const qint64 left = BlockingDue - NowNanoseconds();
        if (left > 0)
            QThread::usleep(static_cast<unsigned long>(left / 1000));
    }

    std::shared_ptr<Mailbox> Requests;
    SoundThread* Player;
    QHash<QString, Samples> Waves;
    qint64 BlockingDue = 0;  // when the last blocking call's sound ends
};

}  // namespace

std::unique_ptr<SoundOutput> MakeSoundOutput()
{
    return std::make_unique<ThreadedSound>(std::nullopt);
}

std::unique_ptr<SoundOutput> MakeSoundOutput(const QAudioDevice& device)
{
    return std::make_unique<ThreadedSound>(device);
}
