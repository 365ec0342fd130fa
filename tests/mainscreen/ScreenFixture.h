#pragma once

// The routine's screens over a seeded in-memory database: a ScriptedHost signed on as the demo
// operator and the reference server in-process.

#include "sup/contracts/host/Host.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/host/SignOn.h"
#include "sup/server/ReferenceServer.h"
#include "sup/server/Schema.h"
#include "sup/server/Seed.h"
#include "sup/sql/Database.h"
#include "sup/testkit/ScriptedHost.h"

#include <QDateTime>

#include <memory>

namespace suptest {

struct SeededDatabase {
    SeededDatabase() {
        conn = sup::sql::Connection::open(QStringLiteral("sqlite::memory:"));
        sup::server::installSchema(*conn);
        sup::server::SeedOptions o;
        o.items = 60;
        o.fastHash = true;
        sup::server::seedDatabase(*conn, o);
        server = std::make_shared<sup::server::ReferenceServer>(conn);
    }
    std::shared_ptr<sup::sql::Connection> conn;
    std::shared_ptr<sup::server::ReferenceServer> server;
};

// An item packet of `rows` items of destination branch `dest`, all unmarked.
inline sup::data::DataPacket itemPacket(int rows, const QString& dest = QStringLiteral("0012"),
                                        const QString& reservation = QStringLiteral("S")) {
    sup::data::DataPacketBuilder b(sup::contracts::orderItemFields());
    const QDateTime day(QDate(2026, 3, 10), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < rows; ++i) {
        const QString n = QString::number(i + 1);
        b.appendRow({QStringLiteral("N"),
                     QStringLiteral("N"),
                     QStringLiteral("1.01.001.000") + n,
                     QStringLiteral("00000") + n,
                     QStringLiteral("Produto ") + n,
                     QStringLiteral("CX"),
                     QStringLiteral("00000") + n,
                     12.0 + i,
                     QStringLiteral("P") + n,
                     QStringLiteral("0001"),
                     dest + QStringLiteral(" - Loja"),
                     day,
                     day.addDays(-2),
                     QStringLiteral("Marca"),
                     QStringLiteral("00001"),
                     QStringLiteral("0901"),
                     1.0,
                     QStringLiteral("A"),
                     QStringLiteral("N"),
                     QVariant(),
                     0.0,
                     reservation,
                     QString(),
                     QStringLiteral("N"),
                     QString(),
                     QString(),
                     double(i),
                     12.0 + i});
    }
    return b.finish();
}

// cdsParamFilial rows: (branch, central branch, reservation flag).
inline sup::data::DataPacket paramFilialPacket(const QList<QStringList>& rows) {
    sup::data::DataPacketBuilder b(sup::contracts::paramFilialFields());
    for (const QStringList& r : rows) {
        b.appendRow({r.value(0), r.value(1), r.value(2), QStringLiteral("N"), QStringLiteral("N")});
    }
    return b.finish();
}

inline sup::data::DataPacket autGruPopPacket(int rows) {
    sup::data::DataPacketBuilder b(
        {sup::data::FieldDef::text(QStringLiteral("CDGRUPOPER"), 10),
         sup::data::FieldDef::text(QStringLiteral("CDAUTORIZACAO"), 10)});
    for (int i = 0; i < rows; ++i) {
        b.appendRow({QStringLiteral("G1"), QStringLiteral("BLIP")});
    }
    return b.finish();
}

} // namespace suptest
