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

enum class TLeakFitStatus {
    Ok,
    TooFewPoints,
    NoDrivingForce,
    NeedsTwoPressures, // the laws cannot be told apart at the holds' pressures
    NotPositive,       // a constant came out zero or negative
    Uncertain,         // a constant is less sure than LargestConstantError
    pO2Wanders,        // a hold's pO2 moved beyond its noise
    StillRelaxing      // a hold's first and second half disagree
};

// A fitted constant less sure than this share of itself is refused.
inline constexpr double LargestConstantError = 0.1;
// Two constants whose estimates the holds correlate this closely cannot be told apart.
inline constexpr double LargestCorrelation = 0.999;
// A hold is steady when every point's pO2 lies within this many times its noise (from
// the scatter between successive points, which a slow drift hardly moves) of the hold's
// mean, and when the leak from its first half and its second half agree within this many
// of their combined errors.
inline constexpr double SteadypO2Noises = 5;
inline constexpr double HalvesAgreeErrors = 4;

struct TLeakFit {
    TLeakFitStatus Status = TLeakFitStatus::TooFewPoints;
    TLeakLaw Law = TLeakLaw::Electrolyte;
    double Alpha = 0; // mol / (s atm^(1/4)), with its standard error
    double AlphaError = 0;
    double Seal = 0; // mol / (s atm)
    double SealError = 0;
    double RmsResidualMol = 0; // how well the law fits
    double DurbinWatson = 2;   // of the residuals; below WanderingDurbinWatson they wander
    double Correlation = 0;    // of alpha and the seal constant, for both laws at once
    int Points = 0;
    int Holds = 0;
    // The hold a steadiness refusal is about: its grid rows, the range of its pO2 and its
    // noise, or the leak of its two halves relative to the fit's, with their errors.
    int HoldFirstRow = -1;
    int HoldLastRow = -1;
    double HoldLowestpO2 = 0;
    double HoldHighestpO2 = 0;
    double HoldpO2Noise = 0;
    double FirstHalf = 0;
    double SecondHalf = 0;
    double HalvesError = 0;
    // The share by which a sensor offset of 1 mV would change the fitted constants: the
    // driving force's own uncertainty. Above a tenth the fit is refused.
    double OffsetShare = 0;
};

// The leak constants by least squares over the steady holds: the increments of the
// unexplained amount between successive points of a hold against those of the integrals
// of the driving forces (the sample may have moved between holds, never within one), with
// errors robust to what the increments keep correlated (TIncrementFit). Refused where the
// holds are not steady by what the fit needs (pO2 within its noise; the same leak in the
// first and second half of each hold: otherwise the sample still relaxes and its oxygen
// passes for leak), where the laws cannot be told apart, and where a constant comes out
// not positive or less sure than LargestConstantError.
TLeakFit FitLeak(const std::vector<TLeakFitPoint>& points, TLeakLaw law, double flushpO2);

// The holds of the last day before the newest steady point count: the leak follows the
// electrolyte, which ages, and the fit costs the same however long the run.
inline constexpr double LeakFitSpanS = 86400;

// The steady points of the last LeakFitSpanS of the history, grouped into holds that no gap
// or unsteady point interrupts, at the temperature of the newest steady point (within a few
// kelvin).
std::vector<TLeakFitPoint> SteadyHoldPoints(const TOxygenHistory& history);

} // namespace oxtiva
