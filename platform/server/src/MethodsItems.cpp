// Item loading and the filter's lookups: GetItem (the order items of a set of criteria with the
// branch parameters, quantity adjustments and group authorisations that go with them),
// GetAgruFili, GetFiliAgrupFili, GetProduto and GetLotePedOL.
//
// Every criterion becomes a condition with bound values; key lists are parsed by KeyList and
// bound as one array, never pasted into the SQL text.

#include "KeyList.h"
#include "Methods.h"
#include "SqlValues.h"

#include "sup/contracts/ItemCriteria.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/server/Items.h"

#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QSqlQuery>

#include <cmath>
#include <optional>

namespace sup::server {

namespace {

using data::FieldDef;

QString text(const QVariant& v) {
    return v.toString().trimmed();
}

// A date criterion as a day; nullopt when empty.
std::optional<QDate> dayOf(const QDate& d) {
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

QString dayText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
}

// Builds the WHERE of the item query: conditions joined by AND, with their binds in order.
class Criteria {
public:
    explicit Criteria(sql::Dialect d)
        : d_(d) {}

    void add(const QString& condition, const QVariantList& binds = {}) {
        if (!where_.isEmpty())
            where_ += QStringLiteral(" AND ");
        where_ += u'(' + condition + u')';
        binds_ += binds;
    }
    // A stored date-time compared with a bound day.
    QString dateParam() const {
        return d_ == sql::Dialect::SQLite ? QStringLiteral("?")
                                          : QStringLiteral("CAST(? AS timestamp(0))");
    }
    // `column` on or after `from`, before the day after `to` (each only when given).
    void dateRange(const QString& column, std::optional<QDate> from, std::optional<QDate> to) {
        if (from)
            add(QStringLiteral("%1 >= %2").arg(column, dateParam()), {dayText(*from)});
        if (to)
            add(QStringLiteral("%1 < %2").arg(column, dateParam()), {dayText(to->addDays(1))});
    }
    // `column` among the keys of a key list (nothing matches an empty list).
    void keyList(const QString& column, const QString& list) {
        add(keyListCondition(d_, column), {keyListValue(d_, parseKeyList(list))});
    }
    QString keyListSql(const QString& column) const { return keyListCondition(d_, column); }
    QVariant keyListBind(const QString& list) const { return keyListValue(d_, parseKeyList(list)); }

    sql::Dialect dialect() const { return d_; }
    const QString& where() const { return where_; }
    const QVariantList& binds() const { return binds_; }

private:
    sql::Dialect d_;
    QString where_;
    QVariantList binds_;
};

[[noreturn]] void badCode(int arg, const QString& what, const QString& value) {
    throw MethodFault(QStringLiteral("Código \"%1\" inválido para %2 (argumento %3 de GetItem).")
                          .arg(value, what)
                          .arg(arg),
                      QStringLiteral("args"));
}

// The operator whose authorisations and branches count: the signed-on one, else the argument.
QString effectiveOperator(const MethodContext& ctx, const QString& arg) {
    const QString signedOn = ctx.call.operatorCode.trimmed();
    return signedOn.isEmpty() ? arg.trimmed() : signedOn;
}

QString flag(const QString& v) {
    return v.trimmed();
}

// Dates: "T" in a pair's flag means the pair is empty; otherwise each given date bounds.
void dateCriteria(Criteria& c, const contracts::ItemCriteria& k) {
    if (flag(k.semDatasPedido) != u"T")
        c.dateRange(QStringLiteral("I.DTEMISPEDOL"), dayOf(k.pedidoIni), dayOf(k.pedidoFim));
    if (flag(k.semDatasEntrega) != u"T")
        c.dateRange(QStringLiteral("I.DTPROGENPEOL"), dayOf(k.entregaIni), dayOf(k.entregaFim));
    if (flag(k.semDatasEmbarque) != u"T")
        c.dateRange(QStringLiteral("I.DTPROGEMBARQ"), dayOf(k.embarqueIni), dayOf(k.embarqueFim));
}

// Destination branches, logistics operators, branch grouping, product range, regions and the
// branches the operator may see.
void placeCriteria(Criteria& c, const contracts::ItemCriteria& k, const sql::Connection& conn,
                   const QString& op) {
    const bool restricted = branchesRestricted(conn);
    const bool listed = flag(k.todasFiliais) != u"T";
    // On SQLite the operator's branches among the listed ones are found once, instead of a
    // lookup of the operator's link for every item of a list of a hundred thousand. PostgreSQL
    // would plan that form as a join and sort the items again, so it keeps the check per item.
    const bool linkedList = listed && restricted && conn.dialect() == sql::Dialect::SQLite;
    if (linkedList)
        c.add(QStringLiteral("I.CDFILDEST IN (SELECT O.CDFILIAL FROM FILIOPER O"
                             " WHERE O.CDOPERADOR = ? AND %1)")
                  .arg(c.keyListSql(QStringLiteral("O.CDFILIAL"))),
              {op, c.keyListBind(k.filiais)});
    else if (listed)
        c.keyList(QStringLiteral("I.CDFILDEST"), k.filiais);
    if (flag(k.todosOL) != u"T")
        c.keyList(QStringLiteral("I.CDFILIOPELOG"), k.ol);
    if (const QString group = k.agrupamento.trimmed(); !group.isEmpty())
        c.add(QStringLiteral("I.CDFILDEST IN (SELECT G.CDFILIAL FROM GRUPFILIFILI G"
                             " WHERE G.CDGRUPFILI = ?)"),
              {group});

    // Product tree codes; the upper bound arrives padded with "Z", which closes it over every
    // code below the typed prefix.
    if (const QString from = k.produtoIni.trimmed(); !from.isEmpty())
        c.add(QStringLiteral("I.CDARVPROD >= ?"), {from});
    if (const QString to = k.produtoFim.trimmed(); !to.isEmpty())
        c.add(QStringLiteral("I.CDARVPROD <= ?"), {to});

    // Regions of the destination branch: "T" in either argument means all.
    if (flag(k.todasRegioes) != u"T" && flag(k.regioes) != u"T")
        c.keyList(QStringLiteral("F.CDREGIAO"), k.regioes);

    if (restricted && !linkedList)
        c.add(QStringLiteral("EXISTS (SELECT 1 FROM FILIOPER O WHERE O.CDFILIAL = I.CDFILDEST"
                             " AND O.CDOPERADOR = ?)"),
              {op});
}

// Blocked / unblocked status, each with its own date window (the final dates arrive as the day
// after the last one; 1.0 is an empty final date plus one).
void statusCriteria(Criteria& c, const contracts::ItemCriteria& k) {
    QStringList alternatives;
    QVariantList binds;
    auto window = [&](const QString& column, const QDate& from, double to, QString& cond) {
        if (const auto day = dayOf(from)) {
            cond += QStringLiteral(" AND %1 >= %2").arg(column, c.dateParam());
            binds << dayText(*day);
        }
        if (std::isfinite(to) && to > 1.0) {
            cond += QStringLiteral(" AND %1 < %2").arg(column, c.dateParam());
            binds << dayText(QDate(1899, 12, 30).addDays(qint64(std::floor(to))));
        }
    };
    if (flag(k.bloqueados) == u"S") {
        QString cond = QStringLiteral("I.IDITMPEDOLBLOQ = 'S'");
        if (flag(k.semDatasBloqueio) != u"T")
            window(QStringLiteral("I.DTBLOQITMPEDOL"), k.bloqueioIni, k.bloqueioFimMaisUm, cond);
        alternatives << cond;
    }
    if (flag(k.desbloqueados) == u"N") {
        QString cond = QStringLiteral("I.IDITMPEDOLBLOQ <> 'S'");
        if (flag(k.semDatasDesbloqueio) != u"T")
            window(QStringLiteral("I.DTDESBLOQITMPEDOL"), k.desbloqueioIni, k.desbloqueioFimMaisUm,
                   cond);
        alternatives << cond;
    }
    if (alternatives.isEmpty())
        c.add(QStringLiteral("1 = 0")); // no status wanted: nothing matches
    else
        c.add(u'(' + alternatives.join(QStringLiteral(") OR (")) + u')', binds);
}

// Extra orders, reservation, dispatch batch, product sub-groups, routes and brands.
void orderCriteria(Criteria& c, const contracts::ItemCriteria& k) {
    if (const QString extra = flag(k.pedidoExtra); extra == u"S")
        c.add(QStringLiteral("I.IDPEDEXTRA = 'S'"));
    else if (extra == u"N")
        c.add(QStringLiteral("I.IDPEDEXTRA <> 'S'"));
    else if (!extra.isEmpty() && extra != u"T")
        badCode(28, QStringLiteral("o pedido extra"), extra);

    // Reservation: 1 both, 2 only reserved items, 3 only items without reservation.
    if (const QString res = flag(k.reserva); res == u"2")
        c.add(QStringLiteral("I.QTRESERVESTOL > 0"));
    else if (res == u"3")
        c.add(QStringLiteral("I.QTRESERVESTOL <= 0"));
    else if (!res.isEmpty() && res != u"1")
        badCode(29, QStringLiteral("a reserva"), res);

    // Dispatch batch: "T" items without a batch, "N" any, else the listed batches. Most items
    // have no batch: the condition is written so that no plan reads them through the batch
    // index.
    // PostgreSQL estimates the COALESCE form at half a percent of the items and then plans
    // the list of a hundred thousand as a few rows (joins, sorts); the IS NULL form it takes
    // from the column's statistics.
    if (const QString batch = flag(k.lote); batch == u"T")
        c.add(c.dialect() == sql::Dialect::SQLite
                  ? QStringLiteral("COALESCE(I.CDLOTENVITOL, '') = ''")
                  : QStringLiteral("I.CDLOTENVITOL IS NULL OR I.CDLOTENVITOL = ''"));
    else if (batch != u"N")
        c.keyList(QStringLiteral("I.CDLOTENVITOL"), k.lote);

    // Product sub-groups ("N": any), within the purchasing branch's product group when given.
    if (flag(k.subgrupos) != u"N") {
        QString cond = QStringLiteral("EXISTS (SELECT 1 FROM PRODUTO P JOIN SUBGRUPPROD S"
                                      " ON S.CDSUBGRPROD = P.CDSUBGRPROD"
                                      " WHERE P.CDPRODUTO = I.CDPRODUTO AND ") +
                       c.keyListSql(QStringLiteral("P.CDSUBGRPROD"));
        QVariantList binds{c.keyListBind(k.subgrupos)};
        if (const QString group = k.grupoProduto.trimmed(); !group.isEmpty()) {
            cond += QStringLiteral(" AND S.CDGRUPPROD = ?");
            binds << group;
        }
        c.add(cond + u')', binds);
    }

    // Routes of the destination branch and brands ("T": any).
    if (flag(k.rotas) != u"T")
        c.keyList(QStringLiteral("F.CDROTATRANS"), k.rotas);
    if (flag(k.marcas) != u"T")
        c.keyList(QStringLiteral("I.CDMARCA"), k.marcas);
}

// The parameters of the destination branches in the answer (the first 4 characters of
// CDFILDEST are the code), of the operator's processing branch and of its central purchasing
// branch: the screen shows the reservation column by the latter. A central branch is its own
// central purchasing branch.
data::DataPacket branchParameters(const sql::Connection& conn, const data::DataPacket& items,
                                  const QString& op) {
    QStringList branches;
    QSet<QString> seen;
    auto add = [&](const QString& code) {
        if (!code.isEmpty() && !seen.contains(code)) {
            seen.insert(code);
            branches << code;
        }
    };
    // The items come in destination order: a cell like the one before adds nothing.
    const data::Column& dest = items.column(items.indexOf(u"CDFILDEST"));
    QByteArrayView last;
    for (qsizetype r = 0; r < items.rowCount(); ++r) {
        if (dest.isNull(r))
            continue;
        const QByteArrayView cell = dest.utf8(r);
        if (r > 0 && cell == last)
            continue;
        last = cell;
        add(QString::fromUtf8(cell).left(4).trimmed());
    }
    QSqlQuery proc =
        conn.exec(QStringLiteral("SELECT F.CDFILIAL, COALESCE(F.CDFILCENTCMP,"
                                 " F.CDFILIAL) FROM OPERADOR O JOIN FILIAL F"
                                 " ON F.CDFILIAL = O.CDFILPROC WHERE O.CDOPERADOR = ?"),
                  {op});
    if (proc.next()) {
        add(proc.value(0).toString().trimmed());
        add(proc.value(1).toString().trimmed());
    }
    return selectPacket(
        conn, contracts::paramFilialFields(),
        QStringLiteral("SELECT F.CDFILIAL, COALESCE(F.CDFILCENTCMP, F.CDFILIAL),"
                       " COALESCE(P.IDUTRESPEDEXOL, 'N'), COALESCE(P.IDPROSEMMAR, 'N'),"
                       " COALESCE(P.IDUTLMARPREFOL, 'N')"
                       " FROM FILIAL F LEFT JOIN PARAMFILIAL P ON P.CDFILIAL = F.CDFILIAL"
                       " WHERE ") +
            keyListCondition(conn.dialect(), QStringLiteral("F.CDFILIAL")) +
            QStringLiteral(" ORDER BY F.CDFILIAL"),
        {keyListValue(conn.dialect(), branches)});
}

data::DataPacket quantityAdjustments(const sql::Connection& conn) {
    return selectPacket(conn, contracts::ajusteQtdeFields(),
                        QStringLiteral("SELECT CDPRODORIG, CDPRODDEST, VRPEAJQTDSOL FROM AJUSTEQTDE"
                                       " ORDER BY CDPRODORIG, CDPRODDEST"));
}

// Authorisation to block, unblock and alter blocked items, through the operator's groups.
data::DataPacket groupAuthorisations(const sql::Connection& conn, const QString& op) {
    return selectPacket(
        conn,
        {FieldDef::text(QStringLiteral("CDGRUPOPER"), 10),
         FieldDef::text(QStringLiteral("IDAUTGRUPOP"), 10),
         FieldDef::text(QStringLiteral("NRAUTGRUPOP"), 10)},
        QStringLiteral("SELECT A.CDGRUPOPER, A.IDAUTGRUPOP, A.NRAUTGRUPOP FROM AUTGRUPOP A"
                       " JOIN OPERGRUPOP G ON G.CDGRUPOPER = A.CDGRUPOPER"
                       " WHERE G.CDOPERADOR = ? AND A.IDAUTGRUPOP = 'BLIP'"
                       " ORDER BY A.CDGRUPOPER, A.NRAUTGRUPOP"),
        {op});
}

} // namespace

// GetItem: 34 criteria (contracts::ItemCriteria) -> [items, branch parameters, quantity
// adjustments, group authorisations]. Only open items are served.
QVariant GetItem(MethodContext& ctx, QVariantList& a) {
    const sql::Connection& conn = ctx.conn;
    const contracts::ItemCriteria k = contracts::ItemCriteria::fromArgs(a);
    const QString op = effectiveOperator(ctx, k.operador);

    Criteria c(conn.dialect());
    dateCriteria(c, k);
    placeCriteria(c, k, conn, op);
    statusCriteria(c, k);
    orderCriteria(c, k);
    const data::DataPacket items = selectItems(conn, c.where(), c.binds());

    return QVariantList{QVariant::fromValue(items),
                        QVariant::fromValue(branchParameters(conn, items, op)),
                        QVariant::fromValue(quantityAdjustments(conn)),
                        QVariant::fromValue(groupAuthorisations(conn, op))};
}

// GetAgruFili: every branch grouping.
QVariant GetAgruFili(MethodContext& ctx, QVariantList&) {
    return QVariant::fromValue(selectPacket(
        ctx.conn,
        {FieldDef::text(QStringLiteral("CDGRUPFILI"), 10, QStringLiteral("Código")).width(12),
         FieldDef::text(QStringLiteral("NMGRUPFILI"), 40, QStringLiteral("Nome"))},
        QStringLiteral("SELECT CDGRUPFILI, NMGRUPFILI FROM GRUPFILI ORDER BY CDGRUPFILI")));
}

// GetFiliAgrupFili(grouping, regions, all regions "T", operator): the branches of a grouping,
// within the regions unless "T" is given, and linked to the operator when one is given.
QVariant GetFiliAgrupFili(MethodContext& ctx, QVariantList& a) {
    const sql::Connection& conn = ctx.conn;
    QString sqlText = QStringLiteral(
        "SELECT ' ', F.CDFILIAL, G.CDGRUPFILI, F.NMFILIAL, F.CDREGIAO FROM GRUPFILIFILI G"
        " JOIN FILIAL F ON F.CDFILIAL = G.CDFILIAL WHERE G.CDGRUPFILI = ?");
    QVariantList binds{text(a[0])};
    if (text(a[2]) != u"T" && text(a[1]) != u"T") {
        sqlText += QStringLiteral(" AND ") +
                   keyListCondition(conn.dialect(), QStringLiteral("F.CDREGIAO"));
        binds << keyListValue(conn.dialect(), parseKeyList(a[1].toString()));
    }
    // An operator given restricts the list to the branches of the signed-on operator.
    if (!text(a[3]).isEmpty()) {
        const QString op = effectiveOperator(ctx, text(a[3]));
        sqlText += QStringLiteral(" AND EXISTS (SELECT 1 FROM FILIOPER O"
                                  " WHERE O.CDFILIAL = F.CDFILIAL AND O.CDOPERADOR = ?)");
        binds << op;
    }
    sqlText += QStringLiteral(" ORDER BY F.CDFILIAL");

    FieldDef marked = FieldDef::text(QStringLiteral("IDMARCADO"), 1, {}, true);
    marked.readOnly = true;
    FieldDef branch = FieldDef::text(QStringLiteral("CDFILIAL"), 4, QStringLiteral("Código"));
    branch.editMask = QStringLiteral(">aaaa;0; ");
    return QVariant::fromValue(selectPacket(
        conn,
        {marked, branch, FieldDef::text(QStringLiteral("CDGRUPFILI"), 10).hidden(),
         FieldDef::text(QStringLiteral("NMFILIAL"), 30, QStringLiteral("Nome")),
         FieldDef::text(QStringLiteral("CDREGIAO"), 3, QStringLiteral("Região")).width(6)},
        sqlText, binds));
}

// GetProduto(filter): the products some logistics operator has a relationship with; a filter,
// when given, is a prefix of their tree codes.
QVariant GetProduto(MethodContext& ctx, QVariantList& a) {
    QString sqlText = QStringLiteral(
        "SELECT P.CDARVPROD, P.NMPRODUTO FROM PRODUTO P WHERE EXISTS (SELECT 1 FROM PRODRELACOL R"
        " WHERE R.CDPRODUTO = P.CDPRODUTO)");
    QVariantList binds;
    if (const QString prefix = text(a[0]); !prefix.isEmpty()) {
        sqlText += QStringLiteral(" AND substr(P.CDARVPROD, 1, ?) = ?");
        binds << int(prefix.size()) << prefix;
    }
    sqlText += QStringLiteral(" ORDER BY P.CDARVPROD");
    return QVariant::fromValue(
        selectPacket(ctx.conn,
                     {FieldDef::text(QStringLiteral("CDARVPROD"), 20, QStringLiteral("Código")),
                      FieldDef::text(QStringLiteral("NMPRODUTO"), 50, QStringLiteral("Nome"))},
                     sqlText, binds));
}

// GetLotePedOL: every dispatch batch.
QVariant GetLotePedOL(MethodContext& ctx, QVariantList&) {
    return QVariant::fromValue(selectPacket(
        ctx.conn,
        {FieldDef::text(QStringLiteral("IDMARCADO"), 1),
         FieldDef::text(QStringLiteral("CDLOTENVITOL"), 10, QStringLiteral("Código")).width(14),
         FieldDef::text(QStringLiteral("NMLOTENVITOL"), 30, QStringLiteral("Nome")).width(34)},
        QStringLiteral(
            "SELECT ' ', CDLOTENVITOL, NMLOTENVITOL FROM LOTENVITOL ORDER BY CDLOTENVITOL")));
}

} // namespace sup::server
