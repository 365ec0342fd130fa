#include "sup/net/NetConnection.h"

#include "sup/contracts/InProcess.h"
#include "sup/contracts/ServerResult.h"

#include "HttpTransport.h"

namespace sup::net {

using contracts::IAppServer;
using contracts::makeFault;

namespace {

// Answers every call with the reason the connection is not open.
class OfflineServer final : public IAppServer {
public:
    explicit OfflineServer(QString reason)
        : reason_(std::move(reason)) {}
    QVariant call(const QString& method, QVariantList&) override {
        QString msg =
            QStringLiteral("Não há conexão com o servidor de aplicação (método %1).").arg(method);
        if (!reason_.isEmpty())
            msg += u' ' + reason_;
        return makeFault(msg, QStringLiteral("network"));
    }

private:
    QString reason_;
};

bool isLocalHost(const QString& host) {
    const QString h = host.trimmed().toLower();
    return h.isEmpty() || h == u"local" || h == u"inproc" || h == u"in-process";
}

} // namespace

TNetConnection::TNetConnection(QObject* parent, const QString& name)
    : QObject(parent) {
    setObjectName(name);
}

TNetConnection::~TNetConnection() = default;

bool TNetConnection::connect() {
    if (server_)
        return true;
    if (BeforeConnect)
        BeforeConnect(*this);
    lastError_.clear();
    if (serverName_.trimmed().isEmpty()) {
        lastError_ = QStringLiteral("O módulo do servidor não foi informado.");
        return false;
    }
    if (isLocalHost(host_)) {
        const contracts::InProcessFactory f = contracts::inProcessFactory();
        if (!f) {
            lastError_ = QStringLiteral("O servidor local não foi configurado.");
            return false;
        }
        server_ = f(serverName_);
        if (!server_)
            lastError_ = QStringLiteral("O servidor não oferece o módulo \"%1\".").arg(serverName_);
        return server_ != nullptr;
    }
    QString error;
    server_ = makeHttpTransport(host_, port_, serverName_, timeoutMs_, &error);
    if (!server_)
        lastError_ = error;
    return server_ != nullptr;
}

void TNetConnection::disconnect() {
    server_.reset();
}

IAppServer& TNetConnection::AppServer() {
    if (server_)
        return *server_;
    offline_ = std::make_unique<OfflineServer>(lastError_);
    return *offline_;
}

} // namespace sup::net
