#pragma once

#include "control/shared_state.h"

#include <QMainWindow>
#include <memory>

class QCheckBox;
class QComboBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;

namespace oxtiva {

class TControlCycle;
class TDataPointAssembly;
class THandOverInputs;
class TInstrumentAlarmMonitor;
class TInstrumentValidation;
class TLogDestination;
class TThread2000;
class TThread2401;
class TExperimentGraph;
class TExperimentSaver;
class TJournalKeeper;
class TOxygenContent;
class TOxygenContentPage;
class TThermodynamicsPage;
class TGlyphStatusPane;
class TRtDoubleEdit;
class TRtIntegerEdit;
class TSampleCalculationsPanel;
class TStepProgramEditor;
class TStepProgramProgress;
class TStringGrid;
class TWindowCaption;

// The main window. It owns the experiment's shared state and builds the controls; the
// behaviour behind them lives in classes of their own that the window owns. Every control
// is a public member whose objectName equals the member's name.
class TfrmOxtiva : public QMainWindow {
    Q_OBJECT

public:
    // The program folder holds the settings file, "Userdata" and "Logs"; by default it is
    // the folder of the running program.
    explicit TfrmOxtiva(QWidget* parent = nullptr, const QString& programFolder = QString());
    ~TfrmOxtiva() override;

    TSharedState& State() { return fState; }
    const TSharedState& State() const { return fState; }

    const QString& ProgramFolder() const { return fProgramFolder; }

    // The settings file: the ports of the validated instruments, and the cell's constants
    // from the last blank run.
    void LoadSettings();
    void SaveSettings();
    QString SettingsPath() const;

    // The instrument threads, while they exist. The control cycle frees a thread once it
    // reports that it has stopped (after the thread's body has returned).
    std::unique_ptr<TThread2000> Thread2000;
    std::unique_ptr<TThread2401> Thread2401;
    void ReleaseThread2000();
    void ReleaseThread2401();
    // Stops a running thread, serving the window's events while it winds down, and frees it.
    void ReleaseThread2000WhenStopped();
    void ReleaseThread2401WhenStopped();
    // Tells the operator, in a message box and the log, when the pump thread ended
    // without the instrument confirming its last source command.
    void WarnIfPumpNotConfirmed(const TThread2401& thread);

    std::shared_ptr<TLogDestination> LogDestination() const { return fLogDestination; }
    const THandOverInputs& HandOverInputs() const { return *fHandOverInputs; }
    TControlCycle& ControlCycle() { return *fControlCycle; }
    TInstrumentValidation& Validation() { return *fValidation; }
    void ReplotGraph();

    // Gives the grid its 16 columns with captions and widths.
    void FormatGrid();
    // Refreshes the instrument, temperature, relative-change and step panes.
    void Statusbar();
    // Recomputes the derived sample quantities into their result edits.
    void SampleCalculations();

    // A completed data point becomes a grid row and graph values (see TDataPointAssembly).
    void AddDataUpdates();
    // Writes the data file and the graph picture; failures show in the caption only.
    void Save();
    bool CellSidepO2(double& PO);
    bool FlushSidepO2(double& PO);
    TDataPointAssembly& DataPointAssembly() { return *fDataPointAssembly; }
    TExperimentSaver& Saver() { return *fSaver; }
    // The caption, where every notice the operator must see meets (see TWindowCaption).
    TWindowCaption& Caption() { return *fCaption; }
    // The running step program's progress label and highlighted line.
    TStepProgramProgress& StepProgramProgress() { return *fStepProgramProgress; }
    TStepProgramEditor& StepProgramEditor() { return *fStepProgramEditor; }

    // Pages, with the save and the settings taken from a data file beside their tabs.
    QTabWidget* PageControlMain = nullptr;
    QLabel* LabelLastSave = nullptr;
    QPushButton* ButtonTakeSettings = nullptr;
    QPushButton* ButtonSave = nullptr;
    QWidget* TabSheetInstruments = nullptr;
    QWidget* TabSheetExperimentSetup = nullptr;
    QWidget* TabSheetExperimentControl = nullptr;
    QWidget* TabSheetData = nullptr;
    QWidget* TabSheetDebug = nullptr;

    // "Configuration".
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CheckBoxSMUValidated = nullptr;
    QLineEdit* EditSMUCOMPort = nullptr;
    QPushButton* ButtonSMUTest = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QCheckBox* CheckBox2000Validated = nullptr;
    QLineEdit* Edit2000COMPort = nullptr;
    QPushButton* Button2000Test = nullptr;
    QPlainTextEdit* MemoConfLog = nullptr;

    // "Experiment data".
    QGroupBox* GroupBox6 = nullptr;
    QLineEdit* EditSampleName = nullptr;
    QLineEdit* EditSampleFormula = nullptr;
    TRtDoubleEdit* RtDoubleEditbs = nullptr;
    TRtDoubleEdit* RtDoubleEditM = nullptr;
    TRtDoubleEdit* RtDoubleEditb0 = nullptr;
    TRtDoubleEdit* RtDoubleEditM0 = nullptr;
    TRtDoubleEdit* RtDoubleEditd = nullptr;
    QGroupBox* GroupBox7 = nullptr;
    TRtDoubleEdit* RtDoubleEditmass0 = nullptr;
    TRtDoubleEdit* RtDoubleEditVs = nullptr;
    TRtDoubleEdit* RtDoubleEditn0 = nullptr;
    TRtDoubleEdit* RtDoubleEditnO0 = nullptr;
    TRtDoubleEdit* RtDoubleEditmO0 = nullptr;
    TRtDoubleEdit* RtDoubleEditmM = nullptr;
    QGroupBox* GroupBox9 = nullptr;
    QLineEdit* EditSensorID = nullptr;
    TRtDoubleEdit* RtDoubleEditSensorAx = nullptr;
    TRtDoubleEdit* RtDoubleEditSensorBx = nullptr;
    TRtDoubleEdit* RtDoubleEditVHPS = nullptr;
    TRtDoubleEdit* RtDoubleEditVhp = nullptr;
    TRtDoubleEdit* RtDoubleEditVgp = nullptr;
    TRtDoubleEdit* RtDoubleEditTl = nullptr;
    TRtDoubleEdit* RtDoubleEditPsO2 = nullptr;
    TRtDoubleEdit* RtDoubleEditFGpO2 = nullptr;
    TRtDoubleEdit* RtDoubleEditCTO = nullptr;
    QGroupBox* GroupBox10 = nullptr;
    TRtDoubleEdit* RtDoubleEditPIDP = nullptr;
    TRtDoubleEdit* RtDoubleEditPIDI = nullptr;
    TRtDoubleEdit* RtDoubleEditPIDD = nullptr;
    QGroupBox* GroupBox11 = nullptr;
    TRtDoubleEdit* RtDoubleEditRCDuration = nullptr;
    TRtDoubleEdit* RtDoubleEditRCThreshold = nullptr;
    TRtDoubleEdit* RtDoubleEditContentDrift = nullptr; // b over RCDuration; 0 judges nothing
    QGroupBox* GroupBox13 = nullptr;
    TRtDoubleEdit* RtDoubleEditPumpCurrentLimit = nullptr;
    TRtDoubleEdit* RtDoubleEditPumpVoltageLimit = nullptr;
    QGroupBox* Datapoint = nullptr;
    TRtDoubleEdit* RtDoubleEditDataPointLength = nullptr;
    QGroupBox* GroupBox8 = nullptr;
    QPlainTextEdit* MemoNotes = nullptr;

    // "Experiment Control".
    QSplitter* Splitter1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QRadioButton* RadioButtonModeOff = nullptr;
    QRadioButton* RadioButtonModePassive = nullptr;
    TRtIntegerEdit* RtIntegerEditCurrentmA = nullptr;
    QRadioButton* RadioButtonSetVoltage = nullptr;
    TRtIntegerEdit* RtIntegerEditSetVoltage = nullptr;
    QRadioButton* RadioButtonPIDSet = nullptr;
    TRtDoubleEdit* RtDoubleEditPISSP = nullptr;
    QRadioButton* RadioButtonPIDStep = nullptr;
    QRadioButton* RadioButtonPPS = nullptr;
    QGroupBox* GroupBox12 = nullptr;
    QListWidget* ListBoxStepProgram = nullptr;
    TRtDoubleEdit* RtDoubleEditEditpO2 = nullptr;
    TRtDoubleEdit* RtDoubleEditPPSmV = nullptr;
    QPushButton* ButtonProgramPumpVoltage = nullptr;
    QPushButton* ButtonProgramDeleteStep = nullptr;
    // Step program files and the progress of the running program.
    QLabel* LabelStepProgress = nullptr;
    QLabel* LabelPidGainsInForce = nullptr; // the gains the PID uses now
    QLabel* LabelStepEditRefusal = nullptr; // why "Apply to step program" took nothing
    QPushButton* ButtonSaveSteps = nullptr;
    QPushButton* ButtonLoadSteps = nullptr;
    TExperimentGraph* RtGraph2D1 = nullptr;

    // "Raw data".
    QCheckBox* CheckBoxScroll = nullptr;
    TStringGrid* StringGridData = nullptr;

    // "Debug".
    QPushButton* ButtonSaveTest = nullptr;
    QPushButton* ButtonDeleteData = nullptr;
    QPlainTextEdit* Memo1 = nullptr;

    // Status bar, panes left to right.
    QStatusBar* StatusBar1 = nullptr;
    TGlyphStatusPane* GlyphStatus1 = nullptr;
    // Instrument alarms that ended, shown until the operator acknowledges them.
    TGlyphStatusPane* GlyphStatusAlarmTrace = nullptr;
    QPushButton* ButtonAcknowledgeAlarm = nullptr;
    TGlyphStatusPane* GlyphStatus2 = nullptr;
    QLabel* StatusPaneFlushpO2 = nullptr;
    QLabel* StatusPaneRC = nullptr;
    QLabel* StatusPaneStep = nullptr;

    // The control cycle's clock, 250 ms.
    QTimer* Timer1 = nullptr;

    // The live oxygen balance: its page "Oxygen content" after "Debug", and the leak
    // constant with its estimate on "Experiment data" (group "Cell constants").
    TOxygenContent& OxygenContent() { return *fOxygenContent; }
    TOxygenContentPage* TabSheetOxygenContent = nullptr;
    // Enthalpy and entropy of the sample's oxygen from isotherms at several temperatures.
    TThermodynamicsPage* TabSheetThermodynamics = nullptr;
    TRtDoubleEdit* RtDoubleEditLeakAlpha = nullptr;
    TRtDoubleEdit* RtDoubleEditLeakSeal = nullptr;
    QComboBox* ComboBoxLeakLaw = nullptr; // in the order of TLeakLaw
    QPushButton* ButtonEstimateLeakAlpha = nullptr;
    QPushButton* ButtonUndoLeakEstimate = nullptr;
    QLabel* LabelLeakAlphaEstimate = nullptr;
    // The gas volume and the leak from a blank run, stored as the cell's constants.
    QPushButton* ButtonCalibrateBlankRun = nullptr;
    QPushButton* ButtonUndoBlankRunCalibration = nullptr;
    QLabel* LabelBlankRunCalibration = nullptr;
    // Changes of the constants replay the whole run instead of holding from then on.
    QCheckBox* CheckBoxConstantsWholeRun = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BindWindowHelpers();
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();
    void CreateFolder(const QString& name, const QString& failureMessage);
    void ButtonDeleteDataClick();
    void RtGraph2D1MouseDown(QMouseEvent* event);

    QString fProgramFolder;
    TSharedState fState;
    std::shared_ptr<TLogDestination> fLogDestination;
    TLogger fShutdownLog{QStringLiteral("Form"), true};
    std::unique_ptr<THandOverInputs> fHandOverInputs;
    std::unique_ptr<TWindowCaption> fCaption;
    TControlCycle* fControlCycle = nullptr;
    TInstrumentValidation* fValidation = nullptr;
    // Watches the instruments' readings for the status bar.
    std::unique_ptr<TInstrumentAlarmMonitor> fInstrumentAlarm;
    std::unique_ptr<TSampleCalculationsPanel> fSampleCalculations;
    std::unique_ptr<TExperimentSaver> fSaver;
    std::unique_ptr<TDataPointAssembly> fDataPointAssembly;
    std::unique_ptr<TStepProgramEditor> fStepProgramEditor;
    std::unique_ptr<TStepProgramProgress> fStepProgramProgress;
    TOxygenContent* fOxygenContent = nullptr; // child QObject of the window

    // Every grid row on the disk between saves, for the next start to recover.
public:
    TJournalKeeper& Journal() { return *fJournal; }

private:
    std::unique_ptr<TJournalKeeper> fJournal;
};

// The question before closing, with the grid rows that no save holds yet.
QString CloseQuestion(int aUnsavedRows, bool aJournalFailed);

} // namespace oxtiva
