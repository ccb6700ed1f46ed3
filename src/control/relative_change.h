#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace oxtiva
{

// How the relative-change computation sees the data grid: row 0 is the caption row,
// row 1 the empty row, data and state rows follow. Columns by index.
struct TRcGrid {
    std::function<int()> RowCount;
    std::function<QString(int column, int row)> Cell;
    int ModeColumn = 1;
    int TimeColumn = 0;
};

enum class TRcWindowStatus {
    Ok,
    NotEnoughRows,  // the grid holds no data row yet
    RunTooShort,    // fewer than three rows since the last change of mode code
    WindowTooShort, // the run does not yet span the relative-change duration
    Unreadable      // a Mode, Time or value cell that is not a number
};

// The points of the least-squares fit: x in seconds from the window's first row.
struct TRcPoints {
    std::vector<double> X;
    std::vector<double> Y;
};

// Finds the stretch of the current run (the newest rows with the same mode code) that
// covers the last rcDuration seconds and reads its points from valueColumn.
//
// The window starts at the newest row whose Time is at or below Time(last) - rcDuration;
// the search goes on through earlier steps of the run, whose Time restarted from zero.
// The run's start and the Time values are remembered between calls, since the grid only
// ever grows: a call costs the same on the thirtieth day of a run as on the first, where
// rereading the run would grow with it. Numbers are read with the locale that wrote them.
class TRelativeChangeWindow
{
  public:
    TRcWindowStatus Collect(const TRcGrid& grid, int valueColumn, double rcDuration,
                            TRcPoints& points);
    // Forget everything, for a grid that was replaced.
    void Invalidate();

  private:
    void CatchUp(const TRcGrid& grid, int rowCount);
    void AddRow(const TRcGrid& grid, int row);
    int WindowStartOffset(double tStart) const;
    TRcWindowStatus ReadPoints(const TRcGrid& grid, int valueColumn, int firstRow, int rowCount,
                               TRcPoints& points) const;

    int fNextRow = 2;
    bool fRunReadable = false;
    int fRunMode = 0;
    int fRunFirst = 2;
    std::vector<double> fTimes;      // Time of each run row (NaN when unreadable)
    std::vector<int> fSegmentStarts; // offsets where a non-decreasing stretch of Time begins
};

// Grid numbers as they were written: blanks dropped, the locale's decimal separator.
bool ParseGridNumber(const QString& text, double& value);
bool ParseGridInteger(const QString& text, int& value);

} // namespace oxtiva
