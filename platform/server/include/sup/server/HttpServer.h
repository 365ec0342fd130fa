#pragma once

// The HTTP transport of the reference server (cpp-httplib):
//   POST /auth/signon                CBOR {operator, password} -> {token, expiresIn, branch, ...}
//   POST /auth/signoff               ends the session of the token
//   POST /rpc/<module>/<method>      CBOR call -> CBOR answer (see sup/contracts/RpcWire.h)
//   GET  /health                     "ok" (for load balancers)
// Every /rpc call carries "Authorization: Bearer <token>" (never in the URL; never logged). An
// unknown, expired or altered token is refused with 401 and changes nothing. Repeated failed
// sign-ons of an operator or from an address are refused for a growing time (429). A body over
// the limit is refused with 413 before it is read, a header block over the limit with 431;
// connections that are idle, or slow to send their headers or body, are closed; connections
// beyond the cap are answered 503 at once. A pool of worker threads serves the calls, each
// with its own backend (its own database connection).

#include "sup/server/ReferenceServer.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace sup::server {

struct OperatorInfo {
    QString code;
    QString branch;
    bool branchBound = false;
};

// What the transport needs behind it. One instance per worker thread.
class RpcBackend {
public:
    virtual ~RpcBackend() = default;
    virtual QVariant call(const QString& module, const QString& method, QVariantList& args,
                          const CallContext& context) = 0;
    virtual QList<int> byReferenceArguments(const QString& module, const QString& method) = 0;
    // The operator when the password is right (and the operator active).
    virtual std::optional<OperatorInfo> checkPassword(const QString& operatorCode,
                                                      const QString& password) = 0;
    // Sessions, by the hash of their token; times are UTC seconds since the epoch.
    virtual void storeSession(const QByteArray& tokenHash, const QString& operatorCode,
                              qint64 expiresAt) = 0;
    virtual std::optional<QString> sessionOperator(const QByteArray& tokenHash, qint64 now) = 0;
    virtual void dropSession(const QByteArray& tokenHash) = 0;
};

// The backend over a database: a ReferenceServer on its own connection, operators and sessions
// in the OPERADOR and SESSAO tables (so several app servers can share one PostgreSQL).
class DatabaseBackend : public RpcBackend {
public:
    explicit DatabaseBackend(const QString& url); // throws sql::SqlError
    QVariant call(const QString& module, const QString& method, QVariantList& args,
                  const CallContext& context) override;
    QList<int> byReferenceArguments(const QString& module, const QString& method) override;
    std::optional<OperatorInfo> checkPassword(const QString& operatorCode,
                                              const QString& password) override;
    void storeSession(const QByteArray& tokenHash, const QString& operatorCode,
                      qint64 expiresAt) override;
    std::optional<QString> sessionOperator(const QByteArray& tokenHash, qint64 now) override;
    void dropSession(const QByteArray& tokenHash) override;
    ReferenceServer& server() { return *server_; }

private:
    std::shared_ptr<ReferenceServer> server_;
};

struct HttpServerOptions {
    QString databaseUrl;
    // Creates the backend of a worker thread (default: a DatabaseBackend on databaseUrl).
    std::function<std::unique_ptr<RpcBackend>()> backendFactory;
    QString host = QStringLiteral("127.0.0.1");
    int port = 0;            // 0: any free port (see HttpServer::port)
    int threads = 4;         // database workers, each with its own connection
    int maxConnections = 64; // connections served at once (one thread each); beyond it the one
                             // idle the longest gives way, or 503 when none is idle
    qint64 maxBodyBytes = 32LL * 1024 * 1024;
    int maxHeaderBytes = 64 * 1024;
    int headerTimeoutMs = 10000;   // from the first byte of a request to the end of its headers
    int requestTimeoutMs = 120000; // for the whole request, body included
    int bodyGraceMs = 5000;        // a body may take this long before the minimum rate counts
    qint64 minBodyBytesPerSec = 16 * 1024; // then it must keep arriving at least this fast
    int idleTimeoutMs = 5000;              // a kept-alive connection waiting for its next request
    int ioTimeoutMs = 10000;               // one read or write that makes no progress
    int keepAliveRequests = 100;
    int tokenLifetimeSecs = 12 * 3600;
    int signOnFreeAttempts =
        5; // failed sign-ons before the waits start (1 s, doubling, up to 5 min)
    int signOnTrackedKeys = 100000; // operator/address pairs the slow-down remembers at most
    // Access log (method, path, status, operator, time; never tokens or bodies).
    std::function<void(const QString&)> log;
};

class HttpServer {
public:
    explicit HttpServer(HttpServerOptions options);
    ~HttpServer(); // stops
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and starts serving in background threads; false with `error` set when the address
    // cannot be bound.
    bool start(QString* error = nullptr);
    void stop();
    int port() const;
    bool running() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sup::server
