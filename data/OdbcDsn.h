// Finds where an ODBC data source name points, through unixODBC's own configuration
// (odbc.ini, found through ODBCSYSINI and ODBCINI like any ODBC program on the machine).
#pragma once

#include <QString>
#include <QStringList>

struct TDsnLocation {
    bool found = false;
    QString server;   // SERVER (or HOST); empty means localhost
    int port = 0;     // PORT; 0 means the client's default
    QString socket;   // SOCKET; used when the server is local
    QString database; // DATABASE
    QString user;     // UID or USER, when the data source names one
    QString password; // PWD or PASSWORD, when the data source names one
};

TDsnLocation LookupDsn(const QString &dsn);

// The odbc.ini files unixODBC reads data sources from: the system file (in ODBCSYSINI's
// folder, else /etc) and the user file (ODBCINI, else ~/.odbc.ini), each named once.
QStringList DsnFiles();

// The message for a data source that none of those files defines: its name and the files.
QString MissingDsnMessage(const QString &dsn);
