// An item's history (GetHistItem) through the dispatch, on SQLite and PostgreSQL: the changes
// other methods audited for the item, newest first, with their operator, and nothing of the
// other items of its order, also when items trade keys with each other.

#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/contracts/SelectedItems.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/server/Items.h"

#include <QSqlQuery>
#include <QTest>

#include <functional>

using namespace sup;
using namespace Qt::StringLiterals;
using data::DataPacket;
using suptest::makeDelta;
using suptest::SeededServer;

namespace {

DataPacket items(const sql::Connection& c, const QList<qint64>& ids) {
    QStringList list;
    for (qint64 id : ids)
        list << QString::number(id);
    return server::selectItems(c, u"I.CDRASTRITM IN (%1)"_s.arg(list.join(u',')));
}

// A request of the operations on marked items for one item, in the fields of `f`; `extra`
// fills what is not the item's.
DataPacket request(const sql::Connection& c, qint64 id, const data::FieldDefs& f,
                   const std::function<void(data::DataPacketBuilder&)>& extra) {
    const DataPacket loaded = items(c, {id});
    data::DataPacketBuilder b(f);
    for (int i = 0; i < f.size(); ++i) {
        const int from = loaded.indexOf(f[i].name);
        if (from < 0)
            b.column(i).appendNull();
        else if (f[i].name == u"CDFILDEST")
            b.column(i).appendText(loaded.column(from).text(0).left(4));
        else
            b.column(i).appendCell(loaded.column(from), 0);
    }
    extra(b);
    return b.finish();
}

QString fault(const QVariant& answer) {
    return contracts::faultOf(answer).message;
}

// Two open items of one new order of a store that reserves, with the product (bought in three
// brands at least) and brand of a seeded item that its OL holds 20 of free, 10 each, delivered
// on consecutive days.
QList<qint64> twoItemsOfOneOrder(sql::Connection& c) {
    const qint64 source =
        c.scalar(u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM I WHERE IDSITUITEM = 'A'"
                 " AND IDITEMAJUSTE = 'N' AND IDUTRESPEDEXOL = 'S' AND IDITMPEDOLBLOQ = 'N'"
                 " AND QTRESERVESTOL = 0 AND (SELECT COUNT(*) FROM PRODMARCA B"
                 " WHERE B.CDPRODUTO = I.CDPRODUTO) >= 3"_s)
            .toLongLong();
    QList<qint64> out;
    for (int i = 0; i < 2; ++i) {
        const qint64 id = 910000 + i;
        c.exec(u"INSERT INTO PEDIDOOLITEM (CDRASTRITM, CDARVPROD, CDPRODUTO, NMPRODUTO, SGUNIDADE,"
               " CDPRODESTO, QTPROGENPEOL, NRPEDEXOL, CDFILLANC, CDFILDEST, DTPROGENPEOL,"
               " DTPROGEMBARQ, NMMARCA, CDMARCA, CDFILIOPELOG, IDUTRESPEDEXOL, DTEMISPEDOL)"
               " SELECT ?, CDARVPROD, CDPRODUTO, NMPRODUTO, SGUNIDADE, CDPRODESTO, 10, ?,"
               " CDFILLANC, CDFILDEST, DTPROGENPEOL, DTPROGEMBARQ, NMMARCA, CDMARCA,"
               " CDFILIOPELOG, 'S', DTEMISPEDOL FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"_s,
               {id, u"H%1"_s.arg(i), source});
        // Then into one order, the second a day later.
        if (i > 0)
            c.exec(u"UPDATE PEDIDOOLITEM SET NRPEDEXOL = 'H0', DTPROGENPEOL = %1"
                   " WHERE CDRASTRITM = ?"_s.arg(c.dialect() == sql::Dialect::PostgreSQL
                                                     ? u"DTPROGENPEOL + interval '1 day'"_s
                                                     : u"datetime(DTPROGENPEOL, '+1 day')"_s),
                   {id});
        out << id;
    }
    c.exec(u"INSERT INTO ESTOQUEOL (CDFILIOPELOG, CDPRODUTO, CDMARCA, QTSALDO, QTRESERVADO)"
           " SELECT CDFILIOPELOG, CDPRODUTO, CDMARCA, 0, 0 FROM PEDIDOOLITEM"
           " WHERE CDRASTRITM = ? ON CONFLICT DO NOTHING"_s,
           {source});
    c.exec(u"UPDATE ESTOQUEOL SET QTSALDO = QTRESERVADO + 20 WHERE EXISTS (SELECT 1 FROM"
           " PEDIDOOLITEM I WHERE I.CDRASTRITM = ? AND I.CDFILIOPELOG = ESTOQUEOL.CDFILIOPELOG"
           " AND I.CDPRODUTO = ESTOQUEOL.CDPRODUTO AND I.CDMARCA = ESTOQUEOL.CDMARCA)"_s,
           {source});
    return out;
}

// Saves one item's new quantity and/or brand as the grid does.
QVariant save(SeededServer& s, qint64 id, const QString& op, double qty,
              const QString& brand = {}) {
    const DataPacket loaded = items(*s.conn, {id});
    const DataPacket delta = makeDelta(loaded, {0}, [&](qsizetype r, auto& cur) {
        cur[std::size_t(loaded.indexOf(u"ALTERADO"))].setText(r, u"S");
        if (qty > 0)
            cur[std::size_t(loaded.indexOf(u"QTPROGENPEOL"))].setReal(r, qty);
        if (!brand.isEmpty())
            cur[std::size_t(loaded.indexOf(u"CDMARCA"))].setText(r, brand);
    });
    return s.call(u"UpdItemPedidoOL"_s,
                  {QVariant::fromValue(delta), u"N"_s, u"N"_s, op, false, u"Ajuste do fornecedor"_s,
                   u"Remanejamento OL para ED"_s},
                  server::kModuleAltPedidosOL, op);
}

QVariant block(SeededServer& s, qint64 id, const QString& op) {
    const data::FieldDefs f = contracts::bloqItemFields();
    const int flag = data::indexOfField(f, u"IDITMPEDOLBLOQ"_s);
    return s.call(u"SetBloqItem"_s,
                  {QVariant::fromValue(
                       request(*s.conn, id, f, [&](auto& b) { b.column(flag).setText(0, u"S"); })),
                   op},
                  server::kModuleAltPedidosOL, op);
}

QVariant reserve(SeededServer& s, qint64 id, double qty, const QString& op) {
    const data::FieldDefs f = contracts::reservaFields();
    const int operation = data::indexOfField(f, u"OPERACAO"_s);
    const int asked = data::indexOfField(f, u"QTRESERVESTOL"_s);
    return s.call(u"SetReserva"_s,
                  {QVariant::fromValue(request(*s.conn, id, f,
                                               [&](auto& b) {
                                                   b.column(operation).setText(0, u"I");
                                                   b.column(asked).setReal(0, qty);
                                               }))},
                  server::kModuleAltPedidosOL, op);
}

// The history of an item as "operator|name|operation|field|old>new", newest first.
QStringList history(SeededServer& s, qint64 id, const QString& op = server::kDemoOperator) {
    const QVariant answer = s.call(u"GetHistItem"_s, {double(id)}, server::kModuleAltPedidosOL, op);
    if (!fault(answer).isEmpty())
        return {u"fault: "_s + fault(answer)};
    const DataPacket p = answer.value<DataPacket>();
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        auto v = [&](const char16_t* f) {
            return p.value(r, f).toString();
        };
        out << u"%1|%2|%3|%4|%5>%6"_s.arg(v(u"CDOPERADOR"), v(u"NMOPERADOR"), v(u"DSOPERACAO"),
                                          v(u"NMCAMPO"), v(u"DSVALORANT"), v(u"DSVALORNOVO"));
    }
    return out;
}

QString operatorName(const sql::Connection& c, const QString& op) {
    return c.scalar(u"SELECT NMOPERADOR FROM OPERADOR WHERE CDOPERADOR = ?"_s, {op}).toString();
}

// Another brand of the item's product, not held by any item of its order.
QString freeBrand(const sql::Connection& c, qint64 id, const QStringList& besides = {}) {
    QSqlQuery q = c.exec(u"SELECT B.CDMARCA FROM PRODMARCA B JOIN PEDIDOOLITEM I"
                         " ON I.CDRASTRITM = ? AND B.CDPRODUTO = I.CDPRODUTO"
                         " WHERE NOT EXISTS (SELECT 1 FROM PEDIDOOLITEM O"
                         " WHERE O.CDFILDEST = I.CDFILDEST AND O.CDFILLANC = I.CDFILLANC"
                         " AND O.NRPEDEXOL = I.NRPEDEXOL AND O.CDPRODUTO = B.CDPRODUTO"
                         " AND O.CDMARCA = B.CDMARCA) ORDER BY B.CDMARCA"_s,
                         {id});
    while (q.next())
        if (!besides.contains(q.value(0).toString()))
            return q.value(0).toString();
    return {};
}

QString stored(const sql::Connection& c, const char* column, qint64 id) {
    return c
        .scalar(u"SELECT %1 FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"_s.arg(QLatin1String(column)),
                {id})
        .toString();
}

// The automatic alteration of one item's delivery date to `day`, by an operator the purchase
// calendar does not bind.
QVariant alterDate(SeededServer& s, qint64 id, const QDate& day) {
    const DataPacket p = items(*s.conn, {id});
    const QVariantList selected =
        contracts::SelectedItems::gather(
            [&](QStringView f) -> const data::Column& { return p.column(p.indexOf(f)); }, {0},
            server::kManagerOperator)
            .toList();
    const QString op = server::kManagerOperator;
    return s.call(u"AltAtuItem"_s,
                  {selected,  false,     false,     true,      day,
                   0.0,       QString(), 0.0,       0.0,       u"Recusa %s %s"_s,
                   false,     QString(), false,     op,        u"Entrega antecipada"_s,
                   u"0001"_s, 0.0,       QString(), QString(), QString(),
                   u"N"_s},
                  server::kModuleAltPedidosOL, op);
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    // A save by one operator, a reservation and a block by another: the item's rows, newest
    // first, each with its own operator and name, the reservation also as the OL stock's row;
    // the other item of the order changed in between shows in its own history only.
    void listsTheItemsChangesNewestFirst_data() { suptest::addDatabaseRows(); }
    void listsTheItemsChangesNewestFirst() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        const QList<qint64> ids = twoItemsOfOneOrder(c);
        const qint64 a = ids[0], b = ids[1];
        QCOMPARE(history(s, a), QStringList{});

        const QString manager = server::kManagerOperator, demo = server::kDemoOperator;
        QCOMPARE(fault(save(s, a, manager, 8)), QString());
        QCOMPARE(fault(save(s, b, demo, 7)), QString());
        QCOMPARE(fault(reserve(s, a, 5, demo)), QString());
        QCOMPARE(fault(block(s, a, demo)), QString());

        const QString m = operatorName(c, manager), d = operatorName(c, demo);
        QVERIFY(!m.isEmpty() && !d.isEmpty());
        QCOMPARE(history(s, a),
                 (QStringList{u"DEMO|%1|Bloqueio|IDITMPEDOLBLOQ|Desbloqueado>Bloqueado"_s.arg(d),
                              u"DEMO|%1|Reserva de estoque|QTRESERVESTOL|0,000>5,000"_s.arg(d),
                              u"DEMO|%1|Reserva de estoque|QTRESERVADA|0,000>5,000"_s.arg(d),
                              u"GERENTE1|%1|Alteração do item: Ajuste do fornecedor|QTPROGENPEOL|"
                              "10,000>8,000"_s.arg(m)}));
        QCOMPARE(history(s, b),
                 QStringList{u"DEMO|%1|Alteração do item: Ajuste do fornecedor|QTPROGENPEOL|"
                             "10,000>7,000"_s.arg(d)});

        // Newest first by the log's order, and the time of each row.
        const DataPacket p = s.call(u"GetHistItem"_s, {double(a)}).value<DataPacket>();
        QVERIFY(p.value(0, u"DTEVENTO").toDateTime().isValid());
        QVERIFY(p.value(0, u"NRSEQAUDIT").toLongLong() > p.value(3, u"NRSEQAUDIT").toLongLong());

        // An item that no longer exists, and one outside the branches of an operator bound to
        // them, are refused with the reason.
        QVERIFY(fault(s.call(u"GetHistItem"_s, {999999.0})).contains(u"não existe mais"));
        if (stored(c, "CDFILDEST", a) != u"0012")
            QVERIFY(history(s, a, server::kBranchOperator)
                        .value(0)
                        .contains(u"não pertence às filiais do operador LOJA0012"));
    }

    // An item's brand changes, another item of the order takes the key it left, then the first
    // one's delivery date moves (the automatic alteration): each history follows its own item
    // through its keys and keeps the other's rows out.
    void followsTheItemThroughItsKeys_data() { suptest::addDatabaseRows(); }
    void followsTheItemThroughItsKeys() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        // Same product, brand and order; the second item one day later is moved to the same
        // day under another brand first, so that the two share everything but the brand.
        const QList<qint64> ids = twoItemsOfOneOrder(c);
        const qint64 a = ids[0], b = ids[1];
        const QString first = stored(c, "CDMARCA", a);
        const QString second = freeBrand(c, a);
        QVERIFY2(!second.isEmpty(), "the product has one brand only");
        c.exec(u"UPDATE PEDIDOOLITEM SET CDMARCA = ?, DTPROGENPEOL = (SELECT DTPROGENPEOL FROM"
               " PEDIDOOLITEM WHERE CDRASTRITM = ?) WHERE CDRASTRITM = ?"_s,
               {second, a, b});
        const QString third = freeBrand(c, a, {first, second});
        QVERIFY2(!third.isEmpty(), "the product has two brands only");

        const QDate day = QDate::fromString(stored(c, "DTPROGENPEOL", a).left(10), Qt::ISODate);

        const QString demo = server::kDemoOperator;
        QCOMPARE(fault(save(s, a, demo, 9)), QString());              // a under its first key
        QCOMPARE(fault(save(s, a, demo, 0, third)), QString());       // a leaves the first key
        QCOMPARE(fault(save(s, b, demo, 0, first)), QString());       // b takes it
        QCOMPARE(fault(block(s, b, demo)), QString());                // b under a's old key
        QCOMPARE(fault(alterDate(s, a, day.addDays(14))), QString()); // a's third key
        QCOMPARE(fault(save(s, a, demo, 6)), QString());

        // (the shipping date moves with the delivery date)
        auto fields = [&](qint64 id) {
            QStringList out;
            for (const QString& row : history(s, id))
                if (!row.contains(u"DTPROGEMBARQ"))
                    out << row.section(u'|', 3);
            return out;
        };
        const QString f = u"dd/MM/yyyy"_s;
        QCOMPARE(
            fields(a),
            (QStringList{u"QTPROGENPEOL|9,000>6,000"_s,
                         u"DTPROGENPEOL|%1>%2"_s.arg(day.toString(f), day.addDays(14).toString(f)),
                         u"CDMARCA|%1>%2"_s.arg(first, third), u"QTPROGENPEOL|10,000>9,000"_s}));
        QCOMPARE(history(s, a).value(1).section(u'|', 0, 2),
                 u"GERENTE1|%1|Alteração automática: Entrega antecipada"_s.arg(
                     operatorName(c, server::kManagerOperator)));
        QCOMPARE(fields(b), (QStringList{u"IDITMPEDOLBLOQ|Desbloqueado>Bloqueado"_s,
                                         u"CDMARCA|%1>%2"_s.arg(second, first)}));
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
