#pragma once

// A seeded database and a ReferenceServer over it, for the server suites.

#include "../sql/TestDatabases.h"

#include "sup/server/ReferenceServer.h"
#include "sup/server/Schema.h"
#include "sup/server/Seed.h"

#include <memory>

namespace suptest {

struct SeededServer {
    explicit SeededServer(const QString& kind, qsizetype items = 400, quint64 seed = 7700)
        : db(kind) {
        conn = db.open();
        sup::server::installSchema(*conn);
        sup::server::SeedOptions o;
        o.items = items;
        o.seed = seed;
        o.fastHash = true;
        sup::server::seedDatabase(*conn, o);
        server = std::make_shared<sup::server::ReferenceServer>(conn);
    }
    QVariant call(const QString& method, QVariantList args = {},
                  const QString& module = sup::server::kModuleAltPedidosOL,
                  const QString& op = sup::server::kDemoOperator) {
        return server->call(module, method, args,
                            sup::server::CallContext{op, QStringLiteral("teste")});
    }

    TestDatabase db;
    std::shared_ptr<sup::sql::Connection> conn;
    std::shared_ptr<sup::server::ReferenceServer> server;
};

} // namespace suptest
