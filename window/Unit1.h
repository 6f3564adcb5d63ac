#pragma once
// The game window: one borderless 800 x 600 window holding the well, the
// score display, the records and key help lists, and the panels (in full
// screen the same window covers the screen, black around the design).
//
// It is a front end: it builds its controls from the design table
// (window/design.h), turns keys, timer ticks, clicks and the focus into the
// game session's inputs (game_session/), runs the timers it asks for, plays
// its sounds and shows its view. It decides nothing itself.

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
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

#include "game_session/game_session.h"
#include "online/check_url.h"
#include "platform/sound.h"
#include "window/well_painter.h"
#include "window/widgets.h"

class TForm1 : public QWidget, public SessionFrontEnd {
    Q_OBJECT
public:
    explicit TForm1(std::unique_ptr<SoundOutput> sound = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // The mid end the window shows, and (for watching them) its game, the
    // game's loop and the recorder every command passes.
    std::unique_ptr<GameSession> Session;
    TADTetrisGame* Game = nullptr;
    GameLoop* Loop = nullptr;
    PlayCommands* Play = nullptr;

    // What the session holds beside its view, to be watched.
    struct WindowState : SessionFlags {
        QString PlayerName;   // hides the session's, in Qt's text
    };
    WindowState State() const
    {
        const SessionFlags flags = Session->Flags();
        return {flags, QString::fromStdString(flags.PlayerName)};
    }
    // The records table and the kept replays, as the window shows them.
    const RecordsSession& RecordsShown() const { return *Session->Records(); }

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
    QTimer* WaitTimer;   // the wait step of an animation

    // The platform's dialogs, which tests and tools answer themselves: the
    // colour chooser (preset in, choice out), the message boxes, the browser
    // and mail program.
    std::function<WinColour(WinColour)> SelectColor;
    static std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString& caption,
                                                     const QString& text, QMessageBox::StandardButtons buttons)>
        AnswerDialog;
    static std::function<bool(const QUrl&)> OpenAddress;
    // How long a publish may wait for the server (tests shorten it).
    static CheckUrlLimits PublishLimits;

    // Handlers of the design: each hands its event to the session.
    // The application-wide hook: a game notice acted on now.
    void ApplicationEvents1Message(int code) { Session->Notice(code); }
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
    void BOkClick();
    void ParamsClick();
    void AboutClick();
    void MExitClick();
    void Erase_ResultsClick();
    // Publishing runs on a thread of its own; its message comes when it
    // ends. Nothing while one runs.
    void Send_Results();
    void Look_Results();
    void WatchBestClick();
    void LabelMailClick();
    void LabelHttpClick(QLabel* label);
    void ColorClick(int panel);   // Panel1 .. Panel6: 0..5
    void FormColorClick();        // the options panel's free area: the background
    void DefColorClick();
    bool Publishing() const { return Publisher != nullptr; }
    void LabelMouseMove(QLabel* label);
    void LabelMouseLeave(QLabel* label);

    // Watching a replay in the well (see GameSession::WatchReplay).
    bool WatchReplay(const Replay& replay) { return Session->WatchReplay(replay); }
    bool WatchReplayFile(const QString& file) { return Session->WatchReplayFile(file.toStdString()); }
    bool Watching() const { return Session->Watching(); }

    // SessionFrontEnd: what the session asks of the window.
    void WakeLater() override;
    void StartTimer(SessionTimer timer, int milliseconds) override;
    void StopTimer(SessionTimer timer) override;
    void SetTimerInterval(SessionTimer timer, int milliseconds) override;
    void Show(unsigned parts) override;
    int PlaySound(const SessionSound& sound) override;
    void LanguageSwitched(Language language) override;
    void MakePictures(bool bevelled) override;
    void Ask(const SessionMessage& message) override;
    void ReportError(const std::string& text) override;
    void OpenUrl(const std::string& address) override;
    void Publish(const PublishJob& job) override;
    void ShowMenu(const MenuState& menu) override;
    void SetFullScreen(bool on) override;
    void Raise() override;
    void LookAway() override;
    void Close() override;
    void CloseLater() override;

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
    void ConnectOptions();
    void ConnectRecords();
    void ConnectLinks();

    // Drawing and colours.
    void FormPaint(QPainter& painter);
    // Now, not at the next event: the whole window, or what stands in area.
    void RepaintNow(QRect area = {});
    void DrawWell();
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
    void SetPanelColour(int panel, WinColour colour);
    QColor BackgroundColour() const;
    void SetBackgroundColour(const QColor& colour);

    // The view, part by part.
    void ShowCaptions();
    void ShowBonus();
    void ShowPanels();
    void ShowNameEntry();
    void ShowOptions();
    void ShowTitle();
    void ShowLinkAddresses();
    void ShowRecords();
    void SelectRecordRow(int place);

    // Languages: the switch walks the design table.
    void ChangeLang(Language language);
    QString ReadString(Language language, const QString& name, const QString& current);
    // Qt's own texts (dialog buttons) in the language in force.
    void FollowLanguageInQtTexts();

    // Full screen and the focus.
    void ReadDisplayMode();
    void SetFullScr();
    void SetNotFullScr();
    void ActivationChanged(bool active);
    // After a dialog of ours: the game window has the keys again (the name
    // entry, while it is open).
    void TakeBackFocus();
    QMessageBox::StandardButton MessageDialog(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                              QMessageBox::StandardButtons buttons);
    void PublishEnded(bool published);

    struct DisplayMode {
        int Width = 0, Height = 0, RefreshRate = 0, ColourDepth = 0;
    } SavedDisplayMode;
    QPoint SavedWindowPos;
    ColourTable Colours = DefaultColours;
    CellPictures CellImages;
    WellGeometry Geometry;
    // The well picture, kept and drawn over in place, and what it shows.
    QImage WellImage;
    std::optional<WellSource> DrawnWell;
    std::unique_ptr<SoundOutput> Sound;
    // The built controls, in the order of the design table.
    std::vector<QObject*> DesignObjects;
    // Qt's Russian texts, installed while the interface is Russian.
    std::unique_ptr<QTranslator> QtRussian;
    bool QtRussianInstalled = false;
    bool Destroyed = false;
    // When the wait in progress is due, on WaitClock; whether one is ending.
    QElapsedTimer WaitClock;
    qint64 WaitDue = 0;
    bool WaitEnding = false;
    std::unique_ptr<QThread> Publisher;
    bool ReplacingName = false;
};
