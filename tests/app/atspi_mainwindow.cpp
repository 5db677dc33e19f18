// The real main window, on a suite database, reporting each button click on standard
// output, for the AT-SPI driver that presses its buttons from outside the process.
#include "CuteButton.h"
#include "Application.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "MainWindow.h"

#include <QDialog>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    app.setApplicationDisplayName(QStringLiteral("Vidadiva Application"));
    TestSupport::SuiteDatabase database(QStringLiteral("t_atspi_main"));
    TestSupport::DialogRecorder dialogs; // no box may block the driver
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    Dm1 = new TDm1(&app);
    TFmain window(Dm1);
    for (TCuteButton *b : window.findChildren<TCuteButton *>())
        QObject::connect(b, &QAbstractButton::clicked, b, [b] {
            std::printf("clicked %s %s\n", qPrintable(b->objectName()), b->text().toUtf8().constData());
            std::fflush(stdout);
        });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] {
        std::printf("main window closed\n");
        std::fflush(stdout);
    });
    // A working window runs modally; it is closed as soon as it shows, so the driver can
    // press the next button of the main window.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto *working = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            working->close();
    });
    closer.start(100);
    window.show();
    return app.exec();
}
