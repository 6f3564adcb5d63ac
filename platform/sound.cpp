#include "sound.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QMediaDevices>
#include <QThread>
#include <QtEndian>
#include <cmath>

namespace {

constexpr int SampleRate = 44100;

// The PCM samples of a mono 16-bit WAVE file, or nothing.
QByteArray WaveSamples(const QByteArray& file)
{
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return {};
    qsizetype at = 12;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        if (id == "data")
            return file.mid(at + 8, qMin<qsizetype>(size, file.size() - at - 8));
        at += 8 + size + (size & 1);
    }
    return {};
}

QByteArray SquareWave(int frequency, int milliseconds)
{
    const int count = SampleRate * milliseconds / 1000;
    QByteArray samples(count * 2, 0);
    if (frequency <= 0)
        return samples;
    auto* out = reinterpret_cast<qint16*>(samples.data());
    for (int i = 0; i < count; ++i) {
        const double phase = std::fmod(double(i) * frequency / SampleRate, 1.0);
        out[i] = qToLittleEndian<qint16>(phase < 0.5 ? 6000 : -6000);
    }
    return samples;
}

// Lives on the sound thread; plays one buffer at a time, a new one cutting
// the previous one off.
class SoundWorker : public QObject {
public:
    void Play(const QByteArray& samples)
    {
        if (!Sink) {
            const QAudioDevice device = QMediaDevices::defaultAudioOutput();
            if (device.isNull())
                return;
            QAudioFormat format;
            format.setSampleRate(SampleRate);
            format.setChannelCount(1);
            format.setSampleFormat(QAudioFormat::Int16);
            if (!device.isFormatSupported(format))
                return;
            Sink = new QAudioSink(device, format, this);
            Buffer = new QBuffer(this);
        }
        Sink->stop();
        Buffer->close();
        Buffer->setData(samples);
        Buffer->open(QIODevice::ReadOnly);
        Sink->start(Buffer);
    }

private:
    QAudioSink* Sink = nullptr;
    QBuffer* Buffer = nullptr;
};

class ThreadedSound : public SoundOutput {
public:
    ThreadedSound()
    {
        Worker = new SoundWorker;
        Worker->moveToThread(&Thread);
        QObject::connect(&Thread, &QThread::finished, Worker, &QObject::deleteLater);
        Thread.start();
    }
    ~ThreadedSound() override
    {
        Thread.quit();
        Thread.wait();
    }

    void PlayWave(const QString& resource, bool wait) override
    {
        auto cached = Waves.find(resource);
        if (cached == Waves.end()) {
            QFile file(resource);
            cached = Waves.insert(resource, file.open(QIODevice::ReadOnly) ? WaveSamples(file.readAll()) : QByteArray());
        }
        Play(*cached);
        if (wait)
            QThread::msleep(static_cast<unsigned long>(cached->size() / 2 * 1000 / SampleRate));
    }

    void Beep(int frequency, int milliseconds) override
    {
        if (milliseconds <= 0)
            return;
        Play(SquareWave(frequency, milliseconds));
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }

private:
    void Play(const QByteArray& samples)
    {
        if (samples.isEmpty())
            return;
        QMetaObject::invokeMethod(Worker, [worker = Worker, samples]() { worker->Play(samples); },
                                  Qt::QueuedConnection);
    }

    QThread Thread;
    SoundWorker* Worker;
    QHash<QString, QByteArray> Waves;
};

}  // namespace

std::unique_ptr<SoundOutput> MakeSoundOutput()
{
    return std::make_unique<ThreadedSound>();
}
