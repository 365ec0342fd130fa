#pragma once

#include "sup/contracts/ServerResult.h"

#include <QString>
#include <QStringView>

class QWidget;

namespace sup::host {

class TDBGrid;

// Checking the answer of a server call: (answer, true, 0) yields the payload, (answer, true, 1)
// a boolean-like value; a server-reported failure raises EServerError with the server's message.
using sup::contracts::CheckResultServ;
using sup::contracts::EServerError;
using sup::contracts::resultAsBoolean;

// True for an empty text or one made only of blanks (spaces, tabs, line breaks).
bool EmptyString(QStringView text);

// The stored form of a code of `places` places:
//  - surrounding blanks are removed;
//  - a code made only of digits is padded on the left with zeros to `places`; a longer one loses
//    leading zeros down to `places` (it keeps its value), other digits are kept;
//  - any other code (letters, signs) is kept as typed, without the blanks: codes are compared
//    without regard to letter case, so "abc" finds the stored "ABC";
//  - an empty or blank text stays empty.
// Examples (5 places): "12" -> "00012", " 00012 " -> "00012", "0000012" -> "00012",
// "ab1" -> "ab1".
QString Ajusta(QStringView text, int places);

// Index (0-based) of the grid column that shows `fieldName` (letter case ignored); -1 if none.
int IndiceCol(const TDBGrid* grid, QStringView fieldName);

// Enables or disables every control inside `container` (its descendants, not the container).
void SetChildEnabled(QWidget* container, bool enabled);

// `text` repeated `count` times (empty for count <= 0).
QString Replicate(QStringView text, int count);

// `value` rounded to `decimals` places, halves away from zero, on its decimal form: 2.675 ->
// 2.68 (the binary double lies just below 2.675, which plain rounding would take to 2.67).
double RoundDec(double value, int decimals);

} // namespace sup::host
