#pragma once

#include <span>
#include <stdexcept>
#include <string>

namespace oxtiva
{

class TLogger;

// Thermocouple types in their stored ordinal order. tcVoltage means that no thermocouple is
// attached: conversions pass the voltage through. The operations below also accept any other
// ordinal (static_cast) and give a fixed answer for it instead of failing.
enum TThermocoupleType : int { tcJ, tcK, tcE, tcT, tcS, tcR, tcN, tcB, tcC, tcD, tcG, tcVoltage };

// Raised by the EMF-to-temperature conversions of J, E, T, R, N, B, C, D and G for an EMF outside
// the type's limits. what() is the fixed English message in UTF-8, e.g.
// "J Thermocouple µV out of range.". Callers avoid it by asking TCVoltageInRange first.
class TThermocoupleRangeError : public std::runtime_error
{
  public:
    explicit TThermocoupleRangeError(const std::string& message) : std::runtime_error(message) {}
};

// The unit's logger (category "Thermocouples unit"), created switched off on first use.
TLogger& ThermocouplesLog();

// Value at x of the polynomial whose coefficients are stored highest power first; evaluated from
// the constant term upward with a running power. An empty array gives 0.
double EvalPolynomial(std::span<const double> coefficientsHighestFirst, double x);

// True when the EMF (in volts) lies inside the type's inclusive limits. tcVoltage is always in
// range; an unknown ordinal never is. Never raises.
bool TCVoltageInRange(TThermocoupleType type, double volt);

// Temperature in °C of a thermocouple EMF in microvolts. At a sub-range breakpoint the upper
// sub-range applies. K and S are evaluated at any EMF; the other thermocouple types raise
// TThermocoupleRangeError outside their limits. tcVoltage returns the EMF in volts; an unknown
// ordinal returns 0.
double TCMicroVoltToTemp(TThermocoupleType type, double microVolt);

// The same conversion with the EMF given in volts.
double TCVoltToTemp(TThermocoupleType type, double volt);

// EMF in microvolts whose temperature is tempC, found by bisection inside the type's limits to
// within 0.01 µV. Never raises: a temperature beyond the range gives the nearer limit. tcVoltage
// and unknown ordinals give 0.
double TCTempToMicroVolt(TThermocoupleType type, double tempC);

// Temperature in °C of the 10 kΩ NTC cold-end thermistor. Accepts 2986 Ω to 32600 Ω (about
// 55 °C down to 0 °C); otherwise returns false and leaves tempC unchanged.
bool ThermistorTemp(double& tempC, double resistance);

} // namespace oxtiva
