#pragma once

// Builds deltas the way a working set does: the chosen rows of a loaded packet, with their
// loaded values kept and changes applied to the current ones.

#include "sup/data/DataPacket.h"
#include "sup/sql/Database.h"

#include <QCryptographicHash>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <functional>

namespace suptest {

using RowEdit = std::function<void(qsizetype deltaRow, std::vector<sup::data::Column>& current)>;

// As a sender that rewrites the loaded values would: `editLoaded` changes them, `edit` the
// current ones.
inline sup::data::DataPacket makeForgedDelta(const sup::data::DataPacket& loaded,
                                             const QList<qsizetype>& rows, const RowEdit& edit,
                                             const RowEdit& editLoaded,
                                             sup::data::RowKind kind = sup::data::RowKind::Modified,
                                             QUuid id = QUuid::createUuid()) {
    std::vector<sup::data::Column> cur, old;
    for (const auto& f : loaded.fields()) {
        cur.emplace_back(f);
        old.emplace_back(f);
    }
    for (qsizetype r : rows)
        for (int f = 0; f < loaded.fieldCount(); ++f) {
            cur[std::size_t(f)].appendCell(loaded.column(f), r);
            old[std::size_t(f)].appendCell(loaded.column(f), r);
        }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        edit(i, cur);
        if (editLoaded)
            editLoaded(i, old);
    }
    return sup::data::DataPacket::makeDelta(
        loaded.fields(), std::move(cur), std::move(old),
        std::vector<sup::data::RowKind>(std::size_t(rows.size()), kind), id);
}

inline sup::data::DataPacket makeDelta(const sup::data::DataPacket& loaded,
                                       const QList<qsizetype>& rows, const RowEdit& edit,
                                       sup::data::RowKind kind = sup::data::RowKind::Modified,
                                       QUuid id = QUuid::createUuid()) {
    return makeForgedDelta(loaded, rows, edit, {}, kind, id);
}

inline int field(const sup::data::DataPacket& p, const char* name) {
    return p.indexOf(QString::fromLatin1(name));
}

// A digest of the rows of some tables (ordered by their first column), to tell whether a
// database changed.
inline QByteArray digest(const sup::sql::Connection& c, const QStringList& tables) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const QString& t : tables) {
        QSqlQuery q = c.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(t));
        while (q.next()) {
            const QSqlRecord r = q.record();
            for (int i = 0; i < r.count(); ++i)
                h.addData((r.value(i).isNull() ? QStringLiteral("\x01") : r.value(i).toString())
                              .toUtf8() +
                          '\x1f');
            h.addData("\n");
        }
    }
    return h.result();
}

inline const QStringList kWrittenTables = {
    QStringLiteral("PEDIDOOLITEM"), QStringLiteral("AUDITORIA"), QStringLiteral("DELTAAPLICADO")};

} // namespace suptest
