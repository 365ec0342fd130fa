// The routine's local queries, in their default-dialect texts, run on the server's schema and
// seed data on both databases (the host runs them the same way: texts joined line by line,
// parameters bound by name).

#include "ServerFixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace sup;
using suptest::SeededServer;

namespace {

QList<QStringList> run(const sql::Connection& c, const QStringList& lines,
                       const QVariantMap& params = {}) {
    QSqlQuery q = c.query();
    if (!q.prepare(lines.join(u'\n')))
        qFatal("prepare: %s", qPrintable(q.lastError().text()));
    for (auto it = params.begin(); it != params.end(); ++it)
        q.bindValue(u':' + it.key(), it.value());
    if (!q.exec())
        qFatal("exec: %s\n%s", qPrintable(q.lastError().text()), qPrintable(lines.join(u'\n')));
    QList<QStringList> rows;
    while (q.next()) {
        QStringList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i).toString();
        rows << r;
    }
    return rows;
}

QStringList firstColumn(const QList<QStringList>& rows) {
    QStringList out;
    for (const auto& r : rows)
        out << r.value(0);
    return out;
}

} // namespace

class TestLocalQueries : public QObject {
    Q_OBJECT

private slots:
    void branchQueries_data() { suptest::addDatabaseRows(); }
    void branchQueries() {
        QFETCH(QString, db);
        SeededServer s(db, 50);
        const sql::Connection& c = *s.conn;
        // qryCentCmp, both forms.
        auto r =
            run(c,
                {"SELECT",
                 "  CAST(NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS VARCHAR(4)) AS CDFILIAL,",
                 "  FILIAL.NMFILIAL        AS NMFILIAL_CENTRAL", "FROM", "  FILIAL", "WHERE",
                 "  FILIAL.CDFILIAL = :P_CDFILIAL"},
                {{"P_CDFILIAL", "0012"}});
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0][0], QStringLiteral("0001"));
        r = run(c,
                {"SELECT",
                 "  CAST(NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS VARCHAR(4)) AS CDFILIAL,",
                 "  FIL.NMFILIAL        AS NMFILIAL_CENTRAL", "FROM", "  FILIAL,", "  FILIAL FIL",
                 "WHERE", "  FILIAL.CDFILIAL = :P_CDFILIAL      AND",
                 "  NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) = FIL.CDFILIAL"},
                {{"P_CDFILIAL", "0001"}});
        QCOMPARE(r.value(0).value(1), QStringLiteral("Central de Compras São Paulo"));
        // qryFiliCent, default and the PARAM form.
        QCOMPARE(firstColumn(run(c,
                                 {"SELECT NVL(CDFILCENTCMP, CDFILIAL) CDFILCENTCMP",
                                  "  FROM FILIAL", " WHERE CDFILIAL = :P_CDFILIAL"},
                                 {{"P_CDFILIAL", "0030"}})),
                 QStringList{QStringLiteral("0002")});
        QCOMPARE(
            firstColumn(run(c,
                            {"SELECT SUBSTR(NVLSTR(CDFILCENTCMP, CDFILIAL), 1, 4)  CDFILCENTCMP",
                             "  FROM FILIAL, PARAM(:P_CDFILIAL) P1", " WHERE CDFILIAL = P1.PARAM"},
                            {{"P_CDFILIAL", "0012"}})),
            QStringList{QStringLiteral("0001")});

        // qryFilial: by region list, or every branch.
        const QStringList filial = {
            "SELECT",
            "FILIAL.CDFILIAL,",
            "FILIAL.NMFILIAL,",
            "FILIAL.CDREGIAO",
            "FROM",
            "FILIAL,",
            "PARAM(:P_CDREGIAO) P_CDREGIAO",
            "WHERE (INSTR(P_CDREGIAO.PARAM, CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')",
            "AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')",
            "ORDER BY",
            "FILIAL.CDFILIAL"};
        r = run(c, filial,
                {{"P_CDREGIAO", "_001__006_"},
                 {"P_TCDREGIAO", ""},
                 {"P_CDFILIAL", ""},
                 {"P_TCDFILIAL", "T"}});
        const int inRegions =
            c.scalar(QStringLiteral("SELECT COUNT(*) FROM FILIAL WHERE CDREGIAO IN ('001', '006')"))
                .toInt();
        QCOMPARE(r.size(), inRegions);
        for (const auto& row : r)
            QVERIFY(row[2] == u"001" || row[2] == u"006");
        QCOMPARE(run(c, filial,
                     {{"P_CDREGIAO", "T"},
                      {"P_TCDREGIAO", "T"},
                      {"P_CDFILIAL", ""},
                      {"P_TCDFILIAL", "T"}})
                     .size(),
                 c.scalar(QStringLiteral("SELECT COUNT(*) FROM FILIAL")).toInt());
        QCOMPARE(run(c, filial,
                     {{"P_CDREGIAO", "T"},
                      {"P_TCDREGIAO", "T"},
                      {"P_CDFILIAL", "0012"},
                      {"P_TCDFILIAL", ""}})
                     .size(),
                 1);

        // qryFilial2: the branches linked to the operator.
        r = run(c,
                {"SELECT", "FILIAL.CDFILIAL,", "FILIAL.NMFILIAL,", "FILIAL.CDREGIAO", "FROM",
                 "FILIAL,", "FILIOPER,", "PARAM(:P_CDREGIAO) P_CDREGIAO",
                 "WHERE (INSTR(P_CDREGIAO.PARAM, CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')",
                 "AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')",
                 "AND (FILIAL.CDFILIAL = FILIOPER.CDFILIAL)",
                 "AND (FILIOPER.CDOPERADOR = :P_CDOPERADOR)", "ORDER BY", "FILIAL.CDFILIAL"},
                {{"P_CDREGIAO", "T"},
                 {"P_TCDREGIAO", "T"},
                 {"P_CDFILIAL", ""},
                 {"P_TCDFILIAL", "T"},
                 {"P_CDOPERADOR", server::kBranchOperator}});
        QCOMPARE(firstColumn(r), QStringList{QStringLiteral("0012")});

        QCOMPARE(run(c,
                     {"SELECT", "FILIAL.CDFILIAL,", "FILIAL.NMFILIAL", "FROM", "FILIAL",
                      "WHERE FILIAL.IDFUNCAOFILI = 'O'",
                      "AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')", "ORDER BY",
                      "FILIAL.CDFILIAL"},
                     {{"P_CDFILIAL", ""}, {"P_TCDFILIAL", "T"}})
                     .size(),
                 4);
        QCOMPARE(
            run(c, {"SELECT CDREGIAO,", "NMREGIAO", "FROM REGIAO", "ORDER BY CDREGIAO"}).size(), 6);
        QCOMPARE(run(c, {"SELECT", "CDROTATRANS,", "NMROTATRANS", "FROM ROTATRANS",
                         "ORDER BY CDROTATRANS"})
                     .size(),
                 12);
        QCOMPARE(run(c,
                     {"SELECT CDSUBGRPROD, NMSUBGRPROD", "FROM SUBGRUPPROD",
                      "WHERE (CDGRUPPROD = :P_CDGRUPPROD)", "ORDER BY CDSUBGRPROD"},
                     {{"P_CDGRUPPROD", "01"}})
                     .size(),
                 4);
        QCOMPARE(firstColumn(run(c, {"SELECT IDRESTRFILIOPER FROM PARAMGERAL"})),
                 QStringList{QStringLiteral("S")});
    }

    void productAndOperatorQueries_data() { suptest::addDatabaseRows(); }
    void productAndOperatorQueries() {
        QFETCH(QString, db);
        SeededServer s(db, 50);
        const sql::Connection& c = *s.conn;
        const QString leaf =
            c.scalar(QStringLiteral("SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDNVPRODUTO = '4'"))
                .toString();
        const QString node =
            c.scalar(QStringLiteral("SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDNVPRODUTO = '2'"))
                .toString();
        const QStringList vdProduto = {"SELECT",
                                       "  CDPRODUTO,",
                                       "  CDARVPROD,",
                                       "  CDNVPRODUTO,",
                                       "  NMPRODUTO,",
                                       "  SGUNIDADE",
                                       "FROM",
                                       "  PRODUTO",
                                       "WHERE",
                                       "   CDPRODESTO IS NOT NULL  AND",
                                       "   CDPRODUTO = :P_CDPRODUTO",
                                       "ORDER BY",
                                       "  CDARVPROD"};
        QCOMPARE(run(c, vdProduto, {{"P_CDPRODUTO", leaf}}).size(), 1);
        QCOMPARE(run(c, vdProduto, {{"P_CDPRODUTO", node}}).size(), 0); // tree nodes are not bought

        // qryVer_ProdNCmp: a branch that may not buy beverages, except water.
        const QString beverages =
            c.scalar(QStringLiteral("SELECT CDPRODUTO FROM PRODUTO WHERE CDARVPROD = '04'"))
                .toString();
        const QString branch =
            c.scalar(QStringLiteral("SELECT MIN(CDFILIAL) FROM PRODNCMP WHERE CDPRODUTO = ?"),
                     {beverages})
                .toString();
        QVERIFY(!branch.isEmpty());
        const QStringList ncmp = {
            "SELECT CAST(COUNT(*) AS NUMERIC) AS CONTA",
            "FROM PRODNCMP, PRODUTO",
            "WHERE",
            "   PRODNCMP.CDPRODUTO = PRODUTO.CDPRODUTO AND",
            "   PRODNCMP.CDFILIAL = :P_CDFILDEST AND",
            "   SUBSTR(:P_CDPRODUTO, 1, LENGTH(PRODUTO.CDARVPROD)) = PRODUTO.CDARVPROD AND",
            "   PRODUTO.CDARVPROD > (SELECT NVLSTR(MAX(PR.CDARVPROD), '0')",
            "                        FROM PRODCMPFILI, PRODUTO PR",
            "                        WHERE PRODCMPFILI.CDPRODUTO = PR.CDPRODUTO AND",
            "                              SUBSTR(:P_CDPRODUTO, 1, LENGTH(PR.CDARVPROD)) = "
            "PR.CDARVPROD AND",
            "                              PRODCMPFILI.CDFILIAL = :P_CDFILDEST)"};
        auto conta = [&](const char* tree) {
            return run(c, ncmp,
                       {{"P_CDFILDEST", branch}, {"P_CDPRODUTO", QString::fromLatin1(tree)}})
                .value(0)
                .value(0)
                .toDouble();
        };
        QVERIFY(conta("04010010001") > 0);   // a soft drink
        QCOMPARE(conta("04030010001"), 0.0); // water: allowed deeper in the tree
        QCOMPARE(conta("01010010001"), 0.0); // groceries

        QCOMPARE(run(c,
                     {"SELECT", "  CDMARCA,", "  NMMARCA", "FROM", "  MARCA", "WHERE",
                      "  CDMARCA = :P_CDMARCA"},
                     {{"P_CDMARCA", "00001"}})
                     .value(0)
                     .value(1),
                 QStringLiteral("Boa Safra"));
        QCOMPARE(run(c, {"SELECT", "  MARCA.CDMARCA,", "  MARCA.NMMARCA", "FROM", "  MARCA", "/**/",
                         "ORDER BY", "   MARCA.CDMARCA"})
                     .size(),
                 30);
        QVERIFY(run(c,
                    {"SELECT", "   PRODUTO.VRPESOUNID", "FROM", "   PRODUTO", "WHERE",
                     "   (PRODUTO.CDPRODUTO  = :P_CDPRODUTO)"},
                    {{"P_CDPRODUTO", leaf}})
                    .value(0)
                    .value(0)
                    .toDouble() > 0);

        // Operators who may release direct delivery, by code.
        QCOMPARE(firstColumn(run(c, {"SELECT", "   OPERADOR.CDOPERADOR,", "   OPERADOR.NMOPERADOR",
                                     "FROM", "   AUTGRUPOP,", "   OPERGRUPOP,", "   OPERADOR",
                                     "WHERE", "   AUTGRUPOP.IDAUTGRUPOP = 'BLIP' AND",
                                     "   AUTGRUPOP.CDGRUPOPER = OPERGRUPOP.CDGRUPOPER AND",
                                     "   OPERGRUPOP.CDOPERADOR = OPERADOR.CDOPERADOR",
                                     " ORDER BY OPERADOR.CDOPERADOR"})),
                 (QStringList{server::kDemoOperator, server::kManagerOperator,
                              QStringLiteral("GERENTE2")}));
        // Purchase-calendar exemptions.
        QCOMPARE(
            firstColumn(run(
                c,
                {"SELECT GRUPOPER.CDGRUPOPER CDGRUPOFORAPERI, GRUPOPER.DSGRUPOPER DSGRUPOFORAPERI",
                 "  FROM GRUPOPER, AUTGRUPOP", " WHERE AUTGRUPOP.CDGRUPOPER = GRUPOPER.CDGRUPOPER",
                 "   AND AUTGRUPOP.IDAUTGRUPOP = 'PEOL'",
                 "   AND AUTGRUPOP.NRAUTGRUPOP = :P_CDFILIAL"},
                {{"P_CDFILIAL", QStringLiteral("0001").mid(1, 3)}})),
            QStringList{QStringLiteral("CALENDARIO")});
        const QStringList exempt = {"SELECT O.CDOPERADOR", "  FROM OPERGRUPOP O, AUTGRUPOP A",
                                    " WHERE O.CDOPERADOR  = :P_CDOPERADOR",
                                    "   AND O.CDGRUPOPER  = A.CDGRUPOPER",
                                    "   AND A.IDAUTGRUPOP = 'PEOL'"};
        QCOMPARE(run(c, exempt, {{"P_CDOPERADOR", server::kManagerOperator}}).size(), 1);
        QCOMPARE(run(c, exempt, {{"P_CDOPERADOR", server::kDemoOperator}}).size(), 0);
        // Operator codes are found whatever their letter case.
        QCOMPARE(run(c, exempt, {{"P_CDOPERADOR", QStringLiteral("gerente1")}}).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLocalQueries)
#include "tst_localqueries.moc"
