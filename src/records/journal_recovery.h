#pragma once

#include "records/journal_format.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace oxtiva
{

// Every journal file in the data folder, by name.
QStringList JournalFilesIn(const QString& dataFolder);

// Reads a journal; false with the cause when the file cannot be read or is no journal.
// Weeks of rows are read without their text (TJournalRowKeeping::WithoutLines): recovery
// writes the text from the file again.
bool ReadJournal(const QString& path, TJournalContents& contents, QString& errorText,
                 TJournalRowKeeping keeping = TJournalRowKeeping::Whole);

// Whether the data file of the journal's last save is there and holds what that save wrote
// (its size and checksum, where the journal recorded them): only then may the journal go.
bool SavedFileHoldsSavedRows(const TJournalContents& contents);

// Whether a recovery takes the saved rows from the save's file: the journal is a segment
// after that save, and the file is there at the size the save wrote.
bool RecoversFromSavedFile(const TJournalContents& contents);

// Index into contents.Rows of the first row a recovery writes after the fixed rows (and
// after the saved file's rows): the journal's rows from there on end the recovered file.
int RecoveredJournalRowsStart(const TJournalContents& contents);

// Writes the run's rows as a data file, byte for byte as a save at localNow would have
// written them. A segment holds only the rows after its save: the rows before come from
// that save's file while it holds what was saved; without it, the file holds the fixed rows
// and the rows after the save. Written into that day's folder, named after the sample with
// the first free counter, passing over any name another program took meanwhile. The rows'
// text is read from the journal file again (contents.Path), row by row, so a month of rows
// is never held. The path written, or false with the cause.
bool WriteRecoveredDataFile(const TJournalContents& contents, const QString& dataFolder,
                            const QDateTime& localNow, QString& path, QString& errorText);

} // namespace oxtiva
