#pragma once

#include "records/shared_chunks.h"
#include "science/content_tail.h"
#include "science/oxygen_balance.h"
#include "science/oxygen_constants.h"

#include <cstddef>
#include <limits>
#include <vector>

namespace oxtiva
{

// A data point of the balance: what it was given and what it gave.
struct TOxygenRecord {
    TOxygenPointInput Input;
    TOxygenPointResult Result;
    bool Steady = false; // held steady under PID control: a point of a leak hold
    int GridRow = -1;    // its row of the data grid, where it has one
};

// A point that completed a step of a step program: one point of the isotherm, whose b is
// the mean over the step's last stability window, and the b the step was heading for.
struct TIsothermPoint {
    int Step = 0;          // the step's number, from 1
    std::size_t Index = 0; // of its record
    std::size_t First = 0; // of the window's first record
    TContentTail Tail;
};

// b over a stretch of records: its mean and its standard deviation (0 for one record),
// and the means of pO2 and cell temperature over the same records (0: not taken).
struct TContentSpread {
    double Mean = 0;
    double Spread = 0;
    double pO2 = 0;
    double CellK = 0;
};

// Every point of the balance with its inputs, the constants with the time from which
// each holds, and the points that make up the isotherm. A point is booked with the
// constants in force at its middle and alpha at its temperature, so a change from now
// on leaves the points before it as they were; a change of the sample's constants, or
// one the operator applies to the whole run, replays the run. Adding a point costs the
// same at any length: records live in shared chunks, which never move what they hold, and
// a copy of the history, which a save writes on its own thread, costs a pointer per chunk.
class TOxygenHistory
{
  public:
    const TOxygenRecord& Add(const TOxygenPointInput& point, bool steady = false, int gridRow = -1);
    // The newest point completed step aStep; false when there is no point yet. The
    // isotherm point takes b over the points of the last aWindowS seconds (at least the
    // newest one), and the exponential of the step's tail from aStepStartS on (not
    // finite: from the end of the step before).
    bool MarkStepCompleted(int aStep, double aWindowS = 0,
                           double aStepStartS = -std::numeric_limits<double>::infinity());
    TContentSpread Content(const TIsothermPoint& aPoint) const;
    // These constants over the whole run, alpha at every temperature; replays every point.
    void SetConstants(const TOxygenBalanceConstants& constants);
    // The operator's constants from aFromS on, a changed alpha measured at aCellK; with
    // aWholeRun they hold over the whole run instead. Replays only what they change.
    void ChangeConstants(const TOxygenBalanceConstants& constants, double aFromS, double aCellK,
                         bool aWholeRun);
    // The newest constants over the whole run.
    void ApplyToWholeRun();

    // The newest constants as entered (LeakAlpha the last alpha entered).
    const TOxygenBalanceConstants& Constants() const { return fConstants.back().Constants; }
    const TConstantsHistory& ConstantsHistory() const { return fConstants; }
    // alpha as the newest point was booked with, or the newest entered without a point.
    double CurrentAlpha() const;
    std::size_t Size() const { return fRecords.size(); }
    bool Empty() const { return fRecords.empty(); }
    const TOxygenRecord& At(std::size_t i) const { return fRecords[i]; }
    const TOxygenRecord& Last() const { return fRecords.back(); }
    const std::vector<TIsothermPoint>& Isotherm() const { return fIsotherm; }
    int Gaps() const { return fBalance.Gaps(); }

  private:
    void Replay();
    TOxygenBalanceConstants ConstantsFor(const TOxygenPointInput& point);

    TConstantsHistory fConstants = OneConstantsPeriod({});
    std::size_t fPeriod = 0; // in force at the newest point
    TOxygenBalance fBalance;
    TSharedChunks<TOxygenRecord> fRecords;
    std::vector<TIsothermPoint> fIsotherm;
};

// The change of b over aWindowS by the least-squares line through the points of the last
// aWindowS seconds that start at or after aFromS; infinite with fewer than three such
// points, since then nothing can be judged settled.
double ContentDrift(const TOxygenHistory& aHistory, double aFromS, double aWindowS);

} // namespace oxtiva
