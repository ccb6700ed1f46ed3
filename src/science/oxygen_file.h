#pragma once

#include "records/whole_file.h"

#include <QByteArray>
#include <QString>

namespace oxtiva
{

class TOxygenHistory;

// "<stem>_oxygen.csv" and "<stem>_isotherm.csv", written beside each data file: each one
// table that a CSV reader loads as it is (UTF-8, "," between fields, "." in every number
// whatever the locale, full precision, an empty field where a value cannot be computed).
// Lines starting with "#" say what the table is and give the constants of the balance
// with the time from which they hold; a reader told to skip comments passes over them.
// Times are ISO 8601 on the local clock, as the data file's are, with the clock's offset
// from UTC, so a time is the same instant in any time zone and across a change of summer time.
struct TOxygenFileContent {
    QString SampleName;
    QString SampleFormula;
    QString SavedAt;      // "yyyy-mm-dd hh:mm"
    QString DataFileName; // the data file saved with it
    double RunStartDays = 0; // the experiment's start, which the balance's seconds count from
    const TOxygenHistory* History = nullptr;
};

QByteArray BuildOxygenFile(const TOxygenFileContent& content);
// The same bytes handed to aSink in pieces of about a megabyte: a month's points come to
// hundreds of megabytes, which a save thread must not take from the memory the window's
// thread allocates from. False once aSink refused a piece.
bool WriteOxygenFile(const TOxygenFileContent& content, const TPieceSink& aSink);
QByteArray BuildIsothermFile(const TOxygenFileContent& content);

// The names beside a data file: "Ceria_0003.csv" gives "Ceria_0003_oxygen.csv" and
// "Ceria_0003_isotherm.csv".
QString OxygenFileName(const QString& dataFileName);
QString IsothermFileName(const QString& dataFileName);

// Writes the balance and the isotherm file beside the data file at dataFilePath, each whole
// or not at all; content's DataFileName is that file's name. False with errorText when a
// file could not be written.
bool WriteOxygenFilesBeside(const QString& dataFilePath, TOxygenFileContent content,
                            QString& errorText);

} // namespace oxtiva
