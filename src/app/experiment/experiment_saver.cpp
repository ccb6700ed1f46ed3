#include "app/experiment/experiment_saver.h"

#include "app/experiment/journal_keeper.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/thermodynamics_page.h"
#include "app/window/data_grid.h"
#include "app/window/experiment_graph.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "control/step_program_file.h"
#include "records/date_time.h"
#include "records/day_folder.h"
#include "records/journal_format.h"
#include "records/number_format.h"
#include "records/safe_file_name.h"
#include "science/oxygen_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QThreadPool>

#include <exception>
#include <mutex>
#include <vector>

namespace oxtiva
{

namespace
{

// The VARIABLES rows in file order; the sensor ID row takes the edit's text instead.
constexpr int SensorIdRow = 11;


} // namespace

std::array<TRtDoubleEdit*, DataFileVariableCount> DataFileVariableEdits(const TfrmOxtiva& w)
{
    // Row 30 ("^0.25 leakage constant") carries the oxygen balance's alpha, so that the data
    // file and the balance beside it agree.
    return {w.RtDoubleEditbs,
            w.RtDoubleEditM,
            w.RtDoubleEditb0,
            w.RtDoubleEditM0,
            w.RtDoubleEditd,
            w.RtDoubleEditmass0,
            w.RtDoubleEditVs,
            w.RtDoubleEditn0,
            w.RtDoubleEditnO0,
            w.RtDoubleEditmO0,
            w.RtDoubleEditmM,
            nullptr,
            w.RtDoubleEditSensorAx,
            w.RtDoubleEditSensorBx,
            w.RtDoubleEditVHPS,
            w.RtDoubleEditVhp,
            w.RtDoubleEditVgp,
            w.RtDoubleEditTl,
            w.RtDoubleEditPsO2,
            w.RtDoubleEditFGpO2,
            w.RtDoubleEditPIDP,
            w.RtDoubleEditPIDI,
            w.RtDoubleEditPIDD,
            w.RtDoubleEditRCDuration,
            w.RtDoubleEditRCThreshold,
            w.RtDoubleEditPumpCurrentLimit,
            w.RtDoubleEditPumpVoltageLimit,
            w.RtDoubleEditDataPointLength,
            w.RtDoubleEditFGpO2,
            w.RtDoubleEditLeakAlpha,
            w.RtDoubleEditCTO};
}

namespace
{

// However the disk misbehaves, closing the program never waits longer than this for a save.
constexpr int StopTimeoutMs = 5000;

std::optional<TSaveFailure> WriteFiles(const TSaveRequest& request, TSaveOutcome& outcome)
{
    const QDir userdata(QDir(request.ProgramFolder).filePath(QStringLiteral("Userdata")));
    QString error;
    const QString dayPath = EnsureDayFolder(userdata, request.Today, &error);
    if (dayPath.isEmpty())
        return TSaveFailure{userdata.filePath(DayFolderName(request.Today)), error};
    const QDir day(dayPath);
    TNewFile csv(dayPath);
    if (!csv.Open(error) || !WriteDataFile(csv, request.Content, error))
        return TSaveFailure{day.filePath(request.Stem), error};
    const QString counted = PublishAtFreeCounter(csv, day, request.Stem, error);
    if (counted.isEmpty()) return TSaveFailure{day.filePath(request.Stem), error};
    outcome.CsvPath = day.filePath(counted + QStringLiteral(".csv"));
    outcome.CountedStem = counted;
    outcome.Size = csv.Size();
    outcome.Checksum = csv.Checksum();
    outcome.RowsOffset = DataFileRowOffset(request.Content, FixedGridRows);
    // The balance files go with every data file that has a name, a lost picture or not.
    std::optional<TSaveFailure> failure;
    const QString pngPath = day.filePath(counted + QStringLiteral(".png"));
    if (!WritePng(pngPath, request.Picture, error)) failure = TSaveFailure{pngPath, error};
    if (request.Oxygen && !WriteOxygenFiles(outcome.CsvPath, *request.Oxygen, error) && !failure)
        failure =
            TSaveFailure{day.filePath(OxygenFileName(counted + QStringLiteral(".csv"))), error};
    if (!request.StepLines.isEmpty() &&
        !WriteStepsBeside(outcome.CsvPath, request.StepLines, error) && !failure)
        failure = TSaveFailure{StepsFileBeside(outcome.CsvPath), error};
    if (request.Thermodynamics && !AllPoints(*request.Thermodynamics).empty() &&
        !WriteThermodynamicsFileBeside(outcome.CsvPath, request.Stem, *request.Thermodynamics,
                                       error) &&
        !failure)
        failure = TSaveFailure{day.filePath(ThermodynamicsFileName(request.Stem)), error};
    return failure;
}

} // namespace

TSaveOutcome WriteSave(const TSaveRequest& request)
{
    TSaveOutcome outcome;
    outcome.Rows = request.Content.RowCount;
    try {
        outcome.Failure = WriteFiles(request, outcome);
    } catch (const std::exception& e) {
        outcome.Failure = TSaveFailure{request.ProgramFolder, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        outcome.Failure = TSaveFailure{request.ProgramFolder, QStringLiteral("unexpected error")};
    }
    return outcome;
}

// Outcomes of saves that ended, waiting for the window's thread; shared with the save
// thread, which may outlive the saver on a hung disk.
struct TExperimentSaver::TFinished {
    std::mutex Mutex;
    std::vector<TSaveOutcome> Outcomes;
    TExperimentSaver* Saver = nullptr; // read and cleared on the window's thread only
};

TExperimentSaver::TExperimentSaver(TfrmOxtiva& window, QString programFolder)
    : fWindow(window), fProgramFolder(std::move(programFolder)),
      fFinished(std::make_shared<TFinished>()), fThread(std::make_unique<QThreadPool>())
{
    fFinished->Saver = this;
    fThread->setMaxThreadCount(1);
    fThread->setExpiryTimeout(-1);
    fLog.SetDestination(window.LogDestination());
}

TExperimentSaver::~TExperimentSaver()
{
    fFinished->Saver = nullptr;
    if (!fThread->waitForDone(StopTimeoutMs)) {
        fLog.Send(QStringLiteral("Closing while a save is still writing"));
        (void)fThread.release(); // its thread still runs the save; the pool must not wait
    }
}

TDataFileContent TExperimentSaver::Content() const
{
    TDataFileContent content;
    content.SampleName = fWindow.EditSampleName->text();
    content.SampleFormula = fWindow.EditSampleFormula->text();
    content.SavedAt = FormatDateTime(u"yyyy-mm-dd hh:mm", WallNow());
    const auto edits = DataFileVariableEdits(fWindow);
    for (int i = 0; i < DataFileVariableCount; ++i) {
        content.VariableValues[i] =
            i == SensorIdRow ? fWindow.EditSensorID->text() : FormatGeneral(edits[i]->value());
    }
    content.Notes = fWindow.MemoNotes->toPlainText();
    const TStringGrid* grid = fWindow.StringGridData;
    content.RowCount = grid->RowCount();
    content.ColumnCount = grid->ColCount();
    content.Cell = [grid](int col, int row) { return grid->Cell(col, row); };
    return content;
}

void TExperimentSaver::Save()
{
    fWindow.State().LastSaveTime = NowDays();
    auto request = std::make_shared<TSaveRequest>();
    request->ProgramFolder = fProgramFolder;
    request->Today = WallNow().date();
    request->Stem = SafeFileName(fWindow.EditSampleName->text());
    request->Content = Content();
    for (int i = 0; i < fWindow.ListBoxStepProgram->count(); ++i)
        request->StepLines << fWindow.ListBoxStepProgram->item(i)->text();
    request->Content.Cell = [grid = fWindow.StringGridData->Snapshot()](int col, int row) {
        return grid.Cell(col, row);
    };
    request->Picture = fWindow.RtGraph2D1->Picture();
    request->Oxygen = fWindow.OxygenContent().FileSnapshot();
    request->Thermodynamics = fWindow.TabSheetThermodynamics->Input();
    fThread->start([request, finished = fFinished] {
        TSaveOutcome outcome = WriteSave(*request);
        // Lets the grid's and the history's chunks go before the report.
        request->Content.Cell = nullptr;
        request->Oxygen.reset();
        {
            std::lock_guard lock(finished->Mutex);
            finished->Outcomes.push_back(std::move(outcome));
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [finished] {
                if (finished->Saver) finished->Saver->TakeFinished();
            },
            Qt::QueuedConnection);
    });
}

bool TExperimentSaver::WaitUntilSaved(int timeoutMs)
{
    const bool ended = fThread->waitForDone(timeoutMs);
    TakeFinished();
    return ended && fLastSaveSucceeded;
}

void TExperimentSaver::TakeFinished()
{
    std::vector<TSaveOutcome> outcomes;
    {
        std::lock_guard lock(fFinished->Mutex);
        outcomes.swap(fFinished->Outcomes);
    }
    for (const TSaveOutcome& outcome : outcomes) {
        Report(outcome);
        for (const auto& listener : fSaveEndedListeners) listener(fLastSaveSucceeded);
    }
}

// The journal may start afresh only from a data file on the disk.
void TExperimentSaver::Report(const TSaveOutcome& outcome)
{
    if (!outcome.CsvPath.isEmpty()) {
        fLastSavedPath = outcome.CsvPath;
        fWindow.Journal().NoteSaved(
            {outcome.Rows, outcome.CsvPath, outcome.Size, outcome.Checksum, outcome.RowsOffset});
    }
    fLastSaveSucceeded = !outcome.Failure;
    if (outcome.Failure) ReportFailure(*outcome.Failure);
}

void TExperimentSaver::ReportFailure(const TSaveFailure& failure)
{
    fWindow.Caption().SetNotice(TCaptionNotice::SaveFailed,
                                SaveFailedCaption + QStringLiteral(": ") + failure.Cause);
    fLog.Send(QStringLiteral("Save failed: ") + QDir::toNativeSeparators(failure.Path) +
              QStringLiteral(": ") + failure.Cause);
}

} // namespace oxtiva
