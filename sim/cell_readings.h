#pragma once

namespace oxtiva::sim
{

// The calibration the program applies to the sensor at start-up.
inline constexpr double SensorAxK = 29729.36789;
inline constexpr double SensorBx = -23.20793746;

// What the scanner channels carry for a cell in a given state. Each is the inverse of
// the conversion the program applies, computed with the program's own functions, so
// that the program reads back the model's temperatures and pO2.

// Thermistor resistance (ohm) at the cold-end temperature. Outside the thermistor's
// accepted range a resistance just beyond the matching end is returned.
double ThermistorResistance(double coldC);

// Type S thermocouple EMF (V) of the cell junction against the cold end.
double ThermocoupleVolts(double cellC, double coldC);

// Zirconia sensor voltage (V) against air for the cell's pO2 at the cell temperature.
double SensorVolts(double cellC, double po2);

} // namespace oxtiva::sim
