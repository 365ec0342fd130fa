// Dispatch batches of order items: GetVd_LotePedOL (the open batches, or the batch of a code)
// and SetCadLoteEnvPedOL (marked items put into a batch, or taken out of theirs).
//
// SetCadLoteEnvPedOL(rows, operator): each row names an item by its key, the batch it gets
// (CDLOTENVITOL; blank takes it out of its batch) and the item's OL as the client read it. It
// writes like the other operations on marked items:
//  - one transaction, all or nothing: every row is judged before anything is written;
//  - the rows carry exactly the fields of the request set; any other field, a row sent twice or
//    an incomplete key refuses the call ("args");
//  - every row must lie in the operator's branches when operators are bound to them ("scope");
//  - a batch must exist and be open, and belongs to one OL: it takes only that OL's items; an
//    item in a closed batch stays there ("business");
//  - an item gone, no longer open, moved to another OL or already holding what the row asks
//    for changed since it was read: a conflict, all reported together by item key ("conflict");
//  - the items (and, on PostgreSQL, the batches) are locked before they are judged;
//  - every change is audited with the operator;
//  - a fixed number of set-based statements over the rows sent as one JSON parameter.

#include "ItemKeys.h"
#include "JsonRows.h"
#include "Methods.h"
#include "SqlValues.h"

#include "sup/contracts/record/OrderItem.h"
#include "sup/server/Items.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlQuery>

namespace sup::server {

namespace {

using data::Column;
using data::DataPacket;
using data::FieldType;

[[noreturn]] void refuse(const QString& message, const char* code) {
    throw MethodFault(message, QString::fromLatin1(code));
}

const QString kNothingWritten = QStringLiteral(" Nenhuma alteração foi gravada.");

// One row of the request: the item's key (date as stored text), the batch it is to get (empty:
// none) and its OL as read.
struct Row : ItemKey {
    QString batch, ol;
};

// The stored item a row names and its present batch.
struct Stored {
    bool found = false;
    qint64 id = 0;
    QString situation, ol, batch;
    bool batchClosed = false;
};

// A batch named by the rows.
struct Batch {
    QString code; // as stored
    QString ol;
    bool closed = false;
};

QList<Row> readRequest(const MethodContext& ctx, const DataPacket& p) {
    const data::FieldDefs takes = contracts::cadLoteEnvPedOLFields();
    if (p.isDelta())
        refuse(QStringLiteral("%1 recebe os itens, não alterações.").arg(ctx.def.name), "args");
    for (const data::FieldDef& f : p.fields())
        if (data::indexOfField(takes, f.name) < 0)
            refuse(QStringLiteral("O campo %1 não é aceito por %2.").arg(f.name, ctx.def.name) +
                       kNothingWritten,
                   "args");
    QList<int> at;
    for (const data::FieldDef& f : takes) {
        at << p.indexOf(f.name);
        if (at.last() < 0)
            refuse(QStringLiteral("Os itens enviados a %1 não têm o campo %2.")
                       .arg(ctx.def.name, f.name),
                   "args");
    }
    // In the order of the request set: CDFILLANC, CDFILDEST, NRPEDEXOL, CDPRODUTO, CDMARCA,
    // DTPROGENPEOL, CDLOTENVITOL, CDFILIOPELOG.
    const Column& date = p.column(at[5]);
    if (p.fields()[at[5]].type != FieldType::DateTime)
        refuse(QStringLiteral("O campo DTPROGENPEOL enviado a %1 deve ser uma data.")
                   .arg(ctx.def.name),
               "args");
    QList<Row> rows;
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        auto cell = [&](int i) {
            return cellText(p.column(at[i]), r);
        };
        Row row{{cell(1).left(4).trimmed(), cell(0), cell(2),
                 date.isNull(r) ? QString() : QString::fromLatin1(msToSqlText(date.dateTimeMs(r))),
                 cell(3), cell(4)},
                cell(6),
                cell(7)};
        for (const QString* part :
             {&row.dest, &row.lanc, &row.order, &row.date, &row.product, &row.brand})
            if (part->isEmpty())
                refuse(QStringLiteral("O item da linha %1 não tem a chave completa (destino, "
                                      "lançamento, pedido, entrega, produto e marca).")
                           .arg(r + 1),
                       "args");
        rows << row;
    }
    return rows;
}

// The batches the rows name, by upper-case code; locked against their closing on PostgreSQL.
QHash<QString, Batch> batchesOf(const sql::Connection& conn, const QList<Row>& rows) {
    QStringList codes;
    for (const Row& r : rows)
        if (!r.batch.isEmpty() && !codes.contains(r.batch.toUpper()))
            codes << r.batch.toUpper();
    QHash<QString, Batch> out;
    if (codes.isEmpty())
        return out;
    codes.sort();
    JsonRows j;
    for (qsizetype i = 0; i < codes.size(); ++i) {
        j.begin(i);
        j.text("c", codes[i]);
        j.end();
    }
    const bool pg = conn.dialect() == sql::Dialect::PostgreSQL;
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT b.CDLOTENVITOL, b.CDFILIOPELOG, CASE WHEN b.DTFECHAMENTO IS NULL"
                       " THEN 0 ELSE 1 END FROM %1 JOIN LOTENVITOL b ON b.CDLOTENVITOL = d.c"
                       " ORDER BY b.CDLOTENVITOL%2")
            .arg(rowsTable(conn.dialect(), {{"c", "code"}}),
                 pg ? QStringLiteral(" FOR SHARE OF b") : QString()),
        {j.value()});
    while (q.next()) {
        const Batch b{q.value(0).toString().trimmed(), q.value(1).toString().trimmed(),
                      q.value(2).toInt() != 0};
        out.insert(b.code.toUpper(), b);
    }
    for (const QString& code : codes) {
        const auto it = out.constFind(code);
        if (it == out.cend())
            refuse(QStringLiteral("O lote de envio %1 não está cadastrado.").arg(code) +
                       kNothingWritten,
                   "business");
        if (it->closed)
            refuse(QStringLiteral("O lote de envio %1 está fechado e não recebe mais itens.")
                           .arg(it->code) +
                       kNothingWritten,
                   "business");
    }
    return out;
}

// The stored items the rows name with their present batch, locked until the transaction ends
// (PostgreSQL; SQLite's write transaction holds the whole database).
QList<Stored> resolve(const sql::Connection& conn, qsizetype count, const JsonRows& keys) {
    const bool pg = conn.dialect() == sql::Dialect::PostgreSQL;
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT d.r, t.CDRASTRITM, t.IDSITUITEM, t.CDFILIOPELOG, t.CDLOTENVITOL,"
                       " CASE WHEN b.DTFECHAMENTO IS NULL THEN 0 ELSE 1 END"
                       " FROM %1 JOIN PEDIDOOLITEM t ON t.CDFILDEST = d.b AND t.CDFILLANC = d.l"
                       " AND t.NRPEDEXOL = d.o AND t.DTPROGENPEOL = d.t AND t.CDPRODUTO = d.p"
                       " AND t.CDMARCA = d.m LEFT JOIN LOTENVITOL b"
                       " ON b.CDLOTENVITOL = t.CDLOTENVITOL ORDER BY t.CDRASTRITM%2")
            .arg(itemKeyRowsTable(conn.dialect()),
                 pg ? QStringLiteral(" FOR UPDATE OF t") : QString()),
        {keys.value()});
    QList<Stored> out(count);
    while (q.next()) {
        Stored& s = out[qsizetype(q.value(0).toLongLong())];
        s.found = true;
        s.id = q.value(1).toLongLong();
        s.situation = q.value(2).toString().trimmed();
        s.ol = q.value(3).toString().trimmed();
        s.batch = q.value(4).toString().trimmed();
        s.batchClosed = !s.batch.isEmpty() && q.value(5).toInt() != 0;
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------- GetVd_LotePedOL

// GetVd_LotePedOL(code): "T" answers every open batch; a code answers its batch, open or closed
// (assigning to a closed one is refused with its own message), or nothing.
QVariant GetVd_LotePedOL(MethodContext& ctx, QVariantList& a) {
    const QString code = a[0].toString().trimmed();
    const data::FieldDefs fields = contracts::vdLotePedOLFields();
    const QString select = QStringLiteral("SELECT CDLOTENVITOL, NMLOTENVITOL FROM LOTENVITOL");
    if (code == u"T")
        return QVariant::fromValue(selectPacket(
            ctx.conn, fields,
            select + QStringLiteral(" WHERE DTFECHAMENTO IS NULL ORDER BY CDLOTENVITOL")));
    return QVariant::fromValue(
        selectPacket(ctx.conn, fields, select + QStringLiteral(" WHERE CDLOTENVITOL = ?"), {code}));
}

// ---------------------------------------------------------------- SetCadLoteEnvPedOL

QVariant SetCadLoteEnvPedOL(MethodContext& ctx, QVariantList& a) {
    QString op = ctx.call.operatorCode.trimmed();
    if (op.isEmpty())
        op = a[1].toString().trimmed();
    if (op.isEmpty())
        refuse(QStringLiteral("O operador deve ser informado."), "args");
    const sql::Connection& conn = ctx.conn;
    const QList<Row> rows = readRequest(ctx, a[0].value<DataPacket>());
    if (rows.isEmpty())
        return 0;
    const JsonRows keys = itemKeyRows(rows);
    refuseOutsideBranches(conn, op, rows, keys);
    const QHash<QString, Batch> batches = batchesOf(conn, rows);
    const QList<Stored> stored = resolve(conn, rows.size(), keys);

    QSet<qint64> seen;
    ItemConflicts conflicts;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const Stored& s = stored[i];
        if (!s.found) {
            conflicts.add(row, QStringLiteral("não encontrado (alterado ou excluído por outro "
                                              "usuário)"));
            continue;
        }
        if (seen.contains(s.id))
            refuse(QStringLiteral("O item %1 foi enviado mais de uma vez.").arg(row.text()) +
                       kNothingWritten,
                   "args");
        seen.insert(s.id);
        if (s.situation != u"A") {
            conflicts.add(row, situationText(s.situation));
            continue;
        }
        if (row.ol.compare(s.ol, Qt::CaseInsensitive) != 0) {
            conflicts.add(row, QStringLiteral("OL lido %1, atual %2").arg(row.ol, s.ol));
            continue;
        }
        const auto found = batches.constFind(row.batch.toUpper());
        const Batch* target = found == batches.cend() ? nullptr : &*found;
        if (target && !target->ol.isEmpty() && target->ol.compare(s.ol, Qt::CaseInsensitive) != 0)
            refuse(QStringLiteral("O lote de envio %1 é do OL %2 e o item %3 é do OL %4.")
                           .arg(target->code, target->ol, row.text(), s.ol) +
                       kNothingWritten,
                   "business");
        if (s.batch.compare(target ? target->code : QString(), Qt::CaseInsensitive) == 0) {
            conflicts.add(row, target ? QStringLiteral("já está no lote de envio %1").arg(s.batch)
                                      : QStringLiteral("já está sem lote de envio"));
            continue;
        }
        if (s.batchClosed)
            refuse(QStringLiteral("O item %1 está no lote de envio %2, que já foi fechado.")
                           .arg(row.text(), s.batch) +
                       kNothingWritten,
                   "business");
    }
    conflicts.throwIfAny();

    const QString now = timestampText();
    JsonRows changes;
    QList<AuditEntry> audit;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString batch =
            rows[i].batch.isEmpty() ? QString() : batches.value(rows[i].batch.toUpper()).code;
        changes.begin(i);
        changes.number("id", double(stored[i].id));
        changes.text("c", batch); // null: out of its batch
        changes.end();
        audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), rows[i].audit(),
                            QStringLiteral("CDLOTENVITOL"), stored[i].batch, batch};
    }
    conn.exec(QStringLiteral("UPDATE PEDIDOOLITEM AS t SET CDLOTENVITOL = d.c FROM %1"
                             " WHERE t.CDRASTRITM = d.id")
                  .arg(rowsTable(conn.dialect(), {{"id", "bigint"}, {"c", "code"}})),
              {changes.value()});
    writeAudit(conn, ctx.def.name, op, {}, {}, now, audit);
    return int(rows.size());
}

} // namespace sup::server
