#include "app/experiment/instrument_alarm.h"

#include "records/number_format.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace oxtiva
{

namespace
{

constexpr double ShortestAlarmDelaySeconds = 30;
constexpr int DataPointsWithoutReading = 3;
// Alarms the trace pane names one by one; earlier ones are only counted.
constexpr std::size_t TracedInFull = 3;

QString LocalTimeText(TDateTime aTime)
{
    return FormatDateTime(u"yyyy-mm-dd hh:mm:ss", WallTimeOf(aTime));
}

} // namespace

QString InstrumentName(TInstrument aInstrument)
{
    return aInstrument == TInstrument::SourceMeter2401 ? QStringLiteral("SourceMeter 2401")
                                                       : QStringLiteral("MultiMeter 2000");
}

double AlarmDelaySeconds(double aDataPointLength)
{
    return std::max(ShortestAlarmDelaySeconds, DataPointsWithoutReading * aDataPointLength);
}

std::optional<TDateTime> MissingReadingsSince(const TReadingWatch& aWatch, TDateTime aNow,
                                              double aDelaySeconds)
{
    if (!aWatch.Expected) return std::nullopt;
    const TDateTime since = std::max(aWatch.ExpectedSince, aWatch.LastGoodReading);
    if ((aNow - since) * SecondsPerDay > aDelaySeconds) return since;
    return std::nullopt;
}

bool AnyMissing(const TMissingReadings& aMissing)
{
    return std::any_of(aMissing.begin(), aMissing.end(),
                       [](const auto& m) { return m.has_value(); });
}

QString MissingReadingsText(const TMissingReadings& aMissing)
{
    QStringList parts;
    for (int i = 0; i < InstrumentCount; ++i) {
        if (!aMissing[i]) continue;
        parts << InstrumentName(static_cast<TInstrument>(i)) + QStringLiteral(" since ") +
                     LocalTimeText(*aMissing[i]);
    }
    if (parts.isEmpty()) return {};
    return QStringLiteral("No reading from ") + parts.join(QStringLiteral(", "));
}

QString SilenceDurationText(double aSeconds)
{
    const auto total = static_cast<long long>(std::llround(std::max(0.0, aSeconds)));
    struct TUnit {
        long long Seconds;
        const char* Name;
    };
    static constexpr TUnit Units[] = {{86400, "d"}, {3600, "h"}, {60, "min"}, {1, "s"}};
    for (std::size_t i = 0; i + 1 < std::size(Units); ++i) {
        if (total < Units[i].Seconds) continue;
        const TUnit& next = Units[i + 1];
        const long long rest = total % Units[i].Seconds / next.Seconds;
        return QStringLiteral("%1 %2 %3 %4")
            .arg(total / Units[i].Seconds)
            .arg(QLatin1String(Units[i].Name))
            .arg(rest)
            .arg(QLatin1String(next.Name));
    }
    return QStringLiteral("%1 s").arg(total);
}

QString ClearedAlarmText(const TClearedAlarm& aAlarm)
{
    return InstrumentName(aAlarm.Instrument) + QStringLiteral(" silent from ") +
           LocalTimeText(aAlarm.Since) + QStringLiteral(" for ") +
           SilenceDurationText((aAlarm.Cleared - aAlarm.Since) * SecondsPerDay) +
           (aAlarm.ReadAgain ? QStringLiteral(", reads again")
                             : QStringLiteral(", then no longer read"));
}

QString AlarmTraceText(const std::vector<TClearedAlarm>& aAlarms)
{
    QStringList parts;
    for (auto it = aAlarms.rbegin();
         it != aAlarms.rend() && std::size_t(parts.size()) < TracedInFull; ++it)
        parts << ClearedAlarmText(*it);
    if (aAlarms.size() > TracedInFull)
        parts << QStringLiteral("and %1 earlier").arg(aAlarms.size() - TracedInFull);
    return parts.join(QStringLiteral("; "));
}

TStatusText InstrumentPaneStatus(const TMissingReadings& aMissing, const TStatusText& aUsual)
{
    if (!AnyMissing(aMissing)) return aUsual;
    return {MissingReadingsText(aMissing), PictureBad};
}

std::array<std::optional<TInstrumentAlarm::TChange>, InstrumentCount>
TInstrumentAlarm::Update(TDateTime aNow, const std::array<bool, InstrumentCount>& aExpected,
                         const std::array<TDateTime, InstrumentCount>& aLastGoodReading,
                         double aDelaySeconds)
{
    std::array<std::optional<TChange>, InstrumentCount> changes;
    for (int i = 0; i < InstrumentCount; ++i) {
        TReadingWatch& watch = fWatches[i];
        if (aExpected[i] && !watch.Expected) watch.ExpectedSince = aNow;
        watch.Expected = aExpected[i];
        watch.LastGoodReading = aLastGoodReading[i];
        const std::optional<TDateTime> missing = MissingReadingsSince(watch, aNow, aDelaySeconds);
        const auto instrument = static_cast<TInstrument>(i);
        if (missing && !fMissing[i])
            changes[i] = TChange{instrument, true, *missing};
        else if (!missing && fMissing[i]) {
            const bool readAgain = watch.LastGoodReading > *fMissing[i];
            changes[i] = TChange{instrument, false, *fMissing[i], readAgain,
                                 readAgain ? watch.LastGoodReading : aNow};
        }
        fMissing[i] = missing;
    }
    return changes;
}

} // namespace oxtiva
