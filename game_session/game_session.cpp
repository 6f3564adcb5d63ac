#include "game_session/game_session.h"

#include <utility>

#include "common/records_site.h"
#include "common/score_text.h"
#include "game_session/session_parts.h"


GameSession::GameSession(SessionFrontEnd& front, const SessionSetup& setup)
    : Front(front), Player(setup.PlayerName), LoginName(setup.PlayerName)
{
    Engine = std::make_unique<TADTetrisGame>(static_cast<GameHost&>(*this));
    Sequence = std::make_unique<GameLoop>(*Engine);
    Commands = std::make_unique<PlayCommands>(*Engine, *Sequence, setup.Recording);
    Engine->Random.Seed(setup.Seed);
    Current = setup.Options;
    Engine->SoundOn = Current.SoundOn;
    if (setup.RecordsFile)
        RecordsTable = std::make_unique<RecordsSession>(*setup.RecordsFile);
    if (setup.OptionsFile)
        OptionsStore = std::make_unique<OptionsSession>(*setup.OptionsFile);
    Shown.Well = Engine->Display;
    FallTimer.On = true;   // the front end starts it with the session
}

void GameSession::Start()
{
    Input([this] { Started(); });
}

void GameSession::Started()
{
    if (RecordsTable) {
        const RecordsStep loaded = RecordsTable->Load();
        ShowRecordsStep(loaded);
        Engine->RecordPlace = static_cast<std::uint8_t>(loaded.Place);
    }
    ReadOptions();
    // The built-in captions are Russian beside an English language button:
    // a first start, or a file that named no language, shows the button's
    // language from the first frame, as an activation would.
    if (LanguageInForce.Shown() != LanguageInForce.Selected())
        SwitchLanguage(LanguageInForce.Selected());
    RebuildPictures();
    Front.StartTimer(SessionTimer::Fall, FallTimer.Interval);
}

bool GameSession::TimerRuns(SessionTimer timer) const
{
    return timer == SessionTimer::Fall ? FallTimer.On : timer == SessionTimer::Drop ? DropTimer.On : Waiting;
}

int GameSession::TimerInterval(SessionTimer timer) const
{
    return timer == SessionTimer::Fall ? FallTimer.Interval : GameLoop::DropTimerMilliseconds;
}

bool GameSession::Animating() const
{
    return Waiting || !Script.empty() || SoundDue > 0;
}

// ---- Steps ------------------------------------------------------------------

void GameSession::Emit(Step step)
{
    // Behind a wait, or behind queued sounds that are to be waited for.
    const bool sound = step.What == Step::Kind::Sound && step.Sound.Queued;
    if (step.What == Step::Kind::Wait || Waiting || !Script.empty() || (SoundDue > 0 && !sound)) {
        Script.push_back(std::move(step));
        RunSteps();
        return;
    }
    Apply(step);
}

void GameSession::Apply(const Step& step)
{
    switch (step.What) {
    case Step::Kind::Well:
        Shown.Well = step.Well;
        ShowParts(ViewWell);
        break;
    case Step::Kind::Score:
        Shown.Score = step.Text;
        ShowParts(step.Now ? ViewScore | ViewNow : ViewScore);
        break;
    case Step::Kind::Bonus:
        Shown.BonusWord = step.Word;
        Shown.BonusAmount = step.Amount;
        Shown.BonusText = step.Text;
        ShowParts(step.Now ? ViewBonus | ViewNow : ViewBonus);
        break;
    case Step::Kind::Timer:
        SetTimer(step.Timer, step.On);
        break;
    case Step::Kind::Sound:
        if (const int lasts = Front.PlaySound(step.Sound); step.Sound.Queued)
            SoundDue += std::max(lasts, 0);
        break;
    case Step::Kind::Wait:
        break;
    }
}

void GameSession::RunSteps()
{
    if (Waiting)
        return;
    for (;;) {
        // Queued sounds are waited for before whatever is not one of them.
        const bool soundNext =
            !Script.empty() && Script.front().What == Step::Kind::Sound && Script.front().Sound.Queued;
        if (SoundDue > 0 && !soundNext && (!Script.empty() || Depth == 0)) {
            Waiting = true;
            Front.StartTimer(SessionTimer::Wait, std::exchange(SoundDue, 0));
            return;
        }
        if (Script.empty())
            break;
        Step step = std::move(Script.front());
        Script.pop_front();
        if (step.What == Step::Kind::Wait) {
            Waiting = true;
            Front.StartTimer(SessionTimer::Wait, step.Milliseconds);
            return;
        }
        Apply(step);
    }
    if (Depth == 0 && std::exchange(AnimationEnded, false))
        ResumeHeld();
    // A wake that came while an input was being handled (a modal question's
    // loop) found it busy: ask again.
    if (Depth == 0 && !Posted.empty() && !WakeAsked && !Animating()) {
        WakeAsked = true;
        Front.WakeLater();
    }
}

void GameSession::ShowParts(unsigned parts)
{
    Front.Show(parts);
}

void GameSession::ShowWellNow()
{
    Engine->ComposeDisplay(Engine->Display, true);
    DrawWell();
}

void GameSession::SetTimer(SessionTimer timer, bool on)
{
    TimerState& state = timer == SessionTimer::Fall ? FallTimer : DropTimer;
    state.On = on;
    if (on)
        Front.StartTimer(timer, TimerInterval(timer));
    else
        Front.StopTimer(timer);
}

// ---- Inputs and their order ---------------------------------------------------

void GameSession::ResumeHeld()
{
    if (Resuming)
        return;
    Resuming = true;
    // First what was posted meanwhile, then the inputs in the order they came.
    while (!Animating()) {
        if (!Posted.empty()) {
            Deliver();
            continue;
        }
        if (HeldInputs.empty())
            break;
        std::function<void()> input = std::move(HeldInputs.front());
        HeldInputs.pop_front();
        Input(std::move(input));
    }
    Resuming = false;
}

void GameSession::PostGameNotification(int code)
{
    Posted.push_back(code);
    if (!WakeAsked) {
        WakeAsked = true;
        Front.WakeLater();
    }
}

void GameSession::QueueSyntheticKey(int key)
{
    PostGameNotification(-key);
}

void GameSession::Deliver()
{
    WakeAsked = false;
    if (Depth > 0 || Animating())
        return;   // taken when the animation ends
    Input([this] {
        // What is posted meanwhile waits behind what was there: each in its turn.
        while (!Posted.empty() && !Animating()) {
            const int code = Posted.front();
            Posted.pop_front();
            if (code < 0)
                SyntheticKey(-code);
            else
                HandleNotice(code);
        }
    });
}

void GameSession::Notice(int code)
{
    Input([this, code] { HandleNotice(code); });
}

void GameSession::TimerFired(SessionTimer timer)
{
    if (timer == SessionTimer::Wait) {
        if (!Waiting)
            return;
        Waiting = false;
        AnimationEnded = true;
        RunSteps();
        return;
    }
    const int index = timer == SessionTimer::Fall ? 0 : 1;
    if (Animating() && Depth == 0) {
        // A late timer fires once, as it would after a blocking wait.
        if (!HeldTick[index]) {
            HeldTick[index] = true;
            HeldInputs.push_back([this, timer, index] {
                HeldTick[index] = false;
                if (TimerRuns(timer))
                    TimerFired(timer);
            });
        }
        return;
    }
    Input([this, timer] {
        if (Watching())
            WatchTick();
        else if (timer == SessionTimer::Fall)
            Commands->FallTick();
        else
            Commands->DropTick(KeyPressed);
    });
}

// ---- The engine's calls ---------------------------------------------------------

void GameSession::SetFallTimerEnabled(bool enabled)
{
    Step step(Step::Kind::Timer);
    step.Timer = SessionTimer::Fall;
    step.On = enabled;
    Emit(std::move(step));
}

void GameSession::SetDropTimerEnabled(bool enabled)
{
    Step step(Step::Kind::Timer);
    step.Timer = SessionTimer::Drop;
    step.On = enabled;
    Emit(std::move(step));
}

void GameSession::DrawWell()
{
    Step step(Step::Kind::Well);
    step.Well = Engine->Display;
    Emit(std::move(step));
}

void GameSession::My_Sound()
{
    Step step(Step::Kind::Sound);
    if (Current.PCSpeaker)
        step.Sound = {SessionSound::Source::Tone, "", 4000, 5, true};
    else
        step.Sound = {SessionSound::Source::Wave, ":/WAV_1", 0, 0, false};
    Emit(std::move(step));
}

void GameSession::Delay(int milliseconds)
{
    // A wait pauses the running game and lets it go on: so a game that was
    // paused goes on after it.
    Engine->SetPaused(true);
    Engine->SetPaused(false);
    Step step(Step::Kind::Wait);
    step.Milliseconds = std::max(milliseconds, 0);
    Emit(std::move(step));
}

void GameSession::ShowScore(std::int32_t score, bool repaintNow)
{
    Step step(Step::Kind::Score);
    step.Text = FormatScore(score);
    step.Now = repaintNow;
    Emit(std::move(step));
}

void GameSession::Bonus(std::int32_t amount)
{
    const std::string text = FormatScore(amount);
    const auto show = [&](bool word, bool number, bool now) {
        Step step(Step::Kind::Bonus);
        step.Word = word;
        step.Amount = number;
        step.Text = text;
        step.Now = now;
        Emit(std::move(step));
    };
    for (int i = 0; i < 2; ++i) {
        show(true, false, true);
        if (!Current.AnimateBonus) {
            Delay(60);
            show(false, false, false);
            return;
        }
        Delay(110);
        show(false, false, true);
        Delay(60);
        show(false, true, true);
        Delay(120);
        show(false, false, true);
        Delay(60);
    }
}

bool GameSession::SoundGoesToSpeaker()
{
    return Current.PCSpeaker;
}

void GameSession::Beep(int frequency, int milliseconds)
{
    Step step(Step::Kind::Sound);
    step.Sound = {SessionSound::Source::Tone, "", frequency, milliseconds, true};
    Emit(std::move(step));
}

void GameSession::PlayRecordWave()
{
    Step step(Step::Kind::Sound);
    step.Sound = {SessionSound::Source::Wave, ":/WAV_2", 0, 0, true};
    Emit(std::move(step));
}

// ---- Notices ------------------------------------------------------------------------

void GameSession::HandleNotice(int code)
{
    if (OnNotice)
        OnNotice(code);
    switch (code) {
    case NotifyGameStarted:
        GameStarted();
        break;
    case NotifyGameOver:
        GameOverReaction();
        break;
    case NotifyLanded:
        if (!Watching())
            Commands->Landed();
        break;
    case NotifyIntervalChanged:
        FallTimer.Interval = Engine->Interval;
        Front.SetTimerInterval(SessionTimer::Fall, Engine->Interval);
        break;
    case NotifyLevelSet:
        Shown.Level = std::to_string(Engine->Level);
        ShowParts(ViewLevel);
        break;
    case NotifyScoreSet:
        Shown.Score = FormatScore(Engine->Score);
        ShowParts(ViewScore);
        if (!Watching())
            CheckPlace();
        break;
    default:
        break;
    }
}

void GameSession::GameStarted()
{
    if (Watching()) {
        // The replay brings its own reaction, where it came in the game.
        Shown.GameOverCaption = false;
        ShowParts(ViewCaptions);
        return;
    }
    Shown.AutopilotCaption = Autopilot;
    Commands->Started();
    Shown.GameOverCaption = false;
    Shown.MenuHint = false;
    ShowParts(ViewCaptions);
    if (RecordsTable) {
        const RecordsStep step = RecordsTable->GameStarted(Player);
        Engine->RecordPlace = static_cast<std::uint8_t>(step.Place);
        ShowRecordsStep(step);
    }
}

void GameSession::GameOverReaction()
{
    Sequence->GameEnded();
    if (Watching()) {
        FinishWatching();
        return;
    }
    // Kept with the records if the game's name is entered.
    EndedGame = Commands->TakeReplay();
    Shown.GameOverCaption = true;
    Shown.MenuHint = true;
    Shown.AutopilotCaption = false;
    ShowParts(ViewCaptions | ViewNow);
    const auto proposed = RecordsTable ? RecordsTable->NameEntryOpens(Engine->RecordPlace, Player) : std::nullopt;
    if (proposed) {
        Shown.NameEntry = true;
        Shown.MenuHint = false;
        Shown.NameText = *proposed;
        Shown.SelectName = true;
        ShowParts(ViewNameEntry | ViewCaptions);
        Shown.SelectName = false;
        if (Autopilot) {
            Shown.NameText = Player;
            NameEntryEnter();
        }
    }
    if (Autopilot) {
        KeyPressDown(VK_RETURN);
        KeyPressDown(VK_SPACE);
    }
    ShowParts(ViewNow);
}

void GameSession::CheckPlace()
{
    if (!RecordsTable)
        return;
    // The autopilot's game keeps its name when the autopilot is switched off
    // before this notice comes.
    const std::string name = Commands->AutopilotPlayed() ? std::string(AutopilotName) : Player;
    const RecordsStep step = RecordsTable->ScoreChanged(name, Engine->Score, Engine->RecordPlace);
    Engine->RecordPlace = static_cast<std::uint8_t>(step.Place);
    ShowRecordsStep(step);
    if (step.RecordSound)
        Engine->PlayRecordSound();
}
