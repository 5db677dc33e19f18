// The statements on midtp (bib to transponder) that the data module and the main window
// send.
#pragma once

#include <QStringList>

// Every row: the data module's query as designed.
QStringList MidtpRowsSql();
// Every row by bib: the list the registration window opens on.
QStringList MidtpByBibSql();
