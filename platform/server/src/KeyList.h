#pragma once

// Key lists: the text in which the screens send a multiple choice of keys (branches, operators,
// regions, routes, brands, sub-groups, batches). Each key is written "_" + key + "_" and the
// keys are concatenated ("_0001__0002_"); commas and semicolons are accepted as separators too.
// This is the only place that reads that format.
//
// The keys never enter SQL text: keyListCondition gives a condition with one placeholder, to be
// bound with keyListValue (SQLite: a JSON array read by json_each; PostgreSQL: an array literal
// compared with = ANY).

#include "sup/sql/Database.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace sup::server {

QStringList parseKeyList(const QString& text);

// "<column> IN (<the keys>)" with one "?" placeholder; letter case ignored as for codes.
QString keyListCondition(sql::Dialect dialect, const QString& column);
QVariant keyListValue(sql::Dialect dialect, const QStringList& keys);

} // namespace sup::server
