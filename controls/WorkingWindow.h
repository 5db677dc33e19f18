// The working windows where an intake runs (chip-tag, photocell, transponder): each opens
// over the main window and inside the screen, and only its "×" closes it.
#pragma once

#include <QDialog>

class TWorkingWindow : public QDialog
{
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    // Places the window (see WindowPlace) when it is shown, not when it comes back from
    // being minimised; a window's own showEvent calls this first.
    void showEvent(QShowEvent *event) override;
    // Escape would close the window (a dialog's reject), and with it the intake and the
    // announcements: it does nothing here.
    void keyPressEvent(QKeyEvent *event) override;
};
