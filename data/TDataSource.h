// A data source: shows a query's current rows to a grid as a table model. The query is
// refreshed by reopening it; the model resets with it and the grid keeps its place.
#pragma once

#include <QAbstractTableModel>
#include <functional>

class TQuery;

class TDataSource : public QAbstractTableModel {
    Q_OBJECT
public:
    TDataSource(TQuery *dataSet, const QString &name, QObject *parent = nullptr);

    TQuery *DataSet() const { return m_query; }

    // Columns the grid may edit, by field name; an edit changes the open query's row
    // and is reported by cellEdited (the owner writes it back).
    void setEditableFields(const QStringList &names) { m_editable = names; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    void cellEdited(int row, int column);

private:
    void reset();

    TQuery *m_query;
    QStringList m_editable;
    int m_rows = 0;
    int m_columns = 0;
};
