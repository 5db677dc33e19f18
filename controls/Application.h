// The application object. Every handler catches its own errors (RunHandler); the notify
// override is the last resort, the default error box for an error that still escapes one.
#pragma once

#include <QApplication>

class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
