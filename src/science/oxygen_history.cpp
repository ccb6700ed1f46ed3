#include "science/oxygen_history.h"

namespace oxtiva
{

const TOxygenRecord& TOxygenHistory::Add(const TOxygenPointInput& point)
{
    fRecords.push_back({point, fBalance.Add(point)});
    return fRecords.back();
}

bool TOxygenHistory::MarkStepCompleted(int aStep)
{
    if (fRecords.empty()) return false;
    fIsotherm.push_back({aStep, fRecords.size() - 1});
    return true;
}

void TOxygenHistory::SetConstants(const TOxygenBalanceConstants& constants)
{
    fBalance.Restart(constants);
    for (TOxygenRecord& record : fRecords)
        record.Result = fBalance.Add(record.Input);
}

} // namespace oxtiva
