#include "sup/server/ReferenceServer.h"

#include "Methods.h"

#include "sup/contracts/NetConnection.h"
#include "sup/contracts/ServerResult.h"
#include "sup/server/Schema.h"

#include <QLoggingCategory>

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
    return {kModuleAltPedidosOL, kModuleSuprimentos};
}

bool ReferenceServer::hasModule(const QString& module) {
    return modules().contains(module, Qt::CaseInsensitive);
}

QStringList ReferenceServer::methods() {
    QStringList out;
    for (const MethodDef& m : methodTable())
        out << m.name;
    return out;
}

QList<int> ReferenceServer::byReferenceArguments(const QString& method) {
    QList<int> out;
    if (const MethodDef* def = findMethod(method))
        for (int i = 0; i < def->args.size(); ++i)
            if (def->args[i].byRef)
                out << i;
    return out;
}

QVariant ReferenceServer::call(const QString& module, const QString& method, QVariantList& args,
                               const CallContext& context) {
    if (!hasModule(module))
        return contracts::makeFault(
            QStringLiteral("O servidor de aplicação não tem o módulo \"%1\".").arg(module),
            QStringLiteral("module"));
    const MethodDef* def = findMethod(method);
    if (!def)
        return contracts::makeFault(
            QStringLiteral("O módulo \"%1\" não tem o método \"%2\".").arg(module, method),
            QStringLiteral("method"));
    const QString bad = checkArguments(*def, args);
    if (!bad.isEmpty())
        return contracts::makeFault(bad, QStringLiteral("args"));
    if (!def->handler)
        return contracts::makeFault(
            QStringLiteral("O método %1 ainda não está disponível neste servidor de aplicação.")
                .arg(def->name),
            QStringLiteral("unavailable"));

    const QVariantList saved = args; // by-reference arguments come back unchanged on failure
    try {
        MethodContext ctx{*this, *conn_, context, def->name};
        sql::Transaction tx(*conn_, def->writes ? sql::Transaction::Write : sql::Transaction::Read);
        QVariant result = def->handler(ctx, args);
        tx.commit();
        return result;
    } catch (const MethodFault& e) {
        args = saved;
        return contracts::makeFault(e.message(), e.code());
    } catch (const sql::SqlError& e) {
        args = saved;
        qCWarning(lcServer) << def->name << "failed:" << e.driverText();
        if (e.isBusy())
            return contracts::makeFault(e.message(), QStringLiteral("busy"));
        return contracts::makeFault(
            QStringLiteral("Não foi possível executar %1. %2").arg(def->name, e.message()),
            QStringLiteral("database"));
    } catch (const std::exception& e) {
        args = saved;
        qCWarning(lcServer) << def->name << "failed:" << e.what();
        return contracts::makeFault(QStringLiteral("Erro interno do servidor em %1: %2")
                                        .arg(def->name, QString::fromUtf8(e.what())),
                                    QStringLiteral("internal"));
    } catch (...) {
        args = saved;
        return contracts::makeFault(
            QStringLiteral("Erro interno do servidor em %1.").arg(def->name),
            QStringLiteral("internal"));
    }
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
