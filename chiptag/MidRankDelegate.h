// The cell drawing of the ranking grid DBG3 (DBG3DrawColumnCell): rows whose
// NATION is exactly "JPN" are drawn in blue in every column, the others as the grid
// draws them. The grid of the mid window installs it with setItemDelegate.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

class TMidRankDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Blue (0, 0, 255) for a "JPN" row; an invalid colour keeps the grid's default.
    static QColor TextColour(const QModelIndex &index);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
