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

#include "platform/colour_dialog.h"
#include "platform/user_name.h"
#include "window/application.h"
#include "window/notification_event.h"
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
    if (Session->View().NameEntry)
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
    setWindowTitle(GameTitle);
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
    resize(DesignWidth, DesignHeight);
    SetBackgroundColour(ToQColor(DefaultBackground));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    ReadDisplayMode();
    // Wayland lets no client move the pointer; Qt would only warn.
    if (!QGuiApplication::platformName().startsWith("wayland"))
        QCursor::setPos(20, 20);
    SessionSetup setup;
    setup.RecordsFile = RecordsFileName;
    setup.OptionsFile = OptionsFileName;
    setup.Seed = static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch());
    setup.PlayerName = CurrentUserName().toStdString();
    Session = std::make_unique<GameSession>(*this, setup);
    Game = &Session->Game();
    Loop = &Session->Loop();
    Play = &Session->Play();

    Geometry = WellGeometry::Compute(PB->height(), VisibleRows, VisibleCols);
    PauseBlocked->setGeometry(PB->x(), PB->y(), Geometry.WellImageWidth, Geometry.WellImageHeight);

    const auto timer = [this](int milliseconds, void (TForm1::*tick)()) {
        auto* made = new QTimer(this);
        made->setTimerType(Qt::PreciseTimer);
        made->setInterval(milliseconds);
        connect(made, &QTimer::timeout, this, tick);
        return made;
    };
    Timer1 = timer(1000, &TForm1::Timer1Timer);
    Timer3 = timer(GameLoop::DropTimerMilliseconds, &TForm1::Timer3Timer);
    WaitTimer = new QTimer(this);
    WaitTimer->setTimerType(Qt::PreciseTimer);
    WaitTimer->setSingleShot(true);
    connect(WaitTimer, &QTimer::timeout, this, [this] {
        WaitEnding = true;
        Session->TimerFired(SessionTimer::Wait);
        WaitEnding = false;
    });
    WaitClock.start();

    ConnectCommands();
    ConnectOptions();
    ConnectRecords();
    ConnectLinks();
    ShowOptions();
    Session->Start();
}

void TForm1::FormClose()
{
    Session->Closing();
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
    WaitTimer->stop();
    if (Session->FullScreen())
        SetNotFullScr();
    Game = nullptr;
    Loop = nullptr;
    Play = nullptr;
    Session.reset();
    for (QImage& picture : CellImages)
        picture = QImage();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

// ---- The session's order ------------------------------------------------------

void TForm1::WakeLater()
{
    QCoreApplication::postEvent(this, new GameNotificationEvent(0));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // The application-wide hook: what the session posted is acted on, never consumed.
    if (event->type() == GameNotificationEvent::EventType() && watched == this) {
        if (Session)
            Session->Deliver();
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

// ---- Timers ---------------------------------------------------------------------

void TForm1::Timer1Timer()
{
    Session->TimerFired(SessionTimer::Fall);
}

void TForm1::Timer3Timer()
{
    Session->TimerFired(SessionTimer::Drop);
}

static QTimer* TimerOf(SessionTimer timer, QTimer* fall, QTimer* drop, QTimer* wait)
{
    return timer == SessionTimer::Fall ? fall : timer == SessionTimer::Drop ? drop : wait;
}

void TForm1::StartTimer(SessionTimer timer, int milliseconds)
{
    if (timer != SessionTimer::Wait) {
        TimerOf(timer, Timer1, Timer3, WaitTimer)->start(milliseconds);
        return;
    }
    // A wait that follows one at its end is timed from when that one was
    // due, not from when its timer came round: so an animation of short
    // waits does not fall behind by every timer's lateness.
    const qint64 now = WaitClock.nsecsElapsed();
    WaitDue = (WaitEnding ? WaitDue : now) + qint64(milliseconds) * 1000000;
    WaitTimer->start(int(std::max<qint64>(WaitDue - now + 500000, 0) / 1000000));
}

void TForm1::StopTimer(SessionTimer timer)
{
    TimerOf(timer, Timer1, Timer3, WaitTimer)->stop();
}

void TForm1::SetTimerInterval(SessionTimer timer, int milliseconds)
{
    TimerOf(timer, Timer1, Timer3, WaitTimer)->setInterval(milliseconds);
}

void TForm1::RepaintNow(QRect area)
{
    // The design's area, not the window: the window's own repaint stops at
    // the opaque area that covers it. What stands in the area is repainted,
    // so a label hidden meanwhile is wiped too.
    ClientArea->repaint(area.isNull() ? ClientArea->rect() : area);
}

// ---- The view -------------------------------------------------------------------------

void TForm1::Show(unsigned parts)
{
    const SessionView& view = Session->View();
    if (parts & ViewOptions)
        ShowOptions();
    if (parts & ViewLinks)
        ShowLinkAddresses();
    if (parts & ViewRecords) {
        ShowRecords();
        SelectRecordRow(view.RecordRow);
    }
    if (parts & ViewLevel)
        lbLe->setText(QString::fromStdString(view.Level));
    if (parts & ViewScore) {
        lbLi->setText(QString::fromStdString(view.Score));
    }
    if (parts & ViewCaptions)
        ShowCaptions();
    if (parts & ViewPanels)
        ShowPanels();
    if (parts & ViewNameEntry)
        ShowNameEntry();
    if (parts & ViewTitle)
        ShowTitle();
    if (parts & ViewBonus)
        ShowBonus();
    if (parts & ViewWell)
        DrawWell();
    if (!(parts & ViewNow))
        return;
    // At once, in the middle of an animation: the part that changed, or all.
    const unsigned changed = parts & ~ViewNow;
    if (changed == ViewScore)
        RepaintNow(lbLi->geometry());
    else if (changed == ViewBonus)
        RepaintNow(LBBonus->geometry().united(LBBonusN->geometry()));
    else
        RepaintNow();
}

void TForm1::ShowCaptions()
{
    const SessionView& view = Session->View();
    Label3->setVisible(view.GameOverCaption);
    Label8->setEnabled(view.MenuHint);
    lbS->setVisible(view.AutopilotCaption);
    lbReplay->setVisible(view.ReplayCaption);
}

void TForm1::ShowBonus()
{
    const SessionView& view = Session->View();
    LBBonusN->setText(QString::fromStdString(view.BonusText));
    LBBonus->setVisible(view.BonusWord);
    LBBonusN->setVisible(view.BonusAmount);
}

void TForm1::ShowPanels()
{
    const SessionView& view = Session->View();
    GBAbout->setVisible(view.About);
    GBOptions->setVisible(view.Options);
    PauseBlocked->setVisible(view.PauseCover);
}

void TForm1::ShowTitle()
{
    // Seen from the task bar while away, the game is a folder of reports.
    const bool away = Session->View().Away;
    window()->setWindowTitle(away ? AwayTitle : GameTitle);
    window()->setWindowIcon((away ? Image2 : Image1)->pixmap());
}

// ---- Drawing --------------------------------------------------------------

TForm1::WellSource TForm1::CurrentWellSource() const
{
    WellSource source{Session->View().Well, Session->View().ColourMode, Colours, {}};
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
    if (!Session)
        return;
    const WellSource source = CurrentWellSource();
    if (!DrawnWell || !(*DrawnWell == source)) {
        RenderWellInto(WellImage, source.Display, source.Mode, Colours, CellImages, Geometry);
        DrawnWell = source;
    }
    painter.drawImage(0, 0, WellImage);
}

// ---- Sound --------------------------------------------------------------------

int TForm1::PlaySound(const SessionSound& sound)
{
    const QString wave = QString::fromStdString(sound.Resource);
    if (sound.Kind == SessionSound::Source::Tone) {
        if (sound.Queued)
            Sound->QueueTone(sound.Frequency, sound.Milliseconds);
        else
            Sound->Beep(sound.Frequency, sound.Milliseconds);
        return sound.Milliseconds;
    }
    if (sound.Queued)
        return Sound->QueueWave(wave);
    Sound->PlayWave(wave, false);
    return 0;
}

// ---- Questions and the world outside ------------------------------------------------

void TForm1::Ask(const SessionMessage& message)
{
    const QMessageBox::Icon icon = message.Icon == SessionIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon;
    const auto buttons = message.YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::StandardButtons(QMessageBox::Ok);
    const auto answer = MessageDialog(icon, QString::fromUtf8(message.Caption.c_str()),
                                      QString::fromUtf8(message.Text.c_str()), buttons);
    Session->Answer(answer == QMessageBox::Yes || answer == QMessageBox::Ok);
}

void TForm1::ReportError(const std::string& text)
{
    VantorixApplication::ReportError(QString::fromUtf8(text.c_str()));
}

void TForm1::Close()
{
    close();
}

void TForm1::CloseLater()
{
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}
