#include "science/oxygen_leak_fit.h"

#include "science/oxygen_balance.h"
#include "science/increment_fit.h"
#include "science/oxygen_history.h"

#include <algorithm>
#include <cmath>

namespace oxtiva
{

namespace
{

constexpr double SensorOffsetV = 1e-3;

// The points of a hold, one after the other in the list.
struct THoldSpan {
    std::size_t First = 0;
    std::size_t End = 0;
};

std::vector<THoldSpan> HoldSpans(const std::vector<TLeakFitPoint>& points)
{
    std::vector<THoldSpan> spans;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0 || points[i].Hold != points[i - 1].Hold) spans.push_back({i, i});
        spans.back().End = i + 1;
    }
    return spans;
}

// Every point's pO2 within SteadypO2Noises of the hold's mean; the noise from successive
// points, at least a tenth of what a sensor offset of 1 mV makes, so that an exact
// reading does not refuse every hold.
bool pO2Steady(const std::vector<TLeakFitPoint>& points, const THoldSpan& span, TLeakFit& fit)
{
    const std::size_t n = span.End - span.First;
    double mean = 0, steps = 0, lowest = INFINITY, highest = 0;
    for (std::size_t i = span.First; i < span.End; ++i) {
        mean += points[i].pO2 / double(n);
        lowest = std::min(lowest, points[i].pO2);
        highest = std::max(highest, points[i].pO2);
        if (i > span.First) steps += std::pow(points[i].pO2 - points[i - 1].pO2, 2);
    }
    const double noise =
        std::max(n > 1 ? std::sqrt(steps / (2 * double(n - 1))) : 0,
                 SensorOffsetEffect(mean, points[span.First].CellK).Linear / 10);
    if (std::max(highest - mean, mean - lowest) <= SteadypO2Noises * noise) return true;
    fit.Status = TLeakFitStatus::pO2Wanders;
    fit.HoldFirstRow = points[span.First].GridRow;
    fit.HoldLastRow = points[span.End - 1].GridRow;
    fit.HoldLowestpO2 = lowest;
    fit.HoldHighestpO2 = highest;
    fit.HoldpO2Noise = noise;
    return false;
}

// The increments between successive points of each hold: the unexplained amount against
// the driving forces the law uses.
struct TLeakIncrements {
    Eigen::MatrixXd X;
    Eigen::VectorXd y;
    std::vector<int> Stretch;
    std::vector<THoldSpan> Rows; // of each hold
};

TLeakIncrements Increments(const std::vector<TLeakFitPoint>& points,
                           const std::vector<THoldSpan>& holds, bool quarter, bool linear)
{
    TLeakIncrements inc;
    const Eigen::Index n = Eigen::Index(points.size() - holds.size());
    inc.X.resize(n, int(quarter) + int(linear));
    inc.y.resize(n);
    Eigen::Index row = 0;
    for (std::size_t h = 0; h < holds.size(); ++h) {
        inc.Rows.push_back({std::size_t(row), std::size_t(row)});
        for (std::size_t i = holds[h].First + 1; i < holds[h].End; ++i, ++row) {
            const TLeakFitPoint& p = points[i];
            const TLeakFitPoint& before = points[i - 1];
            int column = 0;
            if (quarter) inc.X(row, column++) = p.QuarterForceS - before.QuarterForceS;
            if (linear) inc.X(row, column) = p.LinearForceS - before.LinearForceS;
            inc.y[row] = p.UnexplainedMol - before.UnexplainedMol;
            inc.Stretch.push_back(int(h));
        }
        inc.Rows.back().End = std::size_t(row);
    }
    return inc;
}

// The leak over a stretch of increments relative to the fit's, with its error.
TIncrementFit ShareOfFit(const TLeakIncrements& inc, const Eigen::VectorXd& fitted,
                         std::size_t first, std::size_t end)
{
    const Eigen::Index n = Eigen::Index(end - first);
    const Eigen::MatrixXd predicted = inc.X.middleRows(Eigen::Index(first), n) * fitted;
    return FitIncrements(predicted, inc.y.segment(Eigen::Index(first), n),
                         std::vector<int>(std::size_t(n), 0));
}

// The leak of each hold's first half against its second half: a sample that still
// relaxes gives off less in the second, and its oxygen would pass for leak.
bool HalvesAgree(const std::vector<TLeakFitPoint>& points, const std::vector<THoldSpan>& holds,
                 const TLeakIncrements& inc, const Eigen::VectorXd& fitted, TLeakFit& fit)
{
    constexpr std::size_t FewestPerHalf = 3;
    for (std::size_t h = 0; h < holds.size(); ++h) {
        const THoldSpan rows = inc.Rows[h];
        if (rows.End - rows.First < 2 * FewestPerHalf) continue;
        const std::size_t middle = rows.First + (rows.End - rows.First) / 2;
        const TIncrementFit first = ShareOfFit(inc, fitted, rows.First, middle);
        const TIncrementFit second = ShareOfFit(inc, fitted, middle, rows.End);
        if (!first.Solved || !second.Solved) continue;
        const double error = std::hypot(first.Error(0), second.Error(0));
        const double difference = first.Coefficients[0] - second.Coefficients[0];
        if (std::abs(difference) <= HalvesAgreeErrors * error) continue;
        fit.Status = TLeakFitStatus::StillRelaxing;
        fit.HoldFirstRow = points[holds[h].First].GridRow;
        fit.HoldLastRow = points[holds[h].End - 1].GridRow;
        fit.FirstHalf = first.Coefficients[0];
        fit.SecondHalf = second.Coefficients[0];
        fit.HalvesError = error;
        return false;
    }
    return true;
}

} // namespace

TForceUncertainty SensorOffsetEffect(double pO2, double cellK)
{
    // pO2 goes as exp(4 F E / (R T)), its fourth root as exp(F E / (R T)).
    const double e = FaradayConstant * SensorOffsetV / (GasConstant * cellK);
    return {std::sqrt(std::sqrt(pO2)) * std::expm1(e), pO2 * std::expm1(ElectronsPerO2 * e)};
}

TLeakFit FitLeak(const std::vector<TLeakFitPoint>& points, TLeakLaw law, double flushpO2)
{
    TLeakFit fit;
    fit.Law = law;
    fit.Points = int(points.size());
    const bool quarter = law != TLeakLaw::Seal;
    const bool linear = law != TLeakLaw::Electrolyte;
    const int parameters = int(quarter) + int(linear);

    const std::vector<THoldSpan> holds = HoldSpans(points);
    fit.Holds = int(holds.size());
    if (fit.Points - fit.Holds - parameters < 1) return fit;
    double offsetQ = 0, forceQ = 0, offsetL = 0, forceL = 0;
    for (const TLeakFitPoint& p : points) {
        const TForceUncertainty u = SensorOffsetEffect(p.pO2, p.CellK);
        offsetQ += u.Quarter;
        forceQ += std::abs(QuarterPowerForce(flushpO2, p.pO2));
        offsetL += u.Linear;
        forceL += std::abs(LinearForce(flushpO2, p.pO2));
    }
    fit.OffsetShare = std::max(quarter ? offsetQ / forceQ : 0, linear ? offsetL / forceL : 0);
    if (!(fit.OffsetShare <= LargestOffsetShare)) {
        fit.Status = TLeakFitStatus::NoDrivingForce;
        return fit;
    }
    for (const THoldSpan& span : holds)
        if (!pO2Steady(points, span, fit)) return fit;

    const TLeakIncrements inc = Increments(points, holds, quarter, linear);
    const TIncrementFit f = FitIncrements(inc.X, inc.y, inc.Stretch);
    fit.Status = TLeakFitStatus::NeedsTwoPressures;
    if (!f.Solved) return fit;
    fit.Correlation = f.LargestCorrelation;
    fit.Alpha = quarter ? f.Coefficients[0] : 0;
    fit.AlphaError = quarter ? f.Error(0) : 0;
    fit.Seal = linear ? f.Coefficients[quarter ? 1 : 0] : 0;
    fit.SealError = linear ? f.Error(quarter ? 1 : 0) : 0;
    fit.RmsResidualMol = f.RmsResidual;
    fit.DurbinWatson = f.DurbinWatson;
    if (f.LargestCorrelation > LargestCorrelation) return fit;
    fit.Status = TLeakFitStatus::NotPositive;
    if ((quarter && !(fit.Alpha > 0)) || (linear && !(fit.Seal > 0))) return fit;
    fit.Status = TLeakFitStatus::Uncertain;
    if ((quarter && !(fit.AlphaError <= LargestConstantError * fit.Alpha)) ||
        (linear && !(fit.SealError <= LargestConstantError * fit.Seal)))
        return fit;
    if (!HalvesAgree(points, holds, inc, f.Coefficients, fit)) return fit;
    fit.Status = TLeakFitStatus::Ok;
    return fit;
}

std::vector<TLeakFitPoint> SteadyHoldPoints(const TOxygenHistory& history)
{
    std::vector<TLeakFitPoint> points;
    std::size_t newest = history.Size();
    while (newest > 0 && !history.At(newest - 1).Steady)
        --newest;
    if (newest == 0) return points;
    const TOxygenRecord& last = history.At(newest - 1);
    const double holdK = last.Input.CellK;
    const double fromS = last.Result.TimeS - LeakFitSpanS;
    // Backwards from the newest steady point, so the cost is that of the span, not of the
    // run; a hold ends at every point that is not steady or follows a gap.
    std::size_t first = newest;
    while (first > 0 && history.At(first - 1).Result.TimeS >= fromS)
        --first;
    const double firstGas = history.At(0).Result.GasMol;
    int hold = 0;
    bool inHold = false;
    for (std::size_t i = first; i < newest; ++i) {
        const TOxygenRecord& record = history.At(i);
        const bool steady = record.Steady && !record.Result.AfterGap &&
                            std::abs(record.Input.CellK - holdK) <= SameTemperatureK;
        if (!steady) {
            inHold = false;
            continue;
        }
        if (!inHold) ++hold;
        inHold = true;
        const TOxygenPointResult& r = record.Result;
        const TOxygenPointInput& in = record.Input;
        const double span = in.EndS - in.StartS;
        points.push_back({hold, r.GasMol - firstGas + PumpedAmount(r.ChargeC), r.QuarterForceS,
                          r.LinearForceS, in.pO2, in.CellK, span > 0 ? in.ChargeC / span : 0,
                          record.GridRow});
    }
    return points;
}

} // namespace oxtiva
