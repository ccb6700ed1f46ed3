#include "app/experiment/instrument_alarm_monitor.h"

#include "app/main_window.h"
#include "app/window/window_caption.h"
#include "instruments/thread2000.h"
#include "instruments/thread2401.h"

#include <QPushButton>
#include <QStringList>

namespace oxtiva
{

namespace
{

// Neither instrument is read while paused, nor before validation or after the close.
bool InstrumentsRead(TProgramState aState)
{
    switch (aState) {
    case TProgramState::ZeroCurrent:
    case TProgramState::SetVoltage:
    case TProgramState::PIDSet:
    case TProgramState::PIDStep:
    case TProgramState::PPS:
        return true;
    default:
        return false;
    }
}

} // namespace

TInstrumentAlarmMonitor::TInstrumentAlarmMonitor(TfrmOxtiva& window) : fWindow(window)
{
    fLog.SetDestination(window.LogDestination());
    QObject::connect(fWindow.ButtonAcknowledgeAlarm, &QPushButton::clicked,
                     fWindow.ButtonAcknowledgeAlarm, [this] { Acknowledge(); });
}

void TInstrumentAlarmMonitor::Acknowledge()
{
    fCleared.clear();
    ShowTrace();
}

void TInstrumentAlarmMonitor::ShowTrace()
{
    const bool any = !fCleared.empty();
    QStringList all;
    for (const TClearedAlarm& alarm : fCleared)
        all << ClearedAlarmText(alarm);
    fWindow.GlyphStatusAlarmTrace->SetStatus({AlarmTraceText(fCleared), PictureWarning});
    fWindow.GlyphStatusAlarmTrace->setToolTip(all.join(u'\n'));
    fWindow.GlyphStatusAlarmTrace->setVisible(any);
    fWindow.ButtonAcknowledgeAlarm->setVisible(any);
}

std::array<bool, InstrumentCount> TInstrumentAlarmMonitor::ReadingsExpected() const
{
    const bool read = InstrumentsRead(fWindow.State().ProgramState);
    return {read && fWindow.Thread2401 != nullptr, read && fWindow.Thread2000 != nullptr};
}

TStatusText TInstrumentAlarmMonitor::Refresh()
{
    const TSharedState& state = fWindow.State();
    const auto changes = fAlarm.Update(NowDays(), ReadingsExpected(),
                                       {state.LastGoodReading2401, state.LastGoodReading2000},
                                       AlarmDelaySeconds(state.DataPointLength));
    bool ended = false;
    for (const auto& change : changes) {
        if (!change) continue;
        Log(*change);
        if (change->Raised) continue;
        fCleared.push_back({change->Instrument, change->Since, change->Until, change->ReadAgain});
        ended = true;
    }
    if (ended) ShowTrace();
    fWindow.Caption().SetNotice(TCaptionNotice::InstrumentAlarm,
                                MissingReadingsText(fAlarm.Missing()));
    return InstrumentPaneStatus(fAlarm.Missing(), InstrumentStatus(state.ProgramState));
}

void TInstrumentAlarmMonitor::Log(const TInstrumentAlarm::TChange& aChange)
{
    if (aChange.Raised) {
        TMissingReadings missing;
        missing[static_cast<int>(aChange.Instrument)] = aChange.Since;
        fLog.Send(QStringLiteral("Instrument alarm: ") + MissingReadingsText(missing));
        return;
    }
    fLog.Send(QStringLiteral("Instrument alarm cleared: ") + InstrumentName(aChange.Instrument) +
              (aChange.ReadAgain ? QStringLiteral(" reads again")
                                 : QStringLiteral(" is no longer read")));
}

} // namespace oxtiva
