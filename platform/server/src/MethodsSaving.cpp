// Saving the items changed in the grid (UpdItemPedidoOL) and the product list of an OL for the
// grid's product picker (GetPesqProduto).
//
// UpdItemPedidoOL(delta, write-off flag, direct-delivery flag, operator, update requests,
// description, relocation text). With both flags "N" it saves the grid's changes: the delta goes
// through the shared delta engine (orderItemTarget: all or nothing, optimistic concurrency
// against the loaded values, applied once, audited, the operator's branches), and on top of it:
//  - only the quantity, or the product and brand, of an item may change, not both in one item;
//    the new product must be a stock-kept product, the brand must exist and be bought for the
//    product (any brand where the destination branch takes products without brand rules);
//  - product or brand of a blocked item change only for operators with group authorisation;
//  - a new product and brand must not make the item equal another item of the same order,
//    branches and date (the table's key would refuse it too, with no word on which item);
//  - with "update requests" the open purchase requests behind each saved item follow its new
//    quantity (shared among several in proportion) and its product and brand, except for items
//    whose quantity became 0;
//  - a product or brand change releases the item's OL stock reservations (they were of the old
//    product and brand);
//  - an item whose quantity became 0 leaves the order, so that the order can be imported again:
//    its reservations are released, its requests stay open without it, its blocking history
//    goes, and the removal is audited.
// Every follow-up is a fixed number of set-based statements over the rows sent as one JSON
// parameter, whatever the number of rows. The write-off ("S", "N") and direct-delivery ("N", "S")
// forms save the delta the same way and then close its marked items in the same transaction
// (closeMarkedItems, MethodsOperations.cpp).
//
// GetPesqProduto(OL, item product, typed code, restriction, brand). Restriction "0": every
// product the OL handles (its relationships, in each brand the product is bought in, and the
// products it holds free stock of without a relationship), with the OL's free stock of each.
// Restrictions "1" and "2" (the automatic alteration's options) keep, of that list, the other
// packagings of the item's stock product or the other stock products; with a typed code they
// look that one product up within the restriction (restrictedProduct, MethodsAlteration.cpp).

#include "JsonRows.h"
#include "Methods.h"
#include "SqlValues.h"

#include "sup/contracts/record/OrderItem.h"
#include "sup/server/DeltaApply.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <cmath>
#include <map>

namespace sup::server {

namespace {

using data::Column;
using data::DataPacket;
using data::RowKind;

// Stored quantities are double precision: closer than this they are equal.
constexpr double kQtyEpsilon = 1e-9;

// ---------------------------------------------------------------- the changed items

// One item of the delta whose quantity, product or brand changed.
struct Changed {
    qsizetype row = -1;
    QString dest, lanc, order, date; // loaded key (destination code, delivery date as SQL text)
    QString oldProduct, oldBrand, newProduct, newBrand;
    double oldQty = 0, newQty = 0;
    bool qtyChanged = false, productChanged = false, brandChanged = false;
    qint64 id = 0;       // CDRASTRITM, once the rows are written
    double reserved = 0; // QTRESERVESTOL, once the rows are written

    bool keyChanged() const { return productChanged || brandChanged; }
    bool zero() const { return std::fabs(newQty) <= kQtyEpsilon; }
};

struct ItemFields {
    int dest, lanc, order, date, product, brand, qty;
};

QString number(double v) {
    return QString::number(v, 'g', 15);
}

// How a message names an item: its key as loaded, or with its new product and brand.
QString itemText(const Changed& c, bool newKey = false) {
    const QString day = c.date.size() >= 10
                            ? c.date.mid(8, 2) + u'/' + c.date.mid(5, 2) + u'/' + c.date.left(4)
                            : c.date;
    return QStringLiteral("Destino %1, Lanç. %2, Pedido %3, Entrega %4, Produto %5, Marca %6")
        .arg(c.dest, c.lanc, c.order, day, newKey ? c.newProduct : c.oldProduct,
             newKey ? c.newBrand : c.oldBrand);
}

// The key of an item in the audit log, as the delta engine writes it.
QString auditKey(const Changed& c, bool newKey) {
    return QStringList{c.dest,
                       c.lanc,
                       c.order,
                       c.date,
                       newKey ? c.newProduct : c.oldProduct,
                       newKey ? c.newBrand : c.oldBrand}
        .join(u'|');
}

QString cellText(const Column& c, qsizetype row) {
    return c.isNull(row) ? QString() : c.text(row).trimmed();
}

QString dateText(const Column& c, qsizetype row) {
    return c.isNull(row) ? QString() : QString::fromLatin1(msToSqlText(c.dateTimeMs(row)));
}

ItemFields itemFields(const DataPacket& delta) {
    auto need = [&](const char* name) {
        const int f = delta.indexOf(QString::fromLatin1(name));
        if (f < 0)
            throw MethodFault(QStringLiteral("As alterações enviadas não têm o campo %1.")
                                  .arg(QString::fromLatin1(name)),
                              QStringLiteral("args"));
        return f;
    };
    return {need("CDFILDEST"), need("CDFILLANC"), need("NRPEDEXOL"),   need("DTPROGENPEOL"),
            need("CDPRODUTO"), need("CDMARCA"),   need("QTPROGENPEOL")};
}

[[noreturn]] void refuseRow(const QString& what, const Changed& c) {
    throw MethodFault(
        QStringLiteral("%1 (item %2). Nenhuma alteração foi gravada.").arg(what, itemText(c)),
        QStringLiteral("business"));
}

// The changed items of the delta, each checked on its own: a valid quantity, a product and a
// brand, and not the quantity together with the product or the brand.
QList<Changed> changedItems(const DataPacket& delta) {
    const ItemFields f = itemFields(delta);
    QList<Changed> out;
    for (qsizetype row = 0; row < delta.rowCount(); ++row) {
        if (delta.kind(row) != RowKind::Modified)
            continue;
        auto changed = [&](int field) {
            return !delta.column(field).cellEquals(row, delta.loadedColumn(field), row);
        };
        Changed c;
        c.row = row;
        c.qtyChanged = changed(f.qty);
        c.productChanged = changed(f.product);
        c.brandChanged = changed(f.brand);
        if (!c.qtyChanged && !c.keyChanged())
            continue; // marks only
        c.dest = cellText(delta.loadedColumn(f.dest), row).left(4).trimmed();
        c.lanc = cellText(delta.loadedColumn(f.lanc), row);
        c.order = cellText(delta.loadedColumn(f.order), row);
        c.date = dateText(delta.loadedColumn(f.date), row);
        c.oldProduct = cellText(delta.loadedColumn(f.product), row);
        c.oldBrand = cellText(delta.loadedColumn(f.brand), row);
        c.newProduct = cellText(delta.column(f.product), row);
        c.newBrand = cellText(delta.column(f.brand), row);
        const Column& qty = delta.column(f.qty);
        c.newQty = qty.isNull(row) ? std::nan("") : qty.real(row);
        c.oldQty = delta.loadedColumn(f.qty).isNull(row) ? 0 : delta.loadedColumn(f.qty).real(row);
        if (!std::isfinite(c.newQty) || c.newQty < 0)
            refuseRow(QStringLiteral("A quantidade deve ser um número maior ou igual a zero"), c);
        if (c.productChanged && c.qtyChanged)
            refuseRow(QStringLiteral("Operação bloqueada! Não é possivel alterar o código e a "
                                     "quantidade do item de pedido simultaneamente"),
                      c);
        if (c.brandChanged && c.qtyChanged)
            refuseRow(QStringLiteral("Operação bloqueada! Não é possivel alterar a marca e a "
                                     "quantidade do item de pedido simultaneamente"),
                      c);
        if (c.newProduct.isEmpty())
            refuseRow(QStringLiteral("Produto deve ser informado"), c);
        if (c.newBrand.isEmpty())
            refuseRow(QStringLiteral("Marca deve ser informada"), c);
        out << c;
    }
    return out;
}

// The items whose product or brand changes, with their loaded and new keys.
JsonRows keyRows(const QList<Changed>& items) {
    JsonRows j;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Changed& c = items[i];
        if (!c.keyChanged())
            continue;
        j.begin(i);
        j.text("b", c.dest);
        j.text("l", c.lanc);
        j.text("o", c.order);
        j.text("t", c.date);
        j.text("op", c.oldProduct);
        j.text("ob", c.oldBrand);
        j.text("np", c.newProduct);
        j.text("nb", c.newBrand);
        j.end();
    }
    return j;
}

QString keyRowsTable(sql::Dialect d, const char* alias = "d") {
    return rowsTable(d,
                     {{"b", "code"},
                      {"l", "code"},
                      {"o", "code"},
                      {"t", "timestamp(0)"},
                      {"op", "code"},
                      {"ob", "code"},
                      {"np", "code"},
                      {"nb", "code"}},
                     alias);
}

bool mayAlterBlocked(const sql::Connection& conn, const QString& op) {
    return conn
        .scalar(QStringLiteral("SELECT 1 FROM AUTGRUPOP A JOIN OPERGRUPOP G"
                               " ON G.CDGRUPOPER = A.CDGRUPOPER"
                               " WHERE G.CDOPERADOR = ? AND A.IDAUTGRUPOP = 'BLIP'"),
                {op})
        .isValid();
}

// Product and brand of each item whose key changes: the item is not blocked (unless the
// operator may alter blocked items), the product is a stock-kept one, the brand exists and is
// bought for the product or the destination takes any brand.
void checkProductsAndBrands(const sql::Connection& conn, const QList<Changed>& items,
                            const JsonRows& rows, const QString& op) {
    const sql::Dialect d = conn.dialect();
    const QString sqlText =
        QStringLiteral("SELECT x.r, x.why FROM (SELECT d.r AS r, CASE"
                       " WHEN ? = 0 AND t.IDITMPEDOLBLOQ = 'S' THEN 1"
                       " WHEN p.CDPRODUTO IS NULL OR p.CDPRODESTO IS NULL THEN 2"
                       " WHEN m.CDMARCA IS NULL THEN 3"
                       " WHEN pm.CDPRODUTO IS NULL AND COALESCE(f.IDPROSEMMAR, 'N') <> 'S' THEN 4"
                       " ELSE 0 END AS why"
                       " FROM %1"
                       " LEFT JOIN PEDIDOOLITEM t ON t.CDFILDEST = d.b AND t.CDFILLANC = d.l"
                       " AND t.NRPEDEXOL = d.o AND t.DTPROGENPEOL = d.t AND t.CDPRODUTO = d.op"
                       " AND t.CDMARCA = d.ob"
                       " LEFT JOIN PRODUTO p ON p.CDPRODUTO = d.np"
                       " LEFT JOIN MARCA m ON m.CDMARCA = d.nb"
                       " LEFT JOIN PRODMARCA pm ON pm.CDPRODUTO = d.np AND pm.CDMARCA = d.nb"
                       " LEFT JOIN PARAMFILIAL f ON f.CDFILIAL = d.b) x"
                       " WHERE x.why <> 0 ORDER BY x.r")
            .arg(keyRowsTable(d));
    QSqlQuery q = conn.exec(sqlText, {mayAlterBlocked(conn, op) ? 1 : 0, rows.value()});
    if (!q.next())
        return;
    const Changed& c = items[qsizetype(q.value(0).toLongLong())];
    switch (q.value(1).toInt()) {
    case 1:
        refuseRow(QStringLiteral("Operação bloqueada! Item do pedido do OL está bloqueado"), c);
    case 2:
        refuseRow(QStringLiteral("Produto %1 não cadastrado").arg(c.newProduct), c);
    case 3:
        refuseRow(QStringLiteral("Marca %1 não cadastrada").arg(c.newBrand), c);
    default:
        refuseRow(QStringLiteral("Marca %1 não cadastrada para o produto %2")
                      .arg(c.newBrand, c.newProduct),
                  c);
    }
}

// A new product and brand must not repeat another item of the same order, branches and date:
// neither another item of the delta nor a stored item that keeps its key.
void checkDuplicates(const sql::Connection& conn, const QList<Changed>& items,
                     const JsonRows& rows) {
    auto refuse = [](const Changed& c) {
        throw MethodFault(QStringLiteral("Item de Pedido já cadastrado: %1. Nenhuma alteração foi "
                                         "gravada.")
                              .arg(itemText(c, true)),
                          QStringLiteral("business"));
    };
    QSet<QString> newKeys;
    for (const Changed& c : items) {
        if (!c.keyChanged())
            continue;
        const QString k = auditKey(c, true).toUpper();
        if (newKeys.contains(k))
            refuse(c);
        newKeys.insert(k);
    }
    const sql::Dialect d = conn.dialect();
    const QString sqlText =
        QStringLiteral("SELECT d.r FROM %1 JOIN PEDIDOOLITEM t ON t.CDFILDEST = d.b"
                       " AND t.CDFILLANC = d.l AND t.NRPEDEXOL = d.o AND t.DTPROGENPEOL = d.t"
                       " AND t.CDPRODUTO = d.np AND t.CDMARCA = d.nb"
                       " WHERE NOT EXISTS (SELECT 1 FROM %2 WHERE e.b = t.CDFILDEST"
                       " AND e.l = t.CDFILLANC AND e.o = t.NRPEDEXOL AND e.t = t.DTPROGENPEOL"
                       " AND e.op = t.CDPRODUTO AND e.ob = t.CDMARCA) ORDER BY d.r")
            .arg(keyRowsTable(d), keyRowsTable(d, "e"));
    QSqlQuery q = conn.exec(sqlText, {rows.value(), rows.value()});
    if (q.next())
        refuse(items[qsizetype(q.value(0).toLongLong())]);
}

// ---------------------------------------------------------------- after the rows are written

class Saving {
public:
    Saving(sql::Connection& conn, const DataPacket& delta, QString op, QString description)
        : conn_(conn)
        , delta_(delta)
        , op_(std::move(op))
        , description_(std::move(description))
        , now_(timestampText()) {}

    void followUp(QList<Changed>& items, bool updateRequests) {
        QList<qsizetype> need;
        for (qsizetype i = 0; i < items.size(); ++i) {
            const Changed& c = items[i];
            if (c.zero() || c.keyChanged() || updateRequests)
                need << i;
        }
        if (need.isEmpty())
            return;
        resolve(items, need);
        if (updateRequests)
            followRequests(items, need);
        releaseReservations(items, need);
        removeZeroItems(items, need);
        writeAudit();
    }

private:
    // CDRASTRITM and reservation of the written items, found by their new key.
    void resolve(QList<Changed>& items, const QList<qsizetype>& need) {
        JsonRows j;
        for (qsizetype i : need) {
            const Changed& c = items[i];
            j.begin(i);
            j.text("b", c.dest);
            j.text("l", c.lanc);
            j.text("o", c.order);
            j.text("t", c.date);
            j.text("np", c.newProduct);
            j.text("nb", c.newBrand);
            j.end();
        }
        QSqlQuery q = conn_.exec(
            QStringLiteral("SELECT d.r, t.CDRASTRITM, t.QTRESERVESTOL FROM %1 JOIN PEDIDOOLITEM t"
                           " ON t.CDFILDEST = d.b AND t.CDFILLANC = d.l AND t.NRPEDEXOL = d.o"
                           " AND t.DTPROGENPEOL = d.t AND t.CDPRODUTO = d.np AND t.CDMARCA = d.nb")
                .arg(rowsTable(conn_.dialect(), {{"b", "code"},
                                                 {"l", "code"},
                                                 {"o", "code"},
                                                 {"t", "timestamp(0)"},
                                                 {"np", "code"},
                                                 {"nb", "code"}})),
            {j.value()});
        qsizetype found = 0;
        while (q.next()) {
            Changed& c = items[qsizetype(q.value(0).toLongLong())];
            c.id = q.value(1).toLongLong();
            c.reserved = q.value(2).toDouble();
            ++found;
        }
        if (found != need.size())
            throw sql::SqlError(
                QStringLiteral("Itens gravados não foram encontrados para completar a gravação."));
    }

    // The open requests of the saved items (quantity 0 aside) take the item's new quantity,
    // product and brand.
    void followRequests(const QList<Changed>& items, const QList<qsizetype>& need) {
        QHash<qint64, qsizetype> byId;
        QList<qint64> ids;
        for (qsizetype i : need)
            if (!items[i].zero()) {
                byId.insert(items[i].id, i);
                ids << items[i].id;
            }
        if (ids.isEmpty())
            return;
        const sql::Dialect d = conn_.dialect();
        struct Request {
            qint64 number;
            double qty;
            QString product, brand;
        };
        std::map<qint64, QList<Request>> requests; // by item
        QSqlQuery q = conn_.exec(
            QStringLiteral("SELECT CDRASTRITM, NRSOLICOMPRA, QTSOLICITADA, CDPRODUTO, CDMARCA"
                           " FROM SOLICOMPRA WHERE IDSITUSOLIC = 'A' AND %1"
                           " ORDER BY CDRASTRITM, NRSOLICOMPRA")
                .arg(idsIn(d, QStringLiteral("CDRASTRITM"))),
            {idsValue(d, ids)});
        while (q.next())
            requests[q.value(0).toLongLong()]
                << Request{q.value(1).toLongLong(), q.value(2).toDouble(),
                           q.value(3).toString().trimmed(), q.value(4).toString().trimmed()};
        JsonRows j;
        for (const auto& [id, list] : requests) {
            const Changed& c = items[byId.value(id)];
            double sum = 0;
            for (const Request& r : list)
                sum += r.qty;
            for (const Request& r : list) {
                double qty = r.qty;
                if (c.qtyChanged)
                    qty = list.size() == 1    ? c.newQty
                          : sum > kQtyEpsilon ? c.newQty * r.qty / sum
                                              : c.newQty / double(list.size());
                const QString product = c.keyChanged() ? c.newProduct : r.product;
                const QString brand = c.keyChanged() ? c.newBrand : r.brand;
                const QString key = QString::number(r.number);
                const qsizetype before = audit_.size();
                if (std::fabs(qty - r.qty) > kQtyEpsilon)
                    audit_ << AuditEntry{QStringLiteral("SOLICOMPRA"), key,
                                         QStringLiteral("QTSOLICITADA"), number(r.qty),
                                         number(qty)};
                if (product.compare(r.product, Qt::CaseInsensitive) != 0)
                    audit_ << AuditEntry{QStringLiteral("SOLICOMPRA"), key,
                                         QStringLiteral("CDPRODUTO"), r.product, product};
                if (brand.compare(r.brand, Qt::CaseInsensitive) != 0)
                    audit_ << AuditEntry{QStringLiteral("SOLICOMPRA"), key,
                                         QStringLiteral("CDMARCA"), r.brand, brand};
                if (audit_.size() == before)
                    continue;
                j.begin(r.number);
                j.number("q", qty);
                j.text("p", product);
                j.text("m", brand);
                j.end();
            }
        }
        if (j.rows() == 0)
            return;
        conn_.exec(
            QStringLiteral("UPDATE SOLICOMPRA AS s SET QTSOLICITADA = d.q,"
                           " CDPRODUTO = d.p, CDMARCA = d.m FROM %1 WHERE s.NRSOLICOMPRA = d.r")
                .arg(rowsTable(d, {{"q", "double precision"}, {"p", "code"}, {"m", "code"}})),
            {j.value()});
    }

    // Reservations of items leaving the order or changing product or brand go back to the OL's
    // free stock.
    void releaseReservations(const QList<Changed>& items, const QList<qsizetype>& need) {
        QHash<qint64, qsizetype> byId;
        QList<qint64> ids;
        for (qsizetype i : need)
            if (items[i].zero() || items[i].keyChanged()) {
                byId.insert(items[i].id, i);
                ids << items[i].id;
            }
        if (ids.isEmpty())
            return;
        const sql::Dialect d = conn_.dialect();
        QSqlQuery q = conn_.exec(
            QStringLiteral("SELECT CDRASTRITM, CDFILIOPELOG, CDPRODUTO, CDMARCA, SUM(QTRESERVADA)"
                           " FROM RESERVAESTOL WHERE %1"
                           " GROUP BY CDRASTRITM, CDFILIOPELOG, CDPRODUTO, CDMARCA"
                           " ORDER BY CDRASTRITM, CDFILIOPELOG, CDPRODUTO, CDMARCA")
                .arg(idsIn(d, QStringLiteral("CDRASTRITM"))),
            {idsValue(d, ids)});
        struct Stock {
            QString ol, product, brand;
            double qty = 0;
        };
        std::map<QString, Stock> stock; // by OL|product|brand, letter case ignored
        QList<qint64> holding;
        while (q.next()) {
            const qint64 id = q.value(0).toLongLong();
            Stock s{q.value(1).toString().trimmed(), q.value(2).toString().trimmed(),
                    q.value(3).toString().trimmed(), q.value(4).toDouble()};
            const QString key = QStringList{s.ol, s.product, s.brand}.join(u'|');
            audit_ << AuditEntry{QStringLiteral("RESERVAESTOL"), QString::number(id) + u'|' + key,
                                 QStringLiteral("QTRESERVADA"), number(s.qty), QStringLiteral("0")};
            Stock& total = stock[key.toUpper()];
            if (total.ol.isEmpty())
                total = Stock{s.ol, s.product, s.brand, 0};
            total.qty += s.qty;
            if (holding.isEmpty() || holding.last() != id)
                holding << id;
        }
        if (!stock.empty()) {
            JsonRows j;
            qsizetype r = 0;
            for (const auto& [key, s] : stock) {
                j.begin(r++);
                j.text("o", s.ol);
                j.text("p", s.product);
                j.text("m", s.brand);
                j.number("q", s.qty);
                j.end();
            }
            conn_.exec(
                QStringLiteral("UPDATE ESTOQUEOL AS e SET QTRESERVADO = CASE"
                               " WHEN e.QTRESERVADO > d.q THEN e.QTRESERVADO - d.q ELSE 0"
                               " END FROM %1 WHERE e.CDFILIOPELOG = d.o"
                               " AND e.CDPRODUTO = d.p AND e.CDMARCA = d.m")
                    .arg(rowsTable(
                        d,
                        {{"o", "code"}, {"p", "code"}, {"m", "code"}, {"q", "double precision"}})),
                {j.value()});
            conn_.exec(QStringLiteral("DELETE FROM RESERVAESTOL WHERE %1")
                           .arg(idsIn(d, QStringLiteral("CDRASTRITM"))),
                       {idsValue(d, holding)});
        }
        // Items that stay keep no reservation of their old product and brand.
        QList<qint64> cleared;
        for (qint64 id : ids) {
            const Changed& c = items[byId.value(id)];
            if (c.zero() || c.reserved <= kQtyEpsilon)
                continue;
            cleared << id;
            audit_ << AuditEntry{QStringLiteral("PEDIDOOLITEM"), auditKey(c, true),
                                 QStringLiteral("QTRESERVESTOL"), number(c.reserved),
                                 QStringLiteral("0")};
        }
        if (!cleared.isEmpty())
            conn_.exec(QStringLiteral("UPDATE PEDIDOOLITEM SET QTRESERVESTOL = 0 WHERE %1")
                           .arg(idsIn(d, QStringLiteral("CDRASTRITM"))),
                       {idsValue(d, cleared)});
    }

    // Items whose quantity became 0 leave the order; their requests stay open without them.
    void removeZeroItems(const QList<Changed>& items, const QList<qsizetype>& need) {
        QList<qint64> ids;
        for (qsizetype i : need)
            if (items[i].zero()) {
                ids << items[i].id;
                audit_ << AuditEntry{QStringLiteral("PEDIDOOLITEM"), auditKey(items[i], true),
                                     QStringLiteral("*"), QStringLiteral("excluído"), QString()};
            }
        if (ids.isEmpty())
            return;
        const sql::Dialect d = conn_.dialect();
        const QString in = idsIn(d, QStringLiteral("CDRASTRITM"));
        const QVariant value = idsValue(d, ids);
        conn_.exec(QStringLiteral("UPDATE SOLICOMPRA SET CDRASTRITM = NULL WHERE %1").arg(in),
                   {value});
        conn_.exec(QStringLiteral("DELETE FROM BLOQITEMHIST WHERE %1").arg(in), {value});
        conn_.exec(QStringLiteral("DELETE FROM PEDIDOOLITEM WHERE %1").arg(in), {value});
    }

    void writeAudit() {
        sup::server::writeAudit(conn_, QStringLiteral("UpdItemPedidoOL"), op_,
                                delta_.deltaId().toString(QUuid::WithoutBraces), description_, now_,
                                audit_);
    }

    sql::Connection& conn_;
    const DataPacket& delta_;
    QString op_;
    QString description_;
    QString now_;
    QList<AuditEntry> audit_;
};

// ---------------------------------------------------------------- the forms of the method

enum class UpdForm { Saving, WriteOff, DirectDelivery };

QString flagArg(const MethodContext& ctx, const QVariantList& a, int i) {
    const QString v = a[i].toString().trimmed().toUpper();
    if (v != u"S" && v != u"N")
        throw MethodFault(QStringLiteral("O argumento %1 de %2 (%3) deve ser \"S\" ou \"N\".")
                              .arg(i + 1)
                              .arg(ctx.def.name, QString::fromUtf8(ctx.def.args[i].what)),
                          QStringLiteral("args"));
    return v;
}

UpdForm formOf(const MethodContext& ctx, const QVariantList& a) {
    const bool writeOff = flagArg(ctx, a, 1) == u"S";
    const bool direct = flagArg(ctx, a, 2) == u"S";
    if (writeOff && direct)
        throw MethodFault(
            QStringLiteral("A baixa manual e a entrega direta não podem ser pedidas juntas."),
            QStringLiteral("args"));
    return writeOff ? UpdForm::WriteOff : direct ? UpdForm::DirectDelivery : UpdForm::Saving;
}

// The operator the change is recorded for and whose branches bound it: the signed-on one,
// else the argument.
QString operatorOf(const MethodContext& ctx, const QVariantList& a) {
    QString op = ctx.call.operatorCode.trimmed();
    if (op.isEmpty())
        op = a[3].toString().trimmed();
    if (op.isEmpty())
        throw MethodFault(QStringLiteral("O operador deve ser informado."), QStringLiteral("args"));
    return op;
}

bool flagOn(const QVariant& v) {
    return v.typeId() == QMetaType::Bool ? v.toBool() : v.toLongLong() != 0;
}

void saveItems(MethodContext& ctx, const QVariantList& a, const DataPacket& delta,
               const QString& op) {
    const bool updateRequests = flagOn(a[4]);
    DeltaOptions o;
    o.method = ctx.def.name;
    o.operatorCode = op;
    o.description = a[5].toString().trimmed();
    QList<Changed> items;
    o.beforeWrite = [&] {
        items = changedItems(delta);
        const JsonRows keys = keyRows(items);
        if (keys.rows() == 0)
            return;
        checkProductsAndBrands(ctx.conn, items, keys, op);
        checkDuplicates(ctx.conn, items, keys);
    };
    try {
        applyDelta(ctx.conn, orderItemTarget(), delta, o);
    } catch (const DeltaError& e) {
        throw MethodFault(e.message(), e.code());
    } catch (const sql::SqlError& e) {
        // Items exchanging their products or brands meet each other's key on the way.
        if (!e.isDuplicateKey())
            throw;
        throw MethodFault(QStringLiteral("Item de Pedido já cadastrado: a troca de produto ou "
                                         "marca coincide com outro item do mesmo pedido. Grave as "
                                         "trocas em etapas. Nenhuma alteração foi gravada."),
                          QStringLiteral("business"));
    }
    Saving(ctx.conn, delta, op, o.description).followUp(items, updateRequests);
}

} // namespace

QVariant UpdItemPedidoOL(MethodContext& ctx, QVariantList& a) {
    const UpdForm form = formOf(ctx, a);
    const DataPacket delta = a[0].value<DataPacket>();
    const QString op = operatorOf(ctx, a);
    saveItems(ctx, a, delta, op);
    switch (form) {
    case UpdForm::Saving:
        break;
    case UpdForm::WriteOff:
        closeMarkedItems(ctx, delta, ItemClosing::WriteOff, op, a[5].toString().trimmed());
        break;
    case UpdForm::DirectDelivery:
        closeMarkedItems(ctx, delta, ItemClosing::DirectDelivery, op, a[6].toString().trimmed());
        break;
    }
    return {};
}

QVariant GetPesqProduto(MethodContext& ctx, QVariantList& a) {
    const QString ol = a[0].toString().trimmed();
    const QString restriction = a[3].toString().trimmed();
    if (restriction != u"0" && restriction != u"1" && restriction != u"2")
        throw MethodFault(QStringLiteral("A restrição \"%1\" da pesquisa de produtos não existe; "
                                         "use \"0\", \"1\" ou \"2\".")
                              .arg(restriction),
                          QStringLiteral("args"));
    if (ol.isEmpty())
        throw MethodFault(QStringLiteral("O argumento 1 de %1 (%2) deve ser informado.")
                              .arg(ctx.def.name, QString::fromUtf8(ctx.def.args[0].what)),
                          QStringLiteral("args"));
    StockRestriction limit;
    if (restriction != u"0") {
        limit = stockRestriction(ctx, a);
        if (!a[2].toString().trimmed().isEmpty())
            return restrictedProduct(ctx, a, limit);
    }
    QVariantList binds{ol, ol, ol, ol};
    binds << limit.binds;
    const data::FieldDefs fields = contracts::pesqProdutoFields();
    const DataPacket raw = selectPacket(
        ctx.conn, fields,
        QStringLiteral(
            "SELECT P.CDARVPROD, substr(P.NMPRODUTO, 1, %1), substr(M.NMMARCA, 1, %2), M.CDMARCA,"
            " P.SGUNIDADE, P.IDPRODATIVPR, COALESCE(R.CDPRODARVOL, P.CDPRODUTO),"
            " COALESCE(E.QTSALDO - E.QTRESERVADO, 0), NULL, P.CDNVPRODUTO, P.CDPRODUTO"
            " FROM (SELECT B.CDPRODUTO, B.CDMARCA FROM PRODRELACOL X"
            " JOIN PRODMARCA B ON B.CDPRODUTO = X.CDPRODUTO WHERE X.CDFILIOPELOG = ?"
            " UNION SELECT CDPRODUTO, CDMARCA FROM ESTOQUEOL"
            " WHERE CDFILIOPELOG = ? AND QTSALDO - QTRESERVADO > 0) O"
            " JOIN PRODUTO P ON P.CDPRODUTO = O.CDPRODUTO"
            " JOIN MARCA M ON M.CDMARCA = O.CDMARCA"
            " LEFT JOIN PRODRELACOL R ON R.CDFILIOPELOG = ? AND R.CDPRODUTO = O.CDPRODUTO"
            " LEFT JOIN ESTOQUEOL E ON E.CDFILIOPELOG = ? AND E.CDPRODUTO = O.CDPRODUTO"
            " AND E.CDMARCA = O.CDMARCA"
            " WHERE P.CDPRODESTO IS NOT NULL%3"
            " ORDER BY P.CDARVPROD, M.CDMARCA")
            .arg(fields[1].size)
            .arg(fields[2].size)
            .arg(limit.condition),
        binds);
    return QVariant::fromValue(withStockText(raw));
}

} // namespace sup::server
