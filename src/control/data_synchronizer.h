#pragma once

#include "records/date_time.h"
#include "records/logging.h"

#include <QString>

namespace oxtiva {

// Time-weighted averager of time-stamped samples: each sample stands for the interval
// that ends at it, the value at creation weighs nothing.
class TDataSynchronizer {
public:
    TDataSynchronizer(TDateTime aTime, const QString& aName);

    void Add(TDateTime aTime, double aValue);

    TDateTime TimeMin() const { return fTimeMin; }
    TDateTime TimeMax() const { return fTimeMax; }
    TDateTime TimePrev() const { return fTimePrev; }
    double DurationS() const { return fDurationS; }
    double Sum() const { return fSum; }
    double Average() const; // 0 while DurationS is not above 0

    TLogger L; // "TDataSynchronizer " + name, switched off

private:
    TDateTime fTimeMin;
    TDateTime fTimeMax;
    TDateTime fTimePrev;
    double fDurationS = 0;
    double fSum = 0;
};

} // namespace oxtiva
