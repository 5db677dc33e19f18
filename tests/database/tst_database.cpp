// The data module on the real server: the connection by data source name, Shift-JIS
// both ways, the query object, the current-event lookups and the quoting of values.
#include "DbSelect.h"
#include "Errors.h"
#include "Sjis.h"
#include "SqlEscape.h"
#include "TestSupport.h"
#include "DataModule.h"

#include <QtTest>

using namespace TestSupport;

class TstDatabase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void clientCharsetIsSjisAfterSetNames();
    void eventNameComesBackExactly();
    void shiftJisRoundTrip_data();
    void shiftJisRoundTrip();
    void getTcode();
    void getTikimeiMissingEvent();
    void lineBreakSeparatesStatementParts();
    void quotedValuesStayData();
    void escapeLeavesPlainValuesAndEscapesQuoteAndBackslash();
    void rejectedStatementRaisesAndEarlierStay();
    void nullReadsAsEmptyOrZero();
    void bareFunctionName();
    void stepping();
    void calculatedFieldsShowTenths();
    void declaredFieldMissingIsAnError();
    void closingTheConnectionClosesQueries();
    void unknownDataSource();
    void statementWaitsUpToTheReadTimeout_data();
    void statementWaitsUpToTheReadTimeout();
    void heldLockEndsAsTheServersLockWaitError_data();
    void heldLockEndsAsTheServersLockWaitError();
    void everyConnectionSpeaksShiftJis_data();
    void everyConnectionSpeaksShiftJis();
    void closedConnectionStaysClosed_data();
    void closedConnectionStaysClosed();

private:
    void connectLocal();
    QString single(const QString &sql);
    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<TDm1> m_dm;
};

void TstDatabase::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_database"));
}

void TstDatabase::init()
{
    m_dm = std::make_unique<TDm1>();
    connectLocal();
}

void TstDatabase::connectLocal()
{
    m_dm->DB->Params = TDbSelect::ConnectionParams();
    m_dm->DB->Open();
    m_dm->Query1->setSQL({QStringLiteral("set names sjis")});
    m_dm->Query1->ExecSQL();
}

void TstDatabase::clientCharsetIsSjisAfterSetNames()
{
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("select @@character_set_client as c, @@character_set_results as r, "
                             "@@character_set_connection as n")});
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("c")).AsString(), QStringLiteral("sjis"));
    QCOMPARE(q.FieldByName(QStringLiteral("r")).AsString(), QStringLiteral("sjis"));
    QCOMPARE(q.FieldByName(QStringLiteral("n")).AsString(), QStringLiteral("sjis"));
}

void TstDatabase::eventNameComesBackExactly()
{
    const QString expected = m_db->value(QStringLiteral("select TIKIMEI from tiki where TCODE='R2026A'"));
    QVERIFY(expected.contains(QStringLiteral("高")));
    QVERIFY(expected.contains(QStringLiteral("ホ")));
    QCOMPARE(m_dm->GetTikimei(QStringLiteral("R2026A")), expected);
}

void TstDatabase::shiftJisRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    // UTF-16 codes ending in D8-DB were the ones an ODBC layer cut; 0x5C is the second
    // byte of ソ, 表 and 能 in Shift-JIS.
    QTest::newRow("D8-DB endings") << QStringLiteral("ヘベペホ高");
    QTest::newRow("5C trail bytes") << QStringLiteral("ソフト表示能力");
    QTest::newRow("half-width kana") << QStringLiteral("ﾊﾞﾝｺﾞｳ");
    QTest::newRow("quote and backslash") << QStringLiteral("O'Brien \\ 表'");
    QTest::newRow("ascii") << QStringLiteral("R2026A");
}

void TstDatabase::shiftJisRoundTrip()
{
    QFETCH(QString, text);
    m_db->exec(QStringLiteral("delete from tiki where TCODE='RT'"));
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("insert into tiki (TCODE,TIKIMEI) values ('RT','") + SqlEscape(text) + "')"});
    q.ExecSQL();
    // What the server stored, read by an independent UTF-8 client.
    QCOMPARE(m_db->value(QStringLiteral("select TIKIMEI from tiki where TCODE='RT'")), text);
    // And what the station reads back.
    QCOMPARE(m_dm->GetTikimei(QStringLiteral("RT")), text);
    QCOMPARE(Sjis::decode(Sjis::encode(text)), text);
}

void TstDatabase::getTcode()
{
    QCOMPARE(m_dm->GetTcode(), QStringLiteral("R2026A"));
    m_db->exec(QStringLiteral("delete from EXECINFO"));
    QCOMPARE(m_dm->GetTcode(), QString());
    m_db->exec(QStringLiteral("insert into EXECINFO (num,tcode,upd) values (2,'SECOND',0),(1,'FIRST',0)"));
    const QString first = m_db->value(QStringLiteral("SELECT TCODE FROM EXECINFO"));
    QCOMPARE(m_dm->GetTcode(), first);
    // The event-info query reads the same first row.
    m_dm->Qexecinfo->Open();
    QCOMPARE(m_dm->Qexecinfo->FieldByName(QStringLiteral("tcode")).AsString(), first);
    m_db->exec(QStringLiteral("delete from EXECINFO"));
    m_db->exec(QStringLiteral("insert into EXECINFO (num,tcode,upd) values (1,'R2026A',0)"));
}

void TstDatabase::getTikimeiMissingEvent()
{
    QCOMPARE(m_dm->GetTikimei(QStringLiteral("NOSUCH")), QString());
    QCOMPARE(m_dm->GetTikimei(QString()), QString());
}

void TstDatabase::lineBreakSeparatesStatementParts()
{
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.SQLAdd(QStringLiteral("select zek from result where tcode='R2026A'"));
    q.SQLAdd(QStringLiteral("order by zek"));
    q.Open();
    QCOMPARE(q.RecordCount(), 60);
    QCOMPARE(q.FieldByName(QStringLiteral("ZEK")).AsString(), QStringLiteral("0001"));
    q.MoveTo(q.RecordCount() - 1);
    QCOMPARE(q.FieldByName(QStringLiteral("zek")).AsString(), QStringLiteral("0060"));
}

void TstDatabase::quotedValuesStayData()
{
    const QString hostile = QStringLiteral("1' or 'a'='\\");
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("update result set MIDTIME1='") + SqlEscape(hostile) + "'",
              QStringLiteral("where tcode='R2026A' and zek='0002'")});
    q.ExecSQL();
    QCOMPARE(m_db->value(QStringLiteral("select MIDTIME1 from result where zek='0002'")), hostile);
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from result where MIDTIME1 is not null")),
             QStringLiteral("1"));
    // A quote in a key matches nothing instead of everything.
    q.setSQL({QStringLiteral("update result set MIDTIME2='x' where zek='") + SqlEscape(hostile) + "'"});
    q.ExecSQL();
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from result where MIDTIME2 is not null")),
             QStringLiteral("0"));
    m_db->exec(QStringLiteral("update result set MIDTIME1=NULL"));
}

void TstDatabase::escapeLeavesPlainValuesAndEscapesQuoteAndBackslash()
{
    for (const QString &plain : {QStringLiteral("R2026A"), QStringLiteral("0012"), QStringLiteral("    5:35.1"),
                                 QStringLiteral("10:05:31.456"), QStringLiteral("高原ホソ表")})
        QCOMPARE(SqlEscape(plain), plain);
    QCOMPARE(SqlEscape(QStringLiteral("a'b\\c")), QStringLiteral("a\\'b\\\\c"));
    // The second byte of ソ is 0x5C: it must reach the server unescaped.
    QCOMPARE(Sjis::encode(SqlEscape(QStringLiteral("ソ"))), QByteArray("\x83\x5C"));
}

void TstDatabase::rejectedStatementRaisesAndEarlierStay()
{
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("insert into CHAKU (num,zek,time1,laps) values (1,'0001','    5:35.1',1)")});
    q.ExecSQL();
    q.setSQL({QStringLiteral("insert into NOSUCHTABLE values (1)")});
    try {
        q.ExecSQL();
        QFAIL("the server accepted a statement on a missing table");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("nosuchtable"), Qt::CaseInsensitive), qPrintable(e.message()));
        QCOMPARE(e.code(), 1146u);
    }
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from CHAKU")), QStringLiteral("1"));
    // The connection is still usable after the refusal.
    QCOMPARE(m_dm->GetTcode(), QStringLiteral("R2026A"));
    m_db->exec(QStringLiteral("delete from CHAKU"));
}

void TstDatabase::nullReadsAsEmptyOrZero()
{
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("select MIDTIME1, MIDJUN1 from result where zek='0001'")});
    q.Open();
    QVERIFY(q.FieldByName(QStringLiteral("midtime1")).IsNull());
    QCOMPARE(q.FieldByName(QStringLiteral("midtime1")).AsString(), QString());
    QCOMPARE(q.FieldByName(QStringLiteral("MIDJUN1")).AsInteger(), 0);
    // An aggregate over no rows is NULL: the highest NUM of an empty CHAKU reads 0.
    q.setSQL({QStringLiteral("SELECT max(NUM) FROM CHAKU")});
    q.Open();
    QCOMPARE(q.RecordCount(), 1);
    QCOMPARE(q.FieldByName(QStringLiteral("max")).AsInteger(), 0);
    // No row at all also reads empty.
    q.setSQL({QStringLiteral("SELECT NUM FROM CHAKU ORDER BY NUM DESC")});
    q.Open();
    QVERIFY(q.Eof());
    QCOMPARE(q.FieldByName(QStringLiteral("NUM")).AsInteger(), 0);
}

void TstDatabase::bareFunctionName()
{
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("select max(zek) from result where tcode='R2026A'")});
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("max")).AsString(), QStringLiteral("0060"));
    QCOMPARE(q.FieldByName(QStringLiteral("MAX(ZEK)")).AsInteger(), 60);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, q.FieldByName(QStringLiteral("min")));
}

void TstDatabase::stepping()
{
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("select zek from result where tcode='R2026A' and zek<='0003'"),
              QStringLiteral("order by zek")});
    q.Open();
    QStringList seen;
    while (!q.Eof()) {
        seen << q.FieldByName(QStringLiteral("zek")).AsString();
        q.Next();
    }
    QCOMPARE(seen, QStringList({"0001", "0002", "0003"}));
    QCOMPARE(q.RecordCount(), 3);
    // Changing the text closes the query.
    q.SQLAdd(QStringLiteral(""));
    QVERIFY(!q.Active());
}

void TstDatabase::calculatedFieldsShowTenths()
{
    m_db->exec(
        QStringLiteral("update result set MIDTIME1='    5:35.123', MIDDIFF1='       0.0', MIDJUN1=1 where zek='0001'"));
    m_dm->qMidRank->setSQL({QStringLiteral("SELECT MIDJUN1 AS MJ,"), QStringLiteral("ZEK,"),
                            QStringLiteral("MIDTIME1 AS MT,"), QStringLiteral("MIDDIFF1 AS MD,"),
                            QStringLiteral("NATION"), QStringLiteral("FROM RESULT"),
                            QStringLiteral("where zek='0001'")});
    m_dm->qMidRank->Open();
    QCOMPARE(m_dm->qMidRank->FieldByName(QStringLiteral("MT")).AsString(), QStringLiteral("    5:35.123"));
    QCOMPARE(m_dm->qMidRank->FieldByName(QStringLiteral("MTS")).AsString(), QStringLiteral("    5:35.1"));
    QCOMPARE(m_dm->qMidRank->FieldByName(QStringLiteral("MDS")).AsString(), QStringLiteral("       0.0"));
    QCOMPARE(m_dm->qMidRank->FieldByName(QStringLiteral("MJ")).AsInteger(), 1);
    // The grid sees the declared fields in their order.
    QCOMPARE(m_dm->dsMidRank->columnCount(), 7);
    QCOMPARE(m_dm->dsMidRank->headerData(5, Qt::Horizontal).toString(), QStringLiteral("MTS"));
    QCOMPARE(m_dm->dsMidRank->data(m_dm->dsMidRank->index(0, 5)).toString(), QStringLiteral("    5:35.1"));
    m_db->exec(QStringLiteral("update result set MIDTIME1=NULL, MIDDIFF1=NULL, MIDJUN1=NULL"));
}

void TstDatabase::declaredFieldMissingIsAnError()
{
    m_dm->qChaku->setSQL({QStringLiteral("SELECT NUM, ZEK FROM CHAKU")});
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_dm->qChaku->Open());
    QVERIFY(!m_dm->qChaku->Active());
}

void TstDatabase::closingTheConnectionClosesQueries()
{
    m_dm->qChaku->setSQL({QStringLiteral("SELECT * FROM CHAKU ORDER BY NUM DESC")});
    m_dm->qChaku->Open();
    m_dm->Qexecinfo->Open();
    QVERIFY(m_dm->qChaku->Active());
    m_dm->DB->Close();
    QVERIFY(!m_dm->qChaku->Active());
    QVERIFY(!m_dm->Qexecinfo->Active());
    QCOMPARE(m_dm->dsChaku->rowCount(), 0);
}

void TstDatabase::unknownDataSource()
{
    m_dm->DB->Close();
    m_dm->DB->Params = TDbSelect::ConnectionParams();
    m_dm->DB->Params[2] = QStringLiteral("ODBC DSN=NoSuchSource");
    try {
        m_dm->DB->Open();
        QFAIL("connected to a data source that does not exist");
    } catch (const EDatabaseError &e) {
        QVERIFY(e.message().contains(QStringLiteral("NoSuchSource")));
    }
    QVERIFY(!m_dm->DB->Connected());
}

QString TstDatabase::single(const QString &sql)
{
    const TResultSet r = m_dm->DB->execute(sql);
    return r.values.isEmpty() ? QString() : r.values.first().first();
}

void TstDatabase::statementWaitsUpToTheReadTimeout_data()
{
    QTest::addColumn<int>("readTimeout");
    QTest::addColumn<int>("serverSeconds");
    QTest::addColumn<bool>("answered");
    // Longer than the connect timeout (5 s): still answered.
    QTest::newRow("slow statement") << 60 << 6 << true;
    // The bound against a server that stopped answering applies from the first statement.
    QTest::newRow("no answer within the read timeout") << 2 << 4 << false;
}

void TstDatabase::statementWaitsUpToTheReadTimeout()
{
    QFETCH(int, readTimeout);
    QFETCH(int, serverSeconds);
    QFETCH(bool, answered);
    m_dm->DB->Close();
    m_dm->DB->ReadTimeout = readTimeout;
    m_dm->DB->Open();
    try {
        QCOMPARE(single(QStringLiteral("select sleep(%1)").arg(serverSeconds)), QStringLiteral("0"));
        QVERIFY(answered);
    } catch (const EDatabaseError &e) {
        QVERIFY2(!answered, qPrintable(e.message()));
        QCOMPARE(e.code(), 2013u); // lost connection during query
        QVERIFY(!m_dm->DB->Connected());
        // The next statement connects afresh, in Shift-JIS.
        QCOMPARE(single(QStringLiteral("select @@character_set_client")), QStringLiteral("sjis"));
    }
}

void TstDatabase::heldLockEndsAsTheServersLockWaitError_data()
{
    QTest::addColumn<QStringList>("hold");
    QTest::newRow("table lock") << QStringList{QStringLiteral("lock tables result write")};
    QTest::newRow("row lock") << QStringList{
        QStringLiteral("start transaction"),
        QStringLiteral("select * from result where tcode='R2026A' and zek='0001' for update")};
}

void TstDatabase::heldLockEndsAsTheServersLockWaitError()
{
    QFETCH(QStringList, hold);
    m_dm->DB->Close();
    m_dm->DB->LockWaitTimeout = 2;
    m_dm->DB->Open();
    for (const QString &sql : hold)
        m_db->exec(sql);
    try {
        m_dm->DB->execute(
            QStringLiteral("update result set midtime1='    5:35.1' where tcode='R2026A' and zek='0001'"));
        QFAIL("the update did not wait for the lock");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.code() == 1205u, qPrintable(e.message())); // lock wait timeout exceeded
    }
    m_db->exec(QStringLiteral("unlock tables"));
    m_db->exec(QStringLiteral("rollback"));
    QVERIFY(m_dm->DB->Connected());
    QCOMPARE(m_dm->GetTcode(), QStringLiteral("R2026A"));
}

void TstDatabase::everyConnectionSpeaksShiftJis_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("connected") << false << false;
    QTest::newRow("connected again after the server dropped it") << true << false;
    QTest::newRow("read-only, connected again after the server dropped it") << true << true;
}

void TstDatabase::everyConnectionSpeaksShiftJis()
{
    QFETCH(bool, dropped);
    QFETCH(bool, readOnly);
    // A connection opened without any statement of the window's: the session settings
    // come with the connection itself.
    m_dm->DB->ReadOnly = readOnly;
    m_dm->DB->Close();
    m_dm->DB->Open();
    if (dropped) {
        m_db->exec(QStringLiteral("kill connection ") + single(QStringLiteral("select connection_id()")));
        QVERIFY_EXCEPTION_THROWN(single(QStringLiteral("select 1")), EDatabaseError);
        QVERIFY(!m_dm->DB->Connected());
    }
    QCOMPARE(single(QStringLiteral("select concat_ws(',', @@character_set_client, @@character_set_results, "
                                   "@@autocommit, @@lock_wait_timeout, @@innodb_lock_wait_timeout)")),
             QStringLiteral("sjis,sjis,ON,50,50"));
    QCOMPARE(single(QStringLiteral("select @@tx_read_only")), readOnly ? QStringLiteral("1") : QStringLiteral("0"));
    QCOMPARE(m_dm->GetTikimei(QStringLiteral("R2026A")),
             m_db->value(QStringLiteral("select TIKIMEI from tiki where TCODE='R2026A'")));
}

void TstDatabase::closedConnectionStaysClosed_data()
{
    QTest::addColumn<QString>("dsn");
    QTest::addColumn<QString>("reason");
    QTest::newRow("closed") << QString() << QString();
    QTest::newRow("connecting failed") << QStringLiteral("ODBC DSN=NoSuchSource") << QStringLiteral("NoSuchSource");
}

void TstDatabase::closedConnectionStaysClosed()
{
    QFETCH(QString, dsn);
    QFETCH(QString, reason);
    m_dm->DB->Close();
    if (!dsn.isEmpty()) {
        m_dm->DB->Params[2] = dsn;
        QVERIFY_EXCEPTION_THROWN(m_dm->DB->Open(), EDatabaseError);
        m_dm->DB->Params[2] = QStringLiteral("ODBC DSN=PlovoLocal");
    }
    // The data source works, but nothing connects until a database is chosen again.
    try {
        m_dm->GetTcode();
        QFAIL("a statement connected a closed database");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("データベースに接続していません。")), qPrintable(e.message()));
        QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
    }
    QVERIFY(!m_dm->DB->Connected());
    m_dm->DB->Open();
    QCOMPARE(m_dm->GetTcode(), QStringLiteral("R2026A"));
}

QTEST_MAIN(TstDatabase)
#include "tst_database.moc"
