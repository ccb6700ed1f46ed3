#include "records/date_time.h"

#include <QTimeZone>

namespace oxtiva {

namespace {
// Day zero of the day count, as in the date-times the data files have always used.
const QDateTime& Epoch()
{
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), QTimeZone::utc());
    return epoch;
}
} // namespace

TDateTime ToDays(const QDateTime& instant)
{
    return static_cast<double>(Epoch().msecsTo(instant)) / (SecondsPerDay * 1000.0);
}

TDateTime NowDays() { return ToDays(QDateTime::currentDateTimeUtc()); }

QDateTime ToLocalDateTime(TDateTime days)
{
    const auto msecs = static_cast<qint64>(days * SecondsPerDay * 1000.0 + (days >= 0 ? 0.5 : -0.5));
    return Epoch().addMSecs(msecs).toLocalTime();
}

} // namespace oxtiva
