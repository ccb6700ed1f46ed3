#pragma once

#include "records/data_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace oxtiva
{

// The journal keeps a session's grid rows on the disk between saves, so that a crash or a
// power cut loses no data point. It is UTF-8 text, one record a line, fields separated by
// tabs (a backslash, tab, CR or LF inside a field is written \\, \t, \r, \n):
//
//   Oxtiva journal 2
//   head  <sample name> <formula> <31 variable values> <notes>   (again after each change)
//   row   <grid row> <UTC time> point|other <DATA line as Save writes it>
//   saved <rows> <data file> <its size> <its CRC-32> <offset of grid row 2 in it>
//         (the first <rows> grid rows are in that file)
//   base  <rows> <data file> <its size> <its CRC-32> <offset of grid row 2 in it>
//         (as saved; grid rows 2 to <rows> - 1 are in that file and not in this journal)
//   steps <line> ...   the step program's lines (again after each change)
//   closed             the program closed normally with these rows still unsaved
//
// Once a save is on the disk the journal goes on in a new file, a segment that starts with
// the head, the two fixed grid rows and a base record naming the save, so a journal holds
// the rows since the last save, not the whole run.
//
// Each record is framed as "~<length>:<CRC-32 in 8 hex digits>\t<record>\n", so that a torn
// or misplaced write never reads as a record. It is only ever appended to; a crash can cut
// the last line, which a reader ignores. A damaged record ends what can be trusted: the
// reader stops there. Journals of the first version, without frames, are still read.

inline constexpr char JournalFirstLine[] = "Oxtiva journal 2";
inline constexpr char JournalFirstLineVersion1[] = "Oxtiva journal 1";
inline constexpr char JournalSuffix[] = ".journal";

// What a data file holds besides its rows and the time it was saved.
struct TJournalHead {
    QString SampleName;
    QString SampleFormula;
    std::array<QString, DataFileVariableCount> VariableValues;
    QString Notes;
    friend bool operator==(const TJournalHead&, const TJournalHead&) = default;
};

TJournalHead JournalHeadOf(const TDataFileContent& content);
// A data file's content with this head, saved at savedAt; its rows are given apart.
TDataFileContent DataFileContentOf(const TJournalHead& head, const QString& savedAt);

struct TJournalRow {
    QDateTime Time;         // when the row entered the grid, UTC
    bool DataPoint = false; // false for the caption row, the empty row and state rows
    QString Line;           // the DATA line text (DataLine), before its encoding
};

// The first two grid rows (captions, the empty row) are in every data file; a run's own
// rows start after them.
inline constexpr int FixedGridRows = 2;

// Each record as one line, ended by LF.
QByteArray JournalFirstLineBytes();
QByteArray JournalHeadLine(const TJournalHead& head);
QByteArray JournalRowLine(int gridRow, const TJournalRow& row);
// A save's data file as the journal names it.
struct TSavedFile {
    int Rows = 0; // grid rows from 0 it holds
    QString Path;
    qint64 Size = -1; // as written, -1 when not recorded
    quint32 Checksum = 0;
    qint64 RowsOffset = -1; // where grid row FixedGridRows starts in it, -1 when not recorded
    friend bool operator==(const TSavedFile&, const TSavedFile&) = default;
};

QByteArray JournalSavedLine(const TSavedFile& saved);
QByteArray JournalBaseLine(const TSavedFile& saved);
QByteArray JournalStepsLine(const QStringList& stepLines);
QByteArray JournalClosedLine();

struct TJournalContents {
    bool IsJournal = false; // the first line names the format
    bool HasHead = false;
    TJournalHead Head;
    bool HasSteps = false;
    QStringList StepLines; // the step program as it last was
    bool ClosedNormally = false;
    // Grid rows in order: the fixed rows, then from BaseRows on (from FixedGridRows on in a
    // journal without a base).
    std::vector<TJournalRow> Rows;
    int BaseRows = FixedGridRows; // rows before it after the fixed ones are in a saved file
    int SavedRows = 0;            // the most rows any save wrote
    QString SavedFile;            // the file of that save
    qint64 SavedFileSize = -1;    // as written, -1 when not recorded
    quint32 SavedFileChecksum = 0;
    qint64 SavedRowsOffset = -1;
    bool CutLastLine = false;
    // The first damaged record and how many bytes from it on were left unread; empty
    // when every complete record could be read.
    QStringList Problems;
    qint64 SkippedBytes = 0;

    // The grid rows the journal knows of, those only in the base's file included.
    int GridRows() const;
    // Index into Rows of a grid row at or past BaseRows (or a fixed one).
    int IndexOfGridRow(int gridRow) const;
    bool HasBase() const { return BaseRows > FixedGridRows; }
    int UnsavedRows() const;
    int UnsavedDataPoints() const;
    // The run's own rows: the first and the last time one entered the grid.
    QDateTime FirstRowTime() const;
    QDateTime LastRowTime() const;
    QStringList DataLines() const; // the lines of Rows
};

// Reads a journal record by record as its lines come, holding the rows but never the file.
class TJournalReader
{
  public:
    // One line without its LF; false once reading has stopped (not a journal, or damaged).
    bool AddLine(QByteArrayView line);
    // What follows the last LF: a record the crash cut.
    void End(qint64 bytesAfterLastLine);
    const TJournalContents& Contents() const { return fContents; }
    TJournalContents Take() { return std::move(fContents); }

  private:
    bool Stop(const QString& problem, qsizetype lineBytes);

    TJournalContents fContents;
    int fLineNumber = 0;
    bool fFramed = true;
    bool fStopped = false;
};

TJournalContents ParseJournal(const QByteArray& bytes);

} // namespace oxtiva
