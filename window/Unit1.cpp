#include "window/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>

#include "online/publish_address.h"
#include "platform/colour_dialog.h"
#include "platform/user_name.h"
#include "window/application.h"
#include "window/notification_event.h"
#include "common/score_text.h"
#include "window/virtual_keys.h"

decltype(TForm1::AnswerDialog) TForm1::AnswerDialog;

QMessageBox::StandardButton TForm1::MessageDialog(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                                  QMessageBox::StandardButtons buttons)
{
    if (AnswerDialog)
        return AnswerDialog(icon, caption, text, buttons);
    QMessageBox box(icon, caption, QString(text).replace("\r\n", "\n"), buttons, this);
    const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
    TakeBackFocus();
    return answer;
}

void TForm1::TakeBackFocus()
{
    if (!isVisible())
        return;
    // A window manager may give the focus elsewhere when a dialog closes.
    activateWindow();
    if (Edit1->isEnabled())
        Edit1->setFocus();
    else
        setFocus();
}

static void LoadResources()
{
    // The resources live in a static library; make sure they are linked in.
    Q_INIT_RESOURCE(vantorix2);
}


TForm1::TForm1(std::unique_ptr<SoundOutput> sound, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint), Sound(sound ? std::move(sound) : MakeSoundOutput())
{
    setObjectName("Form1");
    setWindowTitle("Vantorix II");
    setWindowIcon(QIcon(":/icon_main_32"));
    setFocusPolicy(Qt::StrongFocus);
    SelectColor = [this](WinColour preset) { return RunColourDialog(this, preset); };
    LoadResources();
    CreateControls();
    FormCreate();
    qApp->installEventFilter(this);
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

void TForm1::FormCreate()
{
    CopyPanelsToColourTable();
    Flags.ColourMode = 2;
    resize(DesignWidth, DesignHeight);
    SetBackgroundColour(ToQColor(DefaultBackground));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    ReadDisplayMode();
    // Wayland lets no client move the pointer; Qt would only warn.
    if (!QGuiApplication::platformName().startsWith("wayland"))
        QCursor::setPos(20, 20);
    Game = std::make_unique<TADTetrisGame>(*this);
    Loop = std::make_unique<GameLoop>(*Game);
    Play = std::make_unique<PlayCommands>(*Game, *Loop);
    Game->Random.Seed(static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch()));
    Game->SoundOn = true;
    // Before the options are read: their switches run their handlers.
    ConnectCommands();
    ConnectRecords();
    ConnectLinks();
    const RecordsStep loaded = Records.Load();
    ShowRecordsStep(loaded);
    Read_Options();
    // The built-in captions are Russian beside an English language button:
    // a first start, or a file that named no language, shows the button's
    // language from the first frame, as an activation would.
    if (LanguageInForce.Shown() != LanguageInForce.Selected())
        ChangeLang(LanguageInForce.Selected());
    Game->RecordPlace = static_cast<std::uint8_t>(loaded.Place);
    Flags.PlayerName = CurrentUserName();

    Geometry = WellGeometry::Compute(PB->height(), VisibleRows, VisibleCols);
    PauseBlocked->setGeometry(PB->x(), PB->y(), Geometry.WellImageWidth, Geometry.WellImageHeight);
    RebuildCellImages();

    Timer1 = new QTimer(this);
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();
    Timer3 = new QTimer(this);
    Timer3->setTimerType(Qt::PreciseTimer);
    Timer3->setInterval(GameLoop::DropTimerMilliseconds);
    connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
}

void TForm1::FormClose()
{
    Write_Options();
}

void TForm1::FormDestroy()
{
    if (Destroyed)
        return;
    Destroyed = true;
    if (Publisher) {
        // Bounded by the publish's own limits.
        Publisher->wait();
        Publisher.reset();
        QApplication::restoreOverrideCursor();
    }
    Timer1->stop();
    Timer3->stop();
    Watch.reset();
    Play.reset();
    Loop.reset();
    Game.reset();
    if (Flags.FullScreen)
        SetNotFullScr();
    for (QImage& picture : CellImages)
        picture = QImage();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

// ---- Game notifications -------------------------------------------------

void TForm1::PostGameNotification(int code)
{
    QCoreApplication::postEvent(this, new GameNotificationEvent(code));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // The application-wide hook: notifications are acted on, never consumed.
    if (event->type() == GameNotificationEvent::EventType() && watched == this) {
        ApplicationEvents1Message(static_cast<GameNotificationEvent*>(event)->Code);
        return false;
    }
    // The window sees every key before the name entry does.
    if (event->type() == QEvent::KeyPress && watched == Edit1) {
        KeyPressDown(VirtualKeyCode(*static_cast<QKeyEvent*>(event)));
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int k = 0; k < 6; ++k)
            if (watched == ColourPanels[k]) {
                ColorClick(k);
                return true;
            }
        // Only the panel's free area chooses the background.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == GBOptions && !GBOptions->childAt(mouse->position().toPoint())) {
            FormColorClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::ApplicationEvents1Message(int code)
{
    if (!Game)
        return;
    switch (code) {
    case NotifyGameStarted:
        GameStarted();
        break;
    case NotifyGameOver:
        GameOverReaction();
        break;
    case NotifyLanded:
        FigureLanded();
        break;
    case NotifyIntervalChanged:
        Timer1->setInterval(Game->Interval);
        break;
    case NotifyLevelSet:
        lbLe->setText(QString::number(Game->Level));
        break;
    case NotifyScoreSet:
        lbLi->setText(QString::fromStdString(FormatScore(Game->Score)));
        if (!Watching())
            CheckPlace();
        break;
    default:
        break;
    }
}

void TForm1::GameStarted()
{
    if (Watching()) {
        // The replay brings its own reaction, where it came in the game.
        Label3->hide();
        return;
    }
    lbS->setVisible(Flags.AutopilotOn);
    Play->Started();
    Label3->hide();
    Label8->setEnabled(false);
    const RecordsStep step = Records.GameStarted(Flags.PlayerName.toStdString());
    Game->RecordPlace = static_cast<std::uint8_t>(step.Place);
    ShowRecordsStep(step);
}

void TForm1::GameOverReaction()
{
    Loop->GameEnded();
    if (Watching()) {
        FinishWatching();
        return;
    }
    // Kept with the records if the game's name is entered.
    EndedGame = Play->TakeReplay();
    Label3->show();
    Label8->setEnabled(true);
    lbS->hide();
    RepaintNow();
    const auto proposed = Records.NameEntryOpens(Game->RecordPlace, Flags.PlayerName.toStdString());
    if (proposed) {
        Edit1->show();
        Edit1->setEnabled(true);
        Label8->setEnabled(false);
        Edit1->setText(QString::fromStdString(*proposed));
        Edit1->setFocus();
        // The proposed name is selected: typing replaces it, Enter keeps it.
        Edit1->selectAll();
        if (Flags.AutopilotOn) {
            Edit1->setText(Flags.PlayerName);
            Edit1KeyPress(QChar('\r'));
        }
    }
    if (Flags.AutopilotOn) {
        KeyPressDown(VK_RETURN);
        KeyPressDown(VK_SPACE);
    }
    RepaintNow();
}

void TForm1::FigureLanded()
{
    if (!Watching())
        Play->Landed();
}

// ---- Timers and the blocking wait ----------------------------------------

void TForm1::Timer1Timer()
{
    if (Watching())
        WatchTick();
    else
        Play->FallTick();
}

void TForm1::SecsInLevel()
{
    Loop->SecsInLevel();
}

void TForm1::HardDrop()
{
    if (!Game->Running)
        return;
    Flags.KeyPressed = false;
    Play->HardDrop();
}

void TForm1::Timer3Timer()
{
    if (Watching())
        WatchTick();
    else
        Play->DropTick(Flags.KeyPressed);
}

void TForm1::Delay(int milliseconds)
{
    Game->SetPaused(true);
    QThread::msleep(static_cast<unsigned long>(std::max(milliseconds, 0)));
    Game->SetPaused(false);
}

void TForm1::SetFallTimerEnabled(bool enabled)
{
    if (enabled)
        Timer1->start();
    else
        Timer1->stop();
}

void TForm1::SetDropTimerEnabled(bool enabled)
{
    if (enabled)
        Timer3->start();
    else
        Timer3->stop();
}

void TForm1::RepaintNow(QRect area)
{
    // The design's area, not the window: the window's own repaint stops at
    // the opaque area that covers it. What stands in the area is repainted,
    // so a label hidden meanwhile is wiped too.
    ClientArea->repaint(area.isNull() ? ClientArea->rect() : area);
}

// ---- Drawing --------------------------------------------------------------

TForm1::WellSource TForm1::CurrentWellSource() const
{
    WellSource source{Game->Display, Flags.ColourMode, Colours, {}};
    for (std::size_t k = 0; k < CellImages.size(); ++k)
        source.Pictures[k] = CellImages[k].cacheKey();
    return source;
}

void TForm1::DrawWell()
{
    // The timers ask at every tick, with or without a game: a well that
    // looks as it did is not drawn again.
    if (DrawnWell && *DrawnWell == CurrentWellSource())
        return;
    PB->repaint();
}

void TForm1::FormPaint(QPainter& painter)
{
    if (!Game)
        return;
    const WellSource source = CurrentWellSource();
    if (!DrawnWell || !(*DrawnWell == source)) {
        RenderWellInto(WellImage, source.Display, source.Mode, Colours, CellImages, Geometry);
        DrawnWell = source;
    }
    painter.drawImage(0, 0, WellImage);
}

// ---- Score display ----------------------------------------------------------

void TForm1::ShowScore(std::int32_t score, bool repaintNow)
{
    lbLi->setText(QString::fromStdString(FormatScore(score)));
    if (repaintNow)
        RepaintNow(lbLi->geometry());
}

void TForm1::Bonus(std::int32_t amount)
{
    LBBonusN->setText(QString::fromStdString(FormatScore(amount)));
    const QRect shown = LBBonus->geometry().united(LBBonusN->geometry());
    for (int i = 0; i < 2; ++i) {
        LBBonus->show();
        LBBonusN->hide();
        RepaintNow(shown);
        if (!ChBox_Anim->isChecked()) {
            Delay(60);
            LBBonus->hide();
            LBBonusN->hide();
            return;
        }
        Delay(110);
        LBBonus->hide();
        LBBonusN->hide();
        RepaintNow(shown);
        Delay(60);
        LBBonusN->show();
        RepaintNow(shown);
        Delay(120);
        LBBonus->hide();
        LBBonusN->hide();
        RepaintNow(shown);
        Delay(60);
    }
}

// ---- Sound --------------------------------------------------------------------

void TForm1::My_Sound()
{
    if (ChBox_Sound->isChecked())
        Sound->Beep(4000, 5);
    else
        Sound->PlayWave(":/WAV_1", false);
}

bool TForm1::SoundGoesToSpeaker()
{
    return ChBox_Sound->isChecked();
}

void TForm1::Beep(int frequency, int milliseconds)
{
    Sound->Beep(frequency, milliseconds);
}

void TForm1::PlayRecordWave()
{
    Sound->PlayWave(":/WAV_2", true);
}
