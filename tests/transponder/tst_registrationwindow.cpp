// The registration window against a pseudo-terminal decoder and the real server: the
// lines taken from the receive events, the port choice, the next bib, Set and Check
// modes, the reset, the sort orders and what a faulty record does.
#include "CommX.h"
#include "CuteButton.h"
#include "DbSelect.h"
#include "ProfileFile.h"
#include "PtyPeer.h"
#include "RadioGroup.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "MainWindow.h"
#include "RegistrationWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

using namespace TestSupport;

namespace
{

const QString PortMessage = QStringLiteral("ポートを開けませんでした。指定されているポートＮｏを確認してください。");
const QString RegisteredMessage = QStringLiteral("指定したトランスポンダーは既に設定済みです。");
const QByteArray Passing = "@\t17\t4\t0123456\t12.345\t5\t80\r\n";

// While it lives, this process cannot write a byte to any file (even as root): the soft
// file-size limit is 0 and the signal it raises is ignored, so a write fails with EFBIG.
class TNoFileWrites
{
public:
    TNoFileWrites()
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = m_saved;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~TNoFileWrites()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_signal);
    }

private:
    rlimit m_saved{};
    void (*m_signal)(int) = nullptr;
};

QStringList memoLines(const QPlainTextEdit *memo)
{
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace

class TstRegistrationWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensWithPortSettingsAndList();
    void decoderLines_data();
    void decoderLines();
    void noPassBeforeFirstReceive();
    void portNotOpened_data();
    void portNotOpened();
    void portChoiceIsRemembered();
    void settingsFileNotWritable();
    void nextBib_data();
    void nextBib();
    void setMode();
    void checkMode();
    void resetWithoutQuestion();
    void sortOrders_data();
    void sortOrders();
    void faultyRecordIsDropped_data();
    void faultyRecordIsDropped();
    void bibWithoutRowIsNotPassed();
    void quoteInTransponderStaysData();
    void nextBibNotANumber();
    void mainWindowOpensItModally();

private:
    std::unique_ptr<TFtpnoset> open(const QString &portDevice = QString());
    void fillTable(int registered = 0);
    void runPass(TFtpnoset *w, const QStringList &records);
    QString tpno(const QString &zek) { return m_db->value("select tpno1 from midtp where zek='" + zek + "'"); }
    QString ini() const { return QDir::current().filePath(QStringLiteral("VidadIva.ini")); }

    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<TDm1> m_dm;
    std::unique_ptr<DialogRecorder> m_dialogs;
    QTemporaryDir m_work;
};

void TstRegistrationWindow::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_tpnoset"), false);
    QDir::setCurrent(m_work.path());
    m_dm = std::make_unique<TDm1>();
    Dm1 = m_dm.get();
    ConnectDataModule(Dm1);
}

void TstRegistrationWindow::init()
{
    QFile::remove(ini());
    m_dialogs = std::make_unique<DialogRecorder>();
    fillTable();
    Dm1->Qmidtp->setSQL({QStringLiteral("select * from midtp order by zek")});
    Dm1->Qmidtp->Open();
}

void TstRegistrationWindow::cleanup()
{
    m_dialogs.reset();
}

// Bibs 0001-0300, the first `registered` of them with transponders 1000001 upward.
void TstRegistrationWindow::fillTable(int registered)
{
    m_db->exec(QStringLiteral("delete from midtp"));
    QStringList values;
    for (int i = 1; i <= 300; ++i)
        values << QStringLiteral("('%1','%2','0')")
                      .arg(i, 4, 10, QLatin1Char('0'))
                      .arg(i <= registered ? QString::number(1000000 + i) : QStringLiteral("0"));
    m_db->exec("insert into midtp (zek,tpno1,tpno2) values " + values.join(QLatin1Char(',')));
}

// A window shown as the main window shows it; with a device, the decoder port is COM7
// mapped to it and remembered as the decoder's port.
std::unique_ptr<TFtpnoset> TstRegistrationWindow::open(const QString &portDevice)
{
    if (!portDevice.isEmpty()) {
        ProfileFile::WriteString(ini(), QStringLiteral("SerialPorts"), QStringLiteral("COM7"), portDevice);
        ProfileFile::WriteString(ini(), QStringLiteral("Port"), QStringLiteral("Amb"), QStringLiteral("7"));
    }
    auto w = std::make_unique<TFtpnoset>(Dm1);
    w->show();
    return w;
}

// One timer pass over these records, as after a receive event.
void TstRegistrationWindow::runPass(TFtpnoset *w, const QStringList &records)
{
    w->amblist << records;
    w->ambidle = true;
    w->Timer1Timer();
}

// The controls, their captions and the window's name are in tst_forms.
void TstRegistrationWindow::opensWithPortSettingsAndList()
{
    auto w = open();
    QCOMPARE(w->RGkind->Items(), QStringList({"Set", "Check"}));
    QCOMPARE(w->RGkind->ItemIndex(), 0);
    QCOMPARE(w->RGorder->Items(), QStringList({"ZEK", "HIT", "LENGTH"}));
    QCOMPARE(w->RGorder->ItemIndex(), -1);
    QCOMPARE(w->CommX1->FlowCtrl(), cfcXonXoff);
    QCOMPARE(w->CommX1->BufLenReceive(), 8192);
    QCOMPARE(w->CommX1->BitRate(), 9600);
    QVERIFY(w->Timer1->isActive());
    QCOMPARE(w->Timer1->interval(), 1000);

    QAbstractItemModel *grid = w->DBGrid1->model();
    QVERIFY(grid);
    QStringList titles;
    for (int c = 0; c < grid->columnCount(); ++c)
        titles << grid->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles, QStringList({"ZEK", "TPNO1", "TPNO2", "HIT", "Leng", ""}));
    QCOMPARE(grid->rowCount(), 300);
    QCOMPARE(grid->data(grid->index(0, 0)).toString(), QStringLiteral("0001"));
    QVERIFY(!grid->data(grid->index(0, 5)).isValid());
}

void TstRegistrationWindow::decoderLines_data()
{
    QTest::addColumn<QList<QByteArray>>("batches");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("queued");
    QTest::addColumn<QString>("left");

    const QString line = QString::fromLatin1(Passing.chopped(2));
    const QString record = QStringLiteral("0123456\t12.345\t5\t80");
    // Set mode hands out bibs in the order of the readings: a reading lost here would give
    // every later transponder the bib meant for the one before.
    QTest::newRow("alone after its own LF keeps its type")
        << QList<QByteArray>{"\n" + Passing, Passing} << QStringList{line, line} << QStringList{record, record}
        << QString();
    QTest::newRow("two lines in one batch") << QList<QByteArray>{"\n" + Passing + "@\t17\t4\t0000002\t1.0\t3\t41\r\n"}
                                            << QStringList{line, "@\t17\t4\t0000002\t1.0\t3\t41"}
                                            << QStringList{record, "0000002\t1.0\t3\t41"} << QString();
    QTest::newRow("completed by the next batch") << QList<QByteArray>{"\n@\t17\t4\t01", "23456\t12.345\t5\t80\r\n@\t1"}
                                                 << QStringList{line} << QStringList{record} << QStringLiteral("@\t1");
    QTest::newRow("status line shown only")
        << QList<QByteArray>{"\n#\t17\tSTATUS\t0\r\n"} << QStringList{"#\t17\tSTATUS\t0"} << QStringList{} << QString();
}

void TstRegistrationWindow::decoderLines()
{
    QFETCH(QList<QByteArray>, batches);
    TPtyPeer pty;
    auto w = open(pty.SlavePath());
    QVERIFY(w->CommX1->IsOpen());
    QVERIFY(m_dialogs->shown.isEmpty());
    w->Timer1->stop(); // keep the queue as the receive events leave it

    QSignalSpy received(w->CommX1, &TCommX::OnReceive);
    for (int i = 0; i < batches.size(); ++i) {
        pty.Write(batches[i]);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), i + 1, 5000);
        // One receive event per batch, or the trimming would be tested on other cuts.
        QCOMPARE(received.last().at(1).toInt(), int(batches[i].size()));
        QVERIFY(w->ambidle);
    }
    QTEST(memoLines(w->Memo1), "shown");
    QTEST(w->amblist, "queued");
    QTEST(w->ambbuf(), "left");
}

void TstRegistrationWindow::noPassBeforeFirstReceive()
{
    TPtyPeer pty;
    auto w = open(pty.SlavePath());
    QVERIFY(!w->ambidle);
    w->amblist << QStringLiteral("0123456\t12.345\t5\t80");
    w->Timer1Timer();
    QCOMPARE(w->amblist.size(), 1);
    QCOMPARE(tpno("0001"), QStringLiteral("0"));
    QVERIFY(w->Timer1->isActive());

    // The first receive event (a status line) lets the running timer register it.
    pty.Write("\n#\t17\tSTATUS\t0\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(tpno("0001"), QStringLiteral("0123456"), 10000);
    QVERIFY(w->amblist.isEmpty());
    QCOMPARE(w->Edzek->text(), QStringLiteral("2"));
    QVERIFY(w->Timer1->isActive());
}

void TstRegistrationWindow::portNotOpened_data()
{
    QTest::addColumn<QString>("amb");
    QTest::newRow("no port chosen yet") << QString();
    QTest::newRow("remembered port gone") << QStringLiteral("9");
}

void TstRegistrationWindow::portNotOpened()
{
    QFETCH(QString, amb);
    if (!amb.isEmpty()) {
        ProfileFile::WriteString(ini(), QStringLiteral("SerialPorts"), QStringLiteral("COM9"),
                                 m_work.filePath(QStringLiteral("no-such-tty")));
        ProfileFile::WriteString(ini(), QStringLiteral("Port"), QStringLiteral("Amb"), amb);
    }
    fillTable(3);
    auto w = open();
    QCOMPARE(m_dialogs->texts(), QStringList{PortMessage});
    QVERIFY(!w->CommX1->IsOpen());
    QCOMPARE(w->Cbxcomm1->currentIndex(), 0);
    QCOMPARE(w->AmbPort, 0);
    if (!amb.isEmpty())
        QCOMPARE(ProfileFile::ReadString(ini(), QStringLiteral("Port"), QStringLiteral("Amb")), QStringLiteral("0"));
    // The window works without decoder input.
    QCOMPARE(w->Edzek->text(), QStringLiteral("4"));
    runPass(w.get(), {QStringLiteral("7777777\t1.0\t1\t1")});
    QCOMPARE(tpno("0004"), QStringLiteral("7777777"));
}

void TstRegistrationWindow::portChoiceIsRemembered()
{
    TPtyPeer pty;
    ProfileFile::WriteString(ini(), QStringLiteral("SerialPorts"), QStringLiteral("COM7"), pty.SlavePath());
    {
        auto w = open();
        QCOMPARE(m_dialogs->texts(), QStringList{PortMessage});
        const int at = w->Cbxcomm1->findText(QStringLiteral("COM7"));
        QVERIFY(at > 0);
        QCOMPARE(w->Cbxcomm1->itemText(0), QString());
        w->Cbxcomm1->setCurrentIndex(at);
        emit w->Cbxcomm1->activated(at);
        QVERIFY(w->CommX1->IsOpen());
        QCOMPARE(ProfileFile::ReadString(ini(), QStringLiteral("Port"), QStringLiteral("Amb")), QStringLiteral("7"));
    }
    // The next window opens the remembered port by itself; the close button closes both.
    auto w = open();
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY(w->CommX1->IsOpen());
    QCOMPARE(w->Cbxcomm1->currentText(), QStringLiteral("COM7"));
    w->CuteButton1->click();
    QVERIFY(!w->CommX1->IsOpen());
    QVERIFY(!w->isVisible());
}

void TstRegistrationWindow::settingsFileNotWritable()
{
    // The remembered port is gone, so the window forgets it; the settings file cannot take
    // that, nor the port the operator picks next. Both are reported and the window goes on.
    TPtyPeer pty;
    ProfileFile::WriteString(ini(), QStringLiteral("SerialPorts"), QStringLiteral("COM9"),
                             m_work.filePath(QStringLiteral("no-such-tty")));
    ProfileFile::WriteString(ini(), QStringLiteral("SerialPorts"), QStringLiteral("COM7"), pty.SlavePath());
    ProfileFile::WriteString(ini(), QStringLiteral("Port"), QStringLiteral("Amb"), QStringLiteral("9"));
    fillTable(3);
    const QString notWritten = ini() + QStringLiteral(" に書き込めません");
    std::unique_ptr<TFtpnoset> w;
    {
        TNoFileWrites noWrites;
        w = open();
        QCOMPARE(m_dialogs->texts(), (QStringList{PortMessage, notWritten}));
        QCOMPARE(w->Edzek->text(), QStringLiteral("4"));
        QCOMPARE(w->Cbxcomm1->currentIndex(), 0);

        const int at = w->Cbxcomm1->findText(QStringLiteral("COM7"));
        QVERIFY(at > 0);
        w->Cbxcomm1->setCurrentIndex(at);
        emit w->Cbxcomm1->activated(at);
        QCOMPARE(m_dialogs->texts(), (QStringList{PortMessage, notWritten, notWritten}));
        QVERIFY(w->CommX1->IsOpen());
    }
    QCOMPARE(ProfileFile::ReadString(ini(), QStringLiteral("Port"), QStringLiteral("Amb")), QStringLiteral("9"));
}

void TstRegistrationWindow::nextBib_data()
{
    QTest::addColumn<int>("registered");
    QTest::addColumn<bool>("emptyTable");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("after a reset") << 0 << false << "1";
    QTest::newRow("0001-0023 registered") << 23 << false << "24";
    QTest::newRow("table never reset") << 0 << true << "1";
}

void TstRegistrationWindow::nextBib()
{
    QFETCH(int, registered);
    QFETCH(bool, emptyTable);
    fillTable(registered);
    if (emptyTable)
        m_db->exec(QStringLiteral("delete from midtp"));
    auto w = open();
    QTEST(w->Edzek->text(), "proposed");
    QVERIFY(!Dm1->Qtemp->Active());
}

void TstRegistrationWindow::setMode()
{
    auto w = open();
    w->Edzek->setText(QStringLiteral("5"));
    w->edtno->clear();
    w->edit12->setText(QStringLiteral("x"));
    runPass(w.get(), {QStringLiteral("12345678\t12.345\t5\t80")});
    QCOMPARE(tpno("0005"), QStringLiteral("1234567"));
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1<>'0'")), QStringLiteral("1"));
    QCOMPARE(w->Edzek->text(), QStringLiteral("6"));
    QCOMPARE(w->edit5->text(), QStringLiteral("1234567"));
    QCOMPARE(w->edtno->text(), QStringLiteral("0"));
    QCOMPARE(w->edit12->text(), QString());
    QVERIFY(w->amblist.isEmpty());
    QVERIFY(w->Timer1->isActive());
    // The list was reopened and moved to the bib just written.
    QCOMPARE(Dm1->Qmidtp->valueOf(Dm1->Qmidtp->RecNo(), QStringLiteral("zek")), QStringLiteral("0005"));
    QCOMPARE(Dm1->Qmidtp->valueOf(Dm1->Qmidtp->RecNo(), QStringLiteral("tpno1")), QStringLiteral("1234567"));
    QCOMPARE(w->DBGrid1->currentIndex().row(), Dm1->Qmidtp->RecNo());
    QVERIFY(m_dialogs->texts(Dialogs::Kind::Message).endsWith(PortMessage));

    // The same transponder again: refused, shown where it is, nothing written.
    m_dialogs->shown.clear();
    runPass(w.get(), {QStringLiteral("1234567\t13.0\t9\t70")});
    QCOMPARE(m_dialogs->texts(), QStringList{RegisteredMessage});
    QCOMPARE(w->Edit1->text(), QStringLiteral("0005"));
    QCOMPARE(w->Edzek->text(), QStringLiteral("6"));
    QCOMPARE(tpno("0006"), QStringLiteral("0"));
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1<>'0'")), QStringLiteral("1"));
    QVERIFY(w->amblist.isEmpty());
    QVERIFY(w->Timer1->isActive());
}

void TstRegistrationWindow::checkMode()
{
    fillTable(0);
    m_db->exec(QStringLiteral("update midtp set tpno1='1234567' where zek='0005'"));
    auto w = open();
    w->RGkind->setItemIndex(1);
    const QList<QStringList> before = m_db->rows(QStringLiteral("select * from midtp where zek<>'0005' order by zek"));
    runPass(w.get(), {QStringLiteral("1234567\t1.0\t40000\t120\tX"), QStringLiteral("7654321\t2.0\t9\t9")});
    QCOMPARE(m_db->rows(QStringLiteral("select tpno1,hit,leng from midtp where zek='0005'")),
             QList<QStringList>({{"1234567", "32767", "120"}}));
    QCOMPARE(m_db->rows(QStringLiteral("select * from midtp where zek<>'0005' order by zek")), before);
    QVERIFY(m_dialogs->texts(Dialogs::Kind::Message).endsWith(PortMessage));
    QVERIFY(w->amblist.isEmpty());
    QCOMPARE(w->edit5->text(), QStringLiteral("7654321"));
    QCOMPARE(w->Edzek->text(), QStringLiteral("6")); // Check mode hands out no bib
    QCOMPARE(Dm1->Qmidtp->valueOf(Dm1->Qmidtp->RecNo(), QStringLiteral("zek")), QStringLiteral("0005"));
}

void TstRegistrationWindow::resetWithoutQuestion()
{
    fillTable(40);
    m_db->exec(QStringLiteral("insert into midtp (zek,tpno1,tpno2,hit,leng) values ('0400','99','5',3,4)"));
    Dm1->Qmidtp->Close();
    Dm1->Qmidtp->Open();
    auto w = open();
    QCOMPARE(w->DBGrid1->model()->rowCount(), 301);
    m_dialogs->shown.clear();
    w->Button1->click();
    QVERIFY(m_dialogs->shown.isEmpty());
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp")), QStringLiteral("300"));
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1='0' and tpno2='0'")),
             QStringLiteral("300"));
    QCOMPARE(m_db->value(QStringLiteral("select min(zek) from midtp")), QStringLiteral("0001"));
    QCOMPARE(m_db->value(QStringLiteral("select max(zek) from midtp")), QStringLiteral("0300"));
    QCOMPARE(m_db->value(QStringLiteral("select count(distinct zek) from midtp")), QStringLiteral("300"));
    QCOMPARE(Dm1->Qmidtp->RecordCount(), 300);
    QCOMPARE(w->DBGrid1->model()->rowCount(), 300);
}

void TstRegistrationWindow::sortOrders_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("first");
    // clang-format off
    QTest::newRow("ZEK") << 0 << "zek" << "0001";
    QTest::newRow("HIT") << 1 << "hit" << "0300";
    QTest::newRow("LENGTH") << 2 << "leng" << "0150";
    // clang-format on
}

void TstRegistrationWindow::sortOrders()
{
    QFETCH(int, item);
    QFETCH(QString, column);
    // Hits fall as the bib rises; strengths are lowest in the middle of the list.
    m_db->exec(QStringLiteral("update midtp set hit=301-cast(zek as signed), leng=abs(cast(zek as signed)-150)"));
    auto w = open();
    if (item == 0)
        w->RGorder->setItemIndex(1); // start from another order
    w->RGorder->setItemIndex(item);
    QCOMPARE(Dm1->Qmidtp->SQL(), QStringList({"select * from midtp order by", column}));
    QVERIFY(Dm1->Qmidtp->Active());
    QCOMPARE(Dm1->Qmidtp->RecordCount(), 300);
    int previous = std::numeric_limits<int>::min();
    for (int row = 0; row < Dm1->Qmidtp->RecordCount(); ++row) {
        const int value = Dm1->Qmidtp->valueOf(row, column).toInt();
        QVERIFY2(value >= previous, qPrintable(QStringLiteral("row %1").arg(row)));
        previous = value;
    }
    QAbstractItemModel *grid = w->DBGrid1->model();
    QTEST(grid->data(grid->index(0, 0)).toString(), "first");
}

void TstRegistrationWindow::faultyRecordIsDropped_data()
{
    QTest::addColumn<QString>("record");
    QTest::newRow("time not a number") << "1111111\tabc\t5\t80";
    QTest::newRow("hits not a number") << "1111111\t12.345\tfive\t80";
    QTest::newRow("strength missing") << "1111111\t12.345\t5\t";
}

// A record that can never be registered is dropped with a note in the raw view, and the
// readings behind it go on being registered.
void TstRegistrationWindow::faultyRecordIsDropped()
{
    QFETCH(QString, record);
    auto w = open();
    m_dialogs->shown.clear();
    runPass(w.get(), {record, QStringLiteral("2222222\t12.345\t5\t80")});
    QVERIFY(m_dialogs->shown.isEmpty());
    QVERIFY(w->amblist.isEmpty());
    QCOMPARE(tpno("0001"), QStringLiteral("2222222"));
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1<>'0'")), QStringLiteral("1"));
    QVERIFY(memoLines(w->Memo1).last().endsWith(record));
    QCOMPARE(w->Edzek->text(), QStringLiteral("2"));
    QVERIFY(w->Timer1->isActive());
    // Said where the crew looks: the bib it did not take is still free.
    QVERIFY(w->lRegisterNotice->isVisible());
    QVERIFY2(w->lRegisterNotice->text().contains(QStringLiteral("ゼッケン 1 はまだ空いています")),
             qPrintable(w->lRegisterNotice->text()));
}

// A next bib without its row in the table registers nothing: said so, and the next bib
// does not move on past it.
void TstRegistrationWindow::bibWithoutRowIsNotPassed()
{
    auto w = open();
    w->Edzek->setText(QStringLiteral("301"));
    runPass(w.get(), {QStringLiteral("3333333\t12.345\t5\t80"), QStringLiteral("4444444\t13.345\t5\t80")});
    QCOMPARE(w->Edzek->text(), QStringLiteral("301"));
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1<>'0'")), QStringLiteral("0"));
    QVERIFY2(w->lRegisterNotice->text().contains(QStringLiteral("ゼッケン 0301 の行がありません")),
             qPrintable(w->lRegisterNotice->text()));
    QVERIFY(w->Timer1->isActive());
}

void TstRegistrationWindow::quoteInTransponderStaysData()
{
    auto w = open();
    m_dialogs->shown.clear();
    // Pasted unquoted, this number would make the lookup find every row.
    const QString sly = QStringLiteral("'or''='");
    runPass(w.get(), {sly + QStringLiteral("\t1.0\t5\t80")});
    QVERIFY(m_dialogs->shown.isEmpty());
    QCOMPARE(tpno("0001"), sly);
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1<>'0'")), QStringLiteral("1"));

    // Found again by its exact text.
    runPass(w.get(), {sly + QStringLiteral("\t1.0\t5\t80")});
    QCOMPARE(m_dialogs->texts(), QStringList{RegisteredMessage});
    QCOMPARE(w->Edit1->text(), QStringLiteral("0001"));
    w->RGkind->setItemIndex(1);
    runPass(w.get(), {sly + QStringLiteral("\t1.0\t77\t88")});
    QCOMPARE(m_db->value(QStringLiteral("select sum(hit) from midtp")), QStringLiteral("77"));
    QCOMPARE(m_db->value(QStringLiteral("select hit from midtp where zek='0001'")), QStringLiteral("77"));
}

// A next bib that is not a number holds the reading back (it is not lost) and is reported
// once; the reading is registered as soon as the operator puts a number there.
void TstRegistrationWindow::nextBibNotANumber()
{
    auto w = open();
    m_dialogs->shown.clear();
    w->Edzek->setText(QStringLiteral("1a"));
    runPass(w.get(), {QStringLiteral("3333333\t1.0\t5\t80")});
    QCOMPARE(m_dialogs->texts(Dialogs::Kind::Error).size(), 1);
    QCOMPARE(w->amblist.size(), 1);
    QVERIFY(w->Timer1->isActive());
    w->Timer1Timer();
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp where tpno1<>'0'")), QStringLiteral("0"));

    w->Edzek->setText(QStringLiteral("7"));
    w->Timer1Timer();
    QCOMPARE(tpno("0007"), QStringLiteral("3333333"));
    QVERIFY(w->amblist.isEmpty());
    QCOMPARE(w->Edzek->text(), QStringLiteral("8"));
    QCOMPARE(m_dialogs->shown.size(), 1);
}

void TstRegistrationWindow::mainWindowOpensItModally()
{
    TFmain main(Dm1);
    Dm1->Qmidtp->setSQL({QStringLiteral("select * from midtp order by hit")});
    QString seen;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto *w = qobject_cast<TFtpnoset *>(QApplication::activeModalWidget());
        if (!w)
            return;
        seen = w->objectName() + QLatin1Char(' ') + Dm1->Qmidtp->SQLText() + QLatin1Char(' ') +
               QString::number(Dm1->Qmidtp->Active());
        w->CuteButton1->click();
    });
    poll.start(20);
    QVERIFY(!main.CuteButton3->isVisibleTo(&main));
    main.CuteButton3Click();
    poll.stop();
    QCOMPARE(seen, QStringLiteral("Ftpnoset select * from midtp order by zek 1"));
    QVERIFY(main.findChildren<TFtpnoset *>().isEmpty()); // released when it closed
}

QTEST_MAIN(TstRegistrationWindow)
#include "tst_registrationwindow.moc"
