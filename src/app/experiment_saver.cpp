#include "app/experiment_saver.h"

#include "app/data_grid.h"
#include "app/experiment_graph.h"
#include "app/journal_keeper.h"
#include "app/main_window.h"
#include "app/numeric_edits.h"
#include "app/oxygen_content.h"
#include "app/window_caption.h"
#include "records/date_time.h"
#include "records/day_folder.h"
#include "records/number_format.h"
#include "records/safe_file_name.h"
#include "science/oxygen_file.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <exception>

namespace oxtiva
{

namespace
{

// The VARIABLES rows in file order; the sensor ID row takes the edit's text instead.
constexpr int SensorIdRow = 11;

std::array<TRtDoubleEdit*, DataFileVariableCount> VariableEdits(const TfrmOxtiva& w)
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

} // namespace

TExperimentSaver::TExperimentSaver(TfrmOxtiva& window, QString programFolder)
    : fWindow(window), fProgramFolder(std::move(programFolder))
{
    fLog.SetDestination(window.LogDestination());
}

TDataFileContent TExperimentSaver::Content() const
{
    TDataFileContent content;
    content.SampleName = fWindow.EditSampleName->text();
    content.SampleFormula = fWindow.EditSampleFormula->text();
    content.SavedAt = FormatDateTime(u"yyyy-mm-dd hh:mm", ToLocalDateTime(NowDays()));
    const auto edits = VariableEdits(fWindow);
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

std::optional<TExperimentSaver::TFailure> TExperimentSaver::WriteFiles()
{
    const QDir userdata(QDir(fProgramFolder).filePath(QStringLiteral("Userdata")));
    const QDate today = ToLocalDateTime(NowDays()).date();
    QString error;
    const QString dayPath = EnsureDayFolder(userdata, today, &error);
    if (dayPath.isEmpty()) return TFailure{userdata.filePath(DayFolderName(today)), error};
    const QDir day(dayPath);
    const QString stem = SafeFileName(fWindow.EditSampleName->text());
    const QString counted = CountedStem(stem, FirstFreeCounter(day, stem));
    const QString csvPath = day.filePath(counted + QStringLiteral(".csv"));
    if (!WriteDataFile(csvPath, Content(), error)) return TFailure{csvPath, error};
    fLastSavedPath = csvPath;
    fWindow.Journal().NoteSaved(fWindow.StringGridData->RowCount(), csvPath);
    // The balance file and the picture are written even when the other fails; the first
    // failure is the one reported.
    std::optional<TFailure> failure;
    const QString oxygenPath = day.filePath(OxygenFileName(counted + QStringLiteral(".csv")));
    if (!fWindow.OxygenContent().WriteFile(csvPath, error)) failure = TFailure{oxygenPath, error};
    const QString pngPath = day.filePath(counted + QStringLiteral(".png"));
    if (!fWindow.RtGraph2D1->ExportPng(pngPath, error) && !failure)
        failure = TFailure{pngPath, error};
    return failure;
}

void TExperimentSaver::ReportFailure(const TFailure& failure)
{
    fWindow.Caption().SetNotice(TCaptionNotice::SaveFailed,
                                SaveFailedCaption + QStringLiteral(": ") + failure.Cause);
    fLog.Send(QStringLiteral("Save failed: ") + QDir::toNativeSeparators(failure.Path) +
              QStringLiteral(": ") + failure.Cause);
}

bool TExperimentSaver::Save()
{
    std::optional<TFailure> failure;
    try {
        failure = WriteFiles();
    } catch (const std::exception& e) {
        failure = TFailure{fProgramFolder, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        failure = TFailure{fProgramFolder, QStringLiteral("unexpected error")};
    }
    if (failure) ReportFailure(*failure);
    fWindow.State().LastSaveTime = NowDays();
    return !failure;
}

} // namespace oxtiva
