#include "units/LocalQueries.h"

#include "sup/widgetkit/Query.h"

#include <initializer_list>

namespace sup07700 {

void SetCentCmpQuery(sup::host::TADOIBQuery& q) {
    q.SQL = {
        QStringLiteral("SELECT"),
        QStringLiteral("  CAST(NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS VARCHAR(4)) AS "
                       "CDFILIAL,"),
        QStringLiteral("  FILIAL.NMFILIAL        AS NMFILIAL_CENTRAL"),
        QStringLiteral("FROM"),
        QStringLiteral("  FILIAL"),
        QStringLiteral("WHERE"),
        QStringLiteral("  FILIAL.CDFILIAL = :P_CDFILIAL"),
    };
    q.SQL_IB = q.SQL;
    // Oracle and SQL Server: the same with their null function, the central branch's name
    // read from its own row.
    for (const auto& [target, nvl] : {std::pair{&q.SQL_ORACLE, QStringLiteral("NVL")},
                                      std::pair{&q.SQL_MSSQL, QStringLiteral("ISNULL")}}) {
        *target = {
            QStringLiteral("SELECT"),
            QStringLiteral("  %1(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS CDFILIAL,").arg(nvl),
            QStringLiteral("  FIL.NMFILIAL        AS NMFILIAL_CENTRAL"),
            QStringLiteral("FROM"),
            QStringLiteral("  FILIAL,"),
            QStringLiteral("  FILIAL FIL"),
            QStringLiteral("WHERE"),
            QStringLiteral("  FILIAL.CDFILIAL = :P_CDFILIAL      AND"),
            QStringLiteral("  %1(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) = FIL.CDFILIAL").arg(nvl),
        };
    }
    q.setFieldDefs({sup::data::FieldDef::text(QStringLiteral("CDFILIAL"), 4),
                    sup::data::FieldDef::text(QStringLiteral("NMFILIAL_CENTRAL"), 30)});
}

namespace {

QStringList lines(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* l : list)
        out << QString::fromLatin1(l);
    return out;
}

} // namespace

void SetVdProdutoQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines({"SELECT", "  CDPRODUTO,", "  CDARVPROD,", "  CDNVPRODUTO,", "  NMPRODUTO,",
                   "  SGUNIDADE", "FROM", "  PRODUTO", "WHERE", "   CDPRODESTO IS NOT NULL  AND",
                   "   CDPRODUTO = :P_CDPRODUTO", "ORDER BY", "  CDARVPROD"});
    q.SQL_ORACLE = q.SQL;
    q.SQL_MSSQL = q.SQL;
    q.SQL_IB = q.SQL;
    using sup::data::FieldDef;
    q.setFieldDefs({FieldDef::text(QStringLiteral("CDPRODUTO"), 10),
                    FieldDef::text(QStringLiteral("CDARVPROD"), 0),
                    FieldDef::text(QStringLiteral("CDNVPRODUTO"), 1),
                    FieldDef::text(QStringLiteral("NMPRODUTO"), 50),
                    FieldDef::text(QStringLiteral("SGUNIDADE"), 10)});
}

void SetVerProdNCmpQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines({"SELECT CAST(COUNT(*) AS NUMERIC) AS CONTA", "FROM PRODNCMP, PRODUTO", "WHERE",
                   "   PRODNCMP.CDPRODUTO = PRODUTO.CDPRODUTO AND",
                   "   PRODNCMP.CDFILIAL = :P_CDFILDEST AND",
                   "   SUBSTR(:P_CDPRODUTO, 1, LENGTH(PRODUTO.CDARVPROD)) = PRODUTO.CDARVPROD AND",
                   "   PRODUTO.CDARVPROD > (SELECT NVLSTR(MAX(PR.CDARVPROD), '0')",
                   "                        FROM PRODCMPFILI, PRODUTO PR",
                   "                        WHERE PRODCMPFILI.CDPRODUTO = PR.CDPRODUTO AND",
                   "                              SUBSTR(:P_CDPRODUTO, 1, LENGTH(PR.CDARVPROD))"
                   " = PR.CDARVPROD AND",
                   "                              PRODCMPFILI.CDFILIAL = :P_CDFILDEST)"});
    q.SQL_IB = q.SQL;
    q.SQL_ORACLE = q.SQL;
    q.SQL_ORACLE[0] = QStringLiteral("SELECT COUNT(*)  AS CONTA");
    q.SQL_ORACLE[6] = QStringLiteral("   PRODUTO.CDARVPROD > (SELECT NVL(MAX(PR.CDARVPROD), '0')");
    q.SQL_MSSQL = lines(
        {"SELECT CONVERT(NUMERIC, COUNT(*)) AS CONTA", "FROM PRODNCMP, PRODUTO", "WHERE",
         "   PRODNCMP.CDPRODUTO = PRODUTO.CDPRODUTO AND", "   PRODNCMP.CDFILIAL = :P_CDFILDEST AND",
         "   :P_CDPRODUTO LIKE PRODUTO.CDARVPROD+'%' AND",
         "   PRODUTO.CDARVPROD > (SELECT ISNULL(MAX(PR.CDARVPROD), '0')",
         "                        FROM PRODCMPFILI, PRODUTO PR",
         "                        WHERE PRODCMPFILI.CDPRODUTO = PR.CDPRODUTO AND",
         "                              :P_CDPRODUTO LIKE PR.CDARVPROD+'%' AND",
         "                              PRODCMPFILI.CDFILIAL = :P_CDFILDEST)", " "});
    q.setFieldDefs({sup::data::FieldDef::real(QStringLiteral("CONTA"))});
}

void SetMarcaQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines({"SELECT", "  CDMARCA,", "  NMMARCA", "FROM", "  MARCA", "WHERE",
                   "  CDMARCA = :P_CDMARCA"});
    q.setFieldDefs({sup::data::FieldDef::text(QStringLiteral("CDMARCA"), 5),
                    sup::data::FieldDef::text(QStringLiteral("NMMARCA"), 0)});
}

void SetFiliCentQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines({"SELECT NVL(CDFILCENTCMP, CDFILIAL) CDFILCENTCMP", "  FROM FILIAL",
                   " WHERE CDFILIAL = :P_CDFILIAL"});
    q.SQL_ORACLE = q.SQL;
    q.SQL_MSSQL = lines({"SELECT ISNULL(CDFILCENTCMP, CDFILIAL) CDFILCENTCMP", "  FROM FILIAL",
                         " WHERE CDFILIAL = :P_CDFILIAL"});
    q.SQL_IB = lines({"SELECT SUBSTR(NVLSTR(CDFILCENTCMP, CDFILIAL), 1, 4)  CDFILCENTCMP",
                      "  FROM FILIAL, PARAM(:P_CDFILIAL) P1", " WHERE CDFILIAL = P1.PARAM"});
    q.setFieldDefs({sup::data::FieldDef::text(QStringLiteral("CDFILCENTCMP"), 4).width(8)});
}

void SetPesqMarcTodasQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines({"SELECT", "  MARCA.CDMARCA,", "  MARCA.NMMARCA", "FROM", "  MARCA", "/**/",
                   "ORDER BY", "   MARCA.CDMARCA"});
    q.setFieldDefs(
        {sup::data::FieldDef::text(QStringLiteral("CDMARCA"), 5, QStringLiteral("Código")),
         sup::data::FieldDef::text(QStringLiteral("NMMARCA"), 0, QStringLiteral("Nome"))});
}

void SetGerenteQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines(
        {"SELECT", "   OPERADOR.CDOPERADOR,", "   OPERADOR.NMOPERADOR", "FROM", "   AUTGRUPOP,",
         "   OPERGRUPOP,", "   OPERADOR", "WHERE", "   AUTGRUPOP.IDAUTGRUPOP = 'BLIP' AND",
         "   AUTGRUPOP.CDGRUPOPER = OPERGRUPOP.CDGRUPOPER AND",
         "   OPERGRUPOP.CDOPERADOR = OPERADOR.CDOPERADOR", " ORDER BY OPERADOR.CDOPERADOR"});
    q.setFieldDefs(
        {sup::data::FieldDef::text(QStringLiteral("CDOPERADOR"), 12, QStringLiteral("Código"))
             .width(16),
         sup::data::FieldDef::text(QStringLiteral("NMOPERADOR"), 0, QStringLiteral("Nome"))
             .width(30)});
}

void SetPesoUnidQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines({"SELECT", "   PRODUTO.VRPESOUNID", "FROM", "   PRODUTO", "WHERE",
                   "   (PRODUTO.CDPRODUTO  = :P_CDPRODUTO)"});
    q.SQL_ORACLE = q.SQL;
    q.SQL_MSSQL = q.SQL;
    q.SQL_IB = q.SQL;
    q.setFieldDefs({sup::data::FieldDef::real(QStringLiteral("VRPESOUNID"))});
}

void SetCentCmpOfBranchQuery(sup::host::TADOIBQuery& q) {
    q.SQL =
        lines({"SELECT",
               "  CAST(NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS VARCHAR(4)) AS CDFILIAL,",
               "  FIL.NMFILIAL        AS NMFILIAL_CENTRAL", "FROM", "  FILIAL,", "  FILIAL FIL",
               "WHERE", "  FILIAL.CDFILIAL = :P_CDFILIAL      AND",
               "  NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) = FIL.CDFILIAL"});
    q.SQL_ORACLE = lines({"SELECT", "  NVL(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS CDFILIAL,",
                          "  FIL.NMFILIAL        AS NMFILIAL_CENTRAL", "FROM", "  FILIAL,",
                          "  FILIAL FIL", "WHERE", "  FILIAL.CDFILIAL = :P_CDFILIAL      AND",
                          "  NVL(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) = FIL.CDFILIAL"});
    q.SQL_MSSQL = lines({"SELECT", "  ISNULL(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS CDFILIAL,",
                         "  FIL.NMFILIAL        AS NMFILIAL_CENTRAL", "FROM", "  FILIAL,",
                         "  FILIAL FIL", "WHERE", "  FILIAL.CDFILIAL = :P_CDFILIAL      AND",
                         "  ISNULL(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) = FIL.CDFILIAL"});
    q.SQL_IB = lines({"SELECT",
                      "  CAST(NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) AS VARCHAR(4)) AS "
                      "CDFILIAL,",
                      "  FIL.NMFILIAL        AS NMFILIAL_CENTRAL", "FROM", "  FILIAL FIL,",
                      "  FILIAL", "WHERE", "  FILIAL.CDFILIAL = :P_CDFILIAL      AND",
                      "  NVLSTR(FILIAL.CDFILCENTCMP, FILIAL.CDFILIAL) = FIL.CDFILIAL", " ", " "});
    q.setFieldDefs({sup::data::FieldDef::text(QStringLiteral("CDFILIAL"), 4),
                    sup::data::FieldDef::text(QStringLiteral("NMFILIAL_CENTRAL"), 30)});
}

void SetParamPeriodicidadeQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines(
        {"SELECT GRUPOPER.CDGRUPOPER CDGRUPOFORAPERI, GRUPOPER.DSGRUPOPER DSGRUPOFORAPERI",
         "  FROM GRUPOPER, AUTGRUPOP", " WHERE AUTGRUPOP.CDGRUPOPER = GRUPOPER.CDGRUPOPER",
         "   AND AUTGRUPOP.IDAUTGRUPOP = 'PEOL'", "   AND AUTGRUPOP.NRAUTGRUPOP = :P_CDFILIAL"});
    q.SQL_ORACLE = q.SQL;
    q.SQL_MSSQL = q.SQL;
    q.SQL_IB = q.SQL;
    using sup::data::FieldDef;
    q.setFieldDefs({FieldDef::text(QStringLiteral("CDGRUPOFORAPERI"), 10),
                    FieldDef::text(QStringLiteral("DSGRUPOFORAPERI"), 50)});
}

void SetGrupoOperForaPeriQuery(sup::host::TADOIBQuery& q) {
    q.SQL = lines({"SELECT O.CDOPERADOR", "  FROM OPERGRUPOP O, AUTGRUPOP A",
                   " WHERE O.CDOPERADOR  = :P_CDOPERADOR", "   AND O.CDGRUPOPER  = A.CDGRUPOPER",
                   "   AND A.IDAUTGRUPOP = 'PEOL'"});
    q.SQL_ORACLE = q.SQL;
    q.SQL_MSSQL = q.SQL;
    q.SQL_IB = q.SQL;
    q.setFieldDefs({sup::data::FieldDef::text(QStringLiteral("CDOPERADOR"), 12)});
}

} // namespace sup07700
