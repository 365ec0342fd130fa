#include "sup/server/ReferenceServer.h"

#include "Methods.h"

#include "sup/contracts/InProcess.h"
#include "sup/contracts/ServerResult.h"
#include "sup/server/Schema.h"

#include <QLoggingCategory>

#include <stdexcept>

namespace sup::server {

Q_LOGGING_CATEGORY(lcServer, "sup.server")

namespace {

class ModuleInterface final : public contracts::IAppServer {
public:
    ModuleInterface(std::shared_ptr<ReferenceServer> server, QString module, QString op)
        : server_(std::move(server))
        , module_(std::move(module))
        , context_{std::move(op), QStringLiteral("local")} {}
    QVariant call(const QString& method, QVariantList& args) override {
        return server_->call(module_, method, args, context_);
    }

private:
    std::shared_ptr<ReferenceServer> server_;
    QString module_;
    CallContext context_;
};

// Runs a checked call in one transaction; any failure leaves the database and the
// by-reference arguments as they were and answers a fault.
QVariant runMethod(ReferenceServer& server, const contracts::MethodSpec& def,
                   const Handler& handler, QVariantList& args, const CallContext& context) {
    const QString& name = def.name;
    const QVariantList saved = args; // by-reference arguments come back unchanged on failure
    try {
        sql::Connection& conn = server.connection();
        MethodContext ctx{server, conn, context, def};
        sql::Transaction tx(conn, def.writes ? sql::Transaction::Write : sql::Transaction::Read);
        QVariant result = handler(ctx, args);
        // An answer out of the contract's shape is this server's fault, not the caller's.
        if (const QString wrong = contracts::checkAnswer(def, result); !wrong.isEmpty())
            throw std::logic_error(wrong.toStdString());
        tx.commit();
        return result;
    } catch (const MethodFault& e) {
        args = saved;
        return contracts::makeFault(e.message(), e.code());
    } catch (const sql::SqlError& e) {
        args = saved;
        qCWarning(lcServer) << name << "failed:" << e.driverText();
        if (e.isBusy())
            return contracts::makeFault(e.message(), QStringLiteral("busy"));
        return contracts::makeFault(
            QStringLiteral("Não foi possível executar %1. %2").arg(name, e.message()),
            QStringLiteral("database"));
    } catch (const std::exception& e) {
        args = saved;
        qCWarning(lcServer) << name << "failed:" << e.what();
        return contracts::makeFault(QStringLiteral("Erro interno do servidor em %1: %2")
                                        .arg(name, QString::fromUtf8(e.what())),
                                    QStringLiteral("internal"));
    } catch (...) {
        args = saved;
        return contracts::makeFault(QStringLiteral("Erro interno do servidor em %1.").arg(name),
                                    QStringLiteral("internal"));
    }
}

} // namespace

ReferenceServer::ReferenceServer(std::shared_ptr<sql::Connection> conn)
    : conn_(std::move(conn)) {}

ReferenceServer::~ReferenceServer() = default;

std::shared_ptr<ReferenceServer> ReferenceServer::open(const QString& url) {
    std::shared_ptr<sql::Connection> conn = sql::Connection::open(url);
    installSchema(*conn);
    return std::make_shared<ReferenceServer>(std::move(conn));
}

QStringList ReferenceServer::modules() {
    return contracts::knownModules();
}

bool ReferenceServer::hasModule(const QString& module) {
    return contracts::isKnownModule(module);
}

QList<int> ReferenceServer::byReferenceArguments(const QString& module, const QString& method) {
    const contracts::MethodSpec* def = contracts::findMethod(module, method);
    return def ? def->byReferencePositions() : QList<int>{};
}

QVariant ReferenceServer::call(const QString& module, const QString& method, QVariantList& args,
                               const CallContext& context) {
    if (!hasModule(module))
        return contracts::makeFault(
            QStringLiteral("O servidor de aplicação não tem o módulo \"%1\".").arg(module),
            QStringLiteral("module"));
    const contracts::MethodSpec* def = contracts::findMethod(module, method);
    if (!def)
        return contracts::makeFault(
            QStringLiteral("O módulo \"%1\" não tem o método \"%2\".").arg(module, method),
            QStringLiteral("method"));
    const QString bad = contracts::checkArguments(*def, args);
    if (!bad.isEmpty())
        return contracts::makeFault(bad, QStringLiteral("args"));
    const Handler handler = handlerOf(def->id);
    if (!handler)
        return contracts::makeFault(
            QStringLiteral("O método %1 ainda não está disponível neste servidor de aplicação.")
                .arg(def->name),
            QStringLiteral("unavailable"));
    return runMethod(*this, *def, handler, args, context);
}

std::unique_ptr<contracts::IAppServer>
ReferenceServer::module(std::shared_ptr<ReferenceServer> server, const QString& module,
                        const QString& operatorCode) {
    if (!server || !hasModule(module))
        return nullptr;
    return std::make_unique<ModuleInterface>(std::move(server), module, operatorCode);
}

void useInProcess(std::shared_ptr<ReferenceServer> server, const QString& operatorCode) {
    contracts::setInProcessFactory([server, operatorCode](const QString& module) {
        return ReferenceServer::module(server, module, operatorCode);
    });
}

} // namespace sup::server
