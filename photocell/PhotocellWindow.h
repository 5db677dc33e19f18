// The photocell mid window TFhand (form Fhand): takes the photocell timer's frames from a
// serial port and stores each passing, lets the operator give a passing its bib (or takes
// the bib from the frame in automatic mode), writes the competitor's mid time, adds the
// passing display row and reads the mid time aloud.
#pragma once

#include "MidPoints.h"
#include "PhotocellFrame.h"
#include "PhotocellIntake.h"
#include "WorkingWindow.h"

#include <QStringList>
#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QTableView;
class QTimer;
class TCommX;
class TCuteButton;
class TDm1;
class TOnseiPanel;
class TQuery;
class TRadioGroup;
class TSmarTalk;
class TSerialPortChoice;

class TFhand : public TWorkingWindow
{
    Q_OBJECT
public:
    // The main window has prepared the data module's Qmidtime, Qmax, Qdpmid and Qdeltime
    // before it shows the window.
    explicit TFhand(TDm1 *dm, QWidget *parent = nullptr);
    ~TFhand() override;

    QLabel *Label5;
    QLineEdit *Edit3;
    QLabel *Label3;
    QTableView *DBGrid1;
    QMenu *PopupMenu1;
    QAction *N1;
    QCheckBox *CkBauto;
    QLabel *Label1;
    QLineEdit *Edit1;
    QLabel *Label2;
    QLineEdit *Edit2;
    TCuteButton *CuteButton6;
    TRadioGroup *RGoto;
    QLabel *Label4;
    QTableView *DBGrid3;
    QTableView *DBGrid2;
    TCuteButton *CuteButton1;
    TCuteButton *CuteButton2;
    TCuteButton *CuteButton3;
    TCuteButton *CuteButton4;
    TCuteButton *CuteButton5;
    TCuteButton *CuteButton;
    QLabel *Label6;
    QComboBox *Cbxcomm1;
    QLabel *Label7;
    QPlainTextEdit *Memo1;
    QPlainTextEdit *Memo3;
    TCuteButton *CuteButton7;
    QCheckBox *CkBMid;
    TCuteButton *bOnseiPanel;
    TOnseiPanel *pOnseiTest;
    // Non-modal line: why announcements are not heard, while they are on.
    QLabel *lSpeechNotice;
    TSmarTalk *St1;
    QTimer *Timer1;
    TCommX *CommX1;
    // The port's status line: a port that went away, and how long it was away.
    QLabel *LbPortStatus;
    // The intake's red line: the server away and the passings waiting, a journal that
    // cannot be written, passings set aside, recordings that changed nothing.
    QLabel *lIntakeNotice;
    // Journal, storing and recording of the passings, without widgets.
    TPhotocellIntake *Intake;

    // The bib being recorded (from the last frame, then from the bib box in four digits).
    QString curzek;
    // The mid point digit of the newest accepted frame; "" until the first.
    QString framemid;
    // The mid point for which a recording last switched the Mid buttons.
    QString lastmid;
    // The announcement queue, oldest first.
    QStringList talklist;

    // The message for a port that cannot be opened.
    static QString PortMessage();
    // The message for a bib box that holds no whole number.
    static QString BibMessage(const QString &typed);
    // The message for a recording before any frame has named the mid point.
    static QString NoMidPointMessage();
    // The message for a recording of a bib the event's result table does not have.
    static QString NoResultRowMessage(const QString &zek);

public slots:
    void FormCreate();
    void FormShow();
    void Cbxcomm1Change();
    void com1open(int port);
    void CommX1Receive(QObject *Sender, int ReceiveSize);
    void CkBautoClick();
    void CuteButton1Click() { selectMid(1); }
    void CuteButton2Click() { selectMid(2); }
    void CuteButton3Click() { selectMid(3); }
    void CuteButton4Click() { selectMid(4); }
    void CuteButton5Click() { selectMid(5); }
    void DBGrid1KeyDown(int Key);
    void DBGrid3CellClick(const QModelIndex &Column);
    void Edit2KeyDown(int Key);
    void setmidtime();
    void N1Click();
    void CuteButton7Click();
    void CuteButtonClick();
    void CuteButton6Click();
    void RGotoClick();
    void Timer1Timer();
    void St1EVOUTEND(int top, int nexttop);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void selectMid(int n);
    // The mid-point buttons, point k at k - 1.
    std::array<TCuteButton *, MidPointCount> midButtons() const;
    void acceptFrame(const Photocell::TFrame &frame);
    void showStored(const Photocell::TFrame &frame);
    // A committed recording in the window: the statement, the Mid buttons, the
    // announcement, the grids.
    void showRecording(const TPhotocellIntake::TRecording &r);
    void showIntakeNotice();
    void syncRawView();
    // Closes and reopens a query, keeping its grid's current row and scroll position.
    void reopen(TQuery *query, QTableView *grid);
    void reopenNow(TQuery *query, QTableView *grid);
    // The value of a field in the grid's current row; "" without one.
    QString currentValue(QTableView *grid, TQuery *query, const QString &field) const;
    void pause();
    // After the passing is committed: its announcement and the CkBMid pause.
    void announce(const QString &zek, const QString &t);
    void showSpeechNotice();

    TDm1 *m_dm;
    TSerialPortChoice *m_ports;
    Photocell::TFrameReader m_reader;
    Photocell::TLineLog m_raw;
    Photocell::TLineLog m_frames;
    bool m_pauseOpen = false;
    // The port reported a line error since the last line ended: the line it hit is doubted.
    bool m_lineError = false;
    // While the intake shows what it stored: grid refreshes never open a box.
    bool m_quietRefresh = false;
};
