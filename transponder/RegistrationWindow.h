// The transponder registration window TFtpnoset (form Ftpnoset): before a race each
// competitor's transponder is passed over the decoder while the window hands out bibs in
// ascending order ("Set"), or records the decoder's hit count and signal strength for
// transponders already known ("Check"). It also resets the table midtp to 300 empty bibs.
#pragma once

#include "RegistrationIntake.h"
#include "WorkingWindow.h"

#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;
class QTimer;
class TCommX;
class TCuteButton;
class TRadioGroup;
class TSerialPortChoice;
class TTpGridModel;
class TDm1;

class TFtpnoset : public TWorkingWindow
{
    Q_OBJECT
public:
    explicit TFtpnoset(TDm1 *dm, QWidget *parent = nullptr);
    ~TFtpnoset() override;

    QTableView *DBGrid1;
    QLineEdit *Edzek;
    TRadioGroup *RGkind;
    TRadioGroup *RGorder;
    TCuteButton *Button1;
    QLineEdit *Edit1;
    QLineEdit *edit5;
    QLineEdit *edtno;
    QLineEdit *edrno;
    QLineEdit *edit12;
    QLineEdit *edrmax;
    QPlainTextEdit *Memo5;
    QPlainTextEdit *Memo1;
    TCuteButton *CuteButton1;
    // The decoder's port, chosen here and remembered in the settings file.
    QComboBox *Cbxcomm1;
    TCommX *CommX1;
    // The port's status line: a port that went away, and how long it was away.
    QLabel *LbPortStatus;
    // Registrations that did not happen: a record that could not be read, a bib without
    // its row. Stays until the window closes, newest last.
    QLabel *lRegisterNotice;
    QTimer *Timer1;

    // The registration itself, without widgets: the queue, the statements, the notices.
    TRegistrationIntake *const Intake;

    // Decoder input: bytes not yet taken as a line, the passing records waiting to be
    // registered (oldest first, the intake's queue), and whether no receive event is running.
    QString ambbuf() const { return Intake->Buffer(); }
    QStringList &amblist;
    bool ambidle = false;

    // The decoder's port number, 0 for none: "Amb" of section "Port" in the settings file.
    int AmbPort = 0;
    static int LoadAmbPort();
    static void SaveAmbPort(int portNo);

public slots:
    void FormCreate();
    void FormShow();
    void CommX1Receive(QObject *Sender, int ReceiveSize);
    void Timer1Timer();
    void tpnumset();
    void Button1Click();
    void RGorderClick();
    void CuteButton1Click();
    void Cbxcomm1Change();

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void createControls();
    void fillPortList();
    // Closes the decoder port and opens it on AmbPort; on failure tells the operator,
    // forgets the port and selects the blank entry.
    void openAmbPort();
    // SaveAmbPort, its error shown rather than passed on.
    void rememberAmbPort(int portNo);
    // What the intake reports, shown in the controls.
    void showAlreadyRegistered(const QString &zek);
    void showHandled(const QString &transponder);
    void showListRow(int row);

    TSerialPortChoice *m_ports = nullptr;
    TDm1 *m_dm;
    TTpGridModel *m_gridModel = nullptr;
};
