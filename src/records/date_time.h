#pragma once

#include <QDateTime>

#include <optional>

namespace oxtiva {

// A point in time as a count of days (the fraction is the time of day), the form in
// which the experiment's time stamps are kept and subtracted: a difference times
// 86400 gives seconds.
using TDateTime = double;

// Every time stamp that is later subtracted (averager samples, step and experiment
// starts, save times, alarms, durations) comes from here. It runs on the steady clock,
// set to the wall clock (UTC days) when the process first reads it: the PC's time
// synchronisation or someone setting the clock steps the wall clock, and a step under a
// running point would book charge that never flowed, end a step early or hold up an
// alarm. Daylight saving changes nothing either. After a wall-clock step it no longer
// reads as the wall clock does: what is shown or stamped takes WallNow or WallTimeOf.
TDateTime NowDays();

// The wall clock, which stamps rows and files and is never subtracted.
QDateTime WallNow();     // local time
TDateTime WallNowDays(); // UTC days, as NowDays counts them
// The wall clock's time at an instant of NowDays(), as the wall clock reads now.
QDateTime WallTimeOf(TDateTime steadyDays);

// Where the wall clock is read: the system's clock unless replaced (nullptr restores it).
// Any thread may read it while it is replaced.
using TWallClockReader = QDateTime (*)();
void SetWallClockReader(TWallClockReader reader);

// Notices a step of the wall clock against the steady one: each call compares how far
// the two moved apart since the call before.
class TWallClockWatch
{
  public:
    // The step in seconds since the last call, when it is larger than the tolerance.
    std::optional<double> Step();

  private:
    std::optional<double> fOffsetS;
};
// The two clocks are read a few microseconds apart and a synchronising PC slews its clock
// by parts per million: a second apart is a step.
inline constexpr double WallClockStepToleranceS = 1.0;

// Converts a day count of UTC days into local wall-clock time, for what is shown to
// the operator or written as a date.
QDateTime ToLocalDateTime(TDateTime days);

// UTC day count for a given instant.
TDateTime ToDays(const QDateTime& instant);

constexpr double SecondsPerDay = 86400.0;

} // namespace oxtiva
