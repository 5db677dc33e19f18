#include "RegistrationWindow.h"

#include "CommX.h"
#include "CuteButton.h"
#include "Dialogs.h"
#include "Errors.h"
#include "NoticeLine.h"
#include "PortChoice.h"
#include "ProfileFile.h"
#include "SerialPorts.h"
#include "StationFolders.h"
#include "PortCombo.h"
#include "RadioGroup.h"
#include "TpGridModel.h"
#include "DataModule.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTableView>
#include <QTimer>

namespace
{

const QString PortMessage = QStringLiteral("ポートを開けませんでした。指定されているポートＮｏを確認してください。");
const QString RegisteredMessage = QStringLiteral("指定したトランスポンダーは既に設定済みです。");

} // namespace

TFtpnoset::TFtpnoset(TDm1 *dm, QWidget *parent)
    : TWorkingWindow(parent), Intake(new TRegistrationIntake(dm, this)), amblist(Intake->Queue), m_dm(dm)
{
    setObjectName(QStringLiteral("Ftpnoset"));
    setWindowTitle(QStringLiteral("ＴＰ Ｎｏ． Ｓｅｔ"));
    createControls();
    FormCreate();
}

TFtpnoset::~TFtpnoset()
{
    Timer1->stop();
    CommX1->Close();
}

int TFtpnoset::LoadAmbPort()
{
    return ProfileFile::ReadInteger(StationFolders::SettingsFile(), QStringLiteral("Port"), QStringLiteral("Amb"), 0);
}

void TFtpnoset::SaveAmbPort(int portNo)
{
    ProfileFile::WriteSetting(StationFolders::SettingsFile(), QStringLiteral("Port"), QStringLiteral("Amb"),
                              QString::number(portNo));
}

void TFtpnoset::createControls()
{
    setFixedSize(760, 600);

    auto edit = [this](const char *name, const QRect &where) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(where);
        return e;
    };
    auto label = [this](const QString &text, const QRect &where) {
        auto *l = new QLabel(text, this);
        l->setGeometry(where);
        return l;
    };
    auto memo = [this](const char *name, const QRect &where) {
        auto *m = new QPlainTextEdit(this);
        m->setObjectName(QLatin1String(name));
        m->setGeometry(where);
        return m;
    };

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 8, 400, 500);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->verticalHeader()->setDefaultSectionSize(20);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->horizontalHeader()->setDefaultSectionSize(62);
    if (m_dm) {
        m_gridModel = new TTpGridModel(m_dm->Dsqmidtp, this);
        DBGrid1->setModel(m_gridModel);
    }

    label(QStringLiteral("ZEK"), QRect(420, 8, 100, 20));
    Edzek = edit("Edzek", QRect(420, 28, 100, 26));
    Edzek->setText(QStringLiteral("0"));

    RGkind = new TRadioGroup(QStringLiteral("Data"), {QStringLiteral("Set"), QStringLiteral("Check")}, this);
    RGkind->setObjectName(QStringLiteral("RGkind"));
    RGkind->setGeometry(530, 8, 100, 80);
    RGkind->setItemIndex(0);

    RGorder = new TRadioGroup(QStringLiteral("Order"),
                              {QStringLiteral("ZEK"), QStringLiteral("HIT"), QStringLiteral("LENGTH")}, this);
    RGorder->setObjectName(QStringLiteral("RGorder"));
    RGorder->setGeometry(640, 8, 110, 100);

    Button1 = new TCuteButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setText(QStringLiteral("ＴＰ Ｄａｔａ Ｃｌｅａｒ"));
    Button1->setGeometry(420, 116, 330, 36);

    label(QStringLiteral("設定済み"), QRect(420, 160, 160, 20));
    Edit1 = edit("Edit1", QRect(420, 180, 100, 26));
    label(QStringLiteral("ＴＰ Ｎｏ"), QRect(530, 160, 160, 20));
    edit5 = edit("edit5", QRect(530, 180, 120, 26));
    edtno = edit("edtno", QRect(420, 214, 60, 26));
    edrno = edit("edrno", QRect(488, 214, 60, 26));
    edit12 = edit("edit12", QRect(556, 214, 94, 26));
    edrmax = edit("edrmax", QRect(658, 214, 92, 26));

    label(QStringLiteral("Commポート"), QRect(420, 248, 100, 20));
    auto *ports = new TPortCombo(this);
    Cbxcomm1 = ports;
    Cbxcomm1->setObjectName(QStringLiteral("Cbxcomm1"));
    Cbxcomm1->setGeometry(520, 246, 130, 26);

    Memo1 = memo("Memo1", QRect(420, 280, 330, 180));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setTabStopDistance(48);
    Memo5 = memo("Memo5", QRect(420, 466, 200, 42));

    CuteButton1 = new TCuteButton(this);
    CuteButton1->setObjectName(QStringLiteral("CuteButton1"));
    CuteButton1->setText(QStringLiteral("×"));
    CuteButton1->setGeometry(680, 516, 70, 36);

    CommX1 = new TCommX(this);
    CommX1->setObjectName(QStringLiteral("CommX1"));
    CommX1->SetPortNo(6);
    CommX1->SetFlowCtrl(cfcXonXoff);
    CommX1->SetBufLenReceive(8192);
    m_ports = new TSerialPortChoice(CommX1, this);
    LbPortStatus = MakeNoticeLine(QStringLiteral("LbPortStatus"), this);
    LbPortStatus->setGeometry(8, 514, 664, 42);
    lRegisterNotice = MakeNoticeLine(QStringLiteral("lRegisterNotice"), this);
    lRegisterNotice->setGeometry(8, 558, 744, 38);
    lRegisterNotice->setWordWrap(true);
    LbPortStatus->setWordWrap(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    connect(CommX1, &TCommX::OnReceive, this, &TFtpnoset::CommX1Receive);
    connect(m_ports, &TSerialPortChoice::StatusChanged, this,
            [this](const QString &status) { ShowNotice(LbPortStatus, status); });
    connect(m_ports, &TSerialPortChoice::Reopened, Intake, &TRegistrationIntake::DropPartialLine);
    connect(ports, &TPortCombo::PopupAboutToShow, this,
            [this, ports] { ports->SetEntries(TSerialPortChoice::Entries(AmbPort)); });
    connect(Timer1, &QTimer::timeout, this, &TFtpnoset::Timer1Timer);
    connect(Button1, &QAbstractButton::clicked, this, [this] { RunHandler([this] { Button1Click(); }); });
    connect(RGorder, &TRadioGroup::Click, this, [this] { RunHandler([this] { RGorderClick(); }); });
    connect(CuteButton1, &QAbstractButton::clicked, this, &TFtpnoset::CuteButton1Click);
    connect(Cbxcomm1, &QComboBox::activated, this, [this] { RunHandler([this] { Cbxcomm1Change(); }); });

    connect(Intake, &TRegistrationIntake::alreadyRegistered, this, &TFtpnoset::showAlreadyRegistered);
    connect(Intake, &TRegistrationIntake::nextBibChanged, Edzek, &QLineEdit::setText);
    connect(Intake, &TRegistrationIntake::nextBibNotANumber, this,
            [](const QString &text) { Dialogs::showError(NotIntegerMessage(text)); });
    connect(Intake, &TRegistrationIntake::recordDropped, Memo1, &QPlainTextEdit::appendPlainText);
    connect(Intake, &TRegistrationIntake::recordHandled, this, &TFtpnoset::showHandled);
    connect(Intake, &TRegistrationIntake::noticeChanged, this,
            [this](const QString &notice) { ShowNotice(lRegisterNotice, notice); });
    connect(Intake, &TRegistrationIntake::listReopened, this, &TFtpnoset::showListRow);
}

void TFtpnoset::FormCreate()
{
    amblist.clear();
    ambidle = false;
    Timer1->start();
}

void TFtpnoset::fillPortList()
{
    Cbxcomm1->clear();
    Cbxcomm1->addItems(TSerialPortChoice::Entries(AmbPort));
    const int at = AmbPort > 0 ? Cbxcomm1->findText(PortName(AmbPort)) : 0;
    Cbxcomm1->setCurrentIndex(qMax(at, 0));
}

void TFtpnoset::showEvent(QShowEvent *event)
{
    TWorkingWindow::showEvent(event);
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}

void TFtpnoset::FormShow()
{
    AmbPort = LoadAmbPort();
    fillPortList();
    openAmbPort();

    // The next bib: one after the highest bib that has a transponder.
    Edzek->setText(Intake->ProposedNextBib());
}

void TFtpnoset::openAmbPort()
{
    m_ports->Close();
    CommX1->SetPortNo(AmbPort);
    try {
        m_ports->Open();
    } catch (const ECommError &e) {
        Dialogs::showMessage(TSerialPortChoice::OpenFailureMessage(PortMessage, e, AmbPort));
        if (AmbPort != 0) {
            AmbPort = 0;
            rememberAmbPort(0);
        }
        Cbxcomm1->setCurrentIndex(0);
    }
}

void TFtpnoset::rememberAmbPort(int portNo)
{
    // A settings file that cannot be written costs only the remembered port: the error is
    // shown and the window goes on (the next bib, the chosen port) as if it had been.
    try {
        SaveAmbPort(portNo);
    } catch (const EInOutError &e) {
        Dialogs::showException(e);
    }
}

void TFtpnoset::Cbxcomm1Change()
{
    const int index = Cbxcomm1->currentIndex();
    if (index <= 0) {
        m_ports->Close();
        AmbPort = 0;
        rememberAmbPort(0);
        return;
    }
    const std::optional<int> portNo = TSerialPortChoice::PortOfEntry(Cbxcomm1->currentText());
    if (!portNo || *portNo <= 0)
        return;
    AmbPort = *portNo;
    rememberAmbPort(*portNo);
    openAmbPort();
}

void TFtpnoset::CommX1Receive(QObject *, int ReceiveSize)
{
    ambidle = false;
    QByteArray batch;
    for (int i = 0; i < ReceiveSize; ++i) {
        const int byte = CommX1->ReadByte(); // -1 counts as the byte 0xFF
        batch.append(char(byte < 0 ? 0xFF : byte));
    }
    for (const TAmbLine &line : Intake->Take(batch))
        Memo1->appendPlainText(line.text);
    ambidle = true;
}

void TFtpnoset::Timer1Timer()
{
    if (!ambidle)
        return;
    Timer1->stop();
    // The pass's own errors are shown here and the timer goes on: a database error leaves
    // the record first in the queue, so it is tried again a second later.
    RunHandler([this] { tpnumset(); });
    Timer1->start();
}

void TFtpnoset::tpnumset()
{
    Intake->RegisterQueued(RGkind->ItemIndex() == 0 ? TRegistrationIntake::TMode::Set
                                                    : TRegistrationIntake::TMode::Check,
                           Edzek->text());
}

void TFtpnoset::showAlreadyRegistered(const QString &zek)
{
    const bool running = Timer1->isActive();
    Timer1->stop();
    Dialogs::showMessage(RegisteredMessage);
    Edit1->setText(zek);
    if (running)
        Timer1->start();
}

void TFtpnoset::showHandled(const QString &transponder)
{
    // The display-only counters show "0" rather than nothing.
    const QString tno = edtno->text().isEmpty() ? QStringLiteral("0") : edtno->text();
    const QString rno = edrno->text().isEmpty() ? QStringLiteral("0") : edrno->text();
    edit5->setText(transponder);
    edtno->setText(tno);
    edrno->setText(rno);
    edit12->clear();
}

void TFtpnoset::showListRow(int row)
{
    if (row < 0 || !m_gridModel)
        return;
    const QModelIndex at = m_gridModel->index(row, 0);
    DBGrid1->setCurrentIndex(at);
    DBGrid1->scrollTo(at);
}

void TFtpnoset::Button1Click()
{
    Intake->ResetTable();
}

void TFtpnoset::RGorderClick()
{
    Intake->SortList(RGorder->ItemIndex());
}

void TFtpnoset::CuteButton1Click()
{
    m_ports->Close();
    close();
}

void TFtpnoset::done(int result)
{
    // However the window is left, it stops listening to the decoder.
    Timer1->stop();
    m_ports->Close();
    QDialog::done(result);
}
