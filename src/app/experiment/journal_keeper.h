#pragma once

#include "records/journal_format.h"
#include "records/journal_writer.h"
#include "records/logging.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>


namespace oxtiva
{

class TfrmOxtiva;
class TStringGrid;

// Keeps this session's grid on the disk between saves: from the run's first row on, every
// row goes into a journal in the Userdata folder as it enters the grid, with the sample's
// head and the saves made, so that the next start can write a crash's unsaved rows into a
// data file. Once a save is on the disk the journal goes on in a new segment that holds
// the rows after it, so its size follows the rows since the last save, not the run. The
// disk work runs on the journal's own thread; a write that fails shows in the caption, and
// the experiment goes on.
class TJournalKeeper
{
  public:
    explicit TJournalKeeper(TfrmOxtiva& window);
    // The journal stays, with whatever rows it holds, for the next start to offer.
    ~TJournalKeeper();

    // Hands the rows the grid gained (and a changed head) to the journal; after every
    // control-cycle pass and every state row, so each is on the disk before the next pass.
    void Sync();
    // A save wrote the first saved.Rows grid rows into saved.Path, now on the disk.
    void NoteSaved(const TSavedFile& saved);
    // The operator confirmed closing: a journal whose rows are all in saved files goes, one
    // with unsaved rows stays for the next start.
    void CloseSession();

    // Grid rows of this run not yet in a saved file.
    int UnsavedRows() const;

    // Empty until the run's first row.
    QString Path() const;
    // Waits until everything handed over is on the disk.
    bool WaitUntilWritten(int timeoutMs);

  private:
    void Start();
    void ShowWriterState(const TJournalWriter::TStatus& status);
    void StartAgainAfterLoss();
    void WatchHeadEdits();
    void WatchStepList();
    QStringList StepLines() const;
    QByteArray NewRecords(int gridRows);
    void AppendRows(QByteArray& out, int firstRow, int endRow) const;
    void StartSegment(int gridRows, const TJournalWriter::TStatus& status);

    TfrmOxtiva& fWindow;
    std::unique_ptr<TJournalWriter> fWriter;
    int fQueuedRows = 0;
    std::optional<TJournalHead> fQueuedHead;
    // Reading the head formats 31 numbers; it is read again only after one of its edits
    // changed or a save, not on every pass.
    bool fHeadMayHaveChanged = true;
    QObject fHeadEditWatch;
    std::optional<QStringList> fQueuedSteps;
    bool fStepsMayHaveChanged = true;
    TSavedFile fSaved;
    bool fSavedQueued = true;
    bool fSegmentWanted = false; // a save is on the disk that no segment starts from yet
    QString fShownProblem;
    bool fClosed = false;
    TLogger fLog{QStringLiteral("Journal"), true};
};

// A data point's row, as opposed to the caption row, the empty row and state rows.
bool IsDataPointRow(const TStringGrid& grid, int row);

// The caption while the journal cannot be written.
QString JournalFailedCaption(const QString& cause);

} // namespace oxtiva
