// TLog: where the log lies, CP932 bytes with CR LF, one open and close per line, growth
// across runs, and the error when the file cannot be written.
#include "Errors.h"
#include "MidTimeLog.h"

#include <QtTest>

class TstMidTimeLog : public QObject
{
    Q_OBJECT
private slots:
    void folderOf_data();
    void folderOf();
    void appendsInCp932AcrossRuns();
    void unwritable_data();
    void unwritable();
};

static QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TstMidTimeLog::folderOf_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");
    QTest::newRow("program folder") << QCoreApplication::applicationDirPath()
                                    << QCoreApplication::applicationDirPath() + "/";
    // clang-format off
    QTest::newRow("root") << "/" << "/";
    QTest::newRow("already ended") << "/opt/x/" << "/opt/x/";
    QTest::newRow("blanks and controls") << " \t/opt/x\n " << "/opt/x/";
    // clang-format on
}

void TstMidTimeLog::folderOf()
{
    QFETCH(QString, folder);
    QTEST(TLog::FolderOf(folder), "path");
    QCOMPARE(TLog().Path, QCoreApplication::applicationDirPath() + "/");
    QCOMPARE(TLog().FileName, QStringLiteral("Default.log"));
}

void TstMidTimeLog::appendsInCp932AcrossRuns()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("VidadIva.log"));
    for (int run = 1; run <= 3; ++run) {
        TLog log; // a new instance stands for a new run of the program
        log.Path = dir.path() + QLatin1Char('/');
        log.FileName = QStringLiteral("VidadIva.log");
        QCOMPARE(QFile::exists(name), run == 3);
        // 高 8D 82, ソ 83 5C, ﾊﾞ CA DE, ～ 81 60; é has no CP932 form.
        log.WriteLine(QStringLiteral("%1 高ソﾊﾞ～é\r\n").arg(run));
        // Not held open: after the file is moved away the next line starts a new one.
        if (run == 1)
            QVERIFY(QFile::rename(name, name + ".1"));
    }
    const QByteArray line = " \x8D\x82\x83\x5C\xCA\xDE\x81\x60?\r\n\r\n";
    QCOMPARE(readAll(name + ".1"), "1" + line);
    QCOMPARE(readAll(name), "2" + line + "3" + line);
}

void TstMidTimeLog::unwritable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("file");
    // clang-format off
    QTest::newRow("missing folder") << QDir::tempPath() + "/no-such-folder-for-the-log/" << "VidadIva.log";
    QTest::newRow("device full") << "/dev/" << "full";
    // clang-format on
}

void TstMidTimeLog::unwritable()
{
    TLog log;
    QFETCH(QString, path);
    QFETCH(QString, file);
    log.Path = path;
    log.FileName = file;
    QVERIFY_THROWS_EXCEPTION(EInOutError, log.WriteLine(QStringLiteral("x")));
}

QTEST_GUILESS_MAIN(TstMidTimeLog)
#include "tst_midtimelog.moc"
