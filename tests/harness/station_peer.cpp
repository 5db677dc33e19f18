// One station in a process of its own, for the suites and benchmarks that run several
// stations on one race database: the real chip-tag window with its poll, or the real
// photocell window in automatic mode on a serial port. It works on PlovoLocal (the
// unixODBC files named by the environment) for the event given, says "ready" on
// standard output once its window is shown, and ends when its standard input closes.
// The chip-tag log and the photocell journal are written to the working folder.
//
//   station_peer chiptag EVENT
//   station_peer photocell EVENT COMn   (COMn mapped by VidadIva.ini in the working folder)
#include "CommX.h"
#include "Dialogs.h"
#include "MidIntake.h"
#include "SpeechEngine.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "ChipTagWindow.h"
#include "ProgramSettings.h"
#include "MidTimeLog.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>
#include <unistd.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (args.size() < 3 || (mode != QLatin1String("chiptag") && mode != QLatin1String("photocell")) ||
        (mode == QLatin1String("photocell") && !args.value(3).startsWith(QLatin1String("COM")))) {
        std::fprintf(stderr, "usage: station_peer chiptag EVENT | photocell EVENT COMn\n");
        return 2;
    }
    // Every box is written to standard error instead, so the suite sees it and nothing waits.
    Dialogs::setResponder([](Dialogs::Kind, const QString &, const QString &text) {
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
        return true;
    });
    Dm1 = new TDm1(&app);
    TestSupport::ConnectDataModule(Dm1);
    QMainWindow main;
    Fcheck = new TFcheck(Dm1, &main);
    ProgramSettings.CurrentTcode = args.value(2);
    ProgramSettings.Onsei = 0;

    // Standard input closed: the driving suite is done (or gone).
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });

    std::unique_ptr<QDialog> window;
    if (mode == QLatin1String("chiptag")) {
        auto w = std::make_unique<TFmid>(Dm1, &main);
        w->St1->setAudioDevice(QString());
        // Each station keeps its log in its own working folder, so what it took can be
        // told apart from what another station took.
        w->Intake->midlog->Path = QDir::currentPath() + QLatin1Char('/');
        window = std::move(w);
    } else {
        ProgramSettings.Alge = args.value(3).mid(3).toInt();
        ProgramSettings.Automode = 1;
        Dm1->PreparePhotocellQueries(ProgramSettings.CurrentTcode);
        auto w = std::make_unique<TFhand>(Dm1, &main);
        w->St1->setAudioDevice(QString());
        // Its journal too: a station started again in the same folder finds what it left.
        w->Intake->SetJournalFolder(QDir::currentPath());
        window = std::move(w);
    }
    window->show();
    if (auto *hand = qobject_cast<TFhand *>(window.get()); hand && !hand->CommX1->IsOpen()) {
        std::fprintf(stderr, "station_peer: the photocell window did not open %s\n", qPrintable(args.value(3)));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const int rc = app.exec();
    window->close();
    return rc;
}
