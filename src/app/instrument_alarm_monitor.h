#pragma once

#include "app/instrument_alarm.h"
#include "records/logging.h"

namespace oxtiva
{

class TfrmOxtiva;

// Shows the instrument alarm where the operator looks: the instrument pane of the status
// bar, the window caption, and one log line as each alarm begins and ends.
class TInstrumentAlarmMonitor
{
  public:
    explicit TInstrumentAlarmMonitor(TfrmOxtiva& window);

    // One look, at each refresh of the status bar; returns what the instrument pane shows.
    TStatusText Refresh();

  private:
    std::array<bool, InstrumentCount> ReadingsExpected() const;
    void Log(const TInstrumentAlarm::TChange& aChange);

    TfrmOxtiva& fWindow;
    TInstrumentAlarm fAlarm;
    TLogger fLog{QStringLiteral("Form"), true};
};

} // namespace oxtiva
