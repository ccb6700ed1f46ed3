#include "records/journal_recovery.h"

#include "records/day_folder.h"
#include "records/number_format.h"
#include "records/safe_file_name.h"
#include "records/whole_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace oxtiva
{

QStringList JournalFilesIn(const QString& dataFolder)
{
    const QDir folder(dataFolder);
    QStringList paths;
    for (const QString& name : folder.entryList(
             {QStringLiteral("*") + QLatin1String(JournalSuffix)}, QDir::Files, QDir::Name))
        paths << folder.filePath(name);
    return paths;
}

bool ReadJournal(const QString& path, TJournalContents& contents, QString& errorText)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = file.errorString();
        return false;
    }
    // Read in pieces: a journal can hold weeks of rows, and only its records are kept.
    TJournalReader reader;
    QByteArray pending;
    QByteArray piece(1 << 20, Qt::Uninitialized);
    while (true) {
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0) {
            errorText = file.errorString();
            return false;
        }
        if (n == 0) break;
        pending.append(piece.constData(), n);
        qsizetype start = 0;
        for (qsizetype end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1)
            reader.AddLine(QByteArrayView(pending).sliced(start, end - start));
        pending.remove(0, start);
    }
    reader.End(pending.size());
    contents = reader.Take();
    if (contents.IsJournal) return true;
    errorText = QStringLiteral("not a journal");
    return false;
}

bool SavedFileHoldsSavedRows(const TJournalContents& contents)
{
    if (contents.SavedRows == 0) return true;
    if (contents.SavedFileSize < 0) return QFile::exists(contents.SavedFile);
    qint64 size = 0;
    quint32 checksum = 0;
    return FileChecksum(contents.SavedFile, size, checksum) && size == contents.SavedFileSize &&
           checksum == contents.SavedFileChecksum;
}

namespace
{

constexpr qsizetype Piece = 1 << 20;

// Copies the saved file's rows from the run's first on, checking as it reads that the file
// still holds what the save wrote: a file changed since would splice foreign rows in.
bool CopySavedRows(const TJournalContents& contents, TNewFile& out, QString& errorText)
{
    QFile saved(contents.SavedFile);
    if (!saved.open(QIODevice::ReadOnly)) {
        errorText = saved.errorString();
        return false;
    }
    QByteArray piece(Piece, Qt::Uninitialized);
    qint64 position = 0;
    quint32 checksum = 0;
    while (true) {
        const qint64 n = saved.read(piece.data(), piece.size());
        if (n < 0) {
            errorText = saved.errorString();
            return false;
        }
        if (n == 0) break;
        const QByteArrayView bytes(piece.constData(), n);
        checksum = Crc32(bytes, checksum);
        const qint64 skip = std::clamp<qint64>(contents.SavedRowsOffset - position, 0, n);
        if (skip < n && !out.Write(bytes.sliced(skip), errorText)) return false;
        position += n;
    }
    if (position == contents.SavedFileSize && checksum == contents.SavedFileChecksum) return true;
    errorText = QStringLiteral("the saved file %1 changed while it was read")
                    .arg(QDir::toNativeSeparators(contents.SavedFile));
    return false;
}

bool WriteRows(const TJournalContents& contents, int firstIndex, int endIndex, QByteArray& out,
               TNewFile& file, QString& errorText)
{
    for (int i = firstIndex; i < endIndex; ++i) {
        AppendEncodedDataLine(out, contents.Rows[i].Line);
        if (out.size() < Piece) continue;
        if (!file.Write(out, errorText)) return false;
        out.resize(0);
    }
    if (!file.Write(out, errorText)) return false;
    out.resize(0);
    return true;
}

} // namespace

bool WriteRecoveredDataFile(const TJournalContents& contents, const QString& dataFolder,
                            const QDateTime& localNow, QString& path, QString& errorText)
{
    const QString dayPath = EnsureDayFolder(QDir(dataFolder), localNow.date());
    if (dayPath.isEmpty()) {
        errorText = QStringLiteral("the day folder cannot be created in ") +
                    QDir::toNativeSeparators(dataFolder);
        return false;
    }
    const QDir day(dayPath);
    const TDataFileContent head =
        DataFileContentOf(contents.Head, FormatDateTime(u"yyyy-mm-dd hh:mm", localNow));
    TNewFile file(dayPath);
    if (!file.Open(errorText)) return false;
    QByteArray out = DataFileHead(head);
    const int rows = int(contents.Rows.size());
    // The offer has checked the saved file already; the copy checks its checksum again as
    // it reads, so a weeks-long file is read once here.
    if (contents.HasBase() && contents.SavedRowsOffset >= 0 &&
        QFileInfo(contents.SavedFile).size() == contents.SavedFileSize) {
        // The fixed rows, the saved file's rows of the run, then the journal's after them.
        const int fixed = std::min(FixedGridRows, rows);
        if (!WriteRows(contents, 0, fixed, out, file, errorText) ||
            !CopySavedRows(contents, file, errorText) ||
            !WriteRows(contents,
                       std::clamp(contents.IndexOfGridRow(contents.SavedRows), fixed, rows), rows,
                       out, file, errorText))
            return false;
    } else if (!WriteRows(contents, 0, rows, out, file, errorText)) {
        return false;
    }
    const QString counted =
        PublishAtFreeCounter(file, day, SafeFileName(contents.Head.SampleName), errorText);
    if (counted.isEmpty()) return false;
    path = day.filePath(counted + QStringLiteral(".csv"));
    return true;
}

} // namespace oxtiva
