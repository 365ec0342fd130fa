#pragma once

#include "sup/sql/Database.h"

#include <QString>
#include <QStringList>

namespace sup::server {

// Version of the schema that installSchema writes (kept in SCHEMAVERSAO).
constexpr int kSchemaVersion = 6;

// The DDL for one database, with the dialect's types filled in, statement by statement.
QStringList schemaStatements(sql::Dialect dialect);

// Creates every table, index and SQL function of the server on an empty database, in one
// transaction; does nothing when the schema is already installed at kSchemaVersion, and brings
// a database of an earlier version up to it (keeping its data). Throws sql::SqlError (also for a
// database of a later schema version).
void installSchema(sql::Connection& conn);

// True when the database holds the server's schema.
bool schemaInstalled(const sql::Connection& conn);

// Tables of the schema in an order in which they can be filled (referenced tables first).
QStringList schemaTables();

} // namespace sup::server
