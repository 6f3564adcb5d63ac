#pragma once
// The game's mid end: everything that decides time and order, without Qt.
// It owns the engine and its loop, records every game, plays the landing
// cascade and the bonus as steps with waits, holds the state the keys
// depend on (panels, pause, name entry, autopilot, full screen, the erase
// questions), maps keys to commands, and runs the records and options
// sequences. Front ends (the window, the tools, the soak driver) turn their
// events into its inputs and show what it asks them to; none of them
// sleeps, and none decides.
//
// Order: notices the engine posts wait for Deliver (asked for by WakeLater),
// as posted events did. While an animation waits, every input is held and
// taken after it, in order, as the blocking wait did.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/game.h"
#include "engine/game_loop.h"
#include "game_session/front_end.h"
#include "game_session/virtual_key.h"
#include "i18n/language_state.h"
#include "replay/play_commands.h"
#include "replay/playback.h"
#include "session/options_session.h"
#include "session/records_session.h"

struct SessionSetup {
    // None: no records table (the tools); the window's is the file beside it.
    std::optional<std::filesystem::path> RecordsFile;
    // None: no options file.
    std::optional<std::filesystem::path> OptionsFile;
    std::uint32_t Seed = 1;
    std::string PlayerName;
    bool Recording = true;
    // The options before any file is read.
    GameOptions Options;
};

// The switches of the options panel. All but the rotation are kept in the
// options file (OptionKeys), under the key SwitchKey names.
enum class SessionSwitch { AnimateBonus, PCSpeaker, SoundOn, RotateInverse };
inline constexpr SessionSwitch SessionSwitches[] = {SessionSwitch::AnimateBonus, SessionSwitch::PCSpeaker,
                                                    SessionSwitch::SoundOn, SessionSwitch::RotateInverse};
// The options file's key of a switch, or nullptr for one the file does not keep.
const char* SwitchKey(SessionSwitch which);

// What the front end shows, as the session decides it.
struct SessionView {
    Grid Well{};
    std::string Score = "0", Level = "1";
    bool GameOverCaption = false;
    bool MenuHint = true;   // the hint below the records: usable when lit
    bool AutopilotCaption = false;
    bool ReplayCaption = false;
    bool BonusWord = false, BonusAmount = false;
    std::string BonusText;
    bool About = false, Options = false, PauseCover = false;
    bool NameEntry = false;
    std::string NameText;
    bool SelectName = false;   // the proposed name is selected: typing replaces it
    int RecordRow = 0;         // the selected row's place; 0: none
    bool Away = false;         // lost the focus: the disguise title
    int ColourMode = 2;
};

// The session's switches of state, as a front end's tests watch them.
struct SessionFlags {
    std::string PlayerName;   // the login name, or "AUTOPILOT" while the autopilot plays
    bool AutopilotOn = false;
    bool KeyPressed = false;   // a command key since the last drop tick
    bool UserPaused = false;
    bool FullScreen = false;
    bool MenuToggle = false;
    bool EraseDialogOpen = false;
    int ColourMode = 2;
};

enum class MenuCommand { Publish, LookOnline, WatchBest, Erase, Options, About, Exit };

class GameSession : private GameHost {
public:
    explicit GameSession(SessionFrontEnd& front, const SessionSetup& setup = {});
    ~GameSession() override;
    GameSession(const GameSession&) = delete;
    GameSession& operator=(const GameSession&) = delete;

    // The back end, its time and sequence, and the recorder that every
    // command, tick and reaction passes.
    TADTetrisGame& Game() { return *Engine; }
    const TADTetrisGame& Game() const { return *Engine; }
    GameLoop& Loop() { return *Sequence; }
    PlayCommands& Play() { return *Commands; }

    const SessionView& View() const { return Shown; }
    SessionFlags Flags() const
    {
        return {Player, Autopilot, KeyPressed, PausedByPlayer, FullScreenOn, MenuToggle, EraseOpen, Shown.ColourMode};
    }
    const GameOptions& Options() const { return Current; }
    bool Switch(SessionSwitch which) const;
    const LanguageState& Language() const { return LanguageInForce; }
    // Null without a records table.
    const RecordsSession* Records() const { return RecordsTable.get(); }
    const std::string& PlayerName() const { return Player; }
    bool AutopilotOn() const { return Autopilot; }
    bool FullScreen() const { return FullScreenOn; }
    bool UserPaused() const { return PausedByPlayer; }
    bool EraseQuestionsOpen() const { return EraseOpen; }
    bool Publishing() const { return PublishRunning; }
    bool Watching() const { return Watch != nullptr; }
    bool IsActive() const { return Active; }
    bool TimerRuns(SessionTimer timer) const;
    int TimerInterval(SessionTimer timer) const;
    // An animation is waiting: inputs are held until it ends.
    bool Animating() const;

    // Start-up: the records table and the options file read, the language of
    // the options shown from the first frame, the fall timer started.
    void Start();

    // Inputs.
    void Deliver();
    // One notice acted on now, out of the queue's turn.
    void Notice(int code);
    void TimerFired(SessionTimer timer);
    void Key(int virtualKey);
    // A click on the window's free area: the menu, or the about panel shut.
    void Click();
    void Menu(MenuCommand command);
    void Activation(bool active);
    void Answer(bool yes);
    void PublishEnded(bool published);
    // The options panel.
    void SetSwitch(SessionSwitch which, bool on);
    void FlipSwitch(SessionSwitch which) { SetSwitch(which, !Switch(which)); }
    void SetColour(int panel, std::int32_t colour);
    void DefaultColours();
    void ChooseLanguage(::Language language);
    // The language link: the language its caption names.
    void LanguageLink();
    void ToggleOptions();
    void ToggleAbout();
    // The name entry: what it holds once this was typed, and Enter.
    std::string NameTyped(const std::string& typed);
    void NameEntryEnter();
    // The window is closing.
    void Closing();

    // Watching a replay in the well at the game's own speed, nothing written
    // to the records; any key stops it. False (and the player told) when it
    // cannot be played.
    bool WatchReplay(const Replay& replay);
    bool WatchReplayFile(const std::filesystem::path& file);
    // How much of the watched replay has been played, 0..1 (1 when none is).
    double WatchProgress() const;

    // Runs before each notice is acted on (the soak's checks).
    std::function<void(int code)> OnNotice;

private:
    struct Step;
    struct Watched;

    // GameHost: the engine's calls become steps.
    void PostGameNotification(int code) override;
    void SetFallTimerEnabled(bool enabled) override;
    void SetDropTimerEnabled(bool enabled) override;
    void DrawWell() override;
    void My_Sound() override;
    void Delay(int milliseconds) override;
    void ShowScore(std::int32_t score, bool repaintNow) override;
    void Bonus(std::int32_t amount) override;
    bool SoundGoesToSpeaker() override;
    void Beep(int frequency, int milliseconds) override;
    void PlayRecordWave() override;

    // Steps: applied at once unless an animation waits, then queued behind it.
    void Emit(Step step);
    void Apply(const Step& step);
    void RunSteps();
    void ShowParts(unsigned parts);
    void ShowWellNow();
    // An input: held while an animation waits, else run; notices it posts
    // are acted on as the outermost input ends.
    template <typename Body>
    void Input(Body body)
    {
        if (Depth == 0 && Animating()) {
            HeldInputs.push_back(std::move(body));
            return;
        }
        ++Depth;
        try {
            body();
        } catch (...) {
            // The error goes on to the general handler; the session goes on.
            --Depth;
            throw;
        }
        if (--Depth == 0)
            RunSteps();
    }
    void ResumeHeld();
    void HandleNotice(int code);
    void SetTimer(SessionTimer timer, bool on);

    void Started();
    void MenuOrAbout();
    void RunMenuCommand(MenuCommand command);

    // Reactions to the game's notices.
    void GameStarted();
    void GameOverReaction();
    void CheckPlace();

    // Keys.
    void KeyPressDown(int key);
    void RunKeyCommand(int key);
    void SyntheticKey(int key);
    void StartNewGame();
    void AutopilotKey();
    void HardDrop();
    void QueueSyntheticKey(int key);
    void SetColourMode(int mode);
    void EnterFullScreen();
    void LeaveFullScreen();

    // Panels and pause.
    void TogglePanel(bool& open);
    void SetGamePaused(bool paused);
    void TimersFollowPause();

    // Options, language, focus.
    void ReadOptions();
    void WriteOptions();
    void ApplyOptions(const GameOptions& options);
    void SwitchLanguage(::Language language);
    void RebuildPictures();
    void FormActivate();
    void FormDeactivate();

    // Records.
    void ShowRecordsStep(const RecordsStep& step);
    void AskErase(int question);
    void Ask(const SessionMessage& message, std::function<void(bool)> then);
    void Report(const std::string& text);
    void SendResults();
    void LookResults();
    void WatchBest();

    // Watching.
    bool StartWatching(const Replay& replay);
    void WatchTick();
    void StopWatching();
    void FinishWatching();
    void ReportReplayFault(const std::exception& error);

    SessionFrontEnd& Front;
    std::unique_ptr<TADTetrisGame> Engine;
    std::unique_ptr<GameLoop> Sequence;
    std::unique_ptr<PlayCommands> Commands;
    std::unique_ptr<RecordsSession> RecordsTable;
    std::unique_ptr<OptionsSession> OptionsStore;
    GameOptions Current;
    LanguageState LanguageInForce;
    SessionView Shown;
    std::string Player, LoginName;

    bool Autopilot = false;
    bool KeyPressed = false;
    bool PausedByPlayer = false;
    bool FullScreenOn = false;
    bool MenuToggle = false;
    bool EraseOpen = false;
    bool RotateInverse = false;
    bool PublishRunning = false;
    bool Active = false;

    struct TimerState {
        bool On = false;
        int Interval = 1000;
        bool Resting = false;   // stopped by a pause, to start again after it
    };
    TimerState FallTimer, DropTimer;

    std::deque<Step> Script;
    bool Waiting = false;
    int SoundDue = 0;   // queued sound not yet waited for
    int Depth = 0;      // inputs being handled, one inside another
    std::deque<int> Posted;   // notices, and synthetic keys as -key
    bool WakeAsked = false;
    std::deque<std::function<void()>> HeldInputs;
    bool HeldTick[2] = {false, false};
    bool Resuming = false;
    bool AnimationEnded = false;

    std::function<void(bool)> Pending;   // what an answer goes on with
    std::optional<Replay> EndedGame;
    std::unique_ptr<Watched> Watch;
    std::string WatchedFile;
};
