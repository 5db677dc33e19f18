// The settings file: defaults, the integer rule, the save order, other content kept,
// and the message for a file that cannot be written.
#include "Errors.h"
#include "ProfileFile.h"
#include "Settings.h"
#include "StationFolders.h"
#include "ProgramSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstSettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void firstRunTakesDefaultsAndWritesAllKeysInOrder();
    void integerRule_data();
    void integerRule();
    void otherContentIsKeptAndCaseIgnored();
    void pathIsInTheWorkingFolder();
    void unwritableFileNamesThePath();

private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("VidadIva.ini")); }
};

void TstSettings::init()
{
    QFile::remove(path());
    ProgramSettings = TProgramSettings();
    ProgramSettings.Speaker = 99; // must be replaced by the default at load
}

void TstSettings::firstRunTakesDefaultsAndWritesAllKeysInOrder()
{
    const TMainFormSettings form = LoadSettings(path());
    QCOMPARE(form.Top, 0);
    QCOMPARE(form.Left, 0);
    QCOMPARE(form.DataIndex, 0);
    const TProgramSettings &s = ProgramSettings;
    QCOMPARE(QList<int>({s.Speaker, s.Voicetype, s.Voiceint, s.Voicew, s.Voicem, s.Speed, s.Vol}),
             QList<int>({3, 5, 5, 6, 6, 6, 5}));
    QCOMPARE(QList<int>({s.ID, s.VerUpNo, s.Onsei, s.Alge, s.Automode}), QList<int>({233, 0, 0, 0, 0}));
    QVERIFY(!QFile::exists(path())); // loading creates nothing

    TMainFormSettings placed;
    placed.Left = 12;
    placed.Top = 34;
    placed.DataIndex = 1;
    SaveSettings(path(), placed);
    QFile f(path());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(f.readAll());
    QCOMPARE(text,
             QStringLiteral("[MainForm]\r\nLeft=12\r\nTop=34\r\n\r\n[AMB]\r\nID=233\r\nVerUpNo=0\r\n\r\n"
                            "[Talk]\r\nSpeaker=3\r\nVoicetype=5\r\nVoiceint=5\r\nVoicew=6\r\nVoicem=6\r\n"
                            "Speed=6\r\nVol=5\r\nOnsei=0\r\n\r\n[Port]\r\nAlge=0\r\n\r\n[Syori]\r\nAutomode=0\r\n\r\n"
                            "[DB]\r\nDataIndex=1\r\n"));
    // And it reads back.
    const TMainFormSettings again = LoadSettings(path());
    QCOMPARE(again.Left, 12);
    QCOMPARE(again.Top, 34);
    QCOMPARE(again.DataIndex, 1);
}

void TstSettings::integerRule_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("read");
    QTest::newRow("hex") << "0x1F" << 31;
    QTest::newRow("hex upper X") << "0X10" << 16;
    QTest::newRow("decimal") << "7" << 7;
    QTest::newRow("negative") << "-3" << -3;
    QTest::newRow("blanks around") << "  8  " << 8;
    QTest::newRow("empty gives default") << "" << 3;
    QTest::newRow("garbage gives default") << "abc" << 3;
    QTest::newRow("0x alone is not hex") << "0x" << 3;
    QTest::newRow("bad hex gives default") << "0xZZ" << 3;
}

void TstSettings::integerRule()
{
    QFETCH(QString, stored);
    QFETCH(int, read);
    QVERIFY(ProfileFile::WriteString(path(), QStringLiteral("Talk"), QStringLiteral("Speaker"), stored));
    LoadSettings(path());
    QCOMPARE(ProgramSettings.Speaker, read);
}

void TstSettings::otherContentIsKeptAndCaseIgnored()
{
    QFile f(path());
    QVERIFY(f.open(QIODevice::WriteOnly));
    // [later] holds a key of [Talk] that [talk] itself lacks: it is written into [talk].
    f.write("; station settings\r\n[serialports]\r\nCOM7=/dev/pts/3\r\n\r\n[talk]\r\nSPEAKER=4\r\nOther=keep\r\n"
            "[later]\r\nVol=keep\r\n");
    f.close();
    LoadSettings(path());
    QCOMPARE(ProgramSettings.Speaker, 4);
    ProgramSettings.Speaker = 2;
    SaveSettings(path(), TMainFormSettings());
    QCOMPARE(ProfileFile::ReadString(path(), QStringLiteral("SerialPorts"), QStringLiteral("com7")),
             QStringLiteral("/dev/pts/3"));
    QCOMPARE(ProfileFile::ReadString(path(), QStringLiteral("Talk"), QStringLiteral("Other")), QStringLiteral("keep"));
    QCOMPARE(ProfileFile::ReadString(path(), QStringLiteral("Later"), QStringLiteral("Vol")), QStringLiteral("keep"));
    QCOMPARE(ProfileFile::ReadString(path(), QStringLiteral("Talk"), QStringLiteral("Vol")),
             QString::number(ProgramSettings.Vol));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(f.readAll());
    QCOMPARE(text.count(QStringLiteral("peaker="), Qt::CaseInsensitive), 1); // replaced in place, not added
    QVERIFY(text.startsWith(QStringLiteral("; station settings\r\n")));
    LoadSettings(path());
    QCOMPARE(ProgramSettings.Speaker, 2);
}

void TstSettings::pathIsInTheWorkingFolder()
{
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const QString p = StationFolders::SettingsFile();
    QDir::setCurrent(before);
    QCOMPARE(p, QDir(m_dir.path()).canonicalPath() + QStringLiteral("/VidadIva.ini"));
}

void TstSettings::unwritableFileNamesThePath()
{
    // A folder that does not exist cannot be written even by root.
    const QString bad = m_dir.filePath(QStringLiteral("no-such-folder/VidadIva.ini"));
    try {
        SaveSettings(bad, TMainFormSettings());
        QFAIL("writing into a missing folder succeeded");
    } catch (const EInOutError &e) {
        QCOMPARE(e.message(), bad + QStringLiteral(" に書き込めません"));
    }
    QVERIFY(!QFile::exists(bad));
}

QTEST_APPLESS_MAIN(TstSettings)
#include "tst_settings.moc"
