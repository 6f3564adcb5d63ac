// Keys, the mouse and the popup menu: each handed to the session.

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>

#include "window/Unit1.h"
#include "window/virtual_keys.h"

void TForm1::ConnectCommands()
{
    connect(BDefault, &QPushButton::clicked, this, &TForm1::DefColorClick);
    connect(BOk, &QPushButton::clicked, this, &TForm1::BOkClick);
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

void TForm1::Label11Click() { Session->LanguageLink(); }
void TForm1::RB_EngClick() { Session->ChooseLanguage(Language::English); }
void TForm1::RB_RusClick() { Session->ChooseLanguage(Language::Russian); }
void TForm1::BOkClick() { Session->ToggleOptions(); }
void TForm1::Send_Results() { Session->Menu(MenuCommand::Publish); }
void TForm1::Look_Results() { Session->Menu(MenuCommand::LookOnline); }
void TForm1::WatchBestClick() { Session->Menu(MenuCommand::WatchBest); }
void TForm1::Erase_ResultsClick() { Session->Menu(MenuCommand::Erase); }
void TForm1::ParamsClick() { Session->Menu(MenuCommand::Options); }
void TForm1::AboutClick() { Session->Menu(MenuCommand::About); }
void TForm1::MExitClick() { Session->Menu(MenuCommand::Exit); }

void TForm1::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    if (Session->View().NameEntry) {
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
    Session->Key(key);
}

void TForm1::mouseReleaseEvent(QMouseEvent* event)
{
    GB5MouseUp();
    event->accept();
}

void TForm1::GB5MouseUp()
{
    Session->Click();
}

void TForm1::ShowMenu(const MenuState& menu)
{
    PublishInet->setEnabled(menu.Publish);
    Erase_Results->setEnabled(menu.Erase);
    WatchBest->setEnabled(menu.WatchBest);
    activateWindow();
    PopupMenu1->popup(QCursor::pos());
}

void TForm1::LookAway()
{
    showMinimized();
    // Wayland leaves minimising to the compositor, and some (sway) have
    // none: the game stays in front and focused, and looks away all the
    // same, unless it went away meanwhile.
    if (!QGuiApplication::platformName().startsWith("wayland"))
        return;
    auto away = std::make_shared<bool>(false);
    const auto watch = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                               [away](Qt::ApplicationState now) { *away |= now != Qt::ApplicationActive; });
    QTimer::singleShot(500, this, [this, away, watch] {
        disconnect(watch);
        if (!*away && isActiveWindow())
            ActivationChanged(false);
    });
}
