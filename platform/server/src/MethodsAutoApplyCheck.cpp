// The automatic alteration's reading methods and what its writing one shares with them: the
// unit data of a product (GetAjusteUn), the selected items whose destination branch has a
// particularity the replacement product or its brand breaks (GetVdMarcPref), the selected-items
// array, the replacement product and the branches' particularities; and AltAtuItem's check that
// no item ends equal to another, the table's key being the item's order, branches, date, product
// and brand.
//
// GetAjusteUn(product): the product's conversion factor and the unit weight of its stock
// product (the weight the product lookups serve, so that both sides of a unit adjustment weigh
// the same unit); empty for a blank or unknown code (an item with no original product), which
// the screen reads as factor and weight 1.
//
// GetVdMarcPref(items, product by reference, central branch, brand by reference): one row per
// selected item (in the items' order) whose destination branch checks brand preferences and has,
// on the new product's path in the tree, a particularity the product in the brand breaks, with
// the item's product as stored and what the particularity names. The same rule as the grid's
// brand check: a mandatory brand not chosen, a restricted brand chosen, preferential brands none
// of which is chosen, preferential products of which the product is none, the first broken in
// that order. A blank brand takes the one the OL serves; the product code as stored and the brand
// are written back, for the alteration that follows. The central branch is not needed:
// particularities belong to the destination branches. The items must lie in the operator's
// branches, as for every read of items.

#include "AutoApply.h"
#include "JsonRows.h"
#include "Particularities.h"
#include "SqlValues.h"

#include "sup/contracts/SelectedItems.h"
#include "sup/contracts/record/OrderItem.h"

#include <QSqlQuery>

#include <cmath>

namespace sup::server {

namespace {

using data::DataPacket;

// Attributes of the selected-items array.
enum Attribute {
    aOperator = 0,
    aDest = 1,
    aLanc = 2,
    aOrder = 3,
    aProduct = 4,
    aDate = 5,
    aBrand = 6,
    aTree = 9,
    aQty = 10,
    aName = 11,
    aOl = 12,
    aId = 14,
};

const QString kNothingWritten = QStringLiteral(" Nenhuma alteração foi gravada.");

[[noreturn]] void refuse(const QString& message, const char* code) {
    throw MethodFault(message, QString::fromLatin1(code));
}

} // namespace

QList<SelectedItem> readSelectedItems(const MethodContext& ctx, const QVariant& array) {
    QString why;
    const std::optional<contracts::SelectedItems> selected =
        contracts::SelectedItems::fromVariant(array, &why);
    if (!selected)
        refuse(QStringLiteral("Os itens selecionados enviados a %1 não servem: %2.")
                   .arg(ctx.def.name, why),
               "args");
    if (selected->isEmpty())
        refuse(QStringLiteral("Nenhum item selecionado foi enviado a %1.").arg(ctx.def.name),
               "args");
    auto text = [&](int a, qsizetype i) {
        const data::Column& c = selected->column(a);
        return c.isNull(i) ? QString() : c.value(i).toString().trimmed();
    };
    auto number = [&](int a, qsizetype i) {
        const data::Column& c = selected->column(a);
        if (c.isNull(i))
            return std::nan("");
        switch (c.type()) {
        case data::FieldType::Double:
            return c.real(i);
        case data::FieldType::Integer:
            return double(c.integer(i));
        default:
            return std::nan("");
        }
    };
    QList<SelectedItem> items;
    items.reserve(selected->count());
    for (qsizetype i = 0; i < selected->count(); ++i) {
        SelectedItem s;
        s.dest = text(aDest, i).left(4).trimmed();
        s.lanc = text(aLanc, i);
        s.order = text(aOrder, i);
        s.date = dateArgToSql(selected->value(aDate, i)).toString();
        s.product = text(aProduct, i);
        s.brand = text(aBrand, i);
        for (const QString* part : {&s.dest, &s.lanc, &s.order, &s.date, &s.product, &s.brand})
            if (part->isEmpty())
                refuse(QStringLiteral("O item selecionado da posição %1 não tem a chave completa "
                                      "(destino, lançamento, pedido, entrega, produto e marca).")
                           .arg(i + 1),
                       "args");
        s.qty = number(aQty, i);
        const double id = number(aId, i);
        if (!std::isfinite(s.qty) || !std::isfinite(id))
            refuse(QStringLiteral("A quantidade e o identificador do item %1 devem ser números.")
                       .arg(s.text()),
                   "args");
        s.op = text(aOperator, i);
        s.ol = text(aOl, i);
        s.tree = text(aTree, i);
        s.name = text(aName, i);
        s.id = qint64(id);
        items << s;
    }
    return items;
}

QString callOperator(const MethodContext& ctx, const QString& fallback) {
    QString op = ctx.call.operatorCode.trimmed();
    if (op.isEmpty())
        op = fallback.trimmed();
    if (op.isEmpty())
        refuse(QStringLiteral("O operador deve ser informado."), "args");
    return op;
}

NewProduct replacementProduct(const MethodContext& ctx, const QString& code, const QString& brand,
                              const QString& ol) {
    const sql::Connection& conn = ctx.conn;
    if (code.isEmpty())
        refuse(QStringLiteral("O produto novo deve ser informado a %1.").arg(ctx.def.name), "args");
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT P.CDPRODUTO, P.CDARVPROD, P.NMPRODUTO, P.SGUNIDADE, P.CDPRODESTO,"
                       " P.VRFATOCONV, COALESCE(S.VRPESOUNID, P.VRPESOUNID), P.IDPRODATIVPR"
                       " FROM PRODUTO P LEFT JOIN PRODUTO S ON S.CDPRODUTO = P.CDPRODESTO"
                       " WHERE P.CDPRODUTO = ? AND P.CDPRODESTO IS NOT NULL"),
        {code});
    if (!q.next())
        refuse(QStringLiteral("Produto %1 não cadastrado.").arg(code.left(40)), "notfound");
    NewProduct p;
    p.code = q.value(0).toString().trimmed();
    p.tree = q.value(1).toString().trimmed();
    p.name = q.value(2).toString().trimmed();
    p.unit = q.value(3).toString().trimmed();
    p.stock = q.value(4).toString().trimmed();
    p.factor = q.value(5);
    p.unitWeight = q.value(6);
    if (q.value(7).toString().trimmed() != u"S")
        refuse(QStringLiteral("Produto %1 inativo.").arg(p.tree), "business");
    const QString asked = brand.isEmpty() ? chooseBrand(conn, ol, p.code, {}) : brand;
    QSqlQuery m = conn.exec(
        QStringLiteral("SELECT M.CDMARCA, M.NMMARCA FROM MARCA M WHERE M.CDMARCA = ?"
                       " AND (EXISTS (SELECT 1 FROM PRODMARCA B WHERE B.CDPRODUTO = ?"
                       " AND B.CDMARCA = M.CDMARCA) OR EXISTS (SELECT 1 FROM ESTOQUEOL E"
                       " WHERE E.CDFILIOPELOG = ? AND E.CDPRODUTO = ? AND E.CDMARCA = M.CDMARCA))"),
        {asked, p.code, ol, p.code});
    if (!m.next())
        refuse(QStringLiteral("Marca %1 não cadastrada para o produto %2.")
                   .arg(asked.left(10), p.tree),
               "business");
    p.brand = m.value(0).toString().trimmed();
    p.brandName = m.value(1).toString().trimmed();
    return p;
}

QHash<QString, Breach> particularityBreaches(const sql::Connection& conn,
                                             const QList<SelectedItem>& items,
                                             const QString& product, const QString& brand) {
    QStringList branches;
    for (const SelectedItem& s : items)
        if (!branches.contains(s.dest, Qt::CaseInsensitive))
            branches << s.dest;
    JsonRows j;
    for (qsizetype i = 0; i < branches.size(); ++i) {
        j.begin(i);
        j.text("b", branches[i]);
        j.end();
    }
    // Per branch, deepest node first, as the brand check reads them.
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT T.CDFILIAL, T.CDTIPPART, T.CDMARCA, M.NMMARCA, Q.CDARVPROD,"
                       " Q.CDPRODUTO FROM %1 JOIN PARTFILIPROD T ON T.CDFILIAL = d.b"
                       " JOIN PARAMFILIAL F ON F.CDFILIAL = T.CDFILIAL AND F.IDUTLMARPREFOL = 'S'"
                       " JOIN PRODUTO A ON A.CDPRODUTO = T.CDPRODUTO"
                       " JOIN PRODUTO P ON P.CDPRODUTO = ?"
                       " LEFT JOIN MARCA M ON M.CDMARCA = T.CDMARCA"
                       " LEFT JOIN PRODUTO Q ON Q.CDPRODUTO = T.CDPRODPREF"
                       " WHERE substr(P.CDARVPROD, 1, length(A.CDARVPROD)) = A.CDARVPROD"
                       " ORDER BY T.CDFILIAL, length(A.CDARVPROD) DESC, T.CDMARCA, T.CDTIPPART")
            .arg(rowsTable(conn.dialect(), {{"b", "code"}})),
        {j.value(), product});
    struct Found {
        BrandCheck brands;
        QStringList preferred; // tree codes
        bool isPreferred = false;
    };
    QHash<QString, Found> byBranch;
    QStringList order;
    while (q.next()) {
        const QString branch = q.value(0).toString().trimmed().toUpper();
        auto it = byBranch.find(branch);
        if (it == byBranch.end()) {
            it = byBranch.insert(branch, Found{BrandCheck(brand), {}, false});
            order << branch;
        }
        const QString type = q.value(1).toString().trimmed();
        if (type == u"0") {
            const QString tree = q.value(4).toString().trimmed();
            if (tree.isEmpty())
                continue;
            if (!it->preferred.contains(tree))
                it->preferred << tree;
            it->isPreferred = it->isPreferred || q.value(5).toString().trimmed().compare(
                                                     product, Qt::CaseInsensitive) == 0;
        } else if (!q.value(2).isNull()) {
            it->brands.add(type, q.value(2).toString().trimmed(), q.value(3).toString().trimmed());
        }
    }
    const qsizetype width = contracts::marcaPref2Fields()[6].size;
    QHash<QString, Breach> out;
    for (const QString& branch : order) {
        Found& f = *byBranch.find(branch);
        if (const BrandRule* broken = f.brands.broken()) {
            out.insert(branch, Breach{broken->type, joinWithin(broken->display, width)});
        } else if (!f.preferred.isEmpty() && !f.isPreferred) {
            f.preferred.sort();
            out.insert(branch, Breach{QStringLiteral("0"), joinWithin(f.preferred, width)});
        }
    }
    return out;
}

// An altered item's key afterwards.
ItemKey keyAfter(const SelectedItem& k, const AlteredItem& s, const NewProduct& p) {
    ItemKey after = k;
    after.date = s.dateAfter;
    if (s.newProduct) {
        after.product = p.code;
        after.brand = p.brand;
    }
    return after;
}

// No two altered items may end equal.
void refuseEqualAfter(const QList<SelectedItem>& selected, QList<AlteredItem>& items,
                      const NewProduct& p, RefusalPolicy& policy) {
    QHash<QString, qsizetype> after;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!items[i].alter || !(items[i].newProduct || items[i].newDate))
            continue;
        const ItemKey k = keyAfter(selected[i], items[i], p);
        const QString key = k.audit().toUpper();
        if (const auto it = after.constFind(key); it != after.cend()) {
            policy.refuse(items[i], contracts::refusal::kEqual,
                          QStringLiteral("Os itens %1 e %2 ficariam iguais (%3).")
                                  .arg(selected[*it].text(), selected[i].text(), k.text()) +
                              kNothingWritten,
                          "business");
            continue;
        }
        after.insert(key, i);
    }
}

// Names the altered items that would end equal to a stored one, once the table's key refused the
// items' UPDATE.
void refuseEqualToStored(const sql::Connection& conn, const QList<SelectedItem>& selected,
                         QList<AlteredItem>& items, const NewProduct& p, RefusalPolicy& policy) {
    JsonRows j;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!items[i].alter || !(items[i].newProduct || items[i].newDate))
            continue;
        const ItemKey k = keyAfter(selected[i], items[i], p);
        j.begin(i);
        j.text("b", k.dest);
        j.text("l", k.lanc);
        j.text("o", k.order);
        j.text("t", k.date);
        j.text("p", k.product);
        j.text("m", k.brand);
        j.number("id", double(items[i].id));
        j.end();
    }
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT d.r FROM %1 JOIN PEDIDOOLITEM t ON t.CDFILDEST = d.b"
                       " AND t.CDFILLANC = d.l AND t.NRPEDEXOL = d.o AND t.DTPROGENPEOL = d.t"
                       " AND t.CDPRODUTO = d.p AND t.CDMARCA = d.m AND t.CDRASTRITM <> d.id"
                       " ORDER BY d.r")
            .arg(rowsTable(conn.dialect(), {{"b", "code"},
                                            {"l", "code"},
                                            {"o", "code"},
                                            {"t", "timestamp(0)"},
                                            {"p", "code"},
                                            {"m", "code"},
                                            {"id", "bigint"}})),
        {j.value()});
    bool named = false;
    while (q.next()) {
        const qsizetype i = qsizetype(q.value(0).toLongLong());
        policy.refuse(items[i], contracts::refusal::kEqual,
                      QStringLiteral("O item %1 ficaria igual a um item já cadastrado (%2).")
                              .arg(selected[i].text(), keyAfter(selected[i], items[i], p).text()) +
                          kNothingWritten,
                      "business");
        named = true;
    }
    if (named)
        return;
    refuse(QStringLiteral("Item de Pedido já cadastrado: a alteração faria um item igual a outro "
                          "do mesmo pedido.") +
               kNothingWritten,
           "business");
}

// GetAjusteUn(product)
QVariant GetAjusteUn(MethodContext& ctx, QVariantList& a) {
    return QVariant::fromValue(
        selectPacket(ctx.conn, contracts::ajusteUnFields(),
                     QStringLiteral("SELECT P.VRFATOCONV, COALESCE(S.VRPESOUNID, P.VRPESOUNID)"
                                    " FROM PRODUTO P LEFT JOIN PRODUTO S"
                                    " ON S.CDPRODUTO = P.CDPRODESTO WHERE P.CDPRODUTO = ?"),
                     {a[0].toString().trimmed()}));
}

// GetVdMarcPref(items, product, central branch, brand)
QVariant GetVdMarcPref(MethodContext& ctx, QVariantList& a) {
    const QList<SelectedItem> items = readSelectedItems(ctx, a[0]);
    const QString op = callOperator(ctx, items.first().op);
    const JsonRows keys = itemKeyRows(items);
    refuseOutsideBranches(ctx.conn, op, items, keys);
    const NewProduct p = replacementProduct(ctx, a[1].toString().trimmed(),
                                            a[3].toString().trimmed(), items.first().ol);
    a[1] = p.code;
    a[3] = p.brand;
    const data::FieldDefs fields = contracts::marcaPref2Fields();
    data::DataPacketBuilder b(fields);
    const QHash<QString, Breach> breaches = particularityBreaches(ctx.conn, items, p.code, p.brand);
    if (breaches.isEmpty())
        return QVariant::fromValue(b.finish());
    QList<SelectedItem> listed;
    for (const SelectedItem& s : items)
        if (breaches.contains(s.dest.toUpper()))
            listed << s;
    // The listed items as stored (an item gone since is left out: the alteration reports it).
    QSqlQuery q = ctx.conn.exec(
        QStringLiteral("SELECT d.r, t.CDARVPROD, t.NMPRODUTO, t.SGUNIDADE FROM %1"
                       " JOIN PEDIDOOLITEM t ON t.CDFILDEST = d.b AND t.CDFILLANC = d.l"
                       " AND t.NRPEDEXOL = d.o AND t.DTPROGENPEOL = d.t AND t.CDPRODUTO = d.p"
                       " AND t.CDMARCA = d.m ORDER BY d.r")
            .arg(itemKeyRowsTable(ctx.conn.dialect())),
        {itemKeyRows(listed).value()});
    while (q.next()) {
        const SelectedItem& s = listed[qsizetype(q.value(0).toLongLong())];
        const Breach& breach = breaches[s.dest.toUpper()];
        b.appendRow({s.dest, s.lanc, s.order, q.value(1).toString().trimmed(),
                     q.value(2).toString().trimmed().left(fields[4].size),
                     q.value(3).toString().trimmed(), breach.names, breach.type});
    }
    return QVariant::fromValue(b.finish());
}

} // namespace sup::server
