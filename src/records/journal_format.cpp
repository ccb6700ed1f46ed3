#include "records/journal_format.h"

#include "records/whole_file.h"

#include <algorithm>
#include <optional>

namespace oxtiva
{

namespace
{

constexpr char HeadTag[] = "head";
constexpr char RowTag[] = "row";
constexpr char SavedTag[] = "saved";
constexpr char BaseTag[] = "base";
constexpr char StepsTag[] = "steps";
constexpr char ClosedTag[] = "closed";
constexpr char PointKind[] = "point";
constexpr char OtherKind[] = "other";

// Tag, sample name, formula, the variables, notes.
constexpr int HeadFieldCount = 4 + DataFileVariableCount;

void AppendEscaped(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out.append("\\\\");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        default:
            out.append(c);
        }
    }
}

bool Unescape(QByteArrayView field, QString& text)
{
    QByteArray utf8;
    utf8.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            utf8.append(field[i]);
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
        case '\\':
            utf8.append('\\');
            break;
        case 't':
            utf8.append('\t');
            break;
        case 'n':
            utf8.append('\n');
            break;
        case 'r':
            utf8.append('\r');
            break;
        default:
            return false;
        }
    }
    text = QString::fromUtf8(utf8);
    return true;
}

QByteArray Record(const QStringList& fields)
{
    QByteArray record;
    for (const QString& field : fields) {
        if (!record.isEmpty()) record.append('\t');
        AppendEscaped(record, field);
    }
    QByteArray out = '~' + QByteArray::number(record.size()) + ':' +
                     QByteArray::number(Crc32(record), 16).rightJustified(8, '0') + '\t';
    out += record;
    out.append('\n');
    return out;
}

// The record inside a frame, or false when the frame does not hold what it says.
bool Unframe(QByteArrayView line, QByteArrayView& record, QString& problem)
{
    const qsizetype colon = line.indexOf(':');
    const qsizetype tab = line.indexOf('\t');
    bool lengthOk = false;
    bool checksumOk = false;
    const qsizetype length =
        line.startsWith('~') && colon > 1 ? line.sliced(1, colon - 1).toLongLong(&lengthOk) : -1;
    const quint32 checksum =
        tab == colon + 9 ? line.sliced(colon + 1, 8).toUInt(&checksumOk, 16) : 0;
    if (!lengthOk || !checksumOk) {
        problem = QStringLiteral("no record frame");
        return false;
    }
    record = line.sliced(tab + 1);
    if (record.size() != length) {
        problem = QStringLiteral("a record of %1 bytes where its frame says %2")
                      .arg(record.size())
                      .arg(length);
        return false;
    }
    if (Crc32(record) != checksum) {
        problem = QStringLiteral("a record whose checksum does not match");
        return false;
    }
    return true;
}

bool ReadHead(const QStringList& fields, TJournalHead& head)
{
    if (fields.size() != HeadFieldCount) return false;
    head.SampleName = fields[1];
    head.SampleFormula = fields[2];
    for (int i = 0; i < DataFileVariableCount; ++i)
        head.VariableValues[i] = fields[3 + i];
    head.Notes = fields.back();
    return true;
}

// A row numbered past the one expected is taken only where a damaged record was passed
// over just before it: the rows between were in that record.
bool ReadRow(const QStringList& fields, int expectedRow, bool gapAllowed, TJournalRow& row,
             QString& problem)
{
    bool ok = false;
    const int gridRow = fields.size() == 5 ? fields[1].toInt(&ok) : -1;
    if (!ok) {
        problem = QStringLiteral("a row record needs five fields");
        return false;
    }
    if (gridRow != expectedRow && !(gapAllowed && gridRow > expectedRow)) {
        problem = QStringLiteral("grid row %1 where %2 was expected").arg(gridRow).arg(expectedRow);
        return false;
    }
    row.GridRow = gridRow;
    row.Time = QDateTime::fromString(fields[2], Qt::ISODateWithMs);
    if (!row.Time.isValid() ||
        (fields[3] != QLatin1String(PointKind) && fields[3] != QLatin1String(OtherKind))) {
        problem = QStringLiteral("unreadable time or kind");
        return false;
    }
    row.DataPoint = fields[3] == QLatin1String(PointKind);
    row.Line = fields[4];
    return true;
}

bool SplitFields(QByteArrayView line, QStringList& fields)
{
    fields.clear();
    qsizetype start = 0;
    while (true) {
        const qsizetype tab = line.indexOf('\t', start);
        QString field;
        if (!Unescape(line.sliced(start, (tab < 0 ? line.size() : tab) - start), field))
            return false;
        fields << field;
        if (tab < 0) return true;
        start = tab + 1;
    }
}

// "saved" or "base": rows and file, then (since saves are checked) size and checksum, then
// (since journals are cut) where the run's rows start in the file.
bool ReadSaved(const QStringList& fields, TSavedFile& saved)
{
    const qsizetype n = fields.size();
    if (n != 3 && n != 5 && n != 6) return false;
    bool ok = false;
    saved.Rows = fields[1].toInt(&ok);
    if (!ok || saved.Rows < 0) return false;
    saved.Path = fields[2];
    if (n == 3) return true;
    bool sizeOk = false;
    bool checksumOk = false;
    saved.Size = fields[3].toLongLong(&sizeOk);
    saved.Checksum = fields[4].toUInt(&checksumOk, 16);
    if (!sizeOk || !checksumOk) return false;
    if (n == 5) return true;
    saved.RowsOffset = fields[5].toLongLong(&ok);
    return ok && saved.RowsOffset >= 0 && saved.RowsOffset <= saved.Size;
}

// One complete line after the first; false with the reason when it cannot be read. A row
// read is left in row for the reader to keep.
bool ReadRecord(QByteArrayView line, TJournalContents& contents, bool gapAllowed,
                std::optional<TJournalRow>& rowRead, QString& problem)
{
    QStringList fields;
    if (!SplitFields(line, fields)) {
        problem = QStringLiteral("broken escape");
        return false;
    }
    const QString& tag = fields.front();
    if (tag == QLatin1String(HeadTag)) {
        if (!ReadHead(fields, contents.Head)) {
            problem = QStringLiteral("a head record needs %1 fields").arg(HeadFieldCount);
            return false;
        }
        contents.HasHead = true;
        return true;
    }
    if (tag == QLatin1String(StepsTag)) {
        contents.StepLines = fields.mid(1);
        contents.HasSteps = true;
        return true;
    }
    if (tag == QLatin1String(ClosedTag)) {
        contents.ClosedNormally = true;
        return true;
    }
    if (tag == QLatin1String(RowTag)) {
        TJournalRow row;
        if (!ReadRow(fields, contents.GridRows(), gapAllowed, row, problem)) return false;
        rowRead = std::move(row);
        return true;
    }
    const bool base = tag == QLatin1String(BaseTag);
    TSavedFile saved;
    if ((!base && tag != QLatin1String(SavedTag)) || !ReadSaved(fields, saved)) {
        problem = QStringLiteral("unknown record");
        return false;
    }
    if (base) {
        // Only a new segment starts with one, right after the fixed rows.
        if (contents.HasBase() || contents.GridRows() != FixedGridRows ||
            saved.Rows < FixedGridRows || saved.RowsOffset < 0) {
            problem = QStringLiteral("a base record out of place");
            return false;
        }
        contents.BaseRows = saved.Rows;
    }
    if (saved.Rows >= contents.SavedRows) {
        contents.SavedRows = saved.Rows;
        contents.SavedFile = saved.Path;
        contents.SavedFileSize = saved.Size;
        contents.SavedFileChecksum = saved.Checksum;
        contents.SavedRowsOffset = saved.RowsOffset;
    }
    return true;
}

// Index of the run's first own row.
int RunStart(const TJournalContents& contents)
{
    return contents.IndexOfGridRow(FixedGridRows);
}

} // namespace

TJournalHead JournalHeadOf(const TDataFileContent& content)
{
    return {content.SampleName, content.SampleFormula, content.VariableValues, content.Notes};
}

TDataFileContent DataFileContentOf(const TJournalHead& head, const QString& savedAt)
{
    TDataFileContent content;
    content.SampleName = head.SampleName;
    content.SampleFormula = head.SampleFormula;
    content.SavedAt = savedAt;
    content.VariableValues = head.VariableValues;
    content.Notes = head.Notes;
    return content;
}

QByteArray JournalFirstLineBytes()
{
    return QByteArray(JournalFirstLine) + '\n';
}

QByteArray JournalHeadLine(const TJournalHead& head)
{
    QStringList fields{QLatin1String(HeadTag), head.SampleName, head.SampleFormula};
    for (const QString& value : head.VariableValues)
        fields << value;
    fields << head.Notes;
    return Record(fields);
}

QByteArray JournalRowLine(int gridRow, const TJournalRow& row)
{
    return Record({QLatin1String(RowTag), QString::number(gridRow),
                   row.Time.toUTC().toString(Qt::ISODateWithMs),
                   QLatin1String(row.DataPoint ? PointKind : OtherKind), row.Line});
}

namespace
{
QByteArray SavedFileRecord(const char* tag, const TSavedFile& saved)
{
    QStringList fields{QLatin1String(tag), QString::number(saved.Rows), saved.Path};
    if (saved.Size >= 0) {
        fields << QString::number(saved.Size) << QString::number(saved.Checksum, 16);
        if (saved.RowsOffset >= 0) fields << QString::number(saved.RowsOffset);
    }
    return Record(fields);
}
} // namespace

QByteArray JournalSavedLine(const TSavedFile& saved)
{
    return SavedFileRecord(SavedTag, saved);
}

QByteArray JournalStepsLine(const QStringList& stepLines)
{
    return Record(QStringList{QString::fromLatin1(StepsTag)} + stepLines);
}

QByteArray JournalClosedLine()
{
    return Record({QString::fromLatin1(ClosedTag)});
}

QByteArray JournalBaseLine(const TSavedFile& saved)
{
    return SavedFileRecord(BaseTag, saved);
}

bool TJournalReader::AddLine(QByteArrayView line)
{
    const qint64 lineStart = fLineStart;
    fLineStart += line.size() + 1;
    if (fStopped) return false;
    if (++fLineNumber == 1) {
        fContents.IsJournal = line == JournalFirstLine || line == JournalFirstLineVersion1;
        fFramed = line == JournalFirstLine;
        fStopped = !fContents.IsJournal;
        return !fStopped;
    }
    QString problem;
    QByteArrayView record = line;
    std::optional<TJournalRow> row;
    if ((fFramed && !Unframe(line, record, problem)) ||
        !ReadRecord(record, fContents, fSkippedSinceLastRow, row, problem))
        return Skip(QStringLiteral("line %1, byte %2: %3").arg(fLineNumber).arg(lineStart).arg(problem),
                    line.size());
    if (row) Keep(std::move(*row));
    return true;
}

void TJournalReader::Keep(TJournalRow row)
{
    fSkippedSinceLastRow = false;
    fContents.LastGridRow = row.GridRow;
    if (fRowSink) fRowSink(row);
    if (fKeeping == TJournalRowKeeping::None) return;
    if (fKeeping == TJournalRowKeeping::WithoutLines) row.Line = QString();
    fContents.Rows.push_back(std::move(row));
}

// A record is checked on its own: the intact ones after a damaged one are as trustworthy
// as those before it, and a "saved" record among them names rows its file truly holds.
bool TJournalReader::Skip(const QString& problem, qsizetype lineBytes)
{
    fSkippedSinceLastRow = true;
    ++fContents.SkippedRecords;
    fContents.SkippedBytes += lineBytes + 1;
    fContents.Problems << problem;
    return false;
}

void TJournalReader::End(qint64 bytesAfterLastLine)
{
    if (bytesAfterLastLine > 0) fContents.CutLastLine = true; // the write the crash interrupted
}

TJournalContents ParseJournal(const QByteArray& bytes)
{
    TJournalReader reader;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) break;
        reader.AddLine(QByteArrayView(bytes).sliced(start, end - start));
        start = end + 1;
    }
    reader.End(bytes.size() - start);
    return reader.Take();
}

int TJournalContents::GridRows() const
{
    if (LastGridRow < 0) return 0;
    const int next = LastGridRow + 1;
    return next == FixedGridRows ? std::max(next, BaseRows) : next;
}

int TJournalContents::IndexOfGridRow(int gridRow) const
{
    return int(std::partition_point(Rows.begin(), Rows.end(),
                                    [gridRow](const TJournalRow& row) {
                                        return row.GridRow < gridRow;
                                    }) -
               Rows.begin());
}

int TJournalContents::UnsavedRows() const
{
    return int(Rows.size()) - IndexOfGridRow(std::max(SavedRows, FixedGridRows));
}

int TJournalContents::UnsavedDataPoints() const
{
    const int first = IndexOfGridRow(std::max(SavedRows, FixedGridRows));
    return int(std::count_if(Rows.begin() + first, Rows.end(),
                             [](const TJournalRow& row) { return row.DataPoint; }));
}

// In a segment, the first row after its base: the rows before it have been saved.
QDateTime TJournalContents::FirstRowTime() const
{
    const int first = RunStart(*this);
    return first < int(Rows.size()) ? Rows[first].Time : QDateTime();
}

QDateTime TJournalContents::LastRowTime() const
{
    return int(Rows.size()) > RunStart(*this) ? Rows.back().Time : QDateTime();
}

QStringList TJournalContents::DataLines() const
{
    QStringList lines;
    lines.reserve(qsizetype(Rows.size()));
    for (const TJournalRow& row : Rows)
        lines << row.Line;
    return lines;
}

} // namespace oxtiva
