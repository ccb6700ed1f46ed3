#include "app/main_window.h"

#include "app/experiment/experiment_settings_import.h"
#include "app/experiment/save_action.h"
#include "app/experiment/thermodynamics_binding.h"

#include "app/experiment/control_cycle.h"
#include "app/experiment/data_point_assembly.h"
#include "app/experiment/experiment_saver.h"
#include "app/experiment/instrument_alarm_monitor.h"
#include "app/experiment/instrument_validation.h"
#include "app/experiment/journal_keeper.h"
#include "app/pages/blank_run_calibration.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/sample_calculations_panel.h"
#include "app/pages/step_program_editor.h"
#include "app/pages/step_program_progress.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/experiment_graph.h"
#include "app/window/numeric_edits.h"
#include "app/window/status_bar.h"
#include "app/window/window_caption.h"
#include "app/window_layout.h"
#include "instruments/hand_over_inputs.h"
#include "instruments/thread2000.h"
#include "instruments/thread2401.h"
#include "records/date_time.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace oxtiva {

namespace {

// "Delete first 100 points of data" has always removed one value more than it says.
constexpr std::size_t DeletedGraphPoints = 101;

QStringList ListLines(const QListWidget& aList)
{
    QStringList lines;
    lines.reserve(aList.count());
    for (int i = 0; i < aList.count(); ++i) lines << aList.item(i)->text();
    return lines;
}

} // namespace

// The two window values the instrument hand-overs read, straight from their edits: the
// hand-overs run on the main thread.
class TWindowHandOverInputs : public THandOverInputs {
public:
    explicit TWindowHandOverInputs(const TfrmOxtiva& window) : fWindow(window) {}
    double CellTemperatureOverride() const override { return fWindow.RtDoubleEditCTO->value(); }
    int SetVoltageMillivolts() const override { return fWindow.RtIntegerEditSetVoltage->value(); }

private:
    const TfrmOxtiva& fWindow;
};

TfrmOxtiva::TfrmOxtiva(QWidget* parent, const QString& programFolder)
    : QMainWindow(parent),
      // Absolute once, here: the window makes the folder the current one, and a relative
      // path would then name a folder inside itself.
      fProgramFolder(programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                             : QDir(programFolder).absolutePath()),
      fLogDestination(std::make_shared<TLogDestination>()),
      fHandOverInputs(std::make_unique<TWindowHandOverInputs>(*this))
{
    BuildWindowLayout(*this);
    fCaption = std::make_unique<TWindowCaption>(*this, windowTitle());
    FormatGrid();
    BindWindowHelpers();
    FormCreate();
}

TfrmOxtiva::~TfrmOxtiva() { FormDestroy(); }

void TfrmOxtiva::BindWindowHelpers()
{
    fSampleCalculations = std::make_unique<TSampleCalculationsPanel>(*this);
    fOxygenContent = new TOxygenContent(*this); // after the sample results it reads
    new TBlankRunCalibration(*this);
    fSaver = std::make_unique<TExperimentSaver>(*this, fProgramFolder);
    fJournal = std::make_unique<TJournalKeeper>(*this);
    fDataPointAssembly = std::make_unique<TDataPointAssembly>(*this, *fSaver);
    fStepProgramEditor = std::make_unique<TStepProgramEditor>(*this);
    fStepProgramProgress = std::make_unique<TStepProgramProgress>(*this);
    fControlCycle = new TControlCycle(*this);
    fValidation = new TInstrumentValidation(*this);
    fInstrumentAlarm = std::make_unique<TInstrumentAlarmMonitor>(*this);
    connect(ButtonSaveTest, &QPushButton::clicked, this, [this] { fSaver->ButtonSaveTestClick(); });
    BindSaveAction(*this);
    BindThermodynamicsPage(*this);
    connect(ButtonTakeSettings, &QPushButton::clicked, this,
            [this] { ChooseAndTakeExperimentSettings(*this); });
    connect(ButtonDeleteData, &QPushButton::clicked, this, &TfrmOxtiva::ButtonDeleteDataClick);
    connect(RtGraph2D1, &QCustomPlot::mousePress, this, &TfrmOxtiva::RtGraph2D1MouseDown);
}

void TfrmOxtiva::FormatGrid() { oxtiva::FormatGrid(*StringGridData); }

void TfrmOxtiva::Statusbar()
{
    const int lastRow = StringGridData->RowCount() - 1;
    GlyphStatus1->SetStatus(fInstrumentAlarm->Refresh());
    // A silent multimeter leaves the last temperature standing; past a point's length or
    // ten seconds it is marked as old rather than shown green.
    const bool multimeterRead =
        fInstrumentAlarm->ReadingsExpected()[static_cast<int>(TInstrument::MultiMeter2000)];
    const double readingAge = fState.LastGoodReading2000 > 0
                                  ? (NowDays() - fState.LastGoodReading2000) * SecondsPerDay
                                  : 0;
    GlyphStatus2->SetStatus(TemperatureStatus(fState.CellTemperature,
                                              multimeterRead ? readingAge : 0,
                                              std::max(10.0, fState.DataPointLength)));
    // Until the first pass takes the edit's duration, the edit is what the operator set.
    const double rcDuration = fState.ProgramState == TProgramState::Uninitialized
                                  ? RtDoubleEditRCDuration->value()
                                  : fState.RCDuration;
    StatusPaneRC->setText(RelativeChangeStatus(
        fState.ProgramState, rcDuration,
        StringGridData->Cell(ColumnOf(TProperty::RCpO2).ColID, lastRow)));
    StatusPaneStep->setText(
        StepStatus(fState.ProgramState, fState.StepIndex, ListLines(*ListBoxStepProgram)));
}

void TfrmOxtiva::ReplotGraph() { RtGraph2D1->ReplotNewPoints(); }

void TfrmOxtiva::SampleCalculations() { fSampleCalculations->SampleCalculations(); }

void TfrmOxtiva::AddDataUpdates() { fDataPointAssembly->AddDataUpdates(); }

void TfrmOxtiva::Save() { fSaver->Save(); }

bool TfrmOxtiva::CellSidepO2(double& PO) { return fDataPointAssembly->CellSidepO2(PO); }

bool TfrmOxtiva::FlushSidepO2(double& PO) { return fDataPointAssembly->FlushSidepO2(PO); }

// Only the graph loses them, but it cannot get them back: the operator says so first.
void TfrmOxtiva::ButtonDeleteDataClick()
{
    if (QMessageBox::question(this, windowTitle(),
                              QStringLiteral("Remove the first 100 points from the graph? The "
                                             "grid and the saved files keep them, but the graph "
                                             "cannot show them again."),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    RtGraph2D1->DeleteFirstPoints(DeletedGraphPoints);
}

void TfrmOxtiva::RtGraph2D1MouseDown(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) RtGraph2D1->ShowSettingsTool();
}

} // namespace oxtiva
