#include "app/window_layout.h"

#include "app/main_window.h"
#include "app/pages/oxygen_content_page.h"
#include "app/pages/thermodynamics_page.h"
#include "app/window/data_grid.h"
#include "app/window/experiment_graph.h"
#include "app/window/numeric_edits.h"
#include "app/window/status_bar.h"
#include "control/step_line.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>
#include <type_traits>

namespace oxtiva
{

namespace
{

template <typename T> T* Named(T* aWidget, const char* aName)
{
    aWidget->setObjectName(QString::fromLatin1(aName));
    return aWidget;
}

QGroupBox* Group(const char* aName, const QString& aTitle)
{
    return Named(new QGroupBox(aTitle), aName);
}

// Under a numeric edit, the reason its last entry was not taken; hidden until then.
QLabel* ReasonBelow(TNumericEdit* aEdit)
{
    auto* reason = new QLabel;
    aEdit->SetReasonLabel(reason);
    return reason;
}

// A row of a form grid: label, control, and symbol or unit text; under a numeric edit a
// row for why an entry was not taken.
class TFormRows
{
  public:
    explicit TFormRows(QGroupBox* aGroup) : fGrid(new QGridLayout(aGroup)) {}

    template <typename T> T* Add(T* aControl, const QString& aLabel, const QString& aUnit = {})
    {
        auto* label = new QLabel(aLabel);
        label->setBuddy(aControl);
        label->setWordWrap(true);
        fGrid->addWidget(label, fRow, 0);
        fGrid->addWidget(aControl, fRow, 1);
        if (!aUnit.isEmpty()) fGrid->addWidget(new QLabel(aUnit), fRow, 2);
        ++fRow;
        if constexpr (std::is_base_of_v<TNumericEdit, T>) {
            if (aControl->isEnabled()) fGrid->addWidget(ReasonBelow(aControl), fRow++, 0, 1, 3);
        }
        return aControl;
    }

    QGridLayout* Grid() const { return fGrid; }

  private:
    QGridLayout* fGrid;
    int fRow = 0;
};

QLineEdit* TextEdit(const char* aName, const QString& aText)
{
    return Named(new QLineEdit(aText), aName);
}

TRtDoubleEdit* DoubleEdit(const char* aName, double aValue, std::optional<double> aMinimum = {},
                          std::optional<double> aMaximum = {}, bool aEnabled = true)
{
    auto* edit = Named(new TRtDoubleEdit, aName);
    edit->SetLimits(aMinimum, aMaximum);
    edit->setValue(aValue);
    edit->setEnabled(aEnabled);
    return edit;
}

TRtIntegerEdit* IntegerEdit(const char* aName, int aValue, int aMinimum, int aMaximum)
{
    auto* edit = Named(new TRtIntegerEdit, aName);
    edit->SetLimits(aMinimum, aMaximum);
    edit->setValue(aValue);
    return edit;
}

QPlainTextEdit* Memo(const char* aName, const QStringList& aLines)
{
    auto* memo = Named(new QPlainTextEdit, aName);
    memo->setPlainText(aLines.join(QLatin1Char('\n')));
    return memo;
}

QWidget* InstrumentGroup(QGroupBox* aGroup, QCheckBox*& aValidated, QLineEdit*& aPort,
                         QPushButton*& aTest, const char* aValidatedName, const char* aPortName,
                         const char* aTestName)
{
    TFormRows rows(aGroup);
    aValidated = Named(new QCheckBox(QStringLiteral("Validated")), aValidatedName);
    aValidated->setEnabled(false);
    rows.Grid()->addWidget(aValidated, 0, 0, 1, 2);
    aPort = TextEdit(aPortName, {});
    auto* label = new QLabel(QStringLiteral("COM port"));
    label->setBuddy(aPort);
    rows.Grid()->addWidget(label, 1, 0);
    rows.Grid()->addWidget(aPort, 1, 1);
    aTest = Named(new QPushButton(QStringLiteral("Validate instrument")), aTestName);
    rows.Grid()->addWidget(aTest, 2, 0, 1, 2);
    return aGroup;
}

void BuildConfigurationTab(TfrmOxtiva& w)
{
    auto* layout = new QVBoxLayout(w.TabSheetInstruments);
    auto* groups = new QHBoxLayout;
    w.GroupBox1 = Group("GroupBox1", QStringLiteral("SourceMeter 2401"));
    groups->addWidget(InstrumentGroup(w.GroupBox1, w.CheckBoxSMUValidated, w.EditSMUCOMPort,
                                      w.ButtonSMUTest, "CheckBoxSMUValidated", "EditSMUCOMPort",
                                      "ButtonSMUTest"));
    w.GroupBox4 = Group("GroupBox4", QStringLiteral("MultiMeter 2000"));
    groups->addWidget(InstrumentGroup(w.GroupBox4, w.CheckBox2000Validated, w.Edit2000COMPort,
                                      w.Button2000Test, "CheckBox2000Validated", "Edit2000COMPort",
                                      "Button2000Test"));
    groups->addStretch();
    layout->addLayout(groups);
    QStringList lines;
    for (const char* line : ConfLogStartLines)
        lines << QString::fromLatin1(line);
    w.MemoConfLog = Memo("MemoConfLog", lines);
    layout->addWidget(w.MemoConfLog, 1);
}

QGroupBox* CompoundGroup(TfrmOxtiva& w)
{
    w.GroupBox6 = Group("GroupBox6", QStringLiteral("Compound"));
    TFormRows rows(w.GroupBox6);
    w.EditSampleName = rows.Add(TextEdit("EditSampleName", QStringLiteral("Ceria")),
                                QStringLiteral("Sample name"));
    w.EditSampleFormula = rows.Add(TextEdit("EditSampleFormula", QStringLiteral("CeO2")),
                                   QStringLiteral("Nominal formula"));
    w.RtDoubleEditbs = rows.Add(DoubleEdit("RtDoubleEditbs", 2.0),
                                QStringLiteral("Nominal stoichiometric molar content of oxygen"),
                                QStringLiteral("bs, g/mol"));
    w.RtDoubleEditM = rows.Add(DoubleEdit("RtDoubleEditM", 172.11),
                               QStringLiteral("Nominal molar mass"), QStringLiteral("M, g/mol"));
    w.RtDoubleEditb0 =
        rows.Add(DoubleEdit("RtDoubleEditb0", 1.98),
                 QStringLiteral("Initial molar content of oxygen"), QStringLiteral("b0, mol/mol"));
    w.RtDoubleEditM0 = rows.Add(DoubleEdit("RtDoubleEditM0", 171.79),
                                QStringLiteral("Initial molar mass"), QStringLiteral("M0, g/mol"));
    w.RtDoubleEditd = rows.Add(DoubleEdit("RtDoubleEditd", 7.22), QStringLiteral("Initial density"),
                               QStringLiteral("d, g/cm^3"));
    for (TRtDoubleEdit* amount :
         {w.RtDoubleEditbs, w.RtDoubleEditM, w.RtDoubleEditb0, w.RtDoubleEditM0, w.RtDoubleEditd})
        amount->SetAbove(0.0);
    return w.GroupBox6;
}

QGroupBox* SampleGroup(TfrmOxtiva& w)
{
    w.GroupBox7 = Group("GroupBox7", QStringLiteral("Sample, initial"));
    TFormRows rows(w.GroupBox7);
    w.RtDoubleEditmass0 = rows.Add(DoubleEdit("RtDoubleEditmass0", 1.0), QStringLiteral("Mass"),
                                   QStringLiteral("m0, g"));
    w.RtDoubleEditmass0->SetAbove(0.0);
    auto result = [&](const char* aName, const char* aLabel, const char* aUnit) {
        return rows.Add(DoubleEdit(aName, 0, {}, {}, false), QString::fromUtf8(aLabel),
                        QString::fromUtf8(aUnit));
    };
    w.RtDoubleEditVs = result("RtDoubleEditVs", "Volume", "Vs, L");
    w.RtDoubleEditn0 = result("RtDoubleEditn0", "Moles of compound", "n0, mol");
    w.RtDoubleEditnO0 = result("RtDoubleEditnO0", "Moles of oxygen", "nO0, mol");
    w.RtDoubleEditmO0 = result("RtDoubleEditmO0", "Mass of oxygen", "mO0, g");
    w.RtDoubleEditmM = result("RtDoubleEditmM", "Mass of non-oxygen", "mM, g");
    return w.GroupBox7;
}

// The gas volume and the leak constants from a run of the empty cell, with a way back to
// the constants before it, and the calibration's answer below.
void BlankRunRows(TfrmOxtiva& w, TFormRows& rows)
{
    auto* buttons = new QWidget;
    auto* line = new QHBoxLayout(buttons);
    line->setContentsMargins(0, 0, 0, 0);
    w.ButtonCalibrateBlankRun =
        Named(new QPushButton(QStringLiteral("Calibrate")), "ButtonCalibrateBlankRun");
    w.ButtonCalibrateBlankRun->setToolTip(
        QStringLiteral("The gas volume Vhpws and the chosen leak law's constants by least squares "
                       "over a run of the empty cell, stored as the cell's constants"));
    w.ButtonUndoBlankRunCalibration =
        Named(new QPushButton(QStringLiteral("Undo")), "ButtonUndoBlankRunCalibration");
    w.ButtonUndoBlankRunCalibration->setToolTip(
        QStringLiteral("Brings back the cell's constants from before the blank run"));
    w.ButtonUndoBlankRunCalibration->setEnabled(false);
    line->addWidget(w.ButtonCalibrateBlankRun);
    line->addWidget(w.ButtonUndoBlankRunCalibration);
    const int row = rows.Grid()->rowCount();
    rows.Grid()->addWidget(new QLabel(QStringLiteral("Blank run, empty cell")), row, 0);
    rows.Grid()->addWidget(buttons, row, 1);
    w.LabelBlankRunCalibration = Named(new QLabel, "LabelBlankRunCalibration");
    w.LabelBlankRunCalibration->setWordWrap(true);
    rows.Grid()->addWidget(w.LabelBlankRunCalibration, row + 1, 0, 1, 3);
}

// The oxygen balance's leak constants and law, with their estimate from the steady PID
// holds, a way back to the constants before it, and the estimate's answer below.
void LeakRows(TfrmOxtiva& w, TFormRows& rows)
{
    w.RtDoubleEditLeakAlpha = rows.Add(DoubleEdit("RtDoubleEditLeakAlpha", 0, 0.0),
                                       QStringLiteral("Leakage constant α, mol/(s·atm^¼)"));
    w.RtDoubleEditLeakSeal = rows.Add(DoubleEdit("RtDoubleEditLeakSeal", 0, 0.0),
                                      QStringLiteral("Seal leakage constant, mol/(s·atm)"));
    w.ComboBoxLeakLaw =
        rows.Add(Named(new QComboBox, "ComboBoxLeakLaw"), QStringLiteral("Leak law to estimate"));
    w.ComboBoxLeakLaw->addItems({QStringLiteral("Electrolyte, pO2^¼"),
                                 QStringLiteral("Seal, linear in pO2"), QStringLiteral("Both")});
    auto* buttons = new QWidget;
    auto* line = new QHBoxLayout(buttons);
    line->setContentsMargins(0, 0, 0, 0);
    w.ButtonEstimateLeakAlpha =
        Named(new QPushButton(QStringLiteral("Estimate")), "ButtonEstimateLeakAlpha");
    w.ButtonEstimateLeakAlpha->setToolTip(
        QStringLiteral("By least squares over the steady holds under PID control"));
    w.ButtonUndoLeakEstimate =
        Named(new QPushButton(QStringLiteral("Undo")), "ButtonUndoLeakEstimate");
    w.ButtonUndoLeakEstimate->setToolTip(
        QStringLiteral("Brings back the leak constants from before the estimate"));
    w.ButtonUndoLeakEstimate->setEnabled(false);
    line->addWidget(w.ButtonEstimateLeakAlpha);
    line->addWidget(w.ButtonUndoLeakEstimate);
    const int row = rows.Grid()->rowCount();
    rows.Grid()->addWidget(buttons, row, 1);
    w.LabelLeakAlphaEstimate = Named(new QLabel, "LabelLeakAlphaEstimate");
    w.LabelLeakAlphaEstimate->setWordWrap(true);
    rows.Grid()->addWidget(w.LabelLeakAlphaEstimate, row + 1, 0, 1, 3);
    BlankRunRows(w, rows);
}

// What a cell can hold: gas volumes that are volumes, partial pressures of a gas at most
// at one bar, temperatures that the type S thermocouple and the cold end's thermistor can
// mean (0 for the override: the thermocouple's own reading).
void PhysicalRanges(TfrmOxtiva& w)
{
    w.RtDoubleEditVHPS->SetAbove(0.0);
    w.RtDoubleEditVgp->setMinimum(0.0);
    w.RtDoubleEditTl->SetLimits(-50.0, 200.0);
    for (TRtDoubleEdit* pressure : {w.RtDoubleEditPsO2, w.RtDoubleEditFGpO2}) {
        pressure->SetAbove(0.0);
        pressure->setMaximum(1.0);
    }
    w.RtDoubleEditCTO->SetLimits(-50.0, 1768.0);
    w.RtDoubleEditCTO->SetOwnToolTip(QStringLiteral("0: the thermocouple's reading"));
}

QGroupBox* CellConstantsGroup(TfrmOxtiva& w)
{
    w.GroupBox9 = Group("GroupBox9", QStringLiteral("Cell constants"));
    TFormRows rows(w.GroupBox9);
    w.EditSensorID = rows.Add(TextEdit("EditSensorID", QStringLiteral("PIS0317035")),
                              QStringLiteral("Sensor ID"));
    auto edit = [&](const char* aName, double aValue, const char* aLabel, bool aEnabled = true) {
        return rows.Add(DoubleEdit(aName, aValue, {}, {}, aEnabled), QString::fromUtf8(aLabel));
    };
    w.RtDoubleEditSensorAx = edit("RtDoubleEditSensorAx", 29732.84908, "Sensor calibration Ax");
    w.RtDoubleEditSensorBx = edit("RtDoubleEditSensorBx", -23.20793746, "Sensor calibration Bx");
    w.RtDoubleEditVHPS =
        edit("RtDoubleEditVHPS", 0.012, "Gas volume hot part without sample, Vhpws, L");
    w.RtDoubleEditVhp = edit("RtDoubleEditVhp", 0.012, "Gas volume hot part, Vhp, L", false);
    w.RtDoubleEditVgp = edit("RtDoubleEditVgp", 0.012, "Gas volume of gradient part, Vgp, L");
    w.RtDoubleEditTl = edit("RtDoubleEditTl", 30.0, "Cold end temperature, Tl, Cº");
    w.RtDoubleEditPsO2 =
        edit("RtDoubleEditPsO2", 0.21, "Initial partial pressure of oxygen, PsO2, bar");
    w.RtDoubleEditFGpO2 =
        edit("RtDoubleEditFGpO2", 0.21, "Flush gas partial pressure of oxygen, FGpO2");
    w.RtDoubleEditCTO = edit("RtDoubleEditCTO", 0, "Cell temperature override, ºC");
    PhysicalRanges(w);
    // Unchecked, a changed constant holds from the time of the change, so that what the
    // balance booked before it stays as it was.
    w.CheckBoxConstantsWholeRun = rows.Add(
        Named(new QCheckBox(QStringLiteral("Apply to the whole run")), "CheckBoxConstantsWholeRun"),
        QStringLiteral("Changed cell and leak constants"));
    w.CheckBoxConstantsWholeRun->setToolTip(
        QStringLiteral("Otherwise a change holds from the time it is made on"));
    LeakRows(w, rows);
    return w.GroupBox9;
}

QGroupBox* PIDGroup(TfrmOxtiva& w)
{
    w.GroupBox10 = Group("GroupBox10", QStringLiteral("PID settings"));
    TFormRows rows(w.GroupBox10);
    w.RtDoubleEditPIDP =
        rows.Add(DoubleEdit("RtDoubleEditPIDP", 0.002), QStringLiteral("Proportional"));
    w.RtDoubleEditPIDI =
        rows.Add(DoubleEdit("RtDoubleEditPIDI", 0.001), QStringLiteral("Integral"));
    w.RtDoubleEditPIDD = rows.Add(DoubleEdit("RtDoubleEditPIDD", 0), QStringLiteral("Derivate"));
    for (TRtDoubleEdit* gain : {w.RtDoubleEditPIDP, w.RtDoubleEditPIDI})
        gain->SetOwnToolTip(QStringLiteral("0: derived from the pO2 at each step"));
    for (TRtDoubleEdit* gain : {w.RtDoubleEditPIDP, w.RtDoubleEditPIDI, w.RtDoubleEditPIDD})
        gain->setMinimum(0.0);
    w.LabelPidGainsInForce = Named(new QLabel, "LabelPidGainsInForce");
    w.LabelPidGainsInForce->setWordWrap(true);
    rows.Grid()->addWidget(w.LabelPidGainsInForce, rows.Grid()->rowCount(), 0, 1, 3);
    return w.GroupBox10;
}

QGroupBox* RelativeChangeGroup(TfrmOxtiva& w)
{
    w.GroupBox11 = Group("GroupBox11", QStringLiteral("Relative change"));
    TFormRows rows(w.GroupBox11);
    w.RtDoubleEditRCDuration =
        rows.Add(DoubleEdit("RtDoubleEditRCDuration", 100.0), QStringLiteral("Duration, s"));
    w.RtDoubleEditRCThreshold =
        rows.Add(DoubleEdit("RtDoubleEditRCThreshold", 0.5), QStringLiteral("Threshold, %"));
    // A step also waits for the sample: b may drift at most this much over the duration.
    w.RtDoubleEditContentDrift = rows.Add(DoubleEdit("RtDoubleEditContentDrift", 0, 0.0),
                                          QStringLiteral("b drift, mol/mol"));
    w.RtDoubleEditContentDrift->SetOwnToolTip(
        QStringLiteral("The most b may drift over the duration for a step to end; 0: not judged"));
    w.RtDoubleEditRCDuration->SetAbove(0.0);
    w.RtDoubleEditRCThreshold->SetAbove(0.0);
    return w.GroupBox11;
}

QGroupBox* PumpLimitsGroup(TfrmOxtiva& w)
{
    w.GroupBox13 = Group("GroupBox13", QStringLiteral("Pump limits"));
    TFormRows rows(w.GroupBox13);
    // Magnitudes: validation bounds the set-current and set-voltage edits by minus and plus
    // each, so a negative limit would reverse those bounds.
    w.RtDoubleEditPumpCurrentLimit =
        rows.Add(DoubleEdit("RtDoubleEditPumpCurrentLimit", 0.001, 0.0, 0.005),
                 QStringLiteral("Current, A"));
    w.RtDoubleEditPumpVoltageLimit = rows.Add(
        DoubleEdit("RtDoubleEditPumpVoltageLimit", 0.9, 0.0, 1.1), QStringLiteral("Voltage, V"));
    w.RtDoubleEditPumpCurrentLimit->SetAbove(0.0);
    w.RtDoubleEditPumpVoltageLimit->SetAbove(0.0);
    return w.GroupBox13;
}

QGroupBox* DataPointGroup(TfrmOxtiva& w)
{
    w.Datapoint = Group("Datapoint", QStringLiteral("Datapoint integration time, s"));
    auto* layout = new QVBoxLayout(w.Datapoint);
    w.RtDoubleEditDataPointLength = DoubleEdit("RtDoubleEditDataPointLength", 10.0, 1.0);
    layout->addWidget(w.RtDoubleEditDataPointLength);
    layout->addWidget(ReasonBelow(w.RtDoubleEditDataPointLength));
    return w.Datapoint;
}

QGroupBox* NotesGroup(TfrmOxtiva& w)
{
    w.GroupBox8 = Group("GroupBox8", QStringLiteral("Notes"));
    auto* layout = new QVBoxLayout(w.GroupBox8);
    w.MemoNotes =
        Memo("MemoNotes", {QStringLiteral("Example values"), QStringLiteral("Example notes")});
    w.MemoNotes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The groups beside it would otherwise take their full size and squeeze the notes to
    // a word per line on an ordinary screen.
    w.MemoNotes->setMinimumWidth(16 *
                                 w.MemoNotes->fontMetrics().horizontalAdvance(QLatin1Char('n')));
    layout->addWidget(w.MemoNotes);
    return w.GroupBox8;
}

void BuildExperimentDataTab(TfrmOxtiva& w)
{
    auto* layout = new QGridLayout(w.TabSheetExperimentSetup);
    auto* left = new QVBoxLayout;
    left->addWidget(CompoundGroup(w));
    left->addWidget(SampleGroup(w));
    left->addStretch();
    auto* middle = new QVBoxLayout;
    middle->addWidget(CellConstantsGroup(w));
    middle->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(PIDGroup(w));
    right->addWidget(RelativeChangeGroup(w));
    right->addWidget(PumpLimitsGroup(w));
    right->addWidget(DataPointGroup(w));
    right->addStretch();
    layout->addLayout(left, 0, 0);
    layout->addLayout(middle, 0, 1);
    layout->addLayout(right, 0, 2);
    layout->addWidget(NotesGroup(w), 0, 3);
    layout->setColumnStretch(3, 1);
    // A window at its smallest (where it opens on most screens) squeezes the edits first;
    // each keeps room for a value such as a worked-out volume, an estimated leak constant
    // in full precision or a sensor's name.
    for (QLineEdit* edit : w.TabSheetExperimentSetup->findChildren<QLineEdit*>()) {
        const QString widest = qobject_cast<TRtDoubleEdit*>(edit)
                                   ? QStringLiteral("-0.000138504155124654")
                                   : QStringLiteral("HT PIS 0317524");
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(widest) + 12);
    }
}

QGroupBox* ProgramModeGroup(TfrmOxtiva& w)
{
    w.GroupBox2 = Group("GroupBox2", QStringLiteral("Program mode"));
    auto* grid = new QGridLayout(w.GroupBox2);
    int row = 0;
    auto radio = [&](const char* aName, const char* aCaption, TNumericEdit* aEdit = nullptr) {
        auto* button = Named(new QRadioButton(QString::fromUtf8(aCaption)), aName);
        grid->addWidget(button, row, 0);
        if (aEdit) {
            grid->addWidget(aEdit, row, 1);
            grid->addWidget(ReasonBelow(aEdit), ++row, 0, 1, 2);
        }
        ++row;
        return button;
    };
    w.RadioButtonModeOff = radio("RadioButtonModeOff", "Paused");
    w.RtIntegerEditCurrentmA = IntegerEdit("RtIntegerEditCurrentmA", 0, -5, 5);
    w.RadioButtonModePassive =
        radio("RadioButtonModePassive", "GS set current, µA:", w.RtIntegerEditCurrentmA);
    w.RtIntegerEditSetVoltage = IntegerEdit("RtIntegerEditSetVoltage", 0, -1000, 1000);
    w.RadioButtonSetVoltage =
        radio("RadioButtonSetVoltage", "PS set voltage, mV:", w.RtIntegerEditSetVoltage);
    w.RtDoubleEditPISSP = DoubleEdit("RtDoubleEditPISSP", -0.678, -16.0, -0.678);
    w.RadioButtonPIDSet = radio("RadioButtonPIDSet", "PID, setpoint log(pO2):", w.RtDoubleEditPISSP);
    w.RadioButtonPIDStep = radio("RadioButtonPIDStep", "PPID, step program, log(pO2)");
    w.RadioButtonPPS = radio("RadioButtonPPS", "PPS, step program, mV");
    w.RadioButtonModeOff->setChecked(true);
    return w.GroupBox2;
}

QGroupBox* StepProgramGroup(TfrmOxtiva& w)
{
    w.GroupBox12 = Group("GroupBox12", QStringLiteral("Step program"));
    auto* layout = new QVBoxLayout(w.GroupBox12);
    w.LabelStepProgress = Named(new QLabel, "LabelStepProgress");
    w.LabelStepProgress->hide(); // shown while a step program runs
    w.LabelStepProgress->setWordWrap(true); // a waiting step's reason runs long
    layout->addWidget(w.LabelStepProgress);
    auto* heads = new QHBoxLayout;
    for (const char* head : {"Step", "PPID\nlog(pO2)", "or", "PPS\nmV"})
        heads->addWidget(new QLabel(QString::fromLatin1(head)));
    layout->addLayout(heads);
    w.ListBoxStepProgram = Named(new QListWidget, "ListBoxStepProgram");
    QFont fixed(QStringLiteral("monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    w.ListBoxStepProgram->setFont(fixed);
    w.ListBoxStepProgram->addItems(DefaultStepProgram());
    layout->addWidget(w.ListBoxStepProgram, 1);
    auto* setpoints = new QGridLayout;
    auto setpointRow = [&](TRtDoubleEdit* aEdit, const char* aUnit, int aRow) {
        auto* label = new QLabel(QStringLiteral("Setpoint"));
        label->setBuddy(aEdit);
        setpoints->addWidget(label, aRow, 0);
        setpoints->addWidget(aEdit, aRow, 1);
        setpoints->addWidget(new QLabel(QString::fromLatin1(aUnit)), aRow, 2);
        setpoints->addWidget(ReasonBelow(aEdit), aRow + 1, 0, 1, 3);
        return aEdit;
    };
    // The same sign as the list's column and the PID's set point: log(pO2), not −log(pO2),
    // so a value copied from the list is typed as it stands.
    w.RtDoubleEditEditpO2 =
        setpointRow(DoubleEdit("RtDoubleEditEditpO2", -0.678, -16.0, -0.678), "log(pO2)", 0);
    w.RtDoubleEditPPSmV =
        setpointRow(DoubleEdit("RtDoubleEditPPSmV", 20, -1000.0, 1000.0), "mV", 2);
    layout->addLayout(setpoints);
    w.LabelStepEditRefusal = Named(new QLabel, "LabelStepEditRefusal");
    w.LabelStepEditRefusal->setWordWrap(true);
    w.LabelStepEditRefusal->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    w.LabelStepEditRefusal->hide();
    layout->addWidget(w.LabelStepEditRefusal);
    w.ButtonProgramPumpVoltage =
        Named(new QPushButton(QStringLiteral("Apply to step program")), "ButtonProgramPumpVoltage");
    w.ButtonProgramDeleteStep =
        Named(new QPushButton(QStringLiteral("Delete last step")), "ButtonProgramDeleteStep");
    layout->addWidget(w.ButtonProgramPumpVoltage);
    layout->addWidget(w.ButtonProgramDeleteStep);
    auto* files = new QHBoxLayout;
    w.ButtonSaveSteps = Named(new QPushButton(QStringLiteral("Save steps…")), "ButtonSaveSteps");
    w.ButtonLoadSteps = Named(new QPushButton(QStringLiteral("Load steps…")), "ButtonLoadSteps");
    files->addWidget(w.ButtonSaveSteps);
    files->addWidget(w.ButtonLoadSteps);
    layout->addLayout(files);
    return w.GroupBox12;
}

void BuildExperimentControlTab(TfrmOxtiva& w)
{
    auto* layout = new QVBoxLayout(w.TabSheetExperimentControl);
    w.Splitter1 = Named(new QSplitter(Qt::Horizontal), "Splitter1");
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->addWidget(ProgramModeGroup(w));
    leftLayout->addWidget(StepProgramGroup(w), 1);
    w.Splitter1->addWidget(left);
    w.RtGraph2D1 = Named(new TExperimentGraph, "RtGraph2D1");
    w.Splitter1->addWidget(w.RtGraph2D1);
    w.Splitter1->setStretchFactor(1, 1);
    layout->addWidget(w.Splitter1);
}

void BuildRawDataTab(TfrmOxtiva& w)
{
    auto* layout = new QVBoxLayout(w.TabSheetData);
    auto* panel = Named(new QWidget, "Panel1");
    auto* panelLayout = new QHBoxLayout(panel);
    w.CheckBoxScroll =
        Named(new QCheckBox(QStringLiteral("Autoscroll to last row")), "CheckBoxScroll");
    panelLayout->addWidget(w.CheckBoxScroll);
    panelLayout->addStretch();
    layout->addWidget(panel);
    w.StringGridData = Named(new TStringGrid, "StringGridData");
    layout->addWidget(w.StringGridData, 1);
}

void BuildDebugTab(TfrmOxtiva& w)
{
    auto* layout = new QVBoxLayout(w.TabSheetDebug);
    auto* buttons = new QHBoxLayout;
    w.ButtonSaveTest = Named(new QPushButton(QStringLiteral("Manual save")), "ButtonSaveTest");
    w.ButtonDeleteData = Named(new QPushButton(QStringLiteral("Delete first 100 points of data")),
                               "ButtonDeleteData");
    buttons->addWidget(w.ButtonSaveTest);
    buttons->addWidget(w.ButtonDeleteData);
    buttons->addStretch();
    layout->addLayout(buttons);
    w.Memo1 = Memo("Memo1", {});
    layout->addWidget(w.Memo1, 1);
}

void BuildStatusBar(TfrmOxtiva& w)
{
    w.StatusBar1 = Named(new QStatusBar, "StatusBar1");
    w.GlyphStatus1 = Named(new TGlyphStatusPane(QStringLiteral("Invalid Instruments"), PictureBad),
                           "GlyphStatus1");
    w.GlyphStatus2 = Named(new TGlyphStatusPane(QStringLiteral("Invalid temperature"), PictureBad),
                           "GlyphStatus2");
    w.GlyphStatusAlarmTrace =
        Named(new TGlyphStatusPane(QString(), PictureWarning), "GlyphStatusAlarmTrace");
    w.ButtonAcknowledgeAlarm =
        Named(new QPushButton(QStringLiteral("Acknowledge")), "ButtonAcknowledgeAlarm");
    w.ButtonAcknowledgeAlarm->setToolTip(QStringLiteral("Remove the ended alarms from view"));
    w.StatusPaneFlushpO2 = Named(new QLabel, "StatusPaneFlushpO2");
    w.StatusPaneRC = Named(new QLabel, "StatusPaneRC");
    w.StatusPaneStep = Named(new QLabel, "StatusPaneStep");
    w.StatusBar1->addWidget(w.GlyphStatus1);
    w.GlyphStatusAlarmTrace->hide(); // until an alarm has ended
    w.ButtonAcknowledgeAlarm->hide();
    w.StatusBar1->addWidget(w.GlyphStatus2);
    w.StatusBar1->addWidget(w.StatusPaneFlushpO2);
    w.StatusBar1->addWidget(w.StatusPaneRC);
    w.StatusBar1->addWidget(w.StatusPaneStep, 1);
    w.setStatusBar(w.StatusBar1);
}

// Beside the tabs, so the save is where the operator looks for it whichever page is open.
void BuildTabCorner(TfrmOxtiva& w)
{
    auto* corner = new QWidget;
    auto* layout = new QHBoxLayout(corner);
    layout->setContentsMargins(0, 0, 4, 0);
    w.LabelLastSave = Named(new QLabel, "LabelLastSave");
    w.ButtonTakeSettings =
        Named(new QPushButton(QStringLiteral("Take settings…")), "ButtonTakeSettings");
    w.ButtonTakeSettings->setToolTip(
        QStringLiteral("Take the \"Experiment data\" values, sample and notes from a data file"));
    w.ButtonSave = Named(new QPushButton(QStringLiteral("Save")), "ButtonSave");
    w.ButtonSave->setToolTip(QStringLiteral("Save the data file and the graph (Ctrl+S)"));
    layout->addWidget(w.LabelLastSave);
    layout->addWidget(w.ButtonTakeSettings);
    layout->addWidget(w.ButtonSave);
    w.PageControlMain->setCornerWidget(corner, Qt::TopRightCorner);
}

QWidget* Page(TfrmOxtiva& w, const char* aName, const QString& aCaption)
{
    auto* page = Named(new QWidget, aName);
    w.PageControlMain->addTab(page, aCaption);
    return page;
}

} // namespace

void BuildWindowLayout(TfrmOxtiva& w)
{
    w.setWindowTitle(QStringLiteral("Oxtiva"));
    w.PageControlMain = Named(new QTabWidget, "PageControlMain");
    w.PageControlMain->setDocumentMode(true); // tabs as flat buttons
    w.TabSheetInstruments = Page(w, "TabSheetInstruments", QStringLiteral("Configuration"));
    w.TabSheetExperimentSetup =
        Page(w, "TabSheetExperimentSetup", QStringLiteral("Experiment data"));
    w.TabSheetExperimentControl =
        Page(w, "TabSheetExperimentControl", QStringLiteral("Experiment Control"));
    w.TabSheetData = Page(w, "TabSheetData", QStringLiteral("Raw data"));
    w.TabSheetDebug = Page(w, "TabSheetDebug", QStringLiteral("Debug"));
    w.TabSheetOxygenContent = Named(new TOxygenContentPage, "TabSheetOxygenContent");
    w.PageControlMain->addTab(w.TabSheetOxygenContent, QStringLiteral("Oxygen content"));
    w.TabSheetThermodynamics = Named(new TThermodynamicsPage, "TabSheetThermodynamics");
    w.PageControlMain->addTab(w.TabSheetThermodynamics, QStringLiteral("Thermodynamics"));
    BuildConfigurationTab(w);
    BuildExperimentDataTab(w);
    BuildExperimentControlTab(w);
    BuildRawDataTab(w);
    BuildDebugTab(w);
    BuildTabCorner(w);
    BuildStatusBar(w);
    // Ended alarms are traced under the pages, across the window's whole width: in the
    // status bar a long trace widened the window past the screen.
    auto* central = Named(new QWidget, "PanelCentral");
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(w.PageControlMain, 1);
    auto* trace = new QHBoxLayout;
    trace->setContentsMargins(4, 2, 4, 2);
    w.GlyphStatusAlarmTrace->WrapText();
    trace->addWidget(w.GlyphStatusAlarmTrace, 1);
    trace->addWidget(w.ButtonAcknowledgeAlarm, 0, Qt::AlignTop);
    column->addLayout(trace);
    w.setCentralWidget(central);
    w.PageControlMain->setCurrentIndex(0);
    w.Timer1 = Named(new QTimer(&w), "Timer1");
    w.Timer1->setInterval(250);
}

} // namespace oxtiva
