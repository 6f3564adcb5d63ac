// The real window, offscreen, played by the autopilot as fast as the machine
// allows: the timer ticks are driven directly and the waits do not sleep. It
// counts games, watches the resident memory and checks what must always hold.
// With --seed and --games it prints the window's games instead, one line
// each, in the form vantorix2-sim play prints them.

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "window/Unit1.h"
#include "window/application.h"
#include "window/virtual_keys.h"

namespace {

struct Silence : SoundOutput {
    void PlayWave(const QString&, bool) override {}
    void Beep(int, int) override {}
    int QueueWave(const QString&) override { return 0; }
    void QueueTone(int, int) override {}
};

// Kilobytes of a /proc/self/status line ("VmRSS", "VmHWM").
long StatusKilobytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::stol(line.substr(key.size() + 1));
    return -1;
}

class SoakForm : public TForm1 {
public:
    SoakForm() : TForm1(std::make_unique<Silence>())
    {
        Session->OnNotice = [this](int code) { Notice(code); };
    }

    // What the event loop does on a clock that jumps: the end of the wait
    // in progress, else a tick of whichever timer runs; then the queued
    // notices and keys.
    void Tick()
    {
        if (std::exchange(WaitPending, false))
            Session->TimerFired(SessionTimer::Wait);
        else if (Session->TimerRuns(SessionTimer::Drop))
            Timer3Timer();
        else
            Timer1Timer();
        QCoreApplication::processEvents();
    }

    // A wait keeps its place in the order, not its time.
    void StartTimer(SessionTimer timer, int milliseconds) override
    {
        if (timer == SessionTimer::Wait)
            WaitPending = true;
        else
            TForm1::StartTimer(timer, milliseconds);
    }

    void Notice(int code)
    {
        if (code == NotifyGameStarted) {
            GameLandings = 0;
            GameStartTicks = Loop->FallTicks;
        } else if (code == NotifyGameOver) {
            ++Games;
            LastScore = -1;
            if (PrintGames)
                std::cout << "{\"game\":" << Games << ",\"score\":" << Game->Score << ",\"level\":" << int(Game->Level)
                          << ",\"landings\":" << GameLandings << ",\"ticks\":" << Loop->FallTicks - GameStartTicks
                          << ",\"capped\":false}" << std::endl;
        } else if (code == NotifyScoreSet) {
            if (Game->Score < LastScore)
                Broken("score went down within a game: " + std::to_string(LastScore) + " to " +
                       std::to_string(Game->Score));
            LastScore = Game->Score;
        } else if (code == NotifyLanded) {
            ++Landings;
            ++GameLandings;
        }
    }

    void CheckWell()
    {
        for (int row = 0; row < GridRowCount; ++row)
            for (int col = 0; col < GridStride; ++col) {
                const int cell = Game->Stack[std::size_t(CellIndex(row, col))];
                const bool border = col == 0 || col == BorderCol || row == BorderRow;
                const bool allowed = border ? cell == CellBorder : row == 0 ? cell == CellEmpty : cell < CellMarked;
                if (!allowed)
                    Broken("stack cell (" + std::to_string(row) + ", " + std::to_string(col) + ") holds " +
                           std::to_string(cell));
                if (Game->Display[std::size_t(CellIndex(row, col))] > CellBorder)
                    Broken("display cell out of range");
            }
    }

    void Broken(const std::string& what)
    {
        if (Violations.size() < 20)
            Violations.push_back(what);
        ++ViolationCount;
    }

    bool PrintGames = false;
    long Games = 0;
    long Landings = 0;
    long GameLandings = 0;
    std::int64_t GameStartTicks = 0;
    std::int32_t LastScore = -1;
    bool WaitPending = false;
    std::vector<std::string> Violations;
    long ViolationCount = 0;
};

int Usage()
{
    std::cerr << "usage: vantorix2-soak --minutes M | --seconds S | --seed N --games G" << std::endl;
    return 2;
}

// A whole number from 0 to 2^32 - 1, or -1.
long long Count(const std::string& text)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const long long value = std::stoll(text);
    return value <= 0xFFFFFFFFLL ? value : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 0;
    long long seed = -1, games = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--seed") {
            seed = Count(argv[i + 1]);
            continue;
        }
        if (name == "--games") {
            games = Count(argv[i + 1]);
            continue;
        }
        const double value = std::atof(argv[i + 1]);
        if (value <= 0)
            return Usage();
        if (name == "--minutes")
            seconds = value * 60;
        else if (name == "--seconds")
            seconds = value;
        else
            return Usage();
    }
    const bool gamesMode = seed >= 0 && games > 0;
    if (argc % 2 == 0 || (gamesMode ? seconds > 0 : (seconds <= 0 || seed >= 0 || games >= 0)))
        return Usage();

    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    VantorixApplication app(argc, argv);
    // The records and options files go to a folder of the run's own.
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());

    long errors = 0;
    std::string firstError;
    VantorixApplication::ShowError = [&](const QString& text) {
        if (errors++ == 0)
            firstError = text.toStdString();
    };
    TForm1::AnswerDialog = [](QMessageBox::Icon, const QString&, const QString&, QMessageBox::StandardButtons) {
        return QMessageBox::Ok;
    };

    SoakForm form;
    form.show();
    if (gamesMode) {
        form.PrintGames = true;
        form.Game->Random.Seed(static_cast<std::uint32_t>(seed));
        form.KeyPressDown('A');
        while (form.Games < games && form.ViolationCount == 0 && errors == 0) {
            form.Tick();
            form.CheckWell();
        }
        for (const std::string& what : form.Violations)
            std::cerr << "vantorix2-soak: " << what << std::endl;
        if (errors > 0)
            std::cerr << "vantorix2-soak: an error reached the general handler: " << firstError << std::endl;
        return form.ViolationCount == 0 && errors == 0 ? 0 : 1;
    }
    form.KeyPressDown('A');   // the autopilot starts a game and goes on for ever

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    const auto warmUp = start + std::chrono::duration<double>(std::min(60.0, seconds / 10));
    long rssAfterWarmUp = -1, ticks = 0;
    std::cout << "minute,games,rss_kb" << std::endl;
    auto nextSample = start;
    while (Clock::now() < until) {
        form.Tick();
        form.CheckWell();
        ++ticks;
        if (rssAfterWarmUp < 0 && Clock::now() >= warmUp)
            rssAfterWarmUp = StatusKilobytes("VmRSS");
        if (Clock::now() >= nextSample) {
            std::cout << std::chrono::duration<double>(Clock::now() - start).count() / 60 << "," << form.Games << ","
                      << StatusKilobytes("VmRSS") << std::endl;
            nextSample += std::chrono::seconds(seconds >= 600 ? 60 : 5);
        }
    }
    if (!form.State().AutopilotOn)
        form.Broken("the autopilot stopped");

    const double minutes = std::chrono::duration<double>(Clock::now() - start).count() / 60;
    std::cout << "{\"minutes\":" << minutes << ",\"games\":" << form.Games << ",\"landings\":" << form.Landings
              << ",\"ticks\":" << ticks << ",\"peak_rss_kb\":" << StatusKilobytes("VmHWM")
              << ",\"rss_kb_after_warm_up\":" << rssAfterWarmUp << ",\"final_rss_kb\":" << StatusKilobytes("VmRSS")
              << ",\"errors\":" << errors << ",\"violations\":" << form.ViolationCount << "}" << std::endl;
    for (const std::string& what : form.Violations)
        std::cerr << "vantorix2-soak: " << what << std::endl;
    if (errors > 0)
        std::cerr << "vantorix2-soak: " << errors << " errors reached the general handler, first: " << firstError
                  << std::endl;
    const bool played = form.Games > 0 || seconds < 30;
    if (!played)
        std::cerr << "vantorix2-soak: no game ended" << std::endl;
    return form.ViolationCount == 0 && errors == 0 && played ? 0 : 1;
}
