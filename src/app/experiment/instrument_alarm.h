#pragma once

#include "app/window/status_bar.h"
#include "records/date_time.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace oxtiva
{

// An instrument that stops answering mid-run leaves the last temperature on screen and
// data points simply stop coming; in a run left alone for days nothing else would tell.
// So each instrument is watched for good readings while it should be giving them.

enum class TInstrument { SourceMeter2401, MultiMeter2000 };
inline constexpr int InstrumentCount = 2;

QString InstrumentName(TInstrument aInstrument);

// How long an instrument may go without a good reading: three data points, and never less
// than half a minute, so neither a long data point nor a slow reply raises a false alarm.
double AlarmDelaySeconds(double aDataPointLength);

// What is known of one instrument's readings (NowDays() clock).
struct TReadingWatch {
    bool Expected = false;         // its thread runs and is not paused
    TDateTime ExpectedSince = 0;   // when readings last began to be expected
    TDateTime LastGoodReading = 0; // 0 before the first
};

// Since when the instrument has given no good reading although it should have, once that
// has lasted longer than aDelaySeconds; nothing otherwise. Time only counts while readings
// are expected, so after a pause the clock starts again where reading resumed.
std::optional<TDateTime> MissingReadingsSince(const TReadingWatch& aWatch, TDateTime aNow,
                                              double aDelaySeconds);

// For each instrument (indexed by TInstrument) since when its readings are missing.
using TMissingReadings = std::array<std::optional<TDateTime>, InstrumentCount>;

bool AnyMissing(const TMissingReadings& aMissing);

// "No reading from SourceMeter 2401 since 2024-05-06 14:03:27", the time in local time;
// several instruments are listed one after the other. Empty when nothing is missing.
QString MissingReadingsText(const TMissingReadings& aMissing);

// The instrument pane: the alarm with the bad picture while readings are missing,
// otherwise aUsual.
TStatusText InstrumentPaneStatus(const TMissingReadings& aMissing, const TStatusText& aUsual);

// An alarm that has ended, kept for the operator who was away while it held.
struct TClearedAlarm {
    TInstrument Instrument = TInstrument::SourceMeter2401;
    TDateTime Since = 0;   // when its readings went missing
    TDateTime Cleared = 0; // when the alarm ended
    bool ReadAgain = false;
};

// "42 s", "4 min 12 s", "2 h 5 min", "3 d 4 h": two units are enough to judge a silence.
QString SilenceDurationText(double aSeconds);

// "SourceMeter 2401 silent from 2024-05-06 12:03:10 for 4 min 12 s, reads again" (or "then
// no longer read" when the run was paused or ended first), the time in local time.
QString ClearedAlarmText(const TClearedAlarm& aAlarm);

// What the trace pane shows of the alarms not yet acknowledged, the newest first: the
// newest few in full, then how many earlier ones there were. Empty when there is none.
QString AlarmTraceText(const std::vector<TClearedAlarm>& aAlarms);

// Follows the watches from one control-cycle pass to the next: restarts an instrument's
// clock when its readings begin to be expected, and tells which alarms begin or end.
class TInstrumentAlarm
{
  public:
    struct TChange {
        TInstrument Instrument;
        bool Raised;            // false: cleared
        TDateTime Since = 0;    // since when readings are (or, when cleared, were) missing
        bool ReadAgain = false; // when cleared: by a good reading (else no longer expected)
        TDateTime Until = 0;    // when cleared: the good reading, or the look that ended it
    };

    // aExpected and aLastGoodReading are indexed by TInstrument. Returns the alarms that
    // began or ended with this look, in instrument order.
    std::array<std::optional<TChange>, InstrumentCount>
    Update(TDateTime aNow, const std::array<bool, InstrumentCount>& aExpected,
           const std::array<TDateTime, InstrumentCount>& aLastGoodReading, double aDelaySeconds);

    const TMissingReadings& Missing() const { return fMissing; }

  private:
    std::array<TReadingWatch, InstrumentCount> fWatches;
    TMissingReadings fMissing;
};

} // namespace oxtiva
