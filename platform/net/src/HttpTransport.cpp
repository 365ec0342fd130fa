// HTTP client transport: POST /rpc/<module>/<method> with a CBOR body; the caller waits in a
// local event loop that leaves user input aside, so the busy indicator keeps painting and no
// handler of the screen runs a second time meanwhile.

#include "HttpTransport.h"

#include "sup/contracts/MethodContract.h"
#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/net/NetConnection.h"

#include <QEventLoop>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUuid>

namespace sup::net {

using namespace sup::contracts;

namespace {

struct SessionEntry {
    QString token;
    QString operatorCode;
    QString password; // kept to renew an expired session once
};

QMutex sessionMutex;
QHash<QString, SessionEntry>& sessions() {
    static QHash<QString, SessionEntry> s;
    return s;
}

QString originKey(const QUrl& url) {
    return url
        .adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                  QUrl::RemoveUserInfo)
        .toString(QUrl::FullyEncoded)
        .toLower();
}

QString networkMessage(QNetworkReply::NetworkError e, const QString& detail, const QUrl& url,
                       bool timedOut, int timeoutMs) {
    const QString where =
        url.host() + (url.port() > 0 ? QStringLiteral(":%1").arg(url.port()) : QString());
    if (timedOut)
        return QStringLiteral("O servidor de aplicação (%1) não respondeu em %2 segundos. Se a "
                              "operação alterava "
                              "dados, recarregue os itens antes de repeti-la.")
            .arg(where)
            .arg(timeoutMs / 1000.0, 0, 'f', timeoutMs % 1000 ? 1 : 0);
    switch (e) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("O servidor de aplicação (%1) recusou a conexão. Verifique se ele "
                              "está em execução.")
            .arg(where);
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("Servidor de aplicação não encontrado: %1.").arg(url.host());
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral(
                   "A conexão com o servidor de aplicação (%1) foi encerrada antes da resposta.")
            .arg(where);
    case QNetworkReply::TimeoutError:
        return QStringLiteral("Tempo de conexão esgotado com o servidor de aplicação (%1).")
            .arg(where);
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("Falha na conexão segura (TLS) com o servidor de aplicação (%1).")
            .arg(where);
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
        return QStringLiteral(
                   "A rede não está disponível para falar com o servidor de aplicação (%1).")
            .arg(where);
    default:
        return QStringLiteral("Falha de comunicação com o servidor de aplicação (%1): %2")
            .arg(where, detail);
    }
}

struct HttpResult {
    int status = 0;
    QByteArray body;
    QVariant fault; // set for network failures
    int retryAfter = 0;
    bool answerLost = false; // the connection broke after the call may have reached the server
};

// Failures after which the call may have run on the server with its answer lost on the way.
bool answerMayBeLost(QNetworkReply::NetworkError e) {
    switch (e) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

// Sends one POST and waits for it in a local loop (user input excluded) with a timeout.
HttpResult post(QNetworkAccessManager& nam, const QUrl& url, const QByteArray& body,
                const QString& token, int timeoutMs, const QByteArray& callId = {}) {
    QNetworkRequest req(url);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/cbor"));
    req.setRawHeader("Accept", "application/cbor");
    req.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::ManualRedirectPolicy);
    if (!token.isEmpty())
        req.setRawHeader("Authorization", "Bearer " + token.toLatin1());
    if (!callId.isEmpty())
        req.setRawHeader("Sup-Call-Id", callId);
    QNetworkReply* reply = nam.post(req, body);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // Once the request is out the call may have run, even when the failure reported at the end
    // is of a later connection: the network layer resends a request on its own when a kept-alive
    // connection closes under it, and that resend may find the server gone.
    bool sent = false;
    QObject::connect(reply, &QNetworkReply::requestSent, &loop, [&] { sent = true; });
    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();
    HttpResult r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        r.body = reply->readAll();
    r.retryAfter = reply->rawHeader("Retry-After").toInt();
    if (r.status == 0 || timedOut) {
        r.answerLost = !timedOut && (sent || answerMayBeLost(reply->error()));
        r.fault = makeFault(
            networkMessage(reply->error(), reply->errorString(), url, timedOut, timeoutMs),
            QStringLiteral("network"));
    }
    reply->deleteLater();
    return r;
}

// The fault of a write call whose connection broke after the call may have reached the server
// and whose repeat failed as well (the server gone meanwhile): whether it was applied is unknown,
// whatever the last attempt's failure says.
QVariant unknownOutcome(const QUrl& url, const QVariant& last) {
    const QString where =
        url.host() + (url.port() > 0 ? QStringLiteral(":%1").arg(url.port()) : QString());
    return makeFault(
        QStringLiteral("A conexão com o servidor de aplicação (%1) caiu antes da "
                       "resposta e a chamada não pôde ser repetida: a operação pode "
                       "ter sido gravada. Recarregue os itens antes de repeti-la. (%2)")
            .arg(where, faultOf(last).message),
        QStringLiteral("network"));
}

// The fault of an HTTP error answer: the server's own when its body carries one.
QVariant httpFault(const HttpResult& r) {
    try {
        const rpc::Answer a = rpc::decodeAnswer(r.body);
        if (isFault(a.result))
            return a.result;
    } catch (const rpc::WireError&) {
    }
    switch (r.status) {
    case 401:
        return makeFault(
            QStringLiteral("Sessão inválida ou expirada no servidor de aplicação; entre no sistema "
                           "novamente."),
            QStringLiteral("auth"));
    case 413:
        return makeFault(
            QStringLiteral("A chamada excede o tamanho máximo aceito pelo servidor de aplicação."),
            QStringLiteral("limit"));
    case 429:
        return makeFault(
            QStringLiteral("Tentativas demais; aguarde %1 segundo(s) e tente novamente.")
                .arg(qMax(1, r.retryAfter)),
            QStringLiteral("auth"));
    default:
        return makeFault(
            QStringLiteral("O servidor de aplicação respondeu com o erro HTTP %1.").arg(r.status),
            QStringLiteral("network"));
    }
}

QVariant doSignOn(QNetworkAccessManager& nam, const QUrl& origin, const QString& op,
                  const QString& password, int timeoutMs) {
    QUrl url = origin;
    url.setPath(QStringLiteral("/auth/signon"));
    const HttpResult r = post(nam, url, rpc::encodeSignOn({op, password}), {}, timeoutMs);
    if (r.fault.isValid())
        return r.fault;
    if (r.status != 200)
        return httpFault(r);
    try {
        const rpc::Session s = rpc::decodeSession(r.body);
        QMutexLocker lock(&sessionMutex);
        sessions().insert(originKey(origin), SessionEntry{s.token, op, password});
        return {};
    } catch (const rpc::WireError& e) {
        return makeFault(e.message(), QStringLiteral("network"));
    }
}

class HttpAppServer final : public IAppServer {
public:
    HttpAppServer(QUrl origin, QString module, int timeoutMs)
        : origin_(std::move(origin))
        , module_(std::move(module))
        , timeoutMs_(timeoutMs) {}

    QVariant call(const QString& method, QVariantList& args) override {
        QByteArray body;
        try {
            body = rpc::encodeCall(args);
        } catch (const rpc::WireError& e) {
            return makeFault(e.message(), QStringLiteral("args"));
        }
        QUrl url = origin_;
        url.setPath(QStringLiteral("/rpc/%1/%2").arg(module_, method));
        // A write call carries an id, the same in each of its repeats: the server applies it
        // once and answers a repeat with the first answer. A call whose answer was lost on the
        // way back is sent again (at most twice): a read runs again, a write answers as it did.
        const contracts::MethodSpec* def = findMethod(module_, method);
        const QByteArray callId = def && def->writes
                                      ? QUuid::createUuid().toByteArray(QUuid::WithoutBraces)
                                      : QByteArray();
        int repeats = 0;
        bool broken = false; // an attempt broke off after the call may have reached the server
        for (int attempt = 0; attempt < 2; ++attempt) {
            SessionEntry session;
            {
                QMutexLocker lock(&sessionMutex);
                session = sessions().value(originKey(origin_));
            }
            if (session.token.isEmpty())
                return makeFault(
                    QStringLiteral(
                        "Não há sessão aberta no servidor de aplicação %1; entre no sistema "
                        "novamente.")
                        .arg(origin_.host()),
                    QStringLiteral("auth"));
            const HttpResult r = post(nam_, url, body, session.token, timeoutMs_, callId);
            if (r.answerLost && repeats < 2) {
                ++repeats;
                --attempt;
                broken = true;
                continue;
            }
            if (r.fault.isValid())
                return broken && !callId.isEmpty() ? unknownOutcome(url, r.fault) : r.fault;
            if (r.status == 401 && attempt == 0 && !session.password.isEmpty()) {
                // The refused call changed nothing: renew the session once and send it again.
                const QVariant f =
                    doSignOn(nam_, origin_, session.operatorCode, session.password, timeoutMs_);
                if (f.isValid())
                    return f;
                continue;
            }
            if (r.status != 200)
                return httpFault(r);
            try {
                rpc::Answer a = rpc::decodeAnswer(r.body);
                if (!isFault(a.result))
                    for (auto it = a.refs.begin(); it != a.refs.end(); ++it)
                        if (it.key() < args.size())
                            args[it.key()] = it.value();
                return a.result;
            } catch (const rpc::WireError& e) {
                return makeFault(QStringLiteral("Resposta inválida do servidor de aplicação: %1")
                                     .arg(e.message()),
                                 QStringLiteral("network"));
            }
        }
        return makeFault(QStringLiteral("A sessão no servidor de aplicação não pôde ser renovada."),
                         QStringLiteral("auth"));
    }

private:
    QUrl origin_;
    QString module_;
    int timeoutMs_;
    QNetworkAccessManager nam_;
};

} // namespace

QUrl serverOrigin(const QString& host, int port, QString* error) {
    QUrl url(host.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        if (error)
            *error = QStringLiteral("Endereço do servidor de aplicação inválido: \"%1\" (use "
                                    "http://máquina:porta).")
                         .arg(host);
        return {};
    }
    if (url.port() <= 0 && port > 0)
        url.setPort(port);
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                        QUrl::RemoveUserInfo);
}

std::unique_ptr<IAppServer> makeHttpTransport(const QString& host, int port, const QString& module,
                                              int timeoutMs, QString* error) {
    const QUrl origin = serverOrigin(host, port, error);
    if (!origin.isValid())
        return nullptr;
    return std::make_unique<HttpAppServer>(origin, module, timeoutMs);
}

QVariant signOn(const QUrl& server, const QString& operatorCode, const QString& password,
                int timeoutMs) {
    QString error;
    const QUrl origin = serverOrigin(server.toString(), 0, &error);
    if (!origin.isValid())
        return makeFault(error, QStringLiteral("args"));
    QNetworkAccessManager nam;
    return doSignOn(nam, origin, operatorCode, password, timeoutMs);
}

void signOff(const QUrl& server) {
    const QUrl origin = serverOrigin(server.toString(), 0, nullptr);
    if (!origin.isValid())
        return;
    SessionEntry session;
    {
        QMutexLocker lock(&sessionMutex);
        session = sessions().take(originKey(origin));
    }
    if (session.token.isEmpty())
        return;
    QNetworkAccessManager nam;
    QUrl url = origin;
    url.setPath(QStringLiteral("/auth/signoff"));
    post(nam, url, rpc::encodeCall({}), session.token, 5000);
}

} // namespace sup::net
