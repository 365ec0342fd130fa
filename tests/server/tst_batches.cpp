// Dispatch batches through the dispatch, on SQLite and PostgreSQL: the open batches and the
// batch of a code (GetVd_LotePedOL); items put into a batch and taken out of it
// (SetCadLoteEnvPedOL), read back from the items and the audit; stale rows as conflicts and what
// a hostile client may send refused, with nothing written.

#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/server/Items.h"

#include <QSqlQuery>
#include <QTest>

using namespace sup;
using namespace Qt::StringLiterals;
using data::DataPacket;
using suptest::SeededServer;

namespace {

const QStringList kTables = {u"PEDIDOOLITEM"_s, u"AUDITORIA"_s, u"LOTENVITOL"_s};

// The request rows of some items as the screen builds them: the item key (destination cut to its
// code), the batch each is to get and the item's OL; `fields` may add or drop fields.
DataPacket request(const sql::Connection& c, const QList<qint64>& ids, const QString& batch,
                   data::FieldDefs fields = contracts::cadLoteEnvPedOLFields()) {
    QStringList list;
    for (qint64 id : ids)
        list << QString::number(id);
    const DataPacket loaded =
        server::selectItems(c, u"I.CDRASTRITM IN (%1)"_s.arg(list.join(u',')));
    data::DataPacketBuilder b(fields);
    for (qint64 id : ids) {
        qsizetype r = 0;
        while (qint64(loaded.value(r, u"CDRASTRITM").toDouble()) != id)
            ++r;
        for (int i = 0; i < fields.size(); ++i) {
            const int from = loaded.indexOf(fields[i].name);
            if (fields[i].name == u"CDLOTENVITOL")
                b.column(i).appendText(batch);
            else if (from < 0)
                b.column(i).appendNull();
            else if (fields[i].name == u"CDFILDEST")
                b.column(i).appendText(loaded.column(from).text(r).left(4));
            else
                b.column(i).appendCell(loaded.column(from), r);
        }
    }
    return b.finish();
}

QList<qint64> openItems(const sql::Connection& c, const QString& where, int n) {
    QSqlQuery q = c.exec(u"SELECT I.CDRASTRITM FROM PEDIDOOLITEM I WHERE I.IDSITUITEM = 'A'"
                         " AND %1 ORDER BY I.CDRASTRITM"_s.arg(where));
    QList<qint64> out;
    while (out.size() < n && q.next())
        out << q.value(0).toLongLong();
    return out;
}

// The first batch of an OL, open or closed.
QString batchOf(const sql::Connection& c, const QString& ol, bool open) {
    return c
        .scalar(u"SELECT MIN(CDLOTENVITOL) FROM LOTENVITOL WHERE CDFILIOPELOG = ? AND"
                " DTFECHAMENTO IS %1 NULL"_s.arg(open ? u""_s : u"NOT"_s),
                {ol})
        .toString();
}

QString batchAt(const sql::Connection& c, qint64 id) {
    return c.scalar(u"SELECT CDLOTENVITOL FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"_s, {id})
        .toString();
}

// Audit rows of the batch changes, "old>new@operator".
QStringList audit(const sql::Connection& c) {
    QSqlQuery q = c.exec(u"SELECT DSVALORANT, DSVALORNOVO, CDOPERADOR FROM AUDITORIA"
                         " WHERE NMMETODO = 'SetCadLoteEnvPedOL' AND NMTABELA = 'PEDIDOOLITEM'"
                         " AND NMCAMPO = 'CDLOTENVITOL' ORDER BY NRSEQAUDIT"_s);
    QStringList out;
    while (q.next())
        out << q.value(0).toString() + u'>' + q.value(1).toString() + u'@' + q.value(2).toString();
    return out;
}

QStringList codes(const QVariant& answer) {
    const DataPacket p = answer.value<DataPacket>();
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << p.value(r, u"CDLOTENVITOL").toString();
    return out;
}

} // namespace

class TestBatches : public QObject {
    Q_OBJECT

    static QVariant send(SeededServer& s, const DataPacket& rows,
                         const QString& op = server::kDemoOperator) {
        return s.call(u"SetCadLoteEnvPedOL"_s, {QVariant::fromValue(rows), op},
                      server::kModuleAltPedidosOL, op);
    }

private slots:
    // The batch list holds the open batches only; a code finds its batch, closed or not. Items
    // put into an open batch and taken out again, read back with their audit; a stale row (the
    // item already as asked, written off, or moved to another OL) is a conflict named by key and
    // nothing is written.
    void assignsAndRemoves_data() { suptest::addDatabaseRows(); }
    void assignsAndRemoves() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        const QString batch = batchOf(c, u"0901"_s, true);
        const QString closed = batchOf(c, u"0901"_s, false);
        const QStringList open = codes(s.call(u"GetVd_LotePedOL"_s, {u"T"_s}));
        QCOMPARE(open.size(),
                 c.scalar(u"SELECT COUNT(*) FROM LOTENVITOL WHERE DTFECHAMENTO IS NULL"_s).toInt());
        QVERIFY(open.contains(batch) && !open.contains(closed));
        QCOMPARE(codes(s.call(u"GetVd_LotePedOL"_s, {closed})), QStringList{closed});
        QCOMPARE(codes(s.call(u"GetVd_LotePedOL"_s, {u"9999999999"_s})), QStringList{});

        const QList<qint64> ids =
            openItems(c, u"I.CDFILIOPELOG = '0901' AND I.CDLOTENVITOL IS NULL"_s, 3);
        QCOMPARE(ids.size(), 3);
        QVariant answer = send(s, request(c, {ids[0], ids[1]}, batch));
        QVERIFY2(contracts::faultOf(answer).code.isEmpty(),
                 qPrintable(contracts::faultOf(answer).message));
        QCOMPARE(batchAt(c, ids[0]), batch);
        QCOMPARE(batchAt(c, ids[1]), batch);
        QVERIFY(batchAt(c, ids[2]).isEmpty());
        QCOMPARE(server::selectItems(c, u"I.CDRASTRITM = ?"_s, {ids[0]})
                     .value(0, u"CDLOTENVITOL")
                     .toString(),
                 batch);

        answer = send(s, request(c, {ids[1]}, QString()));
        QVERIFY2(contracts::faultOf(answer).code.isEmpty(),
                 qPrintable(contracts::faultOf(answer).message));
        QVERIFY(c.scalar(u"SELECT CDLOTENVITOL FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"_s, {ids[1]})
                    .isNull());
        const QString demo = server::kDemoOperator;
        QCOMPARE(audit(c), (QStringList{u">"_s + batch + u'@' + demo, u">"_s + batch + u'@' + demo,
                                        batch + u">@"_s + demo}));

        // Already in the batch, written off since, moved to another OL since: all three named,
        // nothing written.
        const DataPacket stale = request(c, {ids[0], ids[1], ids[2]}, batch);
        c.exec(u"UPDATE PEDIDOOLITEM SET IDSITUITEM = 'B' WHERE CDRASTRITM = ?"_s, {ids[1]});
        c.exec(u"UPDATE PEDIDOOLITEM SET CDFILIOPELOG = '0902' WHERE CDRASTRITM = ?"_s, {ids[2]});
        const QByteArray before = suptest::digest(c, kTables);
        const contracts::ServerFault f = contracts::faultOf(send(s, stale));
        QCOMPARE(f.code, u"conflict"_s);
        QVERIFY2(f.message.contains(u"3 item(ns)") &&
                     f.message.contains(u"já está no lote de envio "_s + batch) &&
                     f.message.contains(u"já foi baixado") &&
                     f.message.contains(u"OL lido 0901, atual 0902"),
                 qPrintable(f.message));
        QCOMPARE(suptest::digest(c, kTables), before);
    }

    // What a hostile client may send, one refusal each, nothing written: a batch that does not
    // exist, a closed batch, a batch of another OL, an item taken out of a closed batch, a field
    // the method does not take, an item outside the operator's branches.
    void refusals_data() { suptest::addDatabaseRows(); }
    void refusals() {
        QFETCH(QString, db);
        SeededServer s(db);
        sql::Connection& c = *s.conn;
        const QString plainScope = u"EXISTS (SELECT 1 FROM FILIOPER O WHERE O.CDOPERADOR ="
                                   " 'COMPRAS1' AND O.CDFILIAL = I.CDFILDEST)"_s;
        const QList<qint64> ids = openItems(
            c, u"I.CDFILIOPELOG = '0901' AND I.CDLOTENVITOL IS NULL AND "_s + plainScope, 2);
        const qint64 foreign =
            openItems(c, u"I.CDFILIOPELOG = '0901' AND NOT "_s + plainScope, 1).value(0);
        QVERIFY(ids.size() == 2 && foreign > 0);
        const QString closed = batchOf(c, u"0901"_s, false);
        c.exec(u"UPDATE PEDIDOOLITEM SET CDLOTENVITOL = ? WHERE CDRASTRITM = ?"_s,
               {closed, ids[1]});
        const QByteArray before = suptest::digest(c, kTables);
        auto refused = [&](const QVariant& answer, const char* code, const QString& text) {
            const contracts::ServerFault f = contracts::faultOf(answer);
            const bool ok = f.code == QLatin1String(code) && f.message.contains(text) &&
                            f.message.contains(u"Nenhuma alteração foi gravada") &&
                            suptest::digest(c, kTables) == before;
            if (!ok)
                qWarning() << f.code << f.message;
            return ok;
        };

        QVERIFY(refused(send(s, request(c, {ids[0]}, u"0000000077"_s)), "business",
                        u"O lote de envio 0000000077 não está cadastrado"_s));
        QVERIFY(refused(send(s, request(c, {ids[0]}, closed)), "business",
                        u"está fechado e não recebe mais itens"_s));
        const QString other = batchOf(c, u"0902"_s, true);
        QVERIFY(refused(send(s, request(c, {ids[0]}, other)), "business",
                        u"O lote de envio %1 é do OL 0902"_s.arg(other)));
        QVERIFY(
            refused(send(s, request(c, {ids[1]}, QString())), "business", u"que já foi fechado"_s));

        data::FieldDefs wider = contracts::cadLoteEnvPedOLFields();
        wider << data::FieldDef::real(u"QTPROGENPEOL"_s);
        QVERIFY(refused(send(s, request(c, {ids[0]}, batchOf(c, u"0901"_s, true), wider)), "args",
                        u"O campo QTPROGENPEOL não é aceito por SetCadLoteEnvPedOL"_s));
        QVERIFY(refused(
            send(s, request(c, {foreign}, batchOf(c, u"0901"_s, true)), server::kPlainOperator),
            "scope", u"não pertence às filiais do operador COMPRAS1"_s));
    }
};

QTEST_GUILESS_MAIN(TestBatches)
#include "tst_batches.moc"
