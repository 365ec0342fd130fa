#pragma once

#include "sup/contracts/AppServer.h"
#include "sup/contracts/MethodContract.h"
#include "sup/sql/Database.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

namespace sup::server {

using contracts::kModuleAltPedidosOL;
using contracts::kModuleSuprimentos;

// Who is calling: the operator signed on for the session (in-process: the host's operator;
// HTTP: the owner of the token), for the log where from, and the id the transport gave a write
// call (empty in-process, where no answer can be lost on the way back).
struct CallContext {
    QString operatorCode;
    QString client;
    QString callId = {};
};

// The reference application server over one database connection: the remote modules
// "Sup07700.rdmAltPedidosOL" and "Sup.rdmSuprimentos", dispatched by module and method name
// (letter case ignored, as the remote modules did) through the method contract. Every call:
//  - has its argument count and types checked against the contract;
//  - runs in one transaction (write methods start it with BEGIN IMMEDIATE on SQLite);
//  - answers a ServerFault with a Portuguese message on any failure, never throws, and leaves
//    the database and the by-reference arguments as they were;
//  - when it writes and carries a call id, records its answer in the same transaction: the
//    same id again gets that first answer and applies nothing.
// A ReferenceServer belongs to the thread of its connection.
class ReferenceServer {
public:
    explicit ReferenceServer(std::shared_ptr<sql::Connection> conn);
    // Opens `url`, installs the schema when the database is empty, and serves it.
    static std::shared_ptr<ReferenceServer> open(const QString& url);
    ~ReferenceServer();

    QVariant call(const QString& module, const QString& method, QVariantList& args,
                  const CallContext& context);

    // The server interface of one module for a session; nullptr for an unknown module.
    // The interface keeps this server alive.
    static std::unique_ptr<contracts::IAppServer> module(std::shared_ptr<ReferenceServer> server,
                                                         const QString& module,
                                                         const QString& operatorCode);

    sql::Connection& connection() const { return *conn_; }
    const std::shared_ptr<sql::Connection>& sharedConnection() const { return conn_; }

    static QStringList modules();
    static bool hasModule(const QString& module);
    // Positions (0-based) of the arguments a method writes back; empty for unknown ones.
    static QList<int> byReferenceArguments(const QString& module, const QString& method);

private:
    std::shared_ptr<sql::Connection> conn_;
};

// Makes TNetConnection's in-process transport (an empty host) serve every module from
// `server`, for the operator signed on in this process.
void useInProcess(std::shared_ptr<ReferenceServer> server, const QString& operatorCode);

} // namespace sup::server
