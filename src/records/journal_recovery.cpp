#include "records/journal_recovery.h"

#include "records/day_folder.h"
#include "records/number_format.h"
#include "records/safe_file_name.h"
#include "records/whole_file.h"

#include <QDir>
#include <QFile>

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
    constexpr qsizetype Piece = 1 << 20;
    QByteArray out = DataFileHead(head);
    for (const TJournalRow& row : contents.Rows) {
        AppendEncodedDataLine(out, row.Line);
        if (out.size() < Piece) continue;
        if (!file.Write(out, errorText)) return false;
        out.resize(0);
    }
    if (!file.Write(out, errorText)) return false;
    const QString counted =
        PublishAtFreeCounter(file, day, SafeFileName(contents.Head.SampleName), errorText);
    if (counted.isEmpty()) return false;
    path = day.filePath(counted + QStringLiteral(".csv"));
    return true;
}

} // namespace oxtiva
