#pragma once

#include "science/oxygen_leak_fit.h"

#include <vector>

namespace oxtiva
{

class TOxygenHistory;

// A point of a blank run, a run of the empty cell: with no sample, whatever the pump moved
// went into the hot gas or came in through the leak.
struct TBlankRunPoint {
    int Segment = 0; // the points of a stretch that no gap interrupts share it
    // What the balance knows without the constants being calibrated: the pumped amount
    // since the first point plus the gas of the gradient part, whose volume is entered.
    double KnownMol = 0;
    double HotGasPerL = 0;    // pO2 / (R Tc): the hot part's gas per litre of volume, mol/L
    double QuarterForceS = 0; // the integrals of the leak laws' driving forces
    double LinearForceS = 0;
    double pO2 = 0; // the point's mean, atm
    double CellK = 0;
    double CurrentA = 0; // the point's mean pump current
    int GridRow = -1;
};

enum class TBlankRunStatus {
    Ok,
    TooFewPoints,
    NoPressureChange,
    NoDrivingForce,
    Undetermined, // the volume and the leak laws cannot be told apart
    NotPositive,  // a constant came out zero or negative
    Uncertain     // a constant is less sure than LargestConstantError (the volume, LargestVolumeError)
};

struct TBlankRunFit {
    TBlankRunStatus Status = TBlankRunStatus::TooFewPoints;
    TLeakLaw Law = TLeakLaw::Electrolyte;
    double VolumeL = 0; // the hot part of the empty cell, with its standard error
    double VolumeError = 0;
    double Alpha = 0; // mol / (s atm^(1/4))
    double AlphaError = 0;
    double Seal = 0; // mol / (s atm)
    double SealError = 0;
    double RmsResidualMol = 0;
    double DurbinWatson = 2; // of the residuals; below WanderingDurbinWatson they wander
    double Correlation = 0;  // the largest between two fitted constants
    double CellK = 0;        // the points' mean temperature
    int Points = 0;
    int Segments = 0;
    // The largest relative change of pO2 within one segment, and the smallest that tells
    // the gas volume: the change a sensor offset of 1 mV makes.
    double pO2Change = 0;
    double SmallestpO2Change = 0;
    double OffsetShare = 0; // as in TLeakFit
};

// A fit whose gas volume is less sure than this share is refused.
inline constexpr double LargestVolumeError = 0.1;

// The gas volume and the leak constants by least squares over the points of a blank run:
//   KnownMol = -V * HotGasPerL + alpha * QuarterForceS + k * LinearForceS + c(segment),
// the balance of an empty cell, with an offset for each segment since the charge across
// a gap is unknown. The balance accumulates, so the fit takes the increments between
// successive points of a segment (TIncrementFit), whose errors hold. Refused where the
// run cannot tell them: too few points, a pO2 that never changed (the volume), too small a
// driving force (the leak), constants the points cannot tell apart, a constant not
// positive, or one that the points leave uncertain.
TBlankRunFit FitBlankRun(const std::vector<TBlankRunPoint>& points, TLeakLaw law, double flushpO2);

// The points of the whole run at the temperature of the newest point (within a few
// kelvin), split into segments at every gap and at every point of another temperature.
std::vector<TBlankRunPoint> BlankRunPoints(const TOxygenHistory& history);

} // namespace oxtiva
