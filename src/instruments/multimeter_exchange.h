#pragma once

#include <QByteArray>
#include <QList>

namespace oxtiva
{

class TSerialPort;

// The multimeter's set-up sequence: reset, beeper off, display on, one reading per
// query, auto-zero on, DC volts and ohms at 1 power-line cycle without filter.
QList<QByteArray> MultimeterSetupCommands();

// Parses one reading. The value is stored even when the text does not convert whole;
// true only for a whole, finite number that is not the instrument's overflow reading
// (9.9E37, however it is written).
bool GetValue(const QByteArray& Input, double& Output);

// Opens every scanner relay, then closes the one of aChannel.
void CloseChannel(int aChannel, TSerialPort& COM);

// One reading on the closed channel; aResult keeps its content when the exchange fails
// or the reading is not one the function can give (see plausible_readings.h).
bool Voltage(double& aResult, TSerialPort& COM);
bool Resistance(double& aResult, TSerialPort& COM);

} // namespace oxtiva
