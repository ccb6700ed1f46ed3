#include "science/blank_run_fit.h"

#include "science/increment_fit.h"
#include "science/oxygen_balance.h"
#include "science/oxygen_constants.h"
#include "science/oxygen_history.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace oxtiva
{

namespace
{

// The largest relative change of pO2 within a segment: only a change within one tells the
// volume, since each segment has an offset of its own.
double LargestpO2Change(const std::vector<TBlankRunPoint>& points)
{
    std::map<int, std::pair<double, double>> ranges;
    for (const TBlankRunPoint& p : points) {
        auto [it, added] = ranges.try_emplace(p.Segment, p.pO2, p.pO2);
        it->second.first = std::min(it->second.first, p.pO2);
        it->second.second = std::max(it->second.second, p.pO2);
    }
    double largest = 0;
    for (const auto& [segment, range] : ranges)
        if (range.first > 0) largest = std::max(largest, range.second / range.first - 1);
    return largest;
}

// The increments between successive points of each segment: what the balance knows
// against the hot part's gas and the driving forces the law uses.
TIncrementFit Fit(const std::vector<TBlankRunPoint>& points, bool quarter, bool linear)
{
    std::vector<std::size_t> rows;
    for (std::size_t i = 1; i < points.size(); ++i)
        if (points[i].Segment == points[i - 1].Segment) rows.push_back(i);
    Eigen::MatrixXd x(Eigen::Index(rows.size()), 1 + int(quarter) + int(linear));
    Eigen::VectorXd y(Eigen::Index(rows.size()));
    std::vector<int> stretch;
    for (Eigen::Index r = 0; r < x.rows(); ++r) {
        const TBlankRunPoint& p = points[rows[std::size_t(r)]];
        const TBlankRunPoint& before = points[rows[std::size_t(r)] - 1];
        int column = 0;
        x(r, column++) = -(p.HotGasPerL - before.HotGasPerL);
        if (quarter) x(r, column++) = p.QuarterForceS - before.QuarterForceS;
        if (linear) x(r, column) = p.LinearForceS - before.LinearForceS;
        y[r] = p.KnownMol - before.KnownMol;
        stretch.push_back(p.Segment);
    }
    return FitIncrements(x, y, stretch);
}

} // namespace

TBlankRunFit FitBlankRun(const std::vector<TBlankRunPoint>& points, TLeakLaw law, double flushpO2)
{
    TBlankRunFit fit;
    fit.Law = law;
    fit.Points = int(points.size());
    const bool quarter = law != TLeakLaw::Seal;
    const bool linear = law != TLeakLaw::Electrolyte;
    const int unknowns = 1 + int(quarter) + int(linear);

    std::map<int, int> segments;
    double offsetQ = 0, forceQ = 0, offsetL = 0, forceL = 0, cellK = 0;
    for (const TBlankRunPoint& p : points) {
        ++segments[p.Segment];
        const TForceUncertainty u = SensorOffsetEffect(p.pO2, p.CellK);
        offsetQ += u.Quarter;
        forceQ += std::abs(QuarterPowerForce(flushpO2, p.pO2));
        offsetL += u.Linear;
        forceL += std::abs(LinearForce(flushpO2, p.pO2));
        cellK += p.CellK / double(points.size());
    }
    fit.Segments = int(segments.size());
    fit.CellK = cellK;
    const int freedom = fit.Points - unknowns - fit.Segments;
    if (fit.Points == 0 || freedom < 1) return fit;

    fit.pO2Change = LargestpO2Change(points);
    fit.SmallestpO2Change = SensorOffsetEffect(1, cellK).Linear;
    if (!(fit.pO2Change >= fit.SmallestpO2Change)) {
        fit.Status = TBlankRunStatus::NoPressureChange;
        return fit;
    }
    fit.OffsetShare = std::max(quarter ? offsetQ / forceQ : 0, linear ? offsetL / forceL : 0);
    if (!(fit.OffsetShare <= LargestOffsetShare)) {
        fit.Status = TBlankRunStatus::NoDrivingForce;
        return fit;
    }

    const TIncrementFit f = Fit(points, quarter, linear);
    fit.Status = TBlankRunStatus::Undetermined;
    if (!f.Solved) return fit;
    int column = 0;
    fit.VolumeL = f.Coefficients[column];
    fit.VolumeError = f.Error(column++);
    if (quarter) {
        fit.Alpha = f.Coefficients[column];
        fit.AlphaError = f.Error(column++);
    }
    if (linear) {
        fit.Seal = f.Coefficients[column];
        fit.SealError = f.Error(column);
    }
    fit.RmsResidualMol = f.RmsResidual;
    fit.DurbinWatson = f.DurbinWatson;
    fit.Correlation = f.LargestCorrelation;
    if (f.LargestCorrelation > LargestCorrelation) return fit;
    fit.Status = TBlankRunStatus::NotPositive;
    if (!(fit.VolumeL > 0) || (quarter && !(fit.Alpha > 0)) || (linear && !(fit.Seal > 0)))
        return fit;
    fit.Status = TBlankRunStatus::Uncertain;
    if (!(fit.VolumeError <= LargestVolumeError * fit.VolumeL) ||
        (quarter && !(fit.AlphaError <= LargestConstantError * fit.Alpha)) ||
        (linear && !(fit.SealError <= LargestConstantError * fit.Seal)))
        return fit;
    fit.Status = TBlankRunStatus::Ok;
    return fit;
}

std::vector<TBlankRunPoint> BlankRunPoints(const TOxygenHistory& history)
{
    std::vector<TBlankRunPoint> points;
    if (history.Empty()) return points;
    const double runK = history.Last().Input.CellK;
    int segment = 0;
    bool inSegment = false;
    std::size_t period = 0;
    for (std::size_t i = 0; i < history.Size(); ++i) {
        const TOxygenRecord& record = history.At(i);
        const TOxygenPointInput& in = record.Input;
        const TOxygenPointResult& r = record.Result;
        if (!(std::abs(in.CellK - runK) <= SameTemperatureK)) {
            inSegment = false;
            continue;
        }
        if (!inSegment || r.AfterGap) ++segment;
        inSegment = true;
        const TConstantsHistory& constants = history.ConstantsHistory();
        period = PeriodIndexAt(constants, r.TimeS, period);
        const TOxygenBalanceConstants& c = constants[period].Constants;
        const double gradientMol = GasAmount(in.pO2, in.CellK, c.ColdEndK, 0, c.GradientVolumeL);
        const double span = in.EndS - in.StartS;
        points.push_back({segment, PumpedAmount(r.ChargeC) + gradientMol,
                          in.pO2 / (GasConstantLAtm * in.CellK), r.QuarterForceS, r.LinearForceS,
                          in.pO2, in.CellK, span > 0 ? in.ChargeC / span : 0, record.GridRow});
    }
    return points;
}

} // namespace oxtiva
