#pragma once

#include "records/data_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
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
// the last line, which a reader ignores. A damaged record (a bad sector, a flipped bit) is
// passed over: the reader goes on at the next line that holds an intact record, so one bad
// spot costs its own rows, never the weeks of rows after it. Grid rows numbered past a
// skipped record are taken as they are numbered, so a "saved" record after it still says
// truly which rows its file holds. Journals of the first version, without frames, are
// still read.

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
    int GridRow = -1;       // as its record numbers it, when read from a journal
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
    QString Path;           // the file, when read from one (ReadJournal)
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
    int LastGridRow = -1;         // of the last row read
    bool CutLastLine = false;
    // Each damaged line passed over, where it was ("line 13, byte 2410: ...") and why;
    // empty when every complete record could be read. The lines and bytes left out in all.
    QStringList Problems;
    int SkippedRecords = 0;
    qint64 SkippedBytes = 0;

    // The grid rows the journal knows of, those only in the base's file included.
    int GridRows() const;
    // Index into Rows of the first row numbered gridRow or later (Rows.size() when none).
    int IndexOfGridRow(int gridRow) const;
    bool HasBase() const { return BaseRows > FixedGridRows; }
    int UnsavedRows() const;
    int UnsavedDataPoints() const;
    // The run's own rows: the first and the last time one entered the grid.
    QDateTime FirstRowTime() const;
    QDateTime LastRowTime() const;
    QStringList DataLines() const; // the lines of Rows
};

// What a reader keeps of the rows it reads: everything; the rows without their text, for
// a journal of weeks whose text is then written straight from the file; or nothing.
enum class TJournalRowKeeping { Whole, WithoutLines, None };
using TJournalRowSink = std::function<void(const TJournalRow& row)>;

// Reads a journal record by record as its lines come, never holding the file. Each row
// read goes to the sink, when one is given, and is kept as told.
class TJournalReader
{
  public:
    explicit TJournalReader(TJournalRowKeeping keeping = TJournalRowKeeping::Whole,
                            TJournalRowSink sink = {})
        : fKeeping(keeping), fRowSink(std::move(sink))
    {
    }

    // One line without its LF; false once reading has stopped (not a journal) or when the
    // line was damaged and passed over.
    bool AddLine(QByteArrayView line);
    // What follows the last LF: a record the crash cut.
    void End(qint64 bytesAfterLastLine);
    const TJournalContents& Contents() const { return fContents; }
    TJournalContents Take() { return std::move(fContents); }

  private:
    bool Skip(const QString& problem, qsizetype lineBytes);
    void Keep(TJournalRow row);

    TJournalRowKeeping fKeeping;
    TJournalRowSink fRowSink;
    TJournalContents fContents;
    int fLineNumber = 0;
    qint64 fLineStart = 0; // byte offset of the line being read
    bool fFramed = true;
    bool fStopped = false;
    bool fSkippedSinceLastRow = false;
};

TJournalContents ParseJournal(const QByteArray& bytes);

} // namespace oxtiva
