// The photocell mid window: timer intake, bib assignment, mid-time recording, the passing
// display row and the announcement queue.
#include "PhotocellWindow.h"

#include "CommX.h"
#include "CuteButton.h"
#include "Dialogs.h"
#include "Errors.h"
#include "GridColumns.h"
#include "NoticeLine.h"
#include "VoicePanel.h"
#include "MidPoints.h"
#include "Midtp2Statements.h"
#include "PassingTransaction.h"
#include "PortChoice.h"
#include "SpeechEngine.h"
#include "SerialPorts.h"
#include "PortCombo.h"
#include "RadioGroup.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "ProgramSettings.h"
#include "TextFields.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTableView>
#include <QThread>
#include <QTimer>

using namespace Photocell;

namespace
{

const QString MidCaptions[MidPointCount] = {QStringLiteral("Mid "), QStringLiteral("Mid 2"), QStringLiteral("Mid 3"),
                                QStringLiteral("Mid 4"), QStringLiteral("Mid 5")};

// The mid-time grid: the bib and the mid time of mid point n.
QList<TGridColumn> midTimeColumns(int n)
{
    return {{QStringLiteral("ZEK"), 0, QStringLiteral("ZEK")},
            {QStringLiteral("Midtime%1").arg(n), 0, QStringLiteral("中間タイム")}};
}

} // namespace

TFhand::TFhand(TDm1 *dm, QWidget *parent) : TWorkingWindow(parent), m_dm(dm), m_raw(30), m_frames(10)
{
    setObjectName(QStringLiteral("Fhand"));
    setWindowTitle(QStringLiteral("Fhand"));
    setModal(true);
    createControls();
    FormCreate();
}

TFhand::~TFhand()
{
    CommX1->Close();
}

QString TFhand::PortMessage()
{
    return QStringLiteral(
        "取込ﾎﾟｰﾄ で指定したポートは有効では有りません。正しいポートを指定しないとタイムデータの取込が出来ません。");
}

QString TFhand::BibMessage(const QString &typed)
{
    return QStringLiteral("当てはめゼッケン「%1」は数値ではありません。ゼッケン番号を数字で入力してください。")
        .arg(typed);
}

QString TFhand::NoMidPointMessage()
{
    return QStringLiteral(
               "中間ポイントが分かりません。タイマーから中間ポイント１～%1のデータを受信してから記録してください。")
        .arg(FullWidthNumber(MidPointCount));
}

QString TFhand::NoResultRowMessage(const QString &zek)
{
    return QStringLiteral("ゼッケン %1 はこの大会の結果表にありません。中間タイムは書込まれていません。").arg(zek);
}

void TFhand::createControls()
{
    resize(1000, 686);

    auto label = [this](const char *name, const QString &text, const QRect &where) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(where);
        return l;
    };
    auto button = [this](const char *name, const QString &caption, const QRect &where) {
        auto *b = new TCuteButton(this);
        b->setObjectName(QLatin1String(name));
        b->setCaption(caption);
        b->setGeometry(where);
        return b;
    };
    auto grid = [this](const char *name, TDataSource *source, const QList<TGridColumn> &columns, const QRect &where) {
        auto *g = new QTableView(this);
        g->setObjectName(QLatin1String(name));
        g->setModel(source);
        ShowGridColumns(g, source, columns);
        g->setSelectionBehavior(QAbstractItemView::SelectRows);
        g->setSelectionMode(QAbstractItemView::SingleSelection);
        g->setEditTriggers(QAbstractItemView::NoEditTriggers);
        g->verticalHeader()->setDefaultSectionSize(22);
        g->setGeometry(where);
        return g;
    };

    // Event and passings, left.
    Label5 = label("Label5", QStringLiteral("大会コード    大会名"), QRect(12, 8, 300, 20));
    Edit3 = new QLineEdit(this);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit3->setGeometry(12, 30, 110, 24);
    Label3 = label("Label3", QString(), QRect(130, 30, 420, 24));

    DBGrid1 =
        grid("DBGrid1", m_dm->Dsqdpmid,
             {{QStringLiteral("ZEK"), 0, QStringLiteral("ZEK")}, {QStringLiteral("TIME"), 0, QStringLiteral("TIME")}},
             QRect(12, 64, 230, 420));
    PopupMenu1 = new QMenu(DBGrid1);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("当該データの削除"));
    N1->setObjectName(QStringLiteral("N1"));
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->exec(DBGrid1->viewport()->mapToGlobal(at)); });
    connect(N1, &QAction::triggered, this, [this] { RunHandler([this] { N1Click(); }); });

    // Recording, middle.
    CkBauto = new QCheckBox(QStringLiteral("自動処理"), this);
    CkBauto->setObjectName(QStringLiteral("CkBauto"));
    CkBauto->setGeometry(256, 64, 120, 24);
    Label1 = label("Label1", QStringLiteral("通過時刻"), QRect(256, 96, 160, 20));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(256, 118, 170, 28);
    Label1->setBuddy(Edit1);
    Label2 = label("Label2", QStringLiteral("当てはめゼッケン"), QRect(256, 154, 160, 20));
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(256, 176, 100, 28);
    Label2->setBuddy(Edit2);
    CuteButton6 = button("CuteButton6", QStringLiteral("チェックリスト"), QRect(256, 216, 170, 36));

    RGoto = TOnseiPanel::makeVoiceSwitch(0, this);
    RGoto->setObjectName(QStringLiteral("RGoto"));
    RGoto->setGeometry(256, 260, 170, 76);
    CkBMid = new QCheckBox(QStringLiteral("Mid"), this);
    CkBMid->setObjectName(QStringLiteral("CkBMid"));
    CkBMid->setGeometry(256, 340, 80, 24);
    bOnseiPanel = button("bOnseiPanel", QStringLiteral("音声パネル"), QRect(256, 368, 170, 32));

    Label4 = label("Label4", QStringLiteral("未処理時刻"), QRect(256, 406, 170, 20));
    DBGrid3 = grid(
        "DBGrid3", m_dm->DSdeltime,
        {{QStringLiteral("ZEK"), 0, QStringLiteral("ID-No.")}, {QStringLiteral("TIME"), 0, QStringLiteral("通過時刻")}},
        QRect(256, 428, 230, 168));

    // Mid times of the event.
    DBGrid2 = grid("DBGrid2", m_dm->Dsmidtime, midTimeColumns(1), QRect(500, 64, 240, 532));
    TCuteButton **mids[MidPointCount] = {&CuteButton1, &CuteButton2, &CuteButton3, &CuteButton4, &CuteButton5};
    for (int i = 0; i < MidPointCount; ++i) {
        const QByteArray name = "CuteButton" + QByteArray::number(i + 1);
        *mids[i] = button(name.constData(), MidCaptions[i], QRect(500 + i * 48, 8, 46, 48));
        connect(*mids[i], &QAbstractButton::clicked, this, [this, i] { RunHandler([this, i] { selectMid(i + 1); }); });
    }
    CuteButton = button("CuteButton", QStringLiteral("×"), QRect(950, 8, 40, 40));

    // Intake, right.
    Label6 = label("Label6", QStringLiteral("Commポート"), QRect(756, 64, 100, 24));
    auto *ports = new TPortCombo(this);
    Cbxcomm1 = ports;
    Cbxcomm1->setObjectName(QStringLiteral("Cbxcomm1"));
    Cbxcomm1->setGeometry(856, 64, 130, 26);
    Label6->setBuddy(Cbxcomm1);
    Label7 = label("Label7", QStringLiteral("取込データ"), QRect(756, 96, 230, 20));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setGeometry(756, 118, 234, 300);
    Memo3 = new QPlainTextEdit(this);
    Memo3->setObjectName(QStringLiteral("Memo3"));
    Memo3->setReadOnly(true);
    Memo3->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo3->setGeometry(756, 424, 234, 172);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    Memo1->setFont(fixed);
    Memo3->setFont(fixed);
    CuteButton7 = button("CuteButton7", QStringLiteral("全データ削除"), QRect(12, 496, 230, 36));

    St1 = new TSmarTalk(this);
    St1->setObjectName(QStringLiteral("St1"));
    pOnseiTest = new TOnseiPanel(St1, TOnseiPanel::TVariant::Photocell, this);
    pOnseiTest->setAutoFillBackground(true); // it opens over the grids
    pOnseiTest->setGeometry(500, 260, 300, 340);
    pOnseiTest->hide();

    lIntakeNotice = MakeNoticeLine(QStringLiteral("lIntakeNotice"), this);
    lIntakeNotice->setGeometry(12, 606, 976, 24);
    lSpeechNotice = MakeNoticeLine(QStringLiteral("lSpeechNotice"), this);
    lSpeechNotice->setGeometry(12, 632, 976, 24);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    CommX1 = new TCommX(this);
    CommX1->setObjectName(QStringLiteral("CommX1"));
    CommX1->SetBitRate(2400);
    m_ports = new TSerialPortChoice(CommX1, this);
    LbPortStatus = MakeNoticeLine(QStringLiteral("LbPortStatus"), this);
    LbPortStatus->setGeometry(12, 656, 976, 26); // under the speech notice

    Intake = new TPhotocellIntake(m_dm, this);
    connect(Intake, &TPhotocellIntake::frameStored, this, [this](const TFrame &frame) {
        const QScopedValueRollback<bool> quiet(m_quietRefresh, true);
        RunHandler([&] { showStored(frame); });
    });
    connect(Intake, &TPhotocellIntake::recorded, this, [this](const TPhotocellIntake::TRecording &r) {
        const QScopedValueRollback<bool> quiet(m_quietRefresh, true);
        RunHandler([&] {
            Edit1->setText(r.passtime);
            Edit2->setText(r.zek);
            showRecording(r);
        });
    });
    connect(Intake, &TPhotocellIntake::noticeChanged, this, &TFhand::showIntakeNotice);
    // Line errors come before the bytes of the same wake-up: the line they hit is still open.
    connect(CommX1, &TCommX::OnError, this, [this] { m_lineError = true; });

    connect(CommX1, &TCommX::OnReceive, this, &TFhand::CommX1Receive);
    connect(m_ports, &TSerialPortChoice::StatusChanged, this,
            [this](const QString &status) { ShowNotice(LbPortStatus, status); });
    connect(m_ports, &TSerialPortChoice::Reopened, this, [this] {
        // The half frame cut by the loss ends there, in the raw view too.
        if (!m_reader.Pending().isEmpty())
            m_raw.AppendChar(QLatin1Char('\n'));
        m_reader.Clear();
        syncRawView();
    });
    connect(ports, &TPortCombo::PopupAboutToShow, this,
            [this, ports] { ports->SetEntries(TSerialPortChoice::Entries(ProgramSettings.Alge)); });
    connect(Cbxcomm1, &QComboBox::activated, this, [this] { RunHandler([this] { Cbxcomm1Change(); }); });
    connect(CkBauto, &QAbstractButton::clicked, this, &TFhand::CkBautoClick);
    connect(DBGrid3, &QAbstractItemView::clicked, this, &TFhand::DBGrid3CellClick);
    connect(CuteButton6, &QAbstractButton::clicked, this, &TFhand::CuteButton6Click);
    connect(CuteButton7, &QAbstractButton::clicked, this, [this] { RunHandler([this] { CuteButton7Click(); }); });
    connect(CuteButton, &QAbstractButton::clicked, this, &TFhand::CuteButtonClick);
    connect(bOnseiPanel, &QAbstractButton::clicked, pOnseiTest, &TOnseiPanel::toggle);
    connect(RGoto, &TRadioGroup::Click, this, &TFhand::RGotoClick);
    connect(Timer1, &QTimer::timeout, this, &TFhand::Timer1Timer);
    connect(St1, &TSmarTalk::OnEVOUTEND, this, &TFhand::St1EVOUTEND);
    connect(St1, &TSmarTalk::OutputNoticeChanged, this, &TFhand::showSpeechNotice);
    DBGrid1->installEventFilter(this);
    Edit2->installEventFilter(this);
}

// ---- port ---------------------------------------------------------------------------

void TFhand::FormCreate()
{
    Cbxcomm1->clear();
    Cbxcomm1->addItems(TSerialPortChoice::Entries(ProgramSettings.Alge));
    try {
        const int port = ProgramSettings.Alge;
        if (port > 0) {
            const int at = Cbxcomm1->findText(PortName(port));
            if (at >= 0)
                Cbxcomm1->setCurrentIndex(at);
            com1open(port);
        }
    } catch (...) {
        // Reopening the saved port is a convenience; a failure other than the port's own
        // message leaves the operator to pick a port.
    }
}

void TFhand::Cbxcomm1Change()
{
    const int index = Cbxcomm1->currentIndex();
    if (index <= 0) {
        m_ports->Close();
        ProgramSettings.Alge = 0;
        return;
    }
    const QString text = Cbxcomm1->currentText();
    const std::optional<int> port = TSerialPortChoice::PortOfEntry(text);
    if (!port)
        throw EStationError(NotIntegerMessage(text.mid(3)));
    ProgramSettings.Alge = *port;
    if (*port > 0)
        com1open(*port);
}

void TFhand::com1open(int port)
{
    m_ports->Close();
    CommX1->SetPortNo(port);
    QThread::msleep(300); // lets the line settle after closing before it is opened again
    try {
        m_ports->Open();
    } catch (const ECommError &e) {
        Dialogs::showMessage(TSerialPortChoice::OpenFailureMessage(PortMessage(), e, port));
        ProgramSettings.Alge = 0;
        Cbxcomm1->setCurrentIndex(0);
    }
}

// ---- intake -----------------------------------------------------------------------

void TFhand::CommX1Receive(QObject *, int ReceiveSize)
{
    if (ReceiveSize <= 0)
        return;
    RunHandler([&] {
        // The raw view shows what was read, also when storing a frame fails half-way.
        struct TSync {
            TFhand *w;
            ~TSync() { w->syncRawView(); }
        } sync{this};
        for (int i = 0; i < ReceiveSize; ++i) {
            const int byte = CommX1->ReadByte();
            if (byte < 0)
                break;
            const std::optional<TFrameReader::TEvent> event = m_reader.FeedByte(quint8(byte));
            if (byte == '\r')
                m_raw.AppendChar(QLatin1Char('\n'));
            else if (!m_reader.DroppedLineFeed())
                m_raw.AppendChar(RawChar(quint8(byte)));
            if (!event || event->kind != TFrameReader::TEvent::Line)
                continue;
            TFrame frame = ParseFrame(event->line);
            if (m_lineError)
                Doubt(frame, LineErrorDoubt());
            m_lineError = false;
            if (frame.accepted())
                acceptFrame(frame);
        }
    });
}

void TFhand::syncRawView()
{
    Memo1->setPlainText(m_raw.Text());
    Memo1->moveCursor(QTextCursor::End);
}

void TFhand::acceptFrame(const TFrame &frame)
{
    QString shown;
    for (const QChar c : frame.text)
        shown += RawChar(quint8(c.unicode()));
    m_frames.AppendLine(shown);
    Memo3->setPlainText(m_frames.Text());
    Memo3->moveCursor(QTextCursor::End);
    syncRawView();

    // A doubted frame's digit is no mid point to record into.
    if (MidPoint(frame.mid))
        framemid = frame.mid;
    curzek = frame.zek;
    Edit1->setText(frame.time + QLatin1Char(' ') + curzek);

    // Made safe, then stored and in automatic mode recorded (showStored, showRecording),
    // now or once the server answers; nothing here waits for the operator.
    Intake->Automatic = CkBauto->isChecked();
    Intake->Take(frame);
}

void TFhand::showStored(const TFrame &frame)
{
    reopen(m_dm->Qdpmid, DBGrid1);
    if (m_dm->Qdpmid->RecordCount() == 1)
        Edit1->setText(frame.time);
    reopen(m_dm->Qdeltime, DBGrid3);
}

void TFhand::showIntakeNotice()
{
    ShowNotice(lIntakeNotice,
               lIntakeNotice->fontMetrics().elidedText(Intake->Notice(), Qt::ElideRight, lIntakeNotice->width()));
    lIntakeNotice->setToolTip(Intake->NoticeEntries().join(QLatin1Char('\n')));
}

// ---- window -----------------------------------------------------------------------

void TFhand::showEvent(QShowEvent *event)
{
    TWorkingWindow::showEvent(event);
    if (event->spontaneous())
        return; // shown again after being minimised: nothing to prepare
    RunHandler([this] { FormShow(); });
}

void TFhand::FormShow()
{
    CuteButton1->click();
    CkBauto->setChecked(ProgramSettings.Automode == 1);
    talklist.clear();
    pOnseiTest->loadPhotocell();
    // Passings a stopped station left in its journal go to the server first.
    Intake->Resume();
}

void TFhand::closeEvent(QCloseEvent *event)
{
    m_ports->Close();
    QDialog::closeEvent(event);
}

void TFhand::CkBautoClick()
{
    ProgramSettings.Automode = CkBauto->isChecked() ? 1 : 0;
}

std::array<TCuteButton *, MidPointCount> TFhand::midButtons() const
{
    return {CuteButton1, CuteButton2, CuteButton3, CuteButton4, CuteButton5};
}

void TFhand::selectMid(int n)
{
    const auto buttons = midButtons();
    for (int i = 0; i < MidPointCount; ++i)
        buttons[i]->setColor(i + 1 == n ? Qt::yellow : Qt::white);
    ShowGridColumns(DBGrid2, m_dm->Dsmidtime, midTimeColumns(n));
}

bool TFhand::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == DBGrid1 || watched == Edit2)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == DBGrid1)
                DBGrid1KeyDown(13);
            else
                Edit2KeyDown(13);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString TFhand::currentValue(QTableView *grid, TQuery *query, const QString &field) const
{
    const int row = grid->currentIndex().row();
    if (row < 0 || row >= query->RecordCount())
        return QString();
    query->MoveTo(row);
    return query->valueOf(row, field);
}

void TFhand::DBGrid1KeyDown(int Key)
{
    if (Key != 13)
        return;
    if (!DBGrid1->currentIndex().isValid())
        return;
    Edit1->setText(currentValue(DBGrid1, m_dm->Qdpmid, QStringLiteral("time")));
    Edit2->setText(currentValue(DBGrid1, m_dm->Qdpmid, QStringLiteral("zek")));
    Edit2->setFocus();
}

void TFhand::DBGrid3CellClick(const QModelIndex &Column)
{
    if (!Column.isValid())
        return;
    DBGrid3->setCurrentIndex(Column);
    Edit1->setText(currentValue(DBGrid3, m_dm->Qdeltime, QStringLiteral("time")));
    Edit2->setFocus();
}

void TFhand::Edit2KeyDown(int Key)
{
    if (Key == 13)
        RunHandler([this] { setmidtime(); });
}

void TFhand::reopen(TQuery *query, QTableView *grid)
{
    // During intake a grid that cannot be read now (the server went away right after a
    // commit) is read again with the next passing; no box may hold the intake for it.
    if (m_quietRefresh) {
        try {
            reopenNow(query, grid);
        } catch (const EDatabaseError &) {
        }
        return;
    }
    reopenNow(query, grid);
}

void TFhand::reopenNow(TQuery *query, QTableView *grid)
{
    const int row = grid->currentIndex().row();
    const int column = qMax(0, grid->currentIndex().column());
    const int scroll = grid->verticalScrollBar()->value();
    query->Close();
    query->Open();
    if (row >= 0 && row < grid->model()->rowCount())
        grid->setCurrentIndex(grid->model()->index(row, column));
    grid->verticalScrollBar()->setValue(scroll);
}

// ---- recording --------------------------------------------------------------------

void TFhand::setmidtime()
{
    // Both checks come before any statement, so a refused recording writes nothing.
    const std::optional<QString> bib = BibText(Edit2->text());
    if (!bib) {
        Dialogs::showMessage(BibMessage(Edit2->text()));
        return;
    }
    if (!MidPoint(framemid)) {
        Dialogs::showMessage(NoMidPointMessage());
        return;
    }
    curzek = *bib;
    const TPhotocellIntake::TRecording r =
        Intake->Record(curzek, Edit1->text(), framemid, ProgramSettings.CurrentTcode);
    showRecording(r);
    if (!r.resultRow)
        Dialogs::showMessage(NoResultRowMessage(r.zek));
}

void TFhand::showRecording(const TPhotocellIntake::TRecording &r)
{
    curzek = r.zek;
    Edit3->setText(TQuery::SQLText(r.statement));
    if (r.mid != lastmid) {
        // The mid-time grid follows the timer's mid point.
        lastmid = r.mid;
        if (const std::optional<int> mid = MidPoint(r.mid))
            midButtons()[*mid - 1]->click();
    }
    if (r.shown)
        announce(r.zek, *r.shown);
    reopen(m_dm->Qdpmid, DBGrid1);
    reopen(m_dm->Qmidtime, DBGrid2);
    reopen(m_dm->Qdeltime, DBGrid3);
    DBGrid1->setFocus();
}

void TFhand::N1Click()
{
    if (!DBGrid1->currentIndex().isValid())
        return;
    const QString time = currentValue(DBGrid1, m_dm->Qdpmid, QStringLiteral("time"));
    m_dm->Qedit->setSQL(PassingDeleteSql(time));
    m_dm->Qedit->ExecSQL();
    reopen(m_dm->Qdpmid, DBGrid1);
    // The same time may also stand among the unprocessed times; that list must not keep
    // showing a row that is gone.
    reopen(m_dm->Qdeltime, DBGrid3);
}

void TFhand::CuteButton7Click()
{
    if (!Dialogs::askYesNo(QStringLiteral("確認してください。"), QStringLiteral("中間計測タイムを全て削除します。")))
        return;
    m_dm->Qedit->setSQL(PassingsClearSql());
    m_dm->Qedit->ExecSQL();
    reopen(m_dm->Qdpmid, DBGrid1);
    reopen(m_dm->Qdeltime, DBGrid3);
}

void TFhand::CuteButtonClick()
{
    m_ports->Close();
    close();
}

void TFhand::CuteButton6Click()
{
    if (Fcheck)
        Fcheck->OpenList(TFcheck::PhotocellFirstLine);
}

// ---- display and announcement -----------------------------------------------------

void TFhand::announce(const QString &zek, const QString &t)
{
    if (RGoto->ItemIndex() == 1)
        talklist << AnnouncementText(zek, t);
    if (CkBMid->isChecked())
        pause();
}

// The pause box opens once the running handler has returned: a box opened inside the
// receive handler would hold the serial component's receive thread, and frames arriving
// meanwhile would wait. Pauses asked for while the box is open are folded into it.
void TFhand::pause()
{
    if (m_pauseOpen)
        return;
    m_pauseOpen = true;
    QTimer::singleShot(0, this, [this] {
        Dialogs::showMessage(QString());
        m_pauseOpen = false;
    });
}

void TFhand::RGotoClick()
{
    if (pOnseiTest->voiceSwitchPhotocell(RGoto->ItemIndex())) {
        talklist.clear();
        Timer1->start();
        St1->CheckOutput();
    } else {
        Timer1->stop();
    }
    showSpeechNotice();
}

void TFhand::showSpeechNotice()
{
    // Shown while announcements are on and not heard; they go on all the same (queued,
    // spoken in real time, kept as WAV files where a capture folder is set).
    ShowNotice(lSpeechNotice, RGoto->ItemIndex() == 1 ? St1->OutputNotice() : QString());
}

void TFhand::Timer1Timer()
{
    St1->PrepareSpeech();
    St1->setSymbolRangeSpace(true);
    St1->setNumRead(2);
    if (!talklist.isEmpty()) {
        Timer1->stop();
        const QString text = talklist.takeFirst();
        pOnseiTest->setCurrentText(text);
        St1->SpeakText(text);
    }
    St1->StartSpeech();
}

void TFhand::St1EVOUTEND(int, int)
{
    // The pump runs only while announcements are on: an utterance that ends after the
    // operator switched them off does not start the queue again.
    if (RGoto->ItemIndex() == 1)
        Timer1->start();
}
