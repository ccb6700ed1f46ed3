#pragma once

namespace oxtiva
{

// The physical constants the program's equations share, each defined here only. The values
// are those every stored result was computed with; a change of a digit would move b in
// files already written. The oxygen sensor's Nernst constants are not among them: they are
// part of the sensor's calibration (oxygen_sensor.cpp) and stay as the sensor was fitted.
inline constexpr double FaradayConstant = 96485;     // C / mol
inline constexpr double GasConstant = 8.314;         // J / (mol K)
inline constexpr double GasConstantLAtm = 0.082057;  // L atm / (mol K)
inline constexpr double ZeroCelsiusK = 273.15;       // K
inline constexpr double ElectronsPerO2 = 4;          // O2 + 4 e- = 2 O2-

} // namespace oxtiva
