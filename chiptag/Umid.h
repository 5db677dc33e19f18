// The chip-tag mid window TFmid (unit Umid): the poll, the intake pass, the ranking and
// its display, and the ranking grid's cell colouring. The controls are still to come.
#pragma once

#include "MidIntake.h"

#include <QDialog>

class QTimer;
class TDm1;
class TMidRankDelegate;

class TFmid : public QDialog
{
    Q_OBJECT
public:
    // Works on the program's data module Dm1 unless given another.
    explicit TFmid(QWidget *parent = nullptr, TDm1 *dm = nullptr);
    ~TFmid() override;

    // State and operations of the intake: lastupd, evtcode, tagauto, midno,
    // talklist, midlog and the voice switch hook live here.
    TMidIntake *Intake;
    // The poll timer (250 ms, off at creation).
    QTimer *Timer1;
    // DBG3DrawColumnCell: the ranking grid's delegate ("JPN" rows in blue).
    TMidRankDelegate *DBG3Delegate;

    void settagmid() { Intake->settagmid(); }
    void setmidrank(int n) { Intake->setmidrank(n); }
    void dispmidrank() { Intake->dispmidrank(); }

public slots:
    void Timer1Timer() { Intake->Timer1Timer(); }
};
