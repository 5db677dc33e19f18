// The database choice and ConnectDB on the real server: confirmation, fallback to Local,
// the messages, and the Shift-JIS switch after every successful connection.
#include "DbSelect.h"
#include "Dialogs.h"
#include "ServerControl.h"
#include "Database.h"
#include "RadioGroup.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "ProgramSettings.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <QtTest>

using namespace TestSupport;

class TstDbSelect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void localConnectsAndSwitchesToSjis();
    void failedTestFallsBackToLocal();
    void silentServerFailsInBoundedTime();
    void serverAskedAndDeclined();
    void serverConfirmed();
    void sameChoiceRunsNothing();
    void toggledThroughTheAccessibilityLayer();
    void failedLocalReportsTheEventInfoError();
    void missingDataSourceNamesItsFiles_data();
    void missingDataSourceNamesItsFiles();
    void caseSensitiveServerRefusedByItsSetting();

private:
    QString clientCharset();
    void wire();
    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<TDm1> m_dm;
    std::unique_ptr<TRadioGroup> m_rgdb;
    std::unique_ptr<QLabel> m_label;
    std::unique_ptr<TDbSelect> m_select;
};

void TstDbSelect::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_dbselect"));
}

void TstDbSelect::init()
{
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), m_db->target()},
                            {QStringLiteral("PlovoTest"), m_db->target()},
                            {QStringLiteral("PlovoServer"), m_db->target()}});
    ProgramSettings = TProgramSettings();
    m_dm = std::make_unique<TDm1>();
    m_rgdb = std::make_unique<TRadioGroup>(
        QStringLiteral("MySQL"),
        QStringList{QStringLiteral("Local"), QStringLiteral("Test"), QStringLiteral("Server")});
    m_label = std::make_unique<QLabel>();
    m_select = std::make_unique<TDbSelect>(m_rgdb.get(), m_label.get(), m_dm.get());
    wire();
}

void TstDbSelect::cleanup()
{
    m_select.reset();
    m_rgdb.reset();
    m_dm.reset();
}

// As the main window wires it: every Click runs the selection handling as a handler.
void TstDbSelect::wire()
{
    connect(m_rgdb.get(), &TRadioGroup::Click, m_select.get(),
            [this] { RunHandler([this] { m_select->RGdbClick(); }); });
}

QString TstDbSelect::clientCharset()
{
    TQuery q(m_dm->DB, QStringLiteral("q"));
    q.setSQL({QStringLiteral("select @@character_set_client as c")});
    q.Open();
    return q.FieldByName(QStringLiteral("c")).AsString();
}

void TstDbSelect::localConnectsAndSwitchesToSjis()
{
    DialogRecorder dialogs;
    m_rgdb->setItemIndex(0);
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(m_dm->DB->Connected());
    QCOMPARE(m_dm->DB->AliasName, QStringLiteral("PlovoLocal"));
    QCOMPARE(m_dm->DB->Params.size(), 18);
    QCOMPARE(m_dm->DB->Params[2], QStringLiteral("ODBC DSN=PlovoLocal"));
    QCOMPARE(m_dm->DB->Params[17], QStringLiteral("PASSWORD=rufan"));
    QCOMPARE(m_select->DataIndex, 0);
    QCOMPARE(clientCharset(), QStringLiteral("sjis"));
}

void TstDbSelect::failedTestFallsBackToLocal()
{
    DsnTarget dead = m_db->target();
    dead.port = unusedPort();
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), m_db->target()}, {QStringLiteral("PlovoTest"), dead}});
    DialogRecorder dialogs;
    m_rgdb->setItemIndex(1);
    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("ODBC DSN=PlovoTest の接続に失敗しました。「Local」に接続します。")});
    QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Message);
    QCOMPARE(m_rgdb->ItemIndex(), 0);
    QCOMPARE(m_select->DataIndex, 0);
    QVERIFY(m_dm->DB->Connected());
    QCOMPARE(m_dm->DB->Params[2], QStringLiteral("ODBC DSN=PlovoLocal"));
    QCOMPARE(ProgramSettings.CurrentTcode, QStringLiteral("R2026A"));
    QCOMPARE(clientCharset(), QStringLiteral("sjis"));
}

void TstDbSelect::silentServerFailsInBoundedTime()
{
    SilentServer silent;
    DsnTarget mute = m_db->target();
    mute.port = silent.port();
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), m_db->target()}, {QStringLiteral("PlovoTest"), mute}});
    DialogRecorder dialogs;
    QElapsedTimer clock;
    clock.start();
    m_rgdb->setItemIndex(1);
    // Bounded by the connect timeout (one attempt), not by the server.
    QVERIFY2(clock.elapsed() < (m_dm->DB->ConnectTimeout + 5) * 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("ODBC DSN=PlovoTest の接続に失敗しました。「Local」に接続します。")});
    QVERIFY(m_dm->DB->Connected());
    QCOMPARE(m_rgdb->ItemIndex(), 0);
}

void TstDbSelect::serverAskedAndDeclined()
{
    DialogRecorder dialogs;
    dialogs.answer(false);
    m_rgdb->setItemIndex(2);
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown[0].kind, Dialogs::Kind::Question);
    QCOMPARE(dialogs.shown[0].title, QStringLiteral("確認してください。"));
    QCOMPARE(
        dialogs.shown[0].text,
        QStringLiteral(
            "サーバーのデータベースに接続しようとしています。十分注意して作業してください。接続してよろしいですか？"));
    QCOMPARE(m_rgdb->ItemIndex(), 0);
    QCOMPARE(m_select->DataIndex, 0);
    QCOMPARE(m_dm->DB->Params[2], QStringLiteral("ODBC DSN=PlovoLocal"));
    QVERIFY(m_dm->DB->Connected());
    QCOMPARE(m_label->text(), QString());
    QCOMPARE(clientCharset(), QStringLiteral("sjis"));
}

void TstDbSelect::serverConfirmed()
{
    DialogRecorder dialogs;
    dialogs.answer(true);
    m_rgdb->setItemIndex(2);
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(m_label->text(), QStringLiteral("サーバーに接続中"));
    QCOMPARE(m_select->DataIndex, 2);
    QCOMPARE(m_dm->DB->Params[2], QStringLiteral("ODBC DSN=PlovoServer"));
    QVERIFY(m_dm->DB->Connected());
    QCOMPARE(clientCharset(), QStringLiteral("sjis"));
}

void TstDbSelect::sameChoiceRunsNothing()
{
    DialogRecorder dialogs;
    dialogs.answer(true);
    m_rgdb->setItemIndex(2);
    QCOMPARE(dialogs.shown.size(), 1);
    m_rgdb->setItemIndex(2);
    m_rgdb->button(2)->click(); // the operator clicks the chosen item again
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(m_rgdb->ItemIndex(), 2);
}

// A screen reader or an automation tool toggles a radio item instead of clicking it: the
// item is chosen as by a click, and toggling the chosen one off keeps it chosen.
void TstDbSelect::toggledThroughTheAccessibilityLayer()
{
    DialogRecorder dialogs;
    m_rgdb->setItemIndex(0);
    QAccessibleActionInterface *test = QAccessible::queryAccessibleInterface(m_rgdb->button(1))->actionInterface();
    QVERIFY(test && test->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    test->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(m_rgdb->ItemIndex(), 1);
    QCOMPARE(m_dm->DB->Params[2], QStringLiteral("ODBC DSN=PlovoTest"));
    QVERIFY(!m_rgdb->button(0)->isChecked());
    test->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(m_rgdb->button(1)->isChecked());
    QCOMPARE(m_rgdb->ItemIndex(), 1);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
}

void TstDbSelect::failedLocalReportsTheEventInfoError()
{
    DsnTarget dead = m_db->target();
    dead.port = unusedPort();
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), dead}, {QStringLiteral("PlovoTest"), dead}});
    DialogRecorder dialogs;
    m_rgdb->setItemIndex(0);
    QCOMPARE(dialogs.shown.size(), 2);
    QCOMPARE(dialogs.shown[0].kind, Dialogs::Kind::Message);
    QCOMPARE(dialogs.shown[0].text,
             QStringLiteral("ODBC DSN=PlovoLocal の接続に失敗しました。「Local」に接続します。"));
    QCOMPARE(dialogs.shown[1].kind, Dialogs::Kind::Error);
    QVERIFY2(dialogs.shown[1].text.contains(QStringLiteral("connect"), Qt::CaseInsensitive),
             qPrintable(dialogs.shown[1].text));
    QVERIFY(!m_dm->DB->Connected());

    // From Test: the message for Test, then the nested run for Local fails the same way;
    // the error stops both runs and shows once.
    DialogRecorder again;
    m_rgdb->setItemIndex(1);
    QCOMPARE(again.texts(Dialogs::Kind::Message),
             QStringList({QStringLiteral("ODBC DSN=PlovoTest の接続に失敗しました。「Local」に接続します。"),
                          QStringLiteral("ODBC DSN=PlovoLocal の接続に失敗しました。「Local」に接続します。")}));
    QCOMPARE(again.texts(Dialogs::Kind::Error).size(), 1);
    QCOMPARE(m_rgdb->ItemIndex(), 0);
}

void TstDbSelect::missingDataSourceNamesItsFiles_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("localDefined");
    QTest::addColumn<QString>("missing");
    QTest::newRow("Test not defined") << 1 << true << "PlovoTest";
    QTest::newRow("nothing defined") << 0 << false << "PlovoLocal";
}

void TstDbSelect::missingDataSourceNamesItsFiles()
{
    QFETCH(int, choice);
    QFETCH(bool, localDefined);
    QFETCH(QString, missing);
    if (localDefined)
        m_db->writeDataSources({{QStringLiteral("PlovoLocal"), m_db->target()}});
    else
        m_db->writeDataSources({});
    // The suite points both of unixODBC's files at one folder: that file is named once.
    const QString odbcIni = qEnvironmentVariable("ODBCINI");
    const QString where =
        QStringLiteral("データソース名 %1 が見つかりません（%2 を探しました）。").arg(missing, odbcIni);
    DialogRecorder dialogs;
    m_rgdb->setItemIndex(choice);
    QCOMPARE(dialogs.texts(Dialogs::Kind::Message),
             QStringList{QStringLiteral("ODBC DSN=%1 の接続に失敗しました。「Local」に接続します。\n").arg(missing) +
                         where});
    // Without Local either, the event-info query finds the database closed, and its error
    // box gives the same reason below.
    const QString closed = QStringLiteral("データベースに接続していません。データベースを選び直してください。\n");
    QCOMPARE(dialogs.texts(Dialogs::Kind::Error), localDefined ? QStringList() : QStringList{closed + where});
    QCOMPARE(m_dm->DB->Connected(), localDefined);
}

void TstDbSelect::caseSensitiveServerRefusedByItsSetting()
{
    // lower_case_table_names=0: the timing system's statements name execinfo and EXECINFO.
    TPrivateServer sensitive({QStringLiteral("--case-sensitive")});
    QFile portFile(sensitive.dir() + QStringLiteral("/port"));
    QVERIFY(portFile.open(QIODevice::ReadOnly));
    DsnTarget test;
    test.port = portFile.readAll().trimmed().toInt();
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), m_db->target()}, {QStringLiteral("PlovoTest"), test}});
    DialogRecorder dialogs;
    m_rgdb->setItemIndex(1);
    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("ODBC DSN=PlovoTest の接続に失敗しました。「Local」に接続します。\n") +
                         TDatabase::CaseSensitiveServerMessage()});
    QVERIFY(TDatabase::CaseSensitiveServerMessage().contains(QLatin1String("lower_case_table_names=1")));
    QVERIFY(m_dm->DB->Connected());
    QCOMPARE(m_rgdb->ItemIndex(), 0);
}

QTEST_MAIN(TstDbSelect)
#include "tst_dbselect.moc"
