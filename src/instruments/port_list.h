#pragma once

#include <QStringList>

namespace oxtiva
{

// The serial ports the system knows, by the names the transport accepts: "COM3" on
// Windows, the device path such as "/dev/ttyUSB0" elsewhere.
QStringList AvailableSerialPorts();

} // namespace oxtiva
