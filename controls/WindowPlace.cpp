// Placing a working window over the main window and inside the screen.
#include "WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace WindowPlace
{

namespace
{

// The decoration the window manager puts around a top-level window. Before a window is
// first mapped its own frame is unknown (0): the main window, mapped already, has the
// same kind of frame.
QMargins frameOf(const QWidget *window, const QWidget *mainWindow)
{
    if (window->windowHandle() && !window->windowHandle()->frameMargins().isNull())
        return window->windowHandle()->frameMargins();
    if (mainWindow && mainWindow->windowHandle())
        return mainWindow->windowHandle()->frameMargins();
    return QMargins();
}

// The frame rectangle moved into area: right and bottom first, so that a window larger
// than the area keeps its title row and its left edge on the screen.
QRect keptInside(QRect outer, const QRect &area)
{
    if (outer.right() > area.right())
        outer.moveRight(area.right());
    if (outer.bottom() > area.bottom())
        outer.moveBottom(area.bottom());
    if (outer.left() < area.left())
        outer.moveLeft(area.left());
    if (outer.top() < area.top())
        outer.moveTop(area.top());
    return outer;
}

} // namespace

void KeepOnScreen(QWidget *window)
{
    const QMargins frame = frameOf(window, nullptr);
    const QRect outer(window->pos(), window->size().grownBy(frame));
    QScreen *screen = QGuiApplication::screenAt(outer.center());
    if (!screen)
        screen = QGuiApplication::screenAt(outer.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The position of a top-level window is that of its frame.
    window->move(keptInside(outer, screen->availableGeometry()).topLeft());
}

void CentreOnMainWindow(QWidget *window, const QWidget *mainWindow)
{
    const QWidget *main = mainWindow ? mainWindow->window() : nullptr;
    QScreen *screen = main ? main->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = frameOf(window, main);
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();

    const QSize room(area.width() - frameWidth, area.height() - frameHeight);
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);

    QRect outer(QPoint(0, 0), QSize(size.width() + frameWidth, size.height() + frameHeight));
    outer.moveCenter(main ? main->frameGeometry().center() : area.center());
    // A window that stays larger than the screen (its minimum size) keeps its title row
    // and its left edge on the screen.
    window->move(keptInside(outer, area).topLeft());
}

} // namespace WindowPlace
