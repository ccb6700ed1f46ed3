#pragma once

#include "control/modes.h"
#include "control/shared_state.h"
#include "instruments/hand_over_inputs.h"
#include "instruments/hand_over_thread.h"
#include "records/date_time.h"
#include "records/logging.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <optional>

namespace oxtiva
{

class TSerialPort;

// What the pump was told to source when a reading was taken.
struct TPumpSource {
    TMode Mode = TMode::Uninitialized;
    QByteArray Level; // the level text of the source command, empty without one
    bool operator==(const TPumpSource&) const = default;
};

// The unit logger of the pump side, "Thread 2401", switched off until somebody switches
// it on. Every line of the set-up and of the pump thread goes here.
TLogger& Thread2401Log();

// Sends the SourceMeter's set-up sequence on the named port without awaiting replies.
// Leaves the instrument as a 0 A current source with its output on.
void InitializeSMU(const QString& aPort, double aCurrentLimit, double aVoltageLimit);

// The pump worker: sources the pump in the working mode, reads voltage and current as
// fast as the instrument answers, and hands every good reading over to the current and
// voltage averagers. Its hand-over publishes DataPoint once the current averager spans
// more than DataPointLength. The owner asks for a mode with SetModeEx, which becomes the
// working mode between data points (a pause at once); to stop it sets GSCurrent to 0,
// SetModeEx(SetCurrent) and SetToStopEx(true), then deletes the thread once IsStopped(),
// running its event loop meanwhile. Whatever mode it was in, the thread's last command
// is the current-source command at GSCurrent, read back and retried until confirmed
// (FinalSourceConfirmed), so the cell is not left driven unnoticed.
class TThread2401 : public THandOverThread
{
  public:
    TThread2401(TSharedState& state, const THandOverInputs& inputs, QObject* parent = nullptr);
    ~TThread2401() override;

    TMode ModeEx() const { return fModeEx.load(); }
    void SetModeEx(TMode mode) { fModeEx = mode; }
    bool ToStopEx() const { return fToStopEx.load(); }
    void SetToStopEx(bool value) { fToStopEx = value; }
    bool IsStopped() const { return fIsStopped.load(); }
    float SourceVoltageDesired() const { return fSourceVoltageDesired.load(); }
    float SourceVoltageUsed() const { return fSourceVoltageUsed.load(); }
    // Set once the thread has stopped: whether the instrument confirmed the last source
    // command (the level and the output read back).
    bool FinalSourceConfirmed() const { return fFinalSourceConfirmed.load(); }

    QString Port; // set before start()

  protected:
    void run() override;

  private:
    void IdleWhilePaused();
    void ActivePass(TSerialPort& com);
    bool SendSourceCommand(TSerialPort& com);
    bool ConfirmSource(TSerialPort& com);
    bool ReadPump(TSerialPort& com);
    bool SendFinalSourceCommand(TSerialPort& com);
    bool HandOver();

    void UpdateResults();
    void TakeOverMode();
    void ChooseSourceLevels();
    void IntegrateReading();
    bool DataPointComplete() const;
    void NoteSource(const TPumpSource& source);
    bool ZeroCurrentThroughout() const;
    bool TemperatureMeanReady() const;
    bool TemperatureSampleRecent() const;
    void PublishDataPoint();
    void DiscardDataPoint();

    TSharedState& fState;
    const THandOverInputs& fInputs;

    std::atomic<bool> fToStopEx{false};
    std::atomic<TMode> fModeEx{TMode::Uninitialized};
    std::atomic<bool> fIsStopped{false};
    std::atomic<bool> fFinalSourceConfirmed{false};
    std::atomic<float> fSourceVoltageDesired{0};
    std::atomic<float> fSourceVoltageUsed{0};

    // Written in the hand-over, read by the worker between hand-overs.
    bool fToStop = false;
    TMode fMode = TMode::Paused;
    TMode fModeIntegrator = TMode::Paused;
    QByteArray fSourceVoltageDesiredS = "0";
    double fGSCurrent = 0; // microamperes
    QByteArray fGSCurrentS = "0.000000";

    // Written by the worker, read by the hand-over while the worker waits.
    QByteArray fResponse;
    TDateTime fResponseTime = 0;
    double fVoltageMeasured = 0;
    double fCurrentMeasured = 0;
    std::optional<TSyncTail> fCurrentTail; // the pump record so far; none after a pause
    bool fPausedSincePoint = false;        // a pause cut the pump record since the last point
    bool fMeasurementsOK = false;
    TPumpSource fReadingSource;                  // the source the newest reading was taken under
    std::optional<TPumpSource> fConfirmedSource; // the source the instrument last read back

    // The hand-over's record of the sources the running point's readings were taken under.
    TPumpSource fTailSource;
    std::optional<TPumpSource> fPointSource;
    bool fPointSourceSteady = false;
};

} // namespace oxtiva
