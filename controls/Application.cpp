#include "Application.h"

#include "Dialogs.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EHandlerStopped &) {
        // Its box has been shown.
    } catch (const std::exception &e) {
        Dialogs::showException(e);
    }
    return false;
}
