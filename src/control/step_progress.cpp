#include "control/step_progress.h"

#include "records/number_format.h"

#include <QStringList>

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

namespace
{

QString Percent(double aValue)
{
    return FormatFloat(u"0.000", aValue) + QStringLiteral(" %");
}

// "RC pO2 0.834 % ≥ 0.5 %", or that it is not known yet.
QString AgainstThreshold(const QString& aName, std::optional<double> aRC, double aThreshold)
{
    if (!aRC) return aName + QStringLiteral(" not yet known");
    const bool met = std::abs(*aRC) < std::abs(aThreshold);
    return aName + u' ' + Percent(*aRC) + (met ? QStringLiteral(" < ") : QStringLiteral(" ≥ ")) +
           FormatGeneral(aThreshold) + QStringLiteral(" %");
}

// The current settles by its relative change or by a change within the floor; the text
// says which of the two holds.
QString CurrentRules(const TStepWait& aWait)
{
    QString text = AgainstThreshold(QStringLiteral("RC I"), aWait.RCI, aWait.Threshold);
    if (!aWait.CurrentChange) return text;
    const bool shareMet = aWait.RCI && std::abs(*aWait.RCI) < std::abs(aWait.Threshold);
    const bool floorMet = std::abs(*aWait.CurrentChange) <= aWait.CurrentFloor;
    return text +
           (shareMet || !floorMet ? QStringLiteral(", change ") : QStringLiteral(" but change ")) +
           FormatFloat(u"0.0E+0", *aWait.CurrentChange) +
           (floorMet ? QStringLiteral(" A ≤ ") : QStringLiteral(" A > ")) +
           FormatFloat(u"0.0E+0", aWait.CurrentFloor) + QStringLiteral(" A");
}

} // namespace

QString StepWaitText(const TStepWait& aWait)
{
    if (aWait.NoPointYet) return QStringLiteral("no point of this step yet");
    QStringList parts;
    parts << AgainstThreshold(QStringLiteral("RC pO2"), aWait.RCpO2, aWait.Threshold);
    parts << (aWait.CurrentAtLimit ? QStringLiteral("current at its limit") : CurrentRules(aWait));
    if (aWait.ShorterThanRC)
        parts << QStringLiteral("step shorter than the RC duration of %1 s")
                     .arg(FormatGeneral(aWait.RCDuration));
    if (aWait.RangeRule && !aWait.InRange)
        parts << QStringLiteral("pO2 not yet within %1 % of the set point")
                     .arg(FormatGeneral(aWait.Threshold));
    return parts.join(QStringLiteral(", "));
}

// Once the pO2 is steady, the step may still wait for the current to settle.
QString CurrentWaitText(const TStepWait& aWait)
{
    if (aWait.CurrentAtLimit) return QStringLiteral("current at its limit");
    if (aWait.NoPointYet || !aWait.RCI || std::abs(*aWait.RCI) < std::abs(aWait.Threshold))
        return {};
    return AgainstThreshold(QStringLiteral("RC I"), aWait.RCI, aWait.Threshold);
}

QString StepProgressText(int aStepIndex, int aStepCount, double aSecondsInStep,
                         std::optional<double> aSecondsStable, const TStepWait& aWait)
{
    QString stability = aSecondsStable
                            ? QStringLiteral("pO2 stable for ") + ElapsedText(*aSecondsStable)
                            : QStringLiteral("waiting: ") + StepWaitText(aWait);
    if (aSecondsStable) {
        const QString current = CurrentWaitText(aWait);
        if (!current.isEmpty()) stability += QStringLiteral(", waiting: ") + current;
    }
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
