// What follows the automatic alteration once the items are written (AltAtuItem,
// MethodsAutoApply.cpp): the open purchase requests of the altered items, and whether the OL's
// stock covers what they now need.
//
// Requests. Each altered item's open requests take its product and brand, its delivery date and
// its quantity, shared in proportion among several (rounded to 3 decimals); a request is written
// and audited only when something of it changes. Open requests of an altered item's branch,
// product and delivery date (as loaded) that no OL order item carries cannot follow; the answer
// reports them.
//
// Stock. Per OL, product and brand after the alteration, the items whose quantity, product or
// brand changed need their quantity beyond what they still hold reserved; the OL's free stock
// (balance minus reserved, after the reservations the alteration gave back) must cover it.

#include "AutoApply.h"
#include "JsonRows.h"
#include "SqlValues.h"

#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <map>

namespace sup::server {

namespace {

// Stored quantities are double precision: closer than this they are equal.
constexpr double kQtyEpsilon = 1e-9;

QString number(double v) {
    return QString::number(v, 'g', 15);
}

} // namespace

// The open requests of the altered items follow them. True when open requests of the items'
// branches, products and dates have no OL order item behind them.
bool followRequests(const sql::Connection& conn, const NewProduct& p,
                    const QList<SelectedItem>& selected, const QList<AlteredItem>& items,
                    QList<AuditEntry>& audit) {
    const sql::Dialect d = conn.dialect();
    QHash<qint64, qsizetype> byId;
    QList<qint64> ids;
    JsonRows orphans;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!items[i].alter)
            continue;
        byId.insert(items[i].id, i);
        ids << items[i].id;
        orphans.begin(i);
        orphans.text("b", selected[i].dest);
        orphans.text("p", selected[i].product);
        orphans.text("t", selected[i].date);
        orphans.end();
    }
    if (ids.isEmpty())
        return false;
    struct Request {
        qint64 number;
        double qty;
        QString product, brand, date;
    };
    std::map<qint64, QList<Request>> requests; // by item
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT CDRASTRITM, NRSOLICOMPRA, QTSOLICITADA, CDPRODUTO, CDMARCA, %1"
                       " FROM SOLICOMPRA WHERE IDSITUSOLIC = 'A' AND %2"
                       " ORDER BY CDRASTRITM, NRSOLICOMPRA")
            .arg(dateOut(d, QStringLiteral("DTENTREGA")), idsIn(d, QStringLiteral("CDRASTRITM"))),
        {idsValue(d, ids)});
    while (q.next())
        requests[q.value(0).toLongLong()] << Request{
            q.value(1).toLongLong(), q.value(2).toDouble(), q.value(3).toString().trimmed(),
            q.value(4).toString().trimmed(), q.value(5).toString()};
    JsonRows j;
    for (const auto& [id, list] : requests) {
        const AlteredItem& s = items[byId.value(id)];
        double sum = 0;
        for (const Request& r : list)
            sum += r.qty;
        for (const Request& r : list) {
            const double qty = !s.newQty          ? r.qty
                               : list.size() == 1 ? s.qtyAfter
                               : sum > kQtyEpsilon
                                   ? std::round(s.qtyAfter * r.qty / sum * 1000) / 1000
                                   : std::round(s.qtyAfter / double(list.size()) * 1000) / 1000;
            const QString product = s.newProduct ? p.code : r.product;
            const QString brand = s.newProduct ? p.brand : r.brand;
            const QString date = s.newDate ? s.dateAfter : r.date;
            const QString key = QString::number(r.number);
            const qsizetype before = audit.size();
            if (std::fabs(qty - r.qty) > kQtyEpsilon)
                audit << AuditEntry{QStringLiteral("SOLICOMPRA"), key,
                                    QStringLiteral("QTSOLICITADA"), number(r.qty), number(qty)};
            if (product.compare(r.product, Qt::CaseInsensitive) != 0)
                audit << AuditEntry{QStringLiteral("SOLICOMPRA"), key, QStringLiteral("CDPRODUTO"),
                                    r.product, product};
            if (brand.compare(r.brand, Qt::CaseInsensitive) != 0)
                audit << AuditEntry{QStringLiteral("SOLICOMPRA"), key, QStringLiteral("CDMARCA"),
                                    r.brand, brand};
            if (date != r.date)
                audit << AuditEntry{QStringLiteral("SOLICOMPRA"), key, QStringLiteral("DTENTREGA"),
                                    r.date, date};
            if (audit.size() == before)
                continue;
            j.begin(r.number);
            j.number("q", qty);
            j.text("p", product);
            j.text("m", brand);
            j.text("t", date);
            j.end();
        }
    }
    if (j.rows() > 0)
        conn.exec(QStringLiteral("UPDATE SOLICOMPRA AS s SET QTSOLICITADA = d.q, CDPRODUTO = d.p,"
                                 " CDMARCA = d.m, DTENTREGA = d.t FROM %1"
                                 " WHERE s.NRSOLICOMPRA = d.r")
                      .arg(rowsTable(d, {{"q", "double precision"},
                                         {"p", "code"},
                                         {"m", "code"},
                                         {"t", "timestamp(0)"}})),
                  {j.value()});
    return conn
        .scalar(QStringLiteral("SELECT 1 FROM %1 JOIN SOLICOMPRA s ON s.CDFILIAL = d.b"
                               " AND s.CDPRODUTO = d.p AND s.DTENTREGA = d.t"
                               " WHERE s.CDRASTRITM IS NULL AND s.IDSITUSOLIC = 'A' LIMIT 1")
                    .arg(rowsTable(d, {{"b", "code"}, {"p", "code"}, {"t", "timestamp(0)"}})),
                {orphans.value()})
        .isValid();
}

// The altered items needing more of a product and brand than they hold, where the OL's free stock
// does not cover what the altered items need of it beyond what they hold.
QList<qsizetype> shortOfStock(const sql::Connection& conn, const NewProduct& p,
                              const QList<SelectedItem>& selected,
                              const QList<AlteredItem>& items) {
    struct Need {
        QString ol, product, brand;
        double qty = 0;
        QList<qsizetype> items; // those that need some of it
    };
    std::map<QString, Need> needs;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const AlteredItem& s = items[i];
        if (!s.alter || !(s.newQty || s.newProduct))
            continue;
        const QString product = s.newProduct ? p.code : selected[i].product;
        const QString brand = s.newProduct ? p.brand : selected[i].brand;
        Need& n = needs[QStringList{s.ol, product, brand}.join(u'|').toUpper()];
        // What the item holds stays its own: a surplus is not free for the others.
        const double need = qMax(0.0, s.qtyAfter - (s.newProduct ? 0 : s.reserved));
        n.ol = s.ol;
        n.product = product;
        n.brand = brand;
        n.qty += need;
        if (need > kQtyEpsilon)
            n.items << i;
    }
    JsonRows j;
    QList<const Need*> rows;
    for (const auto& [key, n] : needs) {
        if (n.qty <= kQtyEpsilon)
            continue;
        j.begin(rows.size());
        rows << &n;
        j.text("o", n.ol);
        j.text("p", n.product);
        j.text("m", n.brand);
        j.number("q", n.qty);
        j.end();
    }
    QList<qsizetype> out;
    if (j.rows() == 0)
        return out;
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT d.r FROM %1 LEFT JOIN ESTOQUEOL e ON e.CDFILIOPELOG = d.o"
                       " AND e.CDPRODUTO = d.p AND e.CDMARCA = d.m"
                       " WHERE COALESCE(e.QTSALDO - e.QTRESERVADO, 0) < d.q - ?")
            .arg(rowsTable(
                conn.dialect(),
                {{"o", "code"}, {"p", "code"}, {"m", "code"}, {"q", "double precision"}})),
        {j.value(), kQtyEpsilon});
    while (q.next())
        out << rows[qsizetype(q.value(0).toLongLong())]->items;
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace sup::server
