// The check list against the real server: what it lists, what a typed correction writes
// and to which row, the query file, and the window beside a modal timing window.
#include "CheckList.h"
#include "Errors.h"
#include "TestSupport.h"
#include "Ucheck.h"
#include "Udm1.h"
#include "uComm.h"

#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

// The parameter lines the station connects with; line 3 names the data source.
QStringList connectionParams()
{
    return {QStringLiteral("DATABASE NAME="), QStringLiteral("USER NAME=root"), QStringLiteral("ODBC DSN=PlovoLocal"),
            QStringLiteral("OPEN MODE=READ/WRITE"), QStringLiteral("BATCH COUNT=200"), QStringLiteral("LANGDRIVER="),
            QStringLiteral("MAX ROWS=-1"), QStringLiteral("SCHEMA CACHE DIR="), QStringLiteral("SCHEMA CACHE SIZE=8"),
            QStringLiteral("SCHEMA CACHE TIME=-1"), QStringLiteral("SQLPASSTHRU MODE=SHARED NOAUTOCOMMIT"),
            QStringLiteral("SQLQRYMODE="), QStringLiteral("ENABLE SCHEMA CACHE=FALSE"), QStringLiteral("ENABLE BCD=FALSE"),
            QStringLiteral("ROWSET SIZE=20"), QStringLiteral("BLOBS TO CACHE=64"), QStringLiteral("BLOB SIZE=32"),
            QStringLiteral("PASSWORD=rufan")};
}

const QString AllResult = QStringLiteral("select * from result order by tcode, zek");

}  // namespace

class TstCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void listsTheEventWithSevenColumns_data();
    void listsTheEventWithSevenColumns();
    void competitorWithoutMidTimes();
    void eventWithoutRowsGivesEmptyList();
    void queryFileHoldsTheLastOpening_data();
    void queryFileHoldsTheLastOpening();
    void queryFileDefaultFolder();
    void unwritableQueryFile_data();
    void unwritableQueryFile();
    void correctionWrittenWhenRowIsLeft_data();
    void correctionWrittenWhenRowIsLeft();
    void bibAndFinishTimeNotEditable_data();
    void bibAndFinishTimeNotEditable();
    void refusedCorrectionIsShownAndUndone();
    void closingWritesPendingCorrection();
    void usableBesideModalTimingWindow();

private:
    void writeDrive(const QString &folder);
    int rowOf(const QString &zek) const;
    int columnOf(const QString &field) const;
    QLineEdit *openEditor() const;
    QLineEdit *typeInto(int row, const QString &field, const QString &text);
    void leaveRow(QLineEdit *editor);
    QString stored(const QString &zek, const QString &column, const QString &tcode = QStringLiteral("R2026A"));

    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<DialogRecorder> m_dialogs;
    QString m_oldCwd;
};

void TstCheck::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_check"));
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_oldCwd = QDir::currentPath();
    QDir::setCurrent(m_work->path());
    qputenv("XDG_DATA_HOME", (m_work->path() + QStringLiteral("/share")).toLocal8Bit());

    Dm1 = new TDm1(this);
    Dm1->DB->Params = connectionParams();
    Dm1->DB->Open();
    Dm1->Query1->setSQL({QStringLiteral("set names sjis")});
    Dm1->Query1->ExecSQL();

    m_main = std::make_unique<QMainWindow>();
    m_main->setGeometry(100, 80, 1000, 700);
    m_main->show();
    Fcheck = new TFcheck(m_main.get());
}

void TstCheck::init()
{
    m_db->reload();
    // Another event holds the same bibs: a correction must not reach it.
    m_db->exec(QStringLiteral("insert into result (tcode,zek,MIDTIME2) values ('R2025Z','0003','   9:99.9')"));
    QDir(m_work->path()).mkpath(QStringLiteral("d"));
    writeDrive(QStringLiteral("d"));
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    m_dialogs = std::make_unique<DialogRecorder>();
}

void TstCheck::cleanup()
{
    Fcheck->close();
    m_dialogs.reset();
}

void TstCheck::cleanupTestCase()
{
    delete Fcheck;
    Fcheck = nullptr;
    m_main.reset();
    QDir::setCurrent(m_oldCwd);
}

void TstCheck::writeDrive(const QString &folder)
{
    QFile ini(m_work->filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    if (!folder.isNull())
        ini.write("[Drives]\r\nD=" + folder.toLocal8Bit() + "\r\n");
}

int TstCheck::rowOf(const QString &zek) const
{
    const QAbstractItemModel *m = Fcheck->DBGck2->model();
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->index(r, columnOf(QStringLiteral("zek"))).data().toString() == zek)
            return r;
    return -1;
}

int TstCheck::columnOf(const QString &field) const
{
    for (int c = 0; c < Dm1->Qcheck->FieldCount(); ++c)
        if (Dm1->Qcheck->FieldName(c).compare(field, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

// A closed editor stays a hidden child of the viewport until it is deleted later.
QLineEdit *TstCheck::openEditor() const
{
    const auto editors = Fcheck->DBGck2->viewport()->findChildren<QLineEdit *>();
    for (QLineEdit *e : editors)
        if (e->isVisible())
            return e;
    return nullptr;
}

// Types over a cell as the operator does: a key starts the editor, the rest follows.
QLineEdit *TstCheck::typeInto(int row, const QString &field, const QString &text)
{
    TCheckGrid *grid = Fcheck->DBGck2;
    const QModelIndex index = grid->model()->index(row, columnOf(field));
    grid->setCurrentIndex(index);
    grid->edit(index);
    QLineEdit *editor = openEditor();
    if (!editor)
        return nullptr;
    editor->selectAll();
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (text.isEmpty()) {
        QTest::keyClick(editor, Qt::Key_Delete);
    } else if (ascii) {
        QTest::keyClicks(editor, text);
    } else {
        // Japanese arrives as text committed by the input method.
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(editor, &commit);
    }
    return editor;
}

// Arrow down out of the editor: the cell is committed and the row is left.
void TstCheck::leaveRow(QLineEdit *editor)
{
    QTest::keyClick(editor, Qt::Key_Down);
}

QString TstCheck::stored(const QString &zek, const QString &column, const QString &tcode)
{
    return m_db->value(QStringLiteral("select %1 from result where tcode='%2' and zek='%3'").arg(column, tcode, zek));
}

void TstCheck::listsTheEventWithSevenColumns_data()
{
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("chip-tag") << TFcheck::ChipTagFirstLine;
    QTest::newRow("photocell") << TFcheck::PhotocellFirstLine;
}

void TstCheck::listsTheEventWithSevenColumns()
{
    QFETCH(QString, firstLine);
    m_db->exec(QStringLiteral("update result set MIDTIME1='   5:35.1', MIDTIME3='  12:01.0', finishtime='  30:00.0' "
                              "where tcode='R2026A' and zek='0007'"));
    Fcheck->OpenList(firstLine);
    QVERIFY(m_dialogs->shown.isEmpty());
    QVERIFY(Fcheck->isVisible());
    QVERIFY(!Fcheck->isModal());
    QCOMPARE(Fcheck->windowTitle(), QStringLiteral("Fcheck"));

    TCheckGrid *grid = Fcheck->DBGck2;
    QAbstractItemModel *m = grid->model();
    QCOMPARE(m, static_cast<QAbstractItemModel *>(Dm1->DScheck));
    QCOMPARE(m->rowCount(), 60);
    for (int r = 0; r < 60; ++r)
        QCOMPARE(m->index(r, columnOf(QStringLiteral("zek"))).data().toString(), QString::asprintf("%.4d", r + 1));

    // Shown columns, left to right, with their titles and widths; nothing else shows.
    const QStringList fields{"zek", "midtime1", "midtime2", "midtime3", "midtime4", "midtime5", "finishtime"};
    const QStringList titles{"Bib", "中間１", "中間２", "中間３", "中間４", "中間５", "フィニッシュタイム"};
    const QList<int> widths{36, 80, 80, 80, 80, 80, 100};
    QHeaderView *h = grid->horizontalHeader();
    QStringList shown;
    for (int v = 0; v < h->count(); ++v)
        if (!h->isSectionHidden(h->logicalIndex(v)))
            shown << Dm1->Qcheck->FieldName(h->logicalIndex(v)).toLower();
    QCOMPARE(shown, fields);
    for (int i = 0; i < fields.size(); ++i) {
        const int c = columnOf(fields[i]);
        QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), titles[i]);
        // As given, wider only where this machine's font needs it for the title.
        QVERIFY(h->sectionSize(c) >= widths[i]);
        QVERIFY(h->sectionSize(c) == widths[i] || h->sectionSize(c) < h->fontMetrics().horizontalAdvance(titles[i]) + 30);
        QVERIFY(h->fontMetrics().horizontalAdvance(titles[i]) < h->sectionSize(c));
        const int titleAlign = m->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
        QCOMPARE(bool(titleAlign & Qt::AlignHCenter), i > 0);
    }
    QVERIFY(grid->fontMetrics().horizontalAdvance(QStringLiteral("0000")) < h->sectionSize(columnOf(QStringLiteral("zek"))));
    const int finish = columnOf(QStringLiteral("finishtime"));
    QVERIFY(m->index(0, finish).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight);

    const int row = rowOf(QStringLiteral("0007"));
    QCOMPARE(m->index(row, columnOf(QStringLiteral("midtime1"))).data().toString(), QStringLiteral("   5:35.1"));
    QCOMPARE(m->index(row, columnOf(QStringLiteral("midtime3"))).data().toString(), QStringLiteral("  12:01.0"));
    QCOMPARE(m->index(row, finish).data().toString(), QStringLiteral("  30:00.0"));
}

void TstCheck::competitorWithoutMidTimes()
{
    m_db->exec(QStringLiteral("update result set MIDTIME1=NULL, MIDTIME2='', finishtime='  31:10.5' "
                              "where tcode='R2026A' and zek='0012'"));
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    const QAbstractItemModel *m = Fcheck->DBGck2->model();
    const int row = rowOf(QStringLiteral("0012"));
    QVERIFY(row >= 0);
    for (int n = 1; n <= 5; ++n)
        QCOMPARE(m->index(row, columnOf(QStringLiteral("midtime%1").arg(n))).data().toString(), QString());
    QCOMPARE(m->index(row, columnOf(QStringLiteral("finishtime"))).data().toString(), QStringLiteral("  31:10.5"));
}

void TstCheck::eventWithoutRowsGivesEmptyList()
{
    ProgramSettings.CurrentTcode = QStringLiteral("R2025Y");
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QVERIFY(m_dialogs->shown.isEmpty());
    QVERIFY(Fcheck->isVisible());
    QVERIFY(Dm1->Qcheck->Active());
    QCOMPARE(Fcheck->DBGck2->model()->rowCount(), 0);
}

void TstCheck::queryFileHoldsTheLastOpening_data()
{
    QTest::addColumn<QStringList>("openers");
    QTest::addColumn<QString>("tcode");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray rest = "from result where tcode='R2026A'\r\norder by zek\r\n";
    QTest::newRow("photocell, then chip-tag")
        << QStringList{TFcheck::PhotocellFirstLine, TFcheck::ChipTagFirstLine} << QStringLiteral("R2026A")
        << "select zek,midtime1,midtime2,midtime3,midtime4,midtime5,finishtime\r\n" + rest;
    QTest::newRow("chip-tag, then photocell")
        << QStringList{TFcheck::ChipTagFirstLine, TFcheck::PhotocellFirstLine} << QStringLiteral("R2026A")
        << "select zek,startedtime,midtime1,midtime2,midtime3,midtime4,midtime5,finishtime,runtime\r\n" + rest;
    // 第 and 回 in CP932 bytes.
    QTest::newRow("event code in Shift-JIS")
        << QStringList{TFcheck::ChipTagFirstLine} << QStringLiteral("第1回")
        << QByteArray("select zek,midtime1,midtime2,midtime3,midtime4,midtime5,finishtime\r\n"
                      "from result where tcode='\x91\xe6" "1\x89\xf1'\r\norder by zek\r\n");
}

void TstCheck::queryFileHoldsTheLastOpening()
{
    QFETCH(QStringList, openers);
    QFETCH(QString, tcode);
    QFETCH(QByteArray, expected);
    QFile old(m_work->filePath(QStringLiteral("d/a.txt")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(500, 'x'));  // a longer old content must not survive
    old.close();

    ProgramSettings.CurrentTcode = tcode;
    for (const QString &first : openers)
        Fcheck->OpenList(first);
    QVERIFY(m_dialogs->shown.isEmpty());
    QFile f(m_work->filePath(QStringLiteral("d/a.txt")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), expected);
}

void TstCheck::queryFileDefaultFolder()
{
    writeDrive(QString());  // no [Drives] D= key
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QVERIFY(m_dialogs->shown.isEmpty());
    QFile f(m_work->path() + QStringLiteral("/share/midstation/drive-d/a.txt"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().startsWith(TFcheck::ChipTagFirstLine.toLatin1() + "\r\n"));
}

void TstCheck::unwritableQueryFile_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("shownBefore");
    QTest::newRow("no such drive") << QStringLiteral("no-such-drive") << false;
    QTest::newRow("a.txt is a folder") << QStringLiteral("blocked") << false;
    QTest::newRow("list already shown") << QStringLiteral("no-such-drive") << true;
}

void TstCheck::unwritableQueryFile()
{
    QFETCH(QString, drive);
    QFETCH(bool, shownBefore);
    QDir(m_work->path()).mkpath(QStringLiteral("blocked/a.txt"));
    if (shownBefore) {
        Fcheck->OpenList(TFcheck::ChipTagFirstLine);
        QVERIFY(Fcheck->isVisible());
    }
    writeDrive(drive);
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);

    QCOMPARE(m_dialogs->texts(Dialogs::Kind::Error).size(), 1);
    QVERIFY(m_dialogs->texts(Dialogs::Kind::Error).first().contains(QStringLiteral("a.txt")));
    QVERIFY(!Dm1->Qcheck->Active());
    QCOMPARE(Fcheck->DBGck2->model()->rowCount(), 0);
    QCOMPARE(Fcheck->isVisible(), shownBefore);
}

void TstCheck::correctionWrittenWhenRowIsLeft_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");
    QTest::newRow("mid time") << QStringLiteral("   5:35.1") << QStringLiteral("   5:36.0");
    QTest::newRow("quote and backslash") << QString() << QStringLiteral("1' or '1'='1\\");
    QTest::newRow("0x5C second bytes") << QString() << QStringLiteral("ソ表能");
    QTest::newRow("cleared") << QStringLiteral("   5:35.1") << QString();
}

void TstCheck::correctionWrittenWhenRowIsLeft()
{
    QFETCH(QString, before);
    QFETCH(QString, typed);
    if (!before.isNull())
        m_db->exec(QStringLiteral("update result set MIDTIME2='%1' where tcode='R2026A' and zek='0003'").arg(before));
    auto everything = m_db->rows(AllResult);

    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    const int row = rowOf(QStringLiteral("0003"));
    QLineEdit *editor = typeInto(row, QStringLiteral("MidTime2"), typed);
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!openEditor());  // the view commits and closes the editor from its queue
    QCOMPARE(Dm1->DScheck->index(row, columnOf(QStringLiteral("midtime2"))).data().toString(), typed);
    // Committed to the cell, but the row is still the current one: nothing written yet.
    QCOMPARE(m_db->rows(AllResult), everything);

    editor = typeInto(row, QStringLiteral("MidTime2"), typed);  // the operator goes on in the row
    leaveRow(editor);
    QCOMPARE(Fcheck->DBGck2->currentIndex().row(), row + 1);
    QVERIFY(m_dialogs->shown.isEmpty());

    QCOMPARE(stored(QStringLiteral("0003"), QStringLiteral("midtime2")), typed);
    for (auto &r : everything)
        if (r[0] == QLatin1String("R2026A") && r[1] == QLatin1String("0003"))
            r[8] = typed;  // tcode, zek, name, status, STARTEDTIME, class1, NATION, MIDTIME1, MIDTIME2
    QCOMPARE(m_db->rows(AllResult), everything);
}

void TstCheck::bibAndFinishTimeNotEditable_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("ZEK") << QStringLiteral("ZEK");
    QTest::newRow("FINISHTIME") << QStringLiteral("FINISHTIME");
}

void TstCheck::bibAndFinishTimeNotEditable()
{
    QFETCH(QString, field);
    const auto everything = m_db->rows(AllResult);
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    const QModelIndex index = Fcheck->DBGck2->model()->index(4, columnOf(field));
    QVERIFY(!(index.flags() & Qt::ItemIsEditable));
    QVERIFY(Fcheck->DBGck2->model()->index(4, columnOf(QStringLiteral("midtime5"))).flags() & Qt::ItemIsEditable);

    Fcheck->DBGck2->setCurrentIndex(index);
    QTest::keyClicks(Fcheck->DBGck2, QStringLiteral("99"));
    QVERIFY(!openEditor());
    QVERIFY(!Fcheck->DBGck2->model()->setData(index, QStringLiteral("99")));
    QTest::keyClick(Fcheck->DBGck2, Qt::Key_Down);
    QCOMPARE(m_db->rows(AllResult), everything);
}

void TstCheck::refusedCorrectionIsShownAndUndone()
{
    m_db->exec(QStringLiteral("update result set MIDTIME4='  20:00.0' where tcode='R2026A' and zek='0010'"));
    const auto everything = m_db->rows(AllResult);
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    const int row = rowOf(QStringLiteral("0010"));
    const QModelIndex cell = Fcheck->DBGck2->model()->index(row, columnOf(QStringLiteral("midtime4")));

    // Longer than the column: the server refuses the row.
    leaveRow(typeInto(row, QStringLiteral("MidTime4"), QStringLiteral("12345678901234567890")));
    QCOMPARE(m_dialogs->texts(Dialogs::Kind::Error).size(), 1);
    QCOMPARE(cell.data().toString(), QStringLiteral("  20:00.0"));
    QCOMPARE(m_db->rows(AllResult), everything);

    // The list stays usable: a good value typed afterwards is written.
    Fcheck->DBGck2->setCurrentIndex(cell);
    leaveRow(typeInto(row, QStringLiteral("MidTime4"), QStringLiteral("  20:01.0")));
    QCOMPARE(m_dialogs->texts(Dialogs::Kind::Error).size(), 1);
    QCOMPARE(stored(QStringLiteral("0010"), QStringLiteral("midtime4")), QStringLiteral("  20:01.0"));
}

void TstCheck::closingWritesPendingCorrection()
{
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    const int row = rowOf(QStringLiteral("0020"));
    QVERIFY(typeInto(row, QStringLiteral("MidTime1"), QStringLiteral("   7:07.7")));  // still in the editor
    QCOMPARE(stored(QStringLiteral("0020"), QStringLiteral("midtime1")), QStringLiteral("<NULL>"));

    Fcheck->close();
    QVERIFY(!Fcheck->isVisible());
    QVERIFY(m_dialogs->shown.isEmpty());
    QCOMPARE(stored(QStringLiteral("0020"), QStringLiteral("midtime1")), QStringLiteral("   7:07.7"));
    QVERIFY(!Dm1->Qcheck->Active());

    // The live result was taken back: the grid of a closed list edits nothing.
    Dm1->Qcheck->Open();
    QVERIFY(!(Dm1->DScheck->index(0, columnOf(QStringLiteral("midtime1"))).flags() & Qt::ItemIsEditable));
    Dm1->Qcheck->Close();
}

void TstCheck::usableBesideModalTimingWindow()
{
    // The chip-tag window runs modally over the main window and opens the list from there.
    QDialog timing(m_main.get());
    timing.setWindowModality(Qt::ApplicationModal);
    timing.setGeometry(150, 120, 300, 200);
    timing.show();
    QVERIFY(QTest::qWaitForWindowExposed(&timing));
    QCOMPARE(QApplication::activeModalWidget(), &timing);

    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QVERIFY(Fcheck->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(Fcheck));
    // Centred on the main window at its first showing.
    QVERIFY((Fcheck->frameGeometry().center() - m_main->frameGeometry().center()).manhattanLength() <= 4);
    QVERIFY(!Fcheck->DBGck2->horizontalScrollBar()->isVisible());  // every column in view

    // A click from the window system reaches the list although a modal window runs.
    TCheckGrid *grid = Fcheck->DBGck2;
    const QModelIndex target = grid->model()->index(5, columnOf(QStringLiteral("midtime3")));
    const QPoint at = grid->viewport()->mapTo(Fcheck, grid->visualRect(target).center());
    QTest::mouseClick(Fcheck->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QTRY_COMPARE(grid->currentIndex(), target);

    // Moved by the operator, the list opens again where it was left.
    Fcheck->move(Fcheck->pos() + QPoint(40, 30));
    const QPoint moved = Fcheck->pos();
    Fcheck->close();
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QCOMPARE(Fcheck->pos(), moved);
    timing.close();
}

QTEST_MAIN(TstCheck)
#include "tst_check.moc"
