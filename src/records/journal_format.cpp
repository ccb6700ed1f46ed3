#include "records/journal_format.h"

#include "records/whole_file.h"

#include <algorithm>

namespace oxtiva
{

namespace
{

constexpr char HeadTag[] = "head";
constexpr char RowTag[] = "row";
constexpr char SavedTag[] = "saved";
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

bool ReadRow(const QStringList& fields, int expectedRow, TJournalRow& row, QString& problem)
{
    bool ok = false;
    const int gridRow = fields.size() == 5 ? fields[1].toInt(&ok) : -1;
    if (!ok) {
        problem = QStringLiteral("a row record needs five fields");
        return false;
    }
    if (gridRow != expectedRow) {
        problem = QStringLiteral("grid row %1 where %2 was expected").arg(gridRow).arg(expectedRow);
        return false;
    }
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

// One complete line after the first; false with the reason when it cannot be read.
bool ReadRecord(QByteArrayView line, TJournalContents& contents, QString& problem)
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
    if (tag == QLatin1String(RowTag)) {
        TJournalRow row;
        if (!ReadRow(fields, int(contents.Rows.size()), row, problem)) return false;
        contents.Rows.push_back(std::move(row));
        return true;
    }
    bool ok = false;
    const bool saved = tag == QLatin1String(SavedTag) && (fields.size() == 3 || fields.size() == 5);
    const int rows = saved ? fields[1].toInt(&ok) : 0;
    bool sizeOk = fields.size() == 3;
    bool checksumOk = fields.size() == 3;
    const qint64 size = fields.size() == 5 ? fields[3].toLongLong(&sizeOk) : -1;
    const quint32 checksum = fields.size() == 5 ? fields[4].toUInt(&checksumOk, 16) : 0;
    if (!ok || !sizeOk || !checksumOk) {
        problem = QStringLiteral("unknown record");
        return false;
    }
    if (rows >= contents.SavedRows) {
        contents.SavedRows = rows;
        contents.SavedFile = fields[2];
        contents.SavedFileSize = size;
        contents.SavedFileChecksum = checksum;
    }
    return true;
}

int RunStart(const TJournalContents& contents)
{
    return std::min<int>(FixedGridRows, int(contents.Rows.size()));
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

QByteArray JournalSavedLine(int rowCount, const QString& dataFile, qint64 fileSize,
                            quint32 fileChecksum)
{
    QStringList fields{QLatin1String(SavedTag), QString::number(rowCount), dataFile};
    if (fileSize >= 0) fields << QString::number(fileSize) << QString::number(fileChecksum, 16);
    return Record(fields);
}

bool TJournalReader::AddLine(QByteArrayView line)
{
    if (fStopped) {
        if (fContents.IsJournal) fContents.SkippedBytes += line.size() + 1;
        return false;
    }
    if (++fLineNumber == 1) {
        fContents.IsJournal = line == JournalFirstLine || line == JournalFirstLineVersion1;
        fFramed = line == JournalFirstLine;
        fStopped = !fContents.IsJournal;
        return !fStopped;
    }
    QString problem;
    QByteArrayView record = line;
    if ((fFramed && !Unframe(line, record, problem)) || !ReadRecord(record, fContents, problem))
        return Stop(problem, line.size());
    return true;
}

// Nothing after a damaged record can be trusted to follow the rows before it: a later
// "saved" record would make unread rows look saved.
bool TJournalReader::Stop(const QString& problem, qsizetype lineBytes)
{
    fStopped = true;
    fContents.SkippedBytes = lineBytes + 1;
    fContents.Problems << QStringLiteral("line %1: %2").arg(fLineNumber).arg(problem);
    return false;
}

void TJournalReader::End(qint64 bytesAfterLastLine)
{
    if (bytesAfterLastLine <= 0) return;
    if (fStopped)
        fContents.SkippedBytes += bytesAfterLastLine;
    else
        fContents.CutLastLine = true; // the write the crash interrupted
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

int TJournalContents::UnsavedRows() const
{
    return std::max(0, int(Rows.size()) - std::max(SavedRows, RunStart(*this)));
}

int TJournalContents::UnsavedDataPoints() const
{
    const int first = std::max(SavedRows, RunStart(*this));
    return int(std::count_if(Rows.begin() + std::min<int>(first, int(Rows.size())), Rows.end(),
                             [](const TJournalRow& row) { return row.DataPoint; }));
}

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
