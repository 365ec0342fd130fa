// Item loading and the filter's lookups against the seeded database: every criterion of GetItem
// is checked against the open items read back raw and filtered here, so a wrong SQL condition
// shows as a different set of trace numbers.

#include "ServerFixture.h"

#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"

#include <QSqlQuery>
#include <QTest>

#include <functional>

using namespace sup;
using suptest::SeededServer;

namespace {

struct Row {
    qint64 id = 0;
    QString dest, ol, tree, emis, entr, embq, blocked, dtBloq, dtDesbloq, extra, batch, brand,
        region, route, subgroup, group;
    double reserved = 0;
};

QString day(const QVariant& v) {
    return v.toString().left(10);
}

QList<Row> openItems(const sql::Connection& c) {
    const bool pg = c.dialect() == sql::Dialect::PostgreSQL;
    auto d = [&](const char* col) {
        return pg ? QStringLiteral("to_char(I.%1, 'YYYY-MM-DD')").arg(QLatin1String(col))
                  : QStringLiteral("I.%1").arg(QLatin1String(col));
    };
    QSqlQuery q = c.exec(
        QStringLiteral("SELECT I.CDRASTRITM, I.CDFILDEST, I.CDFILIOPELOG, I.CDARVPROD, %1, %2, %3,"
                       " I.IDITMPEDOLBLOQ, %4, %5, I.IDPEDEXTRA, I.CDLOTENVITOL, I.CDMARCA,"
                       " F.CDREGIAO, F.CDROTATRANS, P.CDSUBGRPROD, S.CDGRUPPROD, I.QTRESERVESTOL"
                       " FROM PEDIDOOLITEM I JOIN FILIAL F ON F.CDFILIAL = I.CDFILDEST"
                       " JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO"
                       " LEFT JOIN SUBGRUPPROD S ON S.CDSUBGRPROD = P.CDSUBGRPROD"
                       " WHERE I.IDSITUITEM = 'A'")
            .arg(d("DTEMISPEDOL"), d("DTPROGENPEOL"), d("DTPROGEMBARQ"), d("DTBLOQITMPEDOL"),
                 d("DTDESBLOQITMPEDOL")));
    QList<Row> out;
    while (q.next()) {
        Row r;
        r.id = q.value(0).toLongLong();
        r.dest = q.value(1).toString();
        r.ol = q.value(2).toString();
        r.tree = q.value(3).toString();
        r.emis = day(q.value(4));
        r.entr = day(q.value(5));
        r.embq = day(q.value(6));
        r.blocked = q.value(7).toString();
        r.dtBloq = day(q.value(8));
        r.dtDesbloq = day(q.value(9));
        r.extra = q.value(10).toString();
        r.batch = q.value(11).toString();
        r.brand = q.value(12).toString();
        r.region = q.value(13).toString();
        r.route = q.value(14).toString();
        r.subgroup = q.value(15).toString();
        r.group = q.value(16).toString();
        r.reserved = q.value(17).toDouble();
        out << r;
    }
    return out;
}

// The arguments of a fresh filter: every choice at "all".
QVariantList defaults() {
    QVariantList a(34, QString());
    for (int i : {0, 1, 2, 3, 4, 5, 22, 25})
        a[i] = QDate();
    a[23] = 1.0;
    a[26] = 1.0;
    a[6] = a[8] = a[13] = a[14] = a[15] = a[17] = a[21] = a[24] = a[27] = a[32] = a[33] =
        QStringLiteral("T");
    a[18] = QStringLiteral("DEMO");
    a[19] = QStringLiteral("S");
    a[20] = QStringLiteral("N");
    a[28] = QStringLiteral("1");
    a[29] = a[30] = QStringLiteral("N");
    return a;
}

QString keys(const QStringList& k) {
    QString out;
    for (const QString& s : k)
        out += u'_' + s + u'_';
    return out;
}

QDate dateOf(const QString& s) {
    return QDate::fromString(s, QStringLiteral("yyyy-MM-dd"));
}

// The most frequent non-empty value of a column, so that a criterion keeps some rows and drops
// others.
QString common(const QList<Row>& rows, QString Row::*field) {
    QHash<QString, int> n;
    for (const Row& r : rows)
        if (!(r.*field).isEmpty())
            ++n[r.*field];
    QString best;
    for (auto it = n.begin(); it != n.end(); ++it)
        if (best.isEmpty() || it.value() > n[best] || (it.value() == n[best] && it.key() < best))
            best = it.key();
    return best;
}

QString median(const QList<Row>& rows, QString Row::*field) {
    QStringList v;
    for (const Row& r : rows)
        if (!(r.*field).isEmpty())
            v << r.*field;
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? QString() : v[v.size() / 2];
}

} // namespace

class TestItems : public QObject {
    Q_OBJECT

    QVariantList callItems(SeededServer& s, const QVariantList& args,
                           const QString& op = QStringLiteral("DEMO")) {
        const QVariant v = s.call(QStringLiteral("GetItem"), args, server::kModuleAltPedidosOL, op);
        if (!contracts::faultOf(v).message.isEmpty())
            qWarning() << contracts::faultOf(v).message;
        return v.toList();
    }
    QSet<qint64> ids(SeededServer& s, const QVariantList& args) {
        const QVariantList answer = callItems(s, args);
        if (answer.size() != 4)
            return {qint64(-1)};
        const data::DataPacket p = answer[0].value<data::DataPacket>();
        QSet<qint64> out;
        const int f = p.indexOf(u"CDRASTRITM");
        for (qsizetype r = 0; r < p.rowCount(); ++r)
            out.insert(qint64(p.value(r, f).toDouble()));
        return out;
    }
    static QSet<qint64> expect(const QList<Row>& rows, const std::function<bool(const Row&)>& f) {
        QSet<qint64> out;
        for (const Row& r : rows)
            if (f(r))
                out.insert(r.id);
        return out;
    }

private slots:
    void criteria_data() { suptest::addDatabaseRows(); }
    void criteria() {
        QFETCH(QString, db);
        SeededServer s(db, 600);
        const QList<Row> rows = openItems(*s.conn);
        QVERIFY(rows.size() > 100);
        const QSet<qint64> all = expect(rows, [](const Row&) { return true; });
        QCOMPARE(ids(s, defaults()), all);

        // Each case: the arguments changed from the defaults and the rows it must keep. The
        // expected set must be a proper, non-empty part of the open items.
        auto check = [&](const char* name, const std::function<void(QVariantList&)>& change,
                         const std::function<bool(const Row&)>& keep) {
            QVariantList a = defaults();
            change(a);
            const QSet<qint64> want = expect(rows, keep);
            QVERIFY2(!want.isEmpty() && want.size() < all.size(), name);
            QVERIFY2(ids(s, a) == want, name);
        };

        const QString emis = median(rows, &Row::emis);
        check(
            "data do pedido",
            [&](QVariantList& a) {
                a[0] = dateOf(emis);
                a[1] = dateOf(emis).addDays(3);
                a[14] = QStringLiteral(" ");
            },
            [&](const Row& r) {
                return r.emis >= emis && r.emis <= dateOf(emis).addDays(3).toString(Qt::ISODate);
            });
        const QString entr = median(rows, &Row::entr);
        check(
            "data de entrega, só o final",
            [&](QVariantList& a) {
                a[3] = dateOf(entr);
                a[15] = QStringLiteral(" ");
            },
            [&](const Row& r) { return r.entr <= entr; });
        const QString embq = median(rows, &Row::embq);
        check(
            "data de embarque, só a inicial",
            [&](QVariantList& a) {
                a[4] = double(QDate(1899, 12, 30).daysTo(dateOf(embq)));
                a[13] = QStringLiteral(" ");
            },
            [&](const Row& r) { return !r.embq.isEmpty() && r.embq >= embq; });

        const QString dest = common(rows, &Row::dest);
        const QString ol = common(rows, &Row::ol);
        check(
            "filiais",
            [&](QVariantList& a) {
                a[6] = QString();
                a[7] = keys({dest, QStringLiteral("9999")});
            },
            [&](const Row& r) { return r.dest == dest; });
        check(
            "OL",
            [&](QVariantList& a) {
                a[8] = QString();
                a[9] = keys({ol});
            },
            [&](const Row& r) { return r.ol == ol; });
        {
            const QString group =
                s.conn->scalar(QStringLiteral("SELECT MIN(CDGRUPFILI) FROM GRUPFILIFILI"))
                    .toString();
            QSet<QString> members;
            QSqlQuery q = s.conn->exec(
                QStringLiteral("SELECT CDFILIAL FROM GRUPFILIFILI WHERE CDGRUPFILI = ?"), {group});
            while (q.next())
                members.insert(q.value(0).toString());
            check(
                "agrupamento", [&](QVariantList& a) { a[10] = group; },
                [&](const Row& r) { return members.contains(r.dest); });
        }

        const QString tree = median(rows, &Row::tree);
        check(
            "produto inicial", [&](QVariantList& a) { a[11] = tree; },
            [&](const Row& r) { return r.tree >= tree; });
        const QString prefix = tree.left(4);
        check(
            "produto final com Z", [&](QVariantList& a) { a[12] = prefix.leftJustified(20, u'Z'); },
            [&](const Row& r) { return r.tree.left(4) <= prefix; });

        const QString region = common(rows, &Row::region);
        check(
            "regiões",
            [&](QVariantList& a) {
                a[16] = keys({region});
                a[17] = QString();
            },
            [&](const Row& r) { return r.region == region; });
        check(
            "bloqueados", [&](QVariantList& a) { a[20] = QString(); },
            [&](const Row& r) { return r.blocked == u"S"; });
        check(
            "desbloqueados", [&](QVariantList& a) { a[19] = QString(); },
            [&](const Row& r) { return r.blocked != u"S"; });
        const QString bloq = median(rows, &Row::dtBloq);
        check(
            "janela de bloqueio",
            [&](QVariantList& a) {
                a[20] = QString();
                a[21] = QString();
                a[22] = dateOf(bloq);
                a[23] = double(QDate(1899, 12, 30).daysTo(dateOf(bloq))) + 1.0;
            },
            [&](const Row& r) { return r.blocked == u"S" && r.dtBloq == bloq; });
        const QString desbloq = median(rows, &Row::dtDesbloq);
        QVERIFY(!desbloq.isEmpty());
        check(
            "janela de desbloqueio",
            [&](QVariantList& a) {
                a[19] = QString();
                a[24] = QString();
                a[25] = dateOf(desbloq);
            },
            [&](const Row& r) {
                return r.blocked != u"S" && !r.dtDesbloq.isEmpty() && r.dtDesbloq >= desbloq;
            });
        check(
            "pedido extra", [&](QVariantList& a) { a[27] = QStringLiteral("S"); },
            [&](const Row& r) { return r.extra == u"S"; });
        check(
            "pedido não extra", [&](QVariantList& a) { a[27] = QStringLiteral("N"); },
            [&](const Row& r) { return r.extra != u"S"; });
        check(
            "com reserva", [&](QVariantList& a) { a[28] = QStringLiteral("2"); },
            [&](const Row& r) { return r.reserved > 0; });
        check(
            "sem reserva", [&](QVariantList& a) { a[28] = QStringLiteral("3"); },
            [&](const Row& r) { return r.reserved <= 0; });
        check(
            "sem lote", [&](QVariantList& a) { a[29] = QStringLiteral("T"); },
            [&](const Row& r) { return r.batch.isEmpty(); });
        const QString batch = common(rows, &Row::batch);
        check(
            "lotes", [&](QVariantList& a) { a[29] = keys({batch}); },
            [&](const Row& r) { return r.batch == batch; });
        const QString sub = common(rows, &Row::subgroup);
        QString subGroup;
        for (const Row& r : rows)
            if (r.subgroup == sub)
                subGroup = r.group;
        check(
            "subgrupo",
            [&](QVariantList& a) {
                a[30] = keys({sub});
                a[31] = subGroup;
            },
            [&](const Row& r) { return r.subgroup == sub; });
        const QString route = common(rows, &Row::route);
        check(
            "rotas", [&](QVariantList& a) { a[32] = keys({route}); },
            [&](const Row& r) { return r.route == route; });
        const QString brand = common(rows, &Row::brand);
        check(
            "marcas", [&](QVariantList& a) { a[33] = keys({brand}); },
            [&](const Row& r) { return r.brand == brand; });

        // A sub-group outside the product group given matches nothing.
        {
            QVariantList a = defaults();
            a[30] = keys({sub});
            a[31] = QStringLiteral("XX");
            QVERIFY(ids(s, a).isEmpty());
        }
        // Hostile key lists are keys like any other: they match nothing and break nothing.
        for (const QString& hostile :
             {QStringLiteral("_' OR '1'='1_"), QStringLiteral("_\"}, {\"_"), QStringLiteral("_%_"),
              QStringLiteral("_0001') --_")}) {
            for (int i : {7, 9, 16, 29, 33}) {
                QVariantList a = defaults();
                a[6] = a[8] = a[17] = a[33] = QString();
                a[6] = i == 7 ? QString() : QStringLiteral("T");
                a[8] = i == 9 ? QString() : QStringLiteral("T");
                a[17] = i == 16 ? QString() : QStringLiteral("T");
                a[33] = i == 33 ? QString() : QStringLiteral("T");
                a[i] = hostile;
                QVERIFY2(ids(s, a).isEmpty(), qPrintable(hostile));
            }
        }
        QVERIFY(s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM")).toInt() > 0);
    }

    // Codes are found in whatever letter case they are typed: the route list (codes seeded in
    // capitals) typed in small letters, and a branch stored in mixed case asked for in capitals,
    // by the key list and by the grouping. The answer carries the codes as stored.
    void codesTypedInAnotherCase_data() { suptest::addDatabaseRows(); }
    void codesTypedInAnotherCase() {
        QFETCH(QString, db);
        SeededServer s(db, 300);
        const sql::Connection& c = *s.conn;
        const QString from =
            c.scalar(
                 QStringLiteral("SELECT MIN(CDFILDEST) FROM PEDIDOOLITEM WHERE IDSITUITEM = 'A'"))
                .toString();
        c.exec(QStringLiteral("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, CDREGIAO, CDROTATRANS,"
                              " CDFILCENTCMP, IDFUNCAOFILI) SELECT 'Lj7a', NMFILIAL, CDREGIAO,"
                              " CDROTATRANS, CDFILCENTCMP, IDFUNCAOFILI FROM FILIAL"
                              " WHERE CDFILIAL = ?"),
               {from});
        c.exec(QStringLiteral("INSERT INTO FILIOPER (CDFILIAL, CDOPERADOR)"
                              " SELECT 'Lj7a', CDOPERADOR FROM FILIOPER WHERE CDFILIAL = ?"),
               {from});
        c.exec(
            QStringLiteral("INSERT INTO GRUPFILI (CDGRUPFILI, NMGRUPFILI) VALUES ('gMix', 'x')"));
        c.exec(QStringLiteral(
            "INSERT INTO GRUPFILIFILI (CDGRUPFILI, CDFILIAL) VALUES ('GMIX', 'LJ7A')"));
        c.exec(QStringLiteral("UPDATE PEDIDOOLITEM SET CDFILDEST = 'Lj7a' WHERE CDFILDEST = ?"),
               {from});

        const QList<Row> rows = openItems(c);
        const QSet<qint64> moved = expect(rows, [](const Row& r) { return r.dest == u"Lj7a"; });
        QVERIFY(!moved.isEmpty());
        QVariantList a = defaults();
        a[6] = QString();
        a[7] = keys({QStringLiteral("LJ7A")});
        QCOMPARE(ids(s, a), moved);
        const QVariantList answer = callItems(s, a);
        QVERIFY(answer.size() == 4);
        QVERIFY(answer[0]
                    .value<data::DataPacket>()
                    .value(0, u"CDFILDEST")
                    .toString()
                    .startsWith(u"Lj7a - "));
        a = defaults();
        a[10] = QStringLiteral("gmix");
        QCOMPARE(ids(s, a), moved);

        const QString route = common(rows, &Row::route);
        QVERIFY(route != route.toLower());
        a = defaults();
        a[32] = keys({route.toLower()});
        QCOMPARE(ids(s, a), expect(rows, [&](const Row& r) { return r.route == route; }));
    }

    void siblingPackets_data() { suptest::addDatabaseRows(); }
    void siblingPackets() {
        QFETCH(QString, db);
        SeededServer s(db, 300);
        const QList<Row> rows = openItems(*s.conn);
        const QString dest = common(rows, &Row::dest);
        QVariantList a = defaults();
        a[6] = QString();
        a[7] = keys({dest});
        QVariantList answer = callItems(s, a);
        QCOMPARE(answer.size(), 4);
        const data::DataPacket items = answer[0].value<data::DataPacket>();
        QCOMPARE(items.fields(), contracts::orderItemFields());
        const data::DataPacket params = answer[1].value<data::DataPacket>();
        QCOMPARE(params.fields(), contracts::paramFilialFields());
        // The destination, and the operator's processing branch, a central purchasing branch
        // that is its own central and works with reservations.
        QCOMPARE(params.rowCount(), 2);
        QCOMPARE(params.value(0, u"CDFILIAL").toString(), server::kCentralBranch);
        QCOMPARE(params.value(0, u"CDFILCENTCMP").toString(), server::kCentralBranch);
        QCOMPARE(params.value(0, u"IDUTRESPEDEXOL").toString(), QStringLiteral("S"));
        QCOMPARE(params.value(1, u"CDFILIAL").toString(), dest);
        QCOMPARE(params.value(1, u"CDFILCENTCMP").toString(),
                 s.conn
                     ->scalar(QStringLiteral("SELECT CDFILCENTCMP FROM FILIAL WHERE CDFILIAL = ?"),
                              {dest})
                     .toString());
        const data::DataPacket adj = answer[2].value<data::DataPacket>();
        QCOMPARE(adj.fields(), contracts::ajusteQtdeFields());
        QCOMPARE(adj.rowCount(),
                 s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM AJUSTEQTDE")).toLongLong());
        QVERIFY(answer[3].value<data::DataPacket>().rowCount() > 0); // DEMO may block

        // A buyer without the authorisation gets no group rows and only its own branches.
        answer = callItems(s, defaults(), QStringLiteral("COMPRAS1"));
        QCOMPARE(answer.size(), 4);
        QCOMPARE(answer[3].value<data::DataPacket>().rowCount(), 0);
        const data::DataPacket mine = answer[0].value<data::DataPacket>();
        QSet<QString> allowed;
        QSqlQuery q = s.conn->exec(
            QStringLiteral("SELECT CDFILIAL FROM FILIOPER WHERE CDOPERADOR = 'COMPRAS1'"));
        while (q.next())
            allowed.insert(q.value(0).toString());
        QVERIFY(mine.rowCount() > 0 && mine.rowCount() < rows.size());
        for (qsizetype r = 0; r < mine.rowCount(); ++r)
            QVERIFY(allowed.contains(mine.value(r, u"CDFILDEST").toString().left(4)));

        // Listed branches are narrowed to the buyer's own, whatever the case they are typed in:
        // one of its branches beside one it may not see gives that branch's items alone.
        QString own, foreign;
        for (const Row& r : rows) {
            if (own.isEmpty() && allowed.contains(r.dest))
                own = r.dest;
            if (foreign.isEmpty() && !allowed.contains(r.dest))
                foreign = r.dest;
        }
        QVERIFY(!own.isEmpty() && !foreign.isEmpty());
        QVariantList listed = defaults();
        listed[6] = QString();
        listed[7] = keys({own.toLower(), foreign});
        const data::DataPacket narrowed =
            callItems(s, listed, QStringLiteral("COMPRAS1"))[0].value<data::DataPacket>();
        QVariantList alone = listed;
        alone[7] = keys({own});
        const qsizetype ownCount =
            callItems(s, alone, QStringLiteral("COMPRAS1"))[0].value<data::DataPacket>().rowCount();
        QVERIFY(ownCount > 0);
        QCOMPARE(narrowed.rowCount(), ownCount);
        for (qsizetype r = 0; r < narrowed.rowCount(); ++r)
            QCOMPARE(narrowed.value(r, u"CDFILDEST").toString().left(4), own);

        // An empty answer still carries four packets, the processing branch's parameters among
        // them.
        a[7] = keys({QStringLiteral("ZZZZ")});
        answer = callItems(s, a);
        QCOMPARE(answer.size(), 4);
        QCOMPARE(answer[0].value<data::DataPacket>().rowCount(), 0);
        QCOMPARE(answer[1].value<data::DataPacket>().rowCount(), 1);
    }

    void argumentFaults() {
        SeededServer s(QStringLiteral("sqlite"), 50);
        QVariantList a = defaults();
        a[23] = QStringLiteral("amanhã");
        QVariant v = s.call(QStringLiteral("GetItem"), a);
        QCOMPARE(contracts::faultOf(v).code, QStringLiteral("args"));
        QVERIFY(contracts::faultOf(v).message.contains(u"argumento 24"));
        a = defaults();
        a[7] = 7;
        v = s.call(QStringLiteral("GetItem"), a);
        QCOMPARE(contracts::faultOf(v).code, QStringLiteral("args"));
        a = defaults();
        a[28] = QStringLiteral("4");
        v = s.call(QStringLiteral("GetItem"), a);
        QCOMPARE(contracts::faultOf(v).code, QStringLiteral("args"));
        QVERIFY(contracts::faultOf(v).message.contains(u"reserva"));
        v = s.call(QStringLiteral("GetFiliAgrupFili"), {QStringLiteral("G1")});
        QCOMPARE(contracts::faultOf(v).code, QStringLiteral("args"));
    }

    void lookups_data() { suptest::addDatabaseRows(); }
    void lookups() {
        QFETCH(QString, db);
        SeededServer s(db, 100);
        auto packet = [&](const char* m, const QVariantList& args = {}) {
            return s.call(QString::fromLatin1(m), args).value<data::DataPacket>();
        };
        auto count = [&](const char* sqlText, const QVariantList& b = {}) {
            return s.conn->scalar(QString::fromLatin1(sqlText), b).toLongLong();
        };
        const data::DataPacket groups = packet("GetAgruFili");
        QVERIFY(groups.rowCount() > 0);
        QCOMPARE(groups.rowCount(), count("SELECT COUNT(*) FROM GRUPFILI"));
        QVERIFY(groups.indexOf(u"NMGRUPFILI") >= 0);

        const QString g = groups.value(0, u"CDGRUPFILI").toString();
        const data::DataPacket members =
            packet("GetFiliAgrupFili", {g, QString(), QStringLiteral("T"), QString()});
        QCOMPARE(members.rowCount(),
                 count("SELECT COUNT(*) FROM GRUPFILIFILI WHERE CDGRUPFILI = ?", {g}));
        QVERIFY(members.rowCount() > 0);
        const QString region = members.value(0, u"CDREGIAO").toString();
        const data::DataPacket inRegion =
            packet("GetFiliAgrupFili", {g, keys({region}), QString(), QString()});
        QCOMPARE(inRegion.rowCount(),
                 count("SELECT COUNT(*) FROM GRUPFILIFILI G JOIN FILIAL F ON F.CDFILIAL ="
                       " G.CDFILIAL WHERE G.CDGRUPFILI = ? AND F.CDREGIAO = ?",
                       {g, region}));
        // The operator restriction follows the signed-on operator, whatever code is passed.
        const QString narrow =
            s.conn
                ->scalar(QStringLiteral(
                    "SELECT MIN(G.CDGRUPFILI) FROM GRUPFILIFILI G WHERE NOT EXISTS (SELECT 1 FROM"
                    " FILIOPER O WHERE O.CDFILIAL = G.CDFILIAL AND O.CDOPERADOR = 'COMPRAS1')"))
                .toString();
        QVERIFY(!narrow.isEmpty());
        const QVariantList byOperator{narrow, QString(), QStringLiteral("T"),
                                      QStringLiteral("COMPRAS1")};
        const data::DataPacket ofPlain =
            s.call(QStringLiteral("GetFiliAgrupFili"), byOperator, server::kModuleAltPedidosOL,
                   QStringLiteral("COMPRAS1"))
                .value<data::DataPacket>();
        QCOMPARE(ofPlain.rowCount(),
                 count("SELECT COUNT(*) FROM GRUPFILIFILI G JOIN FILIOPER O ON O.CDFILIAL ="
                       " G.CDFILIAL WHERE G.CDGRUPFILI = ? AND O.CDOPERADOR = 'COMPRAS1'",
                       {narrow}));
        QVERIFY(ofPlain.rowCount() <
                count("SELECT COUNT(*) FROM GRUPFILIFILI WHERE CDGRUPFILI = ?", {narrow}));
        QCOMPARE(packet("GetFiliAgrupFili", byOperator).rowCount(),
                 count("SELECT COUNT(*) FROM GRUPFILIFILI G JOIN FILIOPER O ON O.CDFILIAL ="
                       " G.CDFILIAL WHERE G.CDGRUPFILI = ? AND O.CDOPERADOR = 'DEMO'",
                       {narrow}));
        QCOMPARE(
            packet("GetFiliAgrupFili", {g, QStringLiteral("_' OR 1=1 --_"), QString(), QString()})
                .rowCount(),
            0);

        const data::DataPacket products = packet("GetProduto", {QString()});
        QCOMPARE(products.rowCount(), count("SELECT COUNT(DISTINCT CDPRODUTO) FROM PRODRELACOL"));
        QVERIFY(products.rowCount() < count("SELECT COUNT(*) FROM PRODUTO"));

        const QString prefix =
            products.value(products.rowCount() - 1, u"CDARVPROD").toString().left(4);
        const data::DataPacket some = packet("GetProduto", {prefix});
        QVERIFY(some.rowCount() > 0 && some.rowCount() < products.rowCount());
        for (qsizetype r = 0; r < some.rowCount(); ++r)
            QVERIFY(some.value(r, u"CDARVPROD").toString().startsWith(prefix));
        QCOMPARE(packet("GetProduto", {QStringLiteral("'%")}).rowCount(), 0);
        QCOMPARE(packet("GetFiliAgrupFili",
                        {QStringLiteral("NAOHA"), QString(), QStringLiteral("T"), QString()})
                     .rowCount(),
                 0);

        const data::DataPacket batches = packet("GetLotePedOL");
        QCOMPARE(batches.rowCount(), count("SELECT COUNT(*) FROM LOTENVITOL"));
        QVERIFY(batches.indexOf(u"NMLOTENVITOL") >= 0);
    }
};

QTEST_GUILESS_MAIN(TestItems)
#include "tst_items.moc"
