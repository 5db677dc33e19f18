// The registration intake without its window, on the real server: the notes of the
// registrations that did not happen, as the red line shows them.
#include "DataModule.h"
#include "RegistrationIntake.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QtTest>

using namespace TestSupport;
using TMode = TRegistrationIntake::TMode;

class TstRegistrationIntake : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void notice_data();
    void notice();

private:
    std::unique_ptr<SuiteDatabase> m_db;
};

void TstRegistrationIntake::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_tpintake"), false);
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
    Dm1->Qmidtp->setSQL({QStringLiteral("select * from midtp order by zek")});
}

void TstRegistrationIntake::notice_data()
{
    QTest::addColumn<TMode>("mode");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("notes");
    const QString badTime = QStringLiteral("1111111\tabc\t5\t80");
    const QString unread = QStringLiteral("読めない記録（時間が数値ではありません）");
    const QString again = QStringLiteral("はまだ空いています。そのトランスポンダーをもう一度読ませてください。");
    QTest::newRow("set: the bib is still free")
        << TMode::Set << QStringList{badTime} << QStringList{unread + QStringLiteral("。ゼッケン 300 ") + again};
    QTest::newRow("check: no bib to name") << TMode::Check << QStringList{badTime} << QStringList{unread};
    // 2222222 takes 0300, so the next note names 301; 0301 has no row.
    QTest::newRow("the last two, newest last, bib as advanced")
        << TMode::Set
        << QStringList{badTime, "2222222\t1.0\t5\t80", "\t1.0\t5\t80", "3333333\t1.0\t5\t80"}
        << QStringList{QStringLiteral("読めない記録（トランスポンダーＮｏがありません）。ゼッケン 301 ") + again,
                       QStringLiteral("ゼッケン 0301 の行がありません。トランスポンダー 3333333 は登録されていません"
                                      "（ＴＰ Ｄａｔａ Ｃｌｅａｒ で 0001～0300 を作り直すか、ZEK を直してください）。")};
}

void TstRegistrationIntake::notice()
{
    QFETCH(TMode, mode);
    QFETCH(QStringList, records);
    QFETCH(QStringList, notes);
    TRegistrationIntake intake(Dm1);
    intake.ResetTable();
    QSignalSpy changed(&intake, &TRegistrationIntake::noticeChanged);
    intake.Queue = records;
    intake.RegisterQueued(mode, QStringLiteral("300"));
    QVERIFY(intake.Queue.isEmpty());
    QCOMPARE(changed.last().at(0).toString(), intake.Notice());
    QStringList shown = intake.Notice().split(QLatin1Char('\n'));
    for (QString &line : shown) {
        QVERIFY2(QTime::fromString(line.left(9), QStringLiteral("HH:mm:ss ")).isValid(), qPrintable(line));
        line.remove(0, 9);
    }
    QCOMPARE(shown, notes);
}

QTEST_MAIN(TstRegistrationIntake)
#include "tst_registrationintake.moc"
