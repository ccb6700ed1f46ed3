#include "app/experiment/recovered_oxygen_file.h"

#include "app/pages/oxygen_content.h"
#include "app/window/column_table.h"
#include "control/modes.h"
#include "control/relative_change.h"
#include "records/data_file_settings.h"
#include "records/journal_recovery.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "records/windows_1252.h"
#include "science/oxygen_file.h"
#include "science/oxygen_history.h"
#include "science/oxygen_sensor.h"

#include <QFile>

#include <functional>

#include <algorithm>
#include <limits>
#include <optional>

namespace oxtiva
{

namespace
{

// The VARIABLES rows the balance reads, in file order (see DataFileVariableTail).
constexpr int BsRow = 0;
constexpr int B0Row = 2;
constexpr int N0Row = 7;
constexpr int VhpRow = 15;
constexpr int VgpRow = 16;
constexpr int TlRow = 17; // degrees Celsius
constexpr int FGpO2Row = 19;
constexpr int RCDurationRow = 23;
constexpr int DataPointLengthRow = 27;
constexpr int AlphaRow = 29;

constexpr char DataMark[] = "** DATA *************************************************";

void Read(const std::array<QString, DataFileVariableCount>& values, int row, double& value)
{
    double read = 0;
    if (ParseGridNumber(values[row], read)) value = read;
}

// One DATA line's cells by quantity.
class TDataRow
{
  public:
    explicit TDataRow(const QString& line) : fCells(SplitDataLine(line)) {}
    QString Cell(TProperty q) const { return fCells.value(ColumnOf(q).ColID); }
    std::optional<double> Number(TProperty q) const
    {
        double value = 0;
        if (!ParseGridNumber(Cell(q), value)) return std::nullopt;
        return value;
    }
    // A data point; a state row carries a state's ordinal and a date for its duration.
    bool IsDataPoint() const
    {
        int mode = 0;
        return ParseGridInteger(Cell(TProperty::Mode), mode) && mode >= FirstDataPointModeCode &&
               Number(TProperty::Time).has_value();
    }

  private:
    QStringList fCells;
};

// The minute the row's "Time" cell names: the best start a row without a journal time has.
std::optional<TDateTime> RowMinute(const TDataRow& row)
{
    const QDateTime minute =
        QDateTime::fromString(row.Cell(TProperty::Date), QStringLiteral("yyyy-MM-dd_HH:mm"));
    if (!minute.isValid()) return std::nullopt;
    return ToDays(minute);
}

} // namespace

// Follows the rows' spans and the steps they complete through the balance. Within a run
// of points the spans come from the durations, as exact as the pump record's own times; a
// row's journal time places the run anew after a state row, where a pause may have left a
// stretch no point covers.
class TReplay
{
  public:
    TReplay(const std::vector<QDateTime>& rowTimes, const TReplaySettings& settings,
            TOxygenHistory& history)
        : fRowTimes(rowTimes), fSettings(settings), fHistory(history)
    {
    }

    // A pause ends the pump record; any other state goes on from the point before.
    void StateRow(const TDataRow& row)
    {
        fAfterStateRow = true;
        int state = 0;
        if (ParseGridInteger(row.Cell(TProperty::Mode), state) &&
            state == static_cast<int>(TProgramState::Paused))
            fFollowsPoint = false;
    }

    void DataPoint(int index, const TDataRow& row)
    {
        const double duration = std::max(0.0, *row.Number(TProperty::Time));
        const int step = row.Cell(TProperty::Step).toInt();
        if (!fAfterStateRow && fStep > 0 && (step == 0 || step == fStep + 1))
            fHistory.MarkStepCompleted(fStep, fSettings.RCDurationS);
        // Without a point before it, the duration may hold points the file lost: the point
        // then spans one data point length at most.
        const double spanS = !fFollowsPoint         ? std::min(duration, FirstSpanS())
                             : duration > fDuration ? duration - fDuration
                                                    : duration;
        const QDateTime exact = index < int(fRowTimes.size()) ? fRowTimes[index] : QDateTime();
        if (!fStarted) {
            const std::optional<TDateTime> end = exact.isValid() ? ToDays(exact) : RowMinute(row);
            fRunStart = end.value_or(0) - spanS / SecondsPerDay;
            fStarted = true;
        }
        // Seconds from the run's start, so that spans keep their hundredths of a second.
        double endS = fEndS + spanS;
        if (exact.isValid() && (fAfterStateRow || !fFollowsPoint))
            endS = (ToDays(exact) - fRunStart) * SecondsPerDay;
        const double startS = fFollowsPoint ? fEndS : endS - spanS;
        endS = std::max(endS, startS);
        Balance(index, row, startS, endS);
        fEndS = endS;
        fDuration = duration;
        fStep = step;
        fFollowsPoint = true;
        fAfterStateRow = false;
    }

    TDateTime RunStart() const { return fRunStart; }

  private:
    void Balance(int index, const TDataRow& row, double startS, double endS)
    {
        const auto pO2 = row.Number(TProperty::CellpO2);
        const auto temp = row.Number(TProperty::Temp);
        // As in the live balance, a point without pO2 or temperature is left out like a gap.
        if (!pO2 || !(*pO2 > 0) || !temp || !(*temp + ZeroCelsiusK > 0)) return;
        TOxygenPointInput input;
        input.StartS = startS;
        input.EndS = endS;
        input.ChargeC = row.Number(TProperty::PumpI).value_or(0) * (input.EndS - input.StartS);
        input.CellK = *temp + ZeroCelsiusK;
        input.pO2 = *pO2;
        input.AfterPause = !fFollowsPoint;
        fHistory.Add(input, SteadyPIDCells([&row](TProperty q) { return row.Cell(q); }), index);
    }

    double FirstSpanS() const
    {
        return fSettings.DataPointLengthS > 0 ? fSettings.DataPointLengthS
                                              : std::numeric_limits<double>::infinity();
    }

    const std::vector<QDateTime>& fRowTimes;
    TReplaySettings fSettings;
    TOxygenHistory& fHistory;
    bool fStarted = false;
    TDateTime fRunStart = 0;
    bool fFollowsPoint = false;
    bool fAfterStateRow = false;
    double fEndS = 0;
    double fDuration = 0;
    int fStep = 0;
};

TOxygenBalanceConstants
OxygenConstantsOfVariables(const std::array<QString, DataFileVariableCount>& values)
{
    TOxygenBalanceConstants c;
    Read(values, VhpRow, c.HotVolumeL);
    Read(values, VgpRow, c.GradientVolumeL);
    double coldC = c.ColdEndK - ZeroCelsiusK;
    Read(values, TlRow, coldC);
    c.ColdEndK = coldC + ZeroCelsiusK;
    Read(values, AlphaRow, c.LeakAlpha);
    Read(values, FGpO2Row, c.FlushpO2);
    Read(values, B0Row, c.b0);
    Read(values, N0Row, c.n0);
    Read(values, BsRow, c.bs);
    return c;
}

TReplaySettings ReplaySettingsOfVariables(const std::array<QString, DataFileVariableCount>& values)
{
    TReplaySettings settings;
    Read(values, RCDurationRow, settings.RCDurationS);
    Read(values, DataPointLengthRow, settings.DataPointLengthS);
    return settings;
}

QStringList DataFileDataLines(const QString& text)
{
    QStringList lines = text.split(QStringLiteral("\r\n"));
    const qsizetype mark = lines.indexOf(QLatin1String(DataMark));
    if (mark < 0) return {};
    lines.remove(0, mark + 2); // the mark and the empty line after it
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast(); // after the last CR LF
    return lines;
}

std::vector<QDateTime> JournalRowTimes(const TJournalContents& contents, qsizetype lineCount)
{
    std::vector<QDateTime> times(std::size_t(std::max<qsizetype>(lineCount, 0)));
    const int rows = int(contents.Rows.size());
    qsizetype line = lineCount - 1;
    for (int i = rows - 1; i >= RecoveredJournalRowsStart(contents) && line >= FixedGridRows;
         --i, --line)
        times[std::size_t(line)] = contents.Rows[std::size_t(i)].Time;
    return times;
}

TDataLineReplay::TDataLineReplay(const std::vector<QDateTime>& rowTimes,
                                 const TReplaySettings& settings, TOxygenHistory& history)
    : fReplay(std::make_unique<TReplay>(rowTimes, settings, history))
{
}

TDataLineReplay::~TDataLineReplay() = default;

void TDataLineReplay::Add(int index, const QString& line)
{
    const TDataRow row(line);
    if (row.IsDataPoint())
        fReplay->DataPoint(index, row);
    else
        fReplay->StateRow(row);
}

double TDataLineReplay::RunStart() const
{
    return fReplay->RunStart();
}

double ReplayDataLines(const QStringList& lines, const std::vector<QDateTime>& rowTimes,
                       const TReplaySettings& settings, TOxygenHistory& history)
{
    TDataLineReplay replay(rowTimes, settings, history);
    for (int index = FixedGridRows; index < lines.size(); ++index)
        replay.Add(index, lines[index]);
    return replay.RunStart();
}

namespace
{

// Hands each CR LF line of the file from where it stands to aLine, in pieces: a month's
// file is never held. False with the cause when it cannot be read.
bool ForEachLine(QFile& file, const std::function<void(QByteArrayView line)>& aLine,
                 QString& errorText)
{
    QByteArray pending;
    while (true) {
        const QByteArray piece = file.read(1 << 20);
        if (piece.isEmpty()) break;
        pending += piece;
        qsizetype start = 0;
        for (qsizetype end; (end = pending.indexOf("\r\n", start)) >= 0; start = end + 2)
            aLine(QByteArrayView(pending).sliced(start, end - start));
        pending.remove(0, start);
    }
    if (file.error() != QFileDevice::NoError) {
        errorText = file.errorString();
        return false;
    }
    if (!pending.isEmpty()) aLine(pending); // a last line without its CR LF
    return true;
}

// How many lines follow the head (the empty line after the DATA mark included).
bool CountLines(QFile& file, qint64 from, qsizetype& count, QString& errorText)
{
    count = 0;
    if (!file.seek(from)) {
        errorText = file.errorString();
        return false;
    }
    return ForEachLine(file, [&count](QByteArrayView) { ++count; }, errorText);
}

} // namespace

bool WriteRecoveredOxygenFiles(const TJournalContents& contents, const QString& dataFilePath,
                               QString& errorText)
{
    QFile file(dataFilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = file.errorString();
        return false;
    }
    QByteArray head;
    TDataFileSettings settings;
    if (!ReadDataFileHead(file, head, errorText) ||
        !ReadDataFileSettings(head, settings, errorText))
        return false;
    // The DATA lines start after the empty line that follows the mark. Their count places
    // the journal's times, which pair from the end.
    qsizetype linesAfterHead = 0;
    if (!CountLines(file, head.size(), linesAfterHead, errorText)) return false;
    TOxygenHistory history;
    history.SetConstants(OxygenConstantsOfVariables(settings.VariableValues));
    const std::vector<QDateTime> times = JournalRowTimes(contents, linesAfterHead - 1);
    TDataLineReplay replay(times, ReplaySettingsOfVariables(settings.VariableValues), history);
    int index = -1; // the empty line after the mark
    if (!file.seek(head.size())) {
        errorText = file.errorString();
        return false;
    }
    const bool read = ForEachLine(
        file,
        [&](QByteArrayView line) {
            if (index >= FixedGridRows) replay.Add(index, Windows1252Text(line.toByteArray()));
            ++index;
        },
        errorText);
    if (!read) return false;

    TOxygenFileContent content;
    content.SampleName = settings.SampleName;
    content.SampleFormula = settings.SampleFormula;
    content.SavedAt = FormatDateTime(u"yyyy-mm-dd hh:mm", WallNow());
    content.RunStartDays = replay.RunStart();
    content.History = &history;
    return WriteOxygenFilesBeside(dataFilePath, std::move(content), errorText);
}

} // namespace oxtiva
