#include "ChipTagWindow.h"

#include "ChakuStatements.h"
#include "CuteButton.h"
#include "Dialogs.h"
#include "GridColumns.h"
#include "MidRankDelegate.h"
#include "NoticeLine.h"
#include "VoicePanel.h"
#include "SpeechEngine.h"
#include "RadioGroup.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "ProgramSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace
{

// The window's client area as designed; on a smaller screen it is made smaller.
constexpr int DesignWidth = 1218;
constexpr int DesignHeight = 864;

// The window's fonts are named "ＭＳ ゴシック" (fixed pitch) and "ＭＳ Ｐゴシック"
// (proportional). Debian has neither; IPA Gothic and IPA P Gothic (fonts-ipafont-gothic)
// are their counterparts and are asked for first, so fontconfig never substitutes a
// font without Japanese glyphs or of another pitch.
QFont gothic(int px, bool proportional = false)
{
    QFont f;
    f.setFamilies(proportional ? QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("ＭＳ Ｐゴシック"),
                                             QStringLiteral("MS PGothic"), QStringLiteral("IPAGothic")}
                               : QStringList{QStringLiteral("IPAGothic"), QStringLiteral("ＭＳ ゴシック"),
                                             QStringLiteral("MS Gothic")});
    f.setPixelSize(px);
    return f;
}

} // namespace

TFmid::TFmid(TDm1 *dm, QWidget *parent) : TWorkingWindow(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("Fmid"));
    setWindowTitle(QStringLiteral("Fmid"));
    setModal(true);
    // FormCreate: the intake creates midlog with FileName "VidadIva.log".
    Intake = new TMidIntake(m_dm, this);
    Timer1 = Intake->Timer1;
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(250);
    DBG3Delegate = new TMidRankDelegate(this);
    DBG3Delegate->setObjectName(QStringLiteral("DBG3Delegate"));
    St1 = new TSmarTalk(this);
    St1->setObjectName(QStringLiteral("St1"));
    createControls();
    createGrids();

    connect(Timer2, &QTimer::timeout, this, &TFmid::Timer2Timer);
    connect(St1, &TSmarTalk::OnEVOUTEND, this, &TFmid::St1EVOUTEND);
    connect(St1, &TSmarTalk::OutputNoticeChanged, this, &TFmid::showSpeechNotice);
    connect(Intake, &TMidIntake::passFinished, this, &TFmid::showWaiting);
    connect(Intake, &TMidIntake::noticeChanged, this, &TFmid::showWaiting);
    connect(Intake, &TMidIntake::pollStopped, this, [](const QString &message) { Dialogs::showError(message); });
    Intake->VoiceOn = [this] { return RGoto->ItemIndex() == 1; };
}

// FormDestroy: midlog goes with the intake.
TFmid::~TFmid() = default;

void TFmid::createControls()
{
    // Never larger than designed; smaller only as far as every control stays usable.
    setMaximumSize(DesignWidth, DesignHeight);
    setMinimumSize(900, 560);
    resize(DesignWidth, DesignHeight);
    auto button = [this](const char *name, const QString &caption, const QRect &where) {
        auto *b = new TCuteButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setGeometry(where);
        return b;
    };
    auto handler = [this](TCuteButton *b, void (TFmid::*slot)()) {
        connect(b, &QAbstractButton::clicked, this, [this, slot] { RunHandler([this, slot] { (this->*slot)(); }); });
    };

    lTikimei = new QLabel(this);
    lTikimei->setObjectName(QStringLiteral("lTikimei"));
    lTikimei->setGeometry(105, 14, 482, 52);
    lTikimei->setFont(gothic(40, true));

    bClr = button("bClr", QStringLiteral("タイムクリア"), QRect(10, 32, 90, 32));
    b1 = button("b1", QStringLiteral("中間１"), QRect(592, 8, 92, 56));
    b2 = button("b2", QStringLiteral("中間２"), QRect(688, 8, 92, 56));
    b3 = button("b3", QStringLiteral("中間３"), QRect(784, 8, 92, 56));
    B4 = button("B4", QStringLiteral("中間4"), QRect(880, 8, 92, 56));
    B5 = button("B5", QStringLiteral("中間5"), QRect(976, 8, 92, 56));
    bAuto = button("bAuto", QStringLiteral("自動"), QRect(1072, 8, 92, 56));
    for (TCuteButton *b : {b1, b2, b3, B4, B5, bAuto})
        b->setFont(gothic(20, true));
    CuteButton1 = button("CuteButton1", QStringLiteral("×"), QRect(1168, 8, 44, 56));
    CuteButton1->setColor(Qt::black);
    CuteButton1->setFontColor(Qt::yellow);
    QFont cross = gothic(27);
    cross.setBold(true);
    CuteButton1->setFont(cross);

    RGoto = TOnseiPanel::makeVoiceSwitch(1, this);
    RGoto->setObjectName(QStringLiteral("RGoto"));
    RGoto->setColumns(2);
    RGoto->setGeometry(8, 812, 155, 50);
    CuteButton2 = button("CuteButton2", QStringLiteral("結果チェック"), QRect(167, 831, 95, 28));
    bOnseiPanel = button("bOnseiPanel", QStringLiteral("音声パネル"), QRect(266, 831, 95, 28));

    pOnseiTest = new TOnseiPanel(St1, TOnseiPanel::TVariant::ChipTag, this);
    pOnseiTest->setObjectName(QStringLiteral("pOnseiTest"));
    pOnseiTest->move(348, 503);
    pOnseiTest->adjustSize();
    pOnseiTest->hide();

    lWaiting = MakeNoticeLine(QStringLiteral("lWaiting"), this);
    lSpeechNotice = MakeNoticeLine(QStringLiteral("lSpeechNotice"), this);
    lWaiting->setFont(gothic(16, true));
    lSpeechNotice->setFont(gothic(16, true));

    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button7 = new QPushButton(QStringLiteral("Button7"), this);
    Button7->setObjectName(QStringLiteral("Button7"));
    Edit12 = new QLineEdit(this);
    Edit12->setObjectName(QStringLiteral("Edit12"));
    for (QWidget *w : std::initializer_list<QWidget *>{Button1, Button7, Edit12})
        w->hide();

    handler(bClr, &TFmid::bClrClick);
    handler(bAuto, &TFmid::bAutoClick);
    handler(b1, &TFmid::b1Click);
    handler(b2, &TFmid::b2Click);
    handler(b3, &TFmid::b3Click);
    handler(B4, &TFmid::B4Click);
    handler(B5, &TFmid::B5Click);
    handler(CuteButton1, &TFmid::CuteButton1Click);
    handler(CuteButton2, &TFmid::CuteButton2Click);
    connect(bOnseiPanel, &QAbstractButton::clicked, pOnseiTest, &TOnseiPanel::toggle);
    connect(RGoto, &TRadioGroup::Click, this, [this] { RunHandler([this] { RGotoClick(); }); });
}

void TFmid::createGrids()
{
    DBGrid2 = new QTableView(this);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->setModel(m_dm->dsChaku);
    DBGrid2->setFont(gothic(32, true));
    DBGrid2->horizontalHeader()->setFont(gothic(19, true));
    DBGrid2->verticalHeader()->hide();
    DBGrid2->verticalHeader()->setDefaultSectionSize(40);
    DBGrid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    ShowGridColumns(DBGrid2, m_dm->dsChaku,
                    {{QStringLiteral("NUM"), 76, {}, {}, {}, new TColumnFontDelegate(gothic(27), DBGrid2)},
                     {QStringLiteral("ZEK"), 100, {}, right},
                     {QStringLiteral("TIME1"), 248, {}, right},
                     {QStringLiteral("LAPS"), 75, {}, Qt::AlignCenter}});
    DBGrid2->hide();

    DBG3 = new QTableView(this);
    DBG3->setObjectName(QStringLiteral("DBG3"));
    DBG3->setModel(m_dm->dsMidRank);
    DBG3->setItemDelegate(DBG3Delegate);
    DBG3->setFont(gothic(32));
    DBG3->horizontalHeader()->setFont(gothic(19, true));
    DBG3->verticalHeader()->hide();
    DBG3->verticalHeader()->setDefaultSectionSize(40);
    DBG3->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBG3->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShowGridColumns(DBG3, m_dm->dsMidRank,
                    {{QStringLiteral("MJ"), 78, {}, {}, {}, new TColumnFontDelegate(gothic(27), DBG3)},
                     {QStringLiteral("ZEK"), 100, {}, right},
                     {QStringLiteral("MTS"), 226},
                     {QStringLiteral("MDS"), 228}});
    DBG3->hide();
}

QColor TFmid::SelectedColour(const TCuteButton *button)
{
    const QString name = button->objectName();
    if (name == QLatin1String("bAuto"))
        return QColor(0, 255, 0);
    if (name == QLatin1String("b1"))
        return QColor(255, 0, 255);
    if (name == QLatin1String("b2"))
        return QColor(255, 128, 255);
    if (name == QLatin1String("b3"))
        return QColor(197, 254, 133);
    if (name == QLatin1String("B4"))
        return QColor(170, 166, 247);
    if (name == QLatin1String("B5"))
        return QColor(128, 128, 255);
    return QApplication::palette().color(QPalette::Button);
}

void TFmid::showEventName(const QString &name)
{
    // A long event name is drawn smaller rather than cut off under the mid-point buttons.
    QFont f = gothic(40, true);
    while (f.pixelSize() > 16 && QFontMetrics(f).horizontalAdvance(name) > lTikimei->width())
        f.setPixelSize(f.pixelSize() - 2);
    lTikimei->setFont(f);
    lTikimei->setText(name);
    lTikimei->setToolTip(name);
}

std::array<TCuteButton *, MidPointCount> TFmid::midButtons() const
{
    return {b1, b2, b3, B4, B5};
}

void TFmid::colourModeButtons(TCuteButton *selected)
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    bAuto->setColor(bAuto == selected ? SelectedColour(bAuto) : face);
    for (TCuteButton *b : midButtons())
        b->setColor(b == selected ? SelectedColour(b) : face);
}

void TFmid::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    fitToSize();
}

void TFmid::fitToSize()
{
    // At the design size every control stands where it was designed. In a smaller window
    // the mid-point buttons and "×" keep to the right edge, the bottom row to the bottom
    // edge, and the grids give up width and height.
    const int dx = width() - DesignWidth;
    const int dy = height() - DesignHeight;
    lTikimei->resize(482 + dx, lTikimei->height());
    int x = 592 + dx;
    for (TCuteButton *b : midButtons()) {
        b->move(x, 8);
        x += 96;
    }
    bAuto->move(x, 8);
    CuteButton1->move(1168 + dx, 8);
    DBGrid2->setGeometry(8, 72, 545, 737 + dy);
    DBG3->setGeometry(552, 72, 665 + dx, 737 + dy);
    RGoto->move(8, 812 + dy);
    CuteButton2->move(167, 831 + dy);
    bOnseiPanel->move(266, 831 + dy);
    lWaiting->setGeometry(370, 812 + dy, 840 + dx, 24);
    lSpeechNotice->setGeometry(370, 838 + dy, 840 + dx, 24);
    pOnseiTest->move(348, qMin(503, height() - pOnseiTest->height() - 4));
    showWaiting(); // cut to the line's new width
}

void TFmid::showSpeechNotice()
{
    ShowNotice(lSpeechNotice, RGoto->ItemIndex() == 1 ? St1->OutputNotice() : QString());
}

void TFmid::showWaiting()
{
    // The server away and a log that cannot be written come first: they concern every
    // passing, the waiting ones only themselves.
    const QList<MidLogic::TWaitingPassing> &waiting = Intake->waiting;
    QStringList lines = Intake->Notices();
    QStringList entries = lines;
    for (const MidLogic::TWaitingPassing &w : waiting)
        entries << w.zek + QLatin1Char(' ') + w.reason;
    if (!waiting.isEmpty())
        lines << MidLogic::WaitingSummary(waiting);
    const QString text = lines.join(QStringLiteral("　／　"));
    lWaiting->setText(lWaiting->fontMetrics().elidedText(text, Qt::ElideRight, lWaiting->width()));
    lWaiting->setToolTip(entries.join(QLatin1Char('\n')));
    lWaiting->setVisible(!lines.isEmpty());
}

void TFmid::showEvent(QShowEvent *event)
{
    TWorkingWindow::showEvent(event);
    if (!event->spontaneous()) {
        m_closing = false;
        RunHandler([this] { FormShow(); });
    }
}

void TFmid::FormShow()
{
    Intake->talklist.clear();
    pOnseiTest->setChipTagSpeed();
    Intake->ReadExecInfo();
    showEventName(m_dm->GetTikimei(ProgramSettings.CurrentTcode));
    Intake->midno = 1;
    Intake->tagauto = 1;
    colourModeButtons(bAuto);
    dispmidrank();
    // DBG3 at 552, 72 (665 x 737) and DBGrid2 at 8, 72 (545 x 737), side by side; shorter
    // and narrower in a window smaller than designed.
    fitToSize();
    pOnseiTest->loadChipTag();
    colourModeButtons(bAuto); // no mid-point button selected
    m_dm->qChaku->Close();
    m_dm->qChaku->Open();
    DBGrid2->show();
    DBG3->show();
    pOnseiTest->hide();
    Timer1->start();
    Timer2->start();
    RGoto->setItemIndex(ProgramSettings.Onsei);
    Intake->waiting.clear();
    showWaiting();
    // Whether announcements will be heard is known before the first passing.
    showSpeechNotice();
    if (RGoto->ItemIndex() == 1)
        St1->CheckOutput();
}

void TFmid::closeEvent(QCloseEvent *event)
{
    if (!m_closing) {
        m_closing = true;
        FormClose();
    }
    QDialog::closeEvent(event);
}

void TFmid::reject()
{
    close();
}

void TFmid::FormClose()
{
    Timer1->stop();
    Timer2->stop();
    QDialog::done(QDialog::Rejected);
}

void TFmid::CuteButton1Click()
{
    close();
}

void TFmid::Timer2Timer()
{
    if (Intake->talklist.isEmpty())
        return;
    Timer2->stop();
    St1->SpeakText(Intake->talklist.takeFirst());
}

void TFmid::St1EVOUTEND()
{
    // A late end event of a window already closing must not restart the queue.
    if (!m_closing)
        Timer2->start();
}

void TFmid::bAutoClick()
{
    Intake->tagauto = 1;
    colourModeButtons(bAuto);
    dispmidrank();
}

void TFmid::midButtonClick(int k)
{
    Intake->tagauto = 0;
    colourModeButtons(midButtons()[k - 1]);
    Intake->midno = k;
    dispmidrank();
}

void TFmid::bClrClick()
{
    if (!Dialogs::askYesNo(QStringLiteral("確認"), QStringLiteral("データを削除します。良いですか。")))
        return;
    m_dm->Query1->setSQL(ChakuClearSql());
    m_dm->Query1->ExecSQL();
    ProgramSettings.CurrentTcode = m_dm->GetTcode();
    showEventName(m_dm->GetTikimei(ProgramSettings.CurrentTcode));
    // The intake reads passings by CurrentTcode and writes by evtcode: both follow the
    // event now running, or passings of a new event would be written to the old one and
    // never marked taken.
    Intake->evtcode = ProgramSettings.CurrentTcode;
    m_dm->qChaku->Close();
    m_dm->qChaku->Open();
}

void TFmid::CuteButton2Click()
{
    Fcheck->OpenList(TFcheck::ChipTagFirstLine);
}

void TFmid::RGotoClick()
{
    pOnseiTest->voiceSwitchChipTag(RGoto->ItemIndex());
    showSpeechNotice();
    if (RGoto->ItemIndex() == 1)
        St1->CheckOutput();
}
