#include "records/whole_file.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <zlib.h>

#include <algorithm>
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

// Gives the file at from the name to, failing when to exists: a plain rename would
// silently replace the other file.
TPublishResult LinkNoReplace(const QString& from, const QString& to, QString& errorText)
{
#ifdef Q_OS_WIN
    // MoveFileEx without MOVEFILE_REPLACE_EXISTING fails on an existing target.
    if (MoveFileExW(reinterpret_cast<LPCWSTR>(from.utf16()), reinterpret_cast<LPCWSTR>(to.utf16()),
                    MOVEFILE_WRITE_THROUGH))
        return TPublishResult::Written;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
        return TPublishResult::NameTaken;
    errorText = QStringLiteral("the file cannot be named (error %1)").arg(error);
    return TPublishResult::Failed;
#else
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
        ::unlink(QFile::encodeName(from).constData());
        return TPublishResult::Written;
    }
    if (errno == EEXIST) return TPublishResult::NameTaken;
    errorText = LastSystemError();
    return TPublishResult::Failed;
#endif
}

} // namespace

quint32 Crc32(QByteArrayView bytes, quint32 previous)
{
    uLong crc = previous;
    const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
    for (qsizetype left = bytes.size(); left > 0;) {
        const uInt piece = uInt(std::min<qsizetype>(left, 1 << 30));
        crc = crc32(crc, data, piece);
        data += piece;
        left -= piece;
    }
    return quint32(crc);
}

bool FileChecksum(const QString& path, qint64& size, quint32& checksum)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    size = 0;
    checksum = 0;
    QByteArray piece(1 << 20, Qt::Uninitialized);
    while (true) {
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0) return false;
        if (n == 0) return true;
        size += n;
        checksum = Crc32(QByteArrayView(piece.constData(), n), checksum);
    }
}

bool SyncFileData(int handle, QString& errorText)
{
#ifdef Q_OS_WIN
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(handle)))) return true;
    errorText = QStringLiteral("the disk did not take the data (error %1)").arg(GetLastError());
    return false;
#elif defined(Q_OS_DARWIN)
    if (::fsync(handle) == 0) return true;
    errorText = LastSystemError();
    return false;
#else
    if (::fdatasync(handle) == 0) return true;
    errorText = LastSystemError();
    return false;
#endif
}

bool SyncFolder(const QString& folder, QString& errorText)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    Q_UNUSED(errorText);
    return true; // NTFS journals its names with the move
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        errorText = LastSystemError();
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    if (!synced) errorText = LastSystemError();
    ::close(fd);
    return synced;
#endif
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& errorText)
{
    return WriteWholeFile(
        path, [&bytes](const TPieceSink& sink) { return sink(bytes); }, errorText);
}

bool WriteWholeFile(const QString& path, const std::function<bool(const TPieceSink&)>& aProduce,
                    QString& errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        errorText = file.errorString();
        return false;
    }
    const bool written = aProduce([&file](QByteArrayView piece) {
        return file.write(piece.data(), piece.size()) == piece.size();
    });
    if (!written || !file.commit()) {
        errorText = file.errorString();
        file.cancelWriting();
        return false;
    }
    return SyncFolder(QFileInfo(path).absolutePath(), errorText);
}

TNewFile::TNewFile(const QString& folder) : fFolder(folder) {}

// QTemporaryFile removes an unpublished file it still holds; one let go of is removed here.
TNewFile::~TNewFile()
{
    if (!fClosedPath.isEmpty()) QFile::remove(fClosedPath);
}

bool TNewFile::Open(QString& errorText)
{
    fFile = std::make_unique<QTemporaryFile>(fFolder + QStringLiteral("/.saving-XXXXXX"));
    if (fFile->open()) return true;
    errorText = fFile->errorString();
    return false;
}

bool TNewFile::Write(QByteArrayView bytes, QString& errorText)
{
    fSynced = false;
    if (fFile->write(bytes.data(), bytes.size()) == bytes.size()) {
        fSize += bytes.size();
        fChecksum = Crc32(bytes, fChecksum);
        return true;
    }
    errorText = fFile->errorString();
    return false;
}

TPublishResult TNewFile::Publish(const QString& path, QString& errorText)
{
    if (!fSynced) {
        if (!fFile->flush()) {
            errorText = fFile->errorString();
            return TPublishResult::Failed;
        }
        if (!SyncFileData(fFile->handle(), errorText)) return TPublishResult::Failed;
        fSynced = true;
    }
#ifdef Q_OS_WIN
    // Windows names no open file, and QTemporaryFile keeps its handle through close(): the
    // file is let go of, not removed, and named by its path from then on (a name taken
    // meanwhile sends the caller back here with the next one).
    if (fFile) {
        fClosedPath = fFile->fileName();
        fFile->setAutoRemove(false);
        fFile.reset();
    }
    const QString from = fClosedPath;
#else
    const QString from = fFile->fileName();
#endif
    const TPublishResult result = LinkNoReplace(from, path, errorText);
    if (result != TPublishResult::Written) return result;
    fClosedPath.clear();
    if (fFile) fFile->setAutoRemove(false); // its temporary name is gone with the link
    fFile.reset();
    return SyncFolder(QFileInfo(path).absolutePath(), errorText) ? TPublishResult::Written
                                                                 : TPublishResult::Failed;
}

} // namespace oxtiva
