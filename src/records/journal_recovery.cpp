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
    contents = ParseJournal(file.readAll());
    if (contents.IsJournal) return true;
    errorText = QStringLiteral("not a journal");
    return false;
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
    const QString stem = SafeFileName(contents.Head.SampleName);
    const QString target =
        day.filePath(CountedStem(stem, FirstFreeCounter(day, stem)) + QStringLiteral(".csv"));
    const TDataFileContent head =
        DataFileContentOf(contents.Head, FormatDateTime(u"yyyy-mm-dd hh:mm", localNow));
    if (!WriteWholeFile(target, BuildDataFile(head, contents.DataLines()), errorText)) return false;
    path = target;
    return true;
}

} // namespace oxtiva
