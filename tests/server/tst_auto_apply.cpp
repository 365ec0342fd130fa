// The automatic alteration through the dispatch, on SQLite and PostgreSQL: a selection's product
// (with the unit and quantity adjustments), quantity and delivery date changed by AltAtuItem and
// read back from the items, the purchase requests and the audit; the purchase calendar's
// refusal, a concurrent change and what a hostile client may send, each with nothing written;
// the branches' particularities listed by GetVdMarcPref and honoured by the "S"/"N" answer.

#include "AlterationHelpers.h"
#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/contracts/SelectedItems.h"
#include "sup/contracts/ServerResult.h"
#include "sup/server/Items.h"

#include <QDate>
#include <QSqlQuery>
#include <QTest>

#include <cmath>

using namespace sup;
using namespace Qt::StringLiterals;
using data::DataPacket;
using suptest::cell;
using suptest::gather;
using suptest::ids;
using suptest::SeededServer;
using suptest::unusedProduct;

namespace {

const QString& kRefusal = suptest::kCalendarRefusal;
const QString& kOpen = suptest::kOpenItem;

const QStringList kTables = {u"PEDIDOOLITEM"_s, u"AUDITORIA"_s, u"SOLICOMPRA"_s, u"RESERVAESTOL"_s,
                             u"ESTOQUEOL"_s};
const QString kReason = u"Alteração do Pedido OL."_s;

// The same array as the screens hand it over in-process: one typed column per attribute.
QVariant typed(const QVariantList& list) {
    return QVariant::fromValue(*contracts::SelectedItems::fromVariant(QVariant(list)));
}

// The arguments of one alteration, as the screen sends them.
struct Alteration {
    explicit Alteration(QVariant list)
        : items(std::move(list)) {}

    QVariant items;
    bool product = false, quantity = false, date = false;
    QDate day;
    double qty = 0;
    QString code, brand;
    double unitAdjust = 0, qtyAdjust = 0;
    bool original = false, requests = false;
    QString answer = u"N"_s;

    QVariantList args() const {
        return {
            items,      product,   quantity, date,      day,       qty,      code,
            unitAdjust, qtyAdjust, kRefusal, original,  QString(), requests, server::kDemoOperator,
            kReason,    u"0001"_s, 0.0,      QString(), QString(), brand,    answer};
    }
};

QVariant alter(SeededServer& s, const Alteration& a, const QString& op = server::kDemoOperator) {
    return s.call(u"AltAtuItem"_s, a.args(), server::kModuleAltPedidosOL, op);
}

QVariantList accepted(const QVariant& answer) {
    const contracts::ServerFault f = contracts::faultOf(answer);
    if (!f.code.isEmpty())
        qWarning() << f.code << f.message;
    return f.code.isEmpty() ? answer.toList() : QVariantList{};
}

// Three open items of the most common product at OL 0901, of different orders.
QList<qint64> sameProductItems(const sql::Connection& c) {
    const QString product =
        c.scalar(u"SELECT CDPRODUTO FROM PEDIDOOLITEM WHERE CDFILIOPELOG = '0901' AND %1"
                 " GROUP BY CDPRODUTO ORDER BY COUNT(*) DESC, CDPRODUTO"_s.arg(kOpen))
            .toString();
    return ids(c,
               u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM WHERE CDPRODUTO = ? AND"
               " CDFILIOPELOG = '0901' AND %1 GROUP BY NRPEDEXOL ORDER BY 1 LIMIT 3"_s.arg(kOpen),
               {product});
}

// Audit rows of AltAtuItem, "table.field:old>new".
QStringList audit(const sql::Connection& c) {
    QSqlQuery q = c.exec(u"SELECT NMTABELA, NMCAMPO, DSVALORANT, DSVALORNOVO FROM AUDITORIA"
                         " WHERE NMMETODO = 'AltAtuItem' AND CDOPERADOR = ? AND DSMOTIVO = ?"
                         " ORDER BY NRSEQAUDIT"_s,
                         {server::kDemoOperator, kReason});
    QStringList out;
    while (q.next())
        out << q.value(0).toString() + u'.' + q.value(1).toString() + u':' + q.value(2).toString() +
                   u'>' + q.value(3).toString();
    return out;
}

} // namespace

class TestAutoApply : public QObject {
    Q_OBJECT

private slots:
    // A product change converts each quantity by the unit then the quantity adjustment; with the
    // original quantity considered, per item from the factors and weights of the product first
    // ordered, a zero or missing one counting as 1. Read back with the audit; the OL's stock of
    // the new product covers the quantities (element 3 false).
    void productChange_data() { suptest::addDatabaseRows(); }
    void productChange() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        const QList<qint64> items = sameProductItems(c);
        QCOMPARE(items.size(), 3);
        const auto [product, brand] = unusedProduct(c);
        c.exec(u"UPDATE PRODUTO SET VRFATOCONV = 2 WHERE CDPRODUTO = ?"_s, {product});
        c.exec(u"UPDATE PRODUTO SET VRPESOUNID = 0 WHERE CDPRODUTO ="
               " (SELECT CDPRODESTO FROM PRODUTO WHERE CDPRODUTO = ?)"_s,
               {product});
        c.exec(u"DELETE FROM ESTOQUEOL WHERE CDPRODUTO = ?"_s, {product});
        c.exec(u"INSERT INTO ESTOQUEOL (CDFILIOPELOG, CDPRODUTO, CDMARCA, QTSALDO, QTRESERVADO)"
               " VALUES ('0901', ?, ?, 100000, 0)"_s,
               {product, brand});
        const double q0 = cell(c, u"QTPROGENPEOL"_s, items[0]).toDouble();

        Alteration a{typed(gather(c, {items[0], items[1]}))};
        a.product = true;
        a.code = product;
        a.brand = brand;
        a.unitAdjust = 100;
        a.qtyAdjust = 10;
        QCOMPARE(accepted(alter(s, a)), (QVariantList{2, 0, false, false}));
        QCOMPARE(cell(c, u"CDPRODUTO"_s, items[0]).toString(), product);
        QCOMPARE(cell(c, u"CDMARCA"_s, items[0]).toString(), brand);
        QCOMPARE(cell(c, u"VRFATOCONV"_s, items[0]).toDouble(), 2.0);
        QCOMPARE(cell(c, u"CDARVPROD"_s, items[1]),
                 c.scalar(u"SELECT CDARVPROD FROM PRODUTO WHERE CDPRODUTO = ?"_s, {product}));
        QCOMPARE(cell(c, u"QTPROGENPEOL"_s, items[0]).toDouble(),
                 std::round(q0 * 2.2 * 1000) / 1000);
        const QStringList rows = audit(c);
        QCOMPARE(rows.filter(u"PEDIDOOLITEM.CDPRODUTO:"_s).size(), 2);
        QVERIFY2(rows.contains(u"PEDIDOOLITEM.QTPROGENPEOL:%1>%2"_s.arg(q0).arg(
                     std::round(q0 * 2.2 * 1000) / 1000)),
                 qPrintable(rows.join(u'\n')));

        // First ordered as a product registered with factor and weight 0: counted as 1 each;
        // the new product's weight is 0 too, so 10 x (1 x 1) / (2 x 1), plus 10%.
        const QString origin = c.scalar(u"SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDPRODESTO IS"
                                        " NOT NULL AND CDPRODUTO <> ?"_s,
                                        {product})
                                   .toString();
        c.exec(u"UPDATE PRODUTO SET VRFATOCONV = 0, VRPESOUNID = 0 WHERE CDPRODUTO = ?"
               " OR CDPRODUTO = (SELECT CDPRODESTO FROM PRODUTO WHERE CDPRODUTO = ?)"_s,
               {origin, origin});
        c.exec(u"UPDATE PEDIDOOLITEM SET CDPRODORIGPEDOL = ?, QTORIGPRODPED = 10"
               " WHERE CDRASTRITM = ?"_s,
               {origin, items[2]});
        Alteration b{gather(c, {items[2]})};
        b.product = true;
        b.code = product;
        b.brand = brand;
        b.unitAdjust = 900; // the screen's figure for the current item; per item instead
        b.qtyAdjust = 10;
        b.original = true;
        QCOMPARE(accepted(alter(s, b)), (QVariantList{1, 0, false, false}));
        QCOMPARE(cell(c, u"QTPROGENPEOL"_s, items[2]).toDouble(), 5.5);
    }

    // A quantity replaces the item's, or is added to it when the new product is the item's own
    // (only the brand may change then). GetAjusteUn serves factor and stock unit weight.
    void quantity_data() { suptest::addDatabaseRows(); }
    void quantity() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        const QList<qint64> items = sameProductItems(c);
        const double q0 = cell(c, u"QTPROGENPEOL"_s, items[0]).toDouble();
        const QString product = cell(c, u"CDPRODUTO"_s, items[0]).toString();
        const QString brand = cell(c, u"CDMARCA"_s, items[0]).toString();

        Alteration a{gather(c, {items[0]})};
        a.product = a.quantity = true;
        a.code = product;
        a.brand = brand;
        a.qty = 5;
        QCOMPARE(accepted(alter(s, a)).value(0), QVariant(1));
        QCOMPARE(cell(c, u"QTPROGENPEOL"_s, items[0]).toDouble(), q0 + 5);

        Alteration b{gather(c, {items[0], items[1]})};
        b.quantity = true;
        b.qty = 7.25;
        QCOMPARE(accepted(alter(s, b)).value(0), QVariant(2));
        QCOMPARE(cell(c, u"QTPROGENPEOL"_s, items[0]).toDouble(), 7.25);
        QCOMPARE(cell(c, u"QTPROGENPEOL"_s, items[1]).toDouble(), 7.25);

        const DataPacket unit = s.call(u"GetAjusteUn"_s, {product}).value<DataPacket>();
        QCOMPARE(unit.rowCount(), 1);
        QCOMPARE(unit.value(0, u"VRPESOUNID"),
                 c.scalar(u"SELECT S.VRPESOUNID FROM PRODUTO P JOIN PRODUTO S"
                          " ON S.CDPRODUTO = P.CDPRODESTO WHERE P.CDPRODUTO = ?"_s,
                          {product}));
        QCOMPARE(s.call(u"GetAjusteUn"_s, {QString()}).value<DataPacket>().rowCount(), 0);
    }

    // A date off the branch's calendar refuses the call with the screen's text for that item,
    // nothing written (an exempt operator passes); a date on it moves delivery and shipping,
    // and the purchase requests follow; a request no OL order carries is reported (element 2).
    void deliveryDate_data() { suptest::addDatabaseRows(); }
    void deliveryDate() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        const QList<qint64> items = sameProductItems(c);
        const qint64 id = items[0];
        const QString dest = cell(c, u"CDFILDEST"_s, id).toString();
        const QString product = cell(c, u"CDPRODUTO"_s, id).toString();
        c.exec(u"DELETE FROM PERIFILIPROD WHERE CDFILIAL = ? AND CDPRODUTO = ?"_s, {dest, product});
        c.exec(u"INSERT INTO PERIFILIPROD (CDFILIAL, CDPRODUTO, DSDIASENTREGA)"
               " VALUES (?, ?, 'NSNNNNN')"_s,
               {dest, product}); // Mondays only
        c.exec(u"DELETE FROM SOLICOMPRA WHERE CDRASTRITM = ?"_s, {id});
        c.exec(u"INSERT INTO SOLICOMPRA (NRSOLICOMPRA, CDRASTRITM, CDFILIAL, CDPRODUTO, CDMARCA,"
               " QTSOLICITADA, QTORIGSOLIC, DTENTREGA) SELECT 900001, CDRASTRITM, CDFILDEST,"
               " CDPRODUTO, CDMARCA, QTPROGENPEOL, QTPROGENPEOL, DTPROGENPEOL FROM PEDIDOOLITEM"
               " WHERE CDRASTRITM = ?"_s,
               {id});

        Alteration a{gather(c, {id})};
        a.date = true;
        a.day = QDate(2026, 6, 2); // a Tuesday
        a.requests = true;
        const QByteArray before = suptest::digest(c, kTables);
        const contracts::ServerFault f = contracts::faultOf(alter(s, a));
        QCOMPARE(f.code, u"business"_s);
        QCOMPARE(f.message,
                 u"Operação bloqueada. Nova data não contemplada pela periodicidade da filial %1"
                 " para o produto %2 ."_s.arg(dest, cell(c, u"NMPRODUTO"_s, id).toString()));
        QCOMPARE(suptest::digest(c, kTables), before);
        QVERIFY(contracts::faultOf(alter(s, a, server::kManagerOperator)).code.isEmpty());

        const QDate shipped =
            QDate::fromString(cell(c, u"DTPROGEMBARQ"_s, id).toString().left(10), Qt::ISODate);
        a.items = gather(c, {id});
        a.day = QDate(2026, 6, 8); // a Monday
        QCOMPARE(accepted(alter(s, a)), (QVariantList{1, 0, false, false}));
        QCOMPARE(cell(c, u"DTPROGENPEOL"_s, id).toString().left(10), u"2026-06-08"_s);
        QCOMPARE(cell(c, u"DTPROGEMBARQ"_s, id).toString().left(10),
                 shipped.addDays(6).toString(Qt::ISODate));
        QCOMPARE(c.scalar(u"SELECT DTENTREGA FROM SOLICOMPRA WHERE NRSOLICOMPRA = 900001"_s)
                     .toString()
                     .left(10),
                 u"2026-06-08"_s);
        QVERIFY(
            audit(c).contains(u"SOLICOMPRA.DTENTREGA:2026-06-02 00:00:00>2026-06-08 00:00:00"_s));

        // A request of the same branch, product and date that no order item carries.
        c.exec(u"INSERT INTO SOLICOMPRA (NRSOLICOMPRA, CDRASTRITM, CDFILIAL, CDPRODUTO,"
               " QTSOLICITADA, QTORIGSOLIC, DTENTREGA) VALUES (900002, NULL, ?, ?, 1, 1, ?)"_s,
               {dest, product, u"2026-06-08 00:00:00"_s});
        a.items = gather(c, {id});
        a.day = QDate(2026, 6, 15);
        QCOMPARE(accepted(alter(s, a)).value(2), QVariant(true));
    }

    // The items of a branch with a mandatory brand the new brand is not: listed by GetVdMarcPref,
    // left as they were with "N", altered with "S"; the OL has no stock of the new product
    // (element 3).
    void particularities_data() { suptest::addDatabaseRows(); }
    void particularities() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        QList<qint64> items = sameProductItems(c).mid(0, 1);
        const QString strict = cell(c, u"CDFILDEST"_s, items[0]).toString();
        items << ids(
            c, u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM WHERE %1 AND CDFILDEST <> ?"_s.arg(kOpen),
            {strict});
        const auto [product, brand] = unusedProduct(c);
        const QString mandatory =
            c.scalar(u"SELECT MIN(CDMARCA) FROM MARCA WHERE CDMARCA <> ?"_s, {brand}).toString();
        c.exec(u"UPDATE PARAMFILIAL SET IDUTLMARPREFOL = CASE WHEN CDFILIAL = ? THEN 'S'"
               " ELSE 'N' END"_s,
               {strict});
        c.exec(u"INSERT INTO PARTFILIPROD (CDFILIAL, CDPRODUTO, CDTIPPART, CDMARCA)"
               " VALUES (?, ?, '1', ?)"_s,
               {strict, product, mandatory});
        c.exec(u"DELETE FROM ESTOQUEOL WHERE CDPRODUTO = ?"_s, {product});

        QVariantList list = gather(c, {items[0], items[1]});
        QString code = product, asked;
        const DataPacket conflicts =
            s.call(u"GetVdMarcPref"_s, {list, code, u"0001"_s, asked}).value<DataPacket>();
        QCOMPARE(conflicts.rowCount(), 1);
        QCOMPARE(conflicts.value(0, u"CDFILDEST").toString(), strict);
        QCOMPARE(conflicts.value(0, u"CDTIPPART").toString(), u"1"_s);
        QVERIFY(conflicts.value(0, u"CDMARCA").toString().startsWith(mandatory));

        Alteration a{QVariant(list)};
        a.product = true;
        a.code = product;
        a.brand = brand;
        const QString before = cell(c, u"CDPRODUTO"_s, items[0]).toString();
        QCOMPARE(accepted(alter(s, a)), (QVariantList{1, 1, false, true}));
        QCOMPARE(cell(c, u"CDPRODUTO"_s, items[0]).toString(), before);
        QCOMPARE(cell(c, u"CDPRODUTO"_s, items[1]).toString(), product);

        a.items = gather(c, {items[0]});
        a.answer = u"S"_s;
        QCOMPARE(accepted(alter(s, a)).value(0), QVariant(1));
        QCOMPARE(cell(c, u"CDPRODUTO"_s, items[0]).toString(), product);
    }

    // Items another user changed (quantity, delivery date) or closed (written off) since they
    // were gathered: all named, nothing written.
    void concurrentChange_data() { suptest::addDatabaseRows(); }
    void concurrentChange() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        const QList<qint64> items = sameProductItems(c);
        Alteration a{gather(c, items)};
        a.quantity = true;
        a.qty = 3;
        c.exec(u"UPDATE PEDIDOOLITEM SET QTPROGENPEOL = QTPROGENPEOL + 1 WHERE CDRASTRITM = ?"_s,
               {items[0]});
        c.exec(u"UPDATE PEDIDOOLITEM SET DTPROGENPEOL = ? WHERE CDRASTRITM = ?"_s,
               {u"2026-06-30 00:00:00"_s, items[1]});
        c.exec(u"UPDATE PEDIDOOLITEM SET IDSITUITEM = 'B' WHERE CDRASTRITM = ?"_s, {items[2]});
        const QByteArray before = suptest::digest(c, kTables);
        const contracts::ServerFault f = contracts::faultOf(alter(s, a));
        QCOMPARE(f.code, u"conflict"_s);
        QVERIFY2(f.message.contains(u"3 item(ns)") && f.message.contains(u"Qtde.: lida") &&
                     f.message.contains(u"atual 30/06/2026") &&
                     f.message.contains(u"já foi baixado"),
                 qPrintable(f.message));
        QCOMPARE(suptest::digest(c, kTables), before);
    }

    // What a hostile client may send, nothing written: an item outside the operator's branches
    // (to either method), a malformed array, an adjustment item, two items made equal.
    void refusals_data() { suptest::addDatabaseRows(); }
    void refusals() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        const QString scope = u"EXISTS (SELECT 1 FROM FILIOPER O WHERE O.CDOPERADOR = 'COMPRAS1'"
                              " AND O.CDFILIAL = PEDIDOOLITEM.CDFILDEST)"_s;
        const qint64 foreign =
            ids(c,
                u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM WHERE %1 AND NOT %2"_s.arg(kOpen, scope))
                .value(0);
        const qint64 adjustment = ids(c, u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM WHERE"
                                         " IDSITUITEM = 'A' AND IDITEMAJUSTE = 'S'"_s)
                                      .value(0);
        const QList<qint64> order = ids(c, u"SELECT CDRASTRITM FROM PEDIDOOLITEM WHERE %1 AND"
                                           " NRPEDEXOL = (SELECT MIN(NRPEDEXOL) FROM PEDIDOOLITEM"
                                           " WHERE %1) ORDER BY CDRASTRITM LIMIT 2"_s.arg(kOpen));
        QVERIFY(foreign > 0 && adjustment > 0 && order.size() == 2);
        const auto [product, brand] = unusedProduct(c);
        const QByteArray before = suptest::digest(c, kTables);
        auto refused = [&](const QVariant& answer, const char* code, const QString& text) {
            const contracts::ServerFault f = contracts::faultOf(answer);
            const bool ok = f.code == QLatin1String(code) && f.message.contains(text) &&
                            suptest::digest(c, kTables) == before;
            if (!ok)
                qWarning() << f.code << f.message;
            return ok;
        };

        Alteration a{gather(c, {foreign})};
        a.quantity = true;
        a.qty = 1;
        QVERIFY(refused(alter(s, a, server::kPlainOperator), "scope",
                        u"não pertence às filiais do operador COMPRAS1"_s));
        QString code = product, asked;
        QVERIFY(refused(s.call(u"GetVdMarcPref"_s, {a.items, code, u"0001"_s, asked},
                               server::kModuleAltPedidosOL, server::kPlainOperator),
                        "scope", u"não pertence às filiais"_s));
        a.items = gather(c, {foreign}).mid(0, 14);
        QVERIFY(refused(alter(s, a), "args", u"devem ter 15 atributos"_s));
        a.items = gather(c, {adjustment});
        QVERIFY(refused(alter(s, a), "business", u"é um item de ajuste"_s));
        Alteration same{gather(c, order)};
        same.product = true;
        same.code = product;
        same.brand = brand;
        same.answer = u"S"_s;
        QVERIFY(refused(alter(s, same), "business", u"ficariam iguais"_s));
        same.items = gather(c, {order[0]});
        same.code = cell(c, u"CDPRODUTO"_s, order[1]).toString();
        same.brand = cell(c, u"CDMARCA"_s, order[1]).toString();
        QVERIFY(refused(alter(s, same), "business", u"ficaria igual a um item já cadastrado"_s));
    }
};

QTEST_GUILESS_MAIN(TestAutoApply)
#include "tst_auto_apply.moc"
