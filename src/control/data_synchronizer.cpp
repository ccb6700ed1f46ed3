#include "control/data_synchronizer.h"

namespace oxtiva
{

TDataSynchronizer::TDataSynchronizer(TDateTime aTime, const QString& aName)
    : L(QStringLiteral("TDataSynchronizer ") + aName), fTimeMin(aTime), fTimeMax(aTime),
      fTimePrev(aTime)
{
    L.Send(QStringLiteral("Create"));
}

void TDataSynchronizer::Add(TDateTime aTime, double aValue)
{
    L.EnterMethod(QStringLiteral("Add"));
    // Each sample stands for the interval since the one before it; a sample that arrives
    // out of order enters with a negative weight and leaves the window's end alone.
    const double elapsed = (aTime - fTimePrev) * SecondsPerDay;
    L.SendValue(QStringLiteral("Elapsed: "), elapsed);
    fTimePrev = aTime;
    if (aTime > fTimeMax) fTimeMax = aTime;
    fDurationS = (fTimeMax - fTimeMin) * SecondsPerDay;
    L.SendValue(QStringLiteral("Duration: "), fDurationS);
    fSum += elapsed * aValue;
    L.SendValue(QStringLiteral("Sum: "), fSum);
    L.SendValue(QStringLiteral("Average: "), Average());
    L.ExitMethod(QStringLiteral("Add"));
}

double TDataSynchronizer::Average() const
{
    return fDurationS > 0 ? fSum / fDurationS : 0;
}

} // namespace oxtiva
