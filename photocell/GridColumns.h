// The columns a grid of the photocell window shows of its data source: some fields of
// the query, by name, with the grid's own titles. The mid-time grid switches its second
// column between Midtime1 and Midtime5 with the Mid buttons.
#pragma once

#include <QList>
#include <QSortFilterProxyModel>

class TGridColumns : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    struct TColumn {
        QString field; // compared without case
        QString title; // the field name when empty
    };

    explicit TGridColumns(QObject *parent = nullptr);

    void setColumns(const QList<TColumn> &columns);
    QList<TColumn> columns() const { return m_columns; }
    // The source row behind a row of the grid; -1 when there is none.
    int sourceRow(int row) const;

    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex &sourceParent) const override;

private:
    QString sourceField(int sourceColumn) const;
    int columnOf(const QString &field) const;

    QList<TColumn> m_columns;
};
