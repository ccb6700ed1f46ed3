#include "science/oxygen_sensor.h"

#include "records/logging.h"
#include "science/thermocouples.h"

#include <cmath>

namespace oxtiva
{

namespace
{

constexpr double AirpO2 = 0.209;
// The Nernst slope 4F/R in kelvin per millivolt, as the sensor's Ax and Bx were fitted with it.
constexpr double SensorSlope = 46.4158749248346362;
// Faraday's and the gas constant as the sensor's and the pump cell's equations were
// calibrated with: part of their calibration, not the physical constants, so they stay
// these values whatever physical_constants.h holds.
constexpr double CalibrationFaraday = 96485.0;
constexpr double CalibrationGasConstant = 8.314;
// e cut to ten decimals and raised with pow rather than exp; the two differ by a relative
// 3E-11 times the exponent, far below what the pump voltage resolves.
constexpr double TruncatedE = 2.7182818284;

double NernstExponent(double pumpVoltage, double tempK)
{
    return pumpVoltage * ElectronsPerO2 * CalibrationFaraday / (CalibrationGasConstant * tempK);
}

} // namespace

double SensorpO2(double cellTempC, double sensorVoltage, double ax, double bx)
{
    const double tk = CelsiusToKelvin(cellTempC);
    const double mv = sensorVoltage * 1000.0;
    const double pO2 = AirpO2 * std::exp(SensorSlope * mv / tk - ax / tk - bx);
    const TLogger& log = ThermocouplesLog();
    log.SendValue(QStringLiteral("Ref: "), AirpO2);
    log.SendValue(QStringLiteral("mV : "), mv);
    log.SendValue(QStringLiteral("Tk : "), tk);
    log.SendValue(QStringLiteral("Ax : "), ax);
    log.SendValue(QStringLiteral("Bx : "), bx);
    log.SendValue(QStringLiteral("   = "), pO2);
    return pO2;
}

double CelsiusToKelvin(double tempC)
{
    return tempC + ZeroCelsiusK;
}

double PumpCellSideExponent(double tempC, double pumpVoltage)
{
    return NernstExponent(-pumpVoltage, CelsiusToKelvin(tempC));
}

bool PumpCellSidepO2(double tempC, double pumpVoltage, double flushGaspO2, double& pO2)
{
    if (!(CelsiusToKelvin(tempC) > PumpCellMinimumKelvin)) return false;
    pO2 = std::pow(TruncatedE, PumpCellSideExponent(tempC, pumpVoltage)) * flushGaspO2;
    return true;
}

bool PumpFlushSidepO2(double tempC, double pumpVoltage, double cellpO2, double& pO2)
{
    if (!(CelsiusToKelvin(tempC) > PumpCellMinimumKelvin)) return false;
    pO2 = std::pow(TruncatedE, NernstExponent(pumpVoltage, CelsiusToKelvin(tempC))) * cellpO2;
    return true;
}

} // namespace oxtiva
