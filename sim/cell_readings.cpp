#include "cell_readings.h"

#include "science/thermocouples.h"

#include <cmath>

namespace oxtiva::sim
{

namespace
{

constexpr double ThermistorLowestOhm = 2986;
constexpr double ThermistorHighestOhm = 32600;
constexpr double AirPO2 = 0.209;
constexpr double SensorMilliVoltFactor = 46.4158749248346362;

double ThermistorC(double ohm)
{
    double tempC = 0;
    ThermistorTemp(tempC, ohm);
    return tempC;
}

} // namespace

double ThermistorResistance(double coldC)
{
    // The thermistor's temperature falls as its resistance rises.
    if (coldC > ThermistorC(ThermistorLowestOhm)) return ThermistorLowestOhm - 10;
    if (coldC < ThermistorC(ThermistorHighestOhm)) return ThermistorHighestOhm + 100;
    double lo = ThermistorLowestOhm;
    double hi = ThermistorHighestOhm;
    for (int i = 0; i < 60 && hi - lo > 1e-9; ++i) {
        const double mid = 0.5 * (lo + hi);
        (ThermistorC(mid) > coldC ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double ThermocoupleVolts(double cellC, double coldC)
{
    return (TCTempToMicroVolt(tcS, cellC) - TCTempToMicroVolt(tcS, coldC)) / 1e6;
}

double SensorVolts(double cellC, double po2)
{
    // pO2 = 0.209 exp(k mV / Tk - Ax / Tk - Bx), solved for the voltage.
    const double tk = cellC + 273.15;
    const double milliVolts =
        (std::log(po2 / AirPO2) + SensorAxK / tk + SensorBx) * tk / SensorMilliVoltFactor;
    return milliVolts / 1000;
}

} // namespace oxtiva::sim
