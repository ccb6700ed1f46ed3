#include "records/durable_append_file.h"

#include "records/whole_file.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace oxtiva
{

namespace
{

bool IsDiskFull(int error)
{
#ifdef EDQUOT
    if (error == EDQUOT) return true;
#endif
    return error == ENOSPC || error == EFBIG;
}

} // namespace

TDurableAppendFile::TDurableAppendFile(QString path) : fPath(std::move(path)) {}

bool TDurableAppendFile::Append(const QByteArray& bytes, QString& errorText)
{
    fDiskFull = false;
    if (!fFile.isOpen() && !Open(errorText)) return false;
    const bool taken = WriteNotTaken(bytes, errorText);
    if (!taken || !SyncFileData(int(fFile.handle()), errorText)) {
        // After a failed flush the system may have dropped the pages it could not write
        // while still showing them: only then is the rest written again.
        if (taken) fTakenLength = fDurableLength;
        // Reopened on the next try, which also finds a folder that came back.
        fFile.close();
        return false;
    }
    fDurableLength += bytes.size();
    fTakenLength = fDurableLength;
    return true;
}

bool TDurableAppendFile::Open(QString& errorText)
{
    const QString folder = QFileInfo(fPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        errorText =
            QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    const bool created = !QFileInfo::exists(fPath);
    fFile.setFileName(fPath);
    if (!fFile.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        errorText = fFile.errorString();
        return false;
    }
    // Bytes past what this writer knows of (a write cut by the reopen) are not ours.
    if (fFile.size() > fTakenLength && !fFile.resize(fTakenLength)) {
        errorText = fFile.errorString();
        fFile.close();
        return false;
    }
    // A file shorter than what it took for good is another one: writing on would leave a
    // hole where the journal's beginning was.
    if (fFile.size() < fDurableLength) {
        errorText = QStringLiteral("the journal file is shorter than what was written to it");
        fFile.close();
        return false;
    }
    fTakenLength = std::min(fTakenLength, fFile.size());
    if (!created || SyncFolder(folder, errorText)) return true;
    fFile.close();
    return false;
}

bool TDurableAppendFile::WriteNotTaken(const QByteArray& bytes, QString& errorText)
{
    const qint64 end = fDurableLength + bytes.size();
    if (!fFile.seek(fTakenLength)) {
        errorText = fFile.errorString();
        return false;
    }
    // A full disk can take part of the bytes; the next write then fails with the cause.
    while (fTakenLength < end) {
        const qint64 n =
            fFile.write(bytes.constData() + (fTakenLength - fDurableLength), end - fTakenLength);
        if (n <= 0) {
            fDiskFull = IsDiskFull(errno);
            errorText = fDiskFull ? QStringLiteral("the disk is full") : fFile.errorString();
            return false;
        }
        fTakenLength += n;
    }
    return true;
}

// A shared folder that stalls or drops out for a moment makes every path under it look
// missing: taking that for a removal would truncate the journal and write it again from
// memory. The file counts as gone only where the system says so: its open handle names a
// file that has no name left, or its folder, or the one above, can be reached without it.
bool TDurableAppendFile::Vanished() const
{
    if (fDurableLength == 0 || QFileInfo::exists(fPath)) return false;
#ifndef Q_OS_WIN
    struct stat status {};
    if (fFile.isOpen() && ::fstat(fFile.handle(), &status) == 0 && status.st_nlink == 0)
        return true;
#endif
    QDir above = QFileInfo(fPath).absoluteDir();
    if (above.exists()) return true;
    return above.cdUp() && above.exists();
}

void TDurableAppendFile::Restart()
{
    fFile.close();
    fDurableLength = 0;
    fTakenLength = 0;
}

} // namespace oxtiva
