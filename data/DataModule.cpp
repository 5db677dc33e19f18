#include "DataModule.h"

#include "ChakuStatements.h"
#include "EventStatements.h"
#include "Midtp2Statements.h"
#include "TransponderStatements.h"
#include "ResultStatements.h"

TDm1 *Dm1 = nullptr;

TDm1::TDm1(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("Dm1"));
    DB = new TDatabase(this);
    DB->setObjectName(QStringLiteral("DB"));
    DB->DatabaseName = QStringLiteral("DB");
    DB->LoginPrompt = false;
    Session1 = new QObject(this);
    Session1->setObjectName(QStringLiteral("Session1"));

    Query1 = query(QStringLiteral("Query1"), ExecInfoRowsSql());
    Query2 = query(QStringLiteral("Query2"), {});
    Qexecinfo = query(QStringLiteral("Qexecinfo"), EventInfoSql());
    Qsttime = query(QStringLiteral("Qsttime"), ResultRowsSql());
    Qmidtime = query(QStringLiteral("Qmidtime"), ResultRowsSql());
    Qdpmid = query(QStringLiteral("Qdpmid"), {});
    Qdeltime = query(QStringLiteral("Qdeltime"), UnprocessedPassingsSql());
    Qmax = query(QStringLiteral("Qmax"), {});
    Qtemp = query(QStringLiteral("Qtemp"), {});
    Qedit = query(QStringLiteral("Qedit"), {});
    Qmidtp = query(QStringLiteral("Qmidtp"), TransponderStatements::MidtpRowsSql());
    qChaku = query(QStringLiteral("qChaku"), ChakuListSql());
    qMidRank = query(QStringLiteral("qMidRank"), MidRankDesignSql());
    Qcheck = query(QStringLiteral("Qcheck"), CheckListDesignSql());
    qChaku->setFieldDefs(ChakuFields());
    qMidRank->setFieldDefs(MidRankFields());

    Dsmidtime = new TDataSource(Qmidtime, QStringLiteral("Dsmidtime"), this);
    Dsqdpmid = new TDataSource(Qdpmid, QStringLiteral("Dsqdpmid"), this);
    DSdeltime = new TDataSource(Qdeltime, QStringLiteral("DSdeltime"), this);
    Dsqmidtp = new TDataSource(Qmidtp, QStringLiteral("Dsqmidtp"), this);
    dsChaku = new TDataSource(qChaku, QStringLiteral("dsChaku"), this);
    dsMidRank = new TDataSource(qMidRank, QStringLiteral("dsMidRank"), this);
    DScheck = new TDataSource(Qcheck, QStringLiteral("DScheck"), this);
}

TQuery *TDm1::query(const QString &name, const QStringList &sql)
{
    auto *q = new TQuery(DB, name, this);
    q->setSQL(sql);
    return q;
}

QStringList TDm1::ConnectionParams()
{
    return {QStringLiteral("DATABASE NAME="),
            QStringLiteral("USER NAME=root"),
            QStringLiteral("ODBC DSN=PlovoLocal"),
            QStringLiteral("OPEN MODE=READ/WRITE"),
            QStringLiteral("BATCH COUNT=200"),
            QStringLiteral("LANGDRIVER="),
            QStringLiteral("MAX ROWS=-1"),
            QStringLiteral("SCHEMA CACHE DIR="),
            QStringLiteral("SCHEMA CACHE SIZE=8"),
            QStringLiteral("SCHEMA CACHE TIME=-1"),
            QStringLiteral("SQLPASSTHRU MODE=SHARED NOAUTOCOMMIT"),
            QStringLiteral("SQLQRYMODE="),
            QStringLiteral("ENABLE SCHEMA CACHE=FALSE"),
            QStringLiteral("ENABLE BCD=FALSE"),
            QStringLiteral("ROWSET SIZE=20"),
            QStringLiteral("BLOBS TO CACHE=64"),
            QStringLiteral("BLOB SIZE=32"),
            QStringLiteral("PASSWORD=rufan")};
}

QList<TFieldDef> TDm1::ChakuFields()
{
    return {{QStringLiteral("NUM"), {}},
            {QStringLiteral("ZEK"), {}},
            {QStringLiteral("LAPS"), {}},
            {QStringLiteral("TIME1"), {}},
            {QStringLiteral("TIME0"), {}}};
}

QList<TFieldDef> TDm1::MidRankFields()
{
    // MTS and MDS show the mid-time text (tenths) even where a longer text is stored.
    auto firstTen = [](const QString &field) {
        return [field](const TQuery &q, int row) { return q.valueOf(row, field).left(10); };
    };
    return {{QStringLiteral("MJ"), {}},
            {QStringLiteral("ZEK"), {}},
            {QStringLiteral("MT"), {}},
            {QStringLiteral("MD"), {}},
            {QStringLiteral("NATION"), {}},
            {QStringLiteral("MTS"), firstTen(QStringLiteral("MT"))},
            {QStringLiteral("MDS"), firstTen(QStringLiteral("MD"))}};
}

void TDm1::PreparePhotocellQueries(const QString &code)
{
    Qmidtime->setSQL(EventResultsSql(code));
    Qmidtime->Open();
    Qmax->setSQL(PassingTopNumberSql());
    Qmax->Open();
    Qdeltime->Close();
    Qdeltime->Open();
    Qdpmid->setSQL(PassingsShownSql());
    Qdpmid->Open();
}

QString TDm1::firstRowTcode(TQuery *query)
{
    query->Close();
    query->Open();
    return query->FieldByName(QStringLiteral("tcode")).AsString();
}

QString TDm1::GetTcode()
{
    Query1->setSQL(EventTcodeSql());
    const QString code = firstRowTcode(Query1);
    Query1->Close();
    return code;
}

QString TDm1::ReadEventInfoTcode()
{
    return firstRowTcode(Qexecinfo);
}

QString TDm1::GetTikimei(const QString &code)
{
    Query1->setSQL(EventNameSql(code));
    Query1->Open();
    const QString name = Query1->FieldByName(QStringLiteral("TIKIMEI")).AsString();
    Query1->Close();
    return name;
}
