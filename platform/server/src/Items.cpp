#include "sup/server/Items.h"

#include "SqlValues.h"

#include "sup/contracts/record/OrderItem.h"

namespace sup::server {

QString itemSelectSql(sql::Dialect d, const QString& where) {
    // PostgreSQL sends the dates as timestamps, read in binary into the packet's date columns;
    // formatting them as text would cost a call per date of every row.
    const auto date = [d](const char* column) {
        const QString c = QString::fromLatin1(column);
        return d == sql::Dialect::PostgreSQL ? c : dateOut(d, c);
    };
    return QStringLiteral(
               "SELECT 'N', 'N', I.CDARVPROD, I.CDPRODUTO, I.NMPRODUTO, I.SGUNIDADE, I.CDPRODESTO, "
               "I.QTPROGENPEOL,"
               " I.NRPEDEXOL, I.CDFILLANC, substr(I.CDFILDEST || ' - ' || F.NMFILIAL, 1, 34), %1, "
               "%2, I.NMMARCA,"
               " I.CDMARCA, I.CDFILIOPELOG, I.VRFATOCONV, I.IDTIPOEXOL, I.IDITMPEDOLBLOQ, %3, "
               "I.QTRESERVESTOL,"
               " I.IDUTRESPEDEXOL, I.CDLOTENVITOL, I.IDITEMAJUSTE, I.NRSEQLOGIMPOL, "
               "I.CDPRODORIGPEDOL, I.CDRASTRITM,"
               " I.QTORIGPRODPED"
               " FROM PEDIDOOLITEM I JOIN FILIAL F ON F.CDFILIAL = I.CDFILDEST"
               " WHERE I.IDSITUITEM = 'A'%4"
               " ORDER BY I.CDFILDEST, I.CDFILLANC, I.NRPEDEXOL, I.DTPROGENPEOL, I.CDPRODUTO, "
               "I.CDMARCA")
        .arg(date("I.DTPROGENPEOL"), date("I.DTPROGEMBARQ"), date("I.DTBLOQITMPEDOL"),
             where.trimmed().isEmpty() ? QString() : QStringLiteral(" AND (%1)").arg(where));
}

data::DataPacket selectItems(const sql::Connection& conn, const QString& where,
                             const QVariantList& binds) {
    return selectPacket(conn, contracts::orderItemFields(), itemSelectSql(conn.dialect(), where),
                        binds);
}

bool branchesRestricted(const sql::Connection& conn) {
    const QVariant v =
        conn.scalar(QStringLiteral("SELECT IDRESTRFILIOPER FROM PARAMGERAL ORDER BY NRPARAMGERAL"));
    return v.toString().trimmed().compare(u"N", Qt::CaseInsensitive) != 0;
}

} // namespace sup::server
