#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <thread>

namespace oxtiva
{

// Appends a journal's records on a thread of its own, so the control cycle never waits for
// the disk: a flush takes a fraction of a millisecond on a good day, and seconds or
// forever on a busy, full, vanished or stalled shared disk. Every call on the file system
// is made there: the name of each file is made free there (a file found at the name given
// is never written over; the name gets "_2", "_3" before its suffix), and there each file
// gets its lock, "<file>.lock", which tells another copy of the program that the journal
// is being written and is not one a crash left behind. Records are written in the order they are
// queued; a failed write keeps them queued and is tried again after a pause that grows
// with each failure (or at once on Retry), so none is lost or written twice.
class TJournalWriter
{
  public:
    explicit TJournalWriter(const QString& path);
    // Tries once more to write what is still queued, waiting at most a few seconds.
    ~TJournalWriter();
    TJournalWriter(const TJournalWriter&) = delete;
    TJournalWriter& operator=(const TJournalWriter&) = delete;

    // The file written now; a new segment's once it is on the disk.
    QString Path() const;

    // Queues records that take the journal to gridRows grid rows.
    void Append(const QByteArray& records, int gridRows);
    // Goes on in a new file at path that starts with records (a whole new segment) and
    // takes what is appended from now on. Whatever is queued for the current file is
    // written first; the current file is removed only once the new one is on the disk, so a
    // crash at any moment leaves every row in one file or the other. Ignored while an
    // earlier new segment is not yet on the disk (Status().Cutting). A segment that starts
    // from a saved file is dropped when that file is not there at its size when the cut is
    // due: the rows appended after it go on in the current file.
    void StartSegment(const QString& path, const QByteArray& records, int gridRows,
                      const QString& savedFile = {}, qint64 savedFileSize = -1);
    // After a failed write: try the queued records again now, not after the pause.
    void Retry();

    struct TStatus {
        int DurableRows = 0;   // grid rows on the disk
        QString Error;         // cause of the last failed write; empty once one succeeds
        bool DiskFull = false; // that cause was a full disk
        qint64 QueuedBytes = 0;
        bool Vanished = false; // the file disappeared: queue everything anew after Restart
        qint64 BusyMs = 0;     // how long the write under way has lasted, 0 when idle
        bool Cutting = false;  // a new segment is not yet on the disk
    };
    TStatus Status() const;

    // Waits until everything queued is on the disk; false when a write failed or the time
    // ran out first.
    bool WaitUntilWritten(int timeoutMs);

    // After Vanished: forgets what was written and queued (a new segment too); the next
    // Append starts anew at Path.
    void Restart();

    // Stops writing (waiting at most a few seconds) and removes the file, and a new
    // segment's.
    bool StopAndRemove(QString& errorText);

  private:
    struct TShared;
    void Stop();

    std::shared_ptr<TShared> fShared;
    std::thread fThread;
};

} // namespace oxtiva
