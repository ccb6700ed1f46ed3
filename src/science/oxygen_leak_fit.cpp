#include "science/oxygen_leak_fit.h"

#include "science/oxygen_balance.h"
#include "science/oxygen_history.h"

#include <cmath>
#include <map>

namespace oxtiva
{

namespace
{

constexpr double SensorOffsetV = 1e-3;

struct THoldMeans {
    int n = 0;
    double y = 0, q = 0, l = 0;
};

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

    std::map<int, THoldMeans> holds;
    double offsetQ = 0, forceQ = 0, offsetL = 0, forceL = 0;
    for (const TLeakFitPoint& p : points) {
        THoldMeans& h = holds[p.Hold];
        ++h.n;
        h.y += p.UnexplainedMol;
        h.q += p.QuarterForceS;
        h.l += p.LinearForceS;
        const TForceUncertainty u = SensorOffsetEffect(p.pO2, p.CellK);
        offsetQ += u.Quarter;
        forceQ += std::abs(QuarterPowerForce(flushpO2, p.pO2));
        offsetL += u.Linear;
        forceL += std::abs(LinearForce(flushpO2, p.pO2));
    }
    fit.Holds = int(holds.size());
    for (auto& [id, h] : holds) {
        h.y /= h.n;
        h.q /= h.n;
        h.l /= h.n;
    }
    const int freedom = fit.Points - parameters - fit.Holds;
    if (fit.Points == 0 || freedom < 1) return fit;
    fit.OffsetShare = std::max(quarter ? offsetQ / forceQ : 0, linear ? offsetL / forceL : 0);
    if (!(fit.OffsetShare <= LargestOffsetShare)) {
        fit.Status = TLeakFitStatus::NoDrivingForce;
        return fit;
    }

    // Normal equations of the deviations from each hold's mean.
    double qq = 0, ll = 0, ql = 0, qy = 0, ly = 0, yy = 0;
    for (const TLeakFitPoint& p : points) {
        const THoldMeans& h = holds[p.Hold];
        const double q = quarter ? p.QuarterForceS - h.q : 0;
        const double l = linear ? p.LinearForceS - h.l : 0;
        const double y = p.UnexplainedMol - h.y;
        qq += q * q;
        ll += l * l;
        ql += q * l;
        qy += q * y;
        ly += l * y;
        yy += y * y;
    }
    // The inverse of the normal matrix, with the unused law's row and column left out.
    double iqq = 0, ill = 0;
    if (quarter && linear) {
        const double det = qq * ll - ql * ql;
        if (!(det > 1e-9 * qq * ll)) {
            fit.Status = TLeakFitStatus::NeedsTwoPressures;
            return fit;
        }
        iqq = ll / det;
        ill = qq / det;
        fit.Alpha = (ll * qy - ql * ly) / det;
        fit.Seal = (qq * ly - ql * qy) / det;
    } else if (quarter) {
        if (!(qq > 0)) return fit;
        iqq = 1 / qq;
        fit.Alpha = qy / qq;
    } else {
        if (!(ll > 0)) return fit;
        ill = 1 / ll;
        fit.Seal = ly / ll;
    }
    const double residual =
        std::max(0.0, yy - fit.Alpha * qy - fit.Seal * ly); // the fitted part taken out
    const double variance = residual / freedom;
    fit.AlphaError = std::sqrt(variance * iqq);
    fit.SealError = std::sqrt(variance * ill);
    fit.RmsResidualMol = std::sqrt(residual / fit.Points);
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
