#pragma once

// Order items named by their key in the requests of the operations on marked items (blocking,
// reservation, closing, dispatch batches): how messages and the audit log name an item, the
// keys as one JSON parameter, and the operator's branch scope over them.

#include "Fault.h"
#include "JsonRows.h"

#include "sup/data/DataPacket.h"
#include "sup/server/Items.h"
#include "sup/sql/Database.h"

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

namespace sup::server {

// An item's key: destination branch, launching branch, order, delivery date (as stored text),
// product and brand.
struct ItemKey {
    QString dest, lanc, order, date, product, brand;

    // How messages name the item.
    QString text() const {
        const QString day =
            date.size() >= 10 ? date.mid(8, 2) + u'/' + date.mid(5, 2) + u'/' + date.left(4) : date;
        return QStringLiteral("Pedido %1, Destino %2, Produto %3, Marca %4, Lanç. %5, Entrega %6")
            .arg(order, dest, product, brand, lanc, day);
    }
    // The key in the audit log, as the delta engine writes it.
    QString audit() const {
        return QStringList{dest, lanc, order, date, product, brand}.join(u'|');
    }
};

// A cell as the requests read it: trimmed, empty when null.
inline QString cellText(const data::Column& c, qsizetype row) {
    return c.isNull(row) ? QString() : c.text(row).trimmed();
}

// The keys as JSON rows r, b, l, o, t, p, m (r: the key's position).
template <class K> JsonRows itemKeyRows(const QList<K>& keys) {
    JsonRows j;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const ItemKey& k = keys[i];
        j.begin(i);
        j.text("b", k.dest);
        j.text("l", k.lanc);
        j.text("o", k.order);
        j.text("t", k.date);
        j.text("p", k.product);
        j.text("m", k.brand);
        j.end();
    }
    return j;
}

// The table d(r, b, l, o, t, p, m) of those rows, for joins with PEDIDOOLITEM.
inline QString itemKeyRowsTable(sql::Dialect d) {
    return rowsTable(d, {{"b", "code"},
                         {"l", "code"},
                         {"o", "code"},
                         {"t", "timestamp(0)"},
                         {"p", "code"},
                         {"m", "code"}});
}

// Refuses the call ("scope") when a row's destination is not a branch of the operator (when
// operators are bound to their branches), naming the first such item.
template <class K>
void refuseOutsideBranches(const sql::Connection& conn, const QString& op, const QList<K>& keys,
                           const JsonRows& rows) {
    if (!branchesRestricted(conn))
        return;
    QSqlQuery q = conn.exec(QStringLiteral("SELECT d.r FROM %1 WHERE NOT EXISTS (SELECT 1 FROM"
                                           " FILIOPER FO WHERE FO.CDFILIAL = d.b"
                                           " AND FO.CDOPERADOR = ?) ORDER BY d.r")
                                .arg(itemKeyRowsTable(conn.dialect())),
                            {rows.value(), op});
    QList<qsizetype> out;
    while (q.next())
        out << qsizetype(q.value(0).toLongLong());
    if (out.isEmpty())
        return;
    QString msg = QStringLiteral("O item %1 não pertence às filiais do operador %2.")
                      .arg(keys[out.first()].text(), op);
    if (out.size() > 1)
        msg += QStringLiteral(" Outros %1 item(ns) enviados também não pertencem.")
                   .arg(out.size() - 1);
    throw MethodFault(msg + QStringLiteral(" Nenhuma alteração foi gravada."),
                      QStringLiteral("scope"));
}

// Why an item that is no longer open cannot be acted on.
inline QString situationText(const QString& situation) {
    if (situation == u"B")
        return QStringLiteral("já foi baixado");
    if (situation == u"E")
        return QStringLiteral("já foi remanejado para entrega direta");
    return QStringLiteral("não está mais em aberto");
}

// Items that changed since they were read, gathered and then reported together ("conflict");
// nothing is written.
class ItemConflicts {
public:
    void add(const ItemKey& k, const QString& why) {
        lines_ << k.text() + QStringLiteral(": ") + why;
    }
    void throwIfAny() const {
        if (lines_.isEmpty())
            return;
        QString msg = QStringLiteral("Nenhuma alteração foi gravada: %1 item(ns) foram alterados "
                                     "por outro usuário desde a leitura. Recarregue os itens e "
                                     "refaça a operação.")
                          .arg(lines_.size());
        const qsizetype shown = qMin<qsizetype>(lines_.size(), 20);
        for (qsizetype i = 0; i < shown; ++i)
            msg += QStringLiteral("\n- ") + lines_[i];
        if (lines_.size() > shown)
            msg += QStringLiteral("\n... e mais %1 item(ns).").arg(lines_.size() - shown);
        throw MethodFault(msg, QStringLiteral("conflict"));
    }

private:
    QStringList lines_;
};

} // namespace sup::server
