#pragma once

#include <QDateTime>

namespace oxtiva {

// A point in time as a count of days (the fraction is the time of day), the form in
// which the experiment's time stamps are kept and subtracted: a difference times
// 86400 gives seconds.
using TDateTime = double;

// Every time stamp that is later subtracted (averager samples, step and experiment
// starts, save times, durations) comes from here. It counts UTC days, so a daylight
// saving change or a time-zone change never makes an hour appear or vanish in the
// middle of a week-long experiment.
TDateTime NowDays();

// Converts a day count of NowDays() into local wall-clock time, for what is shown to
// the operator or written as a date.
QDateTime ToLocalDateTime(TDateTime days);

// Day count of NowDays() for a given instant.
TDateTime ToDays(const QDateTime& instant);

constexpr double SecondsPerDay = 86400.0;

} // namespace oxtiva
