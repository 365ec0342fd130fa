// The preview of the automatic alteration (VisAltAtuItem) against the alteration itself, on SQLite
// and PostgreSQL: for a selection some of whose items are refused, the preview names the items
// the alteration then refuses, for the same reasons, and what it makes of the others is what the
// alteration writes; and whatever the preview runs into, the database is as it was, table by
// table and row by row.

#include "AlterationHelpers.h"
#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/contracts/SelectedItems.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/AutoPreview.h"
#include "sup/server/Items.h"

#include <QDate>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <algorithm>

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

// Some items of a gathered array, as they were gathered.
QVariantList subset(const QVariantList& gathered, const QList<qsizetype>& positions) {
    QVariantList out;
    for (const QVariant& attribute : gathered) {
        const QVariantList values = attribute.toList();
        QVariantList kept;
        for (qsizetype i : positions)
            kept << values[i];
        out << QVariant(kept);
    }
    return out;
}

struct Alteration {
    QVariantList items;
    bool product = false, date = false, requests = false;
    QDate day;
    QString code, brand, answer = u"N"_s;

    QVariantList args() const {
        return {QVariant(items),
                product,
                false,
                date,
                day,
                0.0,
                code,
                0.0,
                0.0,
                kRefusal,
                false,
                QString(),
                requests,
                server::kDemoOperator,
                u"Prévia."_s,
                u"0001"_s,
                0.0,
                QString(),
                QString(),
                brand,
                answer};
    }
};

// Every table of the database, every row in full order, as text.
QStringList dump(const sql::Connection& c) {
    const bool pg = c.dialect() == sql::Dialect::PostgreSQL;
    QStringList tables;
    QSqlQuery t = c.exec(pg ? u"SELECT table_name FROM information_schema.tables WHERE"
                              " table_schema = current_schema() AND table_type = 'BASE TABLE'"
                              " ORDER BY 1"_s
                            : u"SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY 1"_s);
    while (t.next())
        tables << t.value(0).toString();
    QStringList out;
    for (const QString& table : std::as_const(tables)) {
        QSqlQuery probe = c.exec(u"SELECT * FROM %1 WHERE 1 = 0"_s.arg(table));
        QStringList order;
        for (int i = 1; i <= probe.record().count(); ++i)
            order << QString::number(i);
        QSqlQuery q = c.exec(u"SELECT * FROM %1 ORDER BY %2"_s.arg(table, order.join(u", ")));
        while (q.next()) {
            QStringList row{table};
            for (int i = 0; i < q.record().count(); ++i)
                row << (q.isNull(i) ? u"<null>"_s : q.value(i).toString());
            out << row.join(u'|');
        }
    }
    return out;
}

// The first differences of two dumps, for the failure message.
QString differences(const QStringList& before, const QStringList& after) {
    QStringList gone, added;
    for (const QString& r : before)
        if (!after.contains(r))
            gone << u"- "_s + r;
    for (const QString& r : after)
        if (!before.contains(r))
            added << u"+ "_s + r;
    return (gone.mid(0, 5) + added.mid(0, 5)).join(u'\n');
}

// One open item of OL 0901 in each of `count` destination branches, and last an item of another
// product moved into the first one's order, branches and delivery date.
QList<qint64> spreadItems(const sql::Connection& c, int count) {
    QList<qint64> out =
        ids(c, u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM WHERE CDFILIOPELOG = '0901'"
               " AND %1 GROUP BY CDFILDEST ORDER BY 1 LIMIT %2"_s.arg(kOpen)
                   .arg(count));
    const qint64 moved = ids(c,
                             u"SELECT MAX(CDRASTRITM) FROM PEDIDOOLITEM WHERE"
                             " CDFILIOPELOG = '0901' AND %1 AND CDPRODUTO <> (SELECT CDPRODUTO"
                             " FROM PEDIDOOLITEM WHERE CDRASTRITM = ?)"_s.arg(kOpen),
                             {out.value(0)})
                             .value(0);
    c.exec(u"UPDATE PEDIDOOLITEM SET (CDFILDEST, CDFILLANC, NRPEDEXOL, DTPROGENPEOL, DTEMISPEDOL) ="
           " (SELECT CDFILDEST, CDFILLANC, NRPEDEXOL, DTPROGENPEOL, DTEMISPEDOL FROM PEDIDOOLITEM"
           " WHERE CDRASTRITM = ?) WHERE CDRASTRITM = ?"_s,
           {out.value(0), moved});
    return out << moved;
}

} // namespace

class TestAutoPreview : public QObject {
    Q_OBJECT

private slots:
    // A product and date change over six items: one off its branch's calendar, one changed by
    // another user since it was gathered, one at a branch whose mandatory brand the new one is
    // not (left as it is), one that would end equal to another; the OL has none of the new
    // product. The alteration, sent again without the items it names each time, names exactly
    // the items the preview refused, each for the preview's reason, and then writes what the
    // preview showed.
    void previewNamesWhatTheAlterationRefuses_data() { suptest::addDatabaseRows(); }
    void previewNamesWhatTheAlterationRefuses() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        const QList<qint64> items = spreadItems(c, 5);
        QCOMPARE(items.size(), 6);
        const auto [product, brand] = unusedProduct(c);
        QVERIFY(!product.isEmpty());
        const QString offCalendar = cell(c, u"CDFILDEST"_s, items[1]).toString();
        const QString strict = cell(c, u"CDFILDEST"_s, items[3]).toString();
        c.exec(u"DELETE FROM PERIFILIPROD WHERE CDPRODUTO = ? OR CDFILIAL <> ?"_s,
               {product, offCalendar});
        c.exec(u"INSERT INTO PERIFILIPROD (CDFILIAL, CDPRODUTO, DSDIASENTREGA)"
               " VALUES (?, ?, 'NSNNNNN')"_s,
               {offCalendar, product}); // Mondays only
        c.exec(u"UPDATE PARAMFILIAL SET IDUTLMARPREFOL = CASE WHEN CDFILIAL = ? THEN 'S'"
               " ELSE 'N' END"_s,
               {strict});
        c.exec(u"INSERT INTO PARTFILIPROD (CDFILIAL, CDPRODUTO, CDTIPPART, CDMARCA)"
               " VALUES (?, ?, '1', (SELECT MIN(CDMARCA) FROM MARCA WHERE CDMARCA <> ?))"_s,
               {strict, product, brand});
        c.exec(u"DELETE FROM ESTOQUEOL WHERE CDPRODUTO = ?"_s, {product});

        Alteration a;
        a.items = gather(c, items);
        a.product = true;
        a.code = product;
        a.brand = brand;
        a.date = true;
        a.day = QDate(2026, 6, 2); // a Tuesday
        c.exec(u"UPDATE PEDIDOOLITEM SET QTPROGENPEOL = QTPROGENPEOL + 1 WHERE CDRASTRITM = ?"_s,
               {items[2]});

        const QVariant answer = s.call(u"VisAltAtuItem"_s, a.args());
        QVERIFY2(contracts::faultOf(answer).code.isEmpty(),
                 qPrintable(contracts::faultOf(answer).message));
        const DataPacket preview = answer.value<DataPacket>();
        QCOMPARE(preview.fields(), contracts::visAltAtuItemFields());
        QCOMPARE(preview.rowCount(), items.size());
        auto text = [&](qsizetype r, QStringView f) {
            return preview.value(r, f).toString();
        };
        QStringList kinds;
        for (qsizetype r = 0; r < preview.rowCount(); ++r) {
            QCOMPARE(preview.value(r, u"CDRASTRITM").toLongLong(), items[r]);
            kinds << text(r, u"IDRECUSA");
        }
        namespace k = contracts::refusal;
        QCOMPARE(kinds, (QStringList{QString(), k::kCalendar, k::kConflict, k::kParticularity,
                                     QString(), k::kEqual}));
        QVERIFY(text(1, u"DSMOTIVO").contains(offCalendar));
        QVERIFY(text(2, u"DSMOTIVO").startsWith(u"Qtde.: lida"_s));
        QVERIFY(text(3, u"DSMOTIVO").contains(strict));

        // The alteration on the same selection, as it was gathered, until it goes through.
        QList<qsizetype> kept{0, 1, 2, 3, 4, 5};
        QList<qsizetype> refusedByAlteration;
        QVariantList done;
        for (int round = 0; round < items.size(); ++round) {
            Alteration real = a;
            real.items = subset(a.items, kept);
            const QVariant result = s.call(u"AltAtuItem"_s, real.args());
            const contracts::ServerFault f = contracts::faultOf(result);
            if (f.code.isEmpty()) {
                done = result.toList();
                break;
            }
            QList<qsizetype> named;
            for (qsizetype i : std::as_const(kept)) {
                const QString kind = text(i, u"IDRECUSA");
                if (!kind.isEmpty() && kind != k::kParticularity &&
                    f.message.contains(text(i, u"DSMOTIVO")))
                    named << i;
            }
            QVERIFY2(!named.isEmpty(), qPrintable(f.message));
            refusedByAlteration << named;
            for (qsizetype i : std::as_const(named))
                kept.removeOne(i);
        }
        std::sort(refusedByAlteration.begin(), refusedByAlteration.end());
        QCOMPARE(refusedByAlteration, (QList<qsizetype>{1, 2, 5}));
        // Altered, left as they were, requests without order, short of stock.
        QCOMPARE(done, (QVariantList{2, 1, false, true}));
        for (qsizetype r : {0, 4}) {
            QCOMPARE(text(r, u"IDALTERA"), u"S"_s);
            QCOMPARE(text(r, u"IDSEMSALDO"), u"S"_s);
            QCOMPARE(cell(c, u"CDPRODUTO"_s, items[r]).toString(), product);
            QCOMPARE(cell(c, u"CDARVPROD"_s, items[r]).toString(), text(r, u"CDARVPRODNOVO"));
            QCOMPARE(cell(c, u"CDMARCA"_s, items[r]).toString(), text(r, u"CDMARCANOVA"));
            QCOMPARE(cell(c, u"QTPROGENPEOL"_s, items[r]).toDouble(),
                     preview.value(r, u"QTNOVA").toDouble());
            QCOMPARE(preview.value(r, u"DTNOVA").toDateTime().date(), a.day);
        }
        for (qsizetype r : {1, 2, 3, 5})
            QCOMPARE(text(r, u"IDALTERA"), u"N"_s);
        QVERIFY(cell(c, u"CDPRODUTO"_s, items[3]).toString() != product);
    }

    // Nothing of a preview is kept: not the items, their reservations, the purchase requests
    // that follow them, the audit nor the answer of a call with an id. Neither when the table's
    // key refuses an item (the preview names it and goes on) nor when the call itself fails.
    void previewWritesNothing_data() { suptest::addDatabaseRows(); }
    void previewWritesNothing() {
        QFETCH(QString, db);
        SeededServer s(db, 1500);
        sql::Connection& c = *s.conn;
        const QList<qint64> reserved =
            ids(c, u"SELECT CDRASTRITM FROM PEDIDOOLITEM WHERE %1 AND QTRESERVESTOL > 0"
                   " AND CDFILIOPELOG = '0901' ORDER BY CDRASTRITM LIMIT 3"_s.arg(kOpen));
        QCOMPARE(reserved.size(), 3);
        const qint64 other = ids(c,
                                 u"SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM WHERE %1"
                                 " AND NRPEDEXOL = (SELECT NRPEDEXOL FROM PEDIDOOLITEM"
                                 " WHERE CDRASTRITM = ?) AND CDRASTRITM <> ?"_s.arg(kOpen),
                                 {reserved[0], reserved[0]})
                                 .value(0);
        c.exec(u"INSERT INTO SOLICOMPRA (NRSOLICOMPRA, CDRASTRITM, CDFILIAL, CDPRODUTO, CDMARCA,"
               " QTSOLICITADA, QTORIGSOLIC, DTENTREGA) SELECT 900001, CDRASTRITM, CDFILDEST,"
               " CDPRODUTO, CDMARCA, QTPROGENPEOL, QTPROGENPEOL, DTPROGENPEOL FROM PEDIDOOLITEM"
               " WHERE CDRASTRITM = ?"_s,
               {reserved[1]});
        const auto [product, brand] = unusedProduct(c);
        const QStringList before = dump(c);

        Alteration a;
        a.items = gather(c, reserved);
        a.product = true;
        a.code = product;
        a.brand = brand;
        a.requests = true;
        QVariantList args = a.args();
        const QVariant answer =
            s.server->call(server::kModuleAltPedidosOL, u"VisAltAtuItem"_s, args,
                           server::CallContext{server::kDemoOperator, u"teste"_s, u"id-1"_s});
        QVERIFY2(contracts::faultOf(answer).code.isEmpty(),
                 qPrintable(contracts::faultOf(answer).message));
        QCOMPARE(answer.value<DataPacket>().value(0, u"IDALTERA").toString(), u"S"_s);
        QStringList after = dump(c);
        QVERIFY2(after == before, qPrintable(differences(before, after)));

        // An item made equal to another of its order, stored: refused, the others previewed.
        QVERIFY(other > 0);
        QCOMPARE(cell(c, u"DTPROGENPEOL"_s, other), cell(c, u"DTPROGENPEOL"_s, reserved[0]));
        Alteration same;
        same.items = gather(c, {reserved[0], reserved[2]});
        same.product = true;
        same.code = cell(c, u"CDPRODUTO"_s, other).toString();
        same.brand = cell(c, u"CDMARCA"_s, other).toString();
        same.answer = u"S"_s;
        const DataPacket p = s.call(u"VisAltAtuItem"_s, same.args()).value<DataPacket>();
        QCOMPARE(p.rowCount(), 2);
        QCOMPARE(p.value(0, u"IDRECUSA").toString(), contracts::refusal::kEqual);
        QVERIFY(
            p.value(0, u"DSMOTIVO").toString().contains(u"ficaria igual a um item já cadastrado"));
        after = dump(c);
        QVERIFY2(after == before, qPrintable(differences(before, after)));

        // A product that does not exist fails the preview as it fails the alteration.
        a.code = u"NAOEXISTE"_s;
        const contracts::ServerFault f = contracts::faultOf(s.call(u"VisAltAtuItem"_s, a.args()));
        QCOMPARE(f.code, u"notfound"_s);
        QCOMPARE(f.message, contracts::faultOf(s.call(u"AltAtuItem"_s, a.args())).message);
        after = dump(c);
        QVERIFY2(after == before, qPrintable(differences(before, after)));
    }
};

QTEST_GUILESS_MAIN(TestAutoPreview)
#include "tst_auto_preview.moc"
