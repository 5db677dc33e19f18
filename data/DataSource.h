// A data source: shows a query's current rows to a grid as a table model. The query is
// refreshed by reopening it; the model resets with it and the grid keeps its place.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <functional>

class TQuery;

class TDataSource : public QAbstractTableModel
{
    Q_OBJECT
public:
    TDataSource(TQuery *dataSet, const QString &name, QObject *parent = nullptr);

    TQuery *DataSet() const { return m_query; }
    // The column that shows a field (name compared without case); -1 when none does.
    int ColumnOf(const QString &field) const;

    // Columns the grid may edit, by field name; an edit changes the open query's row
    // and is reported by cellEdited (the owner writes it back).
    void setEditableFields(const QStringList &names) { m_editable = names; }

    // How a grid shows a field: its title (the field name when empty) and the alignment
    // of the title and of the cells (the grid's default when 0).
    struct TFieldLook {
        QString title;
        Qt::Alignment titleAlignment;
        Qt::Alignment alignment;
    };
    void setFieldLook(const QString &name, const TFieldLook &look) { m_looks.insert(name.toUpper(), look); }

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
    const TFieldLook *look(int column) const;

    TQuery *m_query;
    QStringList m_editable;
    QHash<QString, TFieldLook> m_looks; // by upper-case field name
    int m_rows = 0;
    int m_columns = 0;
};
