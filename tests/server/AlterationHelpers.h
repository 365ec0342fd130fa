#pragma once

// What the automatic alteration's tests share: the selected-items array of some items as the
// launcher gathers it, the open items, a product no item has yet, and reads of single cells.

#include "sup/contracts/SelectedItems.h"
#include "sup/data/DataPacket.h"
#include "sup/server/Items.h"
#include "sup/server/Seed.h"
#include "sup/sql/Database.h"

#include <QList>
#include <QPair>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <vector>

namespace suptest {

// The calendar refusal the screen sends, with its two placeholders.
inline const QString kCalendarRefusal =
    QStringLiteral("Operação bloqueada. Nova data não contemplada pela periodicidade da filial "
                   "%s para o produto %s .");
// Items the alteration may change: open, not an adjustment, not blocked.
inline const QString kOpenItem =
    QStringLiteral("IDSITUITEM = 'A' AND IDITEMAJUSTE = 'N' AND IDITMPEDOLBLOQ = 'N'");

// The first column of a query's rows as ids.
inline QList<qint64> ids(const sup::sql::Connection& c, const QString& sqlText,
                         const QVariantList& binds = {}) {
    QSqlQuery q = c.exec(sqlText, binds);
    QList<qint64> out;
    while (q.next())
        out << q.value(0).toLongLong();
    return out;
}

// One stored field of an item.
inline QVariant cell(const sup::sql::Connection& c, const QString& field, qint64 id) {
    return c.scalar(QStringLiteral("SELECT %1 FROM PEDIDOOLITEM WHERE CDRASTRITM = ?").arg(field),
                    {id});
}

// The selected-items array of some items (nested lists), in the order of the ids.
inline QVariantList gather(const sup::sql::Connection& c, const QList<qint64>& wanted) {
    QStringList marks;
    QVariantList binds;
    for (qint64 id : wanted) {
        marks << QStringLiteral("?");
        binds << id;
    }
    const sup::data::DataPacket p = sup::server::selectItems(
        c, QStringLiteral("I.CDRASTRITM IN (%1)").arg(marks.join(u", ")), binds);
    const sup::data::Column& id = p.column(p.indexOf(u"CDRASTRITM"));
    std::vector<qsizetype> rows;
    for (qint64 w : wanted)
        for (qsizetype r = 0; r < p.rowCount(); ++r)
            if (qint64(id.real(r)) == w)
                rows.push_back(r);
    return sup::contracts::SelectedItems::gather(
               [&](QStringView f) -> const sup::data::Column& { return p.column(p.indexOf(f)); },
               rows, sup::server::kDemoOperator)
        .toList();
}

// A bought, active product no item has yet, and its first brand.
inline QPair<QString, QString> unusedProduct(const sup::sql::Connection& c) {
    QSqlQuery q = c.exec(QStringLiteral(
        "SELECT P.CDPRODUTO, MIN(B.CDMARCA) FROM PRODUTO P JOIN PRODMARCA B"
        " ON B.CDPRODUTO = P.CDPRODUTO WHERE P.CDPRODESTO IS NOT NULL"
        " AND P.IDPRODATIVPR = 'S' AND NOT EXISTS (SELECT 1 FROM PEDIDOOLITEM I"
        " WHERE I.CDPRODUTO = P.CDPRODUTO) GROUP BY P.CDPRODUTO ORDER BY P.CDPRODUTO"));
    q.next();
    return {q.value(0).toString(), q.value(1).toString()};
}

} // namespace suptest
