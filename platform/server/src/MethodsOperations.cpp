// Operations on a selection of order items: blocking (SetBloqItem), OL stock reservation
// (SetReserva) and the closing of marked items by UpdItemPedidoOL (write-off and direct
// delivery, closeMarkedItems).
//
// What the three share:
//  - one transaction (the call's), all or nothing: every row is judged before anything is
//    written, and a refused or conflicting row leaves the database as it was;
//  - the request rows carry the fields the operation reads and no other; a field it does not
//    take, a value it cannot take or a row sent twice refuses the call ("args");
//  - the rows must lie in the operator's branches when the general parameter restricts them
//    ("scope"), the rule the item queries follow;
//  - an item is found by its key and must still be open and as the operation expects it; an item
//    another user changed since the list was read is a conflict, all conflicts reported together
//    by item key ("conflict");
//  - the items found are locked (PostgreSQL: FOR UPDATE, in item order) before they are judged,
//    and so is the OL stock (in stock key order) before a reservation reads it, so that users
//    acting at once on the same items or the same stock queue instead of overtaking each other
//    (SQLite: write transactions queue as a whole);
//  - every change is audited with the operator;
//  - a fixed number of set-based statements over the rows sent as one JSON parameter, whatever
//    the number of rows.
//
// SetBloqItem(rows, operator): each row names an item and the block flag it gets ("S" blocks,
// "N" unblocks); the item must hold the other flag. Only operators with group authorisation
// (BLIP) block and unblock; adjustment items never. Blocking sets the blocking date, unblocking
// the unblocking date; each change goes into the blocking history.
//
// SetReserva(rows): "I" reserves for the item the quantity asked (QTRESERVESTOL, at most the
// item's quantity) out of the OL's free stock (balance minus what is reserved), as far as the
// stock goes; "E" gives back everything the item holds. The answer is True when every row was
// served in full: a partial or empty inclusion, or an exclusion of an item that holds nothing,
// makes it False, and whatever could be done is kept. Only items of branches that work with
// reservations take part, never adjustment items, blocked items only for operators with group
// authorisation.
//
// closeMarkedItems: the delta's marked items (CALC "S") leave the open list: written off
// (IDSITUITEM "B") or moved to direct delivery ("E"); their reservations go back to the OL's
// stock. Blocked items are closed only for operators with group authorisation.

#include "ItemKeys.h"
#include "JsonRows.h"
#include "Methods.h"
#include "SqlValues.h"

#include "sup/server/Items.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <map>

namespace sup::server {

namespace {

using data::Column;
using data::DataPacket;
using data::FieldType;
using data::RowKind;

// Stored quantities are double precision: closer than this they are equal.
constexpr double kQtyEpsilon = 1e-9;

const char* const kKeyFields[] = {"CDFILDEST",    "CDFILLANC", "NRPEDEXOL",
                                  "DTPROGENPEOL", "CDPRODUTO", "CDMARCA"};

QString number(double v) {
    return QString::number(v, 'g', 15);
}

[[noreturn]] void refuse(const QString& message, const char* code) {
    throw MethodFault(message, QString::fromLatin1(code));
}

// ---------------------------------------------------------------- items by key

using Key = ItemKey;

// The stored item a row names.
struct Stored {
    bool found = false;
    qint64 id = 0;
    QString situation, blocked, adjustment, reservation, ol, product, brand;
    double qty = 0, reserved = 0;
    bool open() const { return found && situation == u"A"; }
};

// The stored items the rows name, locked until the transaction ends (PostgreSQL; SQLite's
// write transaction holds the whole database).
QList<Stored> resolve(const sql::Connection& conn, const QList<Key>& keys, const JsonRows& rows) {
    const bool pg = conn.dialect() == sql::Dialect::PostgreSQL;
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT d.r, t.CDRASTRITM, t.IDSITUITEM, t.IDITMPEDOLBLOQ, t.IDITEMAJUSTE,"
                       " t.IDUTRESPEDEXOL, t.CDFILIOPELOG, t.CDPRODUTO, t.CDMARCA, t.QTPROGENPEOL,"
                       " t.QTRESERVESTOL FROM %1 JOIN PEDIDOOLITEM t ON t.CDFILDEST = d.b"
                       " AND t.CDFILLANC = d.l AND t.NRPEDEXOL = d.o AND t.DTPROGENPEOL = d.t"
                       " AND t.CDPRODUTO = d.p AND t.CDMARCA = d.m ORDER BY t.CDRASTRITM%2")
            .arg(itemKeyRowsTable(conn.dialect()),
                 pg ? QStringLiteral(" FOR UPDATE OF t") : QString()),
        {rows.value()});
    QList<Stored> out(keys.size());
    while (q.next()) {
        Stored& s = out[qsizetype(q.value(0).toLongLong())];
        s.found = true;
        s.id = q.value(1).toLongLong();
        s.situation = q.value(2).toString().trimmed();
        s.blocked = q.value(3).toString().trimmed();
        s.adjustment = q.value(4).toString().trimmed();
        s.reservation = q.value(5).toString().trimmed();
        s.ol = q.value(6).toString().trimmed();
        s.product = q.value(7).toString().trimmed();
        s.brand = q.value(8).toString().trimmed();
        s.qty = q.value(9).toDouble();
        s.reserved = q.value(10).toDouble();
    }
    return out;
}

// The same item named by two rows refuses the call.
void refuseRepeated(const QList<Key>& keys, const QList<Stored>& stored) {
    QSet<qint64> seen;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (!stored[i].found)
            continue;
        if (seen.contains(stored[i].id))
            refuse(QStringLiteral("O item %1 foi enviado mais de uma vez. Nenhuma alteração foi "
                                  "gravada.")
                       .arg(keys[i].text()),
                   "args");
        seen.insert(stored[i].id);
    }
}

bool holdsGroupAuthorisation(const sql::Connection& conn, const QString& op) {
    return conn
        .scalar(QStringLiteral("SELECT 1 FROM AUTGRUPOP A JOIN OPERGRUPOP G"
                               " ON G.CDGRUPOPER = A.CDGRUPOPER"
                               " WHERE G.CDOPERADOR = ? AND A.IDAUTGRUPOP = 'BLIP'"),
                {op})
        .isValid();
}

// Items that changed since they were read, reported together; nothing is written.
class Conflicts : public ItemConflicts {
public:
    // Not found or no longer open: true when the item cannot be judged further.
    bool gone(const Key& k, const Stored& s) {
        if (!s.found)
            add(k, QStringLiteral("excluído por outro usuário"));
        else if (!s.open())
            add(k, situationText(s.situation));
        else
            return false;
        return true;
    }
};

// ---------------------------------------------------------------- request packets

// The rows of a request packet: only the fields the method takes, the ones it needs present.
class Request {
public:
    Request(const MethodContext& ctx, const DataPacket& p, std::initializer_list<const char*> takes,
            std::initializer_list<const char*> needs)
        : packet_(p) {
        for (const data::FieldDef& f : p.fields()) {
            bool known = false;
            for (const char* t : takes)
                known = known || f.name.compare(QLatin1String(t), Qt::CaseInsensitive) == 0;
            if (!known)
                refuse(QStringLiteral("O campo %1 não é aceito por %2. Nenhuma alteração foi "
                                      "gravada.")
                           .arg(f.name, ctx.def.name),
                       "args");
        }
        for (const char* n : needs)
            if (p.indexOf(QString::fromLatin1(n)) < 0)
                refuse(QStringLiteral("Os itens enviados a %1 não têm o campo %2.")
                           .arg(ctx.def.name, QLatin1String(n)),
                       "args");
        if (p.isDelta())
            refuse(QStringLiteral("%1 recebe os itens, não alterações.").arg(ctx.def.name), "args");
        const int date = p.indexOf(u"DTPROGENPEOL");
        if (p.fields()[date].type != FieldType::DateTime)
            refuse(QStringLiteral("O campo DTPROGENPEOL enviado a %1 deve ser uma data.")
                       .arg(ctx.def.name),
                   "args");
    }

    qsizetype rows() const { return packet_.rowCount(); }
    const Column& column(const char* name) const {
        return packet_.column(packet_.indexOf(QString::fromLatin1(name)));
    }
    QString text(const char* name, qsizetype row) const { return cellText(column(name), row); }

    Key key(qsizetype row) const {
        const Column& date = column("DTPROGENPEOL");
        Key k{text("CDFILDEST", row).left(4).trimmed(),
              text("CDFILLANC", row),
              text("NRPEDEXOL", row),
              date.isNull(row) ? QString() : QString::fromLatin1(msToSqlText(date.dateTimeMs(row))),
              text("CDPRODUTO", row),
              text("CDMARCA", row)};
        for (const QString* part : {&k.dest, &k.lanc, &k.order, &k.date, &k.product, &k.brand})
            if (part->isEmpty())
                refuse(QStringLiteral("O item da linha %1 não tem a chave completa (destino, "
                                      "lançamento, pedido, entrega, produto e marca).")
                           .arg(row + 1),
                       "args");
        return k;
    }

    // A number of the row (NaN when null).
    double real(const char* name, qsizetype row) const {
        const Column& c = column(name);
        if (c.isNull(row))
            return std::nan("");
        switch (c.type()) {
        case FieldType::Double:
            return c.real(row);
        case FieldType::Integer:
            return double(c.integer(row));
        default:
            return std::nan("");
        }
    }

private:
    const DataPacket& packet_;
};

// The operator the change is recorded for: the signed-on one, else the argument.
QString operatorOf(const MethodContext& ctx, const QString& argument) {
    QString op = ctx.call.operatorCode.trimmed();
    if (op.isEmpty())
        op = argument.trimmed();
    if (op.isEmpty())
        refuse(QStringLiteral("O operador deve ser informado."), "args");
    return op;
}

// ---------------------------------------------------------------- audit

// ---------------------------------------------------------------- OL stock

// The OL stock of the products and brands an operation touches, locked (PostgreSQL) and read in
// stock key order, with what the operation gives back and takes.
class Stock {
public:
    static QString key(const QString& ol, const QString& product, const QString& brand) {
        return QStringList{ol, product, brand}.join(u'|').toUpper();
    }

    void want(const QString& ol, const QString& product, const QString& brand) {
        rows_.emplace(key(ol, product, brand), Row{ol, product, brand, 0, 0});
    }

    void load(const sql::Connection& conn) {
        if (rows_.empty())
            return;
        JsonRows j;
        qsizetype r = 0;
        for (const auto& [k, row] : rows_) {
            j.begin(r++);
            j.text("o", row.ol);
            j.text("p", row.product);
            j.text("m", row.brand);
            j.end();
        }
        const sql::Dialect d = conn.dialect();
        QSqlQuery q =
            conn.exec(QStringLiteral(
                          "SELECT e.CDFILIOPELOG, e.CDPRODUTO, e.CDMARCA, e.QTSALDO - e.QTRESERVADO"
                          " FROM %1 JOIN ESTOQUEOL e ON e.CDFILIOPELOG = d.o"
                          " AND e.CDPRODUTO = d.p AND e.CDMARCA = d.m"
                          " ORDER BY e.CDFILIOPELOG, e.CDPRODUTO, e.CDMARCA%2")
                          .arg(rowsTable(d, {{"o", "code"}, {"p", "code"}, {"m", "code"}}),
                               d == sql::Dialect::PostgreSQL ? QStringLiteral(" FOR UPDATE OF e")
                                                             : QString()),
                      {j.value()});
        while (q.next()) {
            auto it =
                rows_.find(key(q.value(0).toString().trimmed(), q.value(1).toString().trimmed(),
                               q.value(2).toString().trimmed()));
            if (it != rows_.end())
                it->second.free = qMax(0.0, q.value(3).toDouble());
        }
    }

    // Takes up to `qty` of the free stock; returns what it got.
    double take(const QString& ol, const QString& product, const QString& brand, double qty) {
        Row& row = rows_.at(key(ol, product, brand));
        const double got = qMax(0.0, qMin(qty, row.free));
        row.free -= got;
        row.change += got;
        return got;
    }
    void giveBack(const QString& ol, const QString& product, const QString& brand, double qty) {
        Row& row = rows_.at(key(ol, product, brand));
        row.free += qty;
        row.change -= qty;
    }

    // Writes the reserved quantities that changed: one statement.
    void write(const sql::Connection& conn) const {
        JsonRows j;
        qsizetype r = 0;
        for (const auto& [k, row] : rows_) {
            if (std::fabs(row.change) <= kQtyEpsilon)
                continue;
            j.begin(r++);
            j.text("o", row.ol);
            j.text("p", row.product);
            j.text("m", row.brand);
            j.number("q", row.change);
            j.end();
        }
        if (j.rows() == 0)
            return;
        conn.exec(
            QStringLiteral("UPDATE ESTOQUEOL AS e SET QTRESERVADO = CASE"
                           " WHEN e.QTRESERVADO + d.q > 0 THEN e.QTRESERVADO + d.q ELSE 0 END"
                           " FROM %1 WHERE e.CDFILIOPELOG = d.o AND e.CDPRODUTO = d.p"
                           " AND e.CDMARCA = d.m")
                .arg(rowsTable(
                    conn.dialect(),
                    {{"o", "code"}, {"p", "code"}, {"m", "code"}, {"q", "double precision"}})),
            {j.value()});
    }

private:
    struct Row {
        QString ol, product, brand;
        double free = 0;   // free stock left for this operation
        double change = 0; // what the operation adds to the reserved part
    };
    std::map<QString, Row> rows_;
};

// What some items hold reserved, by item and stock.
struct Held {
    qint64 id;
    QString ol, product, brand;
    double qty;
};

QList<Held> heldBy(const sql::Connection& conn, const QList<qint64>& ids) {
    QList<Held> out;
    if (ids.isEmpty())
        return out;
    const sql::Dialect d = conn.dialect();
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT CDRASTRITM, CDFILIOPELOG, CDPRODUTO, CDMARCA, SUM(QTRESERVADA)"
                       " FROM RESERVAESTOL WHERE %1"
                       " GROUP BY CDRASTRITM, CDFILIOPELOG, CDPRODUTO, CDMARCA"
                       " ORDER BY CDRASTRITM, CDFILIOPELOG, CDPRODUTO, CDMARCA")
            .arg(idsIn(d, QStringLiteral("CDRASTRITM"))),
        {idsValue(d, ids)});
    while (q.next())
        out << Held{q.value(0).toLongLong(), q.value(1).toString().trimmed(),
                    q.value(2).toString().trimmed(), q.value(3).toString().trimmed(),
                    q.value(4).toDouble()};
    return out;
}

// Gives back to the stock what `held` names and clears the items' reservations (their
// reservation rows and their reserved quantity).
void releaseHeld(const sql::Connection& conn, const QList<Held>& held, Stock& stock,
                 const QHash<qint64, QPair<Key, double>>& items, QList<AuditEntry>& audit) {
    if (items.isEmpty())
        return;
    for (const Held& h : held) {
        stock.giveBack(h.ol, h.product, h.brand, h.qty);
        audit << AuditEntry{QStringLiteral("RESERVAESTOL"),
                            QStringLiteral("%1|%2|%3|%4").arg(h.id).arg(h.ol, h.product, h.brand),
                            QStringLiteral("QTRESERVADA"), number(h.qty), QStringLiteral("0")};
    }
    QList<qint64> ids = items.keys();
    std::sort(ids.begin(), ids.end());
    // Only the items holding something are written: rewriting the others would cost a new row
    // version (and index entries) each for nothing.
    QSet<qint64> holding;
    for (const Held& h : held)
        holding.insert(h.id);
    QList<qint64> written;
    for (qint64 id : ids) {
        const auto& [key, reserved] = items.value(id);
        if (reserved > kQtyEpsilon)
            audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), key.audit(),
                                QStringLiteral("QTRESERVESTOL"), number(reserved),
                                QStringLiteral("0")};
        if (reserved > kQtyEpsilon || holding.contains(id))
            written << id;
    }
    if (written.isEmpty())
        return;
    const sql::Dialect d = conn.dialect();
    const QString in = idsIn(d, QStringLiteral("CDRASTRITM"));
    const QVariant value = idsValue(d, written);
    conn.exec(QStringLiteral("DELETE FROM RESERVAESTOL WHERE %1").arg(in), {value});
    conn.exec(QStringLiteral("UPDATE PEDIDOOLITEM SET QTRESERVESTOL = 0 WHERE %1").arg(in),
              {value});
}

} // namespace

// ---------------------------------------------------------------- SetBloqItem

QVariant SetBloqItem(MethodContext& ctx, QVariantList& a) {
    const QString op = operatorOf(ctx, a[1].toString());
    const sql::Connection& conn = ctx.conn;
    if (!holdsGroupAuthorisation(conn, op))
        refuse(QStringLiteral("O operador %1 não tem autorização para bloquear ou desbloquear "
                              "itens. Nenhuma alteração foi gravada.")
                   .arg(op),
               "business");
    const DataPacket packet = a[0].value<DataPacket>();
    const Request req(ctx, packet,
                      {"CDPRODUTO", "NRPEDEXOL", "CDFILLANC", "CDFILDEST", "DTPROGENPEOL",
                       "CDMARCA", "IDITMPEDOLBLOQ"},
                      {"CDPRODUTO", "NRPEDEXOL", "CDFILLANC", "CDFILDEST", "DTPROGENPEOL",
                       "CDMARCA", "IDITMPEDOLBLOQ"});
    QList<Key> keys;
    QStringList flags;
    for (qsizetype r = 0; r < req.rows(); ++r) {
        keys << req.key(r);
        const QString to = req.text("IDITMPEDOLBLOQ", r).toUpper();
        if (to != u"S" && to != u"N")
            refuse(QStringLiteral("O bloqueio pedido para o item %1 deve ser \"S\" ou \"N\".")
                       .arg(keys.last().text()),
                   "args");
        flags << to;
    }
    if (keys.isEmpty())
        return {};
    const JsonRows rows = itemKeyRows(keys);
    refuseOutsideBranches(conn, op, keys, rows);
    const QList<Stored> stored = resolve(conn, keys, rows);
    refuseRepeated(keys, stored);

    Conflicts conflicts;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const Stored& s = stored[i];
        if (conflicts.gone(keys[i], s))
            continue;
        if (s.adjustment != u"N")
            refuse(QStringLiteral("O item %1 é um item de ajuste e não pode ser bloqueado nem "
                                  "desbloqueado. Nenhuma alteração foi gravada.")
                       .arg(keys[i].text()),
                   "business");
        if (s.blocked == flags[i])
            conflicts.add(keys[i], flags[i] == u"S" ? QStringLiteral("já está bloqueado")
                                                    : QStringLiteral("já está desbloqueado"));
    }
    conflicts.throwIfAny();

    const QString now = timestampText();
    JsonRows changes;
    QList<AuditEntry> audit;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        changes.begin(i);
        changes.number("id", double(stored[i].id));
        changes.text("f", flags[i]);
        changes.end();
        audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), keys[i].audit(),
                            QStringLiteral("IDITMPEDOLBLOQ"), stored[i].blocked, flags[i]};
    }
    const sql::Dialect d = conn.dialect();
    const QString ts = timestampParam(d);
    const QString table = rowsTable(d, {{"id", "bigint"}, {"f", "text"}});
    conn.exec(QStringLiteral("UPDATE PEDIDOOLITEM AS t SET IDITMPEDOLBLOQ = d.f,"
                             " DTBLOQITMPEDOL = CASE WHEN d.f = 'S' THEN %1"
                             " ELSE t.DTBLOQITMPEDOL END,"
                             " DTDESBLOQITMPEDOL = CASE WHEN d.f = 'N' THEN %1"
                             " ELSE t.DTDESBLOQITMPEDOL END"
                             " FROM %2 WHERE t.CDRASTRITM = d.id")
                  .arg(ts, table),
              {now, now, changes.value()});
    conn.exec(QStringLiteral("INSERT INTO BLOQITEMHIST (CDRASTRITM, IDITMPEDOLBLOQ, DTEVENTO,"
                             " CDOPERADOR) SELECT d.id, d.f, %1, ? FROM %2 ORDER BY d.r")
                  .arg(ts, table),
              {now, op, changes.value()});
    writeAudit(conn, ctx.def.name, op, {}, {}, now, audit);
    return {};
}

// ---------------------------------------------------------------- SetReserva

QVariant SetReserva(MethodContext& ctx, QVariantList& a) {
    const QString op = operatorOf(ctx, {});
    const sql::Connection& conn = ctx.conn;
    const DataPacket packet = a[0].value<DataPacket>();
    const Request req(ctx, packet,
                      {"CDPRODUTO", "NRPEDEXOL", "CDFILLANC", "CDFILDEST", "DTPROGENPEOL",
                       "CDMARCA", "DTPROGEMBARQ", "CDFILIOPELOG", "QTPROGENPEOL", "QTRESERVESTOL",
                       "OPERACAO"},
                      {"CDPRODUTO", "NRPEDEXOL", "CDFILLANC", "CDFILDEST", "DTPROGENPEOL",
                       "CDMARCA", "CDFILIOPELOG", "QTRESERVESTOL", "OPERACAO"});
    const bool sentQty = packet.indexOf(u"QTPROGENPEOL") >= 0;
    QList<Key> keys;
    QList<bool> include;
    QList<double> asked;
    for (qsizetype r = 0; r < req.rows(); ++r) {
        keys << req.key(r);
        const QString operation = req.text("OPERACAO", r).toUpper();
        if (operation != u"I" && operation != u"E")
            refuse(QStringLiteral("A operação de reserva do item %1 deve ser \"I\" (incluir) ou "
                                  "\"E\" (excluir).")
                       .arg(keys.last().text()),
                   "args");
        include << (operation == u"I");
        asked << req.real("QTRESERVESTOL", r);
        if (include.last() && !(asked.last() > kQtyEpsilon))
            refuse(QStringLiteral("A quantidade a reservar do item %1 deve ser maior que zero.")
                       .arg(keys.last().text()),
                   "args");
    }
    if (keys.isEmpty())
        return true;
    const JsonRows rows = itemKeyRows(keys);
    refuseOutsideBranches(conn, op, keys, rows);
    const QList<Stored> stored = resolve(conn, keys, rows);
    refuseRepeated(keys, stored);
    const bool mayBlocked = holdsGroupAuthorisation(conn, op);

    Conflicts conflicts;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const Stored& s = stored[i];
        const Key& k = keys[i];
        if (conflicts.gone(k, s))
            continue;
        if (s.reservation != u"S")
            refuse(QStringLiteral("O destino do item %1 não trabalha com reserva de estoque. "
                                  "Nenhuma alteração foi gravada.")
                       .arg(k.text()),
                   "business");
        if (s.adjustment != u"N")
            refuse(QStringLiteral("O item %1 é um item de ajuste e não tem reserva de estoque. "
                                  "Nenhuma alteração foi gravada.")
                       .arg(k.text()),
                   "business");
        if (s.blocked == u"S" && !mayBlocked)
            refuse(QStringLiteral("Operação bloqueada! Item do pedido do OL está bloqueado (item "
                                  "%1). Nenhuma alteração foi gravada.")
                       .arg(k.text()),
                   "business");
        const QString ol = req.text("CDFILIOPELOG", i);
        if (ol.compare(s.ol, Qt::CaseInsensitive) != 0)
            refuse(QStringLiteral("O OL %1 enviado não é o do item %2 (%3). Nenhuma alteração "
                                  "foi gravada.")
                       .arg(ol, k.text(), s.ol),
                   "args");
        if (!include[i])
            continue;
        const double loadedQty = sentQty ? req.real("QTPROGENPEOL", i) : s.qty;
        if (std::fabs(loadedQty - s.qty) > kQtyEpsilon) {
            conflicts.add(
                k,
                QStringLiteral("Qtde.: lida %1, atual %2").arg(number(loadedQty), number(s.qty)));
            continue;
        }
        if (asked[i] > s.qty + kQtyEpsilon)
            refuse(QStringLiteral("A reserva pedida para o item %1 (%2) passa da quantidade do "
                                  "item (%3). Nenhuma alteração foi gravada.")
                       .arg(k.text(), number(asked[i]), number(s.qty)),
                   "args");
    }
    conflicts.throwIfAny();

    // What the exclusions give back, then the stock both touch, locked in key order.
    QHash<qint64, QPair<Key, double>> released;
    QList<qint64> releasedIds;
    bool allServed = true;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (include[i])
            continue;
        if (stored[i].reserved <= kQtyEpsilon)
            allServed = false; // nothing to give back: the item was not changed
        released.insert(stored[i].id, {keys[i], stored[i].reserved});
        releasedIds << stored[i].id;
    }
    const QList<Held> held = heldBy(conn, releasedIds);
    Stock stock;
    for (const Held& h : held)
        stock.want(h.ol, h.product, h.brand);
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (include[i])
            stock.want(stored[i].ol, stored[i].product, stored[i].brand);
    stock.load(conn);

    const QString now = timestampText();
    QList<AuditEntry> audit;
    releaseHeld(conn, held, stock, released, audit);

    // Inclusions in the order of the rows, each up to what the stock still has.
    JsonRows taken;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (!include[i])
            continue;
        const Stored& s = stored[i];
        const double need = asked[i] - s.reserved;
        if (need <= kQtyEpsilon)
            continue; // already holds what is asked
        const double got = stock.take(s.ol, s.product, s.brand, need);
        if (got < need - kQtyEpsilon)
            allServed = false;
        if (got <= kQtyEpsilon)
            continue;
        taken.begin(i);
        taken.number("id", double(s.id));
        taken.text("o", s.ol);
        taken.text("p", s.product);
        taken.text("m", s.brand);
        taken.number("q", got);
        taken.end();
        audit << AuditEntry{QStringLiteral("RESERVAESTOL"),
                            QStringLiteral("%1|%2|%3|%4").arg(s.id).arg(s.ol, s.product, s.brand),
                            QStringLiteral("QTRESERVADA"), QStringLiteral("0"), number(got)};
        audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), keys[i].audit(),
                            QStringLiteral("QTRESERVESTOL"), number(s.reserved),
                            number(s.reserved + got)};
    }
    const sql::Dialect d = conn.dialect();
    if (taken.rows() > 0) {
        const QString table = rowsTable(d, {{"id", "bigint"},
                                            {"o", "code"},
                                            {"p", "code"},
                                            {"m", "code"},
                                            {"q", "double precision"}});
        conn.exec(QStringLiteral("INSERT INTO RESERVAESTOL (CDRASTRITM, CDFILIOPELOG, CDPRODUTO,"
                                 " CDMARCA, QTRESERVADA, DTRESERVA, CDOPERADOR)"
                                 " SELECT d.id, d.o, d.p, d.m, d.q, %1, ? FROM %2 ORDER BY d.r")
                      .arg(timestampParam(d), table),
                  {now, op, taken.value()});
        conn.exec(QStringLiteral("UPDATE PEDIDOOLITEM AS t SET QTRESERVESTOL = t.QTRESERVESTOL"
                                 " + d.q FROM %1 WHERE t.CDRASTRITM = d.id")
                      .arg(table),
                  {taken.value()});
    }
    stock.write(conn);
    writeAudit(conn, ctx.def.name, op, {}, {}, now, audit);
    return allServed;
}

// ---------------------------------------------------------------- write-off and direct delivery

void closeMarkedItems(MethodContext& ctx, const DataPacket& delta, ItemClosing closing,
                      const QString& op, const QString& reason) {
    const int calc = delta.indexOf(u"CALC");
    if (calc < 0)
        return;
    auto field = [&](const char* name) {
        return delta.indexOf(QString::fromLatin1(name));
    };
    const int qty = field("QTPROGENPEOL");
    const int blockedField = field("IDITMPEDOLBLOQ");
    int keyField[6];
    for (int i = 0; i < 6; ++i)
        keyField[i] = field(kKeyFields[i]); // the saving checked they are there
    // The marked items by their key as saved (product and brand may have changed with them).
    QList<Key> keys;
    QList<double> quantities;
    QList<bool> loadedBlocked;
    for (qsizetype r = 0; r < delta.rowCount(); ++r) {
        if (delta.kind(r) != RowKind::Modified ||
            cellText(delta.column(calc), r).compare(u"S", Qt::CaseInsensitive) != 0)
            continue;
        const double q = delta.column(qty).isNull(r) ? 0 : delta.column(qty).real(r);
        if (std::fabs(q) <= kQtyEpsilon)
            continue; // left the order when saved
        const Column& date = delta.loadedColumn(keyField[3]);
        keys << Key{cellText(delta.loadedColumn(keyField[0]), r).left(4).trimmed(),
                    cellText(delta.loadedColumn(keyField[1]), r),
                    cellText(delta.loadedColumn(keyField[2]), r),
                    date.isNull(r) ? QString()
                                   : QString::fromLatin1(msToSqlText(date.dateTimeMs(r))),
                    cellText(delta.column(keyField[4]), r),
                    cellText(delta.column(keyField[5]), r)};
        quantities << q;
        loadedBlocked << (blockedField >= 0 &&
                          cellText(delta.loadedColumn(blockedField), r) == u"S");
    }
    if (keys.isEmpty())
        return;
    const sql::Connection& conn = ctx.conn;
    const JsonRows rows = itemKeyRows(keys);
    refuseOutsideBranches(conn, op, keys, rows);
    const QList<Stored> stored = resolve(conn, keys, rows);
    refuseRepeated(keys, stored);
    const bool mayBlocked = holdsGroupAuthorisation(conn, op);

    Conflicts conflicts;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const Stored& s = stored[i];
        if (conflicts.gone(keys[i], s))
            continue;
        if (s.blocked == u"S" && !mayBlocked) {
            if (loadedBlocked[i])
                refuse(QStringLiteral("Operação bloqueada! Item do pedido do OL está bloqueado "
                                      "(item %1). Nenhuma alteração foi gravada.")
                           .arg(keys[i].text()),
                       "business");
            conflicts.add(keys[i], QStringLiteral("bloqueado por outro usuário"));
        } else if (std::fabs(s.qty - quantities[i]) > kQtyEpsilon) {
            conflicts.add(keys[i], QStringLiteral("Qtde.: lida %1, atual %2")
                                       .arg(number(quantities[i]), number(s.qty)));
        }
    }
    conflicts.throwIfAny();

    const QString situation =
        closing == ItemClosing::WriteOff ? QStringLiteral("B") : QStringLiteral("E");
    QHash<qint64, QPair<Key, double>> items;
    QList<qint64> ids;
    QList<AuditEntry> audit;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        items.insert(stored[i].id, {keys[i], stored[i].reserved});
        ids << stored[i].id;
        audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), keys[i].audit(),
                            QStringLiteral("IDSITUITEM"), QStringLiteral("A"), situation};
    }
    const QList<Held> held = heldBy(conn, ids);
    Stock stock;
    for (const Held& h : held)
        stock.want(h.ol, h.product, h.brand);
    stock.load(conn);
    releaseHeld(conn, held, stock, items, audit);
    stock.write(conn);
    const sql::Dialect d = conn.dialect();
    conn.exec(QStringLiteral("UPDATE PEDIDOOLITEM SET IDSITUITEM = ? WHERE %1")
                  .arg(idsIn(d, QStringLiteral("CDRASTRITM"))),
              {situation, idsValue(d, ids)});
    writeAudit(conn, ctx.def.name, op, delta.deltaId().toString(QUuid::WithoutBraces), reason,
               timestampText(), audit);
}

// ---------------------------------------------------------------- reservations given back

void releaseReservations(const sql::Connection& conn, const QList<ReservedItem>& items,
                         QList<AuditEntry>& audit) {
    QHash<qint64, QPair<Key, double>> byId;
    QList<qint64> ids;
    for (const ReservedItem& r : items) {
        byId.insert(r.id, {r.key, r.reserved});
        ids << r.id;
    }
    const QList<Held> held = heldBy(conn, ids);
    Stock stock;
    for (const Held& h : held)
        stock.want(h.ol, h.product, h.brand);
    stock.load(conn);
    releaseHeld(conn, held, stock, byId, audit);
    stock.write(conn);
}

} // namespace sup::server
