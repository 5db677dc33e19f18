#include "CheckWindow.h"

#include "CheckList.h"
#include "MidPoints.h"
#include "ResultStatements.h"
#include "Dialogs.h"
#include "Errors.h"
#include "GridColumns.h"
#include "DataModule.h"
#include "WindowPlace.h"
#include "ProgramSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>

TFcheck *Fcheck = nullptr;

const QString TFcheck::PhotocellFirstLine = PhotocellCheckFirstLine();
const QString TFcheck::ChipTagFirstLine = ChipTagCheckFirstLine();

namespace
{

// The grid's columns in their order: the bib, a mid time per mid point, the finish time;
// every other field of the query stays hidden.
struct TColumn {
    QString field;
    QString title;
    int width;
};

const char *const MidTitles[MidPointCount] = {"中間１", "中間２", "中間３", "中間４", "中間５"};

QString midTimeField(int k)
{
    return QStringLiteral("MidTime%1").arg(k);
}

QList<TColumn> gridColumns()
{
    QList<TColumn> columns{{QStringLiteral("ZEK"), QStringLiteral("Bib"), 36}};
    for (int k = 1; k <= MidPointCount; ++k)
        columns.append({midTimeField(k), QString::fromUtf8(MidTitles[k - 1]), 80});
    columns.append({QStringLiteral("FINISHTIME"), QStringLiteral("フィニッシュタイム"), 100});
    return columns;
}

} // namespace

void TCheckGrid::CommitEditor()
{
    if (state() != EditingState)
        return;
    // Editors are children of the viewport; commitData ignores a widget that is not one.
    const auto children = viewport()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *w : children)
        if (w->isVisible())
            commitData(w);
}

TFcheck::TFcheck(TDm1 *dm, QWidget *mainWindow) : QDialog(mainWindow, Qt::Window), m_dm(dm)
{
    setObjectName(QStringLiteral("Fcheck"));
    setWindowTitle(QStringLiteral("Fcheck"));
    setModal(false);
    // A list left open must not keep the program running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(580, 640);

    TDataSource *ds = m_dm->DScheck;
    DBGck2 = new TCheckGrid(this);
    DBGck2->setObjectName(QStringLiteral("DBGck2"));
    DBGck2->setModel(ds);
    DBGck2->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGck2->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    DBGck2->verticalHeader()->setDefaultSectionSize(DBGck2->fontMetrics().height() + 6);
    DBGck2->horizontalHeader()->setHighlightSections(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DBGck2);

    TQuery *q = m_dm->Qcheck;
    connect(q, &TQuery::afterOpen, this, &TFcheck::snapshotRows);
    connect(q, &TQuery::afterClose, this, [this] {
        m_stored.clear();
        m_pendingRow = -1;
    });
    connect(ds, &TDataSource::cellEdited, this, [this](int row, int) { cellEdited(row); });
    connect(DBGck2->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { currentRowChanged(); });
    showColumns();
}

void TFcheck::OpenList(const QString &firstLine)
{
    RunHandler([&] {
        // What the operator typed into the list shown so far is written before it is re-read.
        DBGck2->CommitEditor();
        PostRow();

        TQuery *q = m_dm->Qcheck;
        const QString tcode = ProgramSettings.CurrentTcode;
        q->SQLClear();
        for (const QString &line : CheckListSql(firstLine, tcode))
            q->SQLAdd(line);
        CheckList::WriteQueryFile(CheckList::QueryFileName(), q->SQL());
        setRequestLive(true);
        m_tcode = tcode;
        q->Open();

        // The timing windows run modally; the list opened from one of them must take input
        // beside it, so it becomes that window's companion while it lasts.
        QWidget *opener = QApplication::activeModalWidget();
        if (opener && opener != this) {
            winId();
            opener->winId();
            windowHandle()->setTransientParent(opener->windowHandle());
            connect(opener, &QObject::destroyed, this, &TFcheck::openerGone, Qt::UniqueConnection);
        }
        show();
        raise();
        activateWindow();
    });
}

void TFcheck::openerGone()
{
    // Back to the main window, which owns the list.
    QWidget *owner = parentWidget();
    windowHandle()->setTransientParent(owner ? owner->window()->windowHandle() : nullptr);
}

void TFcheck::PostRow()
{
    const int row = m_pendingRow;
    m_pendingRow = -1;
    TQuery *q = m_dm->Qcheck;
    if (row < 0 || !q->Active() || row >= q->RecordCount() || row >= m_stored.size())
        return;

    const QStringList fields = MidTimeColumns();
    QList<QPair<QString, QString>> changes;
    QList<int> changed;
    for (int i = 0; i < fields.size(); ++i) {
        const QString typed = q->valueOf(row, fields[i]);
        if (q->FieldIndex(fields[i]) >= 0 && typed != m_stored[row][i]) {
            changes << qMakePair(fields[i], typed);
            changed << i;
        }
    }
    if (changes.isEmpty())
        return;

    try {
        TQuery update(m_dm->DB, QStringLiteral("QcheckPost"));
        update.setSQL(CheckListUpdateSql(m_tcode, q->valueOf(row, QStringLiteral("zek")), changes));
        update.ExecSQL();
    } catch (const EStationError &) {
        // The row was not written: it shows again what result holds, so the list never
        // shows a correction that is not stored.
        for (int i : changed)
            q->setValue(row, q->FieldIndex(fields[i]), m_stored[row][i]);
        throw;
    }
    for (int i : changed)
        m_stored[row][i] = q->valueOf(row, fields[i]);
}

void TFcheck::showEvent(QShowEvent *event)
{
    // Placed before the window is mapped, so it never shows where it does not stay.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TFcheck::FormShow()
{
    // The grid fills the window through the layout. The first showing makes the window
    // wide enough for every column and centres it on the main window; later ones keep the
    // size and place the operator left the list at.
    if (m_shown)
        return;
    m_shown = true;
    int width = 2 * DBGck2->frameWidth() + DBGck2->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < DBGck2->horizontalHeader()->count(); ++c)
        width += DBGck2->isColumnHidden(c) ? 0 : DBGck2->columnWidth(c);
    resize(qMax(width, this->width()), height());
    WindowPlace::CentreOnMainWindow(this, parentWidget());
}

void TFcheck::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TFcheck::reject()
{
    // Escape closes the list like the window's close box.
    close();
}

void TFcheck::FormClose()
{
    // A correction still being typed or not yet posted is written before the list closes;
    // if the server refuses it, the error is shown and the window closes all the same.
    RunHandler([this] {
        DBGck2->CommitEditor();
        PostRow();
    });
    m_dm->Qcheck->Close();
    setRequestLive(false);
}

void TFcheck::setRequestLive(bool live)
{
    QStringList editable;
    if (live)
        for (int k = 1; k <= MidPointCount; ++k)
            editable << midTimeField(k);
    m_dm->DScheck->setEditableFields(editable);
}

void TFcheck::snapshotRows()
{
    TQuery *q = m_dm->Qcheck;
    const QStringList fields = MidTimeColumns();
    m_stored.clear();
    m_pendingRow = -1;
    for (int row = 0; row < q->RecordCount(); ++row) {
        QStringList values;
        for (const QString &f : fields)
            values << q->valueOf(row, f);
        m_stored << values;
    }
}

void TFcheck::showColumns()
{
    // Titles of the times centred, finish times to the right; the bib column is wide
    // enough for a four-digit bib.
    QList<TGridColumn> columns;
    for (const TColumn &c : gridColumns()) {
        const bool bib = c.field == QLatin1String("ZEK");
        const bool finish = c.field == QLatin1String("FINISHTIME");
        columns.append({c.field, c.width, c.title,
                        finish ? Qt::AlignRight | Qt::AlignVCenter : Qt::Alignment(),
                        bib ? Qt::Alignment() : Qt::AlignCenter, nullptr, bib ? QStringLiteral("0000") : QString()});
    }
    ShowGridColumns(DBGck2, m_dm->DScheck, columns, TGridWidths::FitTexts);
}

void TFcheck::cellEdited(int row)
{
    if (m_pendingRow >= 0 && m_pendingRow != row)
        RunHandler([this] { PostRow(); });
    m_pendingRow = row;
}

void TFcheck::currentRowChanged()
{
    // Leaving the row posts it, as a data grid does.
    if (m_pendingRow >= 0 && m_pendingRow != DBGck2->currentIndex().row())
        RunHandler([this] { PostRow(); });
}
