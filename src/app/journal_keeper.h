#pragma once

#include "records/journal_format.h"
#include "records/journal_writer.h"
#include "records/logging.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QLockFile;

namespace oxtiva
{

class TfrmOxtiva;
class TStringGrid;

// Keeps this session's grid on the disk between saves: from the run's first row on, every
// row goes into a journal in the Userdata folder as it enters the grid, with the sample's
// head and the saves made, so that the next start can write a crash's unsaved rows into a
// data file. The disk work runs on the journal's own thread; a write that fails shows in
// the caption, and the experiment goes on.
class TJournalKeeper
{
  public:
    explicit TJournalKeeper(TfrmOxtiva& window);
    // The journal stays, with whatever rows it holds, for the next start to offer.
    ~TJournalKeeper();

    // Hands the rows the grid gained (and a changed head) to the journal; after every
    // control-cycle pass and every state row, so each is on the disk before the next pass.
    void Sync();
    // A save wrote the first gridRows rows into dataFile, of that size and checksum.
    void NoteSaved(int gridRows, const QString& dataFile, qint64 fileSize = -1,
                   quint32 fileChecksum = 0);
    // The operator confirmed closing: a journal whose rows are all in saved files goes, one
    // with unsaved rows stays for the next start.
    void CloseSession();

    // Empty until the run's first row.
    QString Path() const;
    // Waits until everything handed over is on the disk.
    bool WaitUntilWritten(int timeoutMs);

  private:
    void Start();
    void TakeLock(const QString& journalPath);
    void ShowWriterState(const TJournalWriter::TStatus& status);
    void StartAgainAfterLoss();
    void WatchHeadEdits();
    QByteArray NewRecords(int gridRows);
    void AppendRows(QByteArray& out, int gridRows) const;

    TfrmOxtiva& fWindow;
    std::unique_ptr<QLockFile> fLock; // released after the writer has stopped
    std::unique_ptr<TJournalWriter> fWriter;
    int fQueuedRows = 0;
    std::optional<TJournalHead> fQueuedHead;
    // Reading the head formats 31 numbers; it is read again only after one of its edits
    // changed or a save, not on every pass.
    bool fHeadMayHaveChanged = true;
    QObject fHeadEditWatch;
    int fSavedRows = 0;
    QString fSavedFile;
    qint64 fSavedFileSize = -1;
    quint32 fSavedFileChecksum = 0;
    bool fSavedQueued = true;
    QString fShownProblem;
    bool fClosed = false;
    TLogger fLog{QStringLiteral("Journal"), true};
};

// A data point's row, as opposed to the caption row, the empty row and state rows.
bool IsDataPointRow(const TStringGrid& grid, int row);

// The caption while the journal cannot be written.
QString JournalFailedCaption(const QString& cause);

} // namespace oxtiva
