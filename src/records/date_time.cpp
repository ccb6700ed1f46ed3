#include "records/date_time.h"

#include <QTimeZone>

#include <atomic>
#include <chrono>
#include <cmath>

namespace oxtiva {

namespace {
// Day zero of the day count, as in the date-times the data files have always used.
const QDateTime& Epoch()
{
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), QTimeZone::utc());
    return epoch;
}

QDateTime SystemWallClock()
{
    return QDateTime::currentDateTimeUtc();
}

std::atomic<TWallClockReader> gWallClock{&SystemWallClock};

using TSteady = std::chrono::steady_clock;

double SteadySeconds(TSteady::time_point t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// The steady clock's reading and the wall clock's day count at the process's first look.
struct TAnchor {
    double SteadyS;
    TDateTime WallDays;
};

const TAnchor& Anchor()
{
    static const TAnchor anchor{SteadySeconds(TSteady::now()), WallNowDays()};
    return anchor;
}
} // namespace

TDateTime ToDays(const QDateTime& instant)
{
    return static_cast<double>(Epoch().msecsTo(instant)) / (SecondsPerDay * 1000.0);
}

void SetWallClockReader(TWallClockReader reader)
{
    gWallClock.store(reader ? reader : &SystemWallClock);
}

TDateTime WallNowDays()
{
    return ToDays(gWallClock.load()());
}

QDateTime WallNow()
{
    return gWallClock.load()().toLocalTime();
}

TDateTime NowDays()
{
    const TAnchor& anchor = Anchor();
    return anchor.WallDays + (SteadySeconds(TSteady::now()) - anchor.SteadyS) / SecondsPerDay;
}

QDateTime WallTimeOf(TDateTime steadyDays)
{
    return ToLocalDateTime(steadyDays + (WallNowDays() - NowDays()));
}

std::optional<double> TWallClockWatch::Step()
{
    const double offsetS = (WallNowDays() - NowDays()) * SecondsPerDay;
    const std::optional<double> before = fOffsetS;
    fOffsetS = offsetS;
    if (!before || std::abs(offsetS - *before) <= WallClockStepToleranceS) return std::nullopt;
    return offsetS - *before;
}

QDateTime ToLocalDateTime(TDateTime days)
{
    const auto msecs = static_cast<qint64>(days * SecondsPerDay * 1000.0 + (days >= 0 ? 0.5 : -0.5));
    return Epoch().addMSecs(msecs).toLocalTime();
}

} // namespace oxtiva
