#pragma once

#include "records/logging.h"

#include <vector>

namespace oxtiva
{

struct TPoint {
    double X = 0;
    double Y = 0;
};

using TPointArray = std::vector<TPoint>;

struct TLLSResult {
    double Slope = 0;     // Y units per X unit
    double Intercept = 0; // the fitted line at x = 0
    double AverageY = 0;
    double MinY = 0;
    double MaxY = 0;
    double R = 0; // correlation coefficient
    int N = 0;
    double RangeX = 0; // largest X minus smallest X
    double RRC = 0;    // relative change of the line over RangeX, as a fraction
};

// Straight-line fit y = Slope*x + Intercept and the relative rate of change of the line
// from x = 0 to x = RangeX. True when slope, intercept, R and RRC are valid; on false
// only the fields computed before the failing test are written.
bool LinearLeastSquares(const TPointArray& aPoints, TLLSResult& aResult);

// The fit's own logger ("LLS"), switched off unless someone turns it on.
TLogger& LLSLog();

} // namespace oxtiva
