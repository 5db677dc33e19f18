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
    // Puts these entries in, keeping the entry shown when it is among them (else the first).
    void SetEntries(const QStringList &entries);

signals:
    // The list is about to open: the window gives it its entries again.
    void PopupAboutToShow();
};
