// The automatic alteration of OL order items: the operator's options profile of the alteration
// screen (GetFiltroSup, SetFiltroSup), the replacement product's data (GetProdutos, and the
// lookups of GetPesqProduto "1" and "2") and the purchase calendar check of a new delivery date
// (Carrega_PeriFili).
//
// Options profile. Each option of the screen's menu turns some of its check boxes on
// (OPCAOFILTRO); choosing one replaces the operator's profile (FILTROSUP) with a row per check
// box of the screen, the boxes the option does not name off; "Padrão" (the empty option) removes
// the profile. The screen applies the rows in the order served, each box's click rule running as
// it changes, so they come in the screen's tab order: "Atualizar Solicitação" and "Considerar
// quantidade original" after the attribute boxes whose rules touch them, and the profile's values
// are what the user sees. Options are the menu's names only; any other text is refused.
//
// Replacement product. A product is found by its tree code as typed or without the separators
// of the code picture, and only when it is bought (it has a stock product; tree nodes are not).
// The answer is one row, in the brand asked when the product is bought in it or the OL holds
// free stock of it; otherwise in the brand of which the OL holds the most free stock, else the
// first brand (by code) it is bought in. The brand found and the stored tree code are written
// back. The unit weight served is the stock product's, the weight the screen reads for the
// items' side of the unit adjustment, so that both sides weigh the same unit. Restriction "1"
// keeps the item's other packagings (same stock product, not the item's product itself), "2"
// products of another stock product; the restricted lookup does not require the OL to handle the
// product, so that a product outside the restriction is told apart from an unknown one by the
// unrestricted lookup that follows.
//
// Calendar. A branch receives a product on the weekdays of the calendar row of the product or,
// failing that, of its nearest tree ancestor with one (PERIFILIPROD). "S" when such a row exists
// and leaves the date's weekday out; "N" when it covers the weekday or no row applies. Exemption
// of operator groups is the screen's check, before it calls.

#include "JsonRows.h"
#include "Methods.h"
#include "SqlValues.h"

#include "sup/contracts/record/OrderItem.h"
#include "sup/data/Format.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>

#include <cmath>
#include <optional>
#include <stdexcept>
#include <vector>

namespace sup::server {

namespace {

using data::DataPacket;

const QString kScreen = QStringLiteral("SUP07702");

// The check boxes of the alteration screen, in its tab order.
const QStringList& profileBoxes() {
    static const QStringList boxes = {QStringLiteral("chbProduto"), QStringLiteral("chbEntrega"),
                                      QStringLiteral("chbQuantidade"), QStringLiteral("chbAtuSoli"),
                                      QStringLiteral("chbConsideraSol")};
    return boxes;
}

// The options of the screen's menu besides "Padrão".
const QStringList& menuOptions() {
    static const QStringList options = {
        QStringLiteral("mnuEmbalagemDiferente"), QStringLiteral("mnuProdutoDiferente"),
        QStringLiteral("mnuProdutoEntrega"), QStringLiteral("mnuEntrega"),
        QStringLiteral("mnuQuantidade")};
    return options;
}

[[noreturn]] void unknownProduct(const QString& code) {
    throw MethodFault(QStringLiteral("Produto %1 não cadastrado.").arg(code.left(40)),
                      QStringLiteral("notfound"));
}

// ---------------------------------------------------------------- products

struct Found {
    QString product, tree;
};

enum class Rows { Bought, Any };

// The product whose tree code is `code`, as typed or without the picture's separators.
std::optional<Found> findProduct(const sql::Connection& conn, const QString& code, Rows rows) {
    static const QRegularExpression separators(QStringLiteral("[^0-9A-Za-z]"));
    QString bare = code;
    bare.remove(separators);
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT CDPRODUTO, CDARVPROD FROM PRODUTO WHERE CDARVPROD IN (?, ?)%1"
                       " ORDER BY CASE WHEN CDARVPROD = ? THEN 0 ELSE 1 END")
            .arg(rows == Rows::Bought ? QStringLiteral(" AND CDPRODESTO IS NOT NULL") : QString()),
        {code, bare, code});
    if (!q.next())
        return std::nullopt;
    return Found{q.value(0).toString().trimmed(), q.value(1).toString().trimmed()};
}

// The SQL of a field of the product packets, over P (the product), S (its stock product), M (the
// brand), R (its relationship with the OL) and E (the OL's stock of it in the brand).
QString fieldSql(const data::FieldDef& f) {
    static const QHash<QString, QString> sql = {
        {QStringLiteral("CDPRODUTO"), QStringLiteral("P.CDPRODUTO")},
        {QStringLiteral("CDARVPROD"), QStringLiteral("P.CDARVPROD")},
        {QStringLiteral("NMPRODUTO"), QStringLiteral("substr(P.NMPRODUTO, 1, %1)")},
        {QStringLiteral("CDMARCA"), QStringLiteral("M.CDMARCA")},
        {QStringLiteral("CDPRODESTO"), QStringLiteral("P.CDPRODESTO")},
        {QStringLiteral("CDNVPRODUTO"), QStringLiteral("P.CDNVPRODUTO")},
        {QStringLiteral("VRFATOCONV"), QStringLiteral("P.VRFATOCONV")},
        {QStringLiteral("SGUNIDADE"), QStringLiteral("P.SGUNIDADE")},
        {QStringLiteral("VRPESOUNID"), QStringLiteral("COALESCE(S.VRPESOUNID, P.VRPESOUNID)")},
        {QStringLiteral("SGUNIDESTOQUE"), QStringLiteral("P.SGUNIDESTOQUE")},
        {QStringLiteral("IDPRODATIVPR"), QStringLiteral("P.IDPRODATIVPR")},
        {QStringLiteral("CDPRODARVOL"),
         QStringLiteral("COALESCE(R.CDPRODARVOL, CASE WHEN E.QTSALDO - E.QTRESERVADO > 0"
                        " THEN P.CDPRODUTO END)")},
        {QStringLiteral("EST_DISP"), QStringLiteral("COALESCE(E.QTSALDO - E.QTRESERVADO, 0)")},
        {QStringLiteral("EST_DISP_ST"), QStringLiteral("NULL")},
    };
    const auto it = sql.constFind(f.name);
    if (it == sql.constEnd())
        throw std::logic_error("campo sem expressão no pacote de produto: " + f.name.toStdString());
    return it->contains(u'%') ? it->arg(f.size) : *it;
}

// The product in the brand at the OL, as one row of `fields`.
DataPacket productPacket(const sql::Connection& conn, const data::FieldDefs& fields,
                         const QString& ol, const QString& product, const QString& brand) {
    QStringList columns;
    for (const data::FieldDef& f : fields)
        columns << fieldSql(f);
    return withStockText(selectPacket(
        conn, fields,
        QStringLiteral(
            "SELECT %1 FROM PRODUTO P"
            " LEFT JOIN PRODUTO S ON S.CDPRODUTO = P.CDPRODESTO"
            " LEFT JOIN MARCA M ON M.CDMARCA = ?"
            " LEFT JOIN PRODRELACOL R ON R.CDFILIOPELOG = ? AND R.CDPRODUTO = P.CDPRODUTO"
            " LEFT JOIN ESTOQUEOL E ON E.CDFILIOPELOG = ? AND E.CDPRODUTO = P.CDPRODUTO"
            " AND E.CDMARCA = M.CDMARCA"
            " WHERE P.CDPRODUTO = ?")
            .arg(columns.join(QStringLiteral(", "))),
        {brand, ol, ol, product}));
}

QVariant emptyPacket(const data::FieldDefs& fields) {
    return QVariant::fromValue(data::DataPacketBuilder(fields).finish());
}

// ---------------------------------------------------------------- options profile

QString operatorOf(const MethodContext& ctx) {
    const QString op = ctx.call.operatorCode.trimmed();
    if (op.isEmpty())
        throw MethodFault(QStringLiteral("O operador deve ser informado."), QStringLiteral("args"));
    if (!ctx.conn.scalar(QStringLiteral("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?"), {op})
             .isValid())
        throw MethodFault(QStringLiteral("Operador %1 não cadastrado.").arg(op),
                          QStringLiteral("notfound"));
    return op;
}

// The menu's spelling of an option; empty for "Padrão".
QString optionOf(const QString& asked) {
    if (asked.isEmpty())
        return {};
    for (const QString& o : menuOptions())
        if (o.compare(asked, Qt::CaseInsensitive) == 0)
            return o;
    throw MethodFault(
        QStringLiteral("A opção \"%1\" não existe na tela %2.").arg(asked.left(60), kScreen),
        QStringLiteral("args"));
}

// The profile rows of an option: component and "S"/"N", every check box of the screen first.
QList<QPair<QString, QString>> optionRows(const sql::Connection& conn, const QString& option) {
    QSqlQuery q =
        conn.exec(QStringLiteral("SELECT NMCOMPONENTE, IDVALOR FROM OPCAOFILTRO"
                                 " WHERE CDTELA = ? AND DSOPCAO = ? ORDER BY NMCOMPONENTE"),
                  {kScreen, option});
    QHash<QString, QString> values;
    QStringList others;
    while (q.next()) {
        const QString component = q.value(0).toString().trimmed();
        values.insert(component, q.value(1).toString().trimmed().toUpper() == u"S"
                                     ? QStringLiteral("S")
                                     : QStringLiteral("N"));
        if (!profileBoxes().contains(component))
            others << component;
    }
    if (values.isEmpty())
        throw MethodFault(
            QStringLiteral("A opção %1 não está configurada para a tela %2.").arg(option, kScreen),
            QStringLiteral("notfound"));
    QList<QPair<QString, QString>> rows;
    for (const QString& box : profileBoxes())
        rows.append({box, values.value(box, QStringLiteral("N"))});
    for (const QString& c : others)
        rows.append({c, values.value(c)});
    return rows;
}

// Profile rows in the screen's tab order, other components after.
QString boxOrder() {
    QString out = QStringLiteral("CASE NMCOMPONENTE");
    const QStringList& boxes = profileBoxes();
    for (qsizetype i = 0; i < boxes.size(); ++i)
        out += QStringLiteral(" WHEN '%1' THEN %2").arg(boxes[i]).arg(i);
    return out + QStringLiteral(" ELSE %1 END").arg(boxes.size());
}

} // namespace

QString chooseBrand(const sql::Connection& conn, const QString& ol, const QString& product,
                    const QString& asked) {
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT X.CDMARCA FROM (SELECT CDMARCA FROM PRODMARCA WHERE CDPRODUTO = ?"
                       " UNION SELECT CDMARCA FROM ESTOQUEOL WHERE CDFILIOPELOG = ?"
                       " AND CDPRODUTO = ? AND QTSALDO - QTRESERVADO > 0) X"
                       " LEFT JOIN ESTOQUEOL E ON E.CDFILIOPELOG = ? AND E.CDPRODUTO = ?"
                       " AND E.CDMARCA = X.CDMARCA"
                       " ORDER BY CASE WHEN upper(X.CDMARCA) = upper(?) THEN 0 ELSE 1 END,"
                       " CASE WHEN E.QTSALDO - E.QTRESERVADO > 0"
                       " THEN E.QTSALDO - E.QTRESERVADO ELSE 0 END DESC, X.CDMARCA"),
        {product, ol, product, ol, product, asked});
    return q.next() ? q.value(0).toString().trimmed() : QString();
}

DataPacket withStockText(const DataPacket& raw) {
    const int stock = raw.indexOf(u"EST_DISP");
    const int shown = raw.indexOf(u"EST_DISP_ST");
    if (stock < 0 || shown < 0)
        return raw;
    std::vector<data::Column> cols;
    cols.reserve(std::size_t(raw.fieldCount()));
    for (int f = 0; f < raw.fieldCount(); ++f)
        cols.push_back(raw.column(f));
    const data::Column& value = cols[std::size_t(stock)];
    data::Column& text = cols[std::size_t(shown)];
    const QString format = raw.fields()[stock].displayFormat;
    for (qsizetype r = 0; r < raw.rowCount(); ++r) {
        const double v = value.isNull(r) ? 0.0 : value.real(r);
        text.setText(r, data::formatNumber(std::fabs(v) < 0.0005 ? 0.0 : v, format));
    }
    return DataPacket(raw.fields(), std::move(cols));
}

// GetFiltroSup(): the calling operator's profile rows of the alteration screen, in the order
// the screen applies them; empty when no option is stored.
QVariant GetFiltroSup(MethodContext& ctx, QVariantList&) {
    return QVariant::fromValue(selectPacket(
        ctx.conn, contracts::filtroSupFields(),
        QStringLiteral("SELECT CDTELA, NMCOMPONENTE, DSOPCAO, IDSELECIONADO, IDVALOR FROM FILTROSUP"
                       " WHERE CDOPERADOR = ? AND CDTELA = ? ORDER BY %1, NMCOMPONENTE")
            .arg(boxOrder()),
        {ctx.call.operatorCode.trimmed(), kScreen}));
}

// SetFiltroSup(option by reference): the calling operator's profile becomes the option's rows,
// or goes for "Padrão" (""); the option comes back in the menu's spelling. A change of option is
// audited.
QVariant SetFiltroSup(MethodContext& ctx, QVariantList& a) {
    const QString option = optionOf(argText(a, 0));
    const QString op = operatorOf(ctx);
    const QList<QPair<QString, QString>> rows =
        option.isEmpty() ? QList<QPair<QString, QString>>{} : optionRows(ctx.conn, option);
    const QString before = ctx.conn
                               .scalar(QStringLiteral("SELECT DSOPCAO FROM FILTROSUP"
                                                      " WHERE CDOPERADOR = ? AND CDTELA = ?"
                                                      " ORDER BY DSOPCAO LIMIT 1"),
                                       {op, kScreen})
                               .toString()
                               .trimmed();
    ctx.conn.exec(QStringLiteral("DELETE FROM FILTROSUP WHERE CDOPERADOR = ? AND CDTELA = ?"),
                  {op, kScreen});
    for (const auto& [component, value] : rows)
        ctx.conn.exec(
            QStringLiteral("INSERT INTO FILTROSUP (CDOPERADOR, CDTELA, NMCOMPONENTE,"
                           " DSOPCAO, IDSELECIONADO, IDVALOR) VALUES (?, ?, ?, ?, 'S', ?)"),
            {op, kScreen, component, option, value});
    a[0] = option;
    if (before != option)
        writeAudit(ctx.conn, ctx.def.name, op, {}, {}, timestampText(),
                   {AuditEntry{QStringLiteral("FILTROSUP"), op + u'|' + kScreen,
                               QStringLiteral("DSOPCAO"), before, option}});
    return {};
}

// GetProdutos(OL, tree code, brand): the product of the tree code in the fields of
// cdsVdProdEntr/cdsProdutos, with the OL's free stock in the brand served; empty when no bought
// product has the code. Writes back the stored tree code and the brand served.
QVariant GetProdutos(MethodContext& ctx, QVariantList& a) {
    const QString ol = requiredArg(ctx, a, 0);
    const QString code = requiredArg(ctx, a, 1);
    const data::FieldDefs fields = contracts::produtosFields();
    const std::optional<Found> p = findProduct(ctx.conn, code, Rows::Bought);
    if (!p)
        return emptyPacket(fields);
    const QString brand = chooseBrand(ctx.conn, ol, p->product, argText(a, 2));
    a[1] = p->tree;
    a[2] = brand;
    return QVariant::fromValue(productPacket(ctx.conn, fields, ol, p->product, brand));
}

StockRestriction stockRestriction(MethodContext& ctx, const QVariantList& a) {
    const QString item = requiredArg(ctx, a, 1);
    const QVariant stock = ctx.conn.scalar(
        QStringLiteral("SELECT CDPRODESTO FROM PRODUTO WHERE CDPRODUTO = ?"), {item});
    if (stock.isNull() || stock.toString().trimmed().isEmpty())
        unknownProduct(item);
    if (argText(a, 3) == u"1")
        return {QStringLiteral(" AND P.CDPRODESTO = ? AND P.CDPRODUTO <> ?"), {stock, item}};
    return {QStringLiteral(" AND P.CDPRODESTO <> ?"), {stock}};
}

QVariant restrictedProduct(MethodContext& ctx, QVariantList& a, const StockRestriction& r) {
    const QString ol = requiredArg(ctx, a, 0);
    const data::FieldDefs fields = contracts::vdProdutoFields();
    const std::optional<Found> p = findProduct(ctx.conn, argText(a, 2), Rows::Bought);
    if (!p)
        return emptyPacket(fields);
    QVariantList binds{p->product};
    binds << r.binds;
    if (!ctx.conn
             .scalar(QStringLiteral("SELECT 1 FROM PRODUTO P WHERE P.CDPRODUTO = ?") + r.condition,
                     binds)
             .isValid())
        return emptyPacket(fields);
    const QString brand = chooseBrand(ctx.conn, ol, p->product, argText(a, 4));
    a[2] = p->tree;
    a[4] = brand;
    return QVariant::fromValue(productPacket(ctx.conn, fields, ol, p->product, brand));
}

// Carrega_PeriFili(destination branch, tree code by reference, delivery date): "S" when the
// branch's calendar for the product leaves the date's weekday out, else "N". Writes back the
// stored tree code.
QVariant Carrega_PeriFili(MethodContext& ctx, QVariantList& a) {
    const QString branch = requiredArg(ctx, a, 0).left(4).trimmed();
    if (!ctx.conn.scalar(QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = ?"), {branch})
             .isValid())
        throw MethodFault(QStringLiteral("Filial %1 não cadastrada.").arg(branch),
                          QStringLiteral("notfound"));
    const QString code = requiredArg(ctx, a, 1);
    const QVariant day = dateArgToSql(a[2]);
    if (!day.isValid())
        refuseBlankArg(ctx, 2);
    const QDate date = QDate::fromString(day.toString().left(10), Qt::ISODate);
    const std::optional<Found> p = findProduct(ctx.conn, code, Rows::Any);
    if (!p)
        unknownProduct(code);
    a[1] = p->tree;
    return outsideCalendar(ctx.conn, {{branch, p->tree}}, date).value(0) ? QStringLiteral("S")
                                                                         : QStringLiteral("N");
}

QList<bool> outsideCalendar(const sql::Connection& conn, const QList<CalendarPair>& pairs,
                            const QDate& date) {
    QList<bool> out(pairs.size(), false);
    QStringList branches;
    for (const CalendarPair& p : pairs)
        if (!branches.contains(p.branch, Qt::CaseInsensitive))
            branches << p.branch;
    if (branches.isEmpty())
        return out;
    JsonRows j;
    for (qsizetype i = 0; i < branches.size(); ++i) {
        j.begin(i);
        j.text("b", branches[i]);
        j.end();
    }
    // The branches' calendar rows, a few per branch: each pair takes the deepest node on its
    // product's path.
    struct Row {
        QString node, days;
    };
    QHash<QString, QList<Row>> rows;
    QSqlQuery q = conn.exec(QStringLiteral("SELECT C.CDFILIAL, A.CDARVPROD, C.DSDIASENTREGA FROM %1"
                                           " JOIN PERIFILIPROD C ON C.CDFILIAL = d.b"
                                           " JOIN PRODUTO A ON A.CDPRODUTO = C.CDPRODUTO")
                                .arg(rowsTable(conn.dialect(), {{"b", "code"}})),
                            {j.value()});
    while (q.next())
        rows[q.value(0).toString().trimmed().toUpper()]
            << Row{q.value(1).toString().trimmed(), q.value(2).toString().trimmed().toUpper()};
    const int weekday = date.dayOfWeek() % 7; // Sunday first
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const Row* deepest = nullptr;
        const QList<Row> branchRows = rows.value(pairs[i].branch.toUpper());
        for (const Row& r : branchRows)
            if (pairs[i].tree.startsWith(r.node, Qt::CaseInsensitive) &&
                (!deepest || r.node.size() > deepest->node.size()))
                deepest = &r;
        out[i] = deepest && !(weekday < deepest->days.size() && deepest->days[weekday] == u'S');
    }
    return out;
}

} // namespace sup::server
