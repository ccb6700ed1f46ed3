#include "science/oxygen_thermodynamics.h"

#include "science/physical_constants.h"

#include <algorithm>
#include <numbers>

namespace oxtiva
{

namespace
{

double Sign(double x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }

// The end tangent of a monotone cubic from the end's two intervals, kept from overshooting.
double EndTangent(double h0, double h1, double d0, double d1)
{
    const double m = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
    if (Sign(m) != Sign(d0)) return 0;
    if (Sign(d0) != Sign(d1) && std::abs(m) > 3 * std::abs(d0)) return 3 * d0;
    return m;
}

// Fritsch and Carlson's tangents with Fritsch and Butland's weighted harmonic mean: zero
// where the points turn, else never steep enough for the cubic to overshoot.
std::vector<double> MonotoneTangents(const std::vector<double>& x, const std::vector<double>& y)
{
    const std::size_t n = x.size();
    std::vector<double> m(n, 0);
    if (n < 2) return m;
    std::vector<double> h(n - 1), d(n - 1);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        h[k] = x[k + 1] - x[k];
        d[k] = (y[k + 1] - y[k]) / h[k];
    }
    if (n == 2) return {d[0], d[0]};
    for (std::size_t k = 1; k + 1 < n; ++k) {
        if (d[k - 1] * d[k] <= 0) continue;
        const double w1 = 2 * h[k] + h[k - 1];
        const double w2 = h[k] + 2 * h[k - 1];
        m[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k]);
    }
    m[0] = EndTangent(h[0], h[1], d[0], d[1]);
    m[n - 1] = EndTangent(h[n - 2], h[n - 3], d[n - 2], d[n - 3]);
    return m;
}

struct TLine {
    double Slope = NAN;
    double Intercept = NAN;
    double SlopeError = NAN;
    double InterceptError = NAN;
};

struct TWeighted {
    double x;
    double y;
    double sigma;
};

TLine WeightedLine(const std::vector<TWeighted>& points)
{
    double s = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const TWeighted& p : points) {
        const double w = 1 / (p.sigma * p.sigma);
        s += w;
        sx += w * p.x;
        sy += w * p.y;
        sxx += w * p.x * p.x;
        sxy += w * p.x * p.y;
    }
    const double det = s * sxx - sx * sx;
    TLine line;
    if (!(det > 0)) return line;
    line.Slope = (s * sxy - sx * sy) / det;
    line.Intercept = (sxx * sy - sx * sxy) / det;
    double scale = 1;
    const std::size_t n = points.size();
    if (n > 2) {
        double chi2 = 0;
        for (const TWeighted& p : points) {
            const double r = (p.y - line.Intercept - line.Slope * p.x) / p.sigma;
            chi2 += r * r;
        }
        scale = std::max(1.0, chi2 / double(n - 2));
    }
    line.SlopeError = std::sqrt(scale * s / det);
    line.InterceptError = std::sqrt(scale * sxx / det);
    return line;
}

// The lowest and the highest delta that at least two curves reach: the count of curves
// changes only at a curve's end, so both are ends.
std::optional<std::pair<double, double>> SharedRange(const std::vector<TIsothermCurve>& curves)
{
    std::vector<double> ends;
    for (const TIsothermCurve& c : curves) {
        ends.push_back(c.LowestDelta());
        ends.push_back(c.HighestDelta());
    }
    std::sort(ends.begin(), ends.end());
    auto shared = [&curves](double delta) {
        return std::count_if(curves.begin(), curves.end(),
                             [delta](const TIsothermCurve& c) { return c.Covers(delta); }) >= 2;
    };
    const auto low = std::find_if(ends.begin(), ends.end(), shared);
    const auto high = std::find_if(ends.rbegin(), ends.rend(), shared);
    if (low == ends.end()) return std::nullopt;
    return std::make_pair(*low, *high);
}

TThermodynamicsRow FitAt(double delta, const std::vector<TIsothermCurve>& curves)
{
    TThermodynamicsRow row;
    row.Delta = delta;
    std::vector<TWeighted> points;
    for (const TIsothermCurve& curve : curves) {
        const std::optional<TIsothermCurve::TValue> value = curve.At(delta);
        row.Log10pO2.push_back(value ? value->Log10pO2 : NAN);
        if (!value) continue;
        const double sigma = std::max(std::numbers::ln10 * std::abs(value->Slope) *
                                          value->DeltaSpread,
                                      SmallestLnpO2Spread);
        points.push_back({1 / curve.CellK(), std::numbers::ln10 * value->Log10pO2, sigma});
    }
    row.Temperatures = int(points.size());
    const TLine line = WeightedLine(points);
    // slope = 2 dh_O / R, intercept = -2 ds_O / R
    row.dhO_kJ = GasConstant / 2 * line.Slope / 1000;
    row.dhO_Error = GasConstant / 2 * line.SlopeError / 1000;
    row.dsO_J = -GasConstant / 2 * line.Intercept;
    row.dsO_Error = GasConstant / 2 * line.InterceptError;
    return row;
}

} // namespace

std::vector<TIsothermGroup> GroupByTemperature(std::vector<TIsothermSample> aPoints,
                                               double aWithinK)
{
    std::sort(aPoints.begin(), aPoints.end(),
              [](const TIsothermSample& a, const TIsothermSample& b) { return a.CellK < b.CellK; });
    std::vector<TIsothermGroup> groups;
    double sum = 0;
    for (const TIsothermSample& point : aPoints) {
        if (groups.empty() || point.CellK - groups.back().CellK > aWithinK) {
            groups.emplace_back();
            sum = 0;
        }
        TIsothermGroup& group = groups.back();
        group.Points.push_back(point);
        sum += point.CellK;
        group.CellK = sum / double(group.Points.size());
    }
    for (TIsothermGroup& group : groups)
        std::sort(group.Points.begin(), group.Points.end(),
                  [](const TIsothermSample& a, const TIsothermSample& b) {
                      return a.Delta < b.Delta;
                  });
    return groups;
}

TIsothermCurve::TIsothermCurve(const TIsothermGroup& aGroup) : fCellK(aGroup.CellK)
{
    int same = 0; // points merged into the last one so far
    for (const TIsothermSample& point : aGroup.Points) {
        const double log10pO2 = std::log10(point.pO2);
        if (!fDelta.empty() && point.Delta == fDelta.back()) {
            ++same;
            fLog10pO2.back() += (log10pO2 - fLog10pO2.back()) / (same + 1);
            fSpread.back() += (point.DeltaSpread - fSpread.back()) / (same + 1);
            continue;
        }
        same = 0;
        fDelta.push_back(point.Delta);
        fLog10pO2.push_back(log10pO2);
        fSpread.push_back(point.DeltaSpread);
    }
    fTangent = MonotoneTangents(fDelta, fLog10pO2);
}

bool TIsothermCurve::Covers(double aDelta) const
{
    return !fDelta.empty() && aDelta >= fDelta.front() && aDelta <= fDelta.back();
}

std::optional<TIsothermCurve::TValue> TIsothermCurve::At(double aDelta) const
{
    if (!Covers(aDelta)) return std::nullopt;
    if (fDelta.size() == 1) return TValue{fLog10pO2[0], 0, fSpread[0]};
    const std::size_t upper = std::clamp<std::size_t>(
        std::upper_bound(fDelta.begin(), fDelta.end(), aDelta) - fDelta.begin(), 1,
        fDelta.size() - 1);
    const std::size_t k = upper - 1;
    const double h = fDelta[upper] - fDelta[k];
    const double t = (aDelta - fDelta[k]) / h;
    const double t2 = t * t, t3 = t2 * t;
    const double value = (2 * t3 - 3 * t2 + 1) * fLog10pO2[k] + (t3 - 2 * t2 + t) * h * fTangent[k] +
                         (-2 * t3 + 3 * t2) * fLog10pO2[upper] + (t3 - t2) * h * fTangent[upper];
    return TValue{value, (fLog10pO2[upper] - fLog10pO2[k]) / h,
                  fSpread[k] + t * (fSpread[upper] - fSpread[k])};
}

TThermodynamics FitThermodynamics(const std::vector<TIsothermSample>& aPoints, int aGridCount)
{
    TThermodynamics result;
    std::vector<TIsothermCurve> curves;
    for (const TIsothermGroup& group : GroupByTemperature(aPoints)) {
        result.TemperaturesK.push_back(group.CellK);
        result.PointsAt.push_back(int(group.Points.size()));
        curves.emplace_back(group);
    }
    const auto range = SharedRange(curves);
    if (!range || aGridCount < 1) return result;
    const auto [low, high] = *range;
    const int count = high > low ? std::max(aGridCount, 2) : 1;
    for (int i = 0; i < count; ++i) {
        // The last value is the range's end itself, not a rounding short of it.
        const double delta = i + 1 == count ? high : low + (high - low) * i / (count - 1);
        TThermodynamicsRow row = FitAt(delta, curves);
        if (row.Temperatures >= 2) result.Rows.push_back(std::move(row));
    }
    return result;
}

} // namespace oxtiva
