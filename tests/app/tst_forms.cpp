// Every window's controls by name, with the caption the operator reads on each: one row
// per control, one lookup for every kind of control. The windows are opened as their own
// suites open them, on the real server; what they do is tested there.
#include "ProfileFile.h"
#include "SpeechEngine.h"
#include "TestSupport.h"
#include "VoicePanel.h"
#include "DataModule.h"
#include "MainWindow.h"
#include "PhotocellWindow.h"
#include "RegistrationWindow.h"
#include "ProgramSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QtTest>

#include <map>

using namespace TestSupport;

namespace
{

// What the operator reads on a control: a window's title, a button's or check box's
// text, a label's text, a group's title, a menu entry's text. Null for anything else.
QString shownText(const QObject *control)
{
    if (auto *w = qobject_cast<const QWidget *>(control); w && w->isWindow())
        return w->windowTitle();
    if (auto *b = qobject_cast<const QAbstractButton *>(control))
        return b->text();
    if (auto *l = qobject_cast<const QLabel *>(control))
        return l->text();
    if (auto *g = qobject_cast<const QGroupBox *>(control))
        return g->title();
    if (auto *a = qobject_cast<const QAction *>(control))
        return a->text();
    return QString();
}

} // namespace

class TstForms : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void controls_data();
    void controls();

private:
    QWidget *window(const QString &name);

    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
    std::unique_ptr<DialogRecorder> m_dialogs;
    std::unique_ptr<TSmarTalk> m_voice; // the voice panel's engine, outliving the panel
    std::map<QString, std::unique_ptr<QWidget>> m_windows;
};

void TstForms::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_forms"));
    QDir::setCurrent(m_work.path());
    qputenv("XDG_DATA_HOME", m_work.filePath(QStringLiteral("share")).toLocal8Bit());
    ProfileFile::WriteString(m_work.filePath(QStringLiteral("VidadIva.ini")), QStringLiteral("DB"),
                             QStringLiteral("DataIndex"), QStringLiteral("0"));
    m_dialogs = std::make_unique<DialogRecorder>();
    Dm1 = new TDm1(this);
}

void TstForms::cleanupTestCase()
{
    m_windows.clear();
}

// The window of a row, opened the first time a row asks for it.
QWidget *TstForms::window(const QString &name)
{
    std::unique_ptr<QWidget> &w = m_windows[name];
    if (w)
        return w.get();
    if (name != QLatin1String("main") && !Dm1->DB->Connected())
        ConnectDataModule(Dm1);
    if (name == QLatin1String("main")) {
        w = std::make_unique<TFmain>(Dm1);
    } else if (name == QLatin1String("photocell")) {
        ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
        Dm1->PreparePhotocellQueries(ProgramSettings.CurrentTcode);
        w = std::make_unique<TFhand>(Dm1);
    } else if (name == QLatin1String("registration")) {
        Dm1->Qmidtp->setSQL({QStringLiteral("select * from midtp order by zek")});
        Dm1->Qmidtp->Open();
        w = std::make_unique<TFtpnoset>(Dm1);
    } else if (name == QLatin1String("voice panel")) {
        m_voice = std::make_unique<TSmarTalk>();
        m_voice->setAudioDevice(QString());
        m_voice->setCaptureDir(QString());
        w = std::make_unique<QWidget>();
        new TOnseiPanel(m_voice.get(), TOnseiPanel::TVariant::ChipTag, w.get());
    } else {
        return nullptr;
    }
    w->show();
    return w.get();
}

void TstForms::controls_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption"); // "" when the control only has to be there
    auto row = [](const char *window, const char *name, const char *caption = "") {
        QTest::addRow("%s %s", window, name) << QString::fromLatin1(window) << QString::fromLatin1(name)
                                             << QString::fromUtf8(caption);
    };
    // clang-format off
    row("main", "Fmain", "中間計時");
    row("main", "Image1");
    row("main", "Label1", "Plovo MId");
    row("main", "Label2", "V1.05");
    row("main", "lUPD");
    row("main", "CuteButton2", "ZIRNOK TAG");
    row("main", "CuteButton1", "光電管");
    row("main", "CuteButton3", "ＴＰ Ｎｏ． Ｓｅｔ");
    row("main", "CuteButton4", "閉じる");
    row("main", "RGdb", "MySQL");

    row("photocell", "Fhand", "Fhand");
    row("photocell", "Label5", "大会コード    大会名");
    row("photocell", "Edit3");
    row("photocell", "Label3");
    row("photocell", "DBGrid1");
    row("photocell", "PopupMenu1");
    row("photocell", "N1", "当該データの削除");
    row("photocell", "CkBauto", "自動処理");
    row("photocell", "Label1", "通過時刻");
    row("photocell", "Edit1");
    row("photocell", "Label2", "当てはめゼッケン");
    row("photocell", "Edit2");
    row("photocell", "CuteButton6", "チェックリスト");
    row("photocell", "RGoto", "音声");
    row("photocell", "CkBMid", "Mid");
    row("photocell", "bOnseiPanel", "音声パネル");
    row("photocell", "Label4", "未処理時刻");
    row("photocell", "DBGrid3");
    row("photocell", "DBGrid2");
    row("photocell", "CuteButton1", "Mid ");
    row("photocell", "CuteButton2", "Mid 2");
    row("photocell", "CuteButton3", "Mid 3");
    row("photocell", "CuteButton4", "Mid 4");
    row("photocell", "CuteButton5", "Mid 5");
    row("photocell", "CuteButton", "×");
    row("photocell", "Label6", "Commポート");
    row("photocell", "Cbxcomm1");
    row("photocell", "Label7", "取込データ");
    row("photocell", "Memo1");
    row("photocell", "Memo3");
    row("photocell", "CuteButton7", "全データ削除");
    row("photocell", "St1");
    row("photocell", "pOnseiTest");
    row("photocell", "Timer1");
    row("photocell", "CommX1");

    row("registration", "Ftpnoset", "ＴＰ Ｎｏ． Ｓｅｔ");
    row("registration", "DBGrid1");
    row("registration", "Edzek");
    row("registration", "RGkind", "Data");
    row("registration", "RGorder", "Order");
    row("registration", "Button1", "ＴＰ Ｄａｔａ Ｃｌｅａｒ");
    row("registration", "Edit1");
    row("registration", "edit5");
    row("registration", "edtno");
    row("registration", "edrno");
    row("registration", "edit12");
    row("registration", "edrmax");
    row("registration", "Memo5");
    row("registration", "Memo1");
    row("registration", "CuteButton1", "×");
    row("registration", "CommX1");
    row("registration", "Timer1");
    row("registration", "Cbxcomm1");

    row("voice panel", "pOnseiTest");
    row("voice panel", "CBspeaker");
    row("voice panel", "CuteButton65", "音声テスト");
    row("voice panel", "CuteButton48", "初期化");
    // clang-format on
}

void TstForms::controls()
{
    QFETCH(QString, window);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QWidget *w = this->window(window);
    QVERIFY2(w, qPrintable(window));
    QObject *control = w->objectName() == name ? w : w->findChild<QObject *>(name);
    QVERIFY2(control, qPrintable(name));
    if (!caption.isEmpty())
        QCOMPARE(shownText(control), caption);
}

QTEST_MAIN(TstForms)
#include "tst_forms.moc"
