#pragma once

#include <QStringList>

#include <optional>

namespace oxtiva
{

// The serial ports the system knows, by the names the transport accepts. On Windows the
// value data of the registry key HARDWARE\DEVICEMAP\SERIALCOMM ("COM3"), in the
// registry's order: none when the key is absent, an empty list when it holds no value.
// Elsewhere the device paths such as "/dev/ttyUSB0", none when there is no port.
std::optional<QStringList> AvailableSerialPorts();

} // namespace oxtiva
