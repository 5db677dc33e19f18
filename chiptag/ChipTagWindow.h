// The chip-tag mid window TFmid (form Fmid): the operator's screen for chip-tag mid
// timing. It polls for new passings, shows the latest passings and the ranking of one mid
// point side by side, lets the operator fix the mid point or follow the latest passing,
// clear the passing display, open the check list, and speaks the queued announcements
// one at a time.
#pragma once

#include "MidIntake.h"
#include "MidPoints.h"
#include "WorkingWindow.h"

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class TCuteButton;
class TDm1;
class TMidRankDelegate;
class TOnseiPanel;
class TRadioGroup;
class TSmarTalk;

class TFmid : public TWorkingWindow
{
    Q_OBJECT
public:
    explicit TFmid(TDm1 *dm, QWidget *parent = nullptr);
    ~TFmid() override;

    // State and operations of the intake: lastupd, evtcode, tagauto, midno,
    // talklist, midlog and the voice switch hook live here.
    TMidIntake *Intake;
    // The poll timer (250 ms, off at creation).
    QTimer *Timer1;
    // The announcement queue's timer (250 ms, off at creation).
    QTimer *Timer2;
    // DBG3DrawColumnCell: the ranking grid's delegate ("JPN" rows in blue).
    TMidRankDelegate *DBG3Delegate;

    QLabel *lTikimei;
    // Non-modal lines above nothing else: why announcements are not heard (while they are
    // on), and the passings that wait for their data (bib and reason).
    QLabel *lSpeechNotice;
    QLabel *lWaiting;
    TCuteButton *bClr;
    QTableView *DBGrid2;
    QTableView *DBG3;
    TCuteButton *b1;
    TCuteButton *b2;
    TCuteButton *b3;
    TCuteButton *B4;
    TCuteButton *B5;
    TCuteButton *bAuto;
    TCuteButton *CuteButton1;
    TRadioGroup *RGoto;
    TCuteButton *CuteButton2;
    TCuteButton *bOnseiPanel;
    TOnseiPanel *pOnseiTest;
    TSmarTalk *St1;
    // Design leftovers that take no part in operation; never visible.
    QPushButton *Button1;
    QPushButton *Button7;
    QLineEdit *Edit12;

    // The colour a mode button shows when selected.
    static QColor SelectedColour(const TCuteButton *button);

    void settagmid() { Intake->settagmid(); }
    void setmidrank(int n) { Intake->setmidrank(n); }
    void dispmidrank() { Intake->dispmidrank(); }

public slots:
    void FormShow();
    void FormClose();
    void Timer1Timer() { Intake->Timer1Timer(); }
    void Timer2Timer();
    void St1EVOUTEND();
    void bAutoClick();
    void b1Click() { midButtonClick(1); }
    void b2Click() { midButtonClick(2); }
    void b3Click() { midButtonClick(3); }
    void B4Click() { midButtonClick(4); }
    void B5Click() { midButtonClick(5); }
    void bClrClick();
    void CuteButton1Click();
    void CuteButton2Click();
    void RGotoClick();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createControls();
    void createGrids();
    // Keeps every control in reach when the window is smaller than its design size.
    void fitToSize();
    void showSpeechNotice();
    void showWaiting();
    void midButtonClick(int k);
    // The mid-point buttons b1 .. B5, point k at k - 1.
    std::array<TCuteButton *, MidPointCount> midButtons() const;
    void showEventName(const QString &name);
    // Shows the selected mode button in its colour and the others in the button face.
    void colourModeButtons(TCuteButton *selected);

    TDm1 *m_dm;
    bool m_closing = false;
};
