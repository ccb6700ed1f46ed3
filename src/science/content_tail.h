#pragma once

#include <cstddef>
#include <limits>

namespace oxtiva
{

class TOxygenHistory;

// Where b is heading at the end of a step: b = Final + A exp(-(t - t0) / Tau) fitted to
// the step's tail. A drift measured over a window shorter than the sample's time constant
// shows only the window's share of what is still to come; the fitted exponential shows
// all of it.
struct TContentTail {
    bool Solved = false;
    double Final = std::numeric_limits<double>::quiet_NaN(); // the b it is heading for
    double TauS = std::numeric_limits<double>::quiet_NaN();
    // Final minus the fitted b at the tail's newest point: the change still to come.
    double Remaining = std::numeric_limits<double>::infinity();
    int Points = 0;
};

// Fewer points than this leave an exponential undetermined.
inline constexpr int FewestTailPoints = 5;

// The exponential through the records aFirst to aLast (inclusive). Time constants from a
// fiftieth of the tail up to LongestTailTau times its length are tried; one at the upper
// end means the tail is still a straight line whose end cannot be told, and the change
// to come is that of LongestTailTau tails.
inline constexpr double LongestTailTau = 20;
TContentTail FitContentTail(const TOxygenHistory& aHistory, std::size_t aFirst, std::size_t aLast);

// The tail of a step: the later half of the records since aStepStartS (the whole step when
// it is short), ending at the newest record.
TContentTail StepContentTail(const TOxygenHistory& aHistory, double aStepStartS);

} // namespace oxtiva
