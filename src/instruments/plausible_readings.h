#pragma once

namespace oxtiva
{

// Readings that cannot be true: a value the instrument cannot have measured never
// reaches an averager, the PID or the grid. Each is false for a value that is not finite
// or lies beyond what the instrument's function can show, which also covers the overflow
// the instruments send instead of a reading (9.9E37, in any spelling).

// The SCPI overflow value, of either sign.
bool IsOverflowReading(double value);

// SourceMeter 2401: at most 21 V and 1.05 A either way.
bool PlausibleSmuVoltage(double volts);
bool PlausibleSmuCurrent(double amperes);

// MultiMeter 2000: DC volts up to 1010 V either way, resistance from 0 to 120 MΩ.
bool PlausibleDmmVoltage(double volts);
bool PlausibleDmmResistance(double ohms);

// A partial pressure: finite and above zero.
bool PlausiblepO2(double atm);

} // namespace oxtiva
