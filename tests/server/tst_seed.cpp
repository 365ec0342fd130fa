#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/server/Items.h"

#include <QRegularExpression>
#include <QTest>

using namespace sup;
using suptest::SeededServer;

namespace {

QByteArray contentDigest(const sql::Connection& c) {
    QStringList tables = server::schemaTables();
    tables.removeAll(QStringLiteral("OPERADOR")); // password hashes carry a random salt
    return suptest::digest(c, tables);
}

int count(const sql::Connection& c, const QString& sql, const QVariantList& binds = {}) {
    return c.scalar(sql, binds).toInt();
}

} // namespace

class TestSeed : public QObject {
    Q_OBJECT

private slots:
    void isDeterministic() {
        SeededServer a(QStringLiteral("sqlite"), 800, 11);
        SeededServer b(QStringLiteral("sqlite"), 800, 11);
        SeededServer c(QStringLiteral("sqlite"), 800, 12);
        QCOMPARE(contentDigest(*a.conn), contentDigest(*b.conn));
        QVERIFY(contentDigest(*a.conn) != contentDigest(*c.conn));
        QCOMPARE(count(*a.conn, QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM")), 800);
        QCOMPARE(count(*c.conn, QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM")), 800);
    }

    void sameDataOnBothDatabases() {
        if (suptest::pgBaseUrl().isEmpty())
            QSKIP("SUP_TEST_PG not set");
        SeededServer lite(QStringLiteral("sqlite"), 500);
        SeededServer pg(QStringLiteral("postgresql"), 500);
        // The item packets (what the screens see) are equal row for row.
        QCOMPARE(server::selectItems(*pg.conn), server::selectItems(*lite.conn));
        for (const QString& t : server::schemaTables())
            QCOMPARE(count(*pg.conn, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t)),
                     count(*lite.conn, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t)));
    }

    void refusesADatabaseWithData() {
        SeededServer s(QStringLiteral("sqlite"), 10);
        server::SeedOptions o;
        o.fastHash = true;
        QVERIFY_THROWS_EXCEPTION(sql::SqlError, server::seedDatabase(*s.conn, o));
        QCOMPARE(count(*s.conn, QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM")), 10);
    }

    // A database of the first schema version (the demo data of an earlier release) is brought
    // up to date when the server opens it, its data kept; a later version is refused.
    void olderSchemaIsBroughtUpToDate_data() { suptest::addDatabaseRows(); }
    void olderSchemaIsBroughtUpToDate() {
        QFETCH(QString, db);
        SeededServer s(db, 10);
        sql::Connection& c = *s.conn;
        c.exec(QStringLiteral("ALTER TABLE AUDITORIA DROP COLUMN DSMOTIVO"));
        c.exec(QStringLiteral("DROP TABLE CHAMADAAPLICADA"));
        c.exec(QStringLiteral("ALTER TABLE LOTENVITOL DROP COLUMN DTFECHAMENTO"));
        c.exec(QStringLiteral("DELETE FROM SCHEMAVERSAO"));
        c.exec(QStringLiteral("INSERT INTO SCHEMAVERSAO (NRVERSAO) VALUES (1)"));
        server::installSchema(c);
        QCOMPARE(count(c, QStringLiteral("SELECT MAX(NRVERSAO) FROM SCHEMAVERSAO")),
                 server::kSchemaVersion);
        c.exec(QStringLiteral("SELECT DSMOTIVO FROM AUDITORIA"));
        QCOMPARE(count(c, QStringLiteral("SELECT COUNT(*) FROM CHAMADAAPLICADA")), 0);
        QCOMPARE(count(c, QStringLiteral("SELECT COUNT(*) FROM LOTENVITOL WHERE DTFECHAMENTO IS "
                                         "NOT NULL")),
                 0); // the batches of before are open
        QCOMPARE(count(c, QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM")), 10);
        server::installSchema(c); // nothing left to do
        c.exec(QStringLiteral("INSERT INTO SCHEMAVERSAO (NRVERSAO) VALUES (99)"));
        QVERIFY_THROWS_EXCEPTION(sql::SqlError, server::installSchema(c));
    }

    // A PostgreSQL database of schema 4 kept its codes in the case-insensitive extension type;
    // brought up to date, they are text in the codes' collation with their data, keys and
    // foreign keys, still found in any letter case.
    void extensionCodesMoveToTheCollation() {
        if (suptest::pgBaseUrl().isEmpty())
            QSKIP("SUP_TEST_PG not set");
        const auto pg = sql::Dialect::PostgreSQL;
        suptest::TestDatabase tdb(QStringLiteral("postgresql"));
        auto conn = tdb.open();
        sql::Connection& c = *conn;
        sql::installSqlFunctions(c);
        c.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext WITH SCHEMA public"));
        for (QString stmt : server::schemaStatements(pg))
            c.exec(stmt.replace(sql::codeType(pg), QStringLiteral("citext")));
        c.exec(QStringLiteral("INSERT INTO SCHEMAVERSAO (NRVERSAO) VALUES (4)"));
        c.exec(QStringLiteral("INSERT INTO REGIAO VALUES ('Sul', 'Região Sul')"));
        c.exec(QStringLiteral("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, CDREGIAO)"
                              " VALUES ('lj01', 'Loja', 'SUL')"));
        const QString citextColumns = QStringLiteral(
            "SELECT COUNT(*) FROM information_schema.columns WHERE table_schema = current_schema()"
            " AND udt_name = 'citext'");
        const QString foreignKeys = QStringLiteral(
            "SELECT COUNT(*) FROM information_schema.table_constraints"
            " WHERE table_schema = current_schema() AND constraint_type = 'FOREIGN KEY'");
        QVERIFY(count(c, citextColumns) > 50);
        const int keys = count(c, foreignKeys);
        QVERIFY(keys > 20);

        server::installSchema(c);
        QCOMPARE(count(c, QStringLiteral("SELECT MAX(NRVERSAO) FROM SCHEMAVERSAO")),
                 server::kSchemaVersion);
        QCOMPARE(count(c, citextColumns), 0);
        QCOMPARE(count(c, foreignKeys), keys);
        QCOMPARE(c.scalar(QStringLiteral("SELECT R.NMREGIAO FROM FILIAL F JOIN REGIAO R"
                                         " ON R.CDREGIAO = F.CDREGIAO WHERE F.CDFILIAL = ?"),
                          {QStringLiteral("LJ01")})
                     .toString(),
                 QStringLiteral("Região Sul"));
        try {
            c.exec(QStringLiteral("INSERT INTO REGIAO VALUES ('SUL', 'outra')"));
            QFAIL("a region differing only in letter case was accepted");
        } catch (const sql::SqlError& e) {
            QVERIFY(e.isDuplicateKey());
        }
        QVERIFY_THROWS_EXCEPTION(
            sql::SqlError, c.exec(QStringLiteral("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, CDREGIAO)"
                                                 " VALUES ('lj02', 'Loja 2', 'Norte')")));
    }

    // The demo data must let every screen show its cases.
    void coversTheScreensCases() {
        SeededServer s(QStringLiteral("sqlite"), 3000);
        const sql::Connection& c = *s.conn;
        auto atLeast = [&](const char* what, const QString& sql, int n) {
            const int got = count(c, sql);
            QVERIFY2(got >= n,
                     qPrintable(QStringLiteral("%1: %2").arg(QString::fromUtf8(what)).arg(got)));
        };
        atLeast("blocked",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE IDITMPEDOLBLOQ = 'S' AND "
                               "IDSITUITEM = 'A'"),
                50);
        atLeast(
            "unblocked again",
            QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE DTDESBLOQITMPEDOL IS NOT NULL"),
            20);
        atLeast("reserved",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE QTRESERVESTOL > 0"), 50);
        atLeast("adjustment",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE IDITEMAJUSTE = 'S'"), 20);
        atLeast("in a batch",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE CDLOTENVITOL IS NOT NULL"),
                100);
        atLeast("extra orders",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE IDPEDEXTRA = 'S'"), 50);
        atLeast("manual",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE IDTIPOEXOL = 'M'"), 50);
        atLeast("OLs", QStringLiteral("SELECT COUNT(DISTINCT CDFILIOPELOG) FROM PEDIDOOLITEM"), 3);
        atLeast("orders with several OLs per branch",
                QStringLiteral(
                    "SELECT COUNT(*) FROM (SELECT CDFILDEST FROM PEDIDOOLITEM GROUP BY CDFILDEST"
                    " HAVING COUNT(DISTINCT CDFILIOPELOG) > 1) X"),
                5);
        atLeast(
            "without OL relationship",
            QStringLiteral(
                "SELECT COUNT(*) FROM PEDIDOOLITEM I WHERE NOT EXISTS (SELECT 1 FROM PRODRELACOL R"
                " WHERE R.CDFILIOPELOG = I.CDFILIOPELOG AND R.CDPRODUTO = I.CDPRODUTO)"),
            30);
        atLeast(
            "product replaced at import",
            QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE CDPRODORIGPEDOL <> CDPRODUTO"),
            30);
        atLeast("written off or direct delivery",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE IDSITUITEM <> 'A'"), 30);
        atLeast("packagings",
                QStringLiteral("SELECT COUNT(*) FROM PRODUTO WHERE CDPRODESTO <> CDPRODUTO"), 20);
        atLeast("quantity adjustments", QStringLiteral("SELECT COUNT(*) FROM AJUSTEQTDE"), 20);
        atLeast("inactive products",
                QStringLiteral("SELECT COUNT(*) FROM PRODUTO WHERE IDPRODATIVPR = 'N'"), 2);
        for (const char* type : {"0", "1", "2", "3"})
            atLeast("particularity",
                    QStringLiteral("SELECT COUNT(*) FROM PARTFILIPROD WHERE CDTIPPART = '%1'")
                        .arg(QString::fromLatin1(type)),
                    3);
        atLeast("particularity kinds where brand preferences are checked",
                QStringLiteral("SELECT COUNT(DISTINCT T.CDTIPPART) FROM PARTFILIPROD T"
                               " JOIN PARAMFILIAL F ON F.CDFILIAL = T.CDFILIAL"
                               " WHERE F.IDUTLMARPREFOL = 'S' AND F.IDPROSEMMAR <> 'S'"),
                7);
        atLeast("products no OL handles",
                QStringLiteral("SELECT COUNT(*) FROM PRODUTO P WHERE P.CDPRODESTO IS NOT NULL"
                               " AND NOT EXISTS (SELECT 1 FROM PRODRELACOL R"
                               " WHERE R.CDPRODUTO = P.CDPRODUTO) AND NOT EXISTS"
                               " (SELECT 1 FROM ESTOQUEOL E WHERE E.CDPRODUTO = P.CDPRODUTO)"),
                1);
        atLeast("products of the OL purchase tree",
                QStringLiteral("SELECT COUNT(*) FROM PRODUTO P JOIN PARAMOL O"
                               " ON O.CDSUBGRARVOR = P.CDSUBGRPROD"
                               " WHERE O.IDUTLPRARVOLCMP = 'S' AND P.CDNVPRODUTO = '4'"),
                3);
        atLeast("reservation items at an OL without their product",
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM I WHERE I.IDUTRESPEDEXOL = 'S'"
                               " AND I.IDSITUITEM = 'A' AND NOT EXISTS (SELECT 1 FROM PRODRELACOL"
                               " R WHERE R.CDFILIOPELOG = I.CDFILIOPELOG AND R.CDPRODUTO ="
                               " I.CDPRODUTO)"),
                10);
        atLeast("not purchasable", QStringLiteral("SELECT COUNT(*) FROM PRODNCMP"), 3);
        atLeast("purchasable exception", QStringLiteral("SELECT COUNT(*) FROM PRODCMPFILI"), 3);
        atLeast("requests",
                QStringLiteral("SELECT COUNT(*) FROM SOLICOMPRA WHERE CDRASTRITM IS NOT NULL"),
                500);
        atLeast("requests without order",
                QStringLiteral("SELECT COUNT(*) FROM SOLICOMPRA WHERE CDRASTRITM IS NULL"), 10);
        atLeast(
            "calendar",
            QStringLiteral("SELECT COUNT(*) FROM PERIFILIPROD WHERE DSDIASENTREGA <> 'SSSSSSS'"),
            20);
        atLeast("batches", QStringLiteral("SELECT COUNT(*) FROM LOTENVITOL"), 4);
        atLeast("open batches of each OL",
                QStringLiteral("SELECT COUNT(DISTINCT CDFILIOPELOG) FROM LOTENVITOL WHERE "
                               "DTFECHAMENTO IS NULL"),
                4);
        atLeast("closed batches",
                QStringLiteral("SELECT COUNT(*) FROM LOTENVITOL WHERE DTFECHAMENTO IS NOT NULL"),
                1);
        atLeast("groupings", QStringLiteral("SELECT COUNT(*) FROM GRUPFILI"), 3);
        atLeast("stock without balance",
                QStringLiteral("SELECT COUNT(*) FROM ESTOQUEOL WHERE QTSALDO = 0"), 10);
        atLeast("operators with BLIP",
                QStringLiteral("SELECT COUNT(DISTINCT O.CDOPERADOR) FROM OPERGRUPOP O JOIN "
                               "AUTGRUPOP A ON A.CDGRUPOPER ="
                               " O.CDGRUPOPER WHERE A.IDAUTGRUPOP = 'BLIP'"),
                2);
        atLeast("PEOL groups",
                QStringLiteral("SELECT COUNT(*) FROM AUTGRUPOP WHERE IDAUTGRUPOP = 'PEOL' AND "
                               "NRAUTGRUPOP = '001'"),
                1);
        atLeast("logistics operators",
                QStringLiteral("SELECT COUNT(*) FROM FILIAL WHERE IDFUNCAOFILI = 'O'"), 3);

        // Reserved quantities agree with the stock's reserved part.
        QCOMPARE(
            c.scalar(QStringLiteral("SELECT SUM(QTRESERVADO) FROM ESTOQUEOL")).toDouble(),
            c.scalar(QStringLiteral("SELECT SUM(QTRESERVESTOL) FROM PEDIDOOLITEM")).toDouble());
        QCOMPARE(
            count(c, QStringLiteral("SELECT COUNT(*) FROM ESTOQUEOL WHERE QTRESERVADO > QTSALDO")),
            0);
    }

    void treeCodesFitTheMask() {
        SeededServer s(QStringLiteral("sqlite"), 200);
        const QString mask =
            s.conn->scalar(QStringLiteral("SELECT DSPICTPROD FROM PARAMGERAL")).toString();
        QCOMPARE(mask, QStringLiteral("99.99.999.9999;0;_"));
        // Digits only (literals not stored), level 1..4 are 2, 4, 7 and 11 digits, and every
        // node below the top has its parent in the tree.
        static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
        const QList<int> lengths{0, 2, 4, 7, 11};
        QSqlQuery q = s.conn->exec(QStringLiteral("SELECT CDARVPROD, CDNVPRODUTO FROM PRODUTO"));
        QSet<QString> codes;
        QList<QPair<QString, int>> all;
        while (q.next()) {
            codes.insert(q.value(0).toString());
            all << qMakePair(q.value(0).toString(), q.value(1).toInt());
        }
        for (const auto& [code, level] : all) {
            QVERIFY2(digits.match(code).hasMatch(), qPrintable(code));
            QCOMPARE(code.size(), lengths[level]);
            if (level > 1)
                QVERIFY2(codes.contains(code.left(lengths[level - 1])), qPrintable(code));
        }
        QCOMPARE(
            count(
                *s.conn,
                QStringLiteral(
                    "SELECT COUNT(*) FROM PRODUTO WHERE CDNVPRODUTO = '4' AND CDPRODESTO IS NULL")),
            0);
        QCOMPARE(count(*s.conn, QStringLiteral("SELECT COUNT(*) FROM PRODUTO WHERE CDNVPRODUTO <> "
                                               "'4' AND CDPRODESTO IS NOT NULL")),
                 0);
    }

    void passwordsAreArgon2Hashes() {
        SeededServer s(QStringLiteral("sqlite"), 10);
        QSqlQuery q = s.conn->exec(QStringLiteral("SELECT CDOPERADOR, DSSENHAHASH FROM OPERADOR"));
        int n = 0;
        while (q.next()) {
            const QString hash = q.value(1).toString();
            QVERIFY(hash.startsWith(u"$argon2id$"));
            QVERIFY(!hash.contains(u"sup07700"));
            QVERIFY(server::verifyPassword(hash, QStringLiteral("sup07700")));
            QVERIFY(!server::verifyPassword(hash, QStringLiteral("sup07701")));
            ++n;
        }
        QVERIFY(n >= 4);
        QVERIFY(!server::verifyPassword(QStringLiteral("texto"), QStringLiteral("sup07700")));
    }
};

QTEST_GUILESS_MAIN(TestSeed)
#include "tst_seed.moc"
