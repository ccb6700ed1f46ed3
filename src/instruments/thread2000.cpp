#include "instruments/thread2000.h"

#include "instruments/multimeter_exchange.h"
#include "instruments/plausible_readings.h"
#include "instruments/serial_port.h"
#include "science/oxygen_sensor.h"
#include "science/thermocouples.h"

#include <cmath>

namespace oxtiva
{

namespace
{

// Channels of the scanner card.
constexpr int ChannelThermocouple = 1;
constexpr int ChannelSensor = 2;
constexpr int ChannelThermistor = 3;

// The sensor reads true only in this window of cell temperature, bounds excluded.
constexpr double SensorWindowLowC = 500;
constexpr double SensorWindowHighC = 1055;

constexpr unsigned long PauseMS = 1000;

void ConfigureAcquisitionPort(TSerialPort& com, const QString& port)
{
    com.BaudRate = 19200;
    com.WindowsReadLoopTimeoutMS = 50;
    com.ReadoutTimeoutMS = 2000;
    com.Port = port;
}

} // namespace

void InitializeMultimeter(const QString& PortName)
{
    TSerialPort com;
    com.SetDebug(false);
    ConfigureAcquisitionPort(com, PortName);
    com.ReadoutTimeoutMS = 1000;
    for (const QByteArray& command : MultimeterSetupCommands())
        com.Send2(command, false);
}

TThread2000::TThread2000(TSharedState& state, const THandOverInputs& inputs, QObject* parent)
    : THandOverThread(parent), fState(state), fInputs(inputs)
{
}

TThread2000::~TThread2000()
{
    Abandon();
}

void TThread2000::run()
{
    L.EnterMethod(QStringLiteral("Execute"));
    TSerialPort com;
    com.L.SetDestination(L.Destination());
    ConfigureAcquisitionPort(com, Port);
    fIsStopped = false;
    const auto handOver = [this] { UpdateResults(); };
    while (!fToStop && !TearingDown()) {
        // Unlike the pause loop of old, this one also ends on a stop request, so closing
        // the program never has to wake the instrument for one more pass.
        while (fToPause && !fToStop && !TearingDown()) {
            SleepUnlessEnded(PauseMS);
            RunHandOver(handOver);
        }
        if (fToStop || TearingDown()) break;
        MeasurementPass(com);
        RunHandOver(handOver);
        if (com.PortUnavailable()) PauseBeforeRetry(fToStopEx);
    }
    fIsStopped = true;
    L.ExitMethod(QStringLiteral("Execute"));
}

void TThread2000::MeasurementPass(TSerialPort& com)
{
    L.EnterMethod(QStringLiteral("Main loop"));
    com.SetDebug(fLogs.Contains(TLogCat::COM));
    ReadThermistor(com);
    ReadThermocouple(com);
    fVoltageSETime = NowDays();
    if (fCellTemp > SensorWindowLowC && fCellTemp < SensorWindowHighC && !TearingDown())
        ReadSensor(com);
    L.ExitMethod(QStringLiteral("Main loop"));
}

void TThread2000::ReadThermistor(TSerialPort& com)
{
    fResistanceOK = Resistance(ChannelThermistor, fResistance, com);
    fResistanceTime = NowDays();
    if (fResistanceOK)
        L.SendValue(QStringLiteral("Thermistor resistance: "), fResistance);
    else
        L.Send(QStringLiteral("Thermistor measurement failure"));
    double temperature = fThermistorTemperature;
    fThermistorFunctionOK = fResistanceOK && ThermistorTemp(temperature, fResistance);
    if (fThermistorFunctionOK)
        fThermistorTemperature = temperature;
    else
        L.Send(QStringLiteral("Thermistor value not within accepted range"));
}

void TThread2000::ReadThermocouple(TSerialPort& com)
{
    fVoltageTCOK = Voltage(ChannelThermocouple, fVoltageTC, com);
    fVoltageTCTime = NowDays();
    if (fVoltageTCOK)
        L.SendValue(QStringLiteral("Thermocouple voltage: "), fVoltageTC);
    else
        L.Send(QStringLiteral("TC voltage measurement failure"));
    fTCFunctionOK = fVoltageTCOK && TCVoltageInRange(tcS, fVoltageTC);
    if (fTCFunctionOK) CompensateColdEnd();
    if (!fTCFunctionOK)
        L.Send(QStringLiteral("Thermocouple voltage value not within accepted range"));
}

// The thermocouple voltage alone is in range, but with the cold-end EMF added it may not
// be: the conversion then throws, which must not end the thread. Such a reading counts as
// out of range and the cell temperature keeps its value.
void TThread2000::CompensateColdEnd()
{
    try {
        const double coldEndMicroVolt = TCTempToMicroVolt(tcS, fThermistorTemperature);
        const double cto = fCTO.load();
        const double cellTemp =
            cto > 1 ? cto : TCVoltToTemp(tcS, coldEndMicroVolt / 1000000 + fVoltageTC);
        fThermistorTempAsVolt = coldEndMicroVolt;
        fCellTemp = cellTemp;
    } catch (const TThermocoupleRangeError&) {
        fTCFunctionOK = false;
    }
}

void TThread2000::ReadSensor(TSerialPort& com)
{
    fVoltageSEOK = Voltage(ChannelSensor, fVoltageSE, com);
    if (fVoltageSEOK)
        L.SendValue(QStringLiteral("Sensor voltage: "), fVoltageSE);
    else
        L.Send(QStringLiteral("Sensor voltage measurement failure"));
}

// On the main thread, while the worker waits.
void TThread2000::UpdateResults()
{
    L.EnterMethod(QStringLiteral("UpdateResults"));
    fCTO = fInputs.CellTemperatureOverride();
    fToStop = fToStopEx.load();
    fToPause = fToPauseEx.load();
    if (fToPause) {
        L.Send(QStringLiteral("Thread was paused"));
    } else {
        AddSamples();
        fState.CellTemperature = fCellTemp;
    }
    L.ExitMethod(QStringLiteral("UpdateResults"));
    fLogs = fState.LogCategories;
    L.SetEnabled(fLogs.Contains(TLogCat::DMM));
}

// Each sample carries the mean time of the pass's readings. An averager created here
// takes no value: its first sample only opens the interval the next one weighs.
void TThread2000::AddSamples()
{
    if (!fVoltageTCOK || !fResistanceOK) return;
    fState.LastGoodReading2000 = NowDays();
    const TDateTime t = (fVoltageTCTime + fResistanceTime + fVoltageSETime) / 3;
    fState.LastTemperatureSample = fCellTemp;
    if (!fState.SyncT)
        fState.SyncT = std::make_unique<TDataSynchronizer>(t, QStringLiteral("T"));
    else
        fState.SyncT->Add(t, fCellTemp);
    if (!fVoltageSEOK) return;
    fpO2 = SensorpO2(fCellTemp, fVoltageSE, fState.SensorAx, fState.SensorBx);
    // Sensor constants typed in the window can still make the equation give no pressure.
    if (!PlausiblepO2(fpO2)) {
        L.SendValue(QStringLiteral("Sensor pO2 not plausible: "), fpO2);
        return;
    }
    if (!fState.SyncpO2)
        fState.SyncpO2 = std::make_unique<TDataSynchronizer>(t, QStringLiteral("pO2"));
    else
        fState.SyncpO2->Add(t, fpO2);
    fState.PID.SetProcessVariable(std::log10(fpO2));
}

} // namespace oxtiva
