// The field columns of the station's data grids.
#include "GridColumns.h"

#include "DataSource.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableView>

namespace
{

// The widths are those of the station's usual grid font; where this machine's font is
// wider, a column grows so that its title and its widest cell stay readable.
int fittedWidth(const QTableView *grid, const TGridColumn &column, const QString &title)
{
    const int margin = 2 * grid->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, grid) + 6;
    int width = grid->horizontalHeader()->fontMetrics().horizontalAdvance(title);
    if (!column.widestCell.isEmpty())
        width = qMax(width, grid->fontMetrics().horizontalAdvance(column.widestCell));
    return qMax(column.width, width + margin);
}

void applyColumns(QTableView *grid, TDataSource *source, const QList<TGridColumn> &columns, TGridWidths widths)
{
    QHeaderView *header = grid->horizontalHeader();
    for (int c = 0; c < source->columnCount(); ++c) {
        grid->setColumnHidden(c, true);
        grid->setItemDelegateForColumn(c, nullptr);
    }
    int position = 0;
    for (const TGridColumn &column : columns) {
        const int c = source->ColumnOf(column.field);
        if (c < 0)
            continue;
        grid->setColumnHidden(c, false);
        const QString title = source->headerData(c, Qt::Horizontal).toString();
        if (widths == TGridWidths::FitTexts)
            grid->setColumnWidth(c, fittedWidth(grid, column, title));
        else if (column.width > 0)
            grid->setColumnWidth(c, column.width);
        else
            grid->setColumnWidth(c, grid->horizontalHeader()->defaultSectionSize());
        if (column.delegate)
            grid->setItemDelegateForColumn(c, column.delegate);
        header->moveSection(header->visualIndex(c), position++);
    }
}

} // namespace

void ShowGridColumns(QTableView *grid, TDataSource *source, const QList<TGridColumn> &columns, TGridWidths widths)
{
    for (const TGridColumn &column : columns)
        if (!column.title.isEmpty() || column.alignment || column.titleAlignment)
            source->setFieldLook(column.field, {column.title, column.titleAlignment, column.alignment});
    // The grid's previous columns, if any, stop following the resets.
    const QString keeperName = QStringLiteral("shownGridColumns");
    delete grid->findChild<QObject *>(keeperName, Qt::FindDirectChildrenOnly);
    auto *keeper = new QObject(grid);
    keeper->setObjectName(keeperName);
    QObject::connect(source, &QAbstractItemModel::modelReset, keeper,
                     [grid, source, columns, widths] { applyColumns(grid, source, columns, widths); });
    applyColumns(grid, source, columns, widths);
}
