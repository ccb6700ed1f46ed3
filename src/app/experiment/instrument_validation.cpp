#include "app/experiment/instrument_validation.h"

#include "app/main_window.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "control/modes.h"
#include "instruments/port_list.h"
#include "instruments/serial_port.h"
#include "instruments/thread2000.h"
#include "instruments/thread2401.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

namespace oxtiva {

namespace {
const QByteArray IdentifyCommand = QByteArrayLiteral("*IDN?\r");
const QByteArray InputSwitchCommand = QByteArrayLiteral(":SYST:FRSW?\r");

bool GoodExchange(const TSerialResponse& response)
{
    return response.Status.isEmpty() && !response.Response.isEmpty();
}
} // namespace

QStringList PortListMemoLines(const std::optional<QStringList>& ports)
{
    QStringList lines{QString()};
    if (!ports)
        lines << QStringLiteral("No available COM ports!");
    else
        lines << QStringLiteral("Available COM ports:") << *ports;
    lines << QString()
          << QStringLiteral("Type in ports to boxes on the left and click validate to verify the "
                            "instrument can be communicated with.");
    return lines;
}

int LimitInWholeUnits(double limit, double unitsPerLimitUnit)
{
    // nearbyint follows the current rounding mode, which is round-half-to-even by default.
    return static_cast<int>(std::nearbyint(limit * unitsPerLimitUnit));
}

TInstrumentValidation::TInstrumentValidation(TfrmOxtiva& window) : QObject(&window), fWindow(window)
{
    connect(fWindow.Button2000Test, &QPushButton::clicked, this,
            &TInstrumentValidation::Button2000TestClick);
    connect(fWindow.ButtonSMUTest, &QPushButton::clicked, this,
            &TInstrumentValidation::ButtonSMUTestClick);
}

void TInstrumentValidation::Append(const QString& line) { fWindow.MemoConfLog->appendPlainText(line); }

void TInstrumentValidation::GetAvailableComPorts()
{
    for (const QString& line : PortListMemoLines(AvailableSerialPorts()))
        Append(line);
}

namespace {
QString ValidationDuringRunQuestion(const QString& aInstrument, TProgramState aRunning,
                                    const QString& aWhatStops)
{
    return QStringLiteral("Validate the %1 again while %2 runs? %3 The program then goes to "
                          "Paused; a step program chosen again starts at its first step.")
        .arg(aInstrument, ProgramStateName(aRunning), aWhatStops);
}
} // namespace

// A validation resets the instrument under a running experiment; the operator says so first.
bool TInstrumentValidation::ConfirmDuringRun(const QString& aInstrument, const QString& aWhatStops)
{
    const TProgramState running = fWindow.State().ProgramState;
    if (running == TProgramState::Uninitialized || running == TProgramState::Paused ||
        running == TProgramState::ToExit)
        return true;
    const bool yes = QMessageBox::question(&fWindow, fWindow.windowTitle(),
                                           ValidationDuringRunQuestion(aInstrument, running,
                                                                       aWhatStops),
                                           QMessageBox::Yes | QMessageBox::No,
                                           QMessageBox::No) == QMessageBox::Yes;
    if (!yes) Append(QStringLiteral("Validation of the %1 not started: %2 goes on.")
                         .arg(aInstrument, ProgramStateName(running)));
    return yes;
}

void TInstrumentValidation::Button2000TestClick()
{
    if (!ConfirmDuringRun(QStringLiteral("MultiMeter 2000"),
                          QStringLiteral("Its readings stop while it is set up again, so the "
                                         "running program loses its pO2 and temperature.")))
        return;
    const QString port = fWindow.Edit2000COMPort->text();
    Append(QString());
    Append(QStringLiteral("Search for instrument on port ") + port);
    // Its exchanges and the validation's would meet on the line, and the set-up's reset
    // would pull the instrument from under it: the running thread goes first.
    fWindow.ReleaseThread2000WhenStopped();
    if (IdentifyMultimeter(port)) StartMultimeterThread();
}

// The identification exchange both validations start with, on a port whose exchanges are
// written to the window's log. A failure unticks the instrument's box.
bool TInstrumentValidation::Identify(TSerialPort& serial, const QString& port, int baudRate,
                                     int pollMs, QCheckBox& validated, const QString& instrument)
{
    serial.SetDebug(true);
    serial.BaudRate = baudRate;
    serial.WindowsReadLoopTimeoutMS = static_cast<std::uint32_t>(pollMs);
    serial.ReadoutTimeoutMS = 1000;
    serial.Port = port;
    serial.L.SetDestination(fWindow.LogDestination());
    const TSerialResponse identity = serial.Send2(IdentifyCommand, TReplyShape::Identity());
    Append(QStringLiteral("Sent: ") +
           QString::fromLatin1(TrimControlCharacters(identity.SentMessage)));
    if (!GoodExchange(identity)) {
        validated.setChecked(false);
        Append(QStringLiteral("Cannot communicate with ") + instrument +
               QStringLiteral(" on this port. Port feedback: ") + QString::fromLatin1(identity.Status));
        return false;
    }
    Append(QStringLiteral("Response: ") + QString::fromLatin1(identity.Response));
    return true;
}

// True when the multimeter's box is ticked afterwards: a multimeter validated earlier that
// now reports its front inputs keeps its tick, and so gets a new thread.
bool TInstrumentValidation::IdentifyMultimeter(const QString& port)
{
    TSerialPort serial;
    if (!Identify(serial, port, 19200, 150, *fWindow.CheckBox2000Validated,
                  QStringLiteral("Multimeter")))
        return false;
    const TSerialResponse inputs = serial.Send2(InputSwitchCommand, TReplyShape::Flag());
    if (!inputs.Status.isEmpty() || inputs.Response.trimmed() != "0") {
        Append(QStringLiteral("Change inputs button position from front to back, then validate again."));
        return fWindow.CheckBox2000Validated->isChecked();
    }
    // The set-up opens the port for itself; this object would hold it against that.
    serial.Close();
    fWindow.CheckBox2000Validated->setChecked(true);
    fWindow.SaveSettings();
    InitializeMultimeter(port);
    Append(QStringLiteral("Multimeter instrument and communication validated."));
    return true;
}

void TInstrumentValidation::StartMultimeterThread()
{
    auto thread = std::make_unique<TThread2000>(fWindow.State(), fWindow.HandOverInputs());
    thread->Port = fWindow.Edit2000COMPort->text();
    thread->SetToPauseEx(true);
    thread->L.SetEnabled(fWindow.State().LogCategories.Contains(TLogCat::DMM));
    thread->L.SetDestination(fWindow.LogDestination());
    thread->start();
    fWindow.Thread2000 = std::move(thread);
    if (fWindow.CheckBoxSMUValidated->isChecked()) EnterPausedWhenBothValidated();
}

void TInstrumentValidation::ButtonSMUTestClick()
{
    if (!ConfirmDuringRun(QStringLiteral("SourceMeter 2401"),
                          QStringLiteral("The pump is stopped at 0 A and the instrument is reset, "
                                         "so the running program ends.")))
        return;
    const QString port = fWindow.EditSMUCOMPort->text();
    Append(QString());
    Append(QStringLiteral("Search for instrument on port ") + port);
    // The running pump thread leaves the pump at 0 A and ends before the instrument is
    // identified and set up again.
    fWindow.ReleaseThread2401WhenStopped();
    if (IdentifySmu(port)) SetUpSmu(port);
    if (fWindow.CheckBoxSMUValidated->isChecked()) StartSmuThread();
}

bool TInstrumentValidation::IdentifySmu(const QString& port)
{
    TSerialPort serial;
    return Identify(serial, port, 57600, 50, *fWindow.CheckBoxSMUValidated, QStringLiteral("SMU"));
}

void TInstrumentValidation::SetUpSmu(const QString& port)
{
    TSharedState& state = fWindow.State();
    state.SMUComPort = port;
    const double currentLimit = fWindow.RtDoubleEditPumpCurrentLimit->value();
    const double voltageLimit = fWindow.RtDoubleEditPumpVoltageLimit->value();
    InitializeSMU(state.SMUComPort, currentLimit, voltageLimit);
    state.PID.SetCurrentLimit(currentLimit);
    const int microamperes = LimitInWholeUnits(currentLimit, 1e6);
    const int millivolts = LimitInWholeUnits(voltageLimit, 1e3);
    fWindow.RtIntegerEditCurrentmA->SetLimits(-microamperes, microamperes);
    fWindow.RtIntegerEditSetVoltage->SetLimits(-millivolts, millivolts);
    fWindow.RtDoubleEditPumpCurrentLimit->setEnabled(false);
    fWindow.RtDoubleEditPumpVoltageLimit->setEnabled(false);
    fWindow.CheckBoxSMUValidated->setChecked(true);
    fWindow.SaveSettings();
    Append(QStringLiteral("SMU instrument and communication validated."));
}

void TInstrumentValidation::StartSmuThread()
{
    fWindow.State().DataPointLength = fWindow.RtDoubleEditDataPointLength->value();
    fWindow.RtDoubleEditDataPointLength->setEnabled(false);
    auto thread = std::make_unique<TThread2401>(fWindow.State(), fWindow.HandOverInputs());
    thread->Port = fWindow.EditSMUCOMPort->text();
    thread->start();
    fWindow.Thread2401 = std::move(thread);
    if (fWindow.CheckBox2000Validated->isChecked()) EnterPausedWhenBothValidated();
}

void TInstrumentValidation::EnterPausedWhenBothValidated()
{
    // A validation clicked while the close waits for the threads must not revive the program.
    if (fWindow.State().ProgramState == TProgramState::ToExit) return;
    fWindow.State().ProgramState = TProgramState::Paused;
    // The buttons show the state the program is in; setChecked is no click, so no question.
    fWindow.RadioButtonModeOff->setChecked(true);
    // A new start of the pump: whatever program ran before is over.
    fWindow.Caption().ClearNotice(TCaptionNotice::StepProgram);
}

} // namespace oxtiva
