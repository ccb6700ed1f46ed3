#include "science/content_tail.h"

#include "science/oxygen_history.h"

#include <cmath>
#include <vector>

namespace oxtiva
{

namespace
{

struct TLineFit {
    double Offset = 0;
    double Slope = 0;
    double Squares = INFINITY; // of the residuals
};

// b = Offset + Slope * x by least squares.
TLineFit FitLine(const std::vector<double>& x, const std::vector<double>& b)
{
    const double n = double(x.size());
    double sx = 0, sb = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sb += b[i];
    }
    const double mx = sx / n, mb = sb / n;
    double sxx = 0, sxb = 0, sbb = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        sxb += (x[i] - mx) * (b[i] - mb);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    if (!(sxx > 0)) return {};
    const double slope = sxb / sxx;
    return {mb - slope * mx, slope, std::max(0.0, sbb - slope * sxb)};
}

struct TTrial {
    double Tau;
    TLineFit Line;
};

TTrial Try(const std::vector<double>& t, const std::vector<double>& b, double tau)
{
    std::vector<double> x(t.size());
    for (std::size_t i = 0; i < t.size(); ++i)
        x[i] = std::exp(-t[i] / tau);
    return {tau, FitLine(x, b)};
}

} // namespace

TContentTail FitContentTail(const TOxygenHistory& aHistory, std::size_t aFirst, std::size_t aLast)
{
    TContentTail tail;
    if (aLast >= aHistory.Size() || aFirst > aLast) return tail;
    tail.Points = int(aLast - aFirst + 1);
    if (tail.Points < FewestTailPoints) return tail;
    const double t0 = aHistory.At(aFirst).Result.TimeS;
    const double span = aHistory.At(aLast).Result.TimeS - t0;
    if (!(span > 0)) return tail;
    std::vector<double> t, b;
    for (std::size_t i = aFirst; i <= aLast; ++i) {
        t.push_back(aHistory.At(i).Result.TimeS - t0);
        b.push_back(aHistory.At(i).Result.b);
    }
    // A grid in log(tau), then golden sections around the best.
    constexpr int Grid = 60;
    const double lowest = std::log(span / 50), highest = std::log(span * LongestTailTau);
    int best = 0;
    std::vector<TTrial> trials;
    for (int i = 0; i <= Grid; ++i) {
        trials.push_back(Try(t, b, std::exp(lowest + (highest - lowest) * i / Grid)));
        if (trials.back().Line.Squares < trials[best].Line.Squares) best = i;
    }
    TTrial found = trials[best];
    if (best > 0 && best < Grid) {
        double lo = std::log(trials[best - 1].Tau), hi = std::log(trials[best + 1].Tau);
        const double golden = (std::sqrt(5.0) - 1) / 2;
        for (int i = 0; i < 40; ++i) {
            const double a = hi - golden * (hi - lo), c = lo + golden * (hi - lo);
            const TTrial ta = Try(t, b, std::exp(a)), tc = Try(t, b, std::exp(c));
            if (ta.Line.Squares < tc.Line.Squares)
                hi = c;
            else
                lo = a;
            if (ta.Line.Squares < found.Line.Squares) found = ta;
            if (tc.Line.Squares < found.Line.Squares) found = tc;
        }
    }
    if (!std::isfinite(found.Line.Squares)) return tail;
    tail.Solved = true;
    tail.TauS = found.Tau;
    tail.Final = found.Line.Offset;
    tail.Remaining = -found.Line.Slope * std::exp(-span / found.Tau);
    return tail;
}

TContentTail StepContentTail(const TOxygenHistory& aHistory, double aStepStartS)
{
    if (aHistory.Empty()) return {};
    const std::size_t last = aHistory.Size() - 1;
    const double newest = aHistory.At(last).Result.TimeS;
    const double from = newest - std::max(0.0, newest - aStepStartS) / 2;
    std::size_t first = last;
    while (first > 0 && aHistory.At(first - 1).Result.TimeS >= from)
        --first;
    // A short step is taken whole.
    while (int(last - first + 1) < FewestTailPoints && first > 0 &&
           aHistory.At(first - 1).Result.TimeS >= aStepStartS)
        --first;
    return FitContentTail(aHistory, first, last);
}

} // namespace oxtiva
