// The red line where a window says what is wrong without a box (a serial port away,
// announcements not heard, passings waiting): hidden while it has nothing to say.
#pragma once

#include <QString>

class QLabel;
class QWidget;

// A hidden red label named objectName; the window places it.
QLabel *MakeNoticeLine(const QString &objectName, QWidget *parent);
// Shows text on the line, or hides the line when text is empty.
void ShowNotice(QLabel *line, const QString &text);
