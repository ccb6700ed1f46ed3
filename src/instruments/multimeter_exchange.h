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

// One command line that opens every scanner relay, closes the one of aChannel, chooses
// the function and reads: the instrument takes the reading under that channel and
// function or, when the line does not reach it whole, not at all. Sent as separate
// commands, a lost channel command would have the query read whatever input was left.
QByteArray ChannelReadingCommand(int aChannel, const QByteArray& function);

// One reading on aChannel; aResult keeps its content when the exchange fails or the
// reading is not one the function can give (see plausible_readings.h).
bool Voltage(int aChannel, double& aResult, TSerialPort& COM);
bool Resistance(int aChannel, double& aResult, TSerialPort& COM);

} // namespace oxtiva
