#include "instruments/port_list.h"

#include <QSerialPortInfo>

namespace oxtiva
{

QStringList AvailableSerialPorts()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        names << info.portName(); // systemLocation() would be "\\.\COM3"
#else
        names << info.systemLocation();
#endif
    }
    return names;
}

} // namespace oxtiva
