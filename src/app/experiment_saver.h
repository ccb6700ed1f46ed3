#pragma once

#include "records/data_file.h"
#include "records/logging.h"

#include <QString>

#include <optional>

namespace oxtiva
{

class TfrmOxtiva;

// Save: writes the experiment as "<sample>_<nnnn>.csv" with a picture of the graph
// "<sample>_<nnnn>.png" into the day folder "Userdata/yyyy-mm-dd" of the program folder,
// never overwriting an earlier snapshot.
//
// It runs inside the control cycle of an experiment that may last weeks, so no failure
// may escape into the event loop: a save that fails puts a message in the window caption
// and the experiment goes on.
class TExperimentSaver
{
  public:
    TExperimentSaver(TfrmOxtiva& window, QString programFolder);

    // True when both files were written; LastSaveTime is set either way, so a failing
    // disk is retried by the autosave rule only after its interval, not on every pass.
    bool Save();
    // "Manual save" on the Debug tab.
    void ButtonSaveTestClick() { Save(); }

    const QString& ProgramFolder() const { return fProgramFolder; }
    void SetProgramFolder(const QString& folder) { fProgramFolder = folder; }
    // The ".csv" file of the last successful save, empty before one.
    const QString& LastSavedPath() const { return fLastSavedPath; }
    // What a save would write now; the journal records its head lines from here.
    TDataFileContent Content() const;

  private:
    // Why a save failed: the folder or file it could not write, and the system's reason.
    struct TFailure {
        QString Path;
        QString Cause;
    };

    std::optional<TFailure> WriteFiles();
    void ReportFailure(const TFailure& failure);

    TfrmOxtiva& fWindow;
    QString fProgramFolder;
    QString fLastSavedPath;
    TLogger fLog{QStringLiteral("Form"), true}; // failures, on the window's log destination
};

inline const QString SaveFailedCaption = QStringLiteral(
    "Autosave has failed, Check available space etc. and save data manually before closing "
    "the program");

} // namespace oxtiva
