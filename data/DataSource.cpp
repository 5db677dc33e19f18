#include "DataSource.h"

#include "Query.h"

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

int TDataSource::ColumnOf(const QString &field) const
{
    for (int c = 0; c < columnCount(); ++c)
        if (m_query->FieldName(c).compare(field, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
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
    if (role == Qt::TextAlignmentRole) {
        const TFieldLook *l = look(index.column());
        if (l && l->alignment)
            return QVariant(int(l->alignment.toInt()));
    }
    return QVariant();
}

QVariant TDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns)
        return QVariant();
    const TFieldLook *l = look(section);
    if (role == Qt::DisplayRole)
        return l && !l->title.isEmpty() ? l->title : m_query->FieldName(section);
    if (role == Qt::TextAlignmentRole && l && l->titleAlignment)
        return QVariant(int(l->titleAlignment.toInt()));
    return QVariant();
}

const TDataSource::TFieldLook *TDataSource::look(int column) const
{
    if (m_looks.isEmpty())
        return nullptr;
    const auto it = m_looks.constFind(m_query->FieldName(column).toUpper());
    return it == m_looks.constEnd() ? nullptr : &it.value();
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
