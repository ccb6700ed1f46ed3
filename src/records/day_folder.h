#pragma once

#include "records/whole_file.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QString>
#include <QStringList>

namespace oxtiva
{

// Name of the folder that collects one day's data files: "yyyy-mm-dd".
QString DayFolderName(QDate localDate);

// Creates the day folder (and the data folder above it when it has gone missing) and
// returns its path; an empty result means it could not be created, and errorText, when
// given, then says why in the system's words.
QString EnsureDayFolder(const QDir& dataFolder, QDate localDate, QString* errorText = nullptr);

// What a save or a recovery writes under one counted stem: the data file, its picture, its
// oxygen balance and isotherm, its step list, and a damaged journal kept beside the file
// recovered from it.
inline constexpr const char* SaveSetSuffixes[] = {".csv", "_oxygen.csv", "_isotherm.csv", ".png",
                                                  ".steps", ".journal"};

// Whether no file of a save's set has this counter yet: a moved or deleted data file must
// not let a later save replace the picture or balance it left behind.
bool CounterIsFree(const QDir& folder, const QString& stem, int counter);

// The smallest counter from 0 that is free for every file of the set; files are never
// overwritten, so a day's folder keeps every snapshot of a run.
int FirstFreeCounter(const QDir& folder, const QString& stem);

// "<stem>_0007" (four digits at least; more once 9999 is passed).
QString CountedStem(const QString& stem, int counter);

// Gives a complete file the name "<stem>_<counter>.csv" with the first counter whose set
// is free at that moment: a name another program took since the folder was looked at
// is passed over, never replaced. The counted stem, or empty with the cause.
QString PublishAtFreeCounter(TNewFile& file, const QDir& folder, const QString& stem,
                             QString& errorText);

// Removes the temporary files of saves that were killed before their file got its name
// (".saving-*" in the day folders), each up to a month's data file in size; those written
// to since lastWriteBefore are left, as a second copy of the program may still be saving.
// The paths removed.
QStringList RemoveLeftoverSaves(const QDir& dataFolder, const QDateTime& lastWriteBefore);

} // namespace oxtiva
