// The cell drawing of the ranking grid DBG3 (DBG3DrawColumnCell): rows whose
// NATION is exactly "JPN" are drawn in blue in every column, the others as the grid
// draws them. The grid of the mid window installs it with setItemDelegate.
#pragma once

#include <QColor>
#include <QFont>
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

// A column of the mid window's grids with a font of its own (NUM and MJ: "ＭＳ ゴシック"
// 27 px). It draws as the ranking delegate does, so a "JPN" row stays blue in it too.
class TColumnFontDelegate : public TMidRankDelegate
{
    Q_OBJECT
public:
    TColumnFontDelegate(const QFont &font, QObject *parent) : TMidRankDelegate(parent), m_font(font) {}
    QFont Font() const { return m_font; }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QFont m_font;
};
