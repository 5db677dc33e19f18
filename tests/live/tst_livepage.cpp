// The live page in a real browser: headless Chromium loads it from midstation-live at a
// phone's width and at a desktop's, and the test reads what it rendered (texts, order,
// colours of the Japanese competitors, layout) and keeps a screenshot of each beside the
// suite (live-phone.png, live-desktop.png). A passing shows without a reload; without
// the race server the page says "接続待ち".
#include "HeadlessChromium.h"
#include "LiveTestSupport.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QtTest>

using namespace TestSupport;
using namespace LiveTest;

namespace
{

const QString Event = QStringLiteral("R2026A");
const QString ScriptName = QStringLiteral("<script>alert(1)</script>");

int bluePixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.blue() > 200 && c.red() < 90 && c.green() < 90;
        }
    return n;
}

} // namespace

class TstLivePage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pageShowsTheRace_data();
    void pageShowsTheRace();
    void pageShowsWaitingWithoutTheServer();
    void passingsShowBeforeTheStreamAnswers();

private:
    QString text(const QString &expression) { return m_browser->evaluate(expression).toString(); }
    void takePassing(const QString &bib, const QString &time) { m_intake->takePassing(bib, time); }
    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<ChipTagIntake> m_intake;
    std::unique_ptr<LiveProgram> m_live;
    std::unique_ptr<THeadlessChromium> m_browser;
    int m_seconds = 0;
};

void TstLivePage::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_livepage"));
    m_intake = std::make_unique<ChipTagIntake>(m_db.get(), Event);
    m_db->exec(QStringLiteral("UPDATE result SET name='%1' WHERE zek='0003'").arg(ScriptName));
    // Mid point 1 by the chip-tag intake: two Japanese competitors, NOR and SWE.
    takePassing(QStringLiteral("0001"), QStringLiteral("10:05:35.1"));
    takePassing(QStringLiteral("0005"), QStringLiteral("10:07:20.4"));
    takePassing(QStringLiteral("0003"), QStringLiteral("10:06:40.0"));
    takePassing(QStringLiteral("0010"), QStringLiteral("10:09:59.9"));
    // Mid point 2 as another station would have written it.
    m_db->exec(
        QStringLiteral("UPDATE result SET MIDTIME2='   12:01.5', MIDDIFF2='       0.0', MIDJUN2=1 WHERE zek='0002'"));
    m_db->exec(
        QStringLiteral("UPDATE result SET MIDTIME2='   12:04.0', MIDDIFF2='       2.5', MIDJUN2=2 WHERE zek='0005'"));
    m_live = std::make_unique<LiveProgram>();
    QVERIFY(m_live->started());
    m_browser = std::make_unique<THeadlessChromium>();
    QVERIFY2(m_browser->started(), "headless Chromium did not start (package chromium)");
}

void TstLivePage::cleanupTestCase()
{
    m_browser.reset();
    m_live.reset();
    m_intake.reset();
}

void TstLivePage::pageShowsTheRace_data()
{
    QTest::addColumn<QSize>("viewport");
    QTest::addColumn<bool>("mobile");
    QTest::addColumn<bool>("sideBySide");
    QTest::newRow("phone") << QSize(390, 844) << true << false;
    QTest::newRow("desktop") << QSize(1366, 768) << false << true;
}

void TstLivePage::pageShowsTheRace()
{
    QFETCH(QSize, viewport);
    QFETCH(bool, mobile);
    QFETCH(bool, sideBySide);
    const int passings = m_db->value(QStringLiteral("SELECT COUNT(*) FROM CHAKU")).toInt();
    const int ranked = m_db->value(QStringLiteral("SELECT COUNT(*) FROM result WHERE midtime1<>''")).toInt();
    QVERIFY(m_browser->open(m_live->url(), viewport, mobile));
    QVERIFY(m_browser->waitUntil(QStringLiteral("document.querySelectorAll('#ranking tbody tr').length === %1 && "
                                                "document.querySelectorAll('#passings tbody tr').length === %2 && "
                                                "document.getElementById('status').textContent === '接続中'")
                                     .arg(ranked)
                                     .arg(passings),
                                 10000));

    QCOMPARE(text(QStringLiteral("document.getElementById('event').textContent")),
             QStringLiteral("第12回 高原ホワイトカップ クロスカントリー大会"));
    QCOMPARE(text(QStringLiteral("document.getElementById('status').textContent")), QStringLiteral("接続中"));
    QCOMPARE(text(QStringLiteral("getComputedStyle(document.querySelector('#ranking th.name')).display")),
             QStringLiteral("table-cell"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                .match(text(QStringLiteral("document.getElementById('updated').textContent")))
                .hasMatch());
    // Newest passing on top: point, bib, name, mid time.
    const QStringList newest =
        m_db->rows(QStringLiteral("SELECT CONCAT('中間', c.LAPS), c.ZEK, r.name, TRIM(c.TIME1) "
                                  "FROM CHAKU c JOIN result r ON r.zek=c.ZEK AND r.tcode='R2026A' "
                                  "ORDER BY c.NUM DESC LIMIT 1"))
            .value(0);
    QCOMPARE(text(QStringLiteral("[...document.querySelectorAll('#passings tbody tr')[0].cells].map(c => "
                                 "c.textContent).join('|')")),
             newest.join(QLatin1Char('|')));
    // The ranking of mid point 1 as the station ranks it; Japanese competitors in blue.
    const QStringList expected = [this] {
        QStringList rows;
        for (const QStringList &r :
             m_db->rows(QStringLiteral("SELECT midjun1, zek, IFNULL(name,''), nation, TRIM(midtime1), "
                                       "TRIM(middiff1) FROM result WHERE midtime1<>'' ORDER BY midjun1")))
            rows << r.join(QLatin1Char('|')) + (r[3] == QLatin1String("JPN") ? QStringLiteral(" blue") : QString());
        return rows;
    }();
    QCOMPARE(m_browser
                 ->evaluate(QStringLiteral(
                     "[...document.querySelectorAll('#ranking tbody tr')].map(tr => [...tr.cells].map(c => "
                     "c.textContent).join('|') + (getComputedStyle(tr.cells[1]).color === "
                     "'rgb(0, 0, 255)' ? ' blue' : ''))"))
                 .toVariant()
                 .toStringList(),
             expected);
    // A name holding markup is shown as text and runs nothing.
    QVERIFY(m_browser
                ->evaluate(QStringLiteral("[...document.querySelectorAll('#ranking td.name')].some(td => "
                                          "td.textContent === '%1')")
                               .arg(ScriptName))
                .toBool());
    QCOMPARE(m_browser->evaluate(QStringLiteral("document.scripts.length")).toInt(), 2); // live.js, first state

    // The layout fits the width: one column on a phone, side by side on a desktop.
    QVERIFY(m_browser->evaluate(QStringLiteral("document.documentElement.scrollWidth <= %1").arg(viewport.width()))
                .toBool());
    QCOMPARE(
        m_browser
            ->evaluate(QStringLiteral("document.getElementById('passings-section').getBoundingClientRect().top "
                                      "=== document.getElementById('ranking-section').getBoundingClientRect().top"))
            .toBool(),
        sideBySide);

    const QImage shot = m_browser->screenshot();
    QCOMPARE(shot.size(), viewport);
    QVERIFY(shot.save(QStringLiteral("live-%1.png").arg(QLatin1String(QTest::currentDataTag()))));
    QVERIFY2(bluePixels(shot) > 100, "the Japanese competitors' rows are not drawn in blue");

    // A new passing appears on the open page, without a reload.
    m_browser->evaluate(QStringLiteral("window.stillTheSamePage = true"));
    takePassing(QStringLiteral("000%1").arg(6 + m_seconds), QStringLiteral("10:08:%1.0").arg(40 + m_seconds));
    ++m_seconds;
    QElapsedTimer sinceRow;
    sinceRow.start();
    QVERIFY(m_browser->waitUntil(
        QStringLiteral("document.querySelector('#passings tbody tr td.bib').textContent === '000%1'")
            .arg(5 + m_seconds),
        3000));
    QVERIFY2(sinceRow.elapsed() <= 1000, qPrintable(QStringLiteral("%1 ms").arg(sinceRow.elapsed())));
    QVERIFY(m_browser->evaluate(QStringLiteral("window.stillTheSamePage === true")).toBool());

    // The tabs choose the mid point.
    m_browser->evaluate(QStringLiteral("document.querySelector('#tabs button[data-mid=\"2\"]').click()"));
    QCOMPARE(m_browser
                 ->evaluate(QStringLiteral("[...document.querySelectorAll('#ranking tbody td.bib')].map(td => "
                                           "td.textContent).join(',')"))
                 .toString(),
             QStringLiteral("0002,0005"));
    QCOMPARE(text(QStringLiteral("location.hash")), QStringLiteral("#mid=2"));
    QCOMPARE(text(QStringLiteral("document.querySelector('#tabs button[aria-selected=\"true\"]').textContent")),
             QStringLiteral("中間2"));
}

void TstLivePage::pageShowsWaitingWithoutTheServer()
{
    QFile ini(qEnvironmentVariable("ODBCINI"));
    QVERIFY(ini.open(QIODevice::Append));
    ini.write(QStringLiteral("\n[PlovoNowhere]\nDriver=MariaDB\nSERVER=127.0.0.1\nPORT=%1\nDATABASE=t_livepage\n")
                  .arg(unusedPort())
                  .toLatin1());
    ini.close();
    LiveProgram live({QStringLiteral("--dsn"), QStringLiteral("PlovoNowhere")});
    QVERIFY(live.started());
    QVERIFY(m_browser->open(live.url(), QSize(390, 844), true));
    QVERIFY(m_browser->waitUntil(QStringLiteral("document.getElementById('status').textContent === '接続待ち' && "
                                                "document.getElementById('passings-empty').hidden === false"),
                                 5000));
    QCOMPARE(text(QStringLiteral("document.getElementById('updated').textContent")), QStringLiteral("--:--:--"));
    QVERIFY(m_browser->screenshot().save(QStringLiteral("live-waiting.png")));
}

// A tablet that reloads while the stream is slow to come (here: never comes) shows the
// passings it was delivered with.
void TstLivePage::passingsShowBeforeTheStreamAnswers()
{
    const int passings = m_db->value(QStringLiteral("SELECT COUNT(*) FROM CHAKU")).toInt();
    m_browser->blockRequests({QStringLiteral("*/events")});
    const bool opened = m_browser->open(m_live->url(), QSize(390, 844), true);
    const bool shown =
        opened &&
        m_browser->waitUntil(
            QStringLiteral("document.querySelectorAll('#passings tbody tr').length === %1").arg(passings), 3000);
    const QString status = text(QStringLiteral("document.getElementById('status').textContent"));
    m_browser->blockRequests({});
    QVERIFY(opened);
    QVERIFY(shown);
    QCOMPARE(status, QStringLiteral("接続待ち"));
    QCOMPARE(text(QStringLiteral("document.getElementById('event').textContent")),
             QStringLiteral("第12回 高原ホワイトカップ クロスカントリー大会"));
}

QTEST_MAIN(TstLivePage)
#include "tst_livepage.moc"
