#pragma once

// Applying a delta (the changed rows of a working set) to a table, shared by every method that
// receives one:
//  - all or nothing: the caller's transaction holds it; any failure throws and the caller rolls
//    back;
//  - optimistic concurrency: a changed or deleted row is written only while the stored row
//    still has the delta's loaded values in the key and check columns; a row changed or removed
//    by someone else since it was loaded is a conflict; all conflicts are collected and reported
//    together (by item key, with loaded, sent and current values) and nothing is written;
//  - the delta's identifier is recorded in the same transaction, so a delta sent twice (a retry
//    after a lost answer) is refused as a duplicate and applied once;
//  - one audit row per written field (who, when, what, old and new value);
//  - the delta is refused whole, before anything is written, when it holds what the target does
//    not take: inserted or deleted rows the method does not accept, a changed field the target
//    neither writes nor declares local to the client, or a row outside the operator's branches.
// SQLite: prepared statements on the C API, one per row. PostgreSQL: set-based statements over
// the rows sent as one JSON parameter, a fixed number of round trips whatever the row count.

#include "sup/data/DataPacket.h"
#include "sup/sql/Database.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace sup::server {

struct DeltaColumn {
    QString field;      // field of the delta
    QString column;     // column of the table
    QString label;      // Portuguese name in conflict messages (empty: the column name)
    bool key = false;   // identifies the row (compared with the loaded value, never written)
    bool write = true;  // written when its current value differs from the loaded one
    bool check = true;  // compared with the loaded value before writing (concurrency)
    int textPrefix = 0; // > 0: only the first n characters of the field are the column value
    // Columns that follow this one when it is written: column -> a SELECT of one value with one
    // "?" placeholder that receives the new value (e.g. the product name for a new product).
    QList<QPair<QString, QString>> follow;
};

struct DeltaTarget {
    QString table;
    QList<DeltaColumn> columns;
    // An extra condition every written row must meet (e.g. "IDSITUITEM = 'A'"), no placeholders.
    QString rowCondition;
    // Columns set on every written row besides the changed fields: column → SQL expression
    // without placeholders (e.g. "ALTERADO" → "'S'").
    QList<QPair<QString, QString>> alsoSet;
    // Fields of the delta that are the client's own state (marks, change flags): a change in them
    // is neither written nor refused. A change in any other field the target does not write
    // refuses the delta ("args"); a field of a column that follows a written one may change
    // together with it (the table takes the looked-up value).
    QStringList localFields;
    // Whether the method takes inserted and deleted rows; a delta with rows it does not take is
    // refused ("args").
    bool allowInsert = true;
    bool allowDelete = true;
    // Column of the table holding the row's branch (one of the mapped columns; its textPrefix
    // applies). When set and the general parameter restricts operators to their branches
    // (PARAMGERAL.IDRESTRFILIOPER other than "N", the rule the item queries follow), every
    // written row must belong to a branch of the operator (FILIOPER): the branch the row was
    // loaded with, the one it is stored with and, for an inserted row or a written branch, the
    // new one. Otherwise the delta is refused whole ("scope").
    QString branchColumn;
    // Column that names a row for good while its key may change (a field of the same name in
    // the delta). A stale row no longer found by its loaded key is looked for by it, together
    // with the key columns that are never written, so that a conflict tells what another user
    // made of the row instead of calling it removed. Empty: none.
    QString rowIdColumn;
};

struct DeltaOptions {
    QString method;
    QString operatorCode;
    // The operator whose branches bound the written rows; empty: operatorCode.
    QString branchOperator;
    // Why the change was made, kept on every audit row (AUDITORIA.DSMOTIVO); empty: none.
    QString description;
    // Runs once the delta has passed the checks above and its identifier is recorded, before
    // any row is written: the method's own rules on the rows (a throw refuses the delta whole).
    std::function<void()> beforeWrite;
    // Failure injection for tests: runs before each row is written.
    std::function<void(qsizetype row)> beforeRow;
};

struct DeltaResult {
    qsizetype updated = 0;
    qsizetype inserted = 0;
    qsizetype deleted = 0;
    qsizetype unchanged = 0; // rows whose written fields did not change (a mark only)
};

// One conflicting row.
struct DeltaConflict {
    qsizetype row = -1;
    QString key; // "Destino 0001, Lanç. 0002, ..."
    bool removed = false;
    QStringList details; // "Qtde.: lido 10, enviado 12, atual 15"
};

// Thrown for conflicts ("conflict"), a repeated delta ("duplicate"), a row outside the
// operator's branches ("scope") or a delta that does not fit the target ("args"); message() is
// Portuguese.
class DeltaError : public std::runtime_error {
public:
    DeltaError(const QString& message, const QString& code, QList<DeltaConflict> conflicts = {});
    const QString& message() const { return message_; }
    const QString& code() const { return code_; }
    const QList<DeltaConflict>& conflicts() const { return conflicts_; }

private:
    QString message_;
    QString code_;
    QList<DeltaConflict> conflicts_;
};

// Applies `delta` inside the caller's open transaction (throws sql::SqlError when none is open).
DeltaResult applyDelta(sql::Connection& conn, const DeltaTarget& target,
                       const data::DataPacket& delta, const DeltaOptions& options);

// The mapping of the order item record onto PEDIDOOLITEM: the item key identifies the row (and
// CDRASTRITM names it when another user changed its product or brand),
// product, brand and quantity (with the product and brand data that follow them) are written,
// and the row must still be open. Items are neither inserted nor deleted, CALC and ALTERADO are
// the client's marks, and the destination branch (CDFILDEST) bounds the operator's rows.
DeltaTarget orderItemTarget();

} // namespace sup::server
