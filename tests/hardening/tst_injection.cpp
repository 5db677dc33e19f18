// Outside text that reaches a statement, with quotes, backslashes and the yen sign (which
// Shift-JIS encodes as the backslash byte): the photocell frame's time field and the
// deletion by time, a decoder line's transponder number, a check-list cell typed with ¥,
// and an event code of the race database through the whole chip-tag intake. Each case
// finds the value stored as it came and no other row touched. (Quotes in a frame's
// number, a typed bib, a tag_rec bib, a decoder transponder and a typed cell are covered
// by the subsystems' own suites.)
#include "DecoderLine.h"
#include "CommX.h"
#include "MidIntake.h"
#include "ProfileFile.h"
#include "PtyPeer.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "RegistrationWindow.h"
#include "ProgramSettings.h"

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableView>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace TestSupport;

namespace
{

const QString AllResult =
    QStringLiteral("select tcode,zek,MIDTIME1,MIDTIME2,MIDDIFF1,MIDJUN1 from result order by tcode,zek");

} // namespace

class TstInjection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void photocellTimeField_data();
    void photocellTimeField();
    void decoderTransponderWithYen();
    void checkListCellWithYen();
    void chipTagEventCode();
    void chipTagBibWithQuote_data();
    void chipTagBibWithQuote();

private:
    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
    std::unique_ptr<QMainWindow> m_main;
};

void TstInjection::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_injection"));
    QDir::setCurrent(m_work.path());
    qputenv("XDG_DATA_HOME", m_work.filePath(QStringLiteral("share")).toLocal8Bit());
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
    m_main = std::make_unique<QMainWindow>();
    m_main->show();
    Fcheck = new TFcheck(Dm1, m_main.get());
}

void TstInjection::init()
{
    m_db->reload();
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    QFile::remove(m_work.filePath(QStringLiteral("VidadIva.ini")));
}

void TstInjection::photocellTimeField_data()
{
    QTest::addColumn<QByteArray>("field"); // characters 11-22 of the frame
    QTest::addColumn<QString>("stored");   // as the server returns it
    QTest::newRow("quote") << QByteArray("10:15:3'.123") << QStringLiteral("10:15:3'.123");
    QTest::newRow("quote, backslash at the end") << QByteArray("10:1' OR 1\\") << QStringLiteral("10:1' OR 1\\0");
    QTest::newRow("yen byte 0xA5") << QByteArray("10:15:3\xa5.12\xa5") << QStringLiteral("10:15:3\\.12\\");
    QTest::newRow("backslash before the quote") << QByteArray("\\'10:15:30.1") << QStringLiteral("\\'10:15:30.1");
}

void TstInjection::photocellTimeField()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, stored);
    DialogRecorder dialogs;
    TPtyPeer timer;
    ProfileFile::WriteString(m_work.filePath(QStringLiteral("VidadIva.ini")), QStringLiteral("SerialPorts"),
                             QStringLiteral("COM7"), timer.SlavePath());
    ProgramSettings.Alge = 7;
    Dm1->PreparePhotocellQueries(QStringLiteral("R2026A"));
    m_db->exec(QStringLiteral("insert into midtp2 (zek,time,fl,tpno1) values ('001','10:15:30.123','A','1'),"
                              "('002','10:15:30.1','B','2')"));
    auto w = std::make_unique<TFhand>(Dm1, m_main.get());
    w->show();
    QVERIFY(w->CommX1->IsOpen());

    timer.Write(" 0012 C1  " + field + "   1\r");
    QTRY_COMPARE_WITH_TIMEOUT(m_db->value(QStringLiteral("select count(*) from midtp2")).toInt(), 3, 10000);
    const QList<QStringList> others = {{"001", "10:15:30.123", "A", "1"}, {"002", "10:15:30.1", "B", "2"}};
    // Not a time the timer sends: kept for the operator ("B"), never recorded by itself.
    QCOMPARE(m_db->rows(QStringLiteral("select zek,time,fl,tpno1 from midtp2 order by tpno1")),
             others + QList<QStringList>({{"012", stored, "B", "3"}}));

    // Listed with the passings, deleting it by its time removes it alone.
    m_db->exec(QStringLiteral("update midtp2 set fl='A' where tpno1=3"));
    Dm1->Qdpmid->Close();
    Dm1->Qdpmid->Open();
    int row = -1;
    for (int r = 0; r < w->DBGrid1->model()->rowCount(); ++r)
        if (ShownIndex(w->DBGrid1, r, 0).data().toString() == QLatin1String("012"))
            row = r;
    QVERIFY(row >= 0);
    w->DBGrid1->setCurrentIndex(ShownIndex(w->DBGrid1, row, 1));
    w->N1->trigger();
    QCOMPARE(m_db->rows(QStringLiteral("select zek,time,fl,tpno1 from midtp2 order by tpno1")), others);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    w.reset();
}

void TstInjection::decoderTransponderWithYen()
{
    DialogRecorder dialogs;
    m_db->exec(QStringLiteral("delete from midtp"));
    m_db->exec(QStringLiteral("insert into midtp (zek,tpno1,tpno2) values ('0001','0','0'),('0002','0','0'),"
                              "('0003','1000003','0')"));
    Dm1->Qmidtp->setSQL({QStringLiteral("select * from midtp order by zek")});
    Dm1->Qmidtp->Open();
    auto w = std::make_unique<TFtpnoset>(Dm1);
    w->show();
    dialogs.shown.clear(); // no decoder port chosen: the window says so when shown
    w->Edzek->setText(QStringLiteral("1"));

    // The decoder's bytes as they arrive: a stray byte, then a passing whose transponder
    // field holds 0xA5, a quote and a backslash (seven characters, as the table keeps).
    TAmbDecoder decoder;
    const QList<TAmbLine> lines = decoder.Feed("\n@\t17\t4\t\xa5'\\1' -\t1.5\t12\t95\r\n");
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().passing);
    w->amblist << lines.first().record;
    w->ambidle = true;
    w->Timer1Timer();
    QCOMPARE(m_db->rows(QStringLiteral("select zek,tpno1 from midtp order by zek")),
             (QList<QStringList>{{"0001", "\\'\\1' -"}, {"0002", "0"}, {"0003", "1000003"}}));
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));

    // The same transponder again is found by the lookup: registered already, nothing written.
    w->amblist << lines.first().record;
    w->Timer1Timer();
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("指定したトランスポンダーは既に設定済みです。")});
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1<>'0'")).toInt(), 2);
}

void TstInjection::checkListCellWithYen()
{
    DialogRecorder dialogs;
    // Another event holds the same bib: the correction must not reach it.
    m_db->exec(QStringLiteral("insert into result (tcode,zek,MIDTIME2) values ('R2025Z','0003','   9:59.9')"));
    ProfileFile::WriteString(m_work.filePath(QStringLiteral("VidadIva.ini")), QStringLiteral("Drives"),
                             QStringLiteral("D"), m_work.path());
    auto everything = m_db->rows(AllResult);
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QTableView *grid = Fcheck->DBGck2;
    const TQuery *q = Dm1->Qcheck;
    int row = -1;
    for (int r = 0; r < q->RecordCount(); ++r)
        if (q->valueOf(r, QStringLiteral("zek")) == QLatin1String("0003"))
            row = r;
    QVERIFY(row >= 0);
    const QModelIndex target = Dm1->DScheck->index(row, q->FieldIndex(QStringLiteral("midtime2")));
    grid->setCurrentIndex(target);
    grid->edit(target);
    QLineEdit *editor = nullptr;
    for (QLineEdit *e : grid->viewport()->findChildren<QLineEdit *>())
        if (e->isVisible())
            editor = e;
    QVERIFY(editor);
    editor->selectAll();
    // The yen key of a Japanese keyboard gives U+00A5.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("1¥' or ''=")); // as long as the column allows
    QApplication::sendEvent(editor, &commit);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!editor->isVisible());
    QTest::keyClick(grid, Qt::Key_Down); // leaving the row writes it
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    for (QStringList &r : everything)
        if (r[0] == QLatin1String("R2026A") && r[1] == QLatin1String("0003"))
            r[3] = QStringLiteral("1\\' or ''=");
    QCOMPARE(m_db->rows(AllResult), everything);
    Fcheck->close();
}

void TstInjection::chipTagEventCode()
{
    // An event whose code holds a quote and a backslash, beside the demo race with the
    // same bibs: the intake, the ranking and the display row must stay in that event. The
    // code is written as the timing system's programs write it, in Shift-JIS bytes (a
    // backslash typed on a UTF-8 connection would be stored as the full-width ＼).
    const QString code = QStringLiteral("R'\\9");
    const QString sqlCode = QStringLiteral("_sjis X'52275C39'");
    m_db->exec(QStringLiteral("update EXECINFO set tcode=%1 where num=1").arg(sqlCode));
    m_db->exec(QStringLiteral("insert into env (tcode,class,`rank`,`1lapn`,classname) values (%1,'M1','1',1,'M')")
                   .arg(sqlCode));
    m_db->exec(QStringLiteral("insert into result (tcode,zek,STARTEDTIME,class1,NATION) values "
                              "(%1,'0001','10:00:00.0','M1','JPN'),(%1,'0002','10:00:30.0','M1','JPN')")
                   .arg(sqlCode));
    auto everything = m_db->rows(AllResult);
    ProgramSettings.CurrentTcode = code;
    DialogRecorder dialogs;
    TMidIntake intake(Dm1);
    intake.ReadExecInfo();
    QCOMPARE(intake.evtcode, code);
    m_db->exec(QStringLiteral("insert into tag_rec (tcode,zek,term,time,count,use_mid) values "
                              "(%1,'0001','C1','10:05:00.4',1,0),(%1,'0002','C1','10:05:20.0',1,0),"
                              "('R2026A','0001','C1','10:05:00.4',1,0)")
                   .arg(sqlCode));
    m_db->exec(QStringLiteral("update EXECINFO set upd=upd+1 where num=1"));
    intake.Timer1Timer();
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    const QList<QStringList> after = m_db->rows(AllResult);
    QCOMPARE(after.size(), everything.size());
    for (int i = 0; i < after.size(); ++i)
        if (after[i][0] != code)
            QCOMPARE(after[i], everything[i]); // the demo race untouched
    QCOMPARE(
        m_db->rows(QStringLiteral("select zek,midtime1,midjun1 from result where tcode=%1 order by zek").arg(sqlCode)),
        (QList<QStringList>{{"0001", "    5:00.4", "2"}, {"0002", "    4:50.0", "1"}}));
    QCOMPARE(m_db->rows(QStringLiteral("select tcode,zek,use_mid from tag_rec order by tcode,zek")),
             (QList<QStringList>{{"R'\\9", "0001", "1"}, {"R'\\9", "0002", "1"}, {"R2026A", "0001", "0"}}));
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from CHAKU")).toInt(), 2);
}

void TstInjection::chipTagBibWithQuote_data()
{
    QTest::addColumn<QString>("bib"); // in result and tag_rec, as the chip-tag program wrote it
    QTest::newRow("quote inside") << QStringLiteral("01'7");
    QTest::newRow("quote, OR and a comment") << QStringLiteral("'OR 1=1-- ");
}

void TstInjection::chipTagBibWithQuote()
{
    // A whole passing: course, claim, mid time, taken mark, ranking and display row, each
    // finding the bib's own rows only (on any server's sql_mode: the suite runs on a
    // server with NO_BACKSLASH_ESCAPES too).
    QFETCH(QString, bib);
    const QString sqlBib = QStringLiteral("'%1'").arg(QString(bib).replace(QLatin1Char('\''), QStringLiteral("''")));
    m_db->exec(
        QStringLiteral("insert into result (tcode,zek,STARTEDTIME,class1) values ('R2026A',%1,'10:00:00.0','M1')")
            .arg(sqlBib));
    m_db->exec(QStringLiteral("insert into tag_rec (tcode,zek,term,time,count,use_mid) values "
                              "('R2026A',%1,'C1','10:05:00.4',1,0)")
                   .arg(sqlBib));
    m_db->exec(QStringLiteral("update EXECINFO set upd=upd+1 where num=1"));
    DialogRecorder dialogs;
    TMidIntake intake(Dm1);
    intake.ReadExecInfo();
    intake.lastupd = -1;
    intake.Timer1Timer();
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    QCOMPARE(m_db->rows(QStringLiteral("select zek,midtime1,midjun1 from result where midtime1<>''")),
             (QList<QStringList>{{bib, "    5:00.4", "1"}}));
    QCOMPARE(m_db->rows(QStringLiteral("select zek,use_mid from tag_rec")), (QList<QStringList>{{bib, "1"}}));
    QCOMPARE(m_db->rows(QStringLiteral("select NUM,ZEK from CHAKU")), (QList<QStringList>{{"1", bib}}));
}

QTEST_MAIN(TstInjection)
#include "tst_injection.moc"
