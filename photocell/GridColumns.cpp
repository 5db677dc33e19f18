// Field columns of the photocell window's grids.
#include "GridColumns.h"

#include "TDataSource.h"
#include "TQuery.h"

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
