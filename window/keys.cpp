// Keyboard and mouse commands and the popup menu.

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>

#include "common/records_site.h"
#include "platform/user_name.h"
#include "window/Unit1.h"
#include "window/notification_event.h"
#include "window/virtual_keys.h"

namespace {

// A key press queued by the autopilot switch.
class SyntheticKeyEvent : public CustomEvent<SyntheticKeyEvent> {
public:
    explicit SyntheticKeyEvent(int key) : Key(key) {}
    const int Key;
};

bool IsModifier(int key)
{
    return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN || key == VK_RWIN ||
           key == VK_APPS;
}

// Figure moves that the autopilot does not let the player make.
bool RefusedUnderAutopilot(int key)
{
    switch (key) {
    case VK_MENU: case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
    case '4': case '5': case '6': case 'R': case 'T':
    case VK_NUMPAD0 + 4: case VK_NUMPAD0 + 5: case VK_NUMPAD0 + 6: case VK_NUMPAD0 + 8:
        return true;
    default:
        return false;
    }
}

}  // namespace

void TForm1::ConnectCommands()
{
    connect(BDefault, &QPushButton::clicked, this, &TForm1::DefColorClick);
    connect(BOk, &QPushButton::clicked, this, &TForm1::BOkClick);
    connect(Lb_Anim, &TClickLabel::clicked, this, &TForm1::Lb_AnimClick);
    connect(Lb_Sound, &TClickLabel::clicked, this, &TForm1::Lb_SoundClick);
    connect(Lb_Sound_ON, &TClickLabel::clicked, this, &TForm1::Lb_Sound_ONClick);
    connect(Lb_Rot_Inverse, &TClickLabel::clicked, this, &TForm1::Lb_Rot_InverseClick);
    connect(ChBox_Sound_ON, &QCheckBox::toggled, this, &TForm1::ChBox_Sound_ONClick);
    connect(Label11, &TClickLabel::clicked, this, &TForm1::Label11Click);
    connect(RB_Eng, &QRadioButton::clicked, this, &TForm1::RB_EngClick);
    connect(RB_Rus, &QRadioButton::clicked, this, &TForm1::RB_RusClick);
    connect(Label4, &TClickLabel::clicked, this, &TForm1::Look_Results);
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { Edit1KeyPress(QChar('\r')); });
    connect(PublishInet, &QAction::triggered, this, &TForm1::Send_Results);
    connect(LookInet, &QAction::triggered, this, &TForm1::Look_Results);
    connect(WatchBest, &QAction::triggered, this, &TForm1::WatchBestClick);
    connect(Erase_Results, &QAction::triggered, this, &TForm1::Erase_ResultsClick);
    connect(Params, &QAction::triggered, this, &TForm1::ParamsClick);
    connect(About, &QAction::triggered, this, &TForm1::AboutClick);
    connect(MExit, &QAction::triggered, this, &TForm1::MExitClick);
    // The click that dismisses the menu is not passed on to the window.
    PopupMenu1->setAttribute(Qt::WA_NoMouseReplay);
}

// ---- Keys --------------------------------------------------------------------

void TForm1::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    if (Edit1->isEnabled()) {
        // The open name entry gets the keys back, wherever the focus went;
        // the window sees the key on its way there.
        Edit1->setFocus();
        QCoreApplication::sendEvent(Edit1, event);
        return;
    }
    KeyPressDown(VirtualKeyCode(*event));
}

void TForm1::KeyPressDown(int key)
{
    if (Publishing())
        return;   // the answer and its message come first
    if (Watching()) {
        // Any key ends a replay, and does nothing else.
        StopWatching();
        return;
    }
    if (IsModifier(key) && !PauseBlocked->isHidden())
        return;
    if (!GBAbout->isHidden()) {
        ShowAbout();
        return;
    }
    if (GBOptions->isHidden() && Game->Paused) {
        // Any key resumes a paused game and does nothing else.
        PauseBlocked->hide();
        SetGamePaused(false);
        return;
    }
    // While the name entry is open, L is a letter of the name.
    if (key == 'L' && !Edit1->isEnabled())
        ChangeLang(Label11->text());
    if (key == VK_F1 && GBOptions->isHidden())
        ShowAbout();
    if (key == 'O' && !GBOptions->isHidden() && !Edit1->isEnabled()) {
        ShowOptions();
        return;
    }
    if (Flags.AutopilotOn && RefusedUnderAutopilot(key))
        return;
    if (Edit1->isEnabled())
        return;   // the key goes on to the name entry
    Flags.KeyPressed = true;
    RunKeyCommand(key);
    PauseBlocked->setVisible(Game->Paused);
    Game->ComposeDisplay(Game->Display, true);
    if (Game->Running)
        DrawWell();
}

void TForm1::RunKeyCommand(int key)
{
    const bool inverse = ChBox_Rot_Inverse->isChecked();
    switch (key) {
    case VK_RETURN:
        if (GBOptions->isHidden()) {
            if (Game->Running)
                Play->Stop();
            else
                StartNewGame();
        }
        break;
    case VK_SPACE:
    case VK_NUMPAD0:
        HardDrop();
        break;
    case VK_LEFT: case '4': case VK_NUMPAD0 + 4:
        Play->Move(MoveDirection::Left);
        break;
    case VK_RIGHT: case '6': case VK_NUMPAD0 + 6:
        Play->Move(MoveDirection::Right);
        break;
    case VK_MENU: case 'T': case VK_NUMPAD0 + 2:
        Play->Move(MoveDirection::Down);
        break;
    case VK_DOWN: case '5': case VK_NUMPAD0 + 5:
        Play->Rotate(!inverse);
        break;
    case VK_UP: case 'R': case VK_NUMPAD0 + 8:
        Play->Rotate(inverse);
        break;
    case '1':
        Flags.ColourMode = 1;
        MakeBitmaps(true);
        break;
    case '2':
        Flags.ColourMode = 2;
        MakeBitmaps(true);
        break;
    case '3':
        Flags.ColourMode = 3;
        MakeBitmaps(false);
        break;
    case 'A':
        AutopilotKey();
        break;
    case 'F':
        Flags.FullScreen = !Flags.FullScreen;
        if (Flags.FullScreen) {
            SetFullScr();
        } else {
            SetNotFullScr();
            raise();
            activateWindow();
        }
        break;
    case 'O':
        ShowOptions();
        break;
    case 'P':
        if (!Flags.AutopilotOn && Game->Running && GBOptions->isHidden() && !Game->Paused)
            SetGamePaused(true);
        break;
    case 'S':
        Lb_Sound_ONClick();
        break;
    case VK_ESCAPE:
        if (!GBOptions->isHidden())
            ShowOptions();
        else {
            showMinimized();
            // Wayland leaves minimising to the compositor, and some (sway)
            // have none: the game stays in front and focused, and looks
            // away all the same, unless it went away meanwhile.
            if (QGuiApplication::platformName().startsWith("wayland")) {
                auto away = std::make_shared<bool>(false);
                const auto watch = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                                           [away](Qt::ApplicationState now) { *away |= now != Qt::ApplicationActive; });
                QTimer::singleShot(500, this, [this, away, watch] {
                    disconnect(watch);
                    if (!*away && isActiveWindow())
                        ActivationChanged(false);
                });
            }
        }
        break;
    case VK_NEXT: case 'Q': case VK_F10:
        close();
        break;
    default:
        break;
    }
}

void TForm1::AutopilotKey()
{
    if (Flags.AutopilotOn) {
        Flags.AutopilotOn = false;
        Play->SetAutopilot(false);
        if (Game->Running) {
            Flags.PlayerName = CurrentUserName();
            Play->Stop();
        }
    } else {
        Flags.PlayerName = AutopilotName;
        Flags.AutopilotOn = true;
        Play->SetAutopilot(true);
    }
    lbS->show();
    if (!Game->Running)
        QueueSyntheticKey(Qt::Key_Return);
    QueueSyntheticKey(Qt::Key_Space);
}

void TForm1::StartNewGame()
{
    // How it looks and sounds when watched again: the options of its start.
    Play->Look = {ChBox_Anim->isChecked(), Game->SoundOn, ChBox_Sound->isChecked()};
    Play->StartGame();
}

void TForm1::QueueSyntheticKey(int qtKey)
{
    QCoreApplication::postEvent(this, new SyntheticKeyEvent(qtKey));
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        ActivationChanged(event->type() == QEvent::WindowActivate);
    if (event->type() == SyntheticKeyEvent::EventType()) {
        // Delivered like real input, to the control that has the focus now.
        const int key = static_cast<SyntheticKeyEvent*>(event)->Key;
        QWidget* target = focusWidget() ? focusWidget() : this;
        const QString text = key == Qt::Key_Return ? "\r" : " ";
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &press);
        QCoreApplication::sendEvent(target, &release);
        return true;
    }
    return QWidget::event(event);
}

// ---- Mouse and menu ------------------------------------------------------------

void TForm1::mouseReleaseEvent(QMouseEvent* event)
{
    GB5MouseUp();
    event->accept();
}

void TForm1::GB5MouseUp()
{
    if (!GBOptions->isHidden() || Edit1->isEnabled() || Game->Running || Publishing())
        return;
    if (!GBAbout->isHidden()) {
        ShowAbout();
        return;
    }
    if (!Flags.MenuToggle) {
        const bool records = LV1->topLevelItemCount() > 0;
        PublishInet->setEnabled(records);
        Erase_Results->setEnabled(records);
        WatchBest->setEnabled(Records.Replays().Has(Records.Entries(), 1));
        activateWindow();
        PopupMenu1->popup(QCursor::pos());
    }
    Flags.MenuToggle = !Flags.MenuToggle;
}

void TForm1::ParamsClick()
{
    ShowOptions();
    Flags.MenuToggle = !Flags.MenuToggle;
}

void TForm1::AboutClick()
{
    ShowAbout();
    Flags.MenuToggle = !Flags.MenuToggle;
}

void TForm1::MExitClick()
{
    close();
}
