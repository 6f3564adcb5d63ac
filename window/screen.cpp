// Full screen, and what the window does when it gains or loses the focus.

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <functional>

#include "window/Unit1.h"

namespace {

QScreen* ScreenOf(const QWidget* widget)
{
    QScreen* screen = widget->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

// Wayland lets no client move the pointer; Qt would only warn.
void MovePointer(QPoint to)
{
    if (!QGuiApplication::platformName().startsWith("wayland"))
        QCursor::setPos(to);
}

// A blank page over the whole window while the boss looks, where the boss
// key minimised nothing. The player's next key or click only lifts it.
class BossCover : public QWidget {
public:
    static constexpr const char* Name = "BossCover";

    BossCover(QWidget* window, std::function<void()> lift) : QWidget(window), Lift(std::move(lift))
    {
        setObjectName(Name);
        // An empty page of the desktop's own colours, not the game's black.
        QPalette page = palette();
        page.setColor(QPalette::Window, QApplication::palette().color(QPalette::Base));
        setPalette(page);
        setAutoFillBackground(true);
        setGeometry(window->rect());
        show();
        // Installed last, so it sees the keys before the window's own filter.
        qApp->installEventFilter(this);
    }

    void Remove()
    {
        qApp->removeEventFilter(this);
        hide();
        deleteLater();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto* widget = qobject_cast<QWidget*>(watched);
        const bool ours = watched == parentWidget()->windowHandle() || (widget && widget->window() == parentWidget());
        const QEvent::Type type = event->type();
        if (!ours || (type != QEvent::KeyPress && type != QEvent::MouseButtonPress &&
                      type != QEvent::MouseButtonDblClick && type != QEvent::MouseButtonRelease))
            return false;
        // On the release, so that no click is left over to open the menu.
        if (type == QEvent::KeyPress || type == QEvent::MouseButtonRelease)
            Lift();
        return true;
    }

private:
    std::function<void()> Lift;
};

BossCover* CoverOf(const QWidget* window)
{
    return dynamic_cast<BossCover*>(window->findChild<QWidget*>(BossCover::Name, Qt::FindDirectChildrenOnly));
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

// The display mode is left alone: the window itself covers the screen, black
// around the design, which stays centred at its own size (scaling it would
// hide the animations, which repaint synchronously inside Delay). One window
// only, so nothing can come between the player and the game and the task
// list shows one entry.
void TForm1::SetFullScreen(bool on)
{
    if (on)
        SetFullScr();
    else
        SetNotFullScr();
}

void TForm1::Raise()
{
    raise();
    activateWindow();
}

void TForm1::SetFullScr()
{
    const QRect area = ScreenOf(this)->geometry();
    if (!isFullScreen()) {
        SavedWindowPos = pos();
        // The geometry first, for an X server without a window manager,
        // where nobody acts on the state.
        setGeometry(area);
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    }
    // Where the design's point will be once the window covers the screen.
    const QPoint designAt((area.width() - DesignWidth) / 2, (area.height() - DesignHeight) / 2);
    MovePointer(area.topLeft() + designAt + QPoint(700, 300));
}

void TForm1::SetNotFullScr()
{
    // A minimised window (the boss key) already shows the desktop, and a
    // state change now would map it again; it comes back in full screen.
    if (isFullScreen() && !isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        setGeometry(QRect(SavedWindowPos, QSize(DesignWidth, DesignHeight)));
    }
    MovePointer({SavedDisplayMode.Width, SavedDisplayMode.Height});
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    ClientArea->move((width() - DesignWidth) / 2, (height() - DesignHeight) / 2);
    if (BossCover* cover = CoverOf(this))
        cover->setGeometry(rect());
    QWidget::resizeEvent(event);
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        ActivationChanged(event->type() == QEvent::WindowActivate);
    return QWidget::event(event);
}

void TForm1::ActivationChanged(bool active)
{
    if (!Session || Destroyed || Session->IsActive() == active)
        return;
    if (active) {
        if (BossCover* cover = CoverOf(this))
            cover->Remove();
        Session->Activation(true);
        return;
    }
    Session->Activation(false);
    // Still in front after the boss key: nothing minimised the window.
    if (isActiveWindow() && !CoverOf(this))
        new BossCover(this, [this] { ActivationChanged(true); });
}
