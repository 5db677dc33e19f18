#include "TpGridModel.h"

#include "DataSource.h"

TTpGridModel::TTpGridModel(TDataSource *source, QObject *parent) : QAbstractTableModel(parent), m_source(source)
{
    connect(m_source, &QAbstractItemModel::modelAboutToBeReset, this, &TTpGridModel::beginResetModel);
    connect(m_source, &QAbstractItemModel::modelReset, this, &TTpGridModel::endResetModel);
    connect(m_source, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &from, const QModelIndex &to) {
        emit dataChanged(index(from.row(), from.column()), index(to.row(), to.column()));
    });
}

int TTpGridModel::sourceColumns() const
{
    return m_source->columnCount();
}

int TTpGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_source->rowCount();
}

int TTpGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : sourceColumns() + 1;
}

QVariant TTpGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= sourceColumns())
        return QVariant(); // the empty column, or outside the rows
    return m_source->data(m_source->index(index.row(), index.column()), role);
}

QVariant TTpGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > sourceColumns())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == sourceColumns())
        return QString();
    const QString name = m_source->headerData(section, Qt::Horizontal, Qt::DisplayRole).toString().toUpper();
    return name == QLatin1String("LENG") ? QStringLiteral("Leng") : name;
}
