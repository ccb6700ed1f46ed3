#pragma once

#include "science/physical_constants.h"

namespace oxtiva
{

// pO2 in atm of the cell gas from the zirconia sensor's voltage against air (0.209 atm), with the
// sensor's calibration constants ax (K) and bx. Checks nothing: the caller decides which readings
// are worth converting. Logs the reference, mV, Tk, ax, bx and the result to ThermocouplesLog().
double SensorpO2(double cellTempC, double sensorVoltage, double ax, double bx);

// The pump cell's Nernst equation, valid only while the pump passes no current. Below this cell
// temperature the electrolyte conducts too poorly for the open-circuit voltage to mean anything.
inline constexpr double PumpCellMinimumKelvin = 775.0;

double CelsiusToKelvin(double tempC);

// Exponent A of the cell-side equation, -V·4F/(R·Tk): what the window logs as "A     =".
double PumpCellSideExponent(double tempC, double pumpVoltage);

// Cell pO2 in atm from the pump's open-circuit voltage (V) and the flush gas pO2 (atm) on the
// pump's outer side. Returns false and leaves pO2 unchanged unless the temperature is above
// PumpCellMinimumKelvin. The window method CellSidepO2 makes its own checks first (grid row,
// galvanostatic mode, set current 0, a point measured at 0 A throughout, parsable Temp and
// PumpV cells) and, on success, logs in this order: "Determining cell pO2 : refpO2="
// flushGaspO2, "... A     =" PumpCellSideExponent, "... V     =" pumpVoltage, "... Tc    ="
// tempC, "... Tk    =" CelsiusToKelvin(tempC), "... pO2   =" pO2.
bool PumpCellSidepO2(double tempC, double pumpVoltage, double flushGaspO2, double& pO2);

// Flush-side pO2 in atm: the same equation solved the other way, from the pump's open-circuit
// voltage and the sensor's cell pO2. Same temperature rule; logs nothing.
bool PumpFlushSidepO2(double tempC, double pumpVoltage, double cellpO2, double& pO2);

} // namespace oxtiva
