#pragma once
// A PulseAudio daemon of the test's own, in a temporary folder, with a null
// sink whose monitor parec records to a file for the whole run. Nothing of
// it touches the system's or the user's sound setup.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <memory>
#include <sys/prctl.h>
#include <csignal>
#include <cstring>
#include <vector>

class PulseServer {
public:
    static constexpr int Rate = 44100;

    // Where the daemon keeps its socket; clients must be pointed here before
    // anything looks for a sound server.
    static void PointClientsAt(const QString& folder)
    {
        QDir().mkpath(folder + "/run");
        QFile config(folder + "/client.conf");
        if (config.open(QIODevice::WriteOnly))
            config.write("autospawn = no\n");
        qputenv("PULSE_SERVER", ("unix:" + folder + "/native").toUtf8());
        qputenv("PULSE_CLIENTCONFIG", (folder + "/client.conf").toUtf8());
        qputenv("PULSE_COOKIE", (folder + "/cookie").toUtf8());
        qputenv("PULSE_RUNTIME_PATH", (folder + "/run").toUtf8());
    }

    explicit PulseServer(QString folder) : Folder(std::move(folder)) {}
    ~PulseServer() { Stop(); }

    // Starts the daemon and the recording; false with Problem() set if not.
    bool Start()
    {
        if (Daemon)
            return Why.isEmpty();
        for (const char* tool : {"pulseaudio", "pactl", "parec"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                return Fail(QString("%1 is not installed: the sound tests need the Debian packages pulseaudio and "
                                    "pulseaudio-utils (scripts/setup.sh installs them)")
                                .arg(tool));
        }
        // Whatever becomes of this process, its folder goes with it. Away
        // from our output, so that CTest does not wait for it.
        QProcess sweeper;
        sweeper.setProgram("sh");
        sweeper.setArguments({"-c", "while kill -0 \"$0\" 2>/dev/null; do sleep 1; done; rm -rf \"$1\"",
                              QString::number(QCoreApplication::applicationPid()), Folder});
        sweeper.setStandardInputFile(QProcess::nullDevice());
        sweeper.setStandardOutputFile(QProcess::nullDevice());
        sweeper.setStandardErrorFile(QProcess::nullDevice());
        sweeper.startDetached();
        Env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "PULSE_STATE_PATH"})
            Env.insert(name, Folder + "/run");
        Env.remove("DBUS_SESSION_BUS_ADDRESS");
        QProcessEnvironment daemonEnv = Env;
        daemonEnv.remove("PULSE_SERVER");
        Daemon = Launch("pulseaudio",
                        {"-n", "--daemonize=no", "--system=no", "--exit-idle-time=-1", "--use-pid-file=no",
                         "--high-priority=no", "--realtime=no", "--log-target=stderr",
                         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + Folder + "/native",
                         "--load=module-null-sink sink_name=recorded rate=44100 channels=1 format=s16le"},
                        daemonEnv, Folder + "/daemon.log");
        if (!Answers(Env))
            return Fail("the private PulseAudio daemon did not come up: " + Log("daemon.log"));
        return Record(true) || Fail(Why);
    }

    // (Re)starts the recording, which goes on where it was. A prompt one asks
    // for a low latency, so the null sink renders in real time and a new
    // stream plays at once; otherwise the sink renders two seconds at a
    // time, as for a recorder left at its defaults, and a new stream waits
    // for the next of them.
    bool Record(bool prompt)
    {
        if (Recorder) {
            Recorder->terminate();
            Recorder->waitForFinished(3000);
        }
        QStringList arguments = {"--device=recorded.monitor", "--format=s16le", "--rate=44100", "--channels=1",
                                 "--raw"};
        if (prompt)
            arguments << "--latency-msec=5";
        Recorder = Launch("parec", arguments, Env, Folder + "/parec.log", Folder + "/recording.raw");
        // A prompt one: wait until the recording flows in real time.
        QElapsedTimer clock;
        clock.start();
        qint64 windowStart = -1, framesAtStart = 0;
        while (prompt && clock.elapsed() < 15000) {
            if (Recorder->waitForFinished(10))
                return (Why = "parec stopped: " + Log("parec.log")).isEmpty();
            const qint64 frames = RecordedFrames();
            if (frames > 0 && windowStart < 0) {
                windowStart = clock.elapsed();
                framesAtStart = frames;
            } else if (windowStart >= 0 && clock.elapsed() - windowStart >= 300) {
                if (frames - framesAtStart >= Rate * 3 / 20)
                    return true;
                windowStart = clock.elapsed();
                framesAtStart = frames;
            }
        }
        Why = prompt ? "the recording of the null sink never got going: " + Log("parec.log") : "";
        return !prompt;
    }

    void Stop()
    {
        for (auto* process : {&Recorder, &Daemon}) {
            if (*process && (*process)->state() != QProcess::NotRunning) {
                (*process)->terminate();
                if (!(*process)->waitForFinished(3000)) {
                    (*process)->kill();
                    (*process)->waitForFinished(3000);
                }
            }
            process->reset();
        }
    }

    const QString& Problem() const { return Why; }

    qint64 RecordedFrames() const { return QFileInfo(Folder + "/recording.raw").size() / 2; }

    std::vector<qint16> Recording(qint64 fromFrame) const
    {
        QFile file(Folder + "/recording.raw");
        if (!file.open(QIODevice::ReadOnly) || !file.seek(fromFrame * 2))
            return {};
        const QByteArray bytes = file.readAll();
        std::vector<qint16> samples(std::size_t(bytes.size() / 2));
        if (!samples.empty())
            std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }

private:
    std::unique_ptr<QProcess> Launch(const QString& program, const QStringList& arguments,
                                     const QProcessEnvironment& env, const QString& log, const QString& out = {})
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setStandardErrorFile(log);
        process->setStandardOutputFile(out.isEmpty() ? QProcess::nullDevice() : out, QIODevice::Append);
        // Dies with the test, even when the test crashes.
        process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process->start(program, arguments);
        process->waitForStarted(5000);
        return process;
    }

    bool Answers(const QProcessEnvironment& env)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            QProcess info;
            info.setProcessEnvironment(env);
            info.start("pactl", {"info"});
            if (info.waitForFinished(3000) && info.exitStatus() == QProcess::NormalExit && info.exitCode() == 0)
                return true;
            if (Daemon->waitForFinished(50))
                return false;
        }
        return false;
    }

    QString Log(const QString& name) const
    {
        QFile file(Folder + "/" + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(2000)) : "(no log)";
    }

    bool Fail(const QString& why)
    {
        Why = why;
        Stop();
        return false;
    }

    QString Folder;
    QString Why;
    QProcessEnvironment Env;  // the clients'
    std::unique_ptr<QProcess> Daemon;
    std::unique_ptr<QProcess> Recorder;
};
