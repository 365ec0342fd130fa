// Saving the grid's item changes (UpdItemPedidoOL, both flags "N") and the OL's product list
// (GetPesqProduto, restriction "0"), through the dispatch against the seeded database on SQLite
// and PostgreSQL: what is written, what follows it (purchase requests, reservations, removal of
// items set to 0), what is audited, and what is refused with nothing written.

#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/Format.h"
#include "sup/server/Items.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSqlQuery>
#include <QTest>

using namespace sup;
using namespace Qt::StringLiterals;
using data::DataPacket;
using suptest::field;
using suptest::makeDelta;
using suptest::SeededServer;

namespace {

const QString kDescription = QStringLiteral("Alteração do Pedido OL.");

DataPacket items(const sql::Connection& c, const QList<qint64>& ids) {
    QStringList list;
    for (qint64 id : ids)
        list << QString::number(id);
    return server::selectItems(c, QStringLiteral("I.CDRASTRITM IN (%1)").arg(list.join(u',')));
}

qsizetype rowOf(const DataPacket& p, qint64 id) {
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        if (qint64(p.value(r, u"CDRASTRITM").toDouble()) == id)
            return r;
    return -1;
}

QVariant save(SeededServer& s, const DataPacket& delta, bool updateRequests = false,
              const QString& op = server::kDemoOperator, const QString& writeOff = u"N"_s,
              const QString& direct = u"N"_s) {
    return s.call(QStringLiteral("UpdItemPedidoOL"),
                  {QVariant::fromValue(delta), writeOff, direct, op, updateRequests, kDescription,
                   QStringLiteral("Remanejamento OL para ED")},
                  server::kModuleAltPedidosOL, op);
}

contracts::ServerFault faultOf(const QVariant& v) {
    return contracts::faultOf(v);
}

QVariant scalar(const sql::Connection& c, const QString& sqlText, const QVariantList& b = {}) {
    return c.scalar(sqlText, b);
}

qint64 firstId(const sql::Connection& c, const QString& where) {
    const QVariant v = c.scalar(
        QStringLiteral("SELECT MIN(I.CDRASTRITM) FROM PEDIDOOLITEM I WHERE I.IDSITUITEM = 'A'"
                       " AND I.IDITMPEDOLBLOQ = 'N' AND %1")
            .arg(where));
    return v.isNull() ? 0 : v.toLongLong();
}

// A stock-kept product and one of its brands that the item's order does not hold yet.
QPair<QString, QString> freePair(const sql::Connection& c, qint64 id) {
    QSqlQuery q =
        c.exec(QStringLiteral(
                   "SELECT B.CDPRODUTO, B.CDMARCA FROM PRODMARCA B JOIN PRODUTO P"
                   " ON P.CDPRODUTO = B.CDPRODUTO JOIN PEDIDOOLITEM I ON I.CDRASTRITM = ?"
                   " WHERE P.CDPRODESTO IS NOT NULL AND B.CDPRODUTO <> I.CDPRODUTO"
                   " AND NOT EXISTS (SELECT 1 FROM PEDIDOOLITEM O WHERE O.CDFILDEST = I.CDFILDEST"
                   " AND O.CDFILLANC = I.CDFILLANC AND O.NRPEDEXOL = I.NRPEDEXOL"
                   " AND O.CDPRODUTO = B.CDPRODUTO) ORDER BY B.CDPRODUTO, B.CDMARCA"),
               {id});
    if (!q.next())
        return {};
    return {q.value(0).toString(), q.value(1).toString()};
}

// Another brand the item's product is bought in, free in the item's order.
QString otherBrand(const sql::Connection& c, qint64 id) {
    return c
        .scalar(QStringLiteral("SELECT MIN(B.CDMARCA) FROM PRODMARCA B JOIN PEDIDOOLITEM I"
                               " ON I.CDRASTRITM = ? AND B.CDPRODUTO = I.CDPRODUTO"
                               " WHERE B.CDMARCA <> I.CDMARCA AND NOT EXISTS (SELECT 1"
                               " FROM PEDIDOOLITEM O WHERE O.CDFILDEST = I.CDFILDEST"
                               " AND O.CDFILLANC = I.CDFILLANC AND O.NRPEDEXOL = I.NRPEDEXOL"
                               " AND O.CDPRODUTO = B.CDPRODUTO AND O.CDMARCA = B.CDMARCA)"),
                {id})
        .toString();
}

QStringList itemRow(const sql::Connection& c, qint64 id) {
    QSqlQuery q = c.exec(QStringLiteral("SELECT QTPROGENPEOL, CDPRODUTO, CDARVPROD, NMPRODUTO,"
                                        " CDMARCA, NMMARCA, QTRESERVESTOL FROM PEDIDOOLITEM"
                                        " WHERE CDRASTRITM = ?"),
                         {id});
    QStringList out;
    if (q.next())
        for (int i = 0; i < 7; ++i)
            out << q.value(i).toString();
    return out;
}

// Audit rows of a table: "field=old>new", in order, with the operator and the reason checked.
QStringList audit(const sql::Connection& c, const QString& table, const QString& op) {
    QSqlQuery q = c.exec(QStringLiteral("SELECT NMCAMPO, DSVALORANT, DSVALORNOVO, CDOPERADOR,"
                                        " DSMOTIVO, NMMETODO FROM AUDITORIA WHERE NMTABELA = ?"
                                        " ORDER BY NRSEQAUDIT"),
                         {table});
    QStringList out;
    while (q.next()) {
        if (q.value(3).toString() != op || q.value(4).toString() != kDescription ||
            q.value(5).toString() != u"UpdItemPedidoOL")
            out << QStringLiteral("bad audit row: ") + q.value(3).toString() + u'/' +
                       q.value(4).toString() + u'/' + q.value(5).toString();
        out << q.value(0).toString() + u'=' + q.value(1).toString() + u'>' + q.value(2).toString();
    }
    return out;
}

const QStringList kSavingTables = {QStringLiteral("PEDIDOOLITEM"),  QStringLiteral("AUDITORIA"),
                                   QStringLiteral("DELTAAPLICADO"), QStringLiteral("SOLICOMPRA"),
                                   QStringLiteral("RESERVAESTOL"),  QStringLiteral("ESTOQUEOL"),
                                   QStringLiteral("BLOQITEMHIST")};

struct Cols {
    int qty, product, brand, calc, changed, batch;
    explicit Cols(const DataPacket& p)
        : qty(field(p, "QTPROGENPEOL"))
        , product(field(p, "CDPRODUTO"))
        , brand(field(p, "CDMARCA"))
        , calc(field(p, "CALC"))
        , changed(field(p, "ALTERADO"))
        , batch(field(p, "CDLOTENVITOL")) {}
};

data::Column& col(std::vector<data::Column>& c, int f) {
    return c[std::size_t(f)];
}

} // namespace

class TestSaving : public QObject {
    Q_OBJECT

private slots:
    // A quantity, a product and a brand written with what follows them, a mark written nowhere,
    // and one audit row per change with the operator and the reason.
    void writesChangesAndAudits_data() { suptest::addDatabaseRows(); }
    void writesChangesAndAudits() {
        QFETCH(QString, db);
        SeededServer s(db);
        const sql::Connection& c = *s.conn;
        const qint64 qtyId = firstId(c, QStringLiteral("1 = 1"));
        const qint64 productId = firstId(c, QStringLiteral("I.CDRASTRITM > %1").arg(qtyId));
        const qint64 brandId = firstId(
            c, QStringLiteral("I.CDRASTRITM > %1 AND (SELECT COUNT(*) FROM PRODMARCA B WHERE"
                              " B.CDPRODUTO = I.CDPRODUTO) > 1")
                   .arg(productId));
        const qint64 markId = firstId(c, QStringLiteral("I.CDRASTRITM NOT IN (%1, %2, %3)")
                                             .arg(qtyId)
                                             .arg(productId)
                                             .arg(brandId));
        const auto [newProduct, newProductBrand] = freePair(c, productId);
        const QString newBrand = otherBrand(c, brandId);
        QVERIFY(!newProduct.isEmpty() && !newBrand.isEmpty() && markId > 0);
        const DataPacket loaded = items(c, {qtyId, productId, brandId, markId});
        const Cols f(loaded);
        const QByteArray requests = suptest::digest(c, {QStringLiteral("SOLICOMPRA")});
        const QStringList before = itemRow(c, qtyId);

        const DataPacket delta =
            makeDelta(loaded, {0, 1, 2, 3}, [&](qsizetype r, std::vector<data::Column>& cur) {
                const qint64 id = qint64(loaded.value(r, u"CDRASTRITM").toDouble());
                col(cur, f.changed).setText(r, u"S");
                if (id == qtyId)
                    col(cur, f.qty).setReal(r, 12.5);
                if (id == productId) {
                    col(cur, f.product).setText(r, newProduct);
                    col(cur, f.brand).setText(r, newProductBrand);
                }
                if (id == brandId)
                    col(cur, f.brand).setText(r, newBrand);
                if (id == markId) {
                    col(cur, f.changed).setText(r, u"N");
                    col(cur, f.calc).setText(r, u"S");
                }
            });
        const QVariant answer = save(s, delta);
        QVERIFY2(faultOf(answer).code.isEmpty(), qPrintable(faultOf(answer).message));

        QCOMPARE(itemRow(c, qtyId).value(0).toDouble(), 12.5);
        const QStringList p = itemRow(c, productId);
        QCOMPARE(p[1], newProduct);
        QCOMPARE(p[2],
                 scalar(c, QStringLiteral("SELECT CDARVPROD FROM PRODUTO WHERE CDPRODUTO = ?"),
                        {newProduct})
                     .toString());
        QCOMPARE(p[3],
                 scalar(c, QStringLiteral("SELECT NMPRODUTO FROM PRODUTO WHERE CDPRODUTO = ?"),
                        {newProduct})
                     .toString());
        QCOMPARE(p[4], newProductBrand);
        const QStringList b = itemRow(c, brandId);
        QCOMPARE(b[4], newBrand);
        QCOMPARE(b[5], scalar(c, QStringLiteral("SELECT NMMARCA FROM MARCA WHERE CDMARCA = ?"),
                              {newBrand})
                           .toString());
        // Marks and change flags are the client's: stored as they were.
        QCOMPARE(scalar(c, QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE CALC <> 'N'"
                                          " OR ALTERADO <> 'N'"))
                     .toInt(),
                 0);
        // Without "update requests" the requests stay as they were.
        QCOMPARE(suptest::digest(c, {QStringLiteral("SOLICOMPRA")}), requests);

        // Read back as the reload does: the new values, in the item record.
        const DataPacket reloaded = items(c, {qtyId, productId, brandId});
        QCOMPARE(reloaded.value(rowOf(reloaded, productId), u"CDPRODUTO").toString(), newProduct);
        QCOMPARE(reloaded.value(rowOf(reloaded, brandId), u"NMMARCA").toString(), b[5]);

        const QStringList rows = audit(c, QStringLiteral("PEDIDOOLITEM"), server::kDemoOperator);
        QVERIFY2(rows.contains(QStringLiteral("QTPROGENPEOL=%1>12.5").arg(before[0])),
                 qPrintable(rows.join(u'|')));
        QVERIFY(rows.contains(
            QStringLiteral("CDPRODUTO=%1>%2")
                .arg(loaded.value(rowOf(loaded, productId), u"CDPRODUTO").toString(), newProduct)));
        QVERIFY(rows.contains(
            QStringLiteral("CDMARCA=%1>%2")
                .arg(loaded.value(rowOf(loaded, brandId), u"CDMARCA").toString(), newBrand)));
        QVERIFY2(!rows.join(u'|').contains(u"bad audit row"), qPrintable(rows.join(u'|')));
        QCOMPARE(scalar(c, QStringLiteral("SELECT NMMETODO FROM DELTAAPLICADO")).toString(),
                 QStringLiteral("UpdItemPedidoOL"));
    }

    // With "update requests" the open requests behind each saved item take its new quantity,
    // product and brand; an item's several requests share its quantity.
    void requestsFollowWhenAsked_data() { suptest::addDatabaseRows(); }
    void requestsFollowWhenAsked() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        const QString withRequest =
            QStringLiteral("EXISTS (SELECT 1 FROM SOLICOMPRA S WHERE S.CDRASTRITM = I.CDRASTRITM)");
        const qint64 qtyId = firstId(c, withRequest);
        const qint64 productId =
            firstId(c, withRequest + QStringLiteral(" AND I.CDRASTRITM > %1").arg(qtyId));
        QVERIFY(qtyId > 0 && productId > 0);
        // A second open request behind the first item: the two share its quantity 3:1.
        c.exec(QStringLiteral("UPDATE SOLICOMPRA SET QTSOLICITADA = 30 WHERE CDRASTRITM = ?"),
               {qtyId});
        c.exec(QStringLiteral(
                   "INSERT INTO SOLICOMPRA (NRSOLICOMPRA, CDRASTRITM, CDFILIAL, CDPRODUTO, CDMARCA,"
                   " QTSOLICITADA, QTORIGSOLIC, DTENTREGA, IDSITUSOLIC) SELECT 900001, CDRASTRITM,"
                   " CDFILIAL, CDPRODUTO, CDMARCA, 10, 10, DTENTREGA, 'A' FROM SOLICOMPRA"
                   " WHERE CDRASTRITM = ?"),
               {qtyId});
        const auto [newProduct, newBrand] = freePair(c, productId);
        const DataPacket loaded = items(c, {qtyId, productId});
        const Cols f(loaded);
        auto delta = [&] {
            return makeDelta(loaded, {0, 1}, [&](qsizetype r, std::vector<data::Column>& cur) {
                if (qint64(loaded.value(r, u"CDRASTRITM").toDouble()) == qtyId) {
                    col(cur, f.qty).setReal(r, 80);
                } else {
                    col(cur, f.product).setText(r, newProduct);
                    col(cur, f.brand).setText(r, newBrand);
                }
            });
        };
        const QString requestsOf =
            QStringLiteral("SELECT QTSOLICITADA, CDPRODUTO, CDMARCA FROM SOLICOMPRA"
                           " WHERE CDRASTRITM = ? ORDER BY NRSOLICOMPRA");
        auto requests = [&](qint64 id) {
            QStringList out;
            QSqlQuery q = c.exec(requestsOf, {id});
            while (q.next())
                out << q.value(0).toString() + u' ' + q.value(1).toString() + u' ' +
                           q.value(2).toString();
            return out;
        };
        const QStringList productBefore = requests(productId);
        const QStringList qtyBefore = requests(qtyId);

        // Not asked: the requests stay, the items change.
        sql::Transaction keep(c); // the server's transaction nests in it; rolled back below
        QVERIFY(faultOf(save(s, delta(), false)).code.isEmpty());
        QCOMPARE(requests(productId), productBefore);
        QCOMPARE(requests(qtyId), qtyBefore);
        keep.rollback();

        QVERIFY(faultOf(save(s, delta(), true)).code.isEmpty());
        const QStringList shared = requests(qtyId);
        QCOMPARE(shared.size(), 2);
        QVERIFY2(shared[0].startsWith(u"60 ") && shared[1].startsWith(u"20 "),
                 qPrintable(shared.join(u'|')));
        for (const QString& r : requests(productId))
            QCOMPARE(r.section(u' ', 1), newProduct + u' ' + newBrand);
        const QStringList rows = audit(c, QStringLiteral("SOLICOMPRA"), server::kDemoOperator);
        QVERIFY2(rows.contains(u"QTSOLICITADA=30>60"_s) && rows.contains(u"QTSOLICITADA=10>20"_s),
                 qPrintable(rows.join(u'|')));
        QVERIFY(rows.contains(
            QStringLiteral("CDPRODUTO=%1>%2")
                .arg(loaded.value(rowOf(loaded, productId), u"CDPRODUTO").toString(), newProduct)));
    }

    // An item set to 0 leaves the order so that it can be imported again: its reservation goes
    // back to the OL's stock, its requests stay open without it; a product change releases the
    // reservation of the old product.
    void zeroQuantityLeavesTheOrder_data() { suptest::addDatabaseRows(); }
    void zeroQuantityLeavesTheOrder() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        const QString reserved =
            QStringLiteral("I.QTRESERVESTOL > 0 AND EXISTS (SELECT 1 FROM SOLICOMPRA S"
                           " WHERE S.CDRASTRITM = I.CDRASTRITM)");
        qint64 zeroId = firstId(c, reserved);
        if (zeroId == 0) { // give a reserved item a request of its own
            zeroId = firstId(c, QStringLiteral("I.QTRESERVESTOL > 0"));
            c.exec(QStringLiteral("INSERT INTO SOLICOMPRA (NRSOLICOMPRA, CDRASTRITM, CDFILIAL,"
                                  " CDPRODUTO, CDMARCA, QTSOLICITADA, QTORIGSOLIC, DTENTREGA,"
                                  " IDSITUSOLIC) SELECT 900002, CDRASTRITM, CDFILDEST, CDPRODUTO,"
                                  " CDMARCA, QTPROGENPEOL, QTPROGENPEOL, DTPROGENPEOL, 'A'"
                                  " FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"),
                   {zeroId});
        }
        const qint64 movedId =
            firstId(c, QStringLiteral("I.QTRESERVESTOL > 0 AND I.CDRASTRITM <> %1").arg(zeroId));
        QVERIFY(zeroId > 0 && movedId > 0);
        c.exec(QStringLiteral("INSERT INTO BLOQITEMHIST (CDRASTRITM, IDITMPEDOLBLOQ, DTEVENTO,"
                              " CDOPERADOR) VALUES (?, 'N', '2026-03-01 00:00:00', 'DEMO')"),
               {zeroId});
        const QString stockOf =
            QStringLiteral("SELECT E.QTRESERVADO FROM ESTOQUEOL E JOIN PEDIDOOLITEM I"
                           " ON E.CDFILIOPELOG = I.CDFILIOPELOG AND E.CDPRODUTO = I.CDPRODUTO"
                           " AND E.CDMARCA = I.CDMARCA WHERE I.CDRASTRITM = ?");
        const double zeroStock = scalar(c, stockOf, {zeroId}).toDouble();
        const double movedStock = scalar(c, stockOf, {movedId}).toDouble();
        const QStringList zeroRow = itemRow(c, zeroId), movedRow = itemRow(c, movedId);
        const auto [newProduct, newBrand] = freePair(c, movedId);
        const DataPacket loaded = items(c, {zeroId, movedId});
        const Cols f(loaded);
        const DataPacket delta =
            makeDelta(loaded, {0, 1}, [&](qsizetype r, std::vector<data::Column>& cur) {
                if (qint64(loaded.value(r, u"CDRASTRITM").toDouble()) == zeroId) {
                    col(cur, f.qty).setReal(r, 0);
                } else {
                    col(cur, f.product).setText(r, newProduct);
                    col(cur, f.brand).setText(r, newBrand);
                }
            });
        // Stocks as they were before, found again by the old keys.
        const QString stockAt = QStringLiteral(
            "SELECT QTRESERVADO FROM ESTOQUEOL WHERE CDFILIOPELOG = ? AND CDPRODUTO = ?"
            " AND CDMARCA = ?");
        const QVariantList zeroKey{loaded.value(rowOf(loaded, zeroId), u"CDFILIOPELOG"), zeroRow[1],
                                   zeroRow[4]};
        const QVariantList movedKey{loaded.value(rowOf(loaded, movedId), u"CDFILIOPELOG"),
                                    movedRow[1], movedRow[4]};
        QSqlQuery keyQuery =
            c.exec(QStringLiteral("SELECT CDARVPROD, CDPRODUTO, NMPRODUTO, NRPEDEXOL, CDFILLANC,"
                                  " CDFILDEST, DTPROGENPEOL, CDMARCA, CDFILIOPELOG, DTEMISPEDOL"
                                  " FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"),
                   {zeroId});
        QVERIFY(keyQuery.next());
        QVariantList line{990001};
        for (int i = 0; i < 10; ++i)
            line << keyQuery.value(i);
        const QVariant answer = save(s, delta, true);
        QVERIFY2(faultOf(answer).code.isEmpty(), qPrintable(faultOf(answer).message));

        QVERIFY(itemRow(c, zeroId).isEmpty());
        QCOMPARE(items(c, {zeroId}).rowCount(), 0);
        QCOMPARE(scalar(c,
                        QStringLiteral("SELECT COUNT(*) FROM RESERVAESTOL WHERE CDRASTRITM IN"
                                       " (?, ?)"),
                        {zeroId, movedId})
                     .toInt(),
                 0);
        QCOMPARE(scalar(c, stockAt, zeroKey).toDouble(), zeroStock - zeroRow[6].toDouble());
        QCOMPARE(scalar(c, stockAt, movedKey).toDouble(), movedStock - movedRow[6].toDouble());
        QCOMPARE(itemRow(c, movedId).value(6).toDouble(), 0.0);
        // The requests stay open, unlinked, with their quantity (0 is not passed on).
        QCOMPARE(scalar(c, QStringLiteral("SELECT COUNT(*) FROM SOLICOMPRA WHERE CDRASTRITM = ?"),
                        {zeroId})
                     .toInt(),
                 0);
        QVERIFY(scalar(c,
                       QStringLiteral("SELECT MIN(QTSOLICITADA) FROM SOLICOMPRA WHERE"
                                      " CDRASTRITM IS NULL AND IDSITUSOLIC = 'A'"
                                      " AND CDPRODUTO = ? AND QTSOLICITADA > 0"),
                       {zeroRow[1]})
                    .isValid());
        const QStringList rows = audit(c, QStringLiteral("PEDIDOOLITEM"), server::kDemoOperator);
        QVERIFY2(rows.contains(QStringLiteral("QTPROGENPEOL=%1>0").arg(zeroRow[0])) &&
                     rows.contains(u"*=excluído>"_s) &&
                     rows.contains(QStringLiteral("QTRESERVESTOL=%1>0").arg(movedRow[6])),
                 qPrintable(rows.join(u'|')));
        QCOMPARE(audit(c, QStringLiteral("RESERVAESTOL"), server::kDemoOperator).size(), 2);

        // The order line can be imported again under its key.
        c.exec(QStringLiteral("INSERT INTO PEDIDOOLITEM (CDRASTRITM, CDARVPROD, CDPRODUTO,"
                              " NMPRODUTO, NRPEDEXOL, CDFILLANC, CDFILDEST, DTPROGENPEOL, CDMARCA,"
                              " CDFILIOPELOG, DTEMISPEDOL, QTPROGENPEOL)"
                              " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 5)"),
               line);
        QCOMPARE(items(c, {990001}).rowCount(), 1);
    }

    // A delta sent twice (a retry after a lost answer) is applied once.
    void deltaAppliedOnce_data() { suptest::addDatabaseRows(); }
    void deltaAppliedOnce() {
        QFETCH(QString, db);
        SeededServer s(db);
        const qint64 id = firstId(*s.conn, QStringLiteral("1 = 1"));
        const DataPacket loaded = items(*s.conn, {id});
        const Cols f(loaded);
        const DataPacket delta = makeDelta(loaded, {0}, [&](qsizetype r, auto& cur) {
            col(cur, f.qty).setReal(r, col(cur, f.qty).real(r) + 7);
        });
        QVERIFY(faultOf(save(s, delta, true)).code.isEmpty());
        const QByteArray after = suptest::digest(*s.conn, kSavingTables);
        const contracts::ServerFault again = faultOf(save(s, delta, true));
        QCOMPARE(again.code, QStringLiteral("duplicate"));
        QVERIFY(again.message.contains(u"envio repetido"));
        QCOMPARE(suptest::digest(*s.conn, kSavingTables), after);
    }

    // Two users load the same items; the second save of an item the first one changed is
    // refused whole, naming the item with the loaded, sent and stored values.
    void secondUserIsToldWhatConflicts_data() { suptest::addDatabaseRows(); }
    void secondUserIsToldWhatConflicts() {
        QFETCH(QString, db);
        SeededServer s(db);
        const qint64 first = firstId(*s.conn, QStringLiteral("1 = 1"));
        const qint64 second = firstId(*s.conn, QStringLiteral("I.CDRASTRITM > %1").arg(first));
        const DataPacket loaded = items(*s.conn, {first, second}); // both users' load
        const Cols f(loaded);
        const qsizetype rowSecond = rowOf(loaded, second);
        const double loadedQty = loaded.value(rowSecond, u"QTPROGENPEOL").toDouble();

        const DataPacket one = makeDelta(
            loaded, {rowSecond}, [&](qsizetype r, auto& cur) { col(cur, f.qty).setReal(r, 111); });
        QVERIFY(faultOf(save(s, one, false, server::kManagerOperator)).code.isEmpty());
        const QByteArray stored = suptest::digest(*s.conn, kSavingTables);

        // The other user's delta: the first item changes cleanly, the second conflicts.
        const DataPacket two =
            makeDelta(loaded, {1 - rowSecond, rowSecond}, [&](qsizetype r, auto& cur) {
                col(cur, f.qty).setReal(r, r == 0 ? 5 : 222);
            });
        const contracts::ServerFault fault = faultOf(save(s, two));
        QCOMPARE(fault.code, QStringLiteral("conflict"));
        const QLocale br(QLocale::Portuguese, QLocale::Brazil);
        for (const QString& part :
             {QStringLiteral("Pedido ") + loaded.value(rowSecond, u"NRPEDEXOL").toString(),
              QStringLiteral("Destino ") + loaded.value(rowSecond, u"CDFILDEST").toString().left(4),
              QStringLiteral("Produto ") + loaded.value(rowSecond, u"CDPRODUTO").toString(),
              QStringLiteral("Qtde.: lido %1, enviado 222, atual 111")
                  .arg(br.toString(loadedQty, 'g', 15))})
            QVERIFY2(fault.message.contains(part), qPrintable(fault.message));
        QVERIFY(fault.message.contains(u"1 item(ns)"));
        QCOMPARE(suptest::digest(*s.conn, kSavingTables), stored);

        // After a reload the change goes through.
        const DataPacket reloaded = items(*s.conn, {second});
        QVERIFY(faultOf(save(s, makeDelta(reloaded, {0},
                                          [&](qsizetype r, auto& cur) {
                                              col(cur, f.qty).setReal(r, 222);
                                          })))
                    .code.isEmpty());
        QCOMPARE(itemRow(*s.conn, second).value(0).toDouble(), 222.0);

        // Both users give one item another brand: the second is told the brand stored now (the
        // item is not reported as removed although its key changed).
        const qint64 third = firstId(
            *s.conn, QStringLiteral("(SELECT COUNT(*) FROM PRODMARCA B WHERE B.CDPRODUTO ="
                                    " I.CDPRODUTO AND NOT EXISTS (SELECT 1 FROM PEDIDOOLITEM O"
                                    " WHERE O.CDFILDEST = I.CDFILDEST AND O.CDFILLANC ="
                                    " I.CDFILLANC AND O.NRPEDEXOL = I.NRPEDEXOL AND O.CDPRODUTO"
                                    " = B.CDPRODUTO AND O.CDMARCA = B.CDMARCA)) >= 2"));
        QVERIFY(third > 0);
        const DataPacket both = items(*s.conn, {third});
        const QString firstBrand = otherBrand(*s.conn, third);
        QVERIFY(faultOf(save(s,
                             makeDelta(both, {0},
                                       [&](qsizetype r, auto& cur) {
                                           col(cur, f.brand).setText(r, firstBrand);
                                       }),
                             false, server::kManagerOperator))
                    .code.isEmpty());
        const QString secondBrand =
            s.conn
                ->scalar(QStringLiteral("SELECT MIN(B.CDMARCA) FROM PRODMARCA B JOIN PEDIDOOLITEM I"
                                        " ON I.CDRASTRITM = ? AND B.CDPRODUTO = I.CDPRODUTO"
                                        " WHERE B.CDMARCA NOT IN (?, ?) AND NOT EXISTS (SELECT 1"
                                        " FROM PEDIDOOLITEM O WHERE O.CDFILDEST = I.CDFILDEST"
                                        " AND O.CDFILLANC = I.CDFILLANC AND O.NRPEDEXOL ="
                                        " I.NRPEDEXOL AND O.CDPRODUTO = B.CDPRODUTO"
                                        " AND O.CDMARCA = B.CDMARCA)"),
                         {third, firstBrand, both.value(0, u"CDMARCA")})
                .toString();
        const contracts::ServerFault brandFault =
            faultOf(save(s, makeDelta(both, {0}, [&](qsizetype r, auto& cur) {
                             col(cur, f.brand).setText(r, secondBrand);
                         })));
        QCOMPARE(brandFault.code, QStringLiteral("conflict"));
        QVERIFY2(brandFault.message.contains(
                     QStringLiteral("Marca: lido %1, enviado %2, atual %3")
                         .arg(both.value(0, u"CDMARCA").toString(), secondBrand, firstBrand)),
                 qPrintable(brandFault.message));
        QVERIFY(!brandFault.message.contains(u"excluído por outro usuário"));
    }

    // Two items of one order, branches and date never end with the same product and brand.
    void duplicatesAreRefused_data() { suptest::addDatabaseRows(); }
    void duplicatesAreRefused() {
        QFETCH(QString, db);
        SeededServer s(db);
        const sql::Connection& c = *s.conn;
        QSqlQuery q =
            c.exec(QStringLiteral("SELECT MIN(I.CDRASTRITM), MAX(I.CDRASTRITM) FROM PEDIDOOLITEM I"
                                  " WHERE I.IDSITUITEM = 'A' AND I.IDITMPEDOLBLOQ = 'N'"
                                  " GROUP BY I.CDFILDEST, I.CDFILLANC, I.NRPEDEXOL, I.DTPROGENPEOL"
                                  " HAVING COUNT(*) >= 3 ORDER BY 1"));
        QVERIFY(q.next());
        const qint64 a = q.value(0).toLongLong(), b = q.value(1).toLongLong();
        const DataPacket loaded = items(c, {a, b});
        const Cols f(loaded);
        const QByteArray before = suptest::digest(c, kSavingTables);
        const QString productB = loaded.value(rowOf(loaded, b), u"CDPRODUTO").toString();
        const QString brandB = loaded.value(rowOf(loaded, b), u"CDMARCA").toString();

        // Onto a stored item of the same order.
        const contracts::ServerFault stored =
            faultOf(save(s, makeDelta(loaded, {rowOf(loaded, a)}, [&](qsizetype r, auto& cur) {
                             col(cur, f.product).setText(r, productB);
                             col(cur, f.brand).setText(r, brandB);
                         })));
        QVERIFY2(stored.message.startsWith(u"Item de Pedido já cadastrado"),
                 qPrintable(stored.message));
        QVERIFY(stored.message.contains(QStringLiteral("Produto ") + productB));

        // Two items of the delta onto one new product and brand.
        const auto [p, m] = freePair(c, a);
        const contracts::ServerFault both =
            faultOf(save(s, makeDelta(loaded, {0, 1}, [&](qsizetype r, auto& cur) {
                             col(cur, f.product).setText(r, p);
                             col(cur, f.brand).setText(r, m);
                         })));
        QVERIFY2(both.message.startsWith(u"Item de Pedido já cadastrado"),
                 qPrintable(both.message));
        QCOMPARE(suptest::digest(c, kSavingTables), before);
    }

    // What a hostile or careless client may send: marks only pass and write nothing; a field
    // this method does not change, an item outside the operator's branches, a blocked item's
    // product without authorisation, the product together with the quantity, an unknown
    // product and both closing flags at once are refused with nothing written.
    void refusalsAndMarks_data() { suptest::addDatabaseRows(); }
    void refusalsAndMarks() {
        QFETCH(QString, db);
        SeededServer s(db);
        const sql::Connection& c = *s.conn;
        const qint64 id = firstId(c, QStringLiteral("1 = 1"));
        const DataPacket loaded = items(c, {id});
        const Cols f(loaded);
        const QByteArray before =
            suptest::digest(c, {QStringLiteral("PEDIDOOLITEM"), QStringLiteral("AUDITORIA")});
        QVERIFY(faultOf(save(s, makeDelta(loaded, {0},
                                          [&](qsizetype r, auto& cur) {
                                              col(cur, f.calc).setText(r, u"S");
                                              col(cur, f.changed).setText(r, u"S");
                                          })))
                    .code.isEmpty());
        QCOMPARE(suptest::digest(c, {QStringLiteral("PEDIDOOLITEM"), QStringLiteral("AUDITORIA")}),
                 before);

        const QByteArray all = suptest::digest(c, kSavingTables);
        auto refused = [&](const QVariant& answer, const char* code, const char* text) {
            const contracts::ServerFault fault = faultOf(answer);
            const bool ok = fault.code == QString::fromLatin1(code) &&
                            fault.message.contains(QString::fromUtf8(text));
            if (!ok)
                qWarning() << fault.code << fault.message;
            return ok && suptest::digest(c, kSavingTables) == all;
        };
        const auto [newProduct, newBrand] = freePair(c, id);
        QVERIFY(refused(save(s, makeDelta(loaded, {0},
                                          [&](qsizetype r, auto& cur) {
                                              col(cur, f.batch).setText(r, u"0000000001");
                                          })),
                        "args", "O campo CDLOTENVITOL não pode ser alterado"));
        QVERIFY(refused(save(s, makeDelta(loaded, {0},
                                          [&](qsizetype r, auto& cur) {
                                              col(cur, f.qty).setReal(r, 1);
                                              col(cur, f.product).setText(r, newProduct);
                                              col(cur, f.brand).setText(r, newBrand);
                                          })),
                        "business", "alterar o código e a quantidade"));
        QVERIFY(refused(save(s, makeDelta(loaded, {0},
                                          [&](qsizetype r, auto& cur) {
                                              col(cur, f.product).setText(r, u"XYZ");
                                          })),
                        "business", "Produto XYZ não cadastrado"));
        QVERIFY(refused(
            save(s, makeDelta(loaded, {0},
                              [&](qsizetype r, auto& cur) { col(cur, f.qty).setReal(r, -1); })),
            "business", "maior ou igual a zero"));
        QVERIFY(refused(save(s, makeDelta(loaded, {0}, [](qsizetype, auto&) {}), false,
                             server::kDemoOperator, u"S"_s, u"S"_s),
                        "args", "não podem ser pedidas juntas"));

        // COMPRAS1 works on the stores of two regions, with no group authorisation.
        const qint64 foreign =
            firstId(c, QStringLiteral("NOT EXISTS (SELECT 1 FROM FILIOPER O WHERE"
                                      " O.CDOPERADOR = 'COMPRAS1' AND O.CDFILIAL = I.CDFILDEST)"));
        const DataPacket other = items(c, {foreign});
        QVERIFY(
            refused(save(s,
                         makeDelta(other, {0},
                                   [&](qsizetype r, auto& cur) { col(cur, f.qty).setReal(r, 3); }),
                         false, server::kPlainOperator),
                    "scope", "não pertence às filiais do operador COMPRAS1"));
        const QVariant blocked = c.scalar(
            QStringLiteral("SELECT MIN(I.CDRASTRITM) FROM PEDIDOOLITEM I WHERE IDSITUITEM = 'A'"
                           " AND IDITMPEDOLBLOQ = 'S' AND EXISTS (SELECT 1 FROM FILIOPER O WHERE"
                           " O.CDOPERADOR = 'COMPRAS1' AND O.CDFILIAL = I.CDFILDEST)"));
        QVERIFY(!blocked.isNull());
        const DataPacket blockedItem = items(c, {blocked.toLongLong()});
        const auto [bp, bm] = freePair(c, blocked.toLongLong());
        auto blockedDelta = [&] {
            return makeDelta(blockedItem, {0}, [&](qsizetype r, auto& cur) {
                col(cur, f.product).setText(r, bp);
                col(cur, f.brand).setText(r, bm);
            });
        };
        QVERIFY(refused(save(s, blockedDelta(), false, server::kPlainOperator), "business",
                        "Item do pedido do OL está bloqueado"));
        // With group authorisation the blocked item takes the new product.
        QVERIFY(faultOf(save(s, blockedDelta())).code.isEmpty());
        QCOMPARE(itemRow(c, blocked.toLongLong()).value(1), bp);
    }

    // The OL's products with their free stock, in the picker's fields; an unknown restriction is
    // refused.
    void olProducts_data() { suptest::addDatabaseRows(); }
    void olProducts() {
        QFETCH(QString, db);
        SeededServer s(db);
        const sql::Connection& c = *s.conn;
        const QString ol =
            c.scalar(QStringLiteral("SELECT MIN(CDFILIOPELOG) FROM ESTOQUEOL")).toString();
        QSqlQuery q = c.exec(
            QStringLiteral("SELECT E.CDPRODUTO, E.CDMARCA FROM ESTOQUEOL E JOIN PRODRELACOL R"
                           " ON R.CDFILIOPELOG = E.CDFILIOPELOG AND R.CDPRODUTO = E.CDPRODUTO"
                           " WHERE E.CDFILIOPELOG = ? ORDER BY 1, 2"),
            {ol});
        QVERIFY(q.next());
        const QString product = q.value(0).toString(), brand = q.value(1).toString();
        s.conn->exec(QStringLiteral("UPDATE ESTOQUEOL SET QTSALDO = 1300, QTRESERVADO = 65.5"
                                    " WHERE CDFILIOPELOG = ? AND CDPRODUTO = ? AND CDMARCA = ?"),
                     {ol, product, brand});
        auto call = [&](const QString& restriction, const QString& olArg) {
            return s.call(QStringLiteral("GetPesqProduto"),
                          {olArg, QString(), QString(), restriction, QString()});
        };
        const DataPacket p = call(u"0"_s, ol).value<DataPacket>();
        QVERIFY(p.fields() == contracts::pesqProdutoFields());
        // One row per product related to the OL and brand it is bought in, plus the free
        // stock the OL holds without a relationship.
        const int expected =
            c.scalar(QStringLiteral(
                         "SELECT COUNT(*) FROM (SELECT B.CDPRODUTO, B.CDMARCA FROM PRODRELACOL R"
                         " JOIN PRODMARCA B ON B.CDPRODUTO = R.CDPRODUTO WHERE R.CDFILIOPELOG = ?"
                         " UNION SELECT CDPRODUTO, CDMARCA FROM ESTOQUEOL WHERE CDFILIOPELOG = ?"
                         " AND QTSALDO > QTRESERVADO) X JOIN PRODUTO P ON P.CDPRODUTO = X.CDPRODUTO"
                         " WHERE P.CDPRODESTO IS NOT NULL"),
                     {ol, ol})
                .toInt();
        QCOMPARE(p.rowCount(), qsizetype(expected));
        QHash<QString, double> freeStock;
        QSqlQuery st = c.exec(QStringLiteral("SELECT CDPRODUTO, CDMARCA, QTSALDO - QTRESERVADO"
                                             " FROM ESTOQUEOL WHERE CDFILIOPELOG = ?"),
                              {ol});
        while (st.next())
            freeStock.insert(st.value(0).toString() + u'|' + st.value(1).toString(),
                             st.value(2).toDouble());
        bool seen = false;
        for (qsizetype r = 0; r < p.rowCount(); ++r) {
            const double free = freeStock.value(p.value(r, u"CDPRODUTO").toString() + u'|' +
                                                p.value(r, u"CDMARCA").toString());
            QCOMPARE(p.value(r, u"EST_DISP").toDouble(), free);
            QCOMPARE(p.value(r, u"EST_DISP_ST").toString(),
                     data::formatNumber(free, u"###,##0.000"));
            QVERIFY(!p.value(r, u"CDPRODARVOL").toString().isEmpty());
            if (p.value(r, u"CDPRODUTO").toString() == product &&
                p.value(r, u"CDMARCA").toString() == brand) {
                seen = true;
                QCOMPARE(p.value(r, u"EST_DISP").toDouble(), 1234.5);
                QCOMPARE(p.value(r, u"EST_DISP_ST").toString(), QStringLiteral("1.234,500"));
                QCOMPARE(p.value(r, u"CDARVPROD").toString(),
                         c.scalar(QStringLiteral("SELECT CDARVPROD FROM PRODUTO WHERE"
                                                 " CDPRODUTO = ?"),
                                  {product})
                             .toString());
                QCOMPARE(p.value(r, u"CDPRODARVOL").toString(),
                         c.scalar(QStringLiteral("SELECT CDPRODARVOL FROM PRODRELACOL WHERE"
                                                 " CDFILIOPELOG = ? AND CDPRODUTO = ?"),
                                  {ol, product})
                             .toString());
            }
        }
        QVERIFY(seen);
        QCOMPARE(call(u"0"_s, u"9999"_s).value<DataPacket>().rowCount(), 0);
        QCOMPARE(faultOf(call(u"0"_s, QString())).code, QStringLiteral("args"));
        QCOMPARE(faultOf(call(u"3"_s, ol)).code, QStringLiteral("args"));
    }

    // 10,000 changed items in one save, the requests following: all written, timed.
    void tenThousandItems_data() { suptest::addDatabaseRows(); }
    void tenThousandItems() {
        QFETCH(QString, db);
        SeededServer s(db, 10600);
        const DataPacket loaded = server::selectItems(*s.conn);
        QVERIFY(loaded.rowCount() >= 10000);
        const Cols f(loaded);
        QList<qsizetype> rows;
        for (qsizetype r = 0; r < 10000; ++r)
            rows << r;
        const DataPacket delta = makeDelta(loaded, rows, [&](qsizetype r, auto& cur) {
            col(cur, f.qty).setReal(r, 1000 + double(r));
        });
        QElapsedTimer t;
        t.start();
        const QVariant answer = save(s, delta, true);
        const qint64 ms = t.elapsed();
        QVERIFY2(faultOf(answer).code.isEmpty(), qPrintable(faultOf(answer).message));
        qInfo("%s: 10,000 changed items saved in %lld ms", qPrintable(db), ms);
        QCOMPARE(s.conn
                     ->scalar(QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE"
                                             " QTPROGENPEOL >= 1000"))
                     .toInt(),
                 10000);
        QCOMPARE(s.conn
                     ->scalar(QStringLiteral("SELECT COUNT(*) FROM SOLICOMPRA S JOIN PEDIDOOLITEM I"
                                             " ON I.CDRASTRITM = S.CDRASTRITM WHERE"
                                             " S.QTSOLICITADA <> I.QTPROGENPEOL AND"
                                             " I.QTPROGENPEOL >= 1000 AND S.IDSITUSOLIC = 'A'"))
                     .toInt(),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestSaving)
#include "tst_saving.moc"
