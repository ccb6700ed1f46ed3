#include "control/data_synchronizer.h"

#include <algorithm>

namespace oxtiva
{

TDataSynchronizer::TDataSynchronizer(TDateTime aTime, const QString& aName)
    : L(QStringLiteral("TDataSynchronizer ") + aName), fTimeMin(aTime), fTimeMax(aTime),
      fTimePrev(aTime), fHeldUntil(aTime)
{
    L.Send(QStringLiteral("Create"));
}

TDataSynchronizer::TDataSynchronizer(const TSyncTail& aTail, const QString& aName)
    : TDataSynchronizer(aTail.Time, aName)
{
    fHasValue = true;
    fLastValue = aTail.Value;
    fHeldUntil = aTail.HeldUntil;
}

void TDataSynchronizer::Book(TDateTime aFrom, TDateTime aTo, double aValue)
{
    const double from = (aFrom - fTimeMin) * SecondsPerDay;
    const double to = (aTo - fTimeMin) * SecondsPerDay;
    fSum += (to - from) * aValue;
    fMoment += (to * to - from * from) / 2 * aValue;
}

void TDataSynchronizer::Add(TDateTime aTime, double aValue)
{
    L.EnterMethod(QStringLiteral("Add"));
    // Each sample stands for the interval since the one before it, less what the value
    // before it is known to have covered; a sample that arrives out of order enters with a
    // negative weight and leaves the window's end alone.
    const double elapsed = (aTime - fTimePrev) * SecondsPerDay;
    L.SendValue(QStringLiteral("Elapsed: "), elapsed);
    const TDateTime held =
        fHasValue ? std::clamp(fHeldUntil, fTimePrev, std::max(fTimePrev, aTime)) : fTimePrev;
    Book(fTimePrev, held, fLastValue);
    Book(held, aTime, aValue);
    fLongestUnmeasuredS = std::max(fLongestUnmeasuredS, (aTime - held) * SecondsPerDay);
    fTimePrev = aTime;
    fHeldUntil = aTime;
    fHasValue = true;
    fLastValue = aValue;
    if (aTime > fTimeMax) fTimeMax = aTime;
    fDurationS = (fTimeMax - fTimeMin) * SecondsPerDay;
    L.SendValue(QStringLiteral("Duration: "), fDurationS);
    L.SendValue(QStringLiteral("Sum: "), fSum);
    L.SendValue(QStringLiteral("Average: "), Average());
    L.ExitMethod(QStringLiteral("Add"));
}

void TDataSynchronizer::HeldUntil(TDateTime aTime)
{
    fHeldUntil = std::max(fHeldUntil, aTime);
}

double TDataSynchronizer::Average() const
{
    return fDurationS > 0 ? fSum / fDurationS : 0;
}

double TDataSynchronizer::MeanRunningSum() const
{
    // The mean of the running integral over [0, D] is the integral of value * (D - t) / D.
    return fDurationS > 0 ? fSum - fMoment / fDurationS : 0;
}

} // namespace oxtiva
