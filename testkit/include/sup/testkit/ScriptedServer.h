#pragma once

#include "sup/contracts/AppServer.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

namespace sup::testkit {

// One call a screen made.
struct ServerCall {
    QString module;
    QString method;
    QVariantList args;      // as the screen passed them
    QVariantList argsAfter; // after the answer (by-reference arguments the script rewrote)
};

// The application server of the tests: records every call's module, method and positional
// arguments and answers from a script. install() makes it the in-process server of every
// TNetConnection (for every module) until it is destroyed.
//
//   ScriptedServer server;
//   server.install();
//   server.answer("GetParametroOL", packet);                // every call
//   server.on("GetItem", [&](QVariantList& args) { ...; return answer; });
//   server.fail("SetBloqItem", "Registro bloqueado por outro usuário.");   // every call
//   server.fail("GetItem", "Falha", 2);                     // only the second call
//   QCOMPARE(server.calls().size(), 3);
//
// A method without a script answers a fault "Método X não roteirizado." and, in strict mode
// (the default), fails the running test. So does every call that breaks the method contract
// (sup/contracts/MethodContract.h): an unknown method or one of another module, a wrong count
// or type of arguments, or, through the typed calls, an argument passed by value where the
// contract says by reference (or the reverse); the answer is then a fault "args", as the real
// server would give, and violations() lists why.
class ScriptedServer {
public:
    using Handler = std::function<QVariant(QVariantList& args)>;

    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    void install();
    void setStrict(bool on);

    void on(const QString& method, Handler handler);
    void on(const QString& module, const QString& method, Handler handler);
    void answer(const QString& method, const QVariant& value);
    // Answers the next call only (before the method's own script).
    void answerOnce(const QString& method, const QVariant& value);
    // Fails the `occurrence`-th call of the method (1-based), or every call when 0.
    void fail(const QString& method, const QString& message = {}, int occurrence = 0);

    QList<ServerCall>& calls();
    QList<ServerCall> callsOf(const QString& method) const;
    int count(const QString& method) const;
    ServerCall last(const QString& method) const;
    QStringList methods() const;    // the methods called, in order
    QStringList violations() const; // calls refused for breaking the contract, why

    // The answer of a call as a connection gets it (for direct use).
    QVariant call(const QString& module, const QString& method, QVariantList& args);
    std::unique_ptr<sup::contracts::IAppServer> connect(const QString& module);

    struct State;

private:
    std::shared_ptr<State> state_;
    bool installed_ = false;
};

} // namespace sup::testkit
