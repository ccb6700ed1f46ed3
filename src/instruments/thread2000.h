#pragma once

#include "control/shared_state.h"
#include "instruments/hand_over_inputs.h"
#include "instruments/hand_over_thread.h"
#include "records/date_time.h"
#include "records/logging.h"

#include <QString>

#include <atomic>

namespace oxtiva
{

class TSerialPort;

// Sends the multimeter's set-up sequence on the named port without awaiting replies;
// failures leave no trace.
void InitializeMultimeter(const QString& PortName);

// The multimeter worker: reads the thermistor (channel 3), the thermocouple (channel 1)
// and, while the cell is between 500 and 1055 °C, the oxygen sensor (channel 2), back to
// back. After every pass its hand-over turns them into the cell temperature, samples of
// SyncT and SyncpO2 and a PID step. Owner: create, set Port, SetToPauseEx(true), set the
// logger, start(); stop with SetToPauseEx(false) and SetToStopEx(true), then delete once
// IsStopped() while the event loop keeps running.
class TThread2000 : public THandOverThread
{
  public:
    TThread2000(TSharedState& state, const THandOverInputs& inputs, QObject* parent = nullptr);
    ~TThread2000() override;

    bool ToStopEx() const { return fToStopEx.load(); }
    void SetToStopEx(bool value) { fToStopEx = value; }
    bool ToPauseEx() const { return fToPauseEx.load(); }
    void SetToPauseEx(bool value) { fToPauseEx = value; }
    bool IsStopped() const { return fIsStopped.load(); }
    double CTO() const { return fCTO.load(); } // override taken over at the last hand-over

    QString Port; // set before start()
    TLogger L{QStringLiteral("Thread 2000"), true};

  protected:
    void run() override;

  private:
    void MeasurementPass(TSerialPort& com);
    void ReadThermistor(TSerialPort& com);
    void ReadThermocouple(TSerialPort& com);
    void CompensateColdEnd();
    void ReadSensor(TSerialPort& com);
    void UpdateResults();
    void AddSamples();

    TSharedState& fState;
    const THandOverInputs& fInputs;

    std::atomic<bool> fToStopEx{false};
    std::atomic<bool> fToPauseEx{false};
    std::atomic<bool> fIsStopped{false};
    std::atomic<double> fCTO{0};

    // Copies taken over in the hand-over, read by the worker between hand-overs.
    bool fToStop = false;
    bool fToPause = true; // the worker starts in its pause loop
    TLogSet fLogs;

    // Written by the worker, read by the hand-over while the worker waits.
    double fVoltageTC = 0;
    TDateTime fVoltageTCTime = 0;
    bool fVoltageTCOK = false;
    bool fTCFunctionOK = false;
    double fResistance = 0;
    bool fResistanceOK = false;
    TDateTime fResistanceTime = 0;
    bool fThermistorFunctionOK = false;
    double fThermistorTemperature = 0;
    double fThermistorTempAsVolt = 0;
    double fVoltageSE = 0;
    bool fVoltageSEOK = false;
    TDateTime fVoltageSETime = 0;
    double fpO2 = 0;
    double fCellTemp = 0;
};

} // namespace oxtiva
