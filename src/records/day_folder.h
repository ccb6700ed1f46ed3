#pragma once

#include "records/whole_file.h"

#include <QDate>
#include <QDir>
#include <QString>

namespace oxtiva
{

// Name of the folder that collects one day's data files: "yyyy-mm-dd".
QString DayFolderName(QDate localDate);

// Creates the day folder (and the data folder above it when it has gone missing) and
// returns its path; an empty result means it could not be created, and errorText, when
// given, then says why in the system's words.
QString EnsureDayFolder(const QDir& dataFolder, QDate localDate, QString* errorText = nullptr);

// The smallest counter from 0 whose "<stem>_<counter>.csv" does not exist yet in folder;
// files are never overwritten, so a day's folder keeps every snapshot of a run.
int FirstFreeCounter(const QDir& folder, const QString& stem);

// "<stem>_0007" (four digits at least; more once 9999 is passed).
QString CountedStem(const QString& stem, int counter);

// Gives a complete file the name "<stem>_<counter>.csv" with the first counter whose name
// is free at that moment: a name another program took since the folder was looked at
// is passed over, never replaced. The counted stem, or empty with the cause.
QString PublishAtFreeCounter(TNewFile& file, const QDir& folder, const QString& stem,
                             QString& errorText);

} // namespace oxtiva
