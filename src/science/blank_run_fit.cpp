#include "science/blank_run_fit.h"

#include "science/oxygen_balance.h"
#include "science/oxygen_constants.h"
#include "science/oxygen_history.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace oxtiva
{

namespace
{

// The unknowns: the volume, alpha and the seal constant, of which the law uses some.
constexpr int MostUnknowns = 3;
using TVector = std::array<double, MostUnknowns>;
using TMatrix = std::array<TVector, MostUnknowns>;

struct TSegmentMeans {
    int n = 0;
    double y = 0;
    TVector x{};
};

// The regressors of a point, in the order of the unknowns; an unused law's stays 0.
TVector Regressors(const TBlankRunPoint& p, bool quarter, bool linear)
{
    return {-p.HotGasPerL, quarter ? p.QuarterForceS : 0, linear ? p.LinearForceS : 0};
}

// Inverts the normal matrix over the unknowns in use by Gauss-Jordan elimination on the
// matrix scaled to a unit diagonal, so that "nearly singular" means nearly collinear
// whatever the units; false when it is.
bool Invert(TMatrix& a, const std::array<bool, MostUnknowns>& used)
{
    TVector scale{};
    for (int i = 0; i < MostUnknowns; ++i) {
        if (!used[i]) continue;
        if (!(a[i][i] > 0)) return false;
        scale[i] = 1 / std::sqrt(a[i][i]);
    }
    TMatrix m{};
    TMatrix inverse{};
    for (int i = 0; i < MostUnknowns; ++i) {
        for (int j = 0; j < MostUnknowns; ++j)
            m[i][j] = used[i] && used[j] ? a[i][j] * scale[i] * scale[j] : 0;
        inverse[i][i] = used[i] ? 1 : 0;
    }
    for (int col = 0; col < MostUnknowns; ++col) {
        if (!used[col]) continue;
        int pivot = col;
        for (int row = col + 1; row < MostUnknowns; ++row)
            if (used[row] && std::abs(m[row][col]) > std::abs(m[pivot][col])) pivot = row;
        if (!(std::abs(m[pivot][col]) > 1e-9)) return false;
        std::swap(m[pivot], m[col]);
        std::swap(inverse[pivot], inverse[col]);
        const double p = m[col][col];
        for (int j = 0; j < MostUnknowns; ++j) {
            m[col][j] /= p;
            inverse[col][j] /= p;
        }
        for (int row = 0; row < MostUnknowns; ++row) {
            if (row == col || !used[row]) continue;
            const double f = m[row][col];
            for (int j = 0; j < MostUnknowns; ++j) {
                m[row][j] -= f * m[col][j];
                inverse[row][j] -= f * inverse[col][j];
            }
        }
    }
    for (int i = 0; i < MostUnknowns; ++i)
        for (int j = 0; j < MostUnknowns; ++j)
            a[i][j] = inverse[i][j] * scale[i] * scale[j];
    return true;
}

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

} // namespace

TBlankRunFit FitBlankRun(const std::vector<TBlankRunPoint>& points, TLeakLaw law, double flushpO2)
{
    TBlankRunFit fit;
    fit.Law = law;
    fit.Points = int(points.size());
    const bool quarter = law != TLeakLaw::Seal;
    const bool linear = law != TLeakLaw::Electrolyte;
    const std::array<bool, MostUnknowns> used{true, quarter, linear};
    const int unknowns = 1 + int(quarter) + int(linear);

    std::map<int, TSegmentMeans> segments;
    double offsetQ = 0, forceQ = 0, offsetL = 0, forceL = 0, cellK = 0;
    for (const TBlankRunPoint& p : points) {
        TSegmentMeans& s = segments[p.Segment];
        ++s.n;
        s.y += p.KnownMol;
        const TVector x = Regressors(p, quarter, linear);
        for (int i = 0; i < MostUnknowns; ++i)
            s.x[i] += x[i];
        const TForceUncertainty u = SensorOffsetEffect(p.pO2, p.CellK);
        offsetQ += u.Quarter;
        forceQ += std::abs(QuarterPowerForce(flushpO2, p.pO2));
        offsetL += u.Linear;
        forceL += std::abs(LinearForce(flushpO2, p.pO2));
        cellK += p.CellK / double(points.size());
    }
    fit.Segments = int(segments.size());
    for (auto& [id, s] : segments) {
        s.y /= s.n;
        for (double& x : s.x)
            x /= s.n;
    }
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

    // Normal equations of the deviations from each segment's means.
    TMatrix a{};
    TVector b{};
    double yy = 0;
    for (const TBlankRunPoint& p : points) {
        const TSegmentMeans& s = segments[p.Segment];
        TVector x = Regressors(p, quarter, linear);
        for (int i = 0; i < MostUnknowns; ++i)
            x[i] -= s.x[i];
        const double y = p.KnownMol - s.y;
        for (int i = 0; i < MostUnknowns; ++i) {
            b[i] += x[i] * y;
            for (int j = 0; j < MostUnknowns; ++j)
                a[i][j] += x[i] * x[j];
        }
        yy += y * y;
    }
    fit.Status = TBlankRunStatus::Undetermined;
    if (!Invert(a, used)) return fit;
    TVector beta{};
    for (int i = 0; i < MostUnknowns; ++i)
        for (int j = 0; j < MostUnknowns; ++j)
            beta[i] += a[i][j] * b[j];
    double explained = 0;
    for (int i = 0; i < MostUnknowns; ++i)
        explained += beta[i] * b[i];
    const double residual = std::max(0.0, yy - explained);
    const double variance = residual / freedom;
    fit.VolumeL = beta[0];
    fit.Alpha = beta[1];
    fit.Seal = beta[2];
    fit.VolumeError = std::sqrt(variance * a[0][0]);
    fit.AlphaError = std::sqrt(variance * a[1][1]);
    fit.SealError = std::sqrt(variance * a[2][2]);
    fit.RmsResidualMol = std::sqrt(residual / fit.Points);
    if (!(fit.VolumeL > 0) || !(fit.VolumeError <= LargestVolumeError * fit.VolumeL)) return fit;
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
