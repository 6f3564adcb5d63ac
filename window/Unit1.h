#pragma once
// The game window: one borderless 800 x 600 window holding the well, the
// score display, the records and key help lists, and the panels (in full
// screen the same window covers the screen, black around the design). It
// drives the engine with its timers and keys and answers the engine's
// notifications.

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "engine/game.h"
#include "engine/game_loop.h"
#include "online/publish_address.h"
#include "platform/sound.h"
#include "storage/options_file.h"
#include "storage/records_book.h"
#include "window/well_painter.h"
#include "window/widgets.h"

class TForm1 : public QWidget, public GameHost {
    Q_OBJECT
public:
    explicit TForm1(std::unique_ptr<SoundOutput> sound = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // The engine, and its time and sequence (DropGrace, TicksInLevel).
    std::unique_ptr<TADTetrisGame> Game;
    std::unique_ptr<GameLoop> Loop;

    // Window state.
    QString PlayerName;
    bool AutopilotOn = false;
    bool KeyPressed = false;
    bool UserPaused = false;
    bool FullScreen = false;
    bool MenuToggle = false;
    bool EraseDialogOpen = false;
    struct DisplayMode {
        int Width = 0, Height = 0, RefreshRate = 0, ColourDepth = 0;
    } SavedDisplayMode;
    QPoint SavedWindowPos;

    // Drawing.
    int ColourMode = 2;
    ColourTable Colours = DefaultColours;
    CellPictures CellImages;
    WellGeometry Geometry;

    // The design's size; the window is this size except in full screen.
    static constexpr int DesignWidth = 800, DesignHeight = 600;
    // Where every control of the design sits; centred in the window.
    QWidget* ClientArea;
    // Controls, named as in the window design.
    QLabel *Image3, *Image4, *Image5, *Image6;
    QLabel *Label6;
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
    QLabel* Label15;
    std::array<QLabel*, 6> CellImageViews{};   // Image8 .. Image13
    std::array<QLabel*, 6> ColourPanels{};     // Panel1 .. Panel6
    // Their colour values, all 32 bits as read; they show the low 24.
    std::array<WinColour, 6> PanelColourValues{};
    QPushButton *BDefault, *BOk;
    QGroupBox* GBOptions1;
    QCheckBox *ChBox_Anim, *ChBox_Sound, *ChBox_Sound_ON, *ChBox_Rot_Inverse;
    TClickLabel *Lb_Anim, *Lb_Sound, *Lb_Sound_ON, *Lb_Rot_Inverse;
    QWidget* RG_Lang;
    QRadioButton *RB_Eng, *RB_Rus;
    QMenu* PopupMenu1;
    QAction *PublishInet, *LookInet, *Erase_Results, *Params, *About, *MExit;
    QTimer *Timer1, *Timer3;

    // Chooses a colour, preset to the given one (our colour dialog; tests
    // put their own choice here).
    std::function<WinColour(WinColour)> SelectColor;
    // Shows a message box owned by the window and returns the button pressed.
    QMessageBox::StandardButton MessageDialog(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                              QMessageBox::StandardButtons buttons);
    // Answers the message boxes instead, when set (tests: some boxes come
    // up while the window is being made).
    static std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString& caption,
                                                     const QString& text, QMessageBox::StandardButtons buttons)>
        AnswerDialog;

    // The records table behind LV1, and its file; the options file.
    RecordsBook Records;
    OptionsFile Options;
    // A damaged records file asked the program to end.
    bool EndRequested = false;

    // Game notifications, as the application-wide hook sees them.
    void ApplicationEvents1Message(int code);

    // Timers and the blocking wait.
    void Timer1Timer();
    void Timer3Timer();
    void SecsInLevel();
    void Delay(int milliseconds) override;
    void HardDrop();

    // Drawing and colours.
    void DrawWell() override;
    void MakeBitmaps(bool bevelled);
    void RebuildCellImages();
    void ColorClick(int panel);   // 0..5
    void FormColorClick();
    void DefColorClick();
    WinColour PanelColour(int panel) const;
    void SetPanelColour(int panel, WinColour colour);
    void CopyPanelsToColourTable();
    QColor BackgroundColour() const;
    void SetBackgroundColour(const QColor& colour);

    // Score display.
    void Bonus(std::int32_t amount) override;

    // Keys, mouse and menu.
    void KeyPressDown(int virtualKey);
    void GB5MouseUp();
    void Lb_AnimClick();
    void Lb_SoundClick();
    void Lb_Sound_ONClick();
    void Lb_Rot_InverseClick();
    void ChBox_Sound_ONClick();
    void ParamsClick();
    void AboutClick();
    void MExitClick();

    // Online records and the links.
    void Send_Results();
    void Look_Results();
    void LabelMouseMove(QLabel* label);
    void LabelMouseLeave(QLabel* label);
    void LabelMailClick();
    void LabelHttpClick(QLabel* label);
    // The records server ("host" or "host:port") and the author's mail
    // address, from section "Online" of the options file.
    std::string RecordsServer = DefaultRecordsServer;
    std::string AuthorMail;
    // Opens an address in the browser or the mail program (tests put their
    // own here).
    static std::function<bool(const QUrl&)> OpenUrl;

    void Erase_ResultsClick();

    // Languages.
    void ChangeLang(const QString& language);
    QString ReadString(const QString& language, const QString& name, const QString& current);
    void Label11Click();
    void RB_EngClick();
    void RB_RusClick();

    // The records table, its file and the name entry.
    void Read_Res();
    void Write_Res();
    void Res_Item_Insert(const QString& name, const QString& score, int place);
    int CheckPlace();
    void Edit1KeyPress(QChar key);
    void Edit1Change();
    void ShowRecords();
    void SelectRecordRow(int place);

    // The options file.
    void Read_Options();
    void Write_Options();
    GameOptions CurrentOptions() const;

    // Full screen and the focus.
    void ReadDisplayMode();
    void SetFullScr();
    void SetNotFullScr();
    // The window became active, or another one did.
    void FormActivate();
    void FormDeactivate();

    // Panels and sound.
    void ShowAbout();
    void ShowOptions();
    void My_Sound() override;

    // GameHost.
    void PostGameNotification(int code) override;
    void SetFallTimerEnabled(bool enabled) override;
    void SetDropTimerEnabled(bool enabled) override;
    void ShowScore(std::int32_t score, bool repaintNow) override;
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
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void CreateControls();
    void FormPaint(QPainter& painter);
    void GameStarted();
    void GameOverReaction();
    void FigureLanded();
    void RepaintNow();
    void ConnectCommands();
    void ConnectRecords();
    void ConnectLinks();
    void ShowLinkAddresses();
    void ShowDamagedRecords(const RecordsDamaged& damaged);
    void RunKeyCommand(int virtualKey);
    // Shows or hides a panel; without the autopilot an open panel pauses the
    // game and covers the well.
    void TogglePanel(QWidget* panel);
    void AutopilotKey();
    // Queues a key press behind the events already waiting, for whichever
    // control has the focus when it arrives.
    void QueueSyntheticKey(int qtKey);
    // After a dialog of ours: the game window has the keys again (the name
    // entry, while it is open).
    void TakeBackFocus();
    // Qt's own texts (dialog buttons) in the language in force.
    void FollowLanguageInQtTexts();

    // Runs FormActivate or FormDeactivate when the focus really changed.
    void ActivationChanged(bool active);

    std::unique_ptr<SoundOutput> Sound;
    // Qt's Russian texts, installed while the interface is Russian.
    std::unique_ptr<QTranslator> QtRussian;
    bool QtRussianInstalled = false;
    bool WasActive = false;
    bool Destroyed = false;
    bool ReplacingName = false;
};
