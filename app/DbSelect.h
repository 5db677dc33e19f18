// The choice of race database on the main window's radio group RGdb and the one routine
// that connects, ConnectDB. The main window wires RGdb's Click here.
#pragma once

#include <QObject>
#include <QStringList>

class QLabel;
class TRadioGroup;
class TDm1;

class TDbSelect : public QObject
{
    Q_OBJECT
public:
    // dm is the data module whose connection the choice opens.
    TDbSelect(TRadioGroup *rgdb, QLabel *label16, TDm1 *dm, QObject *parent = nullptr);

    int DataIndex = 0;

    // The data source line of each item of RGdb.
    static QString DataSourceLine(int index);
    // The 18 parameter lines of a connection, line 3 naming PlovoLocal.
    static QStringList ConnectionParams();
    // The message of a failed connection: the data source line and the fallback to Local;
    // for a data source no odbc.ini defines, a second line names it and the files read.
    static QString FailureMessage(const QString &dataSourceLine);

public slots:
    // Runs on every change of RGdb's selection.
    void RGdbClick();
    void ConnectDB();

private:
    TRadioGroup *RGdb;
    QLabel *Label16;
    TDm1 *m_dm;
};
