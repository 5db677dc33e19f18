#include "TPortCombo.h"

void TPortCombo::showPopup()
{
    emit PopupAboutToShow();
    QComboBox::showPopup();
}
