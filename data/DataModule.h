// The data module: the one connection, every query and data source the windows use,
// and the lookups of the current event.
#pragma once

#include "DataSource.h"
#include "Database.h"
#include "Query.h"

#include <QObject>

class TDm1 : public QObject
{
    Q_OBJECT
public:
    explicit TDm1(QObject *parent = nullptr);

    TDatabase *DB;
    QObject *Session1;

    TQuery *Query1;
    TQuery *Query2;
    TQuery *Qexecinfo;
    TQuery *Qsttime;
    TQuery *Qmidtime;
    TQuery *Qdpmid;
    TQuery *Qdeltime;
    TQuery *Qmax;
    TQuery *Qtemp;
    TQuery *Qedit;
    TQuery *Qmidtp;
    TQuery *qChaku;
    TQuery *qMidRank;
    TQuery *Qcheck;

    TDataSource *Dsmidtime;
    TDataSource *Dsqdpmid;
    TDataSource *DSdeltime;
    TDataSource *Dsqmidtp;
    TDataSource *dsChaku;
    TDataSource *dsMidRank;
    TDataSource *DScheck;

    // The 18 parameter lines of the station's connection; line 3 names the data source
    // (PlovoLocal here; ConnectDB replaces it by the chosen one).
    static QStringList ConnectionParams();

    // Code of the event being run: TCODE of the first row of EXECINFO, "" when empty.
    QString GetTcode();
    // The same code as the main window and the database selection read it: the event-info
    // query Qexecinfo closed, reopened (it stays open) and its first row's tcode taken.
    QString ReadEventInfoTcode();
    // Name of the event, "" when tiki has no row for it.
    QString GetTikimei(const QString &code);

    // The queries the photocell window works on, prepared and opened for an event:
    // Qmidtime (its result rows by bib), Qmax, Qdeltime and Qdpmid.
    void PreparePhotocellQueries(const QString &code);

    // Declared fields of the passing log and the rank display.
    static QList<TFieldDef> ChakuFields();
    static QList<TFieldDef> MidRankFields();

private:
    TQuery *query(const QString &name, const QStringList &sql);
    // Reopens a query on EXECINFO and reads the tcode of the first row the server returns
    // (no row number is named), "" when it returns none.
    static QString firstRowTcode(TQuery *query);
};

// The data module of the running program: created by main, which hands it to the windows.
extern TDm1 *Dm1;
