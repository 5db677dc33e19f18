// How a grid shows the fields of its data source: which fields, in which order, with
// which titles, widths, alignments and fonts; every other field stays hidden. One helper
// for the station's data grids, so every grid is set up the same way.
#pragma once

#include <QList>
#include <QString>
#include <Qt>

class QAbstractItemDelegate;
class QTableView;
class TDataSource;

struct TGridColumn {
    QString field;                // compared without case
    int width = 0;                // as designed, in pixels
    QString title;                // the field name when empty
    Qt::Alignment alignment;      // of the cells; the grid's default when 0
    Qt::Alignment titleAlignment; // of the title; the grid's default when 0
    // Draws the cells, for a font of the column's own; the grid's delegate when null.
    QAbstractItemDelegate *delegate = nullptr;
    // Text the cells must show whole (a four-digit bib); see TGridWidths::FitTexts.
    QString widestCell;
};

enum class TGridWidths {
    Designed, // the widths as given
    FitTexts, // a column grows where this machine's fonts need more for its title or widestCell
};

// Shows the columns on a grid whose model is the data source, and again after every
// reopening of its query (a reset makes the grid forget hidden and moved columns). Call it
// after the grid's setModel, so the grid has handled the reset first.
void ShowGridColumns(QTableView *grid, TDataSource *source, const QList<TGridColumn> &columns,
                     TGridWidths widths = TGridWidths::Designed);
