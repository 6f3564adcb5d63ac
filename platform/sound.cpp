#include "sound.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLibrary>
#include <QThread>
#include <chrono>

#include "sound_scheduler.h"
#include "wave_reader.h"

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

// No audio device: nothing sounds, and the calls that wait take their time.
class SilentSound : public SoundOutput {
public:
    SilentSound() { Scheduler.Close(); }

    void PlayWave(const QString& resource, bool wait) override
    {
        if (wait)
            Scheduler.PlayAndWait(std::make_shared<const SoundSamples>(), SoundNanoseconds(std::int64_t(Length(resource))));
    }

    int QueueWave(const QString& resource) override
    {
        const std::int64_t length = SoundNanoseconds(std::int64_t(Length(resource)));
        Scheduler.Queue(std::make_shared<const SoundSamples>(), length);
        return int((length + 999999) / 1000000);
    }

    void QueueTone(int, int milliseconds) override
    {
        if (milliseconds > 0)
            Scheduler.Queue(std::make_shared<const SoundSamples>(), std::int64_t(milliseconds) * 1000000);
    }

    void Beep(int, int milliseconds) override
    {
        if (milliseconds > 0)
            Scheduler.PlayAndWait(std::make_shared<const SoundSamples>(), std::int64_t(milliseconds) * 1000000);
    }

private:
    std::size_t Length(const QString& resource)
    {
        auto length = Lengths.find(resource);
        if (length == Lengths.end()) {
            QFile file(resource);
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            length = Lengths.insert(resource, ReadWave(std::string_view(bytes.constData(), bytes.size())).size());
        }
        return *length;
    }

    SteadyClock Clock;
    SoundScheduler Scheduler{Clock};
    QHash<QString, std::size_t> Lengths;
};

// Loads the device output at the first sound.
class LazySound : public SoundOutput {
public:
    void PlayWave(const QString& resource, bool wait) override { Output().PlayWave(resource, wait); }
    void Beep(int frequency, int milliseconds) override { Output().Beep(frequency, milliseconds); }
    int QueueWave(const QString& resource) override { return Output().QueueWave(resource); }
    void QueueTone(int frequency, int milliseconds) override { Output().QueueTone(frequency, milliseconds); }

private:
    SoundOutput& Output()
    {
        if (!Loaded)
            Loaded = Load();
        return *Loaded;
    }

    static std::unique_ptr<SoundOutput> Load()
    {
        for (const QString& path : SoundPluginPaths(QCoreApplication::applicationDirPath())) {
            QLibrary plugin(path);
            using Factory = SoundOutput* (*)();
            if (const auto make = reinterpret_cast<Factory>(plugin.resolve("VantorixDeviceSound")))
                return std::unique_ptr<SoundOutput>(make());   // the plugin stays loaded for good
        }
        return std::make_unique<SilentSound>();
    }

    std::unique_ptr<SoundOutput> Loaded;
};

}  // namespace

QStringList SoundPluginPaths(const QString& programFolder)
{
    return {programFolder + "/" + SoundPluginName,
            QDir::cleanPath(programFolder + "/" VANTORIX2_PLUGIN_DIR "/" + SoundPluginName)};
}

std::unique_ptr<SoundOutput> MakeSoundOutput()
{
    return std::make_unique<LazySound>();
}
