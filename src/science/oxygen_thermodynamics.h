#pragma once

#include "science/isotherm_source.h"

#include <cmath>
#include <optional>
#include <vector>

namespace oxtiva
{

// The partial molar enthalpy and entropy of the sample's oxygen from isotherms at several
// temperatures. At equilibrium the oxygen of the oxide has the chemical potential of half
// a mole of the gas, so at fixed delta
//     1/2 R T ln(pO2 / 1 atm) = dh_O - T ds_O   (per mole of O; per mole of O2 twice that),
// and ln pO2 against 1/T is a line: slope 2 dh_O / R, intercept -2 ds_O / R.

// Points of one cell temperature, sorted by delta.
struct TIsothermGroup {
    double CellK = 0; // the mean of its points'
    std::vector<TIsothermSample> Points;
};

// Points whose cell temperatures lie within aWithinK of their group's mean form a group,
// named by that mean; groups in rising temperature.
std::vector<TIsothermGroup> GroupByTemperature(std::vector<TIsothermSample> aPoints,
                                               double aWithinK = 2);

// log10 pO2 of one temperature against delta, interpolated by a monotone cubic (Fritsch and
// Carlson): between two points it never leaves their range, and outside the points it
// gives nothing.
class TIsothermCurve
{
  public:
    // Points at one delta are taken as their mean.
    explicit TIsothermCurve(const TIsothermGroup& aGroup);

    struct TValue {
        double Log10pO2;
        // d log10 pO2 / d delta between the two points around: what a spread of delta
        // makes of log10 pO2 (the cubic's own slope is 0 at a point where the isotherm
        // turns, which would make that spread weigh nothing)
        double Slope;
        double DeltaSpread; // the spread of delta there, between its neighbours'
    };
    std::optional<TValue> At(double aDelta) const;
    bool Covers(double aDelta) const;
    double CellK() const { return fCellK; }
    double LowestDelta() const { return fDelta.empty() ? NAN : fDelta.front(); }
    double HighestDelta() const { return fDelta.empty() ? NAN : fDelta.back(); }

  private:
    double fCellK;
    std::vector<double> fDelta;
    std::vector<double> fLog10pO2;
    std::vector<double> fSpread;
    std::vector<double> fTangent;
};

// Below this the spread of ln pO2 at one delta counts as this (a thousandth of pO2, far
// below what a sensor tells apart): a step of one point has no spread, and a weight must
// stay finite.
inline constexpr double SmallestLnpO2Spread = 1e-3;

// The line through ln pO2 against 1/T at one delta.
struct TThermodynamicsRow {
    double Delta = 0;
    double dhO_kJ = NAN;  // kJ per mole of O
    double dhO_Error = NAN;
    double dsO_J = NAN;   // J per mole of O and kelvin
    double dsO_Error = NAN;
    int Temperatures = 0; // behind the fit
    // log10 pO2 at each of the result's temperatures; NaN where that isotherm does not
    // reach this delta.
    std::vector<double> Log10pO2;
    bool FewerThanThree() const { return Temperatures < 3; }
};

struct TThermodynamics {
    std::vector<double> TemperaturesK; // the groups', rising
    std::vector<int> PointsAt;         // isotherm points at each temperature
    std::vector<TThermodynamicsRow> Rows;
};

// For aGridCount values of delta evenly over the range that at least two temperatures
// cover (a value only one reaches is left out), a weighted least-squares line through
// ln pO2 against 1/T. Each temperature's weight is 1/sigma^2, sigma the spread of delta
// there times the isotherm's slope d ln pO2/d delta; with three temperatures or more the
// errors grow by sqrt(chi^2 / (n - 2)) when the points scatter more than their spreads say.
TThermodynamics FitThermodynamics(const std::vector<TIsothermSample>& aPoints,
                                  int aGridCount = 50);

} // namespace oxtiva
