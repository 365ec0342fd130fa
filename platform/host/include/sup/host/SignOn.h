#pragma once

#include "sup/contracts/host/Vantrel.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace sup::host {

// True when `password` matches an Argon2id hash made by crypto_pwhash_str.
bool VerifyPassword(const QString& hash, const QString& password);

// An Argon2id hash of `password` (crypto_pwhash_str) with the interactive limits; `fast` uses
// the smallest limits libsodium allows (tests only).
QString HashPassword(const QString& password, bool fast = false);

// An operator of table OPERADOR.
struct OperatorRecord {
    QString code;             // CDOPERADOR
    QString name;             // NMOPERADOR
    QString passwordHash;     // DSSENHAHASH
    QString branch;           // CDFILPROC
    bool branchBound = false; // IDOPERFILI = "S"
};

// The operator of that code (trailing blanks and letter case ignored), or nullopt. Throws
// EHostError when the database fails.
std::optional<OperatorRecord> FindOperator(const QSqlDatabase& db, const QString& code);

// The values of the signed-on user from the database: the operator's code, processing branch
// and branch-bound flag, the product tree-code mask of PARAMGERAL.DSPICTPROD, and the server
// address given. Throws EHostError for an unknown operator.
TVantrel LoadSignOnValues(const QSqlDatabase& db, const QString& operatorCode,
                          const QString& webUrl = {}, int webPort = 0);

} // namespace sup::host
