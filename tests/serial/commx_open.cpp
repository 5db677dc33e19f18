// A second program on a serial port, for the suites: opens COM<n> with the component, in
// the current working folder as the station would, and prints "open", or the component's
// message and what a window adds to it for the operator.
#include "CommX.h"
#include "PortChoice.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int port = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 0;
    QTextStream out(stdout);
    TCommX comm;
    comm.SetPortNo(port);
    try {
        comm.Open();
    } catch (const ECommError &e) {
        out << e.message() << '\n' << TSerialPortChoice::OpenFailureReason(e, port) << '\n';
        return 1;
    }
    out << "open\n";
    return 0;
}
