#include "instruments/port_list.h"

#include <QSerialPortInfo>

namespace oxtiva
{

std::optional<QStringList> AvailableSerialPorts()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.systemLocation();
    if (names.isEmpty()) return std::nullopt;
    return names;
}

} // namespace oxtiva
