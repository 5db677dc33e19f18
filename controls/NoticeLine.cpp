// The windows' red notice lines.
#include "NoticeLine.h"

#include <QLabel>

QLabel *MakeNoticeLine(const QString &objectName, QWidget *parent)
{
    auto *line = new QLabel(parent);
    line->setObjectName(objectName);
    QPalette red = line->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    line->setPalette(red);
    line->hide();
    return line;
}

void ShowNotice(QLabel *line, const QString &text)
{
    line->setText(text);
    line->setVisible(!text.isEmpty());
}
