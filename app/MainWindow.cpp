#include "MainWindow.h"

#include "CuteButton.h"
#include "DbSelect.h"
#include "Dialogs.h"
#include "EventStatements.h"
#include "TransponderStatements.h"
#include "Settings.h"
#include "StationFolders.h"
#include "RadioGroup.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "ChipTagWindow.h"
#include "RegistrationWindow.h"
#include "WindowPlace.h"
#include "ProgramSettings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>
#include <memory>

static void initResources()
{
    Q_INIT_RESOURCE(app); // the logo lives in this static library
}

TFmain::TFmain(TDm1 *dm, QWidget *parent) : QMainWindow(parent), m_dm(dm)
{
    initResources();
    setObjectName(QStringLiteral("Fmain"));
    setWindowTitle(QStringLiteral("中間計時"));
    createControls();
    FormCreate();
}

TFmain::~TFmain() = default;

int TFmain::DataIndex() const
{
    return m_dbSelect->DataIndex;
}

void TFmain::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    client->setPalette(pal);
    client->setFixedSize(720, 484);
    setCentralWidget(client);
    setFixedSize(720, 484);

    auto label = [client](const char *name, const QString &text, const QRect &where) {
        auto *l = new QLabel(text, client);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(where);
        return l;
    };

    Image1 = label("Image1", QString(), QRect(16, 16, 329, 129));
    Image1->setPixmap(QPixmap(QStringLiteral(":/app/logo.jpg")));

    Label1 = label("Label1", QStringLiteral("Plovo MId"), QRect(16, 150, 560, 110));
    QFont big(QStringLiteral("IPAGothic"));
    big.setPixelSize(80);
    big.setBold(true);
    Label1->setFont(big);
    QPalette yellow = Label1->palette();
    yellow.setColor(QPalette::WindowText, Qt::yellow);
    Label1->setPalette(yellow);

    Label2 = label("Label2", QStringLiteral("V1.05"), QRect(584, 196, 120, 24));
    lUPD = label("lUPD", QStringLiteral("01/01/2000"), QRect(584, 222, 120, 24));

    Label16 = label("Label16", QString(), QRect(0, 268, 720, 28));
    Label16->setAlignment(Qt::AlignCenter);
    QFont status = Label16->font();
    status.setPixelSize(20);
    Label16->setFont(status);
    QPalette orange = Label16->palette();
    orange.setColor(QPalette::WindowText, QColor(255, 160, 0));
    Label16->setPalette(orange);

    auto button = [client](const char *name, const QString &caption, const QRect &where) {
        auto *b = new TCuteButton(client);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setGeometry(where);
        QFont f(QStringLiteral("IPAGothic"));
        f.setPixelSize(24);
        f.setBold(true);
        b->setFont(f);
        return b;
    };
    CuteButton2 = button("CuteButton2", QStringLiteral("ZIRNOK TAG"), QRect(24, 312, 210, 80));
    CuteButton1 = button("CuteButton1", QStringLiteral("光電管"), QRect(254, 312, 210, 80));
    CuteButton3 = button("CuteButton3", QStringLiteral("ＴＰ Ｎｏ． Ｓｅｔ"), QRect(24, 404, 210, 60));
    CuteButton3->setVisible(false); // registration is not offered to the operator
    CuteButton4 = button("CuteButton4", QStringLiteral("閉じる"), QRect(530, 404, 170, 60));

    RGdb = new TRadioGroup(QStringLiteral("MySQL"),
                           {QStringLiteral("Local"), QStringLiteral("Test"), QStringLiteral("Server")}, client);
    RGdb->setObjectName(QStringLiteral("RGdb"));
    RGdb->setGeometry(QRect(584, 16, 120, 120));
    // White captions on the black window; the indicators keep their own colours.
    QPalette captions = RGdb->palette();
    captions.setColor(QPalette::WindowText, Qt::white);
    RGdb->setPalette(captions);
    for (int i = 0; i < RGdb->Items().size(); ++i)
        RGdb->button(i)->setPalette(captions);

    m_dbSelect = new TDbSelect(RGdb, Label16, m_dm, this);
    connect(RGdb, &TRadioGroup::Click, this, [this] { RunHandler([this] { m_dbSelect->RGdbClick(); }); });
    connect(CuteButton2, &QAbstractButton::clicked, this, [this] { RunHandler([this] { CuteButton2Click(); }); });
    connect(CuteButton1, &QAbstractButton::clicked, this, [this] { RunHandler([this] { CuteButton1Click(); }); });
    connect(CuteButton3, &QAbstractButton::clicked, this, [this] { RunHandler([this] { CuteButton3Click(); }); });
    connect(CuteButton4, &QAbstractButton::clicked, this, &TFmain::CuteButton4Click);
}

QString TFmain::FileDateText(const QString &path)
{
    // The date as yyyy/mm/dd, rearranged to dd/mm/yyyy.
    const QString ymd = QFileInfo(path).lastModified().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")).left(10);
    return ymd.mid(8, 2) + QLatin1Char('/') + ymd.mid(5, 3) + ymd.left(4);
}

void TFmain::FormCreate()
{
    IniPath = StationFolders::SettingsFile();
    const TMainFormSettings form = LoadSettings(IniPath);
    move(form.Left, form.Top);
    WindowPlace::KeepOnScreen(this); // the place was saved on another screen, perhaps
    m_dbSelect->DataIndex = form.DataIndex;
    // Registration is not offered to the operator, unless the crew has said so.
    CuteButton3->setVisible(form.TpNoSet);
    lUPD->setText(FileDateText(QCoreApplication::applicationFilePath()));
}

void TFmain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFmain::FormShow()
{
    // Selecting the remembered database is what makes the first connection.
    RGdb->setItemIndex(qBound(-1, m_dbSelect->DataIndex, 2));
}

void TFmain::closeEvent(QCloseEvent *event)
{
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
    event->accept();
}

void TFmain::FormClose()
{
    // An unwritable settings file is reported; the station still closes.
    RunHandler([this] {
        IniPath = StationFolders::SettingsFile();
        TMainFormSettings form;
        form.Left = x();
        form.Top = y();
        form.DataIndex = m_dbSelect->DataIndex;
        SaveSettings(IniPath, form);
    });
}

void TFmain::CuteButton2Click()
{
    // Created first and released when the handler ends, whichever way it ends.
    auto Fmid = std::make_unique<TFmid>(m_dm, this);
    ProgramSettings.CurrentTcode = m_dm->ReadEventInfoTcode();
    if (ProgramSettings.CurrentTcode.isEmpty()) {
        Dialogs::showMessage(QStringLiteral("大会が実行されていません。"));
        return;
    }
    Fmid->exec();
}

void TFmain::CuteButton1Click()
{
    // Created first and released when the handler ends, whichever way it ends.
    auto Fhand = std::make_unique<TFhand>(m_dm, this);
    ProgramSettings.CurrentTcode = m_dm->ReadEventInfoTcode();
    if (ProgramSettings.CurrentTcode.isEmpty())
        ProgramSettings.CurrentTcode = QStringLiteral("0");

    m_dm->Qsttime->setSQL(EventRowSql(ProgramSettings.CurrentTcode));
    m_dm->Qsttime->Open();
    QString name = m_dm->Qsttime->FieldByName(QStringLiteral("TIKIMEI")).AsString();
    if (name.isEmpty())
        name = QStringLiteral("大会未指定");

    m_dm->PreparePhotocellQueries(ProgramSettings.CurrentTcode);

    Fhand->Edit3->setText(ProgramSettings.CurrentTcode);
    Fhand->Label3->setText(name);
    Fhand->exec();
}

void TFmain::CuteButton3Click()
{
    m_dm->Qmidtp->setSQL(TransponderStatements::MidtpByBibSql());
    m_dm->Qmidtp->Open();
    TFtpnoset Ftpnoset(m_dm, this);
    Ftpnoset.exec();
}

void TFmain::CuteButton4Click()
{
    close();
}
