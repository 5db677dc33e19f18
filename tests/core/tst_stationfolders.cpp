// Where the station keeps its files: the per-user folders follow the XDG variables (an
// absolute value only), and a station run from its build folder stays where it is.
#include "StationFolders.h"

#include <QtTest>

class TstStationFolders : public QObject
{
    Q_OBJECT
private slots:
    void userFolders_data();
    void userFolders();
    void buildTreeKeepsItsFolders();
};

void TstStationFolders::userFolders_data()
{
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QString>("working");
    QTest::addColumn<QString>("log");
    const QString home = QDir::homePath();
    QTest::newRow("unset") << QByteArray() << QByteArray() << home + "/.local/share/midstation"
                           << home + "/.local/state/midstation";
    QTest::newRow("absolute") << QByteArray("/srv/crew/data/") << QByteArray("/srv/crew/state")
                              << "/srv/crew/data/midstation"
                              << "/srv/crew/state/midstation";
    // A relative value is not a base folder: the default stands.
    QTest::newRow("relative") << QByteArray("data") << QByteArray("state") << home + "/.local/share/midstation"
                              << home + "/.local/state/midstation";
}

void TstStationFolders::userFolders()
{
    QFETCH(QByteArray, dataHome);
    QFETCH(QByteArray, stateHome);
    qputenv("XDG_DATA_HOME", dataHome);
    qputenv("XDG_STATE_HOME", stateHome);
    QTEST(StationFolders::UserWorkingFolder(), "working");
    QTEST(StationFolders::UserLogFolder(), "log");
}

void TstStationFolders::buildTreeKeepsItsFolders()
{
    const QString before = QDir::currentPath();
    QVERIFY(!StationFolders::Installed());
    QCOMPARE(StationFolders::EnterUserFolders(), QString());
    QCOMPARE(QDir::currentPath(), before);
    QCOMPARE(StationFolders::LogFolder(), QCoreApplication::applicationDirPath());
}

QTEST_GUILESS_MAIN(TstStationFolders)
#include "tst_stationfolders.moc"
