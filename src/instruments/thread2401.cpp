#include "instruments/thread2401.h"

#include "instruments/serial_port.h"
#include "instruments/smu_commands.h"
#include "records/number_format.h"

namespace oxtiva
{

namespace
{

constexpr unsigned long IdleMS = 1000;
// Attempts at the last source command before the thread gives up on confirming it.
constexpr int FinalSourceAttempts = 3;
constexpr unsigned long FinalSourceRetryMS = 200;
// A multimeter that lost a reply is silent for its two-second time-out and the
// resynchronisation after it, while a furnace's temperature moves by a fraction of a
// kelvin in that time: a point whose span holds too few temperature samples for a mean
// closes on the newest one while it is this recent, instead of waiting and stretching.
constexpr double TemperatureHoldS = 10;

} // namespace

TLogger& Thread2401Log()
{
    static TLogger logger(QStringLiteral("Thread 2401"));
    return logger;
}

void InitializeSMU(const QString& aPort, double aCurrentLimit, double aVoltageLimit)
{
    TSerialPort com;
    com.SetDebug(false);
    com.Port = aPort;
    const QList<QByteArray> commands = SmuSetupCommands(aCurrentLimit, aVoltageLimit);
    for (qsizetype i = 0; i < commands.size(); ++i) {
        com.Send2(commands[i], false);
        if (i == SmuVoltageProtectionCommandIndex)
            Thread2401Log().Send(QString::fromLatin1(commands[i]));
    }
}

TThread2401::TThread2401(TSharedState& state, const THandOverInputs& inputs, QObject* parent)
    : THandOverThread(parent), fState(state), fInputs(inputs)
{
}

TThread2401::~TThread2401()
{
    Abandon();
}

void TThread2401::run()
{
    TLogger& L = Thread2401Log();
    L.EnterMethod(QStringLiteral("Execute"));
    TSerialPort com;
    com.Port = Port;
    com.L.SetDestination(L.Destination());
    com.SetDebug(false);
    fIsStopped = false;
    fFinalSourceConfirmed = false;
    // :INIT answers nothing; waiting for a reply would only cost a time-out.
    com.Send2(QByteArray(":INIT\r"), false);
    while (!fToStop && !TearingDown()) {
        fMeasurementsOK = false;
        IdleWhilePaused();
        if (fToStop || TearingDown()) break;
        ActivePass(com);
        if (com.PortUnavailable()) PauseBeforeRetry(fToStopEx);
    }
    fFinalSourceConfirmed = SendFinalSourceCommand(com);
    com.Close();
    fIsStopped = true;
    L.ExitMethod(QStringLiteral("Execute"));
}

// No instrument traffic while paused; one hand-over a second takes over new requests,
// a stop request included.
void TThread2401::IdleWhilePaused()
{
    while (fModeIntegrator == TMode::Paused && !fToStop && !TearingDown()) {
        Thread2401Log().Send(QStringLiteral("Mode: Paused"));
        SleepUnlessEnded(IdleMS);
        HandOver();
    }
}

void TThread2401::ActivePass(TSerialPort& com)
{
    TLogger& L = Thread2401Log();
    L.EnterMethod(QStringLiteral("Execute main loop starts (ToStop = false)"));
    com.SetDebug(false);
    // A reading after a source command that failed would be booked under a mode the
    // instrument may not be in.
    const bool handedOver = SendSourceCommand(com) && ReadPump(com) && HandOver();
    // Without a good reading there is no hand-over; a stop request must not wait for a
    // reading that a dead instrument will never give.
    if (!handedOver && fToStopEx.load()) HandOver();
    L.ExitMethod(QStringLiteral("Execute main loop ends"));
}

bool TThread2401::SendSourceCommand(TSerialPort& com)
{
    TLogger& L = Thread2401Log();
    // A port that failed and is opened anew may find the instrument in any state.
    if (!com.IsOpen()) fConfirmedSource.reset();
    if (fModeIntegrator == TMode::SetCurrent) {
        L.Send(QStringLiteral("Mode: GS"));
        const TSerialResponse r = com.Send2(SourceCurrentCommand(fGSCurrentS), false);
        if (!r.Status.isEmpty()) {
            L.Send(QStringLiteral("Serial port response: ") + QString::fromLatin1(r.Status));
            fConfirmedSource.reset();
            return false;
        }
        fReadingSource = {fModeIntegrator, fGSCurrentS};
        return ConfirmSource(com);
    }
    if (fModeIntegrator == TMode::Uninitialized || fModeIntegrator == TMode::Paused) {
        fReadingSource = {fModeIntegrator, {}};
        return true;
    }
    L.Send(QStringLiteral("Mode: PS"));
    const QString level = QString::fromLatin1(fSourceVoltageDesiredS);
    const TSerialResponse r = com.Send2(SourceVoltageCommand(fSourceVoltageDesiredS), false);
    if (!r.Status.isEmpty()) {
        L.Send(QStringLiteral("Failed to adjust source voltage to ") + level);
        L.Send(QStringLiteral("Serial port response: ") + QString::fromLatin1(r.Status));
        fConfirmedSource.reset();
        return false;
    }
    fReadingSource = {fModeIntegrator, fSourceVoltageDesiredS};
    if (!ConfirmSource(com)) return false;
    fSourceVoltageUsed = fSourceVoltageDesired.load();
    L.Send(QStringLiteral("Adjusted source voltage to ") + level);
    return true;
}

// A source command the instrument did not take (garbled on the line, refused, lost with
// a port that failed) leaves it in its old mode or level while the readings would be
// booked under the new one: a source that differs from the last one confirmed is read
// back before anything is read under it. An unchanged source costs nothing more.
bool TThread2401::ConfirmSource(TSerialPort& com)
{
    if (fConfirmedSource == fReadingSource) return true;
    const bool current = fReadingSource.Mode == TMode::SetCurrent;
    const TSerialResponse r =
        com.Send2(current ? SourceStateQuery : SourceVoltageStateQuery, TReplyShape::Any());
    const bool confirmed =
        r.Status.isEmpty() && (current ? ConfirmsCurrentSource(r.Response, fReadingSource.Level)
                                       : ConfirmsVoltageSource(r.Response, fReadingSource.Level));
    if (!confirmed) {
        Thread2401Log().Send(QStringLiteral("Source not confirmed: ") +
                             QString::fromLatin1(r.Status.isEmpty() ? r.Response : r.Status));
        fConfirmedSource.reset();
        return false;
    }
    fConfirmedSource = fReadingSource;
    return true;
}

bool TThread2401::ReadPump(TSerialPort& com)
{
    TLogger& L = Thread2401Log();
    // The transport accepts only a reply of two numbers, and only one to this command.
    const TSerialResponse r = com.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2));
    if (!r.Status.isEmpty()) {
        L.Send(QStringLiteral("Reading SMU failed"));
        L.Send(QStringLiteral("Serial port response: ") + QString::fromLatin1(r.Status));
        return false;
    }
    fResponse = r.Response;
    fResponseTime = NowDays();
    const QList<QByteArray> fields = SplitReadingFields(fResponse);
    ScpiConversionErrorPosition(QString::fromLatin1(fields[0]), fVoltageMeasured);
    ScpiConversionErrorPosition(QString::fromLatin1(fields[1]), fCurrentMeasured);
    if (L.Enabled())
        L.Send(QStringLiteral("Pump voltage: ") + FormatGeneral(fVoltageMeasured) +
               QStringLiteral(" Current: ") + FormatGeneral(fCurrentMeasured));
    // The overflow value, or anything else the instrument cannot measure, would swamp a
    // whole data point's mean.
    if (!PlausibleSmuVoltage(fVoltageMeasured) || !PlausibleSmuCurrent(fCurrentMeasured)) {
        L.Send(QStringLiteral("Implausible reading from instrument"));
        return false;
    }
    fMeasurementsOK = true;
    return true;
}

// The owner sets GSCurrent to 0 before it asks for the stop, so this leaves the pump as
// a 0 A source with the output on, whatever the working mode was. A thread torn down
// without a stop request never read that value and falls back to 0 A itself.
bool TThread2401::SendFinalSourceCommand(TSerialPort& com)
{
    TLogger& L = Thread2401Log();
    const QByteArray level = fToStop ? fGSCurrentS : CurrentLevelText(0);
    for (int attempt = 1; attempt <= FinalSourceAttempts; ++attempt) {
        L.Send(QStringLiteral("Stopping: current source at ") + QString::fromLatin1(level));
        if (!com.Send2(SourceCurrentCommand(level), false).Status.isEmpty()) continue;
        const TSerialResponse r = com.Send2(SourceStateQuery, TReplyShape::Any());
        if (r.Status.isEmpty() && ConfirmsCurrentSource(r.Response, level)) return true;
        L.Send(QStringLiteral("Source state not confirmed: ") +
               QString::fromLatin1(r.Status.isEmpty() ? r.Response : r.Status));
        // A port that failed needs a moment before it can be opened again.
        if (attempt < FinalSourceAttempts) msleep(FinalSourceRetryMS);
    }
    L.Send(QStringLiteral("The pump's current source could not be confirmed at ") +
           QString::fromLatin1(level) + QStringLiteral(" A"));
    return false;
}

bool TThread2401::HandOver()
{
    return RunHandOver([this] { UpdateResults(); });
}

// On the main thread, while the worker waits.
void TThread2401::UpdateResults()
{
    TLogger& L = Thread2401Log();
    L.EnterMethod(QStringLiteral("UpdateResults"));
    TakeOverMode();
    ChooseSourceLevels();
    if (fModeIntegrator == TMode::Paused || !fMeasurementsOK)
        L.Send(QStringLiteral("Thread was paused or bad data"));
    else
        IntegrateReading();
    L.ExitMethod(QStringLiteral("UpdateResults"));
}

// A pause takes effect at once and discards the running point; any other requested mode
// becomes the working mode only between data points.
void TThread2401::TakeOverMode()
{
    fToStop = fToStopEx.load();
    fMode = fModeEx.load();
    if (fMode == TMode::Paused) {
        fModeIntegrator = TMode::Paused;
        DiscardDataPoint();
        fPausedSincePoint = true;
    }
    if (fState.SyncI) {
        Thread2401Log().SendValue(QStringLiteral("IntegrateI.DurationS: "),
                                  fState.SyncI->DurationS());
        return;
    }
    if (fModeIntegrator != fMode) {
        fState.StepStartTime = NowDays();
        fModeIntegrator = fMode;
        if (fState.StartTime == 0) fState.StartTime = NowDays();
    }
    Thread2401Log().Send(QStringLiteral("Between integrations"));
}

void TThread2401::ChooseSourceLevels()
{
    TSourceVoltage source;
    switch (fModeIntegrator) {
    case TMode::SetVoltage:
        source = ClampedSourceVoltage(fInputs.SetVoltageMillivolts() / 1000.0);
        break;
    case TMode::PIDSet:
    case TMode::PIDStep:
        source = ClampedSourceVoltage(fState.PID.FeedBack());
        break;
    case TMode::PPS:
        source = ClampedSourceVoltage(fState.PID.Setpoint());
        break;
    default:
        break;
    }
    fSourceVoltageDesired = source.Value;
    fSourceVoltageDesiredS = source.Text;
    fGSCurrent = fState.GSCurrent;
    fGSCurrentS = CurrentLevelText(fGSCurrent);
}

// An averager created here takes no value: the reading only opens the interval that the
// next one weighs.
// The source level this reading measured stays until this hand-over has chosen the next
// one, so the current is known up to now, however long the window's thread kept the
// hand-over waiting. A new point continues from the end of the one before it, so no
// stretch of the pump record falls between two points.
void TThread2401::IntegrateReading()
{
    const TDateTime handOver = NowDays();
    fState.LastGoodReading2401 = handOver;
    if (!fState.SyncI && fCurrentTail) {
        fState.SyncI = std::make_unique<TDataSynchronizer>(*fCurrentTail, QStringLiteral("I"));
        NoteSource(fTailSource); // the tail's current carries the point's first stretch
    }
    if (!fState.SyncI)
        fState.SyncI = std::make_unique<TDataSynchronizer>(fResponseTime, QStringLiteral("I"));
    else
        fState.SyncI->Add(fResponseTime, fCurrentMeasured);
    NoteSource(fReadingSource);
    fState.SyncI->HeldUntil(handOver);
    fCurrentTail = fState.SyncI->Tail();
    fTailSource = fReadingSource;
    fState.PID.SetCurrentApplied(fCurrentMeasured);
    if (!fState.SyncV)
        fState.SyncV = std::make_unique<TDataSynchronizer>(fResponseTime, QStringLiteral("V"));
    else
        fState.SyncV->Add(fResponseTime, fVoltageMeasured);
    if (DataPointComplete()) PublishDataPoint();
}

// The temperature comes from the multimeter thread; without a recent one a point waits.
bool TThread2401::DataPointComplete() const
{
    return fState.SyncI->DurationS() > fState.DataPointLength && fState.SyncV->DurationS() > 0 &&
           (TemperatureMeanReady() || TemperatureSampleRecent());
}

bool TThread2401::TemperatureMeanReady() const
{
    return fState.SyncT && fState.SyncT->DurationS() > 0;
}

bool TThread2401::TemperatureSampleRecent() const
{
    return fState.LastGoodReading2000 > 0 &&
           (NowDays() - fState.LastGoodReading2000) * SecondsPerDay <= TemperatureHoldS;
}

// A mode becomes the working mode only between points, yet the reading that opens a point
// was taken before the hand-over that switched it, and a current level follows its edit at
// once: so a point may hold readings of two sources.
void TThread2401::NoteSource(const TPumpSource& source)
{
    if (!fPointSource) {
        fPointSource = source;
        fPointSourceSteady = true;
    } else if (*fPointSource != source) {
        fPointSourceSteady = false;
    }
}

bool TThread2401::ZeroCurrentThroughout() const
{
    return fPointSource && fPointSourceSteady && fPointSource->Mode == TMode::SetCurrent &&
           fPointSource->Level.toDouble() == 0;
}

void TThread2401::PublishDataPoint()
{
    TDataPointRec& point = fState.DataPoint;
    point.PumpV = fState.SyncV->Sum() / fState.SyncV->DurationS();
    point.PumpI = fState.SyncI->Average();
    Thread2401Log().SendValue(QStringLiteral("Pump current "), point.PumpI);
    // A lone sample stays to open the next point's mean.
    if (TemperatureMeanReady()) {
        point.Temp = fState.SyncT->Sum() / fState.SyncT->DurationS();
        fState.SyncT.reset();
    } else {
        point.Temp = fState.LastTemperatureSample;
        Thread2401Log().SendValue(QStringLiteral("Temperature held from the newest sample "),
                                  point.Temp);
    }
    point.Duration = (fState.SyncI->TimeMax() - fState.StepStartTime) * SecondsPerDay;
    point.Mode = static_cast<int>(fModeIntegrator) + 10;
    point.Charge = fState.SyncI->Sum();
    point.StartTime = fState.SyncI->TimeMin();
    point.EndTime = fState.SyncI->TimeMax();
    point.MeanCharge = fState.SyncI->MeanRunningSum();
    point.LongestUnmeasuredS = fState.SyncI->LongestUnmeasuredS();
    point.ZeroCurrentThroughout = ZeroCurrentThroughout();
    point.AfterPause = fPausedSincePoint;
    fPausedSincePoint = false;
    fPointSource.reset();
    // Without a pO2 mean the point keeps the last one and the averager runs on.
    if (fState.SyncpO2 && fState.SyncpO2->DurationS() > 0) {
        point.CellpO2 = fState.SyncpO2->Sum() / fState.SyncpO2->DurationS();
        point.CellpO2Valid = true;
        fState.SyncpO2.reset();
    }
    fState.SyncI.reset();
    fState.SyncV.reset();
    point.Ready = true;
}

void TThread2401::DiscardDataPoint()
{
    fCurrentTail.reset();
    fPointSource.reset();
    fState.SyncI.reset();
    fState.SyncV.reset();
    fState.SyncT.reset();
    fState.SyncpO2.reset();
}

} // namespace oxtiva
