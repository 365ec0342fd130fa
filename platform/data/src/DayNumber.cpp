#include "sup/data/DayNumber.h"

#include <QTimeZone>

#include <cmath>

namespace sup::data {

namespace {
const qint64 kJulianDayZero = QDate(1899, 12, 30).toJulianDay();
constexpr double kMsPerDay = 86400000.0;
} // namespace

double toDayNumber(const QDate& date)
{
    return date.isValid() ? double(date.toJulianDay() - kJulianDayZero) : 0.0;
}

double toDayNumber(const QDateTime& dateTime)
{
    if (!dateTime.isValid()) {
        return 0.0;
    }
    return toDayNumber(dateTime.date()) + dateTime.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDate dateFromDayNumber(double day)
{
    if (day == 0.0 || !std::isfinite(day)) {
        return {};
    }
    return QDate::fromJulianDay(kJulianDayZero + qint64(std::floor(day)));
}

QDateTime dateTimeFromDayNumber(double day)
{
    if (day == 0.0 || !std::isfinite(day)) {
        return {};
    }
    const double whole = std::floor(day);
    const auto ms = qint64(std::llround((day - whole) * kMsPerDay));
    return QDateTime(QDate::fromJulianDay(kJulianDayZero + qint64(whole)), QTime(0, 0),
                     Qt::UTC)
        .addMSecs(ms);
}

} // namespace sup::data
