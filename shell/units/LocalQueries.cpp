#include "units/LocalQueries.h"

#include "sup/widgetkit/Query.h"

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

} // namespace sup07700
