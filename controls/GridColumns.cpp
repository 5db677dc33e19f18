// The field columns of the station's data grids.
#include "GridColumns.h"

#include "TDataSource.h"
#include "TQuery.h"

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

int sourceColumnOf(const TDataSource *source, const QString &field)
{
    const TQuery *q = source->DataSet();
    for (int c = 0; c < source->columnCount(); ++c)
        if (q->FieldName(c).compare(field, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
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
        const int c = sourceColumnOf(source, column.field);
        if (c < 0)
            continue;
        grid->setColumnHidden(c, false);
        const QString title = source->headerData(c, Qt::Horizontal).toString();
        grid->setColumnWidth(c, widths == TGridWidths::FitTexts ? fittedWidth(grid, column, title) : column.width);
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
    QObject::connect(source, &QAbstractItemModel::modelReset, grid,
                     [grid, source, columns, widths] { applyColumns(grid, source, columns, widths); });
    applyColumns(grid, source, columns, widths);
}

TGridColumns::TGridColumns(QObject *parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(false);
}

void TGridColumns::setColumns(const QList<TColumn> &columns)
{
    m_columns = columns;
    invalidateColumnsFilter();
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int TGridColumns::sourceRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return mapToSource(index(row, 0)).row();
}

QString TGridColumns::sourceField(int sourceColumn) const
{
    if (auto *source = qobject_cast<TDataSource *>(sourceModel()))
        return source->DataSet()->FieldName(sourceColumn);
    return sourceModel() ? sourceModel()->headerData(sourceColumn, Qt::Horizontal).toString() : QString();
}

int TGridColumns::columnOf(const QString &field) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool TGridColumns::filterAcceptsColumn(int sourceColumn, const QModelIndex &) const
{
    return columnOf(sourceField(sourceColumn)) >= 0;
}

QVariant TGridColumns::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && sourceModel()) {
        // The shown columns keep the source's order, also when the query has no rows.
        int shown = -1;
        for (int c = 0; c < sourceModel()->columnCount(); ++c) {
            if (!filterAcceptsColumn(c, QModelIndex()) || ++shown != section)
                continue;
            const QString field = sourceField(c);
            const TColumn &column = m_columns.at(columnOf(field));
            return column.title.isEmpty() ? field : column.title;
        }
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}
