#pragma once

#include "science/oxygen_balance.h"

#include <cstddef>
#include <deque>
#include <vector>

namespace oxtiva
{

// A data point of the balance: what it was given and what it gave.
struct TOxygenRecord {
    TOxygenPointInput Input;
    TOxygenPointResult Result;
};

// A point that completed a step of a step program: one point of the isotherm.
struct TIsothermPoint {
    int Step = 0;          // the step's number, from 1
    std::size_t Index = 0; // of its record
};

// Every point of the balance with its inputs, so that a change of a constant can replay
// the run, and the points that make up the isotherm. Adding a point costs the same at
// any length: records live in a deque, which never moves what it holds.
class TOxygenHistory
{
  public:
    const TOxygenRecord& Add(const TOxygenPointInput& point);
    // The newest point completed step aStep; false when there is no point yet.
    bool MarkStepCompleted(int aStep);
    // Replays every point with the new constants.
    void SetConstants(const TOxygenBalanceConstants& constants);

    const TOxygenBalanceConstants& Constants() const { return fBalance.Constants(); }
    std::size_t Size() const { return fRecords.size(); }
    bool Empty() const { return fRecords.empty(); }
    const TOxygenRecord& At(std::size_t i) const { return fRecords[i]; }
    const TOxygenRecord& Last() const { return fRecords.back(); }
    const std::vector<TIsothermPoint>& Isotherm() const { return fIsotherm; }
    int Gaps() const { return fBalance.Gaps(); }

  private:
    TOxygenBalance fBalance;
    std::deque<TOxygenRecord> fRecords;
    std::vector<TIsothermPoint> fIsotherm;
};

} // namespace oxtiva
