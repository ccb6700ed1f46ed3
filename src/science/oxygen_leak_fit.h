#pragma once

#include <vector>

namespace oxtiva
{

class TOxygenHistory;

// Which way oxygen leaks into the cell: through the electrolyte (quarter-power law),
// through a seal (linear in the pressure difference), or both at once.
enum class TLeakLaw { Electrolyte, Seal, Both };

// A point of a steady hold, where the sample is at rest and whatever the balance cannot
// explain by gas and pump came through the leak.
struct TLeakFitPoint {
    int Hold = 0;              // the points of one hold share it
    double UnexplainedMol = 0; // (n_gas - n_gas,first) + n_pump since the first point
    double QuarterForceS = 0;  // the integrals of the leak laws' driving forces
    double LinearForceS = 0;
    double pO2 = 0; // the point's mean, atm
    double CellK = 0;
    double CurrentA = 0; // the point's mean pump current
    int GridRow = -1;
};

// How much a sensor offset of 1 mV moves each driving force at a pO2 and temperature: the
// driving force's own uncertainty.
struct TForceUncertainty {
    double Quarter;
    double Linear;
};
TForceUncertainty SensorOffsetEffect(double pO2, double cellK);

// Above this share of the driving force a fit of the leak is refused.
inline constexpr double LargestOffsetShare = 0.1;

// Two points this close in temperature share one alpha.
inline constexpr double SameTemperatureK = 5;

enum class TLeakFitStatus { Ok, TooFewPoints, NoDrivingForce, NeedsTwoPressures };

struct TLeakFit {
    TLeakFitStatus Status = TLeakFitStatus::TooFewPoints;
    TLeakLaw Law = TLeakLaw::Electrolyte;
    double Alpha = 0; // mol / (s atm^(1/4)), with its standard error
    double AlphaError = 0;
    double Seal = 0; // mol / (s atm)
    double SealError = 0;
    double RmsResidualMol = 0; // how well the law fits
    int Points = 0;
    int Holds = 0;
    // The share by which a sensor offset of 1 mV would change the fitted constants: the
    // driving force's own uncertainty. Above a tenth the fit is refused.
    double OffsetShare = 0;
};

// The leak constants by least squares over the steady holds: the unexplained amount
// against the integrals of the driving forces, with an offset of its own for each hold
// (the sample may have moved between holds, never within one).
TLeakFit FitLeak(const std::vector<TLeakFitPoint>& points, TLeakLaw law, double flushpO2);

// The holds of the last day before the newest steady point count: the leak follows the
// electrolyte, which ages, and the fit costs the same however long the run.
inline constexpr double LeakFitSpanS = 86400;

// The steady points of the last LeakFitSpanS of the history, grouped into holds that no gap
// or unsteady point interrupts, at the temperature of the newest steady point (within a few
// kelvin).
std::vector<TLeakFitPoint> SteadyHoldPoints(const TOxygenHistory& history);

} // namespace oxtiva
