#pragma once

#include "sup/sql/Database.h"

#include <QDate>
#include <QString>

namespace sup::server {

struct SeedOptions {
    qsizetype items = 3000;     // order items
    quint64 seed = 7700;        // same options, same data
    QDate baseDate{2026, 3, 2}; // the "today" of the data set (delivery dates around it)
    QString password = QStringLiteral("sup07700"); // password of every seeded operator
    bool fastHash = false;                         // Argon2id at its minimum cost (tests only)
};

// Operator codes of the data set.
inline const QString kDemoOperator = QStringLiteral("DEMO");        // group authorisation BLIP
inline const QString kPlainOperator = QStringLiteral("COMPRAS1");   // no group authorisation
inline const QString kManagerOperator = QStringLiteral("GERENTE1"); // releases direct delivery
inline const QString kBranchOperator = QStringLiteral("LOJA0012");  // bound to branch 0012
inline const QString kCentralBranch = QStringLiteral("0001");       // processing branch of DEMO
// A store that checks brand preferences, with a particularity of each kind on the products of
// its first open items.
inline const QString kPreferenceBranch = QStringLiteral("0011");
// Tree code of a product that no OL handles (no relationship, no stock).
inline const QString kProductWithoutOlTree = QStringLiteral("02010019001");

// Fills an empty database (schema installed) with a deterministic, realistic data set:
// regions, routes, central branches, stores and logistics operators; a four-level product tree
// whose codes fit the mask of PARAMGERAL; brands, particularities, OL relationships and stock;
// dispatch batches, purchase calendar, purchase requests, quantity adjustments, option profiles;
// operators and groups; and `items` order items (blocked, reserved, adjustment, batch and extra
// items, items of several OLs, items whose product has no OL relationship, written off...).
// Runs in one transaction; throws sql::SqlError (also when the database already has data).
void seedDatabase(sql::Connection& conn, const SeedOptions& options);

// Argon2id hash of a password (libsodium crypto_pwhash_str); `fast` uses the minimum cost.
QString hashPassword(const QString& password, bool fast = false);
bool verifyPassword(const QString& hash, const QString& password);

} // namespace sup::server
