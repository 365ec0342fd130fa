#include "sup/testkit/ScriptedServer.h"

#include "sup/contracts/InProcess.h"
#include "sup/contracts/MethodContract.h"
#include "sup/contracts/ServerResult.h"

#include <QBitArray>

#include <QHash>
#include <QTest>

#include <deque>
#include <optional>

namespace sup::testkit {

struct ScriptedServer::State {
    bool strict = true;
    QList<ServerCall> calls;
    QStringList violations;
    QHash<QString, Handler> handlers;          // "module|method" or "|method"
    QHash<QString, std::deque<QVariant>> once; // method -> answers for the next calls
    struct Failure {
        QString message;
        int occurrence = 0;
    };
    QHash<QString, QList<Failure>> failures;
    QHash<QString, int> counts;

    // A call that breaks the method contract is answered with a fault and, in strict mode, fails
    // the running test: the real server would refuse it too.
    std::optional<QVariant> refuse(const QString& module, const QString& method,
                                   const QVariantList& args, const QBitArray* byRef) {
        QString why;
        const contracts::MethodSpec* def = contracts::findMethod(module, method);
        if (!def)
            why =
                contracts::isKnownModule(module)
                    ? QStringLiteral("O módulo \"%1\" não tem o método \"%2\".").arg(module, method)
                    : QStringLiteral("O servidor de aplicação não tem o módulo \"%1\" (método %2).")
                          .arg(module, method);
        else
            why = contracts::checkArguments(*def, args, byRef);
        if (why.isEmpty())
            return std::nullopt;
        violations << why;
        calls << ServerCall{module, method, args, args};
        if (strict)
            QTest::qFail(qPrintable(QStringLiteral("ScriptedServer: %1").arg(why)), __FILE__,
                         __LINE__);
        return contracts::makeFault(why, QStringLiteral("args"));
    }

    QVariant checkedCall(const QString& module, const QString& method, QVariantList& args,
                         const QBitArray* byRef) {
        if (std::optional<QVariant> refused = refuse(module, method, args, byRef))
            return *refused;
        return call(module, method, args);
    }

    QVariant call(const QString& module, const QString& method, QVariantList& args) {
        ServerCall c{module, method, args, {}};
        const int n = ++counts[method];
        QVariant answer;
        bool failed = false;
        for (const Failure& f : failures.value(method))
            if (f.occurrence == 0 || f.occurrence == n) {
                answer = sup::contracts::makeFault(
                    f.message.isEmpty() ? QStringLiteral("Falha simulada no método %1.").arg(method)
                                        : f.message,
                    QStringLiteral("internal"));
                failed = true;
                break;
            }
        if (!failed) {
            auto& queue = once[method];
            if (!queue.empty()) {
                answer = queue.front();
                queue.pop_front();
            } else if (const auto h = handlers.constFind(module + u'|' + method);
                       h != handlers.cend()) {
                answer = (*h)(args);
            } else if (const auto any = handlers.constFind(u'|' + method); any != handlers.cend()) {
                answer = (*any)(args);
            } else {
                const QString msg = QStringLiteral("Método %1 não roteirizado.").arg(method);
                if (strict)
                    QTest::qFail(
                        qPrintable(QStringLiteral("ScriptedServer: %1 (%2)").arg(msg, module)),
                        __FILE__, __LINE__);
                answer = sup::contracts::makeFault(msg, QStringLiteral("method"));
            }
        }
        c.argsAfter = args;
        calls << c;
        return answer;
    }
};

namespace {

class Connection final : public sup::contracts::IAppServer {
public:
    Connection(std::shared_ptr<ScriptedServer::State> state, QString module)
        : state_(std::move(state))
        , module_(std::move(module)) {}
    QVariant call(const QString& method, QVariantList& args) override {
        return state_->checkedCall(module_, method, args, nullptr);
    }
    QVariant invoke(const contracts::MethodSpec& def, QVariantList& args,
                    const QBitArray& byRef) override {
        if (def.module.compare(module_, Qt::CaseInsensitive) != 0)
            return state_->checkedCall(module_, def.name, args, &byRef);
        return state_->checkedCall(def.module, def.name, args, &byRef);
    }

private:
    std::shared_ptr<ScriptedServer::State> state_;
    QString module_;
};

} // namespace

ScriptedServer::ScriptedServer()
    : state_(std::make_shared<State>()) {}

ScriptedServer::~ScriptedServer() {
    if (installed_)
        sup::contracts::setInProcessFactory(nullptr);
}

void ScriptedServer::install() {
    auto state = state_;
    sup::contracts::setInProcessFactory([state](const QString& module) {
        return std::unique_ptr<sup::contracts::IAppServer>(new Connection(state, module));
    });
    installed_ = true;
}

void ScriptedServer::setStrict(bool on) {
    state_->strict = on;
}

void ScriptedServer::on(const QString& method, Handler handler) {
    state_->handlers.insert(u'|' + method, std::move(handler));
}

void ScriptedServer::on(const QString& module, const QString& method, Handler handler) {
    state_->handlers.insert(module + u'|' + method, std::move(handler));
}

void ScriptedServer::answer(const QString& method, const QVariant& value) {
    on(method, [value](QVariantList&) { return value; });
}

void ScriptedServer::answerOnce(const QString& method, const QVariant& value) {
    state_->once[method].push_back(value);
}

void ScriptedServer::fail(const QString& method, const QString& message, int occurrence) {
    state_->failures[method] << State::Failure{message, occurrence};
}

QList<ServerCall>& ScriptedServer::calls() {
    return state_->calls;
}

QList<ServerCall> ScriptedServer::callsOf(const QString& method) const {
    QList<ServerCall> out;
    for (const ServerCall& c : state_->calls)
        if (c.method == method)
            out << c;
    return out;
}

int ScriptedServer::count(const QString& method) const {
    return int(callsOf(method).size());
}

ServerCall ScriptedServer::last(const QString& method) const {
    const auto all = callsOf(method);
    return all.isEmpty() ? ServerCall{} : all.back();
}

QStringList ScriptedServer::methods() const {
    QStringList out;
    for (const ServerCall& c : state_->calls)
        out << c.method;
    return out;
}

QVariant ScriptedServer::call(const QString& module, const QString& method, QVariantList& args) {
    return state_->checkedCall(module, method, args, nullptr);
}

QStringList ScriptedServer::violations() const {
    return state_->violations;
}

std::unique_ptr<sup::contracts::IAppServer> ScriptedServer::connect(const QString& module) {
    return std::make_unique<Connection>(state_, module);
}

} // namespace sup::testkit
