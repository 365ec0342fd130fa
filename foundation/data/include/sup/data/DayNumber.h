#pragma once

#include <QDate>
#include <QDateTime>

namespace sup::data {

// Day numbers as the server arguments carry dates: a double counting days from 1899-12-30
// (day 0), the fraction being the time of day. 0 stands for an empty date. Before day 0 the
// whole part is the floor (-1.25 is 1899-12-28 18:00), so every date-time has one day number.
// Numbers that are not finite or lie beyond any calendar give the empty date.
double toDayNumber(const QDate& date);         // invalid or null date -> 0
double toDayNumber(const QDateTime& dateTime); // invalid -> 0
QDate dateFromDayNumber(double day);           // 0 -> null QDate
QDateTime dateTimeFromDayNumber(double day);   // 0 -> invalid QDateTime

} // namespace sup::data
