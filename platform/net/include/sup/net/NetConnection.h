#pragma once

#include "sup/contracts/AppServer.h"
#include "sup/contracts/InProcess.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace sup::net {

using contracts::IAppServer;

// Session with an HTTP application server, shared by every connection of this process to the
// same server (scheme, host and port). signOn checks the operator's password at the server and
// keeps the token it returns; the credentials are kept in memory so that an expired session is
// renewed once, transparently, on the next call. Returns a fault value on failure (wrong
// password, server unreachable, ...), an invalid QVariant on success.
QVariant signOn(const QUrl& server, const QString& operatorCode, const QString& password,
                int timeoutMs = 30000);
void signOff(const QUrl& server);

// Connection to one remote module of the application server.
//
// The transport follows the host: an empty host (or "local"/"inproc") uses the in-process
// factory; "http://..." or "https://..." uses the HTTP client (POST /rpc/<module>/<method>,
// CBOR). A port given in the host URL wins over `port`; otherwise a non-zero `port` is used.
//
// Like the component it stands for with ThrowException off, nothing here throws: a failed
// connect leaves Connected() false and the server interface answers every call with a fault
// that names the reason, which CheckResultServ then raises.
class TNetConnection : public QObject {
    Q_OBJECT
public:
    explicit TNetConnection(QObject* parent = nullptr, const QString& name = {});
    ~TNetConnection() override;

    QString ServerName() const { return serverName_; }
    void setServerName(const QString& module) { serverName_ = module; }
    QString host() const { return host_; }
    void setHost(const QString& host) { host_ = host; }
    int port() const { return port_; }
    void setPort(int port) { port_ = port; }
    // Milliseconds a remote call may take before it fails with a network fault (HTTP only).
    int timeoutMs() const { return timeoutMs_; }
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }

    // Runs at the start of every connect(), before the transport is chosen; the screens set the
    // host and port here.
    std::function<void(TNetConnection&)> BeforeConnect;

    // Opens the connection; returns Connected(). A second connect while connected does nothing.
    bool connect();
    void disconnect();
    bool Connected() const { return server_ != nullptr; }
    void setConnected(bool on) { on ? void(connect()) : disconnect(); }
    // Why the last connect failed (empty after a successful one).
    QString lastError() const { return lastError_; }

    // The server interface of the module. Never null: while not connected, every call answers
    // a fault "Não há conexão com o servidor de aplicação..." with the reason.
    IAppServer& AppServer();

private:
    QString serverName_;
    QString host_;
    int port_ = 0;
    int timeoutMs_ = 120000;
    QString lastError_;
    std::unique_ptr<IAppServer> server_;
    std::unique_ptr<IAppServer> offline_;
};

} // namespace sup::net
