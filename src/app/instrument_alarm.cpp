#include "app/instrument_alarm.h"

#include "records/number_format.h"

#include <QStringList>

#include <algorithm>

namespace oxtiva
{

namespace
{

constexpr double ShortestAlarmDelaySeconds = 30;
constexpr int DataPointsWithoutReading = 3;

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
                     FormatDateTime(u"yyyy-mm-dd hh:mm:ss", ToLocalDateTime(*aMissing[i]));
    }
    if (parts.isEmpty()) return {};
    return QStringLiteral("No reading from ") + parts.join(QStringLiteral(", "));
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
        else if (!missing && fMissing[i])
            changes[i] = TChange{instrument, false, 0, watch.LastGoodReading > *fMissing[i]};
        fMissing[i] = missing;
    }
    return changes;
}

} // namespace oxtiva
