#include "control/relative_change.h"

#include "records/number_format.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace oxtiva
{

namespace
{
constexpr int FirstDataRow = 2;
constexpr double NoTime = std::numeric_limits<double>::quiet_NaN();
} // namespace

bool ParseGridNumber(const QString& text, double& value)
{
    QString compact = text;
    compact.remove(u' ');
    if (compact.isEmpty()) return false;
    double parsed = 0;
    if (!ParseLocaleDouble(compact, parsed)) return false;
    value = parsed;
    return true;
}

bool ParseGridInteger(const QString& text, int& value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok);
    if (ok) value = parsed;
    return ok;
}

void TRelativeChangeWindow::Invalidate()
{
    fNextRow = FirstDataRow;
    fRunReadable = false;
    fRunMode = 0;
    fRunFirst = FirstDataRow;
    fTimes.clear();
    fSegmentStarts.clear();
}

void TRelativeChangeWindow::AddRow(const TRcGrid& grid, int row)
{
    int mode = 0;
    const bool readable = ParseGridInteger(grid.Cell(grid.ModeColumn, row), mode);
    if (!readable || !fRunReadable || mode != fRunMode || fTimes.empty()) {
        fRunFirst = row;
        fRunReadable = readable;
        fRunMode = mode;
        fTimes.clear();
        fSegmentStarts.clear();
    }
    double time = NoTime;
    if (!ParseGridNumber(grid.Cell(grid.TimeColumn, row), time)) time = NoTime;
    // A stretch in which Time never decreases can be searched by bisection; a step
    // advance (Time restarts) or an unreadable Time begins a new one.
    const bool continues =
        !fTimes.empty() && !std::isnan(time) && !std::isnan(fTimes.back()) && time >= fTimes.back();
    if (!continues) fSegmentStarts.push_back(static_cast<int>(fTimes.size()));
    fTimes.push_back(time);
}

void TRelativeChangeWindow::CatchUp(const TRcGrid& grid, int rowCount)
{
    if (rowCount < fNextRow) Invalidate(); // rows never vanish from a live grid
    for (; fNextRow < rowCount; ++fNextRow)
        AddRow(grid, fNextRow);
}

int TRelativeChangeWindow::WindowStartOffset(double tStart) const
{
    for (auto seg = fSegmentStarts.size(); seg-- > 0;) {
        const int begin = fSegmentStarts[seg];
        const int end = seg + 1 < fSegmentStarts.size() ? fSegmentStarts[seg + 1]
                                                        : static_cast<int>(fTimes.size());
        if (!(fTimes[begin] <= tStart)) continue; // the stretch's smallest Time
        const auto last = std::upper_bound(fTimes.begin() + begin, fTimes.begin() + end, tStart);
        return static_cast<int>(last - fTimes.begin()) - 1;
    }
    return -1;
}

TRcWindowStatus TRelativeChangeWindow::ReadPoints(const TRcGrid& grid, int valueColumn,
                                                  int firstRow, int rowCount,
                                                  TRcPoints& points) const
{
    points.X.clear();
    points.Y.clear();
    const double t0 = fTimes[firstRow - fRunFirst];
    for (int row = firstRow; row < rowCount; ++row) {
        const double t = fTimes[row - fRunFirst];
        double y = 0;
        if (std::isnan(t) || !ParseGridNumber(grid.Cell(valueColumn, row), y))
            return TRcWindowStatus::Unreadable;
        points.X.push_back(t - t0);
        points.Y.push_back(y);
    }
    return TRcWindowStatus::Ok;
}

TRcWindowStatus TRelativeChangeWindow::Collect(const TRcGrid& grid, int valueColumn,
                                               double rcDuration, TRcPoints& points)
{
    const int rowCount = grid.RowCount();
    if (rowCount < 3) return TRcWindowStatus::NotEnoughRows;
    CatchUp(grid, rowCount);
    if (!fRunReadable) return TRcWindowStatus::Unreadable;
    if (rowCount - fRunFirst < 3) return TRcWindowStatus::RunTooShort;
    const double tEnd = fTimes.back();
    if (std::isnan(tEnd)) return TRcWindowStatus::Unreadable;
    const int offset = WindowStartOffset(tEnd - rcDuration);
    if (offset < 0) return TRcWindowStatus::WindowTooShort;
    return ReadPoints(grid, valueColumn, fRunFirst + offset, rowCount, points);
}

} // namespace oxtiva
