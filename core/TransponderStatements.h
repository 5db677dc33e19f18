// The statements on table midtp (bib to transponder), one item per line: the data
// module's and the main window's, and the transponder registration's.
// Values pasted between quotes go through SqlEscape: for every value without ' or \ a
// statement is exactly the plain concatenation the table's other programs expect.
#pragma once

#include <QString>
#include <QStringList>

namespace TransponderStatements
{

// Every row: the data module's query as designed.
QStringList MidtpRowsSql();
// Every row by bib: the list the registration window opens on.
QStringList MidtpByBibSql();

// A bib as midtp keeps it: four digits, zero-padded ("%.4d").
QString BibText(int bib);

// The highest bib that has a transponder, read as "max".
QStringList HighestRegisteredBib();
// The rows of one transponder number.
QStringList FindTransponder(const QString &transponder);
// Registers a transponder against a bib.
QStringList RegisterTransponder(const QString &transponder, const QString &bib);
// The decoder's hit count and signal strength of a bib, written unquoted.
QStringList RecordFigures(int hits, int strength, const QString &zek);
// The reset: the table emptied, then one empty row per bib.
QStringList DeleteAllBibs();
QStringList InsertEmptyBib(int bib);
// The list in the order of one column ("zek", "hit", "leng").
QStringList ListOrderedBy(const QString &column);

} // namespace TransponderStatements
