// Watching a replay in the well: the best entry's from the popup menu, or
// a file named on the command line.

#include "i18n/messages.h"
#include "storage/atomic_file.h"
#include "window/Unit1.h"
#include "window/application.h"

TForm1::Watched::Watched(const Replay& replay, TADTetrisGame& game, GameLoop& loop)
    : Source(replay), Commands(game, loop, false), Playback(Source, game, Commands), SavedRandom(game.Random),
      SavedRules{game.StartLevel, game.MaxLevel, game.BaseInterval, game.IntervalStep, game.MinInterval}
{
}

void TForm1::ReportReplayFault(const std::exception& error)
{
    ReplayProblem problem = ReplayProblem::Unreadable;
    if (const auto* fault = dynamic_cast<const ReplayError*>(&error)) {
        const ReplayFault kinds[] = {ReplayFault::NotAReplay, ReplayFault::OtherVersion, ReplayFault::Damaged,
                                     ReplayFault::Unplayable};
        const ReplayProblem problems[] = {ReplayProblem::NotAReplay, ReplayProblem::OtherVersion, ReplayProblem::Damaged,
                                          ReplayProblem::Unplayable};
        for (std::size_t k = 0; k < std::size(kinds); ++k)
            if (fault->Fault == kinds[k])
                problem = problems[k];
    }
    // The reason in detail stays as the reader gave it, for whoever looks into the file.
    const QString text = QString::fromUtf8(ReplayProblemText(LanguageInForce.Shown(), problem)).arg(WatchedFile);
    VantorixApplication::ReportError(text + "\r\n\r\n" + QString::fromUtf8(error.what()));
}

void TForm1::WatchBestClick()
{
    Flags.MenuToggle = !Flags.MenuToggle;
    const auto file = Records.Replays().PathOf(Records.Entries(), 1);
    if (!file)
        return;
    WatchedFile = QString::fromStdString(file->string());
    try {
        WatchReplay(ReadReplay(ReadWholeFile(*file, MaxReplayBytes)));
    } catch (const std::exception& error) {
        ReportReplayFault(error);
    }
}

bool TForm1::WatchReplayFile(const QString& file)
{
    WatchedFile = file;
    try {
        const Replay replay = ReadReplay(ReadWholeFile(file.toStdString(), MaxReplayBytes));
        return WatchReplay(replay);
    } catch (const std::exception& error) {
        ReportReplayFault(error);
        return false;
    }
}

bool TForm1::WatchReplay(const Replay& replay)
{
    // Not over a game being played, nor over an open name entry.
    if (Game->Running || Edit1->isEnabled() || Watching())
        return false;
    if (!GBAbout->isHidden())
        ShowAbout();
    if (!GBOptions->isHidden())
        ShowOptions();
    Watch = std::make_unique<Watched>(replay, *Game, *Loop);
    Label3->hide();
    lbS->hide();
    lbReplay->show();
    // The game starts, and whatever came before its first tick.
    WatchTick();
    return Watching();
}

void TForm1::WatchTick()
{
    if (!Watch)
        return;
    bool more = false;
    try {
        more = Watch->Playback.StepToTick();
    } catch (const ReplayError& error) {
        ReportReplayFault(error);
        StopWatching();
        return;
    }
    Game->ComposeDisplay(Game->Display, true);
    DrawWell();
    if (!more || !Game->Running) {
        // A game that ended says so by its notice; one cut short ends here.
        if (!Game->Running)
            return;
        StopWatching();
        return;
    }
    // A replay whose timers are both off (one cut short before its game
    // took over the fall timer) still goes on at the game's pace.
    if (!Timer1->isActive() && !Timer3->isActive()) {
        Timer1->setInterval(Game->Interval > 0 ? Game->Interval : 1000);
        Timer1->start();
    }
}

void TForm1::StopWatching()
{
    if (!Watch)
        return;
    if (Game->Running)
        Game->GameOver();   // its notice finishes the watching
    else
        FinishWatching();
}

void TForm1::FinishWatching()
{
    if (!Watch)
        return;
    Timer1->stop();
    Timer3->stop();
    // The player's own games go on from their own random source and rules,
    // and never from a pause the replay ended in.
    Game->Random = Watch->SavedRandom;
    const ReplayRules& rules = Watch->SavedRules;
    Game->StartLevel = rules.StartLevel;
    Game->MaxLevel = rules.MaxLevel;
    Game->BaseInterval = rules.BaseInterval;
    Game->IntervalStep = rules.IntervalStep;
    Game->MinInterval = rules.MinInterval;
    Game->Paused = false;
    Watch.reset();
    lbReplay->hide();
    Label3->show();
    PauseBlocked->hide();
    RepaintNow();
}
