// One send-only exchange of the transport, for tests that watch it from outside the
// process: serial_send_once PORT BAUD COMMAND (the command without its CR).
#include "instruments/serial_port.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: serial_send_once PORT BAUD COMMAND\n");
        return 2;
    }
    oxtiva::TSerialPort port;
    port.Port = QString::fromLocal8Bit(argv[1]);
    port.BaudRate = QByteArray(argv[2]).toInt();
    const oxtiva::TSerialResponse r = port.Send2(QByteArray(argv[3]) + '\r', false);
    if (!r.Status.isEmpty()) std::fprintf(stderr, "%s\n", r.Status.constData());
    return r.Status.isEmpty() ? 0 : 1;
}
