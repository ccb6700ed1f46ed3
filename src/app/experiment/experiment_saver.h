#pragma once

#include "app/pages/oxygen_content.h"
#include "records/data_file.h"
#include "records/logging.h"
#include "science/thermodynamics_file.h"

#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThreadPool;

namespace oxtiva
{

class TfrmOxtiva;
class TRtDoubleEdit;

// Why a save failed: the folder or file it could not write, and the system's reason.
struct TSaveFailure {
    QString Path;
    QString Cause;
};

// Everything a save writes, taken from the window at one moment: the rows and the balance's
// points are snapshots that share the grid's and the history's chunks, so taking them costs
// no copy of a month's rows.
struct TSaveRequest {
    QString ProgramFolder;
    QDate Today;
    QString Stem; // the sample name as a file name
    TDataFileContent Content;
    QImage Picture;
    std::optional<TOxygenFileSnapshot> Oxygen; // the balance files beside the data file
    QStringList StepLines; // the step program, in a ".steps" file beside the data file
    // "<sample>_thermodynamics.csv" beside it, when there are isotherm points to fit.
    std::optional<TThermodynamicsInput> Thermodynamics;
};

// What a save wrote.
struct TSaveOutcome {
    std::optional<TSaveFailure> Failure;
    QString CsvPath; // empty when no data file was written
    QString CountedStem;
    int Rows = 0;
    qint64 Size = 0;
    quint32 Checksum = 0;
    qint64 RowsOffset = -1; // where the run's own rows start in the data file
};

// The edit behind each VARIABLES row of the data file, in file order; none for the sensor ID,
// whose row takes the edit's text.
std::array<TRtDoubleEdit*, DataFileVariableCount> DataFileVariableEdits(const TfrmOxtiva& w);

// Writes the data file, the picture and the balance files of one request; runs on any thread.
TSaveOutcome WriteSave(const TSaveRequest& request);

// Save: writes the experiment as "<sample>_<nnnn>.csv" with a picture of the graph
// "<sample>_<nnnn>.png" into the day folder "Userdata/yyyy-mm-dd" of the program folder,
// never overwriting an earlier snapshot.
//
// It runs inside the control cycle of an experiment that may last weeks: the window takes a
// snapshot and a thread of the saver's own writes it, one save after the other, so neither
// the window nor the instrument hand-overs wait for the disk. No failure may escape into
// the event loop: a save that fails puts a message in the window caption and the
// experiment goes on.
class TExperimentSaver
{
  public:
    TExperimentSaver(TfrmOxtiva& window, QString programFolder);
    // Waits a few seconds for a save under way; a hung disk keeps its thread.
    ~TExperimentSaver();

    // Starts a save of what the window shows now. LastSaveTime is set at once and whatever
    // comes of it, so a failing disk is retried by the autosave rule only after its
    // interval, not on every pass.
    void Save();
    // "Manual save" on the Debug tab.
    void ButtonSaveTestClick() { Save(); }

    // Waits until every save started has ended and its outcome is reported; false when
    // the time ran out or the last save failed.
    bool WaitUntilSaved(int timeoutMs = 60000);
    // Called on the window's thread after each save has ended and been reported, with
    // whether it wrote every file; several parts of the window may listen.
    void AddSaveEndedListener(std::function<void(bool saved)> listener)
    {
        fSaveEndedListeners.push_back(std::move(listener));
    }

    const QString& ProgramFolder() const { return fProgramFolder; }
    void SetProgramFolder(const QString& folder) { fProgramFolder = folder; }
    // The ".csv" file of the last successful save, empty before one.
    const QString& LastSavedPath() const { return fLastSavedPath; }
    // What a save would write now; the journal records its head lines from here.
    TDataFileContent Content() const;

  private:
    struct TFinished;
    void TakeFinished();
    void Report(const TSaveOutcome& outcome);
    void ReportFailure(const TSaveFailure& failure);

    TfrmOxtiva& fWindow;
    QString fProgramFolder;
    QString fLastSavedPath;
    bool fLastSaveSucceeded = true;
    std::vector<std::function<void(bool saved)>> fSaveEndedListeners;
    std::shared_ptr<TFinished> fFinished;
    std::unique_ptr<QThreadPool> fThread;       // one thread: saves never overlap
    TLogger fLog{QStringLiteral("Form"), true}; // failures, on the window's log destination
};

inline const QString SaveFailedCaption = QStringLiteral(
    "Autosave has failed, Check available space etc. and save data manually before closing "
    "the program");

} // namespace oxtiva
