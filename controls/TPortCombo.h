// The drop-down list of serial ports: it asks for its entries afresh each time it opens,
// so an adapter plugged in while the window is open can be chosen at once.
#pragma once

#include <QComboBox>

class TPortCombo : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    // The list is about to open: the window fills it again.
    void PopupAboutToShow();
};
