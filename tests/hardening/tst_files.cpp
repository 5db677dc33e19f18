// Files the station cannot write during a race: the log of the chip-tag window (a folder
// of that name in the way, as root can write anywhere else) and the settings file when
// the main window closes. The operator is told which file, nothing that was stored is
// lost, and the log works again once the window is opened again. And the files of the
// user who runs the private database server: the station's account, whose password every
// local user can read, reaches none of them.
#include "CuteButton.h"
#include "MidIntake.h"
#include "SpeechEngine.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "MainWindow.h"
#include "ChipTagWindow.h"
#include "ProgramSettings.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QtTest>

#include <mysql.h>

using namespace TestSupport;

class TstFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void logUnwritableDuringRace();
    void settingsUnwritableAtClosing();
    void stationAccountReachesNoFiles_data();
    void stationAccountReachesNoFiles();

private:
    QString logPath() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/VidadIva.log"); }
    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
};

void TstFiles::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_files"));
    QDir::setCurrent(m_work.path());
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
    Fcheck = new TFcheck(Dm1);
}

void TstFiles::cleanupTestCase()
{
    QDir(logPath()).removeRecursively();
    QFile::remove(logPath());
}

void TstFiles::logUnwritableDuringRace()
{
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    QFile::remove(logPath());
    QDir(logPath()).removeRecursively();
    QVERIFY(QDir().mkpath(logPath())); // a folder where the log should be

    DialogRecorder dialogs;
    auto w = std::make_unique<TFmid>(Dm1);
    w->St1->setAudioDevice(QString());
    w->show();
    m_db->exec(
        QStringLiteral("update result set midtime1='    4:00.0', midjun1=1 where tcode='R2026A' and zek='0002'"));
    m_db->exec(QStringLiteral(
        "insert into tag_rec (tcode,zek,term,time,count,use_mid) values ('R2026A','0001','C1','10:05:00.1',1,0)"));
    m_db->exec(QStringLiteral("update EXECINFO set upd=upd+1 where num=1"));
    // Timing goes on: the passing is taken, the window says why the log is not written.
    QTRY_COMPARE_WITH_TIMEOUT(m_db->value(QStringLiteral("select count(*) from CHAKU")), QStringLiteral("1"), 10000);
    QVERIFY(w->lWaiting->isVisible());
    QVERIFY2(w->lWaiting->toolTip().contains(QStringLiteral("VidadIva.log")), qPrintable(w->lWaiting->toolTip()));
    QVERIFY(w->Timer1->isActive());

    // The folder is taken away: the next passing is logged after the one that waited.
    QVERIFY(QDir(logPath()).removeRecursively());
    m_db->exec(QStringLiteral(
        "insert into tag_rec (tcode,zek,term,time,count,use_mid) values ('R2026A','0003','C1','10:06:00.2',1,0)"));
    m_db->exec(QStringLiteral("update EXECINFO set upd=upd+1 where num=1"));
    QTRY_COMPARE_WITH_TIMEOUT(m_db->value(QStringLiteral("select count(*) from CHAKU")), QStringLiteral("2"), 10000);
    QCOMPARE(
        m_db->rows(QStringLiteral("select zek,midtime1,midjun1 from result where midtime1 is not null order by zek")),
        (QList<QStringList>{{"0001", "    5:00.1", "2"}, {"0002", "    4:00.0", "1"}, {"0003", "    5:00.2", "3"}}));
    QFile log(logPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    QVERIFY2(logged.indexOf("AND ZEK='0001'") >= 0 &&
                 logged.indexOf("AND ZEK='0001'") < logged.indexOf("AND ZEK='0003'"),
             logged.constData());
    QTRY_VERIFY(!w->lWaiting->isVisible());
    QVERIFY(dialogs.shown.isEmpty());
    w->close();
}

void TstFiles::settingsUnwritableAtClosing()
{
    // The settings file's name is taken by a folder (a stick mounted there, a copy gone
    // wrong): the station reads its defaults, and at closing says which file it cannot
    // write, and closes all the same; the folder keeps what it holds.
    QTemporaryDir here;
    QDir::setCurrent(here.path());
    QVERIFY(QDir().mkpath(QStringLiteral("VidadIva.ini")));
    QFile keep(QStringLiteral("VidadIva.ini/keep.txt"));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("kept");
    keep.close();
    DialogRecorder dialogs;
    {
        TFmain main(Dm1);
        main.show();
        QVERIFY(main.isVisible());
        QVERIFY(dialogs.shown.isEmpty());
        main.close();
        QVERIFY(!main.isVisible());
    }
    QCOMPARE(dialogs.texts(), QStringList{QDir(here.path()).filePath(QStringLiteral("VidadIva.ini")) +
                                          QStringLiteral(" に書き込めません")});
    QVERIFY(keep.open(QIODevice::ReadOnly));
    QCOMPARE(keep.readAll(), QByteArray("kept"));
    QVERIFY(Dm1->DB->Connected());
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from result where tcode='R2026A'")), QStringLiteral("60"));
    QDir::setCurrent(m_work.path());
}

void TstFiles::stationAccountReachesNoFiles_data()
{
    QTest::addColumn<QString>("sql");  // %1: a folder of this test
    QTest::addColumn<bool>("refused"); // false: runs, and its one value is NULL
    QTest::newRow("read a file") << QStringLiteral("SELECT LOAD_FILE('/etc/passwd')") << false;
    QTest::newRow("read into a table") << QStringLiteral("LOAD DATA INFILE '/etc/passwd' INTO TABLE CHAKU") << true;
    QTest::newRow("write a file") << QStringLiteral("SELECT 'x' INTO OUTFILE '%1/written'") << true;
    QTest::newRow("move the server's log") << QStringLiteral("SET GLOBAL general_log_file='%1/written'") << true;
    QTest::newRow("write the grant tables")
        << QStringLiteral("UPDATE mysql.global_priv SET Priv=Priv WHERE User='root'") << true;
    QTest::newRow("give itself the right") << QStringLiteral("GRANT FILE ON *.* TO 'root'@'127.0.0.1'") << true;
}

void TstFiles::stationAccountReachesNoFiles()
{
    QFETCH(QString, sql);
    QFETCH(bool, refused);
    // Nobody else may enter the server's folder, where its socket is.
    QCOMPARE(QFileInfo(serverDir()).permissions() &
                 (QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther | QFile::WriteOther),
             QFileDevice::Permissions());
    QTemporaryDir folder;
    MYSQL *mysql = mysql_init(nullptr);
    QVERIFY(mysql_real_connect(mysql, "127.0.0.1", "root", "rufan", "t_files", unsigned(serverPort()), nullptr, 0));
    const bool failed = mysql_query(mysql, sql.arg(folder.path()).toUtf8().constData()) != 0;
    const QString error = QString::fromUtf8(mysql_error(mysql));
    QList<QStringList> rows;
    if (MYSQL_RES *result = mysql_store_result(mysql)) {
        rows = FetchRows(result);
        mysql_free_result(result);
    }
    mysql_close(mysql);
    QVERIFY2(failed == refused, qPrintable(error));
    if (!refused)
        QCOMPARE(rows, (QList<QStringList>{{QStringLiteral("<NULL>")}}));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("written"))));
}

QTEST_MAIN(TstFiles)
#include "tst_files.moc"
