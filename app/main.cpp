// Program entry: one running copy, the application title, the windows that live for the
// whole run, and the message loop.
#include "CommandLine.h"
#include "Dialogs.h"
#include "SingleInstance.h"
#include "StationFolders.h"
#include "Application.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "MainWindow.h"

#include <QFileInfo>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (AnswerCommandLine(argc, argv))
        return 0;
    TApplication app(argc, argv);
    const QString folderProblem = StationFolders::EnterUserFolders();
    if (!folderProblem.isEmpty())
        fprintf(stderr, "midstation: %s\n", qPrintable(folderProblem));
    app.setApplicationDisplayName(QStringLiteral("Vidadiva Application"));
    // Lets the desktop match the windows to the menu entry 中間計時 and its icon.
    app.setDesktopFileName(QStringLiteral("midstation"));

    TSingleInstance instance(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    const TSingleInstance::Start start = instance.claim();
    if (start == TSingleInstance::Start::Refused) {
        std::fprintf(stderr, "%s\n", TSingleInstance::RefusedMessage().toLocal8Bit().constData());
        Dialogs::showMessage(TSingleInstance::RefusedMessage());
    }
    if (start != TSingleInstance::Start::Go)
        return 0;

    // The data module first, so that every window is given it when created; nothing
    // connects before the main window is shown. Then the main window and the check list.
    Dm1 = new TDm1(&app);
    TFmain Fmain(Dm1);
    Fcheck = new TFcheck(Dm1, &Fmain);
    QObject::connect(&instance, &TSingleInstance::raiseRequested, &Fmain, [&Fmain] {
        Fmain.setWindowState(Fmain.windowState() & ~Qt::WindowMinimized);
        Fmain.show();
        Fmain.raise();
        Fmain.activateWindow();
    });
    Fmain.show();
    const int rc = app.exec();
    return rc;
}
