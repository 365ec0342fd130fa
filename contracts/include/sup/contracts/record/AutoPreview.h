#pragma once

#include "sup/data/Field.h"

#include <QString>

namespace sup::contracts {

// The preview of the automatic alteration (VisAltAtuItem): one row per selected item, in the
// items' order. The item as it was loaded (tree code, name, brand, quantity and delivery date),
// what the alteration makes of it (the same fields, "NOVO"/"NOVA"), whether it is altered
// (IDALTERA "S"/"N"), why not (IDRECUSA, one of the letters below, with the reason in DSMOTIVO)
// and whether the OL's free stock of its new product and brand falls short (IDSEMSALDO "S"/"N";
// the alteration goes on and warns). A refused item keeps what it would have become, when the
// alteration got that far with it, so that the user sees what was refused.
data::FieldDefs visAltAtuItemFields();

// IDRECUSA: why an item is not altered.
namespace refusal {
inline const QString kConflict = QStringLiteral("C");      // changed by another user since loaded
inline const QString kAdjustment = QStringLiteral("J");    // an adjustment item
inline const QString kRepeated = QStringLiteral("R");      // sent twice
inline const QString kQuantity = QStringLiteral("Q");      // would end with no quantity
inline const QString kOrderDate = QStringLiteral("O");     // new date before the order's
inline const QString kCalendar = QStringLiteral("D");      // off the branch's purchase calendar
inline const QString kParticularity = QStringLiteral("P"); // the branch's particularity
inline const QString kEqual = QStringLiteral("I");         // would end equal to another item
inline const QString kUnchanged = QStringLiteral("N");     // nothing of it changes
} // namespace refusal

} // namespace sup::contracts
