#pragma once

#include "sup/data/DataPacket.h"
#include "sup/sql/Database.h"

#include <QString>
#include <QVariantList>

namespace sup::server {

// The order items as the item working set takes them: every field of the order item record, in
// its order, CDFILDEST shown as "code - branch name" (34 characters), CALC and ALTERADO "N".
// `where` is a condition on the item table (alias I) with "?" placeholders for `binds`; empty:
// every open item. Rows come in the order of the item key (destination, launching branch, order,
// delivery date, product, brand).
data::DataPacket selectItems(const sql::Connection& conn, const QString& where = {},
                             const QVariantList& binds = {});

// True when operators may see and change only the items of the branches linked to them
// (FILIOPER): anything but "N" in the general parameter IDRESTRFILIOPER, also none at all. Reads
// and writes of items follow the same rule.
bool branchesRestricted(const sql::Connection& conn);

// The SELECT behind selectItems, for a condition.
QString itemSelectSql(sql::Dialect dialect, const QString& where);

} // namespace sup::server
