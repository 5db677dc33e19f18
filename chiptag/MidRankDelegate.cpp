#include "MidRankDelegate.h"

#include "MidRules.h"

#include <QAbstractItemModel>

QColor TMidRankDelegate::TextColour(const QModelIndex &index)
{
    const QAbstractItemModel *model = index.model();
    if (!model)
        return QColor();
    // NATION is a field of the query, shown or not: found by its column title, which is
    // the field name, so the grid may hide it and a proxy may sit in between.
    for (int c = 0; c < model->columnCount(); ++c) {
        if (model->headerData(c, Qt::Horizontal).toString().compare(QLatin1String("NATION"), Qt::CaseInsensitive) ==
            0) {
            const QString nation = model->index(index.row(), c).data().toString();
            return MidLogic::DrawsInBlue(nation) ? QColor(0, 0, 255) : QColor();
        }
    }
    return QColor();
}

void TMidRankDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QColor colour = TextColour(index);
    if (colour.isValid()) {
        // Blue also when selected: the row's nation matters more than the selection.
        option->palette.setColor(QPalette::Text, colour);
        option->palette.setColor(QPalette::HighlightedText, colour);
    }
}

void TColumnFontDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    TMidRankDelegate::initStyleOption(option, index);
    option->font = m_font;
    option->fontMetrics = QFontMetrics(m_font);
}
