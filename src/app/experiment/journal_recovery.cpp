#include "app/experiment/journal_recovery.h"

#include "app/experiment/recovered_oxygen_file.h"
#include "control/step_program_file.h"
#include "records/day_folder.h"
#include "records/journal_recovery.h"
#include "records/logging.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>

namespace oxtiva
{

namespace
{

enum class TRecoveryAnswer { Recover, KeepForLater, Discard };

QString SampleOf(const TJournalContents& contents)
{
    return contents.Head.SampleName.isEmpty()
               ? QStringLiteral("(no sample name)")
               : QStringLiteral("\"%1\"").arg(contents.Head.SampleName);
}

// "1 data point", "7 data points".
QString Counted(int count, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

QString LocalMinute(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

TRecoveryAnswer AskOnce(QWidget* parent, const TJournalContents& contents, bool savedFileIntact)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Unsaved data found"),
                    RecoveryQuestion(contents, savedFileIntact), QMessageBox::NoButton, parent);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Discard);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Recover"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Keep for later"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No); // closing the box loses nothing
    switch (box.exec()) {
    case QMessageBox::Yes:
        return TRecoveryAnswer::Recover;
    case QMessageBox::Discard:
        return TRecoveryAnswer::Discard;
    default:
        return TRecoveryAnswer::KeepForLater;
    }
}

// Discarding asks once more; a No goes back to the first question.
TRecoveryAnswer Ask(QWidget* parent, const TJournalContents& contents, bool savedFileIntact)
{
    while (true) {
        const TRecoveryAnswer answer = AskOnce(parent, contents, savedFileIntact);
        if (answer != TRecoveryAnswer::Discard) return answer;
        if (QMessageBox::question(parent, QStringLiteral("Discard unsaved data"),
                                  DiscardQuestion(contents), QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) == QMessageBox::Yes)
            return answer;
    }
}

class TJournalOffer
{
  public:
    TJournalOffer(QWidget* parent, QString dataFolder, std::shared_ptr<TLogDestination> log,
                  TRecoveredNotice onRecovered)
        : fParent(parent), fDataFolder(std::move(dataFolder)), fOnRecovered(std::move(onRecovered))
    {
        fLog.SetDestination(std::move(log));
    }

    void Offer(const QString& path)
    {
        // Only a lock whose program has ended may be taken over; its age says nothing, as a
        // running experiment holds its lock for weeks.
        QLockFile lock(path + QStringLiteral(".lock"));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0)) {
            fLog.Send(QStringLiteral("Journal in use by a running program, left alone: ") + path);
            return;
        }
        TJournalContents contents;
        QString error;
        if (!ReadJournal(path, contents, error, TJournalRowKeeping::WithoutLines)) {
            fLog.Send(QStringLiteral("Journal cannot be read (") + error + QStringLiteral("): ") +
                      path);
            return;
        }
        for (const QString& problem : contents.Problems)
            fLog.Send(QStringLiteral("Journal ") + path + QStringLiteral(", damaged line left out at ") +
                      problem);
        // Silence only when nothing can be lost: every record read, and the saved file the
        // journal relies on still holding what was saved.
        const bool savedFileIntact = SavedFileHoldsSavedRows(contents);
        if (!savedFileIntact)
            fLog.Send(QStringLiteral("Journal ") + path +
                      QStringLiteral(": its saved file is missing or changed: ") +
                      contents.SavedFile);
        if (contents.UnsavedRows() == 0 && contents.Problems.isEmpty() && savedFileIntact) {
            Remove(path, QStringLiteral("every row is in a saved file"));
            return;
        }
        switch (Ask(fParent, contents, savedFileIntact)) {
        case TRecoveryAnswer::Recover:
            Recover(path, contents);
            break;
        case TRecoveryAnswer::Discard:
            Remove(path, QStringLiteral("discarded by the operator"));
            break;
        case TRecoveryAnswer::KeepForLater:
            fLog.Send(QStringLiteral("Journal kept for later: ") + path);
            break;
        }
    }

  private:
    void Recover(const QString& path, const TJournalContents& contents)
    {
        QString written;
        QString error;
        if (!WriteRecoveredDataFile(contents, fDataFolder, QDateTime::currentDateTime(), written,
                                    error)) {
            fLog.Send(QStringLiteral("Recovery failed (") + error + QStringLiteral("): ") + path);
            QMessageBox::warning(
                fParent, QStringLiteral("Recovery failed"),
                QStringLiteral("The data could not be written (%1). The journal is kept and "
                               "offered again at the next start:\n%2")
                    .arg(error, QDir::toNativeSeparators(path)));
            return;
        }
        fLog.Send(QStringLiteral("Journal recovered into ") + written);
        if (contents.HasSteps && !WriteStepsBeside(written, contents.StepLines, error))
            fLog.Send(QStringLiteral("Step program of the recovered file not written (") + error +
                      QStringLiteral("): ") + written);
        // The balance is derived from the file: without it the data is still all there.
        if (!WriteRecoveredOxygenFiles(contents, written, error))
            fLog.Send(QStringLiteral("Oxygen balance of the recovered file not written (") + error +
                      QStringLiteral("): ") + written);
        // What could not be read may still be read by hand, or by a better tool: a damaged
        // journal goes beside the file recovered from it, out of the next start's way.
        if (contents.SkippedRecords > 0)
            KeepBeside(path, written);
        else
            Remove(path, QStringLiteral("recovered"));
        if (fOnRecovered) {
            fOnRecovered(written, SampleOf(contents));
            return;
        }
        QMessageBox::information(fParent, QStringLiteral("Data recovered"),
                                 QStringLiteral("The unsaved data of %1 was written to\n%2")
                                     .arg(SampleOf(contents), QDir::toNativeSeparators(written)));
    }

    void KeepBeside(const QString& path, const QString& recoveredFile)
    {
        const QFileInfo recovered(recoveredFile);
        const QString kept = recovered.dir().filePath(recovered.completeBaseName() +
                                                      QLatin1String(JournalSuffix));
        if (QFile::rename(path, kept))
            fLog.Send(QStringLiteral("Damaged journal kept beside the recovered file: ") + kept);
        else
            fLog.Send(QStringLiteral("Damaged journal left where it was, it cannot be moved to ") +
                      kept + QStringLiteral(": ") + path);
    }

    void Remove(const QString& path, const QString& reason)
    {
        QFile file(path);
        if (file.remove())
            fLog.Send(QStringLiteral("Journal removed, ") + reason + QStringLiteral(": ") + path);
        else
            fLog.Send(QStringLiteral("Journal cannot be removed (") + file.errorString() +
                      QStringLiteral("): ") + path);
    }

    QWidget* fParent;
    QString fDataFolder;
    TRecoveredNotice fOnRecovered;
    TLogger fLog{QStringLiteral("Journal"), true};
};

} // namespace

QString RecoveryQuestion(const TJournalContents& contents, bool savedFileIntact)
{
    QString text =
        contents.ClosedNormally
            ? QStringLiteral("Data recorded in an earlier session was not saved before the "
                             "program was closed.\n\n")
            : QStringLiteral("Data recorded in an earlier session was never saved, most "
                             "likely because the program did not close normally.\n\n");
    text += QStringLiteral("Sample: %1\n").arg(SampleOf(contents));
    text += QStringLiteral("Recorded: %1 to %2\n")
                .arg(LocalMinute(contents.FirstRowTime()), LocalMinute(contents.LastRowTime()));
    const int points = contents.UnsavedDataPoints();
    text += QStringLiteral("Unsaved: ") +
            Counted(points, QStringLiteral("data point"), QStringLiteral("data points"));
    if (const int others = contents.UnsavedRows() - points; others > 0)
        text += QStringLiteral(" and ") +
                Counted(others, QStringLiteral("state change"), QStringLiteral("state changes"));
    text += u'\n';
    if (contents.SkippedRecords > 0)
        text += QStringLiteral("The journal is damaged: %1 (%2 bytes) left out, the first at "
                               "%3. Every intact record around them is recovered, and the "
                               "journal is kept beside the recovered file.\n")
                    .arg(Counted(contents.SkippedRecords, QStringLiteral("unreadable line"),
                                 QStringLiteral("unreadable lines")))
                    .arg(contents.SkippedBytes)
                    .arg(contents.Problems.front());
    if (!savedFileIntact)
        text += QStringLiteral("The saved file %1 is missing or no longer holds the saved "
                               "rows.\n")
                    .arg(QDir::toNativeSeparators(contents.SavedFile));
    // A segment's saved rows are only in the saved file.
    if (!contents.HasBase() || (savedFileIntact && contents.SavedRowsOffset >= 0))
        text += QStringLiteral("\nRecover writes the session's whole grid into a new data file, "
                               "as a save would have.");
    else
        text += QStringLiteral("\nRecover writes the rows recorded after that save into a new "
                               "data file; the rows before it were only in the saved file.");
    text += QStringLiteral(" Keep for later asks again at the next start. Discard deletes the "
                           "unsaved data.");
    return text;
}

QString DiscardQuestion(const TJournalContents& contents)
{
    return QStringLiteral("Delete the unsaved data of %1 (%2 data points)? It cannot be recovered "
                          "afterwards.")
        .arg(SampleOf(contents))
        .arg(contents.UnsavedDataPoints());
}

void OfferUnsavedJournals(QWidget* parent, const QString& dataFolder,
                          std::shared_ptr<TLogDestination> log, TRecoveredNotice onRecovered)
{
    {
        // A save writes its temporary file without pause: one unchanged for ten minutes
        // belongs to a save that was killed.
        TLogger tidy{QStringLiteral("Journal"), true};
        tidy.SetDestination(log);
        for (const QString& removed :
             RemoveLeftoverSaves(QDir(dataFolder), QDateTime::currentDateTime().addSecs(-600)))
            tidy.Send(QStringLiteral("Temporary file of an unfinished save removed: ") + removed);
    }
    TJournalOffer offer(parent, dataFolder, std::move(log), std::move(onRecovered));
    for (const QString& path : JournalFilesIn(dataFolder))
        offer.Offer(path);
}

} // namespace oxtiva
