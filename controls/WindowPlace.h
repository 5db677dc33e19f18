// Where a working window opens: centred on the main window where it fits, and always
// inside the available area of the main window's screen, so that no button, grid or
// close box opens where the operator cannot reach it.
#pragma once

class QWidget;

namespace WindowPlace
{

// Centres the top-level window (its frame) on the main window's frame, then moves it into
// the available geometry of the main window's screen; a window larger than that area is
// first made smaller, as far as its minimum size allows. The frame the window manager
// will add is taken from the window itself when it is known, else from the main window.
// Call it when the window is about to be shown (its showEvent), before it is mapped.
void CentreOnMainWindow(QWidget *window, const QWidget *mainWindow);

// Moves a top-level window at a remembered place (the main window at its saved position)
// into the available area of the screen under it, or of the primary screen when no
// screen is there any more (a monitor unplugged, a smaller laptop screen).
void KeepOnScreen(QWidget *window);

} // namespace WindowPlace
