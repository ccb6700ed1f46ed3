#include "records/durable_append_file.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace oxtiva
{

namespace
{

[[maybe_unused]] QString LastSystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A new file's name lives in its folder; without flushing the folder a power cut can
// lose the whole file even though its bytes were flushed.
void SyncFolderOf(const QString& path)
{
#ifndef Q_OS_WIN
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#else
    Q_UNUSED(path);
#endif
}

} // namespace

TDurableAppendFile::TDurableAppendFile(QString path) : fPath(std::move(path)) {}

bool TDurableAppendFile::Append(const QByteArray& bytes, QString& errorText)
{
    if (!fFile.isOpen() && !Open(errorText)) return false;
    if (!WriteAtDurableEnd(bytes, errorText) || !SyncData(errorText)) {
        // Reopened on the next try, which also finds a folder that came back.
        fFile.close();
        return false;
    }
    fDurableLength += bytes.size();
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
    if (created) SyncFolderOf(fPath);
    return true;
}

bool TDurableAppendFile::WriteAtDurableEnd(const QByteArray& bytes, QString& errorText)
{
    if ((fFile.size() != fDurableLength && !fFile.resize(fDurableLength)) ||
        !fFile.seek(fDurableLength)) {
        errorText = fFile.errorString();
        return false;
    }
    // A full disk can take part of the bytes; the next write then fails with the cause.
    qsizetype written = 0;
    while (written < bytes.size()) {
        const qint64 n = fFile.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            errorText = fFile.errorString();
            return false;
        }
        written += qsizetype(n);
    }
    return true;
}

bool TDurableAppendFile::SyncData(QString& errorText)
{
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fFile.handle()));
    if (FlushFileBuffers(handle)) return true;
    errorText = QStringLiteral("the disk did not take the data (error %1)").arg(GetLastError());
    return false;
#else
#ifdef Q_OS_DARWIN
    const int result = ::fsync(fFile.handle());
#else
    const int result = ::fdatasync(fFile.handle());
#endif
    if (result == 0) return true;
    errorText = LastSystemError();
    return false;
#endif
}

bool TDurableAppendFile::Vanished() const
{
    return fDurableLength > 0 && !QFileInfo::exists(fPath);
}

void TDurableAppendFile::Restart()
{
    fFile.close();
    fDurableLength = 0;
}

} // namespace oxtiva
