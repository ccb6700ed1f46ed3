#pragma once

#include "records/date_time.h"
#include "records/logging.h"

#include <QString>

namespace oxtiva {

// Where a window of samples ended: its newest sample and how long that sample's value is
// known to have held. A window that continues from it loses no time between the two.
struct TSyncTail {
    TDateTime Time = 0;
    double Value = 0;
    TDateTime HeldUntil = 0;
};

// Time-weighted averager of time-stamped samples: each sample stands for the interval
// that ends at it, the value at creation weighs nothing. A value known to have held past
// its sample (HeldUntil) carries the next interval up to then, and only the rest is booked
// at the sample that ends it; that rest is the interval no reading measured.
class TDataSynchronizer {
public:
    TDataSynchronizer(TDateTime aTime, const QString& aName);
    // Continues where another window ended, its newest value held as that window knew.
    TDataSynchronizer(const TSyncTail& aTail, const QString& aName);

    void Add(TDateTime aTime, double aValue);
    // The newest sample's value is known to have held until aTime.
    void HeldUntil(TDateTime aTime);

    TDateTime TimeMin() const { return fTimeMin; }
    TDateTime TimeMax() const { return fTimeMax; }
    TDateTime TimePrev() const { return fTimePrev; }
    double DurationS() const { return fDurationS; }
    double Sum() const { return fSum; }
    double Average() const; // 0 while DurationS is not above 0
    // The mean over the window of the running integral from its start: for the pump
    // current, the charge a point stands for when its other quantities are means too.
    double MeanRunningSum() const;
    // The longest stretch between a held value and the next sample.
    double LongestUnmeasuredS() const { return fLongestUnmeasuredS; }
    TSyncTail Tail() const { return {fTimePrev, fLastValue, fHeldUntil}; }

    TLogger L; // "TDataSynchronizer " + name, switched off

private:
  // Books aValue over [aFrom, aTo], both in days.
  void Book(TDateTime aFrom, TDateTime aTo, double aValue);

  TDateTime fTimeMin;
  TDateTime fTimeMax;
  TDateTime fTimePrev;
  double fDurationS = 0;
  double fSum = 0;
  double fMoment = 0; // integral of value * seconds since TimeMin
  bool fHasValue = false;
  double fLastValue = 0;
  TDateTime fHeldUntil = 0;
  double fLongestUnmeasuredS = 0;
};

} // namespace oxtiva
