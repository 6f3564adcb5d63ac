#pragma once
// The game window: one borderless 800 x 600 window holding the well, the
// score display, the records and key help lists, and the panels (in full
// screen the same window covers the screen, black around the design).
//
// It is a front end: it builds its controls from the design table
// (window/design.h), forwards keys, timer ticks and clicks to the engine and
// its loop, and shows what they, the records session and the options
// session (session/) decide.

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/game.h"
#include "engine/game_loop.h"
#include "i18n/language_state.h"
#include "online/check_url.h"
#include "platform/sound.h"
#include "replay/play_commands.h"
#include "replay/playback.h"
#include "session/options_session.h"
#include "session/records_session.h"
#include "window/well_painter.h"
#include "window/widgets.h"

// The window's own state, one of each (the engine holds the rest).
struct WindowState {
    QString PlayerName;   // the login name, or "AUTOPILOT" while the autopilot plays
    bool AutopilotOn = false;
    bool KeyPressed = false;
    bool UserPaused = false;
    bool FullScreen = false;
    bool MenuToggle = false;
    bool EraseDialogOpen = false;
    int ColourMode = 2;
};

class TForm1 : public QWidget, public GameHost {
    Q_OBJECT
public:
    explicit TForm1(std::unique_ptr<SoundOutput> sound = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // The back end the window drives, and its time and sequence. Its
    // notifications are the window's input as much as keys are. Every
    // command, tick and reaction reaches them through Play, which records
    // each game.
    std::unique_ptr<TADTetrisGame> Game;
    std::unique_ptr<GameLoop> Loop;
    std::unique_ptr<PlayCommands> Play;

    // What the window holds beside its controls, to be watched.
    const WindowState& State() const { return Flags; }
    // The records table and the kept replays, as the window shows them.
    const RecordsSession& RecordsShown() const { return Records; }

    // The design's size; the window is this size except in full screen.
    static constexpr int DesignWidth = 800, DesignHeight = 600;

    // Controls, named as in the window design (window/design.cpp).
    QWidget* ClientArea;   // where every control of the design sits; centred
    QLabel *Image3, *Image4, *Image5, *Image6;
    QLabel* Label6;
    TClickLabel* Label11;
    QLabel *ImageRus, *ImageEng;
    QLabel *Label3, *Label2, *lbLe, *Label1, *lbLi, *LBBonus, *LBBonusN;
    QTreeWidget* LV2;
    QLabel* lbS;
    TPaintBox* PB;
    QWidget *Image14, *Image15, *Image16, *Image17;
    QLabel *Image1, *Image2;
    QLineEdit* Edit1;
    TClickLabel* Label4;
    QTreeWidget* LV1;
    QLabel* Label8;
    TClickLabel* Label5;
    QLabel* Label7;
    QLabel* PauseBlocked;
    QGroupBox* GBAbout;
    QLabel *Image7, *LBAbout;
    TClickLabel *Label9, *Label10, *Label12;
    QGroupBox* GBOptions;
    QPushButton* BDefault;
    QLabel* Label15;
    std::array<QLabel*, 6> CellImageViews{};   // Image8 .. Image13
    std::array<QLabel*, 6> ColourPanels{};     // Panel1 .. Panel6
    QGroupBox* GBOptions1;
    QCheckBox *ChBox_Anim, *ChBox_Sound, *ChBox_Sound_ON, *ChBox_Rot_Inverse;
    TClickLabel *Lb_Anim, *Lb_Sound, *Lb_Sound_ON, *Lb_Rot_Inverse;
    QWidget* RG_Lang;
    QRadioButton *RB_Eng, *RB_Rus;
    QPushButton* BOk;
    QMenu* PopupMenu1;
    QAction *PublishInet, *LookInet, *WatchBest, *Erase_Results, *Params, *About, *MExit;
    QLabel* lbReplay;   // over the score column while a replay plays
    QTimer *Timer1, *Timer3;

    // The platform's dialogs, which tests and tools answer themselves: the
    // colour chooser (preset in, choice out), the message boxes, the browser
    // and mail program.
    std::function<WinColour(WinColour)> SelectColor;
    static std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString& caption,
                                                     const QString& text, QMessageBox::StandardButtons buttons)>
        AnswerDialog;
    static std::function<bool(const QUrl&)> OpenUrl;
    // How long a publish may wait for the server (tests shorten it).
    static CheckUrlLimits PublishLimits;

    // Handlers of the design.
    void ApplicationEvents1Message(int code);   // the application-wide hook
    void Timer1Timer();
    void Timer3Timer();
    void KeyPressDown(int virtualKey);
    void GB5MouseUp();
    void Edit1KeyPress(QChar key);
    void Edit1Change();
    void Label11Click();
    void RB_EngClick();
    void RB_RusClick();
    void Lb_AnimClick();
    void Lb_SoundClick();
    void Lb_Sound_ONClick();
    void Lb_Rot_InverseClick();
    void ChBox_Sound_ONClick();
    void ColorClick(int panel);   // Panel1 .. Panel6: 0..5
    void FormColorClick();        // the options panel's free area: the background
    void DefColorClick();
    void BOkClick();
    void ParamsClick();
    void AboutClick();
    void MExitClick();
    void Erase_ResultsClick();
    // Starts publishing on a thread of its own; its message comes when it
    // ends. Nothing while one runs.
    void Send_Results();
    bool Publishing() const { return Publisher != nullptr; }
    void Look_Results();
    void LabelMouseMove(QLabel* label);
    void LabelMouseLeave(QLabel* label);
    void LabelMailClick();
    void LabelHttpClick(QLabel* label);
    void WatchBestClick();

    // Watching a replay in the well, at the game's own speed, with nothing
    // written to the records; any key stops it. False (and the player told)
    // when it cannot be played.
    bool WatchReplay(const Replay& replay);
    bool WatchReplayFile(const QString& file);
    bool Watching() const { return Watch != nullptr; }

    // GameHost: what the engine and its loop ask of the window.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Start-up and shutdown.
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void CreateControls();
    void ConnectCommands();
    void ConnectRecords();
    void ConnectLinks();

    // Notifications.
    void GameStarted();
    void GameOverReaction();
    void FigureLanded();
    void SecsInLevel();
    void HardDrop();

    // Keys.
    void RunKeyCommand(int virtualKey);
    void StartNewGame();
    void AutopilotKey();
    // Queues a key press behind the events already waiting, for whichever
    // control has the focus when it arrives.
    void QueueSyntheticKey(int qtKey);

    // Drawing and colours.
    void FormPaint(QPainter& painter);
    // Now, not at the next event: the whole window, or what stands in area.
    void RepaintNow(QRect area = {});
    // What the well picture is drawn from; the same again needs no drawing.
    struct WellSource {
        Grid Display;
        int Mode;
        ColourTable Colours;
        std::array<qint64, 8> Pictures;
        bool operator==(const WellSource&) const = default;
    };
    WellSource CurrentWellSource() const;
    void MakeBitmaps(bool bevelled);
    void RebuildCellImages();
    WinColour PanelColour(int panel) const;
    void SetPanelColour(int panel, WinColour colour);
    void CopyPanelsToColourTable();
    QColor BackgroundColour() const;
    void SetBackgroundColour(const QColor& colour);

    // Panels.
    void ShowAbout();
    void ShowOptions();
    // Shows or hides a panel; without the autopilot an open panel pauses the
    // game and covers the well.
    void TogglePanel(QWidget* panel);
    // A paused game wakes no one: its timers rest until it goes on, and then
    // start a whole period anew (paused ticks count for nothing anyway).
    void TimersFollowPause();
    // The player's pause (a key, a panel, the focus): none while a replay
    // plays, which pauses only as it was recorded.
    void SetGamePaused(bool paused);

    // Watching: a step of the replay at each tick of whichever timer runs.
    void WatchTick();
    void StopWatching();
    void FinishWatching();

    // Languages: the switch walks the design table.
    void ChangeLang(const QString& language);
    void ChangeLang(Language language);
    QString ReadString(Language language, const QString& name, const QString& current);
    // Qt's own texts (dialog buttons) in the language in force.
    void FollowLanguageInQtTexts();

    // The records table: the session's steps, shown in LV1.
    void Read_Res();
    void CheckPlace();
    void ShowRecordsStep(const RecordsStep& step);
    void ShowRecords();
    void SelectRecordRow(int place);
    void ShowLoadFailure(const RecordsLoadFailure& failure);

    // The options file, read at every activation and written at every focus
    // loss.
    void Read_Options();
    void Write_Options();
    GameOptions CurrentOptions() const;
    void ApplyOptions(const GameOptions& options);
    void ShowLinkAddresses();

    // Full screen and the focus.
    void ReadDisplayMode();
    void SetFullScr();
    void SetNotFullScr();
    // Runs FormActivate or FormDeactivate when the focus really changed.
    void ActivationChanged(bool active);
    void FormActivate();
    void FormDeactivate();
    // After a dialog of ours: the game window has the keys again (the name
    // entry, while it is open).
    void TakeBackFocus();
    QMessageBox::StandardButton MessageDialog(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                              QMessageBox::StandardButtons buttons);

    WindowState Flags;
    struct DisplayMode {
        int Width = 0, Height = 0, RefreshRate = 0, ColourDepth = 0;
    } SavedDisplayMode;
    QPoint SavedWindowPos;
    LanguageState LanguageInForce;
    ColourTable Colours = DefaultColours;
    // The panels' colour values, all 32 bits as read; they show the low 24.
    std::array<WinColour, 6> PanelColourValues{};
    CellPictures CellImages;
    WellGeometry Geometry;
    // The well picture, kept and drawn over in place, and what it shows.
    QImage WellImage;
    std::optional<WellSource> DrawnWell;
    // Where the records are published, and the author's mail address.
    std::string RecordsServer = GameOptions().Server;
    std::string AuthorMail = GameOptions().Mail;

    RecordsSession Records;
    OptionsSession Options;
    // The replay of the game that ended last, kept if its name is entered.
    std::optional<Replay> EndedGame;
    // The replay being watched, and what it borrows from the game.
    struct Watched {
        Replay Source;
        PlayCommands Commands;
        ReplayPlayback Playback;
        TRandom SavedRandom;
        ReplayRules SavedRules;
        Watched(const Replay& replay, TADTetrisGame& game, GameLoop& loop);
    };
    std::unique_ptr<Watched> Watch;
    // The file being watched, for what a fault in it says.
    QString WatchedFile;
    void ReportReplayFault(const std::exception& error);
    std::unique_ptr<SoundOutput> Sound;
    // The built controls, in the order of the design table.
    std::vector<QObject*> DesignObjects;
    // Qt's Russian texts, installed while the interface is Russian.
    std::unique_ptr<QTranslator> QtRussian;
    bool QtRussianInstalled = false;
    bool FallTimerResting = false;
    bool DropTimerResting = false;
    bool WasActive = false;
    bool Destroyed = false;
    std::unique_ptr<QThread> Publisher;
    void PublishEnded(bool published);
    bool ReplacingName = false;
};
