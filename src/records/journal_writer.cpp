#include "records/journal_writer.h"

#include "records/durable_append_file.h"
#include "records/whole_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace oxtiva
{

namespace
{
using Clock = std::chrono::steady_clock;

// However the disk misbehaves, closing the program never waits longer than this for it.
constexpr auto StopTimeout = std::chrono::seconds(5);

// A full or failing disk is tried again after a pause that doubles up to a limit, so a
// week without space costs a write every half minute, not one every pass.
constexpr auto FirstRetryDelay = std::chrono::milliseconds(500);
constexpr auto LongestRetryDelay = std::chrono::seconds(30);

// The path itself, or with "_2", "_3" before its suffix, whichever names no file yet.
QString FreePath(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString free = path;
    for (int n = 2; QFileInfo::exists(free) || QFileInfo(free).isSymLink(); ++n)
        free = info.dir().filePath(info.completeBaseName() + QStringLiteral("_%1").arg(n) +
                                   suffix);
    return free;
}

std::unique_ptr<QLockFile> LockOf(const QString& path)
{
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->tryLock(0);
    return lock;
}
} // namespace

// Shared with the thread, which keeps it alive if the disk holds the thread beyond the
// writer's own life.
struct TJournalWriter::TShared {
    explicit TShared(const QString& path)
        : Path(path), File(std::make_unique<TDurableAppendFile>(path))
    {
    }

    std::mutex Mutex;
    std::condition_variable Wake;    // work queued, a retry, or the stop
    std::condition_variable Settled; // a write ended, or the thread did

    QString Path;
    QByteArray Queue; // for the file at Path
    int QueuedRows = 0;
    int DurableRows = 0;
    // A new segment: its path and what is queued for it, written once Queue is empty.
    std::optional<QString> NextPath;
    QByteArray NextQueue;
    int NextQueuedRows = 0;
    qsizetype NextFirstBytes = 0; // the segment's own records, before the rows appended later
    QString NextSavedFile;        // that must be there at NextSavedFileSize for the cut
    qint64 NextSavedFileSize = -1;
    QString Error;
    bool DiskFull = false;
    bool Vanished = false;
    bool RetryNow = false;
    Clock::duration RetryDelay{};
    Clock::time_point NextTry;
    bool Stopping = false;
    bool Stopped = false;
    std::optional<Clock::time_point> BusySince;

    // The thread's alone while it runs.
    std::unique_ptr<TDurableAppendFile> File;
    std::unique_ptr<TDurableAppendFile> NextFile;
    std::unique_ptr<QLockFile> Lock;     // of File, taken before its first write
    std::unique_ptr<QLockFile> NextLock; // of NextFile
    // Left by Restart for the thread to do.
    std::vector<QString> FilesToRemove;
    std::vector<std::unique_ptr<QLockFile>> LocksToRelease;

    bool HasWork() const { return (!Queue.isEmpty() || NextPath) && !Vanished; }
    bool AllWritten() const { return Queue.isEmpty() && !NextPath; }

    bool ReadyToWrite() const
    {
        return HasWork() && (Error.isEmpty() || RetryNow || Clock::now() >= NextTry);
    }

    void WriteQueued(std::unique_lock<std::mutex>& lock)
    {
        const bool toNext = Queue.isEmpty();
        if (toNext && !NextFile && !PrepareSegment(lock)) return;
        if (!toNext && !Lock) PrepareFile(lock);
        const QByteArray bytes = toNext ? NextQueue : Queue;
        const int rows = toNext ? NextQueuedRows : QueuedRows;
        TDurableAppendFile& file = toNext ? *NextFile : *File;
        RetryNow = false;
        BusySince = Clock::now();
        lock.unlock();
        const bool vanished = !toNext && file.Vanished();
        QString error;
        const bool written = !vanished && file.Append(bytes, error);
        if (vanished) {
            file.Restart();
            Lock.reset(); // it went with the file; taken again with the next write
        }
        if (written && toNext) RemoveOldSegment();
        lock.lock();
        BusySince.reset();
        if (vanished) {
            Vanished = true;
            Queue.clear();
            DurableRows = 0;
        } else if (written) {
            if (toNext) {
                TakeNewSegment(bytes.size());
            } else {
                Queue.remove(0, bytes.size());
            }
            DurableRows = rows;
            Error.clear();
            DiskFull = false;
            RetryDelay = {};
        } else {
            Error = error.isEmpty() ? QStringLiteral("unknown cause") : error;
            DiskFull = file.DiskFull();
            RetryDelay =
                std::clamp<Clock::duration>(2 * RetryDelay, FirstRetryDelay, LongestRetryDelay);
            NextTry = Clock::now() + RetryDelay;
        }
        Settled.notify_all();
    }

    // Before the first write to the file at Path: a free name and the lock of that name.
    // Only this thread touches File and Lock; the name is published under the mutex.
    void PrepareFile(std::unique_lock<std::mutex>& lock)
    {
        const QString path = File->Path();
        const bool written = File->DurableLength() > 0; // written again after the folder went
        lock.unlock();
        const QString free = written ? path : FreePath(path);
        auto fileLock = LockOf(free);
        lock.lock();
        Lock = std::move(fileLock);
        if (free == path) return;
        File = std::make_unique<TDurableAppendFile>(free);
        Path = free;
    }

    // Before the cut: the saved file it starts from is still there, then the new file's
    // free name and its lock. False when the segment was dropped.
    bool PrepareSegment(std::unique_lock<std::mutex>& lock)
    {
        const QString path = *NextPath;
        const QString savedFile = NextSavedFile;
        const qint64 savedSize = NextSavedFileSize;
        lock.unlock();
        const bool savedThere =
            savedFile.isEmpty() || (QFileInfo(savedFile).isFile() && QFileInfo(savedFile).size() == savedSize);
        QString free;
        std::unique_ptr<QLockFile> nextLock;
        if (savedThere) {
            free = FreePath(path);
            nextLock = LockOf(free);
        }
        lock.lock();
        if (!NextPath) return false; // forgotten meanwhile
        if (!savedThere) {
            DropSegment();
            return false;
        }
        NextPath = free;
        NextLock = std::move(nextLock);
        NextFile = std::make_unique<TDurableAppendFile>(free);
        return true;
    }

    // The rows appended since the segment was asked for go on in the current file, which
    // holds every row before them.
    void DropSegment()
    {
        Queue.append(QByteArrayView(NextQueue).sliced(std::min(NextFirstBytes, NextQueue.size())));
        QueuedRows = NextQueuedRows;
        NextPath.reset();
        NextQueue.clear();
        Settled.notify_all();
    }

    // The new segment is on the disk: the old one holds nothing it lacks. A removal the
    // power cut undoes leaves a journal whose rows are saved or in the new one too.
    void RemoveOldSegment()
    {
        File->Close();
        QFile::remove(Path);
        QString ignored;
        SyncFolder(QFileInfo(Path).absolutePath(), ignored);
        Lock.reset();
    }

    void TakeNewSegment(qsizetype writtenBytes)
    {
        NextQueue.remove(0, writtenBytes);
        Queue = std::move(NextQueue);
        NextQueue.clear();
        QueuedRows = NextQueuedRows;
        Path = *NextPath;
        NextPath.reset();
        File = std::move(NextFile);
        Lock = std::move(NextLock);
    }

    // Only while the thread writes nothing (after Vanished).
    // Its file and lock go on the thread, at its next turn: the caller is the window's.
    void ForgetNewSegment()
    {
        if (NextPath && NextFile) FilesToRemove.push_back(*NextPath);
        if (NextLock) LocksToRelease.push_back(std::move(NextLock));
        NextPath.reset();
        NextQueue.clear();
        NextFile.reset();
    }

    void DoChores(std::unique_lock<std::mutex>& lock)
    {
        std::vector<QString> files;
        std::vector<std::unique_ptr<QLockFile>> locks;
        files.swap(FilesToRemove);
        locks.swap(LocksToRelease);
        lock.unlock();
        for (const QString& file : files)
            QFile::remove(file);
        locks.clear();
        lock.lock();
    }

    void Run()
    {
        std::unique_lock lock(Mutex);
        while (true) {
            if (!FilesToRemove.empty() || !LocksToRelease.empty()) {
                DoChores(lock);
                continue;
            }
            if (ReadyToWrite()) {
                WriteQueued(lock);
                continue;
            }
            if (Stopping) break; // with nothing it can still write
            if (HasWork())
                Wake.wait_until(lock, NextTry); // a failed write, retried when its pause ends
            else
                Wake.wait(lock);
        }
        Stopped = true;
        Settled.notify_all();
    }
};

TJournalWriter::TJournalWriter(const QString& path) : fShared(std::make_shared<TShared>(path))
{
    fThread = std::thread([shared = fShared] { shared->Run(); });
}

TJournalWriter::~TJournalWriter()
{
    Stop();
}

void TJournalWriter::Stop()
{
    if (!fThread.joinable()) return;
    std::unique_lock lock(fShared->Mutex);
    fShared->Stopping = true;
    fShared->RetryNow = true; // one last try at a failed write
    fShared->Wake.notify_all();
    const bool stopped =
        fShared->Settled.wait_for(lock, StopTimeout, [this] { return fShared->Stopped; });
    lock.unlock();
    if (stopped)
        fThread.join();
    else
        fThread.detach(); // a hung disk; the thread owns what it still uses
}

QString TJournalWriter::Path() const
{
    std::lock_guard lock(fShared->Mutex);
    return fShared->Path;
}

void TJournalWriter::Append(const QByteArray& records, int gridRows)
{
    std::lock_guard lock(fShared->Mutex);
    if (fShared->Vanished) return; // everything is queued anew after Restart
    if (fShared->NextPath) {
        fShared->NextQueue.append(records);
        fShared->NextQueuedRows = gridRows;
    } else {
        fShared->Queue.append(records);
        fShared->QueuedRows = gridRows;
    }
    fShared->Wake.notify_one(); // after a failure, it waits for its pause all the same
}

void TJournalWriter::StartSegment(const QString& path, const QByteArray& records, int gridRows,
                                  const QString& savedFile, qint64 savedFileSize)
{
    std::lock_guard lock(fShared->Mutex);
    if (fShared->Vanished || fShared->NextPath) return;
    fShared->NextPath = path;
    fShared->NextQueue = records;
    fShared->NextQueuedRows = gridRows;
    fShared->NextFirstBytes = records.size();
    fShared->NextSavedFile = savedFile;
    fShared->NextSavedFileSize = savedFileSize;
    fShared->Wake.notify_one();
}

void TJournalWriter::Retry()
{
    std::lock_guard lock(fShared->Mutex);
    fShared->RetryNow = true;
    fShared->Wake.notify_one();
}

TJournalWriter::TStatus TJournalWriter::Status() const
{
    std::lock_guard lock(fShared->Mutex);
    TStatus status;
    status.DurableRows = fShared->DurableRows;
    status.Error = fShared->Error;
    status.DiskFull = fShared->DiskFull;
    status.QueuedBytes = fShared->Queue.size() + fShared->NextQueue.size();
    status.Cutting = fShared->NextPath.has_value();
    status.Vanished = fShared->Vanished;
    if (fShared->BusySince) {
        status.BusyMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                              *fShared->BusySince)
                            .count();
    }
    return status;
}

bool TJournalWriter::WaitUntilWritten(int timeoutMs)
{
    std::unique_lock lock(fShared->Mutex);
    fShared->RetryNow = true;
    fShared->Wake.notify_one();
    const auto settled = [this] {
        return fShared->AllWritten() || fShared->Vanished ||
               (!fShared->Error.isEmpty() && !fShared->RetryNow && !fShared->BusySince);
    };
    fShared->Settled.wait_for(lock, std::chrono::milliseconds(timeoutMs), settled);
    return fShared->AllWritten() && !fShared->Vanished;
}

void TJournalWriter::Restart()
{
    std::lock_guard lock(fShared->Mutex);
    fShared->Vanished = false;
    fShared->ForgetNewSegment();
    fShared->Queue.clear();
    fShared->QueuedRows = 0;
    fShared->DurableRows = 0;
    fShared->Wake.notify_one(); // for what ForgetNewSegment left to do
}

bool TJournalWriter::StopAndRemove(QString& errorText)
{
    Stop();
    std::lock_guard lock(fShared->Mutex);
    // Windows removes no file that is still open; once the thread has ended, its files are
    // ours to close.
    if (fShared->Stopped) {
        fShared->File->Close();
        if (fShared->NextFile) fShared->NextFile->Close();
    }
    // The thread may still hold the new segment's file on a hung disk: only its name goes.
    if (fShared->NextPath) QFile::remove(*fShared->NextPath);
    QFile file(fShared->Path);
    const bool removed = !file.exists() || file.remove();
    if (fShared->Stopped) {
        fShared->Lock.reset();
        fShared->NextLock.reset();
    }
    if (removed) return true;
    errorText = file.errorString();
    return false;
}

} // namespace oxtiva
