#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace oxtiva
{

constexpr int DataFileVariableCount = 31;
// The VARIABLES row that holds text the operator typed (the sensor ID); every other holds a
// number.
constexpr int SensorIdVariable = 11;

// Everything an experiment data file holds, already as text: the window formats the
// numbers (general number format, locale separator) and the save time, so this writer
// only decides the file's layout and bytes.
struct TDataFileContent {
    QString SampleName;
    QString SampleFormula;
    QString SavedAt; // "yyyy-mm-dd hh:mm"
    // Values of the VARIABLES rows in file order; each gets its fixed tail appended.
    std::array<QString, DataFileVariableCount> VariableValues;
    QString Notes; // the memo's whole text, line breaks as the memo holds them
    int RowCount = 0;
    int ColumnCount = 16;
    // Text of one grid cell; row 0 is the caption row. Called once per cell, in order.
    std::function<QString(int column, int row)> Cell;
};

// The fixed text that follows the value of VARIABLES row index (0-based).
const char* DataFileVariableTail(int index);

// The text of one DATA line before it is encoded: the cells joined by ";", a cell that
// holds a double quote or a semicolon quoted (inner quotes doubled), every blank removed.
// Save and the journal both take their lines from here, so a file written again from
// the journal holds the bytes Save would have written.
QString DataLine(int columnCount, const std::function<QString(int column)>& cell);
void AppendDataLine(QString& out, int columnCount, const std::function<QString(int column)>& cell);

// The cells of a DATA line as DataLine wrote them, quotes undone (the blanks it dropped
// stay dropped).
QStringList SplitDataLine(QStringView line);

// The whole file: CR LF line ends, Windows-1252 bytes, no byte-order mark.
QByteArray BuildDataFile(const TDataFileContent& content);

// The same file from DATA lines made earlier by DataLine; content's rows are not read.
QByteArray BuildDataFile(const TDataFileContent& content, const QStringList& dataLines);

class TNewFile;

// Where the line of grid row `row` starts in the file: the bytes of the head and the rows
// before it. A journal cut after a save copies the saved rows from there.
qint64 DataFileRowOffset(const TDataFileContent& content, int row);

// The file's lines before its DATA rows, and one DATA line (made by DataLine) as its bytes.
QByteArray DataFileHead(const TDataFileContent& content);
void AppendEncodedDataLine(QByteArray& out, QStringView line);

// Streams the whole file into a new file in pieces of about a megabyte: a month's grid is
// never held twice in memory.
bool WriteDataFile(TNewFile& file, const TDataFileContent& content, QString& errorText);

// Writes the file through a temporary file in the same folder that replaces the target
// only once complete, so a full disk or a crash never leaves a truncated data file.
// On failure returns false with the reason in errorText.
bool WriteDataFile(const QString& path, const TDataFileContent& content, QString& errorText);

} // namespace oxtiva
