#include "sup/server/ReferenceServer.h"

#include "JsonRows.h"
#include "Methods.h"

#include "sup/contracts/InProcess.h"
#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/server/Schema.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QSqlQuery>

#include <optional>
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

// The first answer to a write call with this id, written back into `args`; nothing when the id
// is new. The same id from another operator or for another method is a forged or broken call.
std::optional<QVariant> firstAnswer(sql::Connection& conn, const contracts::MethodSpec& def,
                                    const CallContext& context, QVariantList& args) {
    QSqlQuery q = conn.exec(QStringLiteral("SELECT NMMETODO, CDOPERADOR, DSRESPOSTA FROM "
                                           "CHAMADAAPLICADA WHERE IDCHAMADA = ?"),
                            {context.callId});
    if (!q.next())
        return std::nullopt;
    if (q.value(0).toString() != def.name ||
        q.value(1).toString().compare(context.operatorCode.trimmed(), Qt::CaseInsensitive) != 0)
        throw MethodFault(QStringLiteral("O identificador da chamada %1 já foi usado por outra "
                                         "chamada; nada foi alterado.")
                              .arg(context.callId),
                          QStringLiteral("args"));
    const contracts::rpc::Answer a =
        contracts::rpc::decodeAnswer(QByteArray::fromBase64(q.value(2).toString().toLatin1()));
    for (auto it = a.refs.begin(); it != a.refs.end(); ++it)
        if (it.key() < args.size())
            args[it.key()] = it.value();
    return a.result;
}

// Keeps the answer of a write call for a repeat of it; calls of more than a day ago go, no
// transport repeats a call that late.
void recordAnswer(sql::Connection& conn, const contracts::MethodSpec& def,
                  const CallContext& context, const QVariant& result, const QVariantList& args) {
    QMap<int, QVariant> refs;
    for (int i : def.byReferencePositions())
        if (i < args.size())
            refs.insert(i, args[i]);
    const QDateTime now = QDateTime::currentDateTime();
    conn.exec(QStringLiteral("DELETE FROM CHAMADAAPLICADA WHERE DTAPLIC < %1")
                  .arg(timestampParam(conn.dialect())),
              {timestampText(now.addDays(-1))});
    conn.exec(QStringLiteral("INSERT INTO CHAMADAAPLICADA (IDCHAMADA, NMMETODO, CDOPERADOR, "
                             "DTAPLIC, DSRESPOSTA) VALUES (?, ?, ?, %1, ?)")
                  .arg(timestampParam(conn.dialect())),
              {context.callId, def.name, context.operatorCode.trimmed(), timestampText(now),
               QString::fromLatin1(contracts::rpc::encodeAnswer(result, refs).toBase64())});
}

// Runs a checked call in one transaction; any failure leaves the database and the
// by-reference arguments as they were and answers a fault.
QVariant runInTransaction(ReferenceServer& server, const contracts::MethodSpec& def,
                          const Handler& handler, QVariantList& args, const CallContext& context) {
    const QString& name = def.name;
    const QVariantList saved = args; // by-reference arguments come back unchanged on failure
    const bool once = def.writes && !context.callId.isEmpty();
    try {
        sql::Connection& conn = server.connection();
        MethodContext ctx{server, conn, context, def};
        sql::Transaction tx(conn, def.writes ? sql::Transaction::Write : sql::Transaction::Read);
        if (once)
            if (std::optional<QVariant> first = firstAnswer(conn, def, context, args))
                return *first;
        QVariant result = handler(ctx, args);
        // An answer out of the contract's shape is this server's fault, not the caller's.
        if (const QString wrong = contracts::checkAnswer(def, result); !wrong.isEmpty())
            throw std::logic_error(wrong.toStdString());
        if (once)
            recordAnswer(conn, def, context, result, args);
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

// A write call with an id answers as the first call with that id did. A repeat sent while the
// first still ran fails on the first's writes (its id, its delta, its rows) once the first
// commits; the first's answer is then the answer.
QVariant runMethod(ReferenceServer& server, const contracts::MethodSpec& def,
                   const Handler& handler, QVariantList& args, const CallContext& context) {
    const QVariant answer = runInTransaction(server, def, handler, args, context);
    if (!contracts::isFault(answer) || !def.writes || context.callId.isEmpty())
        return answer;
    const QVariantList saved = args;
    try {
        sql::Transaction tx(server.connection(), sql::Transaction::Read);
        if (std::optional<QVariant> first = firstAnswer(server.connection(), def, context, args))
            return *first;
    } catch (const std::exception&) {
        args = saved;
    }
    return answer;
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
