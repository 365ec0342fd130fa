#pragma once

#include "sup/data/Field.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVariant>

namespace sup::data {

class Column;

// The Brazilian locale the working sets show values in.
const QLocale& brazilianLocale();

// Text of a value under a display format, in the Brazilian locale:
//   numbers: "###,##0.000" -> 1.234,500 ("," in the format groups thousands, "0" forces a digit,
//            "#" an optional one, "." is the decimal point; up to three sections
//            "positive;negative;zero"; quoted texts are literal); halves round away from zero.
//            An empty format shows up to 15 significant digits without grouping ("1234,5").
//   date-times: "dd/mm/yyyy", "dd/mm/yyyy hh:nn" ("m" after "h" means minutes, "n" minutes,
//            "s" seconds, "z" milliseconds, "ddd"/"dddd" and "mmm"/"mmmm" names); an empty
//            format shows dd/MM/yyyy, plus HH:mm:ss when the time is not midnight.
//   booleans: "yes text;no text"; empty: "Sim"/"Não".
//   texts: shown as they are.
// A null (invalid) value shows as an empty text.
QString formatValue(const QVariant& value, FieldType type, const QString& format);
QString formatNumber(double value, QStringView format);
QString formatDateTime(const QDateTime& value, QStringView format);
// One cell of a column, without going through QVariant.
QString formatCell(const Column& column, qsizetype row, QStringView format);
// The text an edit mask ("mask;saveLiterals;blank") shows for a stored value. When the mask's
// literals are not stored ("0"), the value's characters fill the mask's input places in order
// and each literal is put back before the next character ("01010010001" under
// "99.99.999.9999;0;_" shows "01.01.001.0001"); otherwise the value shows as it is.
QString formatMasked(const QString& value, QStringView editMask);

// Reads a number as typed by a Brazilian user ("1.234,5", "10,5"), also accepting the C form
// ("10.5"). Blanks around are ignored. False when the text is not a number.
bool parseNumber(QStringView text, double* value);
// Reads a date or date-time: dd/MM/yyyy with an optional HH:mm or HH:mm:ss, or the ISO forms.
// The result is a naive value (Qt::UTC); invalid when the text is not a date.
QDateTime parseDateTime(QStringView text);

} // namespace sup::data
