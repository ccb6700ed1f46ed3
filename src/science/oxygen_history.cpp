#include "science/oxygen_history.h"

#include <algorithm>
#include <cmath>

namespace oxtiva
{

TOxygenBalanceConstants TOxygenHistory::ConstantsFor(const TOxygenPointInput& point)
{
    fPeriod = PeriodIndexAt(fConstants, (point.StartS + point.EndS) / 2, fPeriod);
    return ConstantsOf(fConstants[fPeriod], point.CellK);
}

const TOxygenRecord& TOxygenHistory::Add(const TOxygenPointInput& point, bool steady, int gridRow)
{
    fRecords.push_back({point, fBalance.Add(point, ConstantsFor(point)), steady, gridRow});
    return fRecords.back();
}

bool TOxygenHistory::MarkStepCompleted(int aStep, double aWindowS, double aStepStartS)
{
    if (fRecords.empty()) return false;
    const std::size_t last = fRecords.size() - 1;
    const double from = fRecords[last].Result.TimeS - aWindowS;
    std::size_t first = last;
    // Never back into the step before: its last point is where this one began.
    const std::size_t floor = fIsotherm.empty() ? 0 : fIsotherm.back().Index + 1;
    // Nor back across a pause, over which b knows nothing of the pump.
    while (first > floor && !fRecords[first].Input.AfterPause &&
           fRecords[first - 1].Result.TimeS >= from)
        --first;
    // Without the step's start, the step began where the one before it ended.
    const double stepStartS =
        std::isfinite(aStepStartS) ? aStepStartS : fRecords[std::min(floor, last)].Result.TimeS;
    fIsotherm.push_back({aStep, last, first, StepContentTail(*this, stepStartS)});
    return true;
}

TContentSpread TOxygenHistory::Content(const TIsothermPoint& aPoint) const
{
    double sum = 0, squares = 0, pO2 = 0, cellK = 0;
    const double n = double(aPoint.Index - aPoint.First + 1);
    for (std::size_t i = aPoint.First; i <= aPoint.Index; ++i) {
        sum += fRecords[i].Result.b;
        pO2 += fRecords[i].Input.pO2;
        cellK += fRecords[i].Input.CellK;
    }
    const double mean = sum / n;
    for (std::size_t i = aPoint.First; i <= aPoint.Index; ++i)
        squares += (fRecords[i].Result.b - mean) * (fRecords[i].Result.b - mean);
    return {mean, n > 1 ? std::sqrt(squares / (n - 1)) : 0, pO2 / n, cellK / n};
}

void TOxygenHistory::SetConstants(const TOxygenBalanceConstants& constants)
{
    fConstants = OneConstantsPeriod(constants);
    Replay();
}

void TOxygenHistory::ChangeConstants(const TOxygenBalanceConstants& constants, double aFromS,
                                     double aCellK, bool aWholeRun)
{
    const bool sampleChanged = !SameSampleConstants(constants, Constants());
    oxtiva::ChangeConstants(fConstants, aFromS, constants, aCellK);
    if (aWholeRun) oxtiva::ApplyToWholeRun(fConstants);
    if (aWholeRun || sampleChanged || (!fRecords.empty() && aFromS <= fRecords.back().Result.TimeS))
        Replay();
}

void TOxygenHistory::ApplyToWholeRun()
{
    oxtiva::ApplyToWholeRun(fConstants);
    Replay();
}

double TOxygenHistory::CurrentAlpha() const
{
    if (fRecords.empty()) return Constants().LeakAlpha;
    const TOxygenRecord& last = fRecords.back();
    return ConstantsAt(fConstants, last.Result.TimeS, last.Input.CellK).LeakAlpha;
}

void TOxygenHistory::Replay()
{
    fBalance.Restart({});
    fPeriod = 0;
    for (std::size_t i = 0; i < fRecords.size(); ++i) {
        TOxygenRecord& record = fRecords.Mutable(i);
        record.Result = fBalance.Add(record.Input, ConstantsFor(record.Input));
    }
}

double ContentDrift(const TOxygenHistory& aHistory, double aFromS, double aWindowS)
{
    if (aHistory.Empty()) return INFINITY;
    const double newest = aHistory.Last().Result.TimeS;
    const double from = std::max(aFromS, newest - aWindowS);
    double n = 0, st = 0, sb = 0, stt = 0, stb = 0;
    for (std::size_t i = aHistory.Size(); i-- > 0;) {
        const TOxygenPointResult& r = aHistory.At(i).Result;
        if (r.TimeS < from) break;
        const double t = r.TimeS - newest; // small numbers keep the sums exact
        n += 1;
        st += t;
        sb += r.b;
        stt += t * t;
        stb += t * r.b;
        if (aHistory.At(i).Input.AfterPause) break; // b does not carry the pump across it
    }
    const double spread = n * stt - st * st;
    if (n < 3 || !(spread > 0)) return INFINITY;
    return (n * stb - st * sb) / spread * aWindowS;
}

} // namespace oxtiva
