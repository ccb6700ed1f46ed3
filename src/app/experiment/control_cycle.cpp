#include "app/experiment/control_cycle.h"

#include "app/experiment/journal_keeper.h"
#include "app/main_window.h"
#include "app/pages/step_program_progress.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "control/step_line.h"
#include "instruments/thread2000.h"
#include "instruments/thread2401.h"
#include "records/date_time.h"
#include "records/number_format.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>

#include <cmath>

namespace oxtiva
{

namespace
{
constexpr double AutosaveIntervalMinutes = 30;
constexpr double MinutesPerDay = 1440;

// The states the operator chooses with the radio buttons, in the buttons' order.
constexpr TProgramState ChoosableStates[] = {TProgramState::Paused,     TProgramState::ZeroCurrent,
                                             TProgramState::SetVoltage, TProgramState::PIDSet,
                                             TProgramState::PIDStep,    TProgramState::PPS};
} // namespace

TControlCycle::TControlCycle(TfrmOxtiva& window) : QObject(&window), fWindow(window)
{
    fLog.SetDestination(fWindow.LogDestination());
    BindRadioButtons();
    connect(fWindow.Timer1, &QTimer::timeout, this, &TControlCycle::Timer1Timer);
}

void TControlCycle::BindRadioButtons()
{
    for (TProgramState state : ChoosableStates) {
        QRadioButton* button = ButtonOf(state);
        connect(button, &QRadioButton::clicked, this, &TControlCycle::RadioButtonModeOffClick);
        button->installEventFilter(this);
    }
}

// A keyboard choice runs the confirmation on the click that the arrow key produces and
// again on the key release; the second run finds the state already matching.
bool TControlCycle::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease && qobject_cast<QRadioButton*>(watched) &&
        fHandlersAttached)
        ChangeModeConfirm();
    return QObject::eventFilter(watched, event);
}

void TControlCycle::RadioButtonModeOffClick()
{
    if (!fHandlersAttached) return;
    // A click on the running state changes nothing, yet it answers an ended program's
    // notice: the zero current the program fell back to is now the operator's choice.
    const TSharedState& state = fWindow.State();
    if (state.ProgramState != TProgramState::ToExit &&
        StateOf(SelectedButton()) == state.ProgramState)
        fWindow.Caption().ClearNotice(TCaptionNotice::StepProgram);
    ChangeModeConfirm();
}

QRadioButton* TControlCycle::ButtonOf(TProgramState state) const
{
    switch (state) {
    case TProgramState::ZeroCurrent:
        return fWindow.RadioButtonModePassive;
    case TProgramState::SetVoltage:
        return fWindow.RadioButtonSetVoltage;
    case TProgramState::PIDSet:
        return fWindow.RadioButtonPIDSet;
    case TProgramState::PIDStep:
        return fWindow.RadioButtonPIDStep;
    case TProgramState::PPS:
        return fWindow.RadioButtonPPS;
    default:
        return fWindow.RadioButtonModeOff;
    }
}

// The edit whose value a state runs on, if any.
const TNumericEdit* TControlCycle::EditOf(TProgramState state) const
{
    switch (state) {
    case TProgramState::ZeroCurrent:
        return fWindow.RtIntegerEditCurrentmA;
    case TProgramState::SetVoltage:
        return fWindow.RtIntegerEditSetVoltage;
    case TProgramState::PIDSet:
        return fWindow.RtDoubleEditPISSP;
    default:
        return nullptr;
    }
}

TProgramState TControlCycle::StateOf(const QRadioButton* button) const
{
    for (TProgramState state : ChoosableStates)
        if (ButtonOf(state) == button) return state;
    return TProgramState::Paused;
}

QRadioButton* TControlCycle::SelectedButton() const
{
    for (TProgramState state : ChoosableStates)
        if (ButtonOf(state)->isChecked()) return ButtonOf(state);
    return fWindow.RadioButtonModeOff;
}

// Selecting a radio button from code behaves like the operator's click on it: it runs the
// confirmation again, but only when the selection really changes.
void TControlCycle::SelectAsClick(QRadioButton* button)
{
    if (button->isChecked()) return;
    button->setChecked(true);
    if (fHandlersAttached) ChangeModeConfirm();
}

bool TControlCycle::Confirm(const QString& question)
{
    // Modal, but the window timer keeps firing: the cycle goes on in the previous state
    // until the operator answers.
    return QMessageBox::question(&fWindow, fWindow.windowTitle(), question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TControlCycle::ChangeModeConfirm()
{
    TSharedState& state = fWindow.State();
    // Once the close is confirmed the threads are being stopped; no click may undo that.
    if (state.ProgramState == TProgramState::ToExit) return;
    if (!fWindow.CheckBoxSMUValidated->isChecked() || !fWindow.CheckBox2000Validated->isChecked()) {
        SelectAsClick(fWindow.RadioButtonModeOff);
        return;
    }
    QRadioButton* selected = SelectedButton();
    const TProgramState chosen = StateOf(selected);
    // Choosing the running state again is no change: a state row would end the relative-
    // change run (and hold up a step program's advance), and a reset would drop the PID's
    // integral.
    if (chosen == state.ProgramState) return;
    if (const TNumericEdit* edit = EditOf(chosen); edit && !edit->NotTakenReason().isEmpty()) {
        QMessageBox::information(
            &fWindow, fWindow.windowTitle(),
            QStringLiteral("The program state was not changed: the value beside \"%1\" was "
                           "not taken (%2). Type a value within its range first.")
                .arg(selected->text(), edit->NotTakenReason()));
        SelectAsClick(ButtonOf(state.ProgramState));
        return;
    }
    if (!Confirm(
            QStringLiteral("Change program state? This will also reset current step to zero"))) {
        SelectAsClick(ButtonOf(state.ProgramState));
        return;
    }
    if (state.ProgramState != TProgramState::PIDSet && state.ProgramState != TProgramState::PIDStep)
        state.PID.Reset();
    if (IsStepProgramState(chosen) && state.ProgramState != chosen) {
        state.StepIndex = 0;
        fWindow.StepProgramProgress().ProgramStarted();
    }
    state.ProgramState = chosen;
    // Choosing a program state is the operator's answer to an ended program.
    fWindow.Caption().ClearNotice(TCaptionNotice::StepProgram);
    WriteStateRow();
}

void TControlCycle::WriteStateRow()
{
    TStringGrid& grid = *fWindow.StringGridData;
    const int row = grid.AddRow();
    grid.SetCell(ColumnOf(TProperty::Time).ColID, row,
                 FormatDateTime(u"yyyy-mm-dd hh:mm:ss", WallNow()));
    grid.SetCell(ColumnOf(TProperty::Mode).ColID, row,
                 FormatFloat(ColumnOf(TProperty::Mode).Format,
                             static_cast<int>(fWindow.State().ProgramState)));
    fWindow.Journal().Sync();
}

void TControlCycle::Timer1Timer()
{
    NoteWallClockStep();
    switch (fWindow.State().ProgramState) {
    case TProgramState::Uninitialized:
        return;
    case TProgramState::ToExit:
        ExitHandling();
        return;
    default:
        ActivePass();
    }
}

// Durations never read the wall clock; a step of it only moves the rows' time stamps, and
// the log says where, for whoever joins them to other records.
void TControlCycle::NoteWallClockStep()
{
    const std::optional<double> step = fWallClock.Step();
    if (!step) return;
    fLog.Send(QStringLiteral("Wall clock stepped by %1 s; durations go on by the steady clock")
                  .arg(QString::asprintf("%+.1f", *step)));
}

void TControlCycle::ExitHandling()
{
    TSharedState& state = fWindow.State();
    if (fWindow.Thread2000) {
        fWindow.Thread2000->SetToPauseEx(false);
        fWindow.Thread2000->SetToStopEx(true);
    }
    if (fWindow.Thread2401) {
        fWindow.Thread2401->SetModeEx(TMode::SetCurrent);
        state.GSCurrent = 0;
        fWindow.Thread2401->SetToStopEx(true);
    }
    if (fWindow.Thread2000 && fWindow.Thread2000->IsStopped()) fWindow.ReleaseThread2000();
    if (fWindow.Thread2401 && fWindow.Thread2401->IsStopped()) fWindow.ReleaseThread2401();
}

void TControlCycle::ActivePass()
{
    TSharedState& state = fWindow.State();
    fWindow.AddDataUpdates();
    fWindow.Statusbar();
    // Every state that records saves by time: a week-long hold under PID control or PPS
    // needs its data file on the disk, and its journal cut at each save, as much as a
    // constant current does. A step program saves at each step besides.
    const bool timedSaveState = state.ProgramState != TProgramState::Paused;
    if (timedSaveState &&
        (NowDays() - state.LastSaveTime) * MinutesPerDay > AutosaveIntervalMinutes)
        fWindow.Save();
    if (IsStepProgramState(state.ProgramState)) {
        const TStepLoad load = LoadStepSetpoint();
        if (load == TStepLoad::Ended) EndStepProgram();
        if (load == TStepLoad::Unreadable) StopAtUnreadableLine();
    }
    fWindow.StepProgramProgress().Update();
    if (state.ProgramState == TProgramState::PIDSet)
        state.PID.SetSetpoint(fWindow.RtDoubleEditPISSP->value());
    PidGains();
    CopyOperatorSettings();
    ShowPidDebugLines();
    HandStateToThreads();
    fWindow.ReplotGraph();
    fWindow.Journal().Sync(); // the pass's rows are on the disk before the next pass
}

// A line whose number cannot be read leaves the set point as it was, for the program to
// be stopped: the value left over may be another line's, or a log(pO2) that PPS would
// source as volts.
TControlCycle::TStepLoad TControlCycle::LoadStepSetpoint()
{
    TSharedState& state = fWindow.State();
    const QListWidget& list = *fWindow.ListBoxStepProgram;
    if (state.StepIndex > list.count() - 1) return TStepLoad::Ended;
    const QString line = list.item(state.StepIndex)->text();
    double value = 0;
    if (state.ProgramState == TProgramState::PIDStep) {
        if (!StepLineSetpoint(line, value)) return TStepLoad::Unreadable;
        state.PID.SetSetpoint(value);
    } else {
        if (!StepLineMillivolts(line, value)) return TStepLoad::Unreadable;
        state.PID.SetSetpoint(value / 1000.0);
    }
    return TStepLoad::Loaded;
}

// Unlike the program's own end, this one is a fault: the state row marks in the data
// where the program stopped, and the caption tells the operator which line to mend.
void TControlCycle::StopAtUnreadableLine()
{
    const int index = fWindow.State().StepIndex;
    const QString line = fWindow.ListBoxStepProgram->item(index)->text();
    FallBackToZeroCurrent();
    WriteStateRow();
    fWindow.StepProgramProgress().ProgramStopped(
        QStringLiteral("Step program stopped: line %1 cannot be read (\"%2\") at %3")
            .arg(index + 1)
            .arg(line, FormatDateTime(u"yyyy-mm-dd hh:mm:ss", WallNow())));
}

void TControlCycle::EndStepProgram()
{
    fWindow.StepProgramProgress().ProgramEnded();
    FallBackToZeroCurrent();
}

// The end of a step program: zero current without asking, without a state row and
// without resetting the PID; the hand-over below then takes the pump to 0 µA.
void TControlCycle::FallBackToZeroCurrent()
{
    fHandlersAttached = false;
    fWindow.RtIntegerEditCurrentmA->setValue(0);
    fWindow.RadioButtonModePassive->setChecked(true);
    fWindow.State().ProgramState = TProgramState::ZeroCurrent;
    fHandlersAttached = true;
}

// The gains the operator typed are the gains in force. A proportional gain typed as 0
// derives both gains from the pO2, as it always did; an integral gain typed as 0 beside a
// typed proportional one derives that one alone (the derivative has no such rule: 0 is no
// derivative term).
void TControlCycle::PidGains()
{
    TPID& pid = fWindow.State().PID;
    const double pv = std::fabs(pid.ProcessVariable());
    const double typedP = fWindow.RtDoubleEditPIDP->value();
    const double typedI = fWindow.RtDoubleEditPIDI->value();
    pid.SetP(typedP != 0 ? typedP : AutomaticProportionalGain(pv));
    if (typedP != 0 && typedI != 0)
        pid.SetI(typedI);
    else if (pv != 0)
        pid.SetI(AutomaticIntegralGain(pv));
    pid.SetD(fWindow.RtDoubleEditPIDD->value());
    fWindow.LabelPidGainsInForce->setText(PidGainsText(pid));
}

void TControlCycle::CopyOperatorSettings()
{
    TSharedState& state = fWindow.State();
    state.RCDuration = fWindow.RtDoubleEditRCDuration->value();
    state.RCThreshold = fWindow.RtDoubleEditRCThreshold->value();
}

void TControlCycle::ShowPidDebugLines()
{
    fWindow.Memo1->setPlainText(fWindow.State().PID.SL().join(QLatin1Char('\n')));
}

void TControlCycle::HandStateToThreads()
{
    TSharedState& state = fWindow.State();
    const TProgramState programState = state.ProgramState;
    if (fWindow.Thread2401) {
        // For Paused to PPS the pump mode has the program state's ordinal.
        const auto mode = programState == TProgramState::ZeroCurrent
                              ? TMode::SetCurrent
                              : static_cast<TMode>(static_cast<int>(programState));
        if (programState == TProgramState::ZeroCurrent)
            state.GSCurrent = fWindow.RtIntegerEditCurrentmA->value();
        fWindow.Thread2401->SetModeEx(mode);
    }
    if (fWindow.Thread2000) fWindow.Thread2000->SetToPauseEx(programState == TProgramState::Paused);
}

} // namespace oxtiva
