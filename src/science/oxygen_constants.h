#pragma once

#include "science/oxygen_balance.h"

#include <cstddef>
#include <vector>

namespace oxtiva
{

// The leak constant alpha measured at one cell temperature; a calibration without a
// temperature (CellK NaN) was entered before any point told it and holds at every one.
struct TAlphaCalibration {
    double CellK = 0;
    double Alpha = 0; // mol / (s atm^(1/4))
};

// Equal, a calibration at every temperature equal to another such.
bool SameCalibration(const TAlphaCalibration& a, const TAlphaCalibration& b);

// By rising temperature.
using TAlphaCalibrations = std::vector<TAlphaCalibration>;

// Two calibrations this close in temperature are of the same temperature: the newer one
// replaces the older.
inline constexpr double SameCalibrationK = 5;

// Adds the calibration at aCellK (NaN: at every temperature, in place of all others).
void Calibrate(TAlphaCalibrations& aCalibrations, double aCellK, double aAlpha);

// alpha at aCellK. It follows the electrolyte's conductivity, so between two calibrated
// temperatures ln(alpha) is interpolated linearly in 1/T (Arrhenius); where one of the two
// is not positive (no leak entered) alpha itself is. Outside the calibrated range the
// nearest calibration holds: an activation energy from two calibrations a few tens of
// kelvin apart carries their errors magnified by the distance, and the conductivity of
// an oxide electrolyte bends away from one Arrhenius line, so extrapolating would invent
// a value the operator never measured. 0 without a calibration.
double AlphaAt(const TAlphaCalibrations& aCalibrations, double aCellK);

// The temperature of the calibration whose alpha is held at aCellK, when that lies more
// than SameCalibrationK outside the calibrated range: the operator is told that alpha was
// not measured near this temperature. NaN within the range, near its ends, and for a
// calibration entered without a temperature.
double AlphaHeldFromK(const TAlphaCalibrations& aCalibrations, double aCellK);

// The constants from one time on: the sample's (b0, n0, bs), which describe it as it was
// loaded and so hold for the whole run, the cell's, and alpha by temperature.
struct TConstantsPeriod {
    double FromS = 0;                  // run seconds, the balance's clock
    TOxygenBalanceConstants Constants; // LeakAlpha: the value last entered
    TAlphaCalibrations Alpha;
};

// By rising FromS, never empty; the first period also holds before its FromS.
using TConstantsHistory = std::vector<TConstantsPeriod>;

// A history of one period from 0 on, alpha at every temperature.
TConstantsHistory OneConstantsPeriod(const TOxygenBalanceConstants& aConstants);

// The period in force at aTimeS: the last one that starts at or before it.
const TConstantsPeriod& PeriodAt(const TConstantsHistory& aHistory, double aTimeS);

// The index of the period in force at aTimeS, looked for from aHint on first: points come
// in time order, so the period of the point before nearly always holds or is the one
// before, and an update costs the same however many changes the run has seen.
std::size_t PeriodIndexAt(const TConstantsHistory& aHistory, double aTimeS, std::size_t aHint);

// What the balance books a point at aTimeS and aCellK with: alpha resolved for it.
TOxygenBalanceConstants ConstantsAt(const TConstantsHistory& aHistory, double aTimeS,
                                    double aCellK);
TOxygenBalanceConstants ConstantsOf(const TConstantsPeriod& aPeriod, double aCellK);

// The operator's constants from aFromS on; a changed alpha is a calibration at aCellK.
// Periods from aFromS on give way to the new one, and a change of the sample's
// constants reaches every period.
void ChangeConstants(TConstantsHistory& aHistory, double aFromS,
                     const TOxygenBalanceConstants& aConstants, double aCellK);

// The newest constants over the whole run, from the first period's start.
void ApplyToWholeRun(TConstantsHistory& aHistory);

bool SameSampleConstants(const TOxygenBalanceConstants& a, const TOxygenBalanceConstants& b);

} // namespace oxtiva
