#pragma once

#include "records/data_file.h"
#include "records/journal_format.h"
#include "science/oxygen_balance.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

namespace oxtiva
{

class TOxygenHistory;

// A recovered data file gets the oxygen balance a save would have written beside it: its
// data-point rows are replayed through the balance with the constants the file holds.

// The balance's constants as a data file's VARIABLES hold them (Vhp, Vgp, Tl, FGpO2, b0, n0,
// bs and alpha, which then holds at every cell temperature). The file keeps no seal leak:
// it stays 0. A value that cannot be read keeps the default.
TOxygenBalanceConstants
OxygenConstantsOfVariables(const std::array<QString, DataFileVariableCount>& values);

// What the replay takes from the VARIABLES besides the constants; 0 where a value cannot
// be read.
struct TReplaySettings {
    double RCDurationS = 0;      // the window an isotherm point's b is the mean over
    double DataPointLengthS = 0; // the longest a point without one before it may span
};
TReplaySettings ReplaySettingsOfVariables(const std::array<QString, DataFileVariableCount>& values);

// A data file's DATA lines, grid row 0 (the captions) first; empty without a DATA mark.
QStringList DataFileDataLines(const QString& text);

// When each of the recovered file's lineCount DATA lines entered the grid, where the
// journal knows it: the journal's rows from RecoveredJournalRowsStart on end the recovered
// file. A row copied from the saved file has no time (null).
std::vector<QDateTime> JournalRowTimes(const TJournalContents& contents, qsizetype lineCount);

class TReplay;

// The data-point rows of a file's DATA lines through aHistory (its constants already set),
// each with its line index as the grid row, handed over one line at a time so that a
// month's file is never held. A point's span is the growth of its "Duration, s" over the
// point before (its whole duration after a step change; at most one data point length with
// no point before it, at the file's start or after a pause). It ends where the point before
// it ended plus its span; the first point, and the first after a state row, end at their
// journal time where there is one. Its charge is its mean current over the span. A step
// counts as completed where the next data row, with no state row between, has the next
// step or none.
class TDataLineReplay
{
  public:
    TDataLineReplay(const std::vector<QDateTime>& rowTimes, const TReplaySettings& settings,
                    TOxygenHistory& history);
    ~TDataLineReplay();
    // Lines from FixedGridRows on, in order; index is the line's from 0 (the captions).
    void Add(int index, const QString& line);
    // The run's start, the first point's start (NowDays() clock), or 0 without a data point.
    double RunStart() const;

  private:
    std::unique_ptr<TReplay> fReplay;
};

// All lines at once, through a TDataLineReplay; returns its RunStart.
double ReplayDataLines(const QStringList& lines, const std::vector<QDateTime>& rowTimes,
                       const TReplaySettings& settings, TOxygenHistory& history);

// Writes "<stem>_oxygen.csv" and "<stem>_isotherm.csv" beside the recovered data file,
// reading the file line by line; false with the reason.
bool WriteRecoveredOxygenFiles(const TJournalContents& contents, const QString& dataFilePath,
                               QString& errorText);

} // namespace oxtiva
