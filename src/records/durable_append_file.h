#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace oxtiva
{

// A file that grows only by appends, each on the disk (written and flushed with
// fdatasync / FlushFileBuffers) before Append reports it. A failed append counts for
// nothing: the next one starts again at the end of the last good one, so bytes a full
// disk let through halfway are overwritten, never left in the middle of the file.
class TDurableAppendFile
{
  public:
    explicit TDurableAppendFile(QString path);

    const QString& Path() const { return fPath; }
    qint64 DurableLength() const { return fDurableLength; }

    // Creates the file (and its folder) on first use. False with the cause in errorText.
    bool Append(const QByteArray& bytes, QString& errorText);

    // Bytes were written, yet nothing is at the path any more: the file or its folder was
    // removed, and whatever the open handle still writes reaches nobody.
    bool Vanished() const;
    // Forgets what was written; the next append starts a new file at the path.
    void Restart();
    void Close() { fFile.close(); }

  private:
    bool Open(QString& errorText);
    bool WriteAtDurableEnd(const QByteArray& bytes, QString& errorText);
    bool SyncData(QString& errorText);

    QString fPath;
    QFile fFile;
    qint64 fDurableLength = 0;
};

} // namespace oxtiva
