// The checks behind editing an item in the grid: the brands a product is bought in
// (GetPesqMarca), the OL purchase-tree block (GetBloqIncluiProdCmpOL), the branch's rule on
// products the OLs do not handle (GetBloqProdSemRelacOL), whether the OL's stock covers a
// quantity (GetVd_Est_Disp), the branch particularities of brand and product (VerificaMarcaPref,
// VerificaMarcaPref1) and the reservation check of an edited quantity (GetVdReserva).
//
// OL stock: the free stock of an OL for a product and brand is its balance minus what is
// reserved for order items (ESTOQUEOL.QTSALDO - QTRESERVADO). What an item already holds of that
// stock is its own, so it counts as available to that item.
//
// Codes that match nothing give empty answers (no brands, no relationship, no stock); a blank
// code the rule needs is refused, and so is an unknown destination branch, whose parameters
// decide the answer. None of these methods writes back its by-reference arguments.

#include "Methods.h"
#include "Particularities.h"
#include "SqlValues.h"

#include "sup/contracts/record/OrderItem.h"

#include <QDate>
#include <QPair>
#include <QSqlQuery>

namespace sup::server {

namespace {

using data::DataPacket;
using data::DataPacketBuilder;

// Stored quantities are double precision: closer than this they are equal.
constexpr double kQtyEpsilon = 1e-9;

// The destination branch: the first four characters of the argument (the item's field carries
// the branch name after the code); it must exist.
QString destinationBranch(const MethodContext& ctx, const QVariantList& a, int i) {
    const QString code = requiredArg(ctx, a, i).left(4).trimmed();
    if (!ctx.conn.scalar(QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = ?"), {code})
             .isValid())
        throw MethodFault(QStringLiteral("Filial %1 não cadastrada.").arg(code),
                          QStringLiteral("notfound"));
    return code;
}

// A stored date-time compared with a bound text date.
QString dateParam(sql::Dialect d) {
    return d == sql::Dialect::SQLite ? QStringLiteral("?")
                                     : QStringLiteral("CAST(? AS timestamp(0))");
}

// The condition that the node `alias` lies on the path of the product P: P itself or one of
// its ancestors in the tree (a node's tree code is a prefix of the codes below it).
QString onPathOf(const QString& alias) {
    return QStringLiteral("substr(P.CDARVPROD, 1, length(%1.CDARVPROD)) = %1.CDARVPROD").arg(alias);
}

// ---------------------------------------------------------------- particularities

struct BrandVerdict {
    QString agreement = QStringLiteral("S");
    DataPacket conflict; // CDMARCA, CDTIPPART: one row when the brand disagrees
};

// The brand particularities of the branch on the product and its ancestors, compared with the
// new brand: a mandatory brand must be chosen, a restricted one must not, and when preferential
// brands exist one of them should be. The first rule broken, in that order, is the answer.
BrandVerdict compareBrand(const sql::Connection& conn, const QString& branch,
                          const QString& product, const QString& brand) {
    QSqlQuery q =
        conn.exec(QStringLiteral("SELECT T.CDTIPPART, T.CDMARCA, M.NMMARCA"
                                 " FROM PARTFILIPROD T"
                                 " JOIN PRODUTO A ON A.CDPRODUTO = T.CDPRODUTO"
                                 " JOIN PRODUTO P ON P.CDPRODUTO = ?"
                                 " LEFT JOIN MARCA M ON M.CDMARCA = T.CDMARCA"
                                 " WHERE T.CDFILIAL = ? AND T.CDMARCA IS NOT NULL"
                                 " AND T.CDTIPPART IN ('1', '7', '2', '8', '3', '9') AND ") +
                      onPathOf(QStringLiteral("A")) +
                      QStringLiteral(" ORDER BY length(A.CDARVPROD) DESC, T.CDMARCA, T.CDTIPPART"),
                  {product, branch});
    BrandCheck check(brand);
    while (q.next())
        check.add(q.value(0).toString().trimmed(), q.value(1).toString().trimmed(),
                  q.value(2).toString().trimmed());
    const BrandRule* broken = check.broken();

    const data::FieldDefs fields = contracts::marcaPref1Fields();
    DataPacketBuilder b(fields);
    BrandVerdict v;
    if (broken) {
        v.agreement = QStringLiteral("N");
        b.appendRow({joinWithin(broken->display, fields[0].size), broken->type});
    }
    v.conflict = b.finish();
    return v;
}

// The preferential products the branch set on the product's path; one row with their tree
// codes when the product is not one of them, else none.
DataPacket comparePreferentialProduct(const sql::Connection& conn, const QString& branch,
                                      const QString& product) {
    QSqlQuery q =
        conn.exec(QStringLiteral("SELECT DISTINCT Q.CDARVPROD, Q.CDPRODUTO"
                                 " FROM PARTFILIPROD T"
                                 " JOIN PRODUTO A ON A.CDPRODUTO = T.CDPRODUTO"
                                 " JOIN PRODUTO P ON P.CDPRODUTO = ?"
                                 " JOIN PRODUTO Q ON Q.CDPRODUTO = T.CDPRODPREF"
                                 " WHERE T.CDFILIAL = ? AND T.CDTIPPART = '0' AND ") +
                      onPathOf(QStringLiteral("A")) + QStringLiteral(" ORDER BY Q.CDARVPROD"),
                  {product, branch});
    QStringList trees;
    bool isPreferential = false;
    while (q.next()) {
        trees << q.value(0).toString().trimmed();
        if (q.value(1).toString().trimmed().compare(product, Qt::CaseInsensitive) == 0)
            isPreferential = true;
    }
    const data::FieldDefs fields = contracts::prodPrefFields();
    DataPacketBuilder b(fields);
    if (!trees.isEmpty() && !isPreferential)
        b.appendRow({joinWithin(trees, fields[0].size)});
    return b.finish();
}

// Arguments of both particularity checks: destination branch, current product, current brand,
// reference product, reference brand. The current product counts; the reference product stands
// in when the item has none.
struct PreferenceArgs {
    QString branch, product, brand;
};

PreferenceArgs preferenceArgs(const MethodContext& ctx, const QVariantList& a) {
    PreferenceArgs p;
    p.branch = destinationBranch(ctx, a, 0);
    p.product = argText(a, 1);
    if (p.product.isEmpty())
        p.product = argText(a, 3);
    if (p.product.isEmpty())
        refuseBlankArg(ctx, 1);
    p.brand = requiredArg(ctx, a, 2);
    return p;
}

// ---------------------------------------------------------------- OL stock

// The product code of a call that names the product by code or, failing that, by tree code;
// empty when the tree code matches no product.
QString productByCodeOrTree(const MethodContext& ctx, const QVariantList& a, int code, int tree) {
    if (QString c = argText(a, code); !c.isEmpty())
        return c;
    const QString t = argText(a, tree);
    if (t.isEmpty())
        refuseBlankArg(ctx, code);
    return ctx.conn.scalar(QStringLiteral("SELECT CDPRODUTO FROM PRODUTO WHERE CDARVPROD = ?"), {t})
        .toString()
        .trimmed();
}

// The start of the day of a date argument and of the next day, as bindable texts; invalid
// values when the date is empty.
QPair<QVariant, QVariant> dayRange(const QVariant& arg) {
    const QVariant sqlText = dateArgToSql(arg);
    if (!sqlText.isValid())
        return {};
    const QDate day = QDate::fromString(sqlText.toString().left(10), Qt::ISODate);
    const QString form = QStringLiteral("yyyy-MM-dd 00:00:00");
    return {day.toString(form), day.addDays(1).toString(form)};
}

} // namespace

// GetPesqMarca(tree code): the brands registered for the product, by code.
QVariant GetPesqMarca(MethodContext& ctx, QVariantList& a) {
    const QString tree = requiredArg(ctx, a, 0);
    const data::FieldDefs fields = contracts::pesqMarcaFields();
    return QVariant::fromValue(
        selectPacket(ctx.conn, fields,
                     QStringLiteral("SELECT M.CDMARCA, substr(M.NMMARCA, 1, %1)"
                                    " FROM PRODUTO P"
                                    " JOIN PRODMARCA B ON B.CDPRODUTO = P.CDPRODUTO"
                                    " JOIN MARCA M ON M.CDMARCA = B.CDMARCA"
                                    " WHERE P.CDARVPROD = ? ORDER BY M.CDMARCA")
                         .arg(fields[1].size),
                     {tree}));
}

// GetBloqIncluiProdCmpOL(group, sub-group, product): the product when it lies in the OL's
// purchase tree, the product group and (when given) the sub-group of the OL parameters; such
// products are bought by the OL itself and cannot be put in an order item. Empty otherwise.
QVariant GetBloqIncluiProdCmpOL(MethodContext& ctx, QVariantList& a) {
    const QString group = requiredArg(ctx, a, 0);
    const QString subgroup = argText(a, 1);
    const QString product = requiredArg(ctx, a, 2);
    QString sqlText = QStringLiteral("SELECT P.CDPRODUTO FROM PRODUTO P"
                                     " JOIN SUBGRUPPROD S ON S.CDSUBGRPROD = P.CDSUBGRPROD"
                                     " WHERE P.CDPRODUTO = ? AND S.CDGRUPPROD = ?");
    QVariantList binds{product, group};
    if (!subgroup.isEmpty()) {
        sqlText += QStringLiteral(" AND S.CDSUBGRPROD = ?");
        binds << subgroup;
    }
    return QVariant::fromValue(
        selectPacket(ctx.conn, contracts::bloqIncluiProdCmpOLFields(), sqlText, binds));
}

// GetBloqProdSemRelacOL(product, brand, destination branch) -> [supply parameter of the branch
// (IDBLQLANITSEMRELACOL: "S" refuses items without OL relationship), the product's OL codes].
// The codes are those of the product's relationships with any OL, plus the product's own code
// for each OL that holds free stock of it in the brand (any brand when none is given) without a
// relationship. So the list is empty exactly when the product has neither.
QVariant GetBloqProdSemRelacOL(MethodContext& ctx, QVariantList& a) {
    const QString product = requiredArg(ctx, a, 0);
    const QString brand = argText(a, 1);
    const QString branch = destinationBranch(ctx, a, 2);
    const DataPacket parameter = selectPacket(
        ctx.conn, contracts::paraSupriOLFields(),
        QStringLiteral("SELECT IDBLQLANITSEMRELACOL FROM PARASUPRI WHERE CDFILIAL = ?"), {branch});

    QString sqlText =
        QStringLiteral("SELECT R.CDPRODARVOL FROM PRODRELACOL R WHERE R.CDPRODUTO = ?"
                       " UNION"
                       " SELECT E.CDPRODUTO FROM ESTOQUEOL E"
                       " WHERE E.CDPRODUTO = ? AND E.QTSALDO - E.QTRESERVADO > 0"
                       " AND NOT EXISTS (SELECT 1 FROM PRODRELACOL R"
                       " WHERE R.CDFILIOPELOG = E.CDFILIOPELOG AND R.CDPRODUTO = E.CDPRODUTO)");
    QVariantList binds{product, product};
    if (!brand.isEmpty()) {
        sqlText += QStringLiteral(" AND E.CDMARCA = ?");
        binds << brand;
    }
    sqlText += QStringLiteral(" ORDER BY 1");
    const DataPacket relations =
        selectPacket(ctx.conn, contracts::prodRelacOLFields(), sqlText, binds);
    return QVariantList{QVariant::fromValue(parameter), QVariant::fromValue(relations)};
}

// GetVd_Est_Disp(destination branch, launching branch, OL, brand, product, tree code,
// quantity): True when the OL's free stock of the product in the brand, plus what the open
// items of that destination and launching branch already hold of it, covers the quantity. The
// product is taken by code, or by tree code when the code is blank. A quantity of 0 or less is
// always covered; no stock at all covers nothing else.
QVariant GetVd_Est_Disp(MethodContext& ctx, QVariantList& a) {
    const QString branch = destinationBranch(ctx, a, 0);
    const QString launching = requiredArg(ctx, a, 1);
    const QString ol = requiredArg(ctx, a, 2);
    const QString brand = requiredArg(ctx, a, 3);
    const QString product = productByCodeOrTree(ctx, a, 4, 5);
    const double quantity = a[6].toDouble();
    if (quantity <= kQtyEpsilon)
        return true;
    const QVariant available = ctx.conn.scalar(
        QStringLiteral(
            "SELECT E.QTSALDO - E.QTRESERVADO + COALESCE((SELECT SUM(R.QTRESERVADA)"
            " FROM RESERVAESTOL R JOIN PEDIDOOLITEM I ON I.CDRASTRITM = R.CDRASTRITM"
            " WHERE R.CDFILIOPELOG = E.CDFILIOPELOG AND R.CDPRODUTO = E.CDPRODUTO"
            " AND R.CDMARCA = E.CDMARCA AND I.CDFILDEST = ? AND I.CDFILLANC = ?"
            " AND I.IDSITUITEM = 'A'), 0)"
            " FROM ESTOQUEOL E WHERE E.CDFILIOPELOG = ? AND E.CDPRODUTO = ? AND E.CDMARCA = ?"),
        {branch, launching, ol, product, brand});
    return available.isValid() && available.toDouble() + kQtyEpsilon >= quantity;
}

// VerificaMarcaPref(destination branch, product, brand, reference product, reference brand)
// -> ["S"/"N", the particularity the brand breaks (CDMARCA: the brands it names, CDTIPPART: its
// type), one row when "N"].
QVariant VerificaMarcaPref(MethodContext& ctx, QVariantList& a) {
    const PreferenceArgs p = preferenceArgs(ctx, a);
    const BrandVerdict v = compareBrand(ctx.conn, p.branch, p.product, p.brand);
    return QVariantList{v.agreement, QVariant::fromValue(v.conflict)};
}

// VerificaMarcaPref1(the same five arguments) -> the two answers of VerificaMarcaPref and the
// preferential products of the branch on the product's path, one row (CDARVPROD: their tree
// codes) when the product is not one of them.
QVariant VerificaMarcaPref1(MethodContext& ctx, QVariantList& a) {
    const PreferenceArgs p = preferenceArgs(ctx, a);
    const BrandVerdict v = compareBrand(ctx.conn, p.branch, p.product, p.brand);
    return QVariantList{
        v.agreement, QVariant::fromValue(v.conflict),
        QVariant::fromValue(comparePreferentialProduct(ctx.conn, p.branch, p.product))};
}

// GetVdReserva(destination branch field, launching branch, order, product, brand, delivery
// date, shipping date, OL, central purchasing branch, new quantity) -> [no OL relationship and
// no stock, quantity available to the item, quantity the item holds, stock short].
// The item is the open order line of that branch, launching branch, order, delivery day,
// product and brand; its reservations at the OL are available to it besides the free stock.
// "No relationship and no stock": the OL has no relationship with the product and nothing of it
// is available to the item. "Stock short": otherwise, a positive new quantity above what is
// available. The shipping date and the central branch do not change the answer.
QVariant GetVdReserva(MethodContext& ctx, QVariantList& a) {
    const QString branch = destinationBranch(ctx, a, 0);
    const QString launching = requiredArg(ctx, a, 1);
    const QString order = requiredArg(ctx, a, 2);
    const QString product = requiredArg(ctx, a, 3);
    const QString brand = requiredArg(ctx, a, 4);
    const QString ol = requiredArg(ctx, a, 7);
    const double quantity = a[9].toDouble();
    const auto [dayStart, dayEnd] = dayRange(a[5]);
    const QString d = dateParam(ctx.conn.dialect());

    QSqlQuery q = ctx.conn.exec(
        QStringLiteral("SELECT CASE WHEN EXISTS (SELECT 1 FROM PRODRELACOL"
                       " WHERE CDFILIOPELOG = ? AND CDPRODUTO = ?) THEN 1 ELSE 0 END,"
                       " (SELECT QTSALDO - QTRESERVADO FROM ESTOQUEOL"
                       " WHERE CDFILIOPELOG = ? AND CDPRODUTO = ? AND CDMARCA = ?),"
                       " (SELECT SUM(R.QTRESERVADA) FROM RESERVAESTOL R"
                       " JOIN PEDIDOOLITEM I ON I.CDRASTRITM = R.CDRASTRITM"
                       " WHERE I.CDFILDEST = ? AND I.CDFILLANC = ? AND I.NRPEDEXOL = ?"
                       " AND I.CDPRODUTO = ? AND I.CDMARCA = ? AND I.IDSITUITEM = 'A'"
                       " AND I.DTPROGENPEOL >= %1 AND I.DTPROGENPEOL < %1"
                       " AND R.CDFILIOPELOG = ? AND R.CDPRODUTO = ? AND R.CDMARCA = ?)")
            .arg(d),
        {ol, product, ol, product, brand, branch, launching, order, product, brand, dayStart,
         dayEnd, ol, product, brand});
    if (!q.next())
        throw sql::SqlError(QStringLiteral("A verificação de reserva não retornou resultado."));
    const bool related = q.value(0).toInt() != 0;
    const double held = q.value(2).toDouble();
    const double available = q.value(1).toDouble() + held;

    const bool unknownToOl = !related && available <= kQtyEpsilon;
    const bool shortOfStock =
        !unknownToOl && quantity > kQtyEpsilon && available + kQtyEpsilon < quantity;
    return QVariantList{unknownToOl, available, held, shortOfStock};
}

} // namespace sup::server
