#include "science/oxygen_constants.h"

#include <algorithm>
#include <cmath>

namespace oxtiva
{

bool SameCalibration(const TAlphaCalibration& a, const TAlphaCalibration& b)
{
    const bool sameTemperature = a.CellK == b.CellK || (std::isnan(a.CellK) && std::isnan(b.CellK));
    return sameTemperature && a.Alpha == b.Alpha;
}

void Calibrate(TAlphaCalibrations& aCalibrations, double aCellK, double aAlpha)
{
    if (!(aCellK > 0)) {
        aCalibrations = {{std::nan(""), aAlpha}};
        return;
    }
    std::erase_if(aCalibrations, [aCellK](const TAlphaCalibration& c) {
        return !(std::abs(c.CellK - aCellK) >= SameCalibrationK);
    });
    const auto at =
        std::lower_bound(aCalibrations.begin(), aCalibrations.end(), aCellK,
                         [](const TAlphaCalibration& c, double cellK) { return c.CellK < cellK; });
    aCalibrations.insert(at, {aCellK, aAlpha});
}

double AlphaAt(const TAlphaCalibrations& aCalibrations, double aCellK)
{
    if (aCalibrations.empty()) return 0;
    if (aCalibrations.size() == 1 || !(aCellK > aCalibrations.front().CellK))
        return aCalibrations.front().Alpha;
    if (aCellK >= aCalibrations.back().CellK) return aCalibrations.back().Alpha;
    const auto above =
        std::upper_bound(aCalibrations.begin(), aCalibrations.end(), aCellK,
                         [](double cellK, const TAlphaCalibration& c) { return cellK < c.CellK; });
    const TAlphaCalibration& low = *(above - 1);
    const TAlphaCalibration& high = *above;
    const double share = (1 / aCellK - 1 / low.CellK) / (1 / high.CellK - 1 / low.CellK);
    if (low.Alpha > 0 && high.Alpha > 0)
        return std::exp(std::log(low.Alpha) + share * std::log(high.Alpha / low.Alpha));
    return low.Alpha + share * (high.Alpha - low.Alpha);
}

double AlphaHeldFromK(const TAlphaCalibrations& aCalibrations, double aCellK)
{
    if (aCalibrations.empty() || !(aCellK > 0)) return std::nan("");
    const double low = aCalibrations.front().CellK, high = aCalibrations.back().CellK;
    if (aCellK < low - SameCalibrationK) return low;
    if (aCellK > high + SameCalibrationK) return high;
    return std::nan(""); // within the range, or a calibration without temperature (NaN)
}

TConstantsHistory OneConstantsPeriod(const TOxygenBalanceConstants& aConstants)
{
    TConstantsPeriod period{0, aConstants, {}};
    Calibrate(period.Alpha, std::nan(""), aConstants.LeakAlpha);
    return {period};
}

const TConstantsPeriod& PeriodAt(const TConstantsHistory& aHistory, double aTimeS)
{
    const auto after =
        std::upper_bound(aHistory.begin() + 1, aHistory.end(), aTimeS,
                         [](double timeS, const TConstantsPeriod& p) { return timeS < p.FromS; });
    return *(after - 1);
}

std::size_t PeriodIndexAt(const TConstantsHistory& aHistory, double aTimeS, std::size_t aHint)
{
    if (aHint >= aHistory.size() || (aHint > 0 && aHistory[aHint].FromS > aTimeS))
        return std::size_t(&PeriodAt(aHistory, aTimeS) - aHistory.data());
    while (aHint + 1 < aHistory.size() && aHistory[aHint + 1].FromS <= aTimeS)
        ++aHint;
    return aHint;
}

TOxygenBalanceConstants ConstantsOf(const TConstantsPeriod& aPeriod, double aCellK)
{
    TOxygenBalanceConstants constants = aPeriod.Constants;
    constants.LeakAlpha = AlphaAt(aPeriod.Alpha, aCellK);
    return constants;
}

TOxygenBalanceConstants ConstantsAt(const TConstantsHistory& aHistory, double aTimeS, double aCellK)
{
    return ConstantsOf(PeriodAt(aHistory, aTimeS), aCellK);
}

bool SameSampleConstants(const TOxygenBalanceConstants& a, const TOxygenBalanceConstants& b)
{
    return a.b0 == b.b0 && a.n0 == b.n0 && a.bs == b.bs;
}

void ChangeConstants(TConstantsHistory& aHistory, double aFromS,
                     const TOxygenBalanceConstants& aConstants, double aCellK)
{
    TConstantsPeriod period = aHistory.back();
    period.FromS = aFromS;
    if (aConstants.LeakAlpha != period.Constants.LeakAlpha)
        Calibrate(period.Alpha, aCellK, aConstants.LeakAlpha);
    period.Constants = aConstants;
    std::erase_if(aHistory, [aFromS](const TConstantsPeriod& p) { return p.FromS >= aFromS; });
    for (TConstantsPeriod& p : aHistory) {
        p.Constants.b0 = aConstants.b0;
        p.Constants.n0 = aConstants.n0;
        p.Constants.bs = aConstants.bs;
    }
    aHistory.push_back(period);
}

void ApplyToWholeRun(TConstantsHistory& aHistory)
{
    TConstantsPeriod newest = aHistory.back();
    newest.FromS = aHistory.front().FromS;
    aHistory = {newest};
}

} // namespace oxtiva
