// The records table and its name entry, erasing all records, publishing,
// and watching a kept replay.

#include <utility>

#include "game_session/game_session.h"
#include "game_session/session_parts.h"
#include "i18n/messages.h"
#include "online/publish_address.h"
#include "storage/atomic_file.h"


GameSession::~GameSession() = default;

void GameSession::Ask(const SessionMessage& message, std::function<void(bool)> then)
{
    Pending = std::move(then);
    Front.Ask(message);
}

void GameSession::Answer(bool yes)
{
    std::function<void(bool)> then = std::exchange(Pending, nullptr);
    if (then)
        Input([then, yes] { then(yes); });
}

void GameSession::Report(const std::string& text)
{
    Front.ReportError(text);
}

// ---- The records table ---------------------------------------------------------------

void GameSession::ShowRecordsStep(const RecordsStep& step)
{
    Shown.RecordRow = step.Place;
    ShowParts(ViewRecords);
    if (!step.Failure)
        return;
    const RecordsLoadFailure& failure = *step.Failure;
    if (!failure.Damaged) {
        // Shown once: the same failure again on every score change would
        // bury the game under message boxes.
        if (!failure.Repeated)
            Report(failure.Message);
        return;
    }
    const std::string where = failure.KeptAs.empty()
                                  ? "The damaged file could not be set aside: " + failure.Reason + "."
                                  : "The damaged file was kept as " + failure.KeptAs + ".";
    // The program ends when control is back in the event loop.
    Ask({SessionIcon::Critical, "Error", failure.Message + "\r\n\r\n" + where, false},
        [this](bool) { Front.CloseLater(); });
}

std::string GameSession::NameTyped(const std::string& typed)
{
    Shown.NameText = RecordsSession::EntryText(typed, Player);
    return Shown.NameText;
}

void GameSession::NameEntryEnter()
{
    Input([this] {
        if (!Shown.NameEntry)
            return;
        Shown.NameEntry = false;
        Shown.MenuHint = true;
        ShowParts(ViewNameEntry | ViewCaptions);
        if (!RecordsTable)
            return;
        // The table keeps the name even when it cannot be saved.
        try {
            RecordsTable->NameEntered(Engine->RecordPlace, Shown.NameText, std::exchange(EndedGame, std::nullopt));
        } catch (const std::exception& error) {
            Report(error.what());
        }
        Shown.RecordRow = Engine->RecordPlace;
        ShowParts(ViewRecords);
    });
}

void GameSession::AskErase(int question)
{
    const auto done = [this] {
        EraseOpen = false;
        MenuToggle = !MenuToggle;
    };
    const ::Language language = LanguageInForce.Shown();
    const MessageText text = EraseMessage(language, question);
    if (question < EraseQuestions) {
        Ask({SessionIcon::None, text.Caption, text.Text, true}, [this, question, done](bool yes) {
            if (yes)
                AskErase(question + 1);
            else
                done();
        });
        return;
    }
    Ask({SessionIcon::None, text.Caption, text.Text, false}, [this, done](bool) {
        try {
            if (RecordsTable) {
                const RecordsStep step = RecordsTable->Erase();
                Engine->RecordPlace = static_cast<std::uint8_t>(step.Place);
                ShowRecordsStep(step);
            }
        } catch (const std::exception& error) {
            Report(error.what());
        }
        done();
    });
}

// ---- Publishing ----------------------------------------------------------------------------

void GameSession::SendResults()
{
    if (PublishRunning || !RecordsTable)
        return;
    const std::vector<RecordEntry>& entries = RecordsTable->Entries();
    const PublishValues values = ChoosePublishValues(entries);
    PublishJob job;
    job.Address = PublishAddress(Current.Server, values);
    job.ReplayAddress = ReplayAddress(Current.Server, values.Name);
    // The games themselves go after the scores, for our own server to check.
    const PublishedPlaces places = ChoosePublishedPlaces(entries);
    for (int place : {places.Player, places.Autopilot}) {
        try {
            if (auto replay = RecordsTable->Replays().Bytes(entries, place))
                job.Replays.push_back(std::move(*replay));
        } catch (const std::exception&) {
            // a replay file gone bad is not sent
        }
    }
    // No keys until the answer has come.
    PublishRunning = true;
    Front.Publish(job);
}

void GameSession::PublishEnded(bool published)
{
    Input([this, published] {
        if (!PublishRunning)
            return;
        PublishRunning = false;
        const MessageText told = published ? PublishedMessage(LanguageInForce.Shown())
                                           : NotPublishedMessage(LanguageInForce.Shown());
        Ask({published ? SessionIcon::None : SessionIcon::Critical, told.Caption, told.Text, false},
            [this, published](bool) {
                if (published)
                    LookResults();
                MenuToggle = !MenuToggle;
            });
    });
}

void GameSession::LookResults()
{
    Front.OpenUrl(RecordsPageAddress(Current.Server));
    MenuToggle = !MenuToggle;
}

// ---- Watching a replay ------------------------------------------------------------------------

void GameSession::ReportReplayFault(const std::exception& error)
{
    ReplayProblem problem = ReplayProblem::Unreadable;
    if (const auto* fault = dynamic_cast<const ReplayError*>(&error)) {
        const ReplayFault kinds[] = {ReplayFault::NotAReplay, ReplayFault::OtherVersion, ReplayFault::Damaged,
                                     ReplayFault::Unplayable};
        const ReplayProblem problems[] = {ReplayProblem::NotAReplay, ReplayProblem::OtherVersion,
                                          ReplayProblem::Damaged, ReplayProblem::Unplayable};
        for (std::size_t k = 0; k < std::size(kinds); ++k)
            if (fault->Fault == kinds[k])
                problem = problems[k];
    }
    std::string text = ReplayProblemText(LanguageInForce.Shown(), problem);
    if (const auto at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, WatchedFile);
    // The reason in detail stays as the reader gave it, for whoever looks into the file.
    Report(text + "\r\n\r\n" + error.what());
}

void GameSession::WatchBest()
{
    MenuToggle = !MenuToggle;
    if (!RecordsTable)
        return;
    const auto file = RecordsTable->Replays().PathOf(RecordsTable->Entries(), 1);
    if (!file)
        return;
    WatchedFile = file->string();
    try {
        StartWatching(ReadReplay(ReadWholeFile(*file, MaxReplayBytes)));
    } catch (const std::exception& error) {
        ReportReplayFault(error);
    }
}

bool GameSession::WatchReplayFile(const std::filesystem::path& file)
{
    WatchedFile = file.string();
    try {
        return WatchReplay(ReadReplay(ReadWholeFile(file, MaxReplayBytes)));
    } catch (const std::exception& error) {
        ReportReplayFault(error);
        return false;
    }
}

bool GameSession::WatchReplay(const Replay& replay)
{
    if (Animating())
        return false;
    bool watching = false;
    Input([&] { watching = StartWatching(replay); });
    return watching;
}

bool GameSession::StartWatching(const Replay& replay)
{
    // Not over a game being played, nor over an open name entry.
    if (Engine->Running || Shown.NameEntry || Watching())
        return false;
    if (Shown.About)
        TogglePanel(Shown.About);
    if (Shown.Options)
        TogglePanel(Shown.Options);
    Watch = std::make_unique<Watched>(replay, *Engine, *Sequence);
    Shown.GameOverCaption = false;
    Shown.AutopilotCaption = false;
    Shown.ReplayCaption = true;
    ShowParts(ViewCaptions);
    // The game starts, and whatever came before its first tick.
    WatchTick();
    return Watching();
}

void GameSession::WatchTick()
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
    ShowWellNow();
    if (!more || !Engine->Running) {
        // A game that ended says so by its notice; one cut short ends here.
        if (Engine->Running)
            StopWatching();
        return;
    }
    // A replay whose timers are both off (one cut short before its game
    // took over the fall timer) still goes on at the game's pace.
    if (!FallTimer.On && !DropTimer.On) {
        FallTimer.Interval = Engine->Interval > 0 ? Engine->Interval : 1000;
        SetTimer(SessionTimer::Fall, true);
    }
}

double GameSession::WatchProgress() const
{
    if (!Watch || Watch->Playback.EventsInAll() == 0)
        return 1.0;
    return double(Watch->Playback.EventsApplied()) / double(Watch->Playback.EventsInAll());
}

void GameSession::StopWatching()
{
    if (!Watch)
        return;
    if (Engine->Running)
        Engine->GameOver();   // its notice finishes the watching
    else
        FinishWatching();
}

void GameSession::FinishWatching()
{
    if (!Watch)
        return;
    SetTimer(SessionTimer::Fall, false);
    SetTimer(SessionTimer::Drop, false);
    // The player's own games go on from their own random source and rules,
    // and never from a pause the replay ended in.
    Engine->Random = Watch->SavedRandom;
    const ReplayRules& rules = Watch->SavedRules;
    Engine->StartLevel = rules.StartLevel;
    Engine->MaxLevel = rules.MaxLevel;
    Engine->BaseInterval = rules.BaseInterval;
    Engine->IntervalStep = rules.IntervalStep;
    Engine->MinInterval = rules.MinInterval;
    Engine->Paused = false;
    Watch.reset();
    Shown.ReplayCaption = false;
    Shown.GameOverCaption = true;
    Shown.PauseCover = false;
    ShowParts(ViewCaptions | ViewPanels | ViewNow);
}
