#include "sup/data/DayNumber.h"

#include <cmath>

namespace sup::data {

namespace {

const qint64 kJulianDayZero = QDate(1899, 12, 30).toJulianDay();
constexpr double kMsPerDay = 86400000.0;
// Beyond this many days (some 270 million years) a day number is not a date: QDate's own range
// ends not far past it, and the conversion to a whole day count must stay exact.
constexpr double kMaxDays = 1.0e11;

bool usableDay(double day) {
    return day != 0.0 && std::isfinite(day) && std::fabs(day) <= kMaxDays;
}

} // namespace

double toDayNumber(const QDate& date) {
    return date.isValid() ? double(date.toJulianDay() - kJulianDayZero) : 0.0;
}

double toDayNumber(const QDateTime& dateTime) {
    if (!dateTime.isValid()) {
        return 0.0;
    }
    return toDayNumber(dateTime.date()) + dateTime.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDate dateFromDayNumber(double day) {
    if (!usableDay(day)) {
        return {};
    }
    return QDate::fromJulianDay(kJulianDayZero + qint64(std::floor(day)));
}

QDateTime dateTimeFromDayNumber(double day) {
    if (!usableDay(day)) {
        return {};
    }
    const double whole = std::floor(day);
    const QDate date = QDate::fromJulianDay(kJulianDayZero + qint64(whole));
    if (!date.isValid()) {
        return {};
    }
    const auto ms = qint64(std::llround((day - whole) * kMsPerDay));
    // Naive wall-clock values are kept in UTC so that no time-zone rule shifts them.
    return QDateTime(date, QTime(0, 0), Qt::UTC).addMSecs(ms);
}

} // namespace sup::data
