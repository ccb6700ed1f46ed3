#pragma once

#include "app/experiment/instrument_alarm.h"
#include "records/logging.h"

namespace oxtiva
{

class TfrmOxtiva;

// Shows the instrument alarm where the operator looks: the instrument pane of the status
// bar, the window caption, and one log line as each alarm begins and ends. An alarm that
// ended leaves a trace pane beside the instrument pane until the operator acknowledges it:
// whoever was away while it held would otherwise never learn of it.
class TInstrumentAlarmMonitor
{
  public:
    explicit TInstrumentAlarmMonitor(TfrmOxtiva& window);

    // One look, at each refresh of the status bar; returns what the instrument pane shows.
    TStatusText Refresh();

    // The ended alarms not yet acknowledged, the oldest first.
    const std::vector<TClearedAlarm>& Cleared() const { return fCleared; }
    void Acknowledge();
    // Whether each instrument should be giving readings now.
    std::array<bool, InstrumentCount> ReadingsExpected() const;

  private:
    void Log(const TInstrumentAlarm::TChange& aChange);
    void ShowTrace();

    TfrmOxtiva& fWindow;
    TInstrumentAlarm fAlarm;
    std::vector<TClearedAlarm> fCleared;
    TLogger fLog{QStringLiteral("Form"), true};
};

} // namespace oxtiva
