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

namespace
{

// Hands each line of the file, without its LF, to the reader; false with the cause.
bool ReadJournalLines(const QString& path, TJournalReader& reader, QString& errorText)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = file.errorString();
        return false;
    }
    // Read in pieces: a journal can hold weeks of rows.
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
    return true;
}

} // namespace

bool ReadJournal(const QString& path, TJournalContents& contents, QString& errorText,
                 TJournalRowKeeping keeping)
{
    TJournalReader reader(keeping);
    if (!ReadJournalLines(path, reader, errorText)) return false;
    contents = reader.Take();
    contents.Path = path;
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

} // namespace

bool RecoversFromSavedFile(const TJournalContents& contents)
{
    return contents.HasBase() && contents.SavedRowsOffset >= 0 &&
           QFileInfo(contents.SavedFile).size() == contents.SavedFileSize;
}

int RecoveredJournalRowsStart(const TJournalContents& contents)
{
    const int rows = int(contents.Rows.size());
    const int fixed = contents.IndexOfGridRow(FixedGridRows);
    if (!RecoversFromSavedFile(contents)) return fixed;
    return std::clamp(contents.IndexOfGridRow(contents.SavedRows), fixed, rows);
}

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
    // The fixed rows, the saved file's rows of the run where it is there, then the
    // journal's rows after them. The offer has checked the saved file already; the copy
    // checks its checksum again as it reads, so a weeks-long file is read once here.
    const bool fromSavedFile = RecoversFromSavedFile(contents);
    const int fixed = contents.IndexOfGridRow(FixedGridRows);
    const int resume = RecoveredJournalRowsStart(contents);
    QByteArray out = DataFileHead(head);
    int index = 0;
    bool copied = !fromSavedFile;
    bool failed = false;
    const auto flush = [&](qsizetype atLeast) {
        if (failed || out.size() < atLeast) return;
        failed = !file.Write(out, errorText);
        out.resize(0);
    };
    const auto copySaved = [&] {
        flush(0);
        copied = true;
        if (!failed) failed = !CopySavedRows(contents, file, errorText);
    };
    TJournalReader rows(TJournalRowKeeping::None, [&](const TJournalRow& row) {
        if (failed) return;
        if (index == fixed && !copied) copySaved();
        if (index < fixed || index >= resume) {
            AppendEncodedDataLine(out, row.Line);
            flush(Piece);
        }
        ++index;
    });
    if (!ReadJournalLines(contents.Path, rows, errorText)) return false;
    if (!copied) copySaved();
    flush(0);
    if (failed) return false;
    if (index != int(contents.Rows.size())) {
        errorText = QStringLiteral("the journal changed while it was read");
        return false;
    }
    const QString counted =
        PublishAtFreeCounter(file, day, SafeFileName(contents.Head.SampleName), errorText);
    if (counted.isEmpty()) return false;
    path = day.filePath(counted + QStringLiteral(".csv"));
    return true;
}

} // namespace oxtiva
