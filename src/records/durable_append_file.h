#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace oxtiva
{

// A file that grows only by appends, each on the disk (written and flushed with
// fdatasync / FlushFileBuffers) before Append reports it. A failed append counts for
// nothing yet, but the bytes the file took stay: the next append writes only what it did
// not take, so a full disk costs each retry the new bytes, never the whole backlog again,
// and bytes already on the disk are never written twice.
class TDurableAppendFile
{
  public:
    explicit TDurableAppendFile(QString path);

    const QString& Path() const { return fPath; }
    qint64 DurableLength() const { return fDurableLength; }

    // Creates the file (and its folder) on first use. False with the cause in errorText.
    // After a failure, bytes must begin with what the failed append was given.
    bool Append(const QByteArray& bytes, QString& errorText);
    // The last failure was a full disk (or a file grown to its size limit).
    bool DiskFull() const { return fDiskFull; }

    // Bytes were written, yet nothing is at the path any more: the file or its folder was
    // removed, and whatever the open handle still writes reaches nobody.
    bool Vanished() const;
    // Forgets what was written; the next append starts a new file at the path.
    void Restart();
    void Close() { fFile.close(); }

  private:
    bool Open(QString& errorText);
    bool WriteNotTaken(const QByteArray& bytes, QString& errorText);

    QString fPath;
    QFile fFile;
    qint64 fDurableLength = 0;
    qint64 fTakenLength = 0; // bytes in the file, durable or not
    bool fDiskFull = false;
};

} // namespace oxtiva
