// How a grid shows the fields of its data source: which fields, in which order, with
// which titles, widths, alignments and fonts. The one place for the station's grids.
#pragma once

#include <QList>
#include <QString>
#include <Qt>

class QAbstractItemDelegate;
class QTableView;
class TDataSource;

struct TGridColumn {
    // Written as {field, width, title, ...}; what is left out takes its default.
    TGridColumn(const QString &field, int width = 0, const QString &title = QString(), Qt::Alignment alignment = {},
                Qt::Alignment titleAlignment = {}, QAbstractItemDelegate *delegate = nullptr,
                const QString &widestCell = QString())
        : field(field), width(width), title(title), alignment(alignment), titleAlignment(titleAlignment),
          delegate(delegate), widestCell(widestCell)
    {
    }

    QString field;                // compared without case
    int width;                    // as designed, in pixels; the grid's default when 0
    QString title;                // the field name when empty
    Qt::Alignment alignment;      // of the cells; the grid's default when 0
    Qt::Alignment titleAlignment; // of the title; the grid's default when 0
    // Draws the cells, for a font of the column's own; the grid's delegate when null.
    QAbstractItemDelegate *delegate;
    // Text the cells must show whole (a four-digit bib); see TGridWidths::FitTexts.
    QString widestCell;
};

enum class TGridWidths {
    Designed, // the widths as given
    FitTexts, // a column grows where this machine's fonts need more for its title or widestCell
};

// Shows the columns on a grid whose model is the data source, and again after every
// reopening of its query (a reset makes the grid forget hidden and moved columns). Call it
// after the grid's setModel, so the grid has handled the reset first. Called again on the
// same grid (the photocell window's mid-time grid switches its second column between
// Midtime1 and Midtime5 with the Mid buttons), the new columns replace the old ones.
void ShowGridColumns(QTableView *grid, TDataSource *source, const QList<TGridColumn> &columns,
                     TGridWidths widths = TGridWidths::Designed);
