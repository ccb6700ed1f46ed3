#include "instruments/plausible_readings.h"

#include <cmath>

namespace oxtiva
{

namespace
{

constexpr double SmuMaxVolts = 21;
constexpr double SmuMaxAmperes = 1.05;
constexpr double DmmMaxVolts = 1010;
constexpr double DmmMaxOhms = 120e6;

bool WithinMagnitude(double value, double limit)
{
    return std::isfinite(value) && std::fabs(value) <= limit;
}

} // namespace

bool IsOverflowReading(double value)
{
    return std::fabs(value) >= 9.9e37;
}

bool PlausibleSmuVoltage(double volts)
{
    return WithinMagnitude(volts, SmuMaxVolts);
}

bool PlausibleSmuCurrent(double amperes)
{
    return WithinMagnitude(amperes, SmuMaxAmperes);
}

bool PlausibleDmmVoltage(double volts)
{
    return WithinMagnitude(volts, DmmMaxVolts);
}

bool PlausibleDmmResistance(double ohms)
{
    return WithinMagnitude(ohms, DmmMaxOhms) && ohms >= 0;
}

bool PlausiblepO2(double atm)
{
    return std::isfinite(atm) && atm > 0;
}

} // namespace oxtiva
