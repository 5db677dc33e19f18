#include "PortCombo.h"

void TPortCombo::showPopup()
{
    emit PopupAboutToShow();
    QComboBox::showPopup();
}

void TPortCombo::SetEntries(const QStringList &entries)
{
    const QString shown = currentText();
    clear();
    addItems(entries);
    setCurrentIndex(qMax(0, findText(shown)));
}
