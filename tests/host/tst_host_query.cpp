// Local queries: dialect texts, named parameters bound as text, rows as a working set, on SQLite
// and (with SUP_TEST_PG) PostgreSQL.

#include "HostTestUtil.h"
#include "TestDatabases.h"

#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Pickers.h"
#include "sup/widgetkit/Query.h"

#include <QTest>

using namespace sup::host;
using sup::testkit::ScriptedHost;

namespace {

// The processing branch's central branch, as the maintenance screen asks for it.
void setCentCmpTexts(TADOIBQuery& q) {
    q.SQL = {QStringLiteral("SELECT"),
             QStringLiteral("  CAST(NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS VARCHAR(4)) AS "
                            "CDFILIAL,"),
             QStringLiteral("  FILIAL.NMFILIAL        AS NMFILIAL_CENTRAL"),
             QStringLiteral("FROM"),
             QStringLiteral("  FILIAL"),
             QStringLiteral("WHERE"),
             QStringLiteral("  FILIAL.CDFILIAL = :P_CDFILIAL")};
    q.SQL_IB = q.SQL;
    q.SQL_ORACLE = {QStringLiteral("SELECT"),
                    QStringLiteral("  NVL(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS CDFILIAL,"),
                    QStringLiteral("  FIL.NMFILIAL        AS NMFILIAL_CENTRAL"),
                    QStringLiteral("FROM"),
                    QStringLiteral("  FILIAL,"),
                    QStringLiteral("  FILIAL FIL"),
                    QStringLiteral("WHERE"),
                    QStringLiteral("  FILIAL.CDFILIAL = :P_CDFILIAL      AND"),
                    QStringLiteral("  NVL(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) = FIL.CDFILIAL")};
}

void setFilialTexts(TADOIBQuery& q) {
    q.SQL = {QStringLiteral("SELECT"),
             QStringLiteral("FILIAL.CDFILIAL,"),
             QStringLiteral("FILIAL.NMFILIAL,"),
             QStringLiteral("FILIAL.CDREGIAO"),
             QStringLiteral("FROM"),
             QStringLiteral("FILIAL,"),
             QStringLiteral("PARAM(:P_CDREGIAO) P_CDREGIAO"),
             QStringLiteral("WHERE (INSTR(P_CDREGIAO.PARAM, CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')"),
             QStringLiteral("AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"),
             QStringLiteral("ORDER BY"),
             QStringLiteral("FILIAL.CDFILIAL")};
}

QStringList column(TADOIBQuery& q, const QString& field) {
    QStringList out;
    for (q.first(); !q.eof(); q.next())
        out << q.FieldByName(field)->asString();
    return out;
}

} // namespace

class TstHostQuery : public QObject {
    Q_OBJECT
private slots:
    void parsesNamedParameters();
    void textFollowsTheDialect();
    void runs_data() { suptest::addDatabaseRows(); }
    void runs();

private:
    void fill(sup::sql::Connection& conn, bool postgres);
};

void TstHostQuery::parsesNamedParameters() {
    const ParsedSql p = ParseNamedParameters(QStringLiteral(
        "SELECT ':P_TEXTO', \"A:B\", X::INTEGER -- :P_COMENTARIO\n"
        "FROM T /* :P_BLOCO */ WHERE A = :P_A AND (B = :P_B OR :P_A = 'T') AND C = 'it''s :P_C'"));
    QCOMPARE(p.names, (QStringList{"P_A", "P_B", "P_A"}));
    QCOMPARE(p.text, QStringLiteral("SELECT ':P_TEXTO', \"A:B\", X::INTEGER -- :P_COMENTARIO\n"
                                    "FROM T /* :P_BLOCO */ WHERE A = ? AND (B = ? OR ? = 'T') "
                                    "AND C = 'it''s :P_C'"));
    QCOMPARE(ParseNamedParameters(QStringLiteral("SELECT 1")).names, QStringList());
}

void TstHostQuery::textFollowsTheDialect() {
    TADOIBQuery q(nullptr, QStringLiteral("qryCentCmp"));
    setCentCmpTexts(q);
    QVERIFY(q.textFor(TSqlDialect::Oracle).contains(QStringLiteral("NVL(FILIAL.CDFILCENTCMP")));
    QVERIFY(q.textFor(TSqlDialect::Oracle).contains(QStringLiteral("FILIAL FIL")));
    QVERIFY(q.textFor(TSqlDialect::Default).contains(QStringLiteral("NVLSTR")));
    QVERIFY(q.textFor(TSqlDialect::InterBase).contains(QStringLiteral("NVLSTR")));
    // No SQL Server text: the default one serves.
    QCOMPARE(q.textFor(TSqlDialect::MsSql), q.textFor(TSqlDialect::Default));
    // Lines are kept as given and joined with line breaks.
    QCOMPARE(q.textFor(TSqlDialect::Default).count(QLatin1Char('\n')), 6);
    QVERIFY(q.textFor(TSqlDialect::Default).startsWith(QStringLiteral("SELECT\n  CAST(")));
    QCOMPARE(DialectOf(QSqlDatabase()), TSqlDialect::Default);
}

void TstHostQuery::fill(sup::sql::Connection& conn, bool postgres) {
    if (postgres)
        sup::sql::installSqlFunctions(conn);
    conn.execScript(QStringLiteral(
        "CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(30), "
        "CDFILCENTCMP VARCHAR(4), CDREGIAO VARCHAR(3), VRLIMITE NUMERIC(12,3));"
        "INSERT INTO FILIAL VALUES ('0001', 'Central Sul', NULL, '001', 1500.5);"
        "INSERT INTO FILIAL VALUES ('0002', 'Loja Centro', '0001', '010', NULL);"
        "INSERT INTO FILIAL VALUES ('0003', 'Loja Norte', '0001', '100', 20);"
        "INSERT INTO FILIAL VALUES ('0004', 'Loja Praia', '0001', '011', 0)"));
}

void TstHostQuery::runs() {
    QFETCH(QString, db);
    suptest::TestDatabase database(db);
    auto conn = database.open();
    fill(*conn, database.isPostgres());
    ScriptedHost host;
    host.setDatabase(conn->database());
    QCOMPARE(DialectOf(conn->database()), TSqlDialect::Default);

    // The default text with NVLSTR and CAST; fields named in upper case on every database.
    TADOIBQuery cent(nullptr, QStringLiteral("qryCentCmp"));
    setCentCmpTexts(cent);
    cent.Close();
    cent.ParamByName(QStringLiteral("P_CDFILIAL")) = QStringLiteral("0003");
    cent.Open();
    QVERIFY(cent.Active());
    QCOMPARE(cent.RecordCount(), 1);
    QCOMPARE(cent.FieldByName(u"CDFILIAL")->asString(), QStringLiteral("0001"));
    QCOMPARE(cent.FieldByName(u"NMFILIAL_CENTRAL")->asString(), QStringLiteral("Loja Norte"));
    QCOMPARE(cent.field(0)->fieldName(), QStringLiteral("CDFILIAL"));
    cent.Close();
    cent.ParamByName(QStringLiteral("p_cdfilial")).setAsString(QStringLiteral("0001"));
    cent.Open();
    QCOMPARE(cent.FieldByName(u"CDFILIAL")->asString(), QStringLiteral("0001"));

    // A parameter that stands four times takes its one value everywhere; PARAM and INSTR.
    TADOIBQuery filial(nullptr, QStringLiteral("qryFilial"));
    setFilialTexts(filial);
    QCOMPARE(filial.paramNames(),
             (QStringList{"P_CDREGIAO", "P_TCDREGIAO", "P_CDFILIAL", "P_TCDFILIAL"}));
    filial.ParamByName(QStringLiteral("P_CDREGIAO")) = QStringLiteral("_001__100_");
    filial.ParamByName(QStringLiteral("P_TCDREGIAO")) = QString();
    filial.ParamByName(QStringLiteral("P_CDFILIAL")) = QString();
    filial.ParamByName(QStringLiteral("P_TCDFILIAL")) = QStringLiteral("T");
    filial.Open();
    QCOMPARE(column(filial, QStringLiteral("CDFILIAL")), (QStringList{"0001", "0003"}));
    filial.Close();
    filial.ParamByName(QStringLiteral("P_TCDREGIAO")) = QStringLiteral("T");
    filial.ParamByName(QStringLiteral("P_CDFILIAL")) = QStringLiteral("0002");
    filial.ParamByName(QStringLiteral("P_TCDFILIAL")) = QString();
    filial.Open();
    QCOMPARE(column(filial, QStringLiteral("CDFILIAL")), QStringList{"0002"});

    // Values are bound, never pasted into the text.
    filial.Close();
    filial.ParamByName(QStringLiteral("P_CDFILIAL")) = QStringLiteral("0002' OR '1'='1");
    filial.Open();
    QVERIFY(filial.IsEmpty());

    TADOIBQuery repeated(nullptr, QStringLiteral("qryRepetido"));
    repeated.SQL = {QStringLiteral("SELECT CDFILIAL FROM FILIAL"),
                    QStringLiteral("WHERE CDFILIAL = :P_FIL OR CDFILCENTCMP = :P_FIL"),
                    QStringLiteral("ORDER BY CDFILIAL")};
    repeated.ParamByName(QStringLiteral("P_FIL")) = QStringLiteral("0001");
    repeated.Open();
    QCOMPARE(repeated.RecordCount(), 4);

    // Declared fields: their order, types, labels and sizes; set-up kept across reopening.
    TADOIBQuery declared(nullptr, QStringLiteral("qryDeclarada"));
    declared.SQL = {QStringLiteral("SELECT NMFILIAL, CDFILIAL, VRLIMITE, CDREGIAO FROM FILIAL"),
                    QStringLiteral("ORDER BY CDFILIAL")};
    declared.setFieldDefs(
        {sup::data::FieldDef::text(QStringLiteral("CDFILIAL"), 4, QStringLiteral("Código")),
         sup::data::FieldDef::text(QStringLiteral("NMFILIAL"), 30, QStringLiteral("Nome")),
         sup::data::FieldDef::real(QStringLiteral("VRLIMITE"), QStringLiteral("Limite"),
                                   QStringLiteral("###,##0.000"))});
    declared.Open();
    QCOMPARE(declared.fieldCount(), 3);
    QCOMPARE(declared.field(0)->fieldName(), QStringLiteral("CDFILIAL"));
    QCOMPARE(declared.field(0)->size(), 4);
    QCOMPARE(declared.field(1)->displayLabel(), QStringLiteral("Nome"));
    QCOMPARE(declared.field(2)->dataType(), sup::data::FieldType::Double);
    declared.first();
    QCOMPARE(declared.FieldByName(u"VRLIMITE")->asFloat(), 1500.5);
    QCOMPARE(declared.FieldByName(u"VRLIMITE")->text(), QStringLiteral("1.500,500"));
    declared.next();
    QVERIFY(declared.FieldByName(u"VRLIMITE")->isNull());
    declared.field(0)->setEditMask(QStringLiteral(">aaaa;0; "));
    declared.Close();
    declared.Open();
    QCOMPARE(declared.field(0)->def().editMask, QStringLiteral(">aaaa;0; "));
    QCOMPARE(declared.RecordCount(), 4);

    // A pick list over a closed query opens it.
    declared.Close();
    auto* source = new sup::data::TDataSource(&declared);
    source->setDataSet(&declared);
    host.answerPickWhere(QStringLiteral("CDFILIAL"), QStringLiteral("0003"));
    QVERIFY(Pesquisar(source, QStringLiteral("Filial")));
    QCOMPARE(declared.FieldByName(u"NMFILIAL")->asString(), QStringLiteral("Loja Norte"));
    QCOMPARE(host.picks.last().rows, 4);

    // Failures name the query: a parameter without value, a declared field the answer lacks, a
    // text the database refuses.
    TADOIBQuery missing(nullptr, QStringLiteral("qryFaltando"));
    missing.SQL = {QStringLiteral("SELECT * FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL")};
    try {
        missing.Open();
        QFAIL("a parameter without value was accepted");
    } catch (const EHostError& e) {
        QCOMPARE(
            e.message(),
            QStringLiteral("O parâmetro P_CDFILIAL da consulta qryFaltando não recebeu valor."));
    }
    TADOIBQuery lacking(nullptr, QStringLiteral("qrySemCampo"));
    lacking.SQL = {QStringLiteral("SELECT CDFILIAL FROM FILIAL")};
    lacking.setFieldDefs({sup::data::FieldDef::text(QStringLiteral("NMFILIAL"), 30)});
    QVERIFY_THROWS_EXCEPTION(EHostError, lacking.Open());
    TADOIBQuery wrong(nullptr, QStringLiteral("qryErrada"));
    wrong.SQL = {QStringLiteral("SELECT * FROM TABELA_QUE_NAO_EXISTE")};
    try {
        wrong.Open();
        QFAIL("a failing text was accepted");
    } catch (const EHostError& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Erro na consulta qryErrada:")),
                 qPrintable(e.message()));
    }

    // Statements without rows.
    TADOIBQuery update(nullptr, QStringLiteral("qryAtualiza"));
    update.SQL = {QStringLiteral("UPDATE FILIAL SET NMFILIAL = :P_NOME WHERE CDFILIAL = :P_FIL")};
    update.ParamByName(QStringLiteral("P_NOME")) = QStringLiteral("Loja d'Água");
    update.ParamByName(QStringLiteral("P_FIL")) = QStringLiteral("0004");
    QCOMPARE(update.ExecSQL(), 1);
    repeated.Close();
    repeated.SQL = {QStringLiteral("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_FIL")};
    repeated.ParamByName(QStringLiteral("P_FIL")) = QStringLiteral("0004");
    repeated.Open();
    QCOMPARE(repeated.FieldByName(u"NMFILIAL")->asString(), QStringLiteral("Loja d'Água"));
}

QTEST_MAIN(TstHostQuery)
#include "tst_host_query.moc"
