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
bool ReadJournal(const QString& path, TJournalContents& contents, QString& errorText);

// Whether the data file of the journal's last save is there and holds what that save wrote
// (its size and checksum, where the journal recorded them): only then may the journal go.
bool SavedFileHoldsSavedRows(const TJournalContents& contents);

// Writes the run's rows as a data file, byte for byte as a save at localNow would have
// written them. A segment holds only the rows after its save: the rows before come from
// that save's file while it holds what was saved; without it, the file holds the fixed rows
// and the rows after the save. Written into that day's folder, named after the sample with
// the first free counter, passing over any name another program took meanwhile. The path
// written, or false with the cause.
bool WriteRecoveredDataFile(const TJournalContents& contents, const QString& dataFolder,
                            const QDateTime& localNow, QString& path, QString& errorText);

} // namespace oxtiva
