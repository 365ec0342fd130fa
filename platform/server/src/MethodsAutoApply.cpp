// AltAtuItem: the automatic alteration applied to the selected items, product, quantity and
// delivery date at once.
//
// AltAtuItem(items, change product, change quantity, change date, date, quantity, product,
// unit adjustment %, quantity adjustment %, calendar refusal text, consider the original
// quantity, stock unit, update requests, operator, description, central branch, available
// stock, destination, launching branch, brand, particularity answer). Per selected item:
//  - a new product (with its brand) replaces the item's product, and its quantity is converted:
//    first by the unit adjustment, then by the quantity adjustment, both percentages. With
//    "consider the original quantity" the conversion starts from the quantity of the product the
//    order first named (QTORIGPRODPED of CDPRODORIGPEDOL; the item's own when it has none) and
//    the unit adjustment is worked out per item from the factors and unit weights of that
//    product and the new one, ((fO x pO) / (fN x pN)), since the items may have started from
//    different products. An item already of the new product keeps its quantity (only its brand
//    changes). The quantity is rounded to 3 decimals and must stay above 0;
//  - a new quantity replaces the item's, or is added to it when the new product is the item's
//    own (as the screen tells the user);
//  - a new delivery date moves the shipping date by as many days; it must not come before the
//    order's date, and each item's destination branch must receive the item's product (the new
//    one when it changes) on that weekday by its purchase calendar (the rule of
//    Carrega_PeriFili) unless the operator belongs to a group exempt from it (PEOL). The first
//    item refused fails the call with the screen's refusal text, formatted with the branch and
//    the product name;
//  - with "update requests" the open purchase requests of each altered item follow its
//    quantity (shared among several in proportion), product, brand and delivery date; open
//    requests of the items' branch, product and delivery date that no OL order item carries
//    cannot follow and are reported (answer element 2);
//  - a new product or brand gives the item's OL stock reservations back (they were of the old
//    ones); answer element 3 is true when, after that, the OL's free stock of some product and
//    brand does not cover what the altered items need of it beyond what they hold;
//  - items whose destination branch has a particularity the new product or brand breaks
//    (GetVdMarcPref) are altered when the particularity answer is "S" and left as they were
//    when "N".
// The write frame of the operations on marked items: one transaction, all or nothing; the items
// must lie in the operator's branches ("scope"); each is found by its id and must still be as
// loaded: one gone, no longer open, of another key (product, brand, date) or quantity, moved to
// another OL or blocked since (for operators who may not alter blocked items) is a conflict, all
// reported by item key, and nothing is written; an adjustment item, an item sent twice, or an
// alteration that would make an item equal another is refused. Only the product, brand,
// quantity, dates and reservation of the items change, and every change is audited with the
// operator and the description. The arguments the server reads for itself (stock unit, central
// branch, available stock, the current item's branches) are not needed. Answer: [items altered,
// items left as they were, request without OL order, items short of OL stock]. A fixed number of
// set-based statements, whatever the number of items.
//
// The run itself (runAlteration) is AltAtuItem's and its preview's (VisAltAtuItem,
// MethodsAutoPreview.cpp) alike; a RefusalPolicy decides what a refused item does: AltAtuItem
// fails the call with it, the preview keeps it with the item and goes on without the item.

#include "AutoApply.h"
#include "JsonRows.h"
#include "Particularities.h"
#include "SqlValues.h"

#include <QDate>
#include <QSet>
#include <QSqlQuery>

#include <cmath>

namespace sup::server {

namespace {

// Stored quantities are double precision: closer than this they are equal.
constexpr double kQtyEpsilon = 1e-9;

const QString kNothingWritten = QStringLiteral(" Nenhuma alteração foi gravada.");

[[noreturn]] void refuse(const QString& message, const char* code) {
    throw MethodFault(message, QString::fromLatin1(code));
}

QString number(double v) {
    return QString::number(v, 'g', 15);
}

// What the call asks.
struct Change {
    bool product = false, quantity = false, date = false;
    QString day; // the new delivery date, "yyyy-MM-dd 00:00:00"
    double qty = 0;
    double unitAdjust = 0, qtyAdjust = 0; // percent
    QString refusal;                      // calendar refusal text, "%s" branch and product
    bool original = false, requests = false;
    QString description;
    bool alterConflicting = false;
};

Change readChange(const MethodContext& ctx, const QVariantList& a) {
    auto arg = [&](int i, const QString& why) {
        refuse(QStringLiteral("O argumento %1 de %2 (%3) %4")
                   .arg(i + 1)
                   .arg(ctx.def.name, QString::fromUtf8(ctx.def.args[i].what), why),
               "args");
    };
    Change c;
    c.product = a[1].toBool();
    c.quantity = a[2].toBool();
    c.date = a[3].toBool();
    if (!c.product && !c.quantity && !c.date)
        refuse(QStringLiteral("Deve ser informado no mínimo um atributo (produto, quantidade ou "
                              "entrega) para que seja realizada a operação."),
               "args");
    if (c.date) {
        const QString day = dateArgToSql(a[4]).toString();
        if (day.isEmpty())
            arg(4, QStringLiteral("deve ser informado."));
        c.day = day.left(10) + QStringLiteral(" 00:00:00");
    }
    c.qty = a[5].toDouble();
    if (c.quantity && !(c.qty > kQtyEpsilon))
        arg(5, QStringLiteral("deve ser maior que zero."));
    c.unitAdjust = a[7].toDouble();
    c.qtyAdjust = a[8].toDouble();
    if (c.unitAdjust <= -100)
        arg(7, QStringLiteral("deve ser maior que -100."));
    if (c.qtyAdjust <= -100)
        arg(8, QStringLiteral("deve ser maior que -100."));
    c.refusal = a[9].toString();
    if (c.refusal.trimmed().isEmpty())
        c.refusal = QStringLiteral("Operação bloqueada. Nova data não contemplada pela "
                                   "periodicidade da filial %s para o produto %s .");
    c.original = a[10].toBool();
    c.requests = a[12].toBool();
    c.description = a[14].toString().trimmed();
    const QString answer = a[20].toString().trimmed().toUpper();
    if (c.product && answer != u"S" && answer != u"N")
        arg(20, QStringLiteral("deve ser \"S\" ou \"N\"."));
    c.alterConflicting = answer == u"S";
    return c;
}

// The text with its "%s" placeholders replaced in order.
QString formatted(QString text, const QStringList& values) {
    qsizetype from = 0;
    for (const QString& v : values) {
        const qsizetype at = text.indexOf(u"%s", from);
        if (at < 0)
            break;
        text.replace(at, 2, v);
        from = at + v.size();
    }
    return text;
}

// A conversion factor or a unit weight as a multiplier. A null or zero one (a product
// registered without it) counts as 1: the unit converts one to one instead of dividing by zero
// or wiping the quantity out.
double orOne(const QVariant& v) {
    const double x = v.isNull() ? 0 : v.toDouble();
    return std::isfinite(x) && x > 0 ? x : 1;
}

bool inGroupWith(const sql::Connection& conn, const QString& op, const char* authorisation) {
    return conn
        .scalar(QStringLiteral("SELECT 1 FROM AUTGRUPOP A JOIN OPERGRUPOP G"
                               " ON G.CDGRUPOPER = A.CDGRUPOPER"
                               " WHERE G.CDOPERADOR = ? AND A.IDAUTGRUPOP = ?"),
                {op, QString::fromLatin1(authorisation)})
        .isValid();
}

// The stored items, found by their id, locked until the transaction ends (PostgreSQL; SQLite's
// write transaction holds the whole database), in id order. Read as a packet: on SQLite straight
// from the C API, ten thousand items without a variant per value.
QList<AlteredItem> resolve(const sql::Connection& conn, const QList<SelectedItem>& selected) {
    const sql::Dialect d = conn.dialect();
    JsonRows ids;
    for (qsizetype i = 0; i < selected.size(); ++i) {
        ids.begin(i);
        ids.number("id", double(selected[i].id));
        ids.end();
    }
    using data::FieldDef;
    const auto text = [](const char* name) {
        return FieldDef::text(QString::fromLatin1(name), 0);
    };
    const auto real = [](const char* name) {
        return FieldDef::real(QString::fromLatin1(name));
    };
    const data::DataPacket rows = selectPacket(
        conn,
        {FieldDef::integer(QStringLiteral("R")),
         FieldDef::integer(QStringLiteral("CDRASTRITM")),
         text("CDFILDEST"),
         text("CDFILLANC"),
         text("NRPEDEXOL"),
         text("DTPROGENPEOL"),
         text("CDPRODUTO"),
         text("CDMARCA"),
         text("CDARVPROD"),
         text("IDSITUITEM"),
         text("IDITMPEDOLBLOQ"),
         text("IDITEMAJUSTE"),
         text("CDFILIOPELOG"),
         text("NMPRODUTO"),
         text("DTPROGEMBARQ"),
         text("DTEMISPEDOL"),
         real("QTPROGENPEOL"),
         real("QTRESERVESTOL"),
         real("QTORIG"),
         real("VRFATOCONV"),
         real("VRPESOUNID")},
        QStringLiteral("SELECT d.r, t.CDRASTRITM, t.CDFILDEST, t.CDFILLANC, t.NRPEDEXOL, %1,"
                       " t.CDPRODUTO, t.CDMARCA, t.CDARVPROD, t.IDSITUITEM, t.IDITMPEDOLBLOQ,"
                       " t.IDITEMAJUSTE, t.CDFILIOPELOG, t.NMPRODUTO, %2, %3, t.QTPROGENPEOL,"
                       " t.QTRESERVESTOL, CASE WHEN t.CDPRODORIGPEDOL IS NULL THEN t.QTPROGENPEOL"
                       " ELSE COALESCE(t.QTORIGPRODPED, t.QTPROGENPEOL) END,"
                       " O.VRFATOCONV, COALESCE(S.VRPESOUNID, O.VRPESOUNID)"
                       " FROM %4 JOIN PEDIDOOLITEM t ON t.CDRASTRITM = d.id"
                       " LEFT JOIN PRODUTO O ON O.CDPRODUTO = COALESCE(t.CDPRODORIGPEDOL,"
                       " t.CDPRODUTO) LEFT JOIN PRODUTO S ON S.CDPRODUTO = O.CDPRODESTO"
                       " ORDER BY t.CDRASTRITM%5")
            .arg(dateOut(d, QStringLiteral("t.DTPROGENPEOL")),
                 dateOut(d, QStringLiteral("t.DTPROGEMBARQ")),
                 dateOut(d, QStringLiteral("t.DTEMISPEDOL")), rowsTable(d, {{"id", "bigint"}}),
                 d == sql::Dialect::PostgreSQL ? QStringLiteral(" FOR UPDATE OF t") : QString()),
        {ids.value()});
    QList<AlteredItem> out(selected.size());
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const auto col = [&](int i) -> const data::Column& {
            return rows.column(i);
        };
        const auto trimmed = [&](int i) {
            return col(i).text(r).trimmed();
        };
        const auto nullable = [&](int i) {
            return col(i).isNull(r) ? QVariant() : QVariant(col(i).real(r));
        };
        AlteredItem& s = out[qsizetype(col(0).integer(r))];
        s.found = true;
        s.id = col(1).integer(r);
        s.stored =
            ItemKey{trimmed(2), trimmed(3), trimmed(4), col(5).text(r), trimmed(6), trimmed(7)};
        s.tree = trimmed(8);
        s.situation = trimmed(9);
        s.blocked = trimmed(10);
        s.adjustment = trimmed(11);
        s.ol = trimmed(12);
        s.name = trimmed(13);
        s.ship = col(14).text(r);
        s.emission = col(15).text(r);
        s.qty = col(16).real(r);
        s.reserved = col(17).real(r);
        s.originalQty = col(18).real(r);
        s.originFactor = nullable(19);
        s.originWeight = nullable(20);
    }
    return out;
}

// What of an item's key changed since it was loaded; empty when nothing did.
QString keyChange(const ItemKey& loaded, const ItemKey& now) {
    const auto differs = [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) != 0;
    };
    const auto day = [](const QString& t) {
        return QDate::fromString(t.left(10), Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy"));
    };
    // Another order or branches: the id names some other item, of which nothing is told.
    if (differs(loaded.dest, now.dest) || differs(loaded.lanc, now.lanc) ||
        differs(loaded.order, now.order))
        return QStringLiteral("o identificador enviado é de outro item");
    if (differs(loaded.product, now.product))
        return QStringLiteral("Produto: lido %1, atual %2").arg(loaded.product, now.product);
    if (differs(loaded.brand, now.brand))
        return QStringLiteral("Marca: lida %1, atual %2").arg(loaded.brand, now.brand);
    if (loaded.date != now.date)
        return QStringLiteral("Entrega: lida %1, atual %2").arg(day(loaded.date), day(now.date));
    return {};
}

// Gone, closed, changed or moved since loaded: conflicts; adjustment items and items
// sent twice: refused.
void judge(const QList<SelectedItem>& selected, QList<AlteredItem>& items, bool mayBlocked,
           RefusalPolicy& policy) {
    ItemConflicts conflicts;
    const auto conflict = [&](qsizetype i, const QString& why) {
        conflicts.add(selected[i], why);
        items[i].refusal = contracts::refusal::kConflict;
        items[i].reason = why; // as the call's conflict list names it
    };
    QSet<qint64> seen;
    for (qsizetype i = 0; i < selected.size(); ++i) {
        const SelectedItem& k = selected[i];
        AlteredItem& s = items[i];
        if (!s.found) {
            conflict(i, QStringLiteral("excluído por outro usuário"));
            continue;
        }
        if (seen.contains(s.id)) {
            policy.refuse(s, contracts::refusal::kRepeated,
                          QStringLiteral("O item %1 foi enviado mais de uma vez.").arg(k.text()) +
                              kNothingWritten,
                          "args");
            continue;
        }
        seen.insert(s.id);
        if (const QString changed = keyChange(k, s.stored); !changed.isEmpty()) {
            conflict(i, changed);
            continue;
        }
        if (s.adjustment != u"N") {
            policy.refuse(s, contracts::refusal::kAdjustment,
                          QStringLiteral("O item %1 é um item de ajuste e não pode ser alterado.")
                                  .arg(k.text()) +
                              kNothingWritten,
                          "business");
            continue;
        }
        if (s.situation != u"A")
            conflict(i, situationText(s.situation));
        else if (s.ol.compare(k.ol, Qt::CaseInsensitive) != 0)
            conflict(i, QStringLiteral("OL lido %1, atual %2").arg(k.ol, s.ol));
        else if (std::fabs(s.qty - k.qty) > kQtyEpsilon)
            conflict(i,
                     QStringLiteral("Qtde.: lida %1, atual %2").arg(number(k.qty), number(s.qty)));
        else if (s.blocked == u"S" && !mayBlocked)
            conflict(i, QStringLiteral("bloqueado por outro usuário"));
    }
    policy.conflictsFound(conflicts);
}

// The new quantity, dates and product of each item to alter.
void plan(const Change& c, const NewProduct& p, const QList<SelectedItem>& selected,
          QList<AlteredItem>& items, RefusalPolicy& policy) {
    for (qsizetype i = 0; i < items.size(); ++i) {
        AlteredItem& s = items[i];
        if (!s.alter)
            continue;
        const SelectedItem& k = selected[i];
        const bool sameProduct = c.product && p.code.compare(k.product, Qt::CaseInsensitive) == 0;
        s.newProduct =
            c.product && (!sameProduct || p.brand.compare(k.brand, Qt::CaseInsensitive) != 0);
        double qty = s.qty;
        if (c.quantity) {
            qty = sameProduct ? s.qty + c.qty : c.qty;
        } else if (c.product && !sameProduct) {
            const double unit = c.original ? (orOne(s.originFactor) * orOne(s.originWeight)) /
                                                 (orOne(p.factor) * orOne(p.unitWeight))
                                           : 1 + c.unitAdjust / 100;
            qty = (c.original ? s.originalQty : s.qty) * unit * (1 + c.qtyAdjust / 100);
        }
        s.qtyAfter = std::round(qty * 1000) / 1000;
        s.dateAfter = k.date;
        s.shipAfter = s.ship;
        s.planned = true;
        if (!(s.qtyAfter > kQtyEpsilon)) {
            policy.refuse(s, contracts::refusal::kQuantity,
                          QStringLiteral("A quantidade do item %1 ficaria em %2.")
                                  .arg(k.text(), number(s.qtyAfter)) +
                              kNothingWritten,
                          "business");
            continue;
        }
        s.newQty = std::fabs(s.qtyAfter - s.qty) > kQtyEpsilon;
        if (c.date && c.day != k.date) {
            if (c.day.left(10) < s.emission.left(10)) {
                policy.refuse(s, contracts::refusal::kOrderDate,
                              QStringLiteral("A nova data de entrega é anterior à data do pedido "
                                             "do item %1.")
                                      .arg(k.text()) +
                                  kNothingWritten,
                              "business");
                continue;
            }
            s.newDate = true;
            s.dateAfter = c.day;
            if (!s.ship.isEmpty()) {
                const QDate from = QDate::fromString(k.date.left(10), Qt::ISODate);
                const QDate to = QDate::fromString(c.day.left(10), Qt::ISODate);
                s.shipAfter = QDate::fromString(s.ship.left(10), Qt::ISODate)
                                  .addDays(from.daysTo(to))
                                  .toString(QStringLiteral("yyyy-MM-dd")) +
                              s.ship.mid(10);
            }
        }
        s.alter = s.newProduct || s.newQty || s.newDate;
    }
}

// Each item's branch must receive its product on the new date, unless the operator is exempt.
void checkCalendar(const sql::Connection& conn, const Change& c, const NewProduct& p,
                   const QList<SelectedItem>& selected, QList<AlteredItem>& items,
                   RefusalPolicy& policy) {
    QList<CalendarPair> pairs;
    QList<qsizetype> at;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!items[i].alter || !items[i].newDate)
            continue;
        pairs.append({selected[i].dest, c.product ? p.tree : items[i].tree});
        at << i;
    }
    if (pairs.isEmpty())
        return;
    const QList<bool> outside =
        outsideCalendar(conn, pairs, QDate::fromString(c.day.left(10), Qt::ISODate));
    for (qsizetype n = 0; n < at.size(); ++n)
        if (outside[n])
            policy.refuse(items[at[n]], contracts::refusal::kCalendar,
                          formatted(c.refusal,
                                    {selected[at[n]].dest, c.product ? p.name : items[at[n]].name}),
                          "business");
}

// The text of a particularity type, for the preview's reasons.
QString particularityText(const QString& type) {
    switch (partKindOf(type)) {
    case PartKind::Mandatory:
        return QStringLiteral("marca obrigatória");
    case PartKind::Preferential:
        return QStringLiteral("marcas preferenciais");
    case PartKind::Restricted:
        return QStringLiteral("marca restrita");
    case PartKind::Other:
        break;
    }
    return type == u"0" ? QStringLiteral("produtos preferenciais")
                        : QStringLiteral("tipo %1").arg(type);
}

// What the items' UPDATE writes, from the items still altered.
struct Writes {
    QList<AuditEntry> audit;
    QList<ReservedItem> released;
    JsonRows rows;
    int altered = 0;
};

Writes writesOf(const NewProduct& p, const QList<SelectedItem>& selected,
                const QList<AlteredItem>& items) {
    Writes w;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const AlteredItem& s = items[i];
        if (!s.alter)
            continue;
        ++w.altered;
        const SelectedItem& k = selected[i];
        const QString key = k.audit();
        if (s.newProduct) {
            if (p.code.compare(k.product, Qt::CaseInsensitive) != 0)
                w.audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), key,
                                      QStringLiteral("CDPRODUTO"), k.product, p.code};
            if (p.brand.compare(k.brand, Qt::CaseInsensitive) != 0)
                w.audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), key,
                                      QStringLiteral("CDMARCA"), k.brand, p.brand};
            w.released << ReservedItem{k, s.id, s.reserved};
        }
        if (s.newQty)
            w.audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), key,
                                  QStringLiteral("QTPROGENPEOL"), number(s.qty),
                                  number(s.qtyAfter)};
        if (s.newDate) {
            w.audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), key,
                                  QStringLiteral("DTPROGENPEOL"), k.date, s.dateAfter};
            if (!s.ship.isEmpty())
                w.audit << AuditEntry{QStringLiteral("PEDIDOOLITEM"), key,
                                      QStringLiteral("DTPROGEMBARQ"), s.ship, s.shipAfter};
        }
        w.rows.begin(i);
        w.rows.number("id", double(s.id));
        w.rows.number("q", s.qtyAfter);
        w.rows.text("t", s.dateAfter);
        w.rows.text("e", s.ship.isEmpty() ? QString() : s.shipAfter);
        w.rows.end();
    }
    return w;
}

} // namespace

void RefusalPolicy::refuse(AlteredItem& s, const QString& kind, const QString& message,
                           const char* code) {
    refused(message, code);
    s.refusal = kind;
    s.reason = message;
    s.alter = false;
}

void FailTheCall::conflictsFound(const ItemConflicts& conflicts) {
    conflicts.throwIfAny();
}

void FailTheCall::refused(const QString& message, const char* code) {
    throw MethodFault(message, QString::fromLatin1(code));
}

AlterationRun runAlteration(MethodContext& ctx, const QVariantList& a, RefusalPolicy& policy) {
    const sql::Connection& conn = ctx.conn;
    const Change c = readChange(ctx, a);
    AlterationRun run;
    run.selected = readSelectedItems(ctx, a[0]);
    const QList<SelectedItem>& selected = run.selected;
    const QString op = callOperator(ctx, a[13].toString());
    const JsonRows keys = itemKeyRows(selected);
    refuseOutsideBranches(conn, op, selected, keys);
    if (c.product)
        run.product = replacementProduct(ctx, a[6].toString().trimmed(), a[19].toString().trimmed(),
                                         selected.first().ol);
    const NewProduct& p = run.product;
    run.items = resolve(conn, selected);
    QList<AlteredItem>& items = run.items;
    judge(selected, items, inGroupWith(conn, op, "BLIP"), policy);

    // Items of branches whose particularities the new product or brand breaks stay as they are
    // when the user said so.
    QHash<QString, Breach> breaches;
    if (c.product && !c.alterConflicting)
        breaches = particularityBreaches(conn, selected, p.code, p.brand);
    for (qsizetype i = 0; i < items.size(); ++i) {
        AlteredItem& s = items[i];
        const auto breach = breaches.constFind(selected[i].dest.toUpper());
        s.alter = s.refusal.isEmpty() && breach == breaches.cend();
        if (s.refusal.isEmpty() && !s.alter) {
            ++run.left;
            s.refusal = contracts::refusal::kParticularity;
            s.reason = QStringLiteral("Fica como está: o produto novo não atende à "
                                      "particularidade da filial %1 (%2: %3).")
                           .arg(selected[i].dest, particularityText(breach->type), breach->names);
        }
    }
    plan(c, p, selected, items, policy);
    if (c.date && !inGroupWith(conn, op, "PEOL"))
        checkCalendar(conn, c, p, selected, items, policy);
    refuseEqualAfter(selected, items, p, policy);

    // The writes. When the table's key refuses them, the items that would end equal to stored
    // ones are refused and the rest written again.
    const sql::Dialect d = conn.dialect();
    QStringList sets;
    if (c.product)
        sets << QStringLiteral("CDPRODUTO = ?, CDARVPROD = ?, NMPRODUTO = ?, SGUNIDADE = ?,"
                               " CDPRODESTO = ?, VRFATOCONV = ?, CDMARCA = ?, NMMARCA = ?");
    if (c.product || c.quantity)
        sets << QStringLiteral("QTPROGENPEOL = d.q");
    if (c.date)
        sets << QStringLiteral("DTPROGENPEOL = d.t, DTPROGEMBARQ = d.e");
    Writes w;
    for (;;) {
        w = writesOf(p, selected, items);
        if (w.altered == 0)
            return run;
        QVariantList binds;
        if (c.product)
            binds << p.code << p.tree << p.name
                  << (p.unit.isEmpty() ? QVariant() : QVariant(p.unit)) << p.stock << p.factor
                  << p.brand << p.brandName;
        binds << w.rows.value();
        try {
            // A savepoint: when the table's key refuses the UPDATE, the transaction stays usable
            // to name the items.
            sql::Transaction step(ctx.conn);
            if (!w.released.isEmpty())
                releaseReservations(conn, w.released, w.audit);
            conn.exec(
                QStringLiteral("UPDATE PEDIDOOLITEM AS t SET %1 FROM %2 WHERE t.CDRASTRITM = d.id")
                    .arg(sets.join(QStringLiteral(", ")), rowsTable(d, {{"id", "bigint"},
                                                                        {"q", "double precision"},
                                                                        {"t", "timestamp(0)"},
                                                                        {"e", "timestamp(0)"}})),
                binds);
            step.commit();
            break;
        } catch (const sql::SqlError& e) {
            if (!e.isDuplicateKey())
                throw;
        }
        refuseEqualToStored(conn, selected, items, p, policy);
    }
    run.altered = w.altered;
    run.noOrder = c.requests && followRequests(conn, p, selected, items, w.audit);
    const QList<qsizetype> shortItems = shortOfStock(conn, p, selected, items);
    for (qsizetype i : shortItems)
        items[i].shortOfStock = true;
    run.shortStock = !shortItems.isEmpty();
    writeAudit(conn, ctx.def.name, op, {}, c.description, timestampText(), w.audit);
    return run;
}

QVariant AltAtuItem(MethodContext& ctx, QVariantList& a) {
    FailTheCall policy;
    const AlterationRun run = runAlteration(ctx, a, policy);
    return QVariantList{run.altered, run.left, run.noOrder, run.shortStock};
}

} // namespace sup::server
