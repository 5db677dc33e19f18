// What DBGrid1 shows of the data source Dsqmidtp: the table's columns under the titles
// ZEK, TPNO1, TPNO2, HIT and Leng, and one empty column after them.
#pragma once

#include <QAbstractTableModel>

class TDataSource;

class TTpGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TTpGridModel(TDataSource *source, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    int sourceColumns() const;
    TDataSource *m_source;
};
