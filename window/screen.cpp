// Full screen, and what the window does when it gains or loses the focus.

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "window/Unit1.h"

namespace {

QScreen* ScreenOf(const QWidget* widget)
{
    QScreen* screen = widget->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

}  // namespace

void TForm1::ReadDisplayMode()
{
    const QScreen* screen = ScreenOf(this);
    if (!screen)
        return;
    SavedDisplayMode = {screen->geometry().width(), screen->geometry().height(), int(screen->refreshRate()),
                        screen->depth()};
}

// The display mode is left alone: a black backdrop covers the screen and
// the window stands centred in front of it at its own size. Scaling it would
// hide the animations, which repaint synchronously inside Delay. The
// backdrop never takes the focus, so the window stays in front of it.
void TForm1::SetFullScr()
{
    if (EraseDialogOpen)
        return;
    if (!InBackdrop()) {
        SavedWindowPos = pos();
        if (!Backdrop) {
            Backdrop = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                                              Qt::WindowDoesNotAcceptFocus);
            Backdrop->setObjectName("Backdrop");
            Backdrop->setAttribute(Qt::WA_ShowWithoutActivating);
            Backdrop->setAttribute(Qt::WA_QuitOnClose, false);   // closing the window still ends the game
            SetRoleColour(Backdrop.get(), QPalette::Window, Qt::black);
            Backdrop->setAutoFillBackground(true);
        }
        const QRect area = ScreenOf(this)->geometry();
        Backdrop->setWindowTitle("Vantorix II");
        Backdrop->setGeometry(area);
        // showFullScreen() would also ask to activate it. Shown again, an X
        // window keeps its old place in the stack: raise it over the others.
        Backdrop->setWindowState(Qt::WindowFullScreen);
        Backdrop->show();
        Backdrop->raise();
        move(area.topLeft() + QPoint((area.width() - width()) / 2, (area.height() - height()) / 2));
        raise();
    }
    QCursor::setPos(mapToGlobal(QPoint(700, 300)));
    FullScreen = true;
}

void TForm1::SetNotFullScr()
{
    if (EraseDialogOpen)
        return;
    if (InBackdrop()) {
        Backdrop->hide();
        move(SavedWindowPos);
    }
    QCursor::setPos(SavedDisplayMode.Width, SavedDisplayMode.Height);
}

bool TForm1::InBackdrop() const
{
    return Backdrop && Backdrop->isVisible();
}

void TForm1::FormActivate()
{
    if (!UserPaused)
        Game->SetPaused(false);
    if (FullScreen)
        SetFullScr();
    window()->setWindowTitle("Vantorix II");
    window()->setWindowIcon(Image1->pixmap());
    PauseBlocked->setVisible(Game->Paused);
    Read_Options();
}

void TForm1::FormDeactivate()
{
    if (!AutopilotOn)
        Game->SetPaused(true);   // UserPaused stays: the next activation resumes
    if (FullScreen)
        SetNotFullScr();
    // Seen from the task bar, the game is now a folder of reports.
    window()->setWindowTitle("Reports");
    window()->setWindowIcon(Image2->pixmap());
    Write_Options();
}

void TForm1::ActivationChanged(bool active)
{
    if (!Game || Destroyed)
        return;
    // The backdrop is part of the game: the focus goes back to the window.
    if (!active && Backdrop && QApplication::activeWindow() == Backdrop.get()) {
        activateWindow();
        return;
    }
    if (active == WasActive)
        return;
    WasActive = active;
    if (active)
        FormActivate();
    else
        FormDeactivate();
}
