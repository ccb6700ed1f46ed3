#pragma once

#include "control/data_point.h"
#include "control/data_synchronizer.h"
#include "control/modes.h"
#include "control/pid.h"
#include "records/date_time.h"
#include "records/logging.h"

#include <QString>
#include <memory>

namespace oxtiva {

// The experiment's shared state: what the window, the control cycle and the two
// instrument threads' hand-overs exchange. It is touched only on the main thread (the
// hand-overs run there while their worker waits), so it needs no lock. The main window
// owns one; tests create their own.
struct TSharedState {
    TProgramState ProgramState = TProgramState::Uninitialized;
    int StepIndex = 0;
    TDateTime StepStartTime = 0; // NowDays() clock
    TDateTime StartTime = 0;     // NowDays() clock
    TDateTime LastSaveTime = 0;  // NowDays() clock
    double GSCurrent = 0;        // microamperes
    double RCDuration = 120;     // seconds
    double RCThreshold = 0.01;   // per cent
    double DataPointLength = 10; // seconds
    double SensorAx = 29729.36789;
    double SensorBx = -23.20793746;
    double CellTemperature = 0; // degrees Celsius
    QString SMUComPort;
    TLogSet LogCategories;

    std::unique_ptr<TDataSynchronizer> SyncI;   // "I", pump current
    std::unique_ptr<TDataSynchronizer> SyncV;   // "V", pump voltage
    std::unique_ptr<TDataSynchronizer> SyncT;   // "T", cell temperature
    std::unique_ptr<TDataSynchronizer> SyncpO2; // "pO2", sensor pO2

    TPID PID;
    TDataPointRec DataPoint;

    // When each instrument last gave a reading its hand-over took (NowDays() clock, 0
    // before the first): an instrument that falls silent raises the instrument alarm.
    TDateTime LastGoodReading2401 = 0;
    TDateTime LastGoodReading2000 = 0;
    // The cell temperature of the multimeter's newest sample, taken at LastGoodReading2000.
    double LastTemperatureSample = 0; // degrees Celsius
};

inline const QString DefaultSensorID = QStringLiteral("HT PIS 0317524");

} // namespace oxtiva
