// How a working window opens and what does not close it.
#include "WorkingWindow.h"

#include "WindowPlace.h"

#include <QKeyEvent>
#include <QShowEvent>

void TWorkingWindow::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        WindowPlace::CentreOnMainWindow(this, parentWidget());
    QDialog::showEvent(event);
}

void TWorkingWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
