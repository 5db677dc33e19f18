// The mid-time check list: every competitor of the current event with its mid
// times and the finish time side by side. The operator corrects a mid time by typing
// over it; the row is written back when the operator leaves it.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTableView>
#include <QVector>

// The check list's grid. Knows how to hand a half-typed cell to its model, so that
// closing the window or re-reading the list does not drop what the operator typed.
class TDm1;

class TCheckGrid : public QTableView
{
    Q_OBJECT
public:
    using QTableView::QTableView;
    void CommitEditor();
};

class TFcheck : public QDialog
{
    Q_OBJECT
public:
    // The first line of the list's query, by the window that opens it.
    static const QString PhotocellFirstLine;
    static const QString ChipTagFirstLine;

    // Created once at start-up, after the data module, with the main window as owner; the
    // list is centred on it when first shown.
    explicit TFcheck(TDm1 *dm, QWidget *mainWindow = nullptr);

    TCheckGrid *DBGck2;

    // Opening from a timing window: the query for CurrentTcode with the opener's first
    // line, the query file, a live result, then the window is shown (it stays shown if it
    // already was). An error stops it where it happens and is shown; a query file that
    // cannot be written leaves the list unopened.
    void OpenList(const QString &firstLine);

    // Writes the mid times the operator changed in the row being edited back to that
    // competitor's result row of the listed event. When the server refuses the row, its
    // cells show again what result holds and the error passes on.
    void PostRow();

public slots:
    void FormShow();
    void FormClose();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void setRequestLive(bool live);
    void snapshotRows();
    void showColumns();
    void cellEdited(int row);
    void currentRowChanged();
    void openerGone();

    TDm1 *m_dm;
    bool m_shown = false;
    QString m_tcode;               // event the open list was read for
    QVector<QStringList> m_stored; // per row: the mid times as result holds them
    int m_pendingRow = -1;         // row with typed values not yet written back
};

// The check list of the running program (created at start-up).
extern TFcheck *Fcheck;
