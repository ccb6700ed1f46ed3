#include "control/step_progress.h"

#include <cmath>

namespace oxtiva
{

QString ElapsedText(double aSeconds)
{
    const auto whole =
        static_cast<long long>(std::isfinite(aSeconds) && aSeconds > 0 ? std::floor(aSeconds) : 0);
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600, 2, 10, zero)
        .arg(whole / 60 % 60, 2, 10, zero)
        .arg(whole % 60, 2, 10, zero);
}

QString StepProgressText(int aStepIndex, int aStepCount, double aSecondsInStep,
                         std::optional<double> aSecondsStable)
{
    const QString stability = aSecondsStable
                                  ? QStringLiteral("stable for ") + ElapsedText(*aSecondsStable)
                                  : QStringLiteral("waiting for stability");
    return QStringLiteral("Step %1 of %2 · %3 in step · %4")
        .arg(aStepIndex + 1)
        .arg(aStepCount)
        .arg(ElapsedText(aSecondsInStep), stability);
}

std::optional<double> SecondsSettled(const std::vector<TStepRow>& aRows)
{
    if (aRows.empty() || !aRows.back().Settled) return std::nullopt;
    double since = 0; // the step's start
    for (const TStepRow& row : aRows)
        if (!row.Settled) since = row.Time;
    return aRows.back().Time - since;
}

} // namespace oxtiva
