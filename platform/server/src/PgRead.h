#pragma once

// SELECTs on PostgreSQL read with libpq straight into the typed columns of a packet, past the
// QtSql driver's one QVariant per cell. The query runs on the driver's own connection (so in the
// caller's transaction) with its values sent as text and its rows received in binary.

#include "sup/data/Column.h"
#include "sup/data/Field.h"
#include "sup/sql/Database.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>

#include <optional>
#include <utility>
#include <vector>

namespace sup::server {

// Runs `sql` with its "?" placeholders bound to `binds` in order and appends every row to
// `cols` (one per field of `fields`, in the order of the SELECT's columns). Returns false,
// having read nothing, when the query must go through QtSql instead: the connection is not
// PostgreSQL, the driver gives no libpq handle, a query of the driver is still being read on it,
// or the text uses named placeholders. Throws sql::SqlError.
bool selectPostgres(const sql::Connection& conn, const data::FieldDefs& fields, const QString& sql,
                    const QVariantList& binds, std::vector<data::Column>& cols);

// The statement with its "?" placeholders numbered $1, $2... (outside quoted texts, quoted
// names and comments), with the number of placeholders; nullopt when it has a named one
// (":NAME").
std::optional<std::pair<QByteArray, int>> numberPlaceholders(const QString& sql);

} // namespace sup::server
