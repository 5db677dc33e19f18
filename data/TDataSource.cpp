#include "TDataSource.h"

#include "TQuery.h"

TDataSource::TDataSource(TQuery *dataSet, const QString &name, QObject *parent)
    : QAbstractTableModel(parent), m_query(dataSet)
{
    setObjectName(name);
    connect(m_query, &TQuery::afterOpen, this, &TDataSource::reset);
    connect(m_query, &TQuery::afterClose, this, &TDataSource::reset);
    connect(m_query, &TQuery::dataChanged, this, [this](int row, int column) {
        emit QAbstractTableModel::dataChanged(index(row, column), index(row, column));
    });
    reset();
}

void TDataSource::reset()
{
    beginResetModel();
    m_rows = m_query->RecordCount();
    m_columns = m_query->Active() || !m_query->fieldDefs().isEmpty() ? m_query->FieldCount() : 0;
    endResetModel();
}

int TDataSource::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDataSource::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant TDataSource::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_columns)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_query->value(index.row(), index.column());
    return QVariant();
}

QVariant TDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columns ? QVariant(m_query->FieldName(section)) : QVariant();
    return QVariant();
}

Qt::ItemFlags TDataSource::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && m_editable.contains(m_query->FieldName(index.column()), Qt::CaseInsensitive))
        f |= Qt::ItemIsEditable;
    return f;
}

bool TDataSource::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    m_query->setValue(index.row(), index.column(), value.toString());
    emit cellEdited(index.row(), index.column());
    return true;
}
