// Operations on marked items through the dispatch, on SQLite and PostgreSQL: blocking
// (SetBloqItem), write-off and direct delivery (UpdItemPedidoOL with either flag), OL stock
// reservation (SetReserva), each read back from the items, the blocking history, the stock and
// the reservations; conflicts and refusals with nothing written; reservations of several users
// at once never passing the stock; write calls over HTTP applied once when their answer is lost.

#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/net/NetConnection.h"
#include "sup/server/HttpServer.h"
#include "sup/server/Items.h"

#include <QDate>
#include <QDateTime>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cmath>
#include <functional>
#include <latch>
#include <thread>

using namespace sup;
using namespace Qt::StringLiterals;
using data::DataPacket;
using suptest::field;
using suptest::makeDelta;
using suptest::SeededServer;

namespace {

const QStringList kTables = {u"PEDIDOOLITEM"_s, u"AUDITORIA"_s, u"DELTAAPLICADO"_s,
                             u"RESERVAESTOL"_s, u"ESTOQUEOL"_s, u"BLOQITEMHIST"_s,
                             u"SOLICOMPRA"_s};

DataPacket items(const sql::Connection& c, const QList<qint64>& ids) {
    QStringList list;
    for (qint64 id : ids)
        list << QString::number(id);
    return server::selectItems(c, u"I.CDRASTRITM IN (%1)"_s.arg(list.join(u',')));
}

// The request rows of some items in the fields of a request set, destination cut to its code;
// `extra` sets the fields that are not the item's.
DataPacket request(const sql::Connection& c, const QList<qint64>& ids, const data::FieldDefs& f,
                   const std::function<void(qsizetype, data::DataPacketBuilder&)>& extra) {
    const DataPacket loaded = items(c, ids);
    data::DataPacketBuilder b(f);
    for (qsizetype r = 0; r < loaded.rowCount(); ++r) {
        for (int i = 0; i < f.size(); ++i) {
            const int from = loaded.indexOf(f[i].name);
            if (from < 0)
                b.column(i).appendNull();
            else if (f[i].name == u"CDFILDEST")
                b.column(i).appendText(loaded.column(from).text(r).left(4));
            else
                b.column(i).appendCell(loaded.column(from), r);
        }
        extra(r, b);
    }
    return b.finish();
}

DataPacket blockRequest(const sql::Connection& c, const QList<qint64>& ids, const QString& to) {
    const data::FieldDefs f = contracts::bloqItemFields();
    const int flag = data::indexOfField(f, u"IDITMPEDOLBLOQ"_s);
    return request(c, ids, f,
                   [&](qsizetype r, data::DataPacketBuilder& b) { b.column(flag).setText(r, to); });
}

// Inclusion asks for the item's quantity, exclusion gives back what it holds (as loaded).
DataPacket reserveRequest(const sql::Connection& c, const QList<qint64>& ids,
                          const QString& operation) {
    const data::FieldDefs f = contracts::reservaFields();
    const int op = data::indexOfField(f, u"OPERACAO"_s);
    const int asked = data::indexOfField(f, u"QTRESERVESTOL"_s);
    const int qty = data::indexOfField(f, u"QTPROGENPEOL"_s);
    return request(c, ids, f, [&](qsizetype r, data::DataPacketBuilder& b) {
        b.column(op).setText(r, operation);
        if (operation == u"I")
            b.column(asked).setReal(r, b.column(qty).real(r));
    });
}

contracts::ServerFault faultOf(const QVariant& v) {
    return contracts::faultOf(v);
}

QVariant call(SeededServer& s, const QString& method, const QVariantList& args,
              const QString& op = server::kDemoOperator) {
    return s.call(method, args, server::kModuleAltPedidosOL, op);
}

QVariant closeItems(SeededServer& s, const DataPacket& delta, bool writeOff,
                    const QString& op = server::kDemoOperator) {
    return call(s, u"UpdItemPedidoOL"_s,
                {QVariant::fromValue(delta), writeOff ? u"S"_s : u"N"_s, writeOff ? u"N"_s : u"S"_s,
                 op, 3, u"Alteração do Pedido OL."_s, u"Remanejamento OL para ED"_s},
                op);
}

QList<qint64> openItems(const sql::Connection& c, const QString& where, int n) {
    QSqlQuery q = c.exec(u"SELECT I.CDRASTRITM FROM PEDIDOOLITEM I WHERE I.IDSITUITEM = 'A'"
                         " AND I.IDITEMAJUSTE = 'N' AND %1 ORDER BY I.CDRASTRITM"_s.arg(where));
    QList<qint64> out;
    while (out.size() < n && q.next())
        out << q.value(0).toLongLong();
    return out;
}

QVariant value(const sql::Connection& c, const QString& column, qint64 id) {
    return c.scalar(u"SELECT %1 FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"_s.arg(column), {id});
}

QDate dayOf(const QVariant& v) {
    return v.typeId() == QMetaType::QDateTime
               ? v.toDateTime().date()
               : QDate::fromString(v.toString().left(10), u"yyyy-MM-dd"_s);
}

qsizetype rowOf(const DataPacket& p, qint64 id) {
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        if (qint64(p.value(r, u"CDRASTRITM").toDouble()) == id)
            return r;
    return -1;
}

double reservedRows(const sql::Connection& c, qint64 id) {
    return c
        .scalar(u"SELECT COALESCE(SUM(QTRESERVADA), 0) FROM RESERVAESTOL WHERE CDRASTRITM = ?"_s,
                {id})
        .toDouble();
}

// Audit rows of a method, "field=old>new" (with "/reason" when there is one).
QStringList audit(const sql::Connection& c, const QString& method, const QString& table) {
    QSqlQuery q = c.exec(u"SELECT NMCAMPO, DSVALORANT, DSVALORNOVO, DSMOTIVO, CDOPERADOR"
                         " FROM AUDITORIA WHERE NMMETODO = ? AND NMTABELA = ?"
                         " ORDER BY NRSEQAUDIT"_s,
                         {method, table});
    QStringList out;
    while (q.next()) {
        QString row = q.value(0).toString() + u'=' + q.value(1).toString() + u'>' +
                      q.value(2).toString() + u'@' + q.value(4).toString();
        if (!q.value(3).isNull())
            row += u'/' + q.value(3).toString();
        out << row;
    }
    return out;
}

// `n` open items of one order of a store that works with reservations, all of the product and
// brand of the first such item at its OL, quantity `qty`, nothing reserved; the OL holds `free`
// units of them free.
QList<qint64> reservableItems(sql::Connection& c, int n, double qty, double free) {
    const qint64 source = openItems(c,
                                    u"I.IDUTRESPEDEXOL = 'S' AND I.IDITMPEDOLBLOQ = 'N'"
                                    " AND I.QTRESERVESTOL = 0"_s,
                                    1)
                              .value(0);
    QList<qint64> out;
    for (int i = 0; i < n; ++i) {
        const qint64 id = 900000 + i;
        c.exec(u"INSERT INTO PEDIDOOLITEM (CDRASTRITM, CDARVPROD, CDPRODUTO, NMPRODUTO, SGUNIDADE,"
               " CDPRODESTO, QTPROGENPEOL, NRPEDEXOL, CDFILLANC, CDFILDEST, DTPROGENPEOL,"
               " DTPROGEMBARQ, NMMARCA, CDMARCA, CDFILIOPELOG, IDUTRESPEDEXOL, DTEMISPEDOL)"
               " SELECT ?, CDARVPROD, CDPRODUTO, NMPRODUTO, SGUNIDADE, CDPRODESTO, ?, ?,"
               " CDFILLANC, CDFILDEST, DTPROGENPEOL, DTPROGEMBARQ, NMMARCA, CDMARCA,"
               " CDFILIOPELOG, 'S', DTEMISPEDOL FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"_s,
               {id, qty, u"T%1"_s.arg(i), source});
        out << id;
    }
    c.exec(u"INSERT INTO ESTOQUEOL (CDFILIOPELOG, CDPRODUTO, CDMARCA, QTSALDO, QTRESERVADO)"
           " SELECT CDFILIOPELOG, CDPRODUTO, CDMARCA, 0, 0 FROM PEDIDOOLITEM"
           " WHERE CDRASTRITM = ? ON CONFLICT DO NOTHING"_s,
           {source});
    c.exec(u"UPDATE ESTOQUEOL SET QTSALDO = QTRESERVADO + ? WHERE EXISTS (SELECT 1 FROM"
           " PEDIDOOLITEM I WHERE I.CDRASTRITM = ? AND I.CDFILIOPELOG = ESTOQUEOL.CDFILIOPELOG"
           " AND I.CDPRODUTO = ESTOQUEOL.CDPRODUTO AND I.CDMARCA = ESTOQUEOL.CDMARCA)"_s,
           {free, source});
    return out;
}

// Free stock of the items' product and brand at their OL, and whether the reserved part is
// the sum of the reservations and each item's reservation the sum of its rows.
QPair<double, bool> stockOf(const sql::Connection& c, qint64 id) {
    QSqlQuery q = c.exec(
        u"SELECT E.QTSALDO - E.QTRESERVADO, E.QTRESERVADO - (SELECT COALESCE(SUM(R.QTRESERVADA), 0)"
        " FROM RESERVAESTOL R WHERE R.CDFILIOPELOG = E.CDFILIOPELOG AND R.CDPRODUTO = E.CDPRODUTO"
        " AND R.CDMARCA = E.CDMARCA), (SELECT COUNT(*) FROM PEDIDOOLITEM X WHERE X.QTRESERVESTOL"
        " <> (SELECT COALESCE(SUM(R.QTRESERVADA), 0) FROM RESERVAESTOL R"
        " WHERE R.CDRASTRITM = X.CDRASTRITM))"
        " FROM ESTOQUEOL E JOIN PEDIDOOLITEM I ON I.CDFILIOPELOG = E.CDFILIOPELOG"
        " AND I.CDPRODUTO = E.CDPRODUTO AND I.CDMARCA = E.CDMARCA WHERE I.CDRASTRITM = ?"_s,
        {id});
    if (!q.next())
        return {-1, false};
    return {std::round(q.value(0).toDouble() * 1e6) / 1e6,
            std::fabs(q.value(1).toDouble()) < 1e-6 && q.value(2).toInt() == 0};
}

// A relay between the client and the app server that lets every call through but, while armed,
// breaks the client's connection as the server's answer arrives: the call ran, its answer is
// lost on the wire.
class AnswerDropper : public QObject {
public:
    explicit AnswerDropper(quint16 server) {
        listener_.listen(QHostAddress::LocalHost);
        connect(&listener_, &QTcpServer::newConnection, this, [this, server] {
            while (QTcpSocket* client = listener_.nextPendingConnection()) {
                auto* up = new QTcpSocket(client);
                up->connectToHost(QHostAddress::LocalHost, server);
                connect(client, &QTcpSocket::readyRead, up,
                        [client, up] { up->write(client->readAll()); });
                connect(up, &QTcpSocket::readyRead, client, [this, client, up] {
                    const QByteArray answer = up->readAll();
                    if (armed_ > 0) {
                        --armed_;
                        ++dropped;
                        up->abort();
                        client->abort();
                        if (vanish_)
                            listener_.close();
                        return;
                    }
                    client->write(answer);
                });
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }
    QString url() const { return u"http://127.0.0.1:%1"_s.arg(listener_.serverPort()); }
    void drop(int answers) { armed_ = answers; }
    // After dropping an answer the relay stops listening: a repeat is refused.
    void vanishAfterDrop() { vanish_ = true; }
    int dropped = 0;

private:
    QTcpServer listener_;
    int armed_ = 0;
    bool vanish_ = false;
};

// An HTTP server on the seeded database reached through `relay`'s port, and `conn` signed on
// to it through the relay as the demo operator.
bool relayed(SeededServer& s, int threads, std::unique_ptr<server::HttpServer>& http,
             std::unique_ptr<AnswerDropper>& relay, net::TNetConnection& conn) {
    server::HttpServerOptions o;
    o.databaseUrl = s.db.url();
    o.threads = threads;
    http = std::make_unique<server::HttpServer>(o);
    QString error;
    if (!http->start(&error)) {
        qWarning() << error;
        return false;
    }
    relay = std::make_unique<AnswerDropper>(quint16(http->port()));
    if (net::signOn(QUrl(relay->url()), server::kDemoOperator, u"sup07700"_s).isValid())
        return false;
    conn.setServerName(server::kModuleAltPedidosOL);
    conn.setHost(relay->url());
    return conn.connect();
}

} // namespace

class TestOperations : public QObject {
    Q_OBJECT

private slots:
    // Blocking and unblocking write the flag, its date and the history, audited; an item that is
    // no longer open or no longer in the expected state is a conflict and nothing is written.
    void blocksAndUnblocks_data() { suptest::addDatabaseRows(); }
    void blocksAndUnblocks() {
        QFETCH(QString, db);
        SeededServer s(db);
        const sql::Connection& c = *s.conn;
        const QList<qint64> ids = openItems(c, u"I.IDITMPEDOLBLOQ = 'N'"_s, 3);
        auto send = [&](const QList<qint64>& which, const QString& to) {
            return call(s, u"SetBloqItem"_s,
                        {QVariant::fromValue(blockRequest(c, which, to)), server::kDemoOperator});
        };

        const contracts::ServerFault first = faultOf(send({ids[0], ids[1]}, u"S"_s));
        QVERIFY2(first.code.isEmpty(), qPrintable(first.message));
        for (qint64 id : {ids[0], ids[1]}) {
            QCOMPARE(value(c, u"IDITMPEDOLBLOQ"_s, id).toString(), u"S"_s);
            QCOMPARE(dayOf(value(c, u"DTBLOQITMPEDOL"_s, id)), QDate::currentDate());
        }
        const DataPacket reloaded = items(c, {ids[0]});
        QCOMPARE(reloaded.value(0, u"IDITMPEDOLBLOQ").toString(), u"S"_s);

        QVERIFY(faultOf(send({ids[1]}, u"N"_s)).code.isEmpty());
        QCOMPARE(value(c, u"IDITMPEDOLBLOQ"_s, ids[1]).toString(), u"N"_s);
        QCOMPARE(dayOf(value(c, u"DTDESBLOQITMPEDOL"_s, ids[1])), QDate::currentDate());
        QSqlQuery h = c.exec(u"SELECT IDITMPEDOLBLOQ, CDOPERADOR FROM BLOQITEMHIST"
                             " WHERE CDRASTRITM = ? ORDER BY NRSEQBLOQ"_s,
                             {ids[1]});
        QStringList history;
        while (h.next())
            history << h.value(0).toString() + h.value(1).toString();
        QCOMPARE(history, (QStringList{u"SDEMO"_s, u"NDEMO"_s}));
        QCOMPARE(audit(c, u"SetBloqItem"_s, u"PEDIDOOLITEM"_s),
                 (QStringList{u"IDITMPEDOLBLOQ=N>S@DEMO"_s, u"IDITMPEDOLBLOQ=N>S@DEMO"_s,
                              u"IDITMPEDOLBLOQ=S>N@DEMO"_s}));

        // Blocking again the blocked one, with a written-off item: both reported, none written.
        const qint64 closed = c.scalar(u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM WHERE"
                                       " IDSITUITEM = 'B' AND IDITMPEDOLBLOQ = 'N'"
                                       " AND IDITEMAJUSTE = 'N'"_s)
                                  .toLongLong();
        c.exec(u"UPDATE PEDIDOOLITEM SET IDSITUITEM = 'A' WHERE CDRASTRITM = ?"_s, {closed});
        const DataPacket stale = blockRequest(c, {ids[0], ids[2], closed}, u"S"_s);
        c.exec(u"UPDATE PEDIDOOLITEM SET IDSITUITEM = 'B' WHERE CDRASTRITM = ?"_s, {closed});
        const QByteArray before = suptest::digest(c, kTables);
        const contracts::ServerFault f =
            faultOf(call(s, u"SetBloqItem"_s, {QVariant::fromValue(stale), server::kDemoOperator}));
        QCOMPARE(f.code, u"conflict"_s);
        QVERIFY2(f.message.contains(u"2 item(ns)") && f.message.contains(u"já está bloqueado") &&
                     f.message.contains(u"já foi baixado") &&
                     f.message.contains(u"Pedido "_s + value(c, u"NRPEDEXOL"_s, closed).toString()),
                 qPrintable(f.message));
        QCOMPARE(suptest::digest(c, kTables), before);
    }

    // Item keys sent in another letter case than stored (a mixed-case branch and order number
    // sent in capitals) still name their items: they are blocked and their history written.
    void keysInAnotherCase_data() { suptest::addDatabaseRows(); }
    void keysInAnotherCase() {
        QFETCH(QString, db);
        SeededServer s(db);
        const sql::Connection& c = *s.conn;
        const QList<qint64> ids = openItems(c, u"I.IDITMPEDOLBLOQ = 'N'"_s, 2);
        const QString from = value(c, u"CDFILDEST"_s, ids[0]).toString();
        c.exec(u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, CDREGIAO, CDROTATRANS, CDFILCENTCMP,"
               " IDFUNCAOFILI) SELECT 'Lj7a', NMFILIAL, CDREGIAO, CDROTATRANS, CDFILCENTCMP,"
               " IDFUNCAOFILI FROM FILIAL WHERE CDFILIAL = ?"_s,
               {from});
        c.exec(u"INSERT INTO FILIOPER (CDFILIAL, CDOPERADOR)"
               " SELECT 'Lj7a', CDOPERADOR FROM FILIOPER WHERE CDFILIAL = ?"_s,
               {from});
        c.exec(u"UPDATE PEDIDOOLITEM SET CDFILDEST = 'Lj7a', NRPEDEXOL = 'pX' || NRPEDEXOL"
               " WHERE CDRASTRITM IN (?, ?)"_s,
               {ids[0], ids[1]});
        const data::FieldDefs f = contracts::bloqItemFields();
        const int flag = data::indexOfField(f, u"IDITMPEDOLBLOQ"_s);
        const int dest = data::indexOfField(f, u"CDFILDEST"_s);
        const int order = data::indexOfField(f, u"NRPEDEXOL"_s);
        const DataPacket upper = request(c, ids, f, [&](qsizetype r, data::DataPacketBuilder& b) {
            b.column(flag).setText(r, u"S"_s);
            b.column(dest).setText(r, u"LJ7A"_s);
            b.column(order).setText(r, b.column(order).text(r).toUpper());
        });
        QVERIFY(upper.value(0, u"NRPEDEXOL").toString().startsWith(u"PX"));
        const contracts::ServerFault fault =
            faultOf(call(s, u"SetBloqItem"_s, {QVariant::fromValue(upper), server::kDemoOperator}));
        QVERIFY2(fault.code.isEmpty(), qPrintable(fault.message));
        for (qint64 id : ids) {
            QCOMPARE(value(c, u"IDITMPEDOLBLOQ"_s, id).toString(), u"S"_s);
            QCOMPARE(value(c, u"CDFILDEST"_s, id).toString(), u"Lj7a"_s); // kept as stored
        }
        QCOMPARE(c.scalar(u"SELECT COUNT(*) FROM BLOQITEMHIST WHERE CDRASTRITM IN (?, ?)"_s,
                          {ids[0], ids[1]})
                     .toInt(),
                 2);
    }

    // Write-off and direct delivery close the marked items (gone from the open list, their
    // reservations back in the OL's stock), save the unmarked rows' edits of the same delta,
    // audit the closing with its reason; the same delta twice and a stale one write nothing.
    void writeOffAndDirectDelivery_data() { suptest::addDatabaseRows(); }
    void writeOffAndDirectDelivery() {
        QFETCH(QString, db);
        SeededServer s(db);
        const sql::Connection& c = *s.conn;
        const qint64 reserved =
            openItems(c, u"I.IDITMPEDOLBLOQ = 'N' AND I.QTRESERVESTOL > 0"_s, 1).value(0);
        const QList<qint64> plain =
            openItems(c, u"I.IDITMPEDOLBLOQ = 'N' AND I.QTRESERVESTOL = 0"_s, 3);
        QVERIFY(reserved > 0 && plain.size() == 3);
        const double held = value(c, u"QTRESERVESTOL"_s, reserved).toDouble();
        const double freeBefore = stockOf(c, reserved).first;

        const DataPacket loaded = items(c, {reserved, plain[0], plain[1]});
        const int calc = field(loaded, "CALC"), qty = field(loaded, "QTPROGENPEOL");
        const DataPacket delta = makeDelta(loaded, {0, 1, 2}, [&](qsizetype r, auto& cur) {
            if (qint64(loaded.value(r, u"CDRASTRITM").toDouble()) == plain[1])
                cur[std::size_t(qty)].setReal(r, 7); // an edit, not marked
            else
                cur[std::size_t(calc)].setText(r, u"S");
        });
        const QVariant answer = closeItems(s, delta, true);
        QVERIFY2(faultOf(answer).code.isEmpty(), qPrintable(faultOf(answer).message));
        QCOMPARE(value(c, u"IDSITUITEM"_s, reserved).toString(), u"B"_s);
        QCOMPARE(value(c, u"IDSITUITEM"_s, plain[0]).toString(), u"B"_s);
        QCOMPARE(items(c, {reserved, plain[0], plain[1]}).rowCount(), 1);
        QCOMPARE(value(c, u"QTPROGENPEOL"_s, plain[1]).toDouble(), 7.0);
        QCOMPARE(value(c, u"IDSITUITEM"_s, plain[1]).toString(), u"A"_s);
        QCOMPARE(reservedRows(c, reserved), 0.0);
        QCOMPARE(value(c, u"QTRESERVESTOL"_s, reserved).toDouble(), 0.0);
        QCOMPARE(stockOf(c, reserved).first, freeBefore + held);
        QVERIFY(stockOf(c, reserved).second);
        const QStringList rows = audit(c, u"UpdItemPedidoOL"_s, u"PEDIDOOLITEM"_s);
        QCOMPARE(rows.count(u"IDSITUITEM=A>B@DEMO/Alteração do Pedido OL."_s), 2);
        QVERIFY2(rows.contains(u"QTRESERVESTOL=%1>0@DEMO/Alteração do Pedido OL."_s.arg(held)),
                 qPrintable(rows.join(u'|')));

        // Sent again (the answer lost), or stale: nothing more happens.
        QByteArray before = suptest::digest(c, kTables);
        QCOMPARE(faultOf(closeItems(s, delta, true)).code, u"duplicate"_s);
        const DataPacket stale =
            makeDelta(loaded, {rowOf(loaded, reserved)},
                      [&](qsizetype r, auto& cur) { cur[std::size_t(calc)].setText(r, u"S"); });
        const contracts::ServerFault f = faultOf(closeItems(s, stale, false));
        QCOMPARE(f.code, u"conflict"_s);
        QVERIFY2(f.message.contains(u"já foi baixado"), qPrintable(f.message));
        QCOMPARE(suptest::digest(c, kTables), before);

        const DataPacket other = items(c, {plain[2]});
        QVERIFY(faultOf(closeItems(s,
                                   makeDelta(other, {0},
                                             [&](qsizetype r, auto& cur) {
                                                 cur[std::size_t(calc)].setText(r, u"S");
                                             }),
                                   false))
                    .code.isEmpty());
        QCOMPARE(value(c, u"IDSITUITEM"_s, plain[2]).toString(), u"E"_s);
        QVERIFY(audit(c, u"UpdItemPedidoOL"_s, u"PEDIDOOLITEM"_s)
                    .contains(u"IDSITUITEM=A>E@DEMO/Remanejamento OL para ED"_s));
    }

    // Inclusion takes at most the free stock, in row order (False when short); exclusion gives
    // back what the item holds (False for an item holding nothing); stock, reservation rows and
    // items agree throughout.
    void reservesAndReleases_data() { suptest::addDatabaseRows(); }
    void reservesAndReleases() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        const QList<qint64> ids = reservableItems(c, 3, 10, 25);
        auto reserve = [&](const QList<qint64>& which, const QString& operation) {
            return call(s, u"SetReserva"_s,
                        {QVariant::fromValue(reserveRequest(c, which, operation))});
        };
        auto held = [&] {
            QList<double> out;
            const DataPacket p = items(c, ids);
            for (qsizetype r = 0; r < p.rowCount(); ++r)
                out << p.value(r, u"QTRESERVESTOL").toDouble();
            return out;
        };

        QCOMPARE(reserve(ids, u"I"_s), QVariant(false));
        QCOMPARE(held(), (QList<double>{10, 10, 5}));
        QCOMPARE(reservedRows(c, ids[2]), 5.0);
        QCOMPARE(stockOf(c, ids[0]), (QPair<double, bool>{0, true}));
        QCOMPARE(audit(c, u"SetReserva"_s, u"PEDIDOOLITEM"_s).last(), u"QTRESERVESTOL=0>5@DEMO"_s);

        QCOMPARE(reserve({ids[0]}, u"E"_s), QVariant(true));
        QCOMPARE(held(), (QList<double>{0, 10, 5}));
        QCOMPARE(stockOf(c, ids[0]), (QPair<double, bool>{10, true}));
        // The third item tops up to its quantity; an exclusion of an item holding nothing
        // changes nothing and says so.
        QCOMPARE(reserve({ids[2]}, u"I"_s), QVariant(true));
        QCOMPARE(held(), (QList<double>{0, 10, 10}));
        QCOMPARE(reserve({ids[0]}, u"E"_s), QVariant(false));
        QCOMPARE(stockOf(c, ids[0]), (QPair<double, bool>{5, true}));
    }

    // Two users reserving the last units at once: the reserved total never passes the stock.
    void concurrentReservationsKeepToTheStock_data() {
        QTest::addColumn<QString>("db");
        QTest::newRow("sqlite") << u"sqlite-file"_s;
        if (!suptest::pgBaseUrl().isEmpty())
            QTest::newRow("postgresql") << u"postgresql"_s;
    }
    void concurrentReservationsKeepToTheStock() {
        QFETCH(QString, db);
        SeededServer s(db, 100);
        sql::Connection& c = *s.conn;
        const QList<qint64> ids = reservableItems(c, 8, 5, 20);
        for (int round = 0; round < 4; ++round) {
            std::latch start(2);
            QStringList faults[2];
            auto user = [&](int u) {
                auto conn = std::shared_ptr<sql::Connection>(sql::Connection::open(s.db.url()));
                server::ReferenceServer srv(conn);
                start.arrive_and_wait();
                for (int i = 0; i < 4; ++i) {
                    QVariantList args{QVariant::fromValue(
                        reserveRequest(*conn, {ids[(i * 2 + u + round) % 8]}, u"I"_s))};
                    const QVariant a = srv.call(server::kModuleAltPedidosOL, u"SetReserva"_s, args,
                                                {server::kDemoOperator, u"teste"_s});
                    if (!faultOf(a).code.isEmpty())
                        faults[u] << faultOf(a).message;
                }
            };
            std::thread one(user, 0), two(user, 1);
            one.join();
            two.join();
            QVERIFY2(faults[0].isEmpty() && faults[1].isEmpty(),
                     qPrintable((faults[0] + faults[1]).join(u'|')));
            double total = 0;
            for (qint64 id : ids)
                total += reservedRows(c, id);
            QCOMPARE(total, 20.0);
            QCOMPARE(stockOf(c, ids[0]), (QPair<double, bool>{0, true}));
            QVERIFY(
                call(s, u"SetReserva"_s,
                     {QVariant::fromValue(reserveRequest(
                         c, openItems(c, u"I.CDRASTRITM >= 900000 AND I.QTRESERVESTOL > 0"_s, 8),
                         u"E"_s))})
                    .toBool());
        }
    }

    // A write call whose answer is lost and whose repeat finds the server gone: applied, and the
    // message says it may have been, not merely that the server refused the connection.
    void lostAnswerWithTheServerGone() {
        SeededServer s(u"sqlite-file"_s, 120);
        std::unique_ptr<server::HttpServer> http;
        std::unique_ptr<AnswerDropper> relayOwner;
        net::TNetConnection conn;
        QVERIFY(relayed(s, 1, http, relayOwner, conn));
        AnswerDropper& relay = *relayOwner;
        const QList<qint64> ids = openItems(*s.conn, u"I.IDITMPEDOLBLOQ = 'N'"_s, 1);
        relay.drop(1);
        relay.vanishAfterDrop();
        QVariantList args{QVariant::fromValue(blockRequest(*s.conn, ids, u"S"_s)),
                          server::kDemoOperator};
        const contracts::ServerFault f = faultOf(conn.AppServer().call(u"SetBloqItem"_s, args));
        QCOMPARE(relay.dropped, 1);
        QCOMPARE(f.code, u"network"_s);
        QVERIFY2(f.message.contains(u"pode ter sido gravada"), qPrintable(f.message));
        QCOMPARE(value(*s.conn, u"IDITMPEDOLBLOQ"_s, ids[0]).toString(), u"S"_s);
    }

    // Over HTTP a write call whose answer is lost is sent again with the same id: the repeat
    // answers as the first call did and applies nothing. A read is simply sent again.
    void lostAnswersApplyOnce_data() {
        QTest::addColumn<QString>("db");
        QTest::newRow("sqlite") << u"sqlite-file"_s;
        if (!suptest::pgBaseUrl().isEmpty())
            QTest::newRow("postgresql") << u"postgresql"_s;
    }
    void lostAnswersApplyOnce() {
        QFETCH(QString, db);
        SeededServer s(db, 120);
        sql::Connection& c = *s.conn;
        std::unique_ptr<server::HttpServer> http;
        std::unique_ptr<AnswerDropper> relayOwner;
        net::TNetConnection conn;
        QVERIFY(relayed(s, 2, http, relayOwner, conn));
        AnswerDropper& relay = *relayOwner;
        auto remote = [&](const QString& method, QVariantList args, int drop) {
            relay.drop(drop);
            const int before = relay.dropped;
            const QVariant a = conn.AppServer().call(method, args);
            return qMakePair(a, relay.dropped - before);
        };

        // Blocking: a repeat would meet the items blocked already and fail as a conflict.
        const QList<qint64> ids = openItems(c, u"I.IDITMPEDOLBLOQ = 'N'"_s, 2);
        auto [blocked, lost] =
            remote(u"SetBloqItem"_s,
                   {QVariant::fromValue(blockRequest(c, ids, u"S"_s)), server::kDemoOperator}, 2);
        QCOMPARE(lost, 2);
        QVERIFY2(faultOf(blocked).code.isEmpty(), qPrintable(faultOf(blocked).message));
        QCOMPARE(value(c, u"IDITMPEDOLBLOQ"_s, ids[0]).toString(), u"S"_s);
        QCOMPARE(audit(c, u"SetBloqItem"_s, u"PEDIDOOLITEM"_s).size(), 2);
        QCOMPARE(c.scalar(u"SELECT COUNT(*) FROM BLOQITEMHIST WHERE CDRASTRITM IN (?, ?)"_s,
                          {ids[0], ids[1]})
                     .toInt(),
                 2);

        // Reservation: a repeat would reserve the free stock twice over.
        const QList<qint64> reservable = reservableItems(c, 2, 10, 15);
        auto [reserved, lostToo] = remote(
            u"SetReserva"_s, {QVariant::fromValue(reserveRequest(c, reservable, u"I"_s))}, 1);
        QCOMPARE(lostToo, 1);
        QCOMPARE(reserved, QVariant(false)); // 10 + 5 of the 15 free: the first answer
        QCOMPARE(reservedRows(c, reservable[0]) + reservedRows(c, reservable[1]), 15.0);
        QCOMPARE(stockOf(c, reservable[0]), (QPair<double, bool>{0, true}));

        // The save of a delta (passed by reference): the first answer with the delta written
        // back, not a refusal of the repeated delta.
        const DataPacket loaded = items(c, {ids[0]});
        const int qty = field(loaded, "QTPROGENPEOL");
        const DataPacket delta = makeDelta(
            loaded, {0}, [&](qsizetype r, auto& cur) { cur[std::size_t(qty)].setReal(r, 321); });
        QVariantList save{QVariant::fromValue(delta),   u"N"_s, u"N"_s, server::kDemoOperator, 3,
                          u"Alteração do Pedido OL."_s, u""_s};
        const QVariant saved = remote(u"UpdItemPedidoOL"_s, save, 1).first;
        QVERIFY2(faultOf(saved).code.isEmpty(), qPrintable(faultOf(saved).message));
        QCOMPARE(value(c, u"QTPROGENPEOL"_s, ids[0]).toDouble(), 321.0);
        QCOMPARE(c.scalar(u"SELECT COUNT(*) FROM CHAMADAAPLICADA"_s).toInt(), 3);

        // A read whose answer is lost runs again.
        const auto [read, lostRead] = remote(u"GetLotePedOL"_s, {}, 1);
        QCOMPARE(lostRead, 1);
        QVERIFY2(faultOf(read).code.isEmpty(), qPrintable(faultOf(read).message));

        // A call id is its caller's: another operator sending the same id is refused.
        const QString id = c.scalar(u"SELECT IDCHAMADA FROM CHAMADAAPLICADA"
                                    " WHERE NMMETODO = 'SetReserva'"_s)
                               .toString();
        QVariantList again{QVariant::fromValue(reserveRequest(c, reservable, u"E"_s))};
        const QVariant forged = s.server->call(server::kModuleAltPedidosOL, u"SetReserva"_s, again,
                                               {server::kPlainOperator, u"teste"_s, id});
        QCOMPARE(faultOf(forged).code, u"args"_s);
        QCOMPARE(reservedRows(c, reservable[0]) + reservedRows(c, reservable[1]), 15.0);
        net::signOff(QUrl(relay.url()));
    }

    // What a hostile client may send, one refusal per method, nothing written.
    void refusals_data() { suptest::addDatabaseRows(); }
    void refusals() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        const QList<qint64> ids = reservableItems(c, 1, 10, 100);
        const QString plainScope =
            u"EXISTS (SELECT 1 FROM FILIOPER O WHERE O.CDOPERADOR = 'COMPRAS1'"
            " AND O.CDFILIAL = I.CDFILDEST)"_s;
        const qint64 blocked = openItems(c, u"I.IDITMPEDOLBLOQ = 'S' AND "_s + plainScope, 1)[0];
        const qint64 foreign = openItems(c, u"NOT "_s + plainScope, 1)[0];
        const QByteArray before = suptest::digest(c, kTables);
        auto refused = [&](const QVariant& answer, const char* code, const char* text) {
            const contracts::ServerFault f = faultOf(answer);
            const bool ok = f.code == QLatin1String(code) &&
                            f.message.contains(QString::fromUtf8(text)) &&
                            suptest::digest(c, kTables) == before;
            if (!ok)
                qWarning() << f.code << f.message;
            return ok;
        };

        // Blocking: a field it does not take; an operator without group authorisation.
        const DataPacket block = blockRequest(c, ids, u"S"_s);
        data::FieldDefs wider = contracts::bloqItemFields();
        wider << data::FieldDef::real(u"QTPROGENPEOL"_s);
        const DataPacket withQty = request(c, ids, wider, [&](qsizetype r, auto& b) {
            b.column(int(wider.size()) - 2).setText(r, u"S"_s);
            b.column(int(wider.size()) - 1).setReal(r, 1);
        });
        QVERIFY(refused(call(s, u"SetBloqItem"_s, {QVariant::fromValue(withQty), u"DEMO"_s}),
                        "args", "O campo QTPROGENPEOL não é aceito por SetBloqItem"));
        QVERIFY(refused(call(s, u"SetBloqItem"_s, {QVariant::fromValue(block), u"COMPRAS1"_s},
                             server::kPlainOperator),
                        "business", "não tem autorização"));

        // Reservation: more than the item's quantity; an item outside the operator's branches.
        const DataPacket more =
            request(c, ids, contracts::reservaFields(), [&](qsizetype r, auto& b) {
                b.column(10).setText(r, u"I"_s);
                b.column(9).setReal(r, 1000);
            });
        QVERIFY(refused(call(s, u"SetReserva"_s, {QVariant::fromValue(more)}), "args",
                        "passa da quantidade do item"));
        QVERIFY(refused(call(s, u"SetReserva"_s,
                             {QVariant::fromValue(reserveRequest(c, {foreign}, u"E"_s))},
                             server::kPlainOperator),
                        "scope", "não pertence às filiais do operador COMPRAS1"));

        // Write-off of a blocked item by an operator who may not touch it; both flags at once.
        const DataPacket loaded = items(c, {blocked});
        const DataPacket marked = makeDelta(loaded, {0}, [&](qsizetype r, auto& cur) {
            cur[std::size_t(field(loaded, "CALC"))].setText(r, u"S");
        });
        QVERIFY(refused(closeItems(s, marked, true, server::kPlainOperator), "business",
                        "Item do pedido do OL está bloqueado"));
        QVERIFY(
            refused(call(s, u"UpdItemPedidoOL"_s,
                         {QVariant::fromValue(marked), u"S"_s, u"S"_s, u"DEMO"_s, 3, u""_s, u""_s}),
                    "args", "não podem ser pedidas juntas"));
    }
};

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
