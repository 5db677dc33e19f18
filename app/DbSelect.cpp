#include "DbSelect.h"

#include "Dialogs.h"
#include "Errors.h"
#include "OdbcDsn.h"
#include "Database.h"
#include "RadioGroup.h"
#include "SessionStatements.h"
#include "DataModule.h"
#include "ProgramSettings.h"

#include <QLabel>

TDbSelect::TDbSelect(TRadioGroup *rgdb, QLabel *label16, TDm1 *dm, QObject *parent)
    : QObject(parent), RGdb(rgdb), Label16(label16), m_dm(dm)
{
}

QString TDbSelect::DataSourceLine(int index)
{
    static const char *const lines[] = {"ODBC DSN=PlovoLocal", "ODBC DSN=PlovoTest", "ODBC DSN=PlovoServer"};
    return index >= 0 && index < 3 ? QString::fromLatin1(lines[index]) : QString::fromLatin1(lines[0]);
}

QStringList TDbSelect::ConnectionParams()
{
    return TDm1::ConnectionParams();
}

QString TDbSelect::FailureMessage(const QString &dataSourceLine)
{
    QString text = dataSourceLine + QStringLiteral(" の接続に失敗しました。「Local」に接続します。");
    // A data source missing from odbc.ini is set up wrongly on this machine, not a server
    // that is down: the operator is told which name is missing and where it was looked up.
    const QString dsn = dataSourceLine.section(QLatin1Char('='), 1);
    if (!LookupDsn(dsn).found)
        text += QLatin1Char('\n') + MissingDsnMessage(dsn);
    return text;
}

void TDbSelect::RGdbClick()
{
    Label16->clear();
    if (RGdb->ItemIndex() == 2) {
        if (Dialogs::askYesNo(QStringLiteral("確認してください。"),
                              QStringLiteral("サーバーのデータベースに接続しようとしています。") +
                                  QStringLiteral("十分注意して作業してください。接続してよろしいですか？"))) {
            Label16->setText(QStringLiteral("サーバーに接続中"));
        } else {
            Label16->clear();
            RGdb->setItemIndex(0); // connects to Local at once, then this run goes on
        }
    }
    DataIndex = RGdb->ItemIndex();
    ConnectDB();
}

void TDbSelect::ConnectDB()
{
    TDatabase *db = m_dm->DB;
    db->Close();
    db->Params.clear();
    db->AliasName = QStringLiteral("PlovoLocal");
    db->Params = ConnectionParams();
    const int choice = RGdb->ItemIndex();
    if (choice >= 0 && choice <= 2)
        db->Params[2] = DataSourceLine(choice);

    bool connected = true;
    QString unsuitable; // why a server that answered is refused, for the operator
    try {
        db->Open();
    } catch (const EDatabaseError &e) {
        connected = false;
        if (e.code() == TDatabase::UnsuitableServer)
            unsuitable = QLatin1Char('\n') + e.message();
    }
    if (!connected) {
        Dialogs::showMessage(FailureMessage(db->Params[2]) + unsuitable);
        RGdb->setItemIndex(0);
        db->Params[2] = DataSourceLine(0);
        try {
            db->Open();
        } catch (const EDatabaseError &) {
            // A second failure is left to the event-info query below, which reports it.
        }
        ProgramSettings.CurrentTcode = m_dm->ReadEventInfoTcode();
    }
    m_dm->Query1->setSQL({SetNamesSql()});
    m_dm->Query1->ExecSQL();
}
