#pragma once

#include "sup/data/Field.h"

#include <QString>
#include <QVariant>

namespace sup::data {

// Text of a value under a display format, in the Brazilian locale:
//   numbers: "###,##0.000" -> 1.234,500 ("," groups thousands, "0" forces a digit, "." the
//            decimal separator); an empty format shows the shortest exact form.
//   date-times: "dd/mm/yyyy", "hh:nn" style formats; an empty format shows dd/MM/yyyy, plus the
//            time when it is not midnight.
QString formatValue(const QVariant& value, FieldType type, const QString& format);

} // namespace sup::data
