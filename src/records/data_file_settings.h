#pragma once

#include "records/data_file.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <array>

namespace oxtiva
{

// What a data file tells about its experiment apart from the data: the HEADER's sample,
// the VARIABLES values as written and the NOTES.
struct TDataFileSettings {
    QString SampleName;
    QString SampleFormula;
    std::array<QString, DataFileVariableCount> VariableValues;
    QString Notes;
};

// Reads those sections back from a data file's bytes as BuildDataFile writes them.
// A file whose section marks or variable rows are not where a data file has them is
// refused with the first line that differs, so another file's lines are never taken for
// settings.
bool ReadDataFileSettings(const QByteArray& bytes, TDataFileSettings& settings, QString& errorText);

// The bytes of a data file up to and with its "** DATA" line, read in pieces from the
// file's start: the settings of a month's file are read without reading its rows. False
// with the cause when the file cannot be read or holds no DATA line in its first
// MostDataFileHeadBytes.
inline constexpr qint64 MostDataFileHeadBytes = 64LL * 1024 * 1024;
bool ReadDataFileHead(QIODevice& file, QByteArray& head, QString& errorText);

} // namespace oxtiva
