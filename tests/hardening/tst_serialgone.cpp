// The photocell timer's line goes away during timing (the pseudo-terminal's peer closes,
// as a USB adapter pulled out): the operator is told, no thread spins, the window stays
// usable, and choosing the port again, once the timer is back, resumes the intake. The
// port is COM7, mapped to a link that is pointed at the new device when it comes back,
// as a by-id link is.
#include "CommX.h"
#include "PtyPeer.h"
#include "TestSupport.h"
#include "Ucheck.h"
#include "Udm1.h"
#include "Uhand.h"
#include "uComm.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace TestSupport;

namespace
{

// CPU time of the whole process, all threads, in milliseconds.
double cpuMsec()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

} // namespace

class TstSerialGone : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void peerClosesDuringTiming();

private:
    int rows() { return m_db->value(QStringLiteral("select count(*) from midtp2")).toInt(); }
    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
};

void TstSerialGone::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_serialgone"));
    QDir::setCurrent(m_work.path());
    qputenv("XDG_DATA_HOME", m_work.filePath(QStringLiteral("share")).toLocal8Bit());
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
}

void TstSerialGone::peerClosesDuringTiming()
{
    const QString link = m_work.filePath(QStringLiteral("timer"));
    auto timer = std::make_unique<TPtyPeer>();
    QVERIFY(QFile::link(timer->SlavePath(), link));
    QFile ini(m_work.filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SerialPorts]\r\nCOM7=" + link.toLocal8Bit() + "\r\n");
    ini.close();
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    ProgramSettings.Alge = 7;
    Dm1->PreparePhotocellQueries(QStringLiteral("R2026A"));

    DialogRecorder dialogs;
    QMainWindow main;
    main.show();
    Fcheck = new TFcheck(&main);
    auto w = std::make_unique<TFhand>(&main);
    w->show();
    QVERIFY(w->CommX1->IsOpen());
    timer->Write(" 0012 C1  10:15:30.123   1\r");
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 1, 10000);

    // The timer's line goes away.
    timer->HangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.texts(Dialogs::Kind::Message).isEmpty(), 10000);
    QCOMPARE(dialogs.texts(), QStringList{TFhand::PortLostMessage(QStringLiteral("COM7"))});

    // Nothing spins meanwhile: two seconds of waiting cost the process little CPU time (a
    // thread that spins on the hung-up line would take about a core).
    const double before = cpuMsec();
    QTest::qWait(2000);
    const double spent = cpuMsec() - before;
    QVERIFY2(spent < 600, qPrintable(QStringLiteral("%1 ms of CPU time in 2 s").arg(spent)));
    QCOMPARE(dialogs.shown.size(), 1); // reported once

    // The window stays usable: the stored passing is recorded by hand.
    w->Edit1->setText(QStringLiteral("10:15:30.123"));
    w->Edit2->setText(QStringLiteral("12"));
    QTest::keyClick(w->Edit2, Qt::Key_Return);
    QCOMPARE(m_db->value(QStringLiteral("select midtime1 from result where tcode='R2026A' and zek='0012'")),
             QStringLiteral("   10:00.1"));

    // The timer is back (a new device behind the same link); choosing COM7 again
    // resumes the intake.
    timer = std::make_unique<TPtyPeer>();
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(timer->SlavePath(), link));
    const int index = w->Cbxcomm1->findText(QStringLiteral("COM7"));
    QVERIFY(index > 0);
    w->Cbxcomm1->setCurrentIndex(index);
    emit w->Cbxcomm1->activated(index);
    QVERIFY(w->CommX1->IsOpen());
    timer->Write(" 0013 C1  10:16:00.500   1\r");
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 2, 10000);
    QCOMPARE(m_db->rows(QStringLiteral("select zek,time from midtp2 order by tpno1")),
             (QList<QStringList>{{"012", "10:15:30.123"}, {"013", "10:16:00.500"}}));
    QCOMPARE(ProgramSettings.Alge, 7);
    QCOMPARE(dialogs.shown.size(), 1);
    w.reset();
    delete Fcheck;
    Fcheck = nullptr;
}

QTEST_MAIN(TstSerialGone)
#include "tst_serialgone.moc"
