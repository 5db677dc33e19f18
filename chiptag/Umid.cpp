#include "Umid.h"

#include "MidRankDelegate.h"
#include "Udm1.h"

#include <QTimer>

TFmid::TFmid(QWidget *parent, TDm1 *dm) : QDialog(parent)
{
    setObjectName(QStringLiteral("Fmid"));
    setWindowTitle(QStringLiteral("Fmid"));
    // FormCreate: the intake creates midlog with FileName "VidadIva.log".
    Intake = new TMidIntake(dm ? dm : Dm1, this);
    Timer1 = Intake->Timer1;
    DBG3Delegate = new TMidRankDelegate(this);
    DBG3Delegate->setObjectName(QStringLiteral("DBG3Delegate"));
}

// FormDestroy: midlog goes with the intake.
TFmid::~TFmid() = default;
