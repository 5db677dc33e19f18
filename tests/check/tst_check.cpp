// The check list against the real server: what it lists, what a typed correction writes
// and to which row, the query file, and the window beside a modal timing window.
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "ProgramSettings.h"

#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QScrollBar>
#include <QtTest>

using namespace TestSupport;

static const QString AllResult = QStringLiteral("select * from result order by tcode, zek");

class TstCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void listsTheEvent_data();
    void listsTheEvent();
    void eventWithoutRowsGivesEmptyList();
    void queryFile_data();
    void queryFile();
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
    QModelIndex cell(const QString &zek, const QString &field) const;
    QLineEdit *openEditor() const;
    QLineEdit *typeInto(const QModelIndex &index, const QString &text);
    QString stored(const QString &zek, const QString &column);

    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<DialogRecorder> m_dialogs;
};

void TstCheck::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_check"));
    QDir::setCurrent(m_work.path()); // the settings file with [Drives] lives here
    qputenv("XDG_DATA_HOME", m_work.filePath(QStringLiteral("share")).toLocal8Bit());
    Dm1 = new TDm1(this);

    ConnectDataModule(Dm1);
    m_main = std::make_unique<QMainWindow>();
    m_main->setGeometry(100, 80, 1000, 700);
    m_main->show();
    Fcheck = new TFcheck(Dm1, m_main.get());
}

void TstCheck::init()
{
    m_db->reload();
    // Another event holds the same bib: a correction must not reach it.
    m_db->exec(QStringLiteral("insert into result (tcode,zek,MIDTIME2) values ('R2025Z','0003','   9:99.9')"));
    QDir(m_work.path()).mkpath(QStringLiteral("d"));
    writeDrive(QStringLiteral("d"));
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    m_dialogs = std::make_unique<DialogRecorder>();
}

void TstCheck::cleanup()
{
    Fcheck->close();
    m_dialogs.reset();
}

void TstCheck::writeDrive(const QString &folder)
{
    QFile ini(m_work.filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    if (!folder.isNull())
        ini.write("[Drives]\r\nD=" + folder.toLocal8Bit() + "\r\n");
}

QModelIndex TstCheck::cell(const QString &zek, const QString &field) const
{
    const TQuery *q = Dm1->Qcheck;
    for (int r = 0; r < q->RecordCount(); ++r)
        if (q->valueOf(r, QStringLiteral("zek")) == zek)
            return Dm1->DScheck->index(r, q->FieldIndex(field));
    return {};
}

// A closed editor stays a hidden child of the viewport until it is deleted later.
QLineEdit *TstCheck::openEditor() const
{
    for (QLineEdit *e : Fcheck->DBGck2->viewport()->findChildren<QLineEdit *>())
        if (e->isVisible())
            return e;
    return nullptr;
}

// Types over a cell as the operator does; Japanese arrives committed by the input method.
QLineEdit *TstCheck::typeInto(const QModelIndex &index, const QString &text)
{
    Fcheck->DBGck2->setCurrentIndex(index);
    Fcheck->DBGck2->edit(index);
    QLineEdit *editor = openEditor();
    if (!editor)
        return nullptr;
    editor->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(editor, Qt::Key_Delete);
    } else if (text.toLatin1() == text.toUtf8()) {
        QTest::keyClicks(editor, text);
    } else {
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(editor, &commit);
    }
    return editor;
}

QString TstCheck::stored(const QString &zek, const QString &column)
{
    return m_db->value(QStringLiteral("select %1 from result where tcode='R2026A' and zek='%2'").arg(column, zek));
}

void TstCheck::listsTheEvent_data()
{
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("chip-tag") << TFcheck::ChipTagFirstLine;
    QTest::newRow("photocell") << TFcheck::PhotocellFirstLine;
}

void TstCheck::listsTheEvent()
{
    QFETCH(QString, firstLine);
    m_db->exec(QStringLiteral("update result set MIDTIME1='   5:35.1', MIDTIME3='  12:01.0', finishtime='  30:00.0' "
                              "where tcode='R2026A' and zek='0007'"));
    m_db->exec(QStringLiteral("update result set MIDTIME2='', finishtime='  31:10.5' where zek='0012'"));
    Fcheck->OpenList(firstLine);
    QVERIFY(m_dialogs->shown.isEmpty());
    QVERIFY(Fcheck->isVisible() && !Fcheck->isModal());
    QCOMPARE(Fcheck->windowTitle(), QStringLiteral("Fcheck"));
    QCOMPARE(Fcheck->DBGck2->model(), static_cast<QAbstractItemModel *>(Dm1->DScheck));
    QCOMPARE(Dm1->DScheck->rowCount(), 60);
    for (int r = 0; r < 60; ++r)
        QCOMPARE(Dm1->Qcheck->valueOf(r, QStringLiteral("zek")), QString::asprintf("%.4d", r + 1));

    // Shown columns left to right with titles and widths (wider only where the title needs it).
    const QStringList fields{"zek", "midtime1", "midtime2", "midtime3", "midtime4", "midtime5", "finishtime"};
    const QStringList titles{"Bib", "中間１", "中間２", "中間３", "中間４", "中間５", "フィニッシュタイム"};
    const QList<int> widths{36, 80, 80, 80, 80, 80, 100};
    const QHeaderView *h = Fcheck->DBGck2->horizontalHeader();
    QStringList shown;
    for (const QString &field : ShownFields(Fcheck->DBGck2))
        shown << field.toLower();
    QCOMPARE(shown, fields);
    for (int i = 0; i < fields.size(); ++i) {
        const int c = Dm1->Qcheck->FieldIndex(fields[i]);
        QCOMPARE(Dm1->DScheck->headerData(c, Qt::Horizontal).toString(), titles[i]);
        QVERIFY(h->sectionSize(c) >= widths[i]);
        QVERIFY(h->sectionSize(c) == widths[i] ||
                h->sectionSize(c) < h->fontMetrics().horizontalAdvance(titles[i]) + 30);
        QVERIFY(h->fontMetrics().horizontalAdvance(titles[i]) < h->sectionSize(c));
        const int titleAlign = Dm1->DScheck->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
        QCOMPARE(bool(titleAlign & Qt::AlignHCenter), i > 0);
    }
    QVERIFY(cell("0001", "finishtime").data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight);

    QCOMPARE(cell("0007", "midtime1").data().toString(), QStringLiteral("   5:35.1"));
    QCOMPARE(cell("0007", "midtime3").data().toString(), QStringLiteral("  12:01.0"));
    QCOMPARE(cell("0007", "finishtime").data().toString(), QStringLiteral("  30:00.0"));
    // No mid times (NULL or empty): five empty cells, the finish time still shows.
    for (int n = 1; n <= 5; ++n)
        QCOMPARE(cell("0012", QStringLiteral("midtime%1").arg(n)).data().toString(), QString());
    QCOMPARE(cell("0012", "finishtime").data().toString(), QStringLiteral("  31:10.5"));
}

void TstCheck::eventWithoutRowsGivesEmptyList()
{
    ProgramSettings.CurrentTcode = QStringLiteral("R2025Y");
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QVERIFY(m_dialogs->shown.isEmpty());
    QVERIFY(Fcheck->isVisible() && Dm1->Qcheck->Active());
    QCOMPARE(Dm1->DScheck->rowCount(), 0);
}

void TstCheck::queryFile_data()
{
    QTest::addColumn<QString>("drive"); // null: no [Drives] D= key
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("openers");
    QTest::addColumn<QString>("tcode");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray chip = "select zek,midtime1,midtime2,midtime3,midtime4,midtime5,finishtime\r\n";
    const QByteArray rest = "from result where tcode='R2026A'\r\norder by zek\r\n";
    const QString mapped = QStringLiteral("d/a.txt");
    QTest::newRow("photocell, then chip-tag")
        << "d" << mapped << QStringList{TFcheck::PhotocellFirstLine, TFcheck::ChipTagFirstLine} << "R2026A"
        << chip + rest;
    QTest::newRow("chip-tag, then photocell")
        << "d" << mapped << QStringList{TFcheck::ChipTagFirstLine, TFcheck::PhotocellFirstLine} << "R2026A"
        << "select zek,startedtime,midtime1,midtime2,midtime3,midtime4,midtime5,finishtime,runtime\r\n" + rest;
    QTest::newRow("event code in CP932") // 第 and 回
        << "d" << mapped << QStringList{TFcheck::ChipTagFirstLine} << "第1回"
        << chip + QByteArray("from result where tcode='\x91\xe6"
                             "1\x89\xf1'\r\norder by zek\r\n");
    QTest::newRow("default folder") << QString() << "share/midstation/drive-d/a.txt"
                                    << QStringList{TFcheck::ChipTagFirstLine} << "R2026A" << chip + rest;
}

void TstCheck::queryFile()
{
    QFETCH(QString, drive);
    QFETCH(QString, file);
    QFETCH(QStringList, openers);
    QFETCH(QString, tcode);
    QFETCH(QByteArray, expected);
    writeDrive(drive);
    QFile f(m_work.filePath(file));
    if (!drive.isNull()) { // a longer old content must not survive
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(500, 'x'));
        f.close();
    }
    ProgramSettings.CurrentTcode = tcode;
    for (const QString &first : openers)
        Fcheck->OpenList(first);
    QVERIFY(m_dialogs->shown.isEmpty());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), expected);
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
    QDir(m_work.path()).mkpath(QStringLiteral("blocked/a.txt"));
    if (shownBefore)
        Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    writeDrive(drive);
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QCOMPARE(m_dialogs->texts(Dialogs::Kind::Error).size(), 1);
    QVERIFY(m_dialogs->texts(Dialogs::Kind::Error).first().contains(QStringLiteral("a.txt")));
    QVERIFY(!Dm1->Qcheck->Active());
    QCOMPARE(Dm1->DScheck->rowCount(), 0);
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
    const QModelIndex target = cell("0003", "midtime2");

    QTest::keyClick(typeInto(target, typed), Qt::Key_Return);
    QTRY_VERIFY(!openEditor()); // the view commits and closes the editor from its queue
    QCOMPARE(target.data().toString(), typed);
    QCOMPARE(m_db->rows(AllResult), everything); // still on the row: nothing written yet

    QTest::keyClick(typeInto(target, typed), Qt::Key_Down); // on in the row, then down
    QCOMPARE(Fcheck->DBGck2->currentIndex().row(), target.row() + 1);
    QVERIFY(m_dialogs->shown.isEmpty());
    for (auto &r : everything) // tcode, zek, name, status, STARTEDTIME, class1, NATION, MIDTIME1, MIDTIME2
        if (r[0] == QLatin1String("R2026A") && r[1] == QLatin1String("0003"))
            r[8] = typed;
    QCOMPARE(m_db->rows(AllResult), everything);
}

void TstCheck::bibAndFinishTimeNotEditable_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("ZEK") << QStringLiteral("zek");
    QTest::newRow("FINISHTIME") << QStringLiteral("finishtime");
}

void TstCheck::bibAndFinishTimeNotEditable()
{
    QFETCH(QString, field);
    const auto everything = m_db->rows(AllResult);
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    const QModelIndex index = cell("0005", field);
    QVERIFY(!(index.flags() & Qt::ItemIsEditable));
    QVERIFY(cell("0005", "midtime5").flags() & Qt::ItemIsEditable);
    Fcheck->DBGck2->setCurrentIndex(index);
    QTest::keyClicks(Fcheck->DBGck2, QStringLiteral("99"));
    QVERIFY(!openEditor());
    QVERIFY(!Dm1->DScheck->setData(index, QStringLiteral("99")));
    QTest::keyClick(Fcheck->DBGck2, Qt::Key_Down);
    QCOMPARE(m_db->rows(AllResult), everything);
}

void TstCheck::refusedCorrectionIsShownAndUndone()
{
    m_db->exec(QStringLiteral("update result set MIDTIME4='  20:00.0' where tcode='R2026A' and zek='0010'"));
    const auto everything = m_db->rows(AllResult);
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    const QModelIndex target = cell("0010", "midtime4");

    // Longer than the column: the server refuses the row.
    QTest::keyClick(typeInto(target, QStringLiteral("12345678901234567890")), Qt::Key_Down);
    QCOMPARE(m_dialogs->texts(Dialogs::Kind::Error).size(), 1);
    QCOMPARE(target.data().toString(), QStringLiteral("  20:00.0"));
    QCOMPARE(m_db->rows(AllResult), everything);

    // The list stays usable: a good value typed afterwards is written.
    QTest::keyClick(typeInto(target, QStringLiteral("  20:01.0")), Qt::Key_Down);
    QCOMPARE(m_dialogs->texts(Dialogs::Kind::Error).size(), 1);
    QCOMPARE(stored(QStringLiteral("0010"), QStringLiteral("midtime4")), QStringLiteral("  20:01.0"));
}

void TstCheck::closingWritesPendingCorrection()
{
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QVERIFY(typeInto(cell("0020", "midtime1"), QStringLiteral("   7:07.7"))); // still in the editor
    QCOMPARE(stored(QStringLiteral("0020"), QStringLiteral("midtime1")), QStringLiteral("<NULL>"));

    Fcheck->close();
    QVERIFY(!Fcheck->isVisible());
    QVERIFY(m_dialogs->shown.isEmpty());
    QCOMPARE(stored(QStringLiteral("0020"), QStringLiteral("midtime1")), QStringLiteral("   7:07.7"));
    QVERIFY(!Dm1->Qcheck->Active());
    // The live result was taken back: the grid of a closed list edits nothing.
    Dm1->Qcheck->Open();
    QVERIFY(!(cell("0020", "midtime1").flags() & Qt::ItemIsEditable));
    Dm1->Qcheck->Close();
}

void TstCheck::usableBesideModalTimingWindow()
{
    // A timing window runs modally over the main window and opens the list from there.
    QDialog timing(m_main.get());
    timing.setWindowModality(Qt::ApplicationModal);
    timing.setGeometry(150, 120, 300, 200);
    timing.show();
    QVERIFY(QTest::qWaitForWindowExposed(&timing));
    QCOMPARE(QApplication::activeModalWidget(), &timing);

    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
    QVERIFY(QTest::qWaitForWindowExposed(Fcheck));
    QVERIFY((Fcheck->frameGeometry().center() - m_main->frameGeometry().center()).manhattanLength() <= 4);
    QVERIFY(!Fcheck->DBGck2->horizontalScrollBar()->isVisible()); // every column in view

    // A click from the window system reaches the list although a modal window runs.
    TCheckGrid *grid = Fcheck->DBGck2;
    const QModelIndex target = cell("0006", "midtime3");
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
