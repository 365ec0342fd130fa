#include "ServerFixture.h"

#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/data/DataPacket.h"
#include "sup/net/NetConnection.h"
#include "sup/server/HttpServer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <unistd.h>

using namespace sup;
using contracts::faultOf;
using suptest::SeededServer;

namespace {

const QString kPassword = QStringLiteral("sup07700");

// A raw HTTP exchange: writes `request` (optionally in pieces with pauses) and reads until the
// server closes or `waitMs` passes.
struct RawReply {
    int status = 0;
    QByteArray headers, body;
    bool closed = false;
};

RawReply raw(int port, const QList<QByteArray>& pieces, int pauseMs = 0, int waitMs = 3000) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    RawReply r;
    if (!s.waitForConnected(2000))
        return r;
    for (const QByteArray& p : pieces) {
        s.write(p);
        s.waitForBytesWritten(2000);
        if (pauseMs)
            QThread::msleep(pauseMs);
    }
    QByteArray all;
    QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        if (s.state() != QAbstractSocket::ConnectedState) {
            r.closed = true;
            break;
        }
        if (s.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            all += s.readAll();
        const qsizetype end = all.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray head = all.left(end);
            const qsizetype cl = head.toLower().indexOf("content-length: ");
            const int length =
                cl >= 0 ? head.mid(cl + 16, head.indexOf('\r', cl) - cl - 16).toInt() : 0;
            if (all.size() >= end + 4 + length && !head.toLower().contains("connection: close"))
                break;
        }
    }
    all += s.readAll();
    const qsizetype end = all.indexOf("\r\n\r\n");
    r.headers = end >= 0 ? all.left(end) : all;
    r.body = end >= 0 ? all.mid(end + 4) : QByteArray();
    if (r.headers.startsWith("HTTP/1.1 "))
        r.status = r.headers.mid(9, 3).toInt();
    return r;
}

QByteArray post(const QByteArray& path, const QByteArray& body,
                const QByteArray& extraHeaders = {}) {
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

QString faultMessage(const QByteArray& body) {
    try {
        return faultOf(contracts::rpc::decodeAnswer(body).result).message;
    } catch (const std::exception&) {
        return {};
    }
}

// A backend that adds the method "Eco" (writes its by-reference arguments back changed) and
// "Lento" (answers after 400 ms) to the database backend, to test the transport alone.
class TestBackend : public server::DatabaseBackend {
public:
    using DatabaseBackend::DatabaseBackend;
    QVariant call(const QString& module, const QString& method, QVariantList& args,
                  const server::CallContext& context) override {
        if (method == u"Eco") {
            QVariantList before = args;
            args[0] = args[0].toString() + QStringLiteral("!");
            args[2] = QVariantList{args[2], context.operatorCode};
            return before;
        }
        if (method == u"Lento") {
            QThread::msleep(400);
            return true;
        }
        return DatabaseBackend::call(module, method, args, context);
    }
    QList<int> byReferenceArguments(const QString& module, const QString& method) override {
        if (method == u"Eco")
            return {0, 2};
        return DatabaseBackend::byReferenceArguments(module, method);
    }
};

struct Running {
    explicit Running(const QString& kind, std::function<void(server::HttpServerOptions&)> tune = {})
        : seeded(kind == u"postgresql" ? kind : QStringLiteral("sqlite-file"), 120) {
        o.databaseUrl = seeded.db.url();
        o.threads = 2;
        const QString url = o.databaseUrl;
        o.backendFactory = [url] {
            return std::make_unique<TestBackend>(url);
        };
        if (tune)
            tune(o);
        http = std::make_unique<server::HttpServer>(o);
        QString error;
        if (!http->start(&error))
            qFatal("%s", qPrintable(error));
        base = QStringLiteral("http://127.0.0.1:%1").arg(http->port());
    }
    ~Running() { sup::net::signOff(QUrl(base)); }
    QByteArray token(const QString& op = server::kDemoOperator) {
        const RawReply r = raw(
            http->port(), {post("/auth/signon", contracts::rpc::encodeSignOn({op, kPassword}))});
        return contracts::rpc::decodeSession(r.body).token.toLatin1();
    }
    SeededServer seeded;
    server::HttpServerOptions o;
    std::unique_ptr<server::HttpServer> http;
    QString base;
};

std::unique_ptr<sup::net::TNetConnection> connectHttp(const QString& base, const QString& module,
                                                      int timeoutMs = 30000) {
    auto net = std::make_unique<sup::net::TNetConnection>();
    net->setServerName(module);
    net->setHost(base);
    net->setTimeoutMs(timeoutMs);
    net->connect();
    return net;
}

bool sameAnswer(const QVariant& a, const QVariant& b) {
    if (contracts::isFault(a) || contracts::isFault(b))
        return faultOf(a) == faultOf(b) && contracts::isFault(a) == contracts::isFault(b);
    if (a.metaType() == QMetaType::fromType<data::DataPacket>())
        return b.metaType() == a.metaType() &&
               a.value<data::DataPacket>() == b.value<data::DataPacket>();
    return a == b;
}

// Resident memory of this process (the server runs in it).
qint64 residentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLongLong() * qint64(::sysconf(_SC_PAGESIZE)) : 0;
}

} // namespace

class TestHttp : public QObject {
    Q_OBJECT

private slots:
    void transportsGiveTheSameAnswers_data() { suptest::addDatabaseRows(); }
    void transportsGiveTheSameAnswers() {
        QFETCH(QString, db);
        Running r(db);
        QVERIFY(!sup::net::signOn(QUrl(r.base), server::kDemoOperator, kPassword).isValid());
        struct Case {
            QString module, method;
            QVariantList args;
        };
        const QString alt = server::kModuleAltPedidosOL, sup = server::kModuleSuprimentos;
        const QList<Case> cases = {
            {alt, QStringLiteral("GetParametroOL"), {QStringLiteral("0001")}},
            {alt, QStringLiteral("GetParametroOL"), {QStringLiteral("0012")}},
            {alt, QStringLiteral("GetParametroOL"), {QStringLiteral("9999")}},
            {alt, QStringLiteral("GetParametroOL"), {}},
            {alt, QStringLiteral("GetParametroOL"), {3.5}},
            {alt, QStringLiteral("getParaSupri"), {QStringLiteral("0001")}},
            {sup, QStringLiteral("GetParaSupri"), {QStringLiteral("0002")}},
            {alt, QStringLiteral("GetAgruFili"), {}},
            {alt, QStringLiteral("MetodoQueNaoExiste"), {1, QStringLiteral("a")}},
            {alt,
             QStringLiteral("Eco"),
             {QStringLiteral("ação"), 2.5, QVariantList{QDate(2026, 3, 2), true}}},
        };
        for (const QString& module : {alt, sup}) {
            auto net = connectHttp(r.base, module);
            QVERIFY(net->Connected());
            auto local =
                server::ReferenceServer::module(r.seeded.server, module, server::kDemoOperator);
            for (const Case& c : cases) {
                if (c.module != module)
                    continue;
                QVariantList a = c.args, b = c.args;
                const QVariant viaHttp = net->AppServer().call(c.method, a);
                if (c.method == u"Eco") {
                    // Only the HTTP backend knows it: check the by-reference arguments came back.
                    QCOMPARE(viaHttp, QVariant(c.args));
                    QCOMPARE(a[0], QVariant(QStringLiteral("ação!")));
                    QCOMPARE(a[1], QVariant(2.5));
                    QCOMPARE(a[2], QVariant(QVariantList{c.args[2], server::kDemoOperator}));
                    continue;
                }
                const QVariant inProcess = local->call(c.method, b);
                QVERIFY2(sameAnswer(viaHttp, inProcess),
                         qPrintable(c.method + u' ' + faultOf(viaHttp).message));
                QCOMPARE(a.size(), b.size());
            }
        }
    }

    void signOnAndTokens() {
        Running r(QStringLiteral("sqlite"),
                  [](server::HttpServerOptions& o) { o.tokenLifetimeSecs = 2; });
        const QByteArray call = contracts::rpc::encodeCall({QStringLiteral("0001")});
        const QByteArray path = "/rpc/Sup07700.rdmAltPedidosOL/GetParametroOL";
        const QByteArray token = r.token();
        QCOMPARE(token.size(), 32);
        QCOMPARE(raw(r.http->port(), {post(path, call, "Authorization: Bearer " + token + "\r\n")})
                     .status,
                 200);
        // No token, a token in the URL, an altered token: refused, 401.
        QCOMPARE(raw(r.http->port(), {post(path, call)}).status, 401);
        QCOMPARE(raw(r.http->port(), {post(path + "?token=" + token, call)}).status, 401);
        QByteArray altered = token;
        altered[5] = altered[5] == 'a' ? 'b' : 'a';
        const RawReply bad =
            raw(r.http->port(), {post(path, call, "Authorization: Bearer " + altered + "\r\n")});
        QCOMPARE(bad.status, 401);
        QVERIFY(faultMessage(bad.body).contains(u"Sessão inválida ou expirada"));
        QCOMPARE(raw(r.http->port(), {post(path, call, "Authorization: Bearer x' OR '1'='1\r\n")})
                     .status,
                 401);
        // Tokens are stored hashed: the table never holds the token itself.
        QCOMPARE(r.seeded.conn
                     ->scalar(QStringLiteral("SELECT COUNT(*) FROM SESSAO WHERE DSTOKENHASH = ?"),
                              {QString::fromLatin1(token)})
                     .toInt(),
                 0);
        // Expired after its lifetime.
        QThread::msleep(2100);
        QCOMPARE(raw(r.http->port(), {post(path, call, "Authorization: Bearer " + token + "\r\n")})
                     .status,
                 401);

        // The client renews an expired session with the credentials it signed on with.
        QVERIFY(!sup::net::signOn(QUrl(r.base), server::kDemoOperator, kPassword).isValid());
        auto net = connectHttp(r.base, server::kModuleAltPedidosOL);
        QVariantList args{QStringLiteral("0001")};
        QVERIFY(!contracts::isFault(net->AppServer().call(QStringLiteral("GetParametroOL"), args)));
        QThread::msleep(2100);
        QVERIFY(!contracts::isFault(net->AppServer().call(QStringLiteral("GetParametroOL"), args)));
        // After signing off, calls are refused.
        sup::net::signOff(QUrl(r.base));
        const QVariant a = net->AppServer().call(QStringLiteral("GetParametroOL"), args);
        QCOMPARE(faultOf(a).code, QStringLiteral("auth"));
    }

    void failedSignOnsAreSlowedDown() {
        Running r(QStringLiteral("sqlite"),
                  [](server::HttpServerOptions& o) { o.signOnFreeAttempts = 3; });
        const QUrl url(r.base);
        for (int i = 0; i < 3; ++i) {
            const QVariant f =
                sup::net::signOn(url, server::kPlainOperator, QStringLiteral("errada"));
            QCOMPARE(faultOf(f).message, QStringLiteral("Operador ou senha inválidos."));
        }
        // Now even the right password waits its turn.
        QVariant f = sup::net::signOn(url, server::kPlainOperator, kPassword);
        QCOMPARE(faultOf(f).code, QStringLiteral("auth"));
        QVERIFY2(faultOf(f).message.contains(u"aguarde"), qPrintable(faultOf(f).message));
        // Another operator from the same address is not (behind a proxy every user shares it).
        f = sup::net::signOn(url, server::kDemoOperator, kPassword);
        QVERIFY2(!f.isValid(), qPrintable(faultOf(f).message));
        QThread::msleep(1100);
        QVERIFY(!sup::net::signOn(url, server::kPlainOperator, kPassword).isValid());
        // An unknown operator gets the same answer as a wrong password.
        QCOMPARE(faultOf(sup::net::signOn(url, QStringLiteral("NINGUEM"), kPassword)).message,
                 QStringLiteral("Operador ou senha inválidos."));
    }

    void limitsAndMalformedRequests() {
        Running r(QStringLiteral("sqlite"), [](server::HttpServerOptions& o) {
            o.headerTimeoutMs = 800;
            o.idleTimeoutMs = 500;
            o.maxBodyBytes = 1024 * 1024;
        });
        const int port = r.http->port();
        const QByteArray auth = "Authorization: Bearer " + r.token() + "\r\n";
        const QByteArray path = "/rpc/Sup07700.rdmAltPedidosOL/GetParametroOL";

        // A body announced over the limit is refused before it is sent.
        QElapsedTimer t;
        t.start();
        RawReply big =
            raw(port, {"POST " + path + " HTTP/1.1\r\nHost: x\r\nContent-Length: 40000000\r\n" +
                       auth + "\r\nabc"});
        QCOMPARE(big.status, 413);
        QVERIFY(t.elapsed() < 2000);
        QVERIFY(faultMessage(big.body).contains(u"tamanho máximo"));

        // Bodies of unknown length are refused instead of being read until the client stops.
        QCOMPARE(
            raw(port, {"POST " + path + " HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n" +
                       auth + "\r\n5\r\nabcde\r\n"})
                .status,
            411);
        QCOMPARE(raw(port, {"POST " + path + " HTTP/1.1\r\nHost: x\r\n" + auth + "\r\n"}).status,
                 411);

        // A sign-on is small; a huge one is refused before any password check.
        QCOMPARE(
            raw(port, {post("/auth/signon", contracts::rpc::encodeSignOn(
                                                {server::kDemoOperator, QString(10000, u'x')}))})
                .status,
            413);

        // Headers over the limit: 431.
        const QByteArray huge = "X-Enchimento: " + QByteArray(70 * 1024, 'a') + "\r\n";
        RawReply h = raw(port, {"POST " + path + " HTTP/1.1\r\nHost: x\r\n" + huge +
                                "Content-Length: 0\r\n\r\n"});
        QCOMPARE(h.status, 431);
        QVERIFY(faultMessage(h.body).contains(u"cabeçalhos"));

        // Headers sent too slowly: the connection is closed.
        t.restart();
        RawReply slow =
            raw(port, {"POST " + path + " HTTP/1.1\r\n", "Host: x\r\n", "X-A: 1\r\n", "X-B: 2\r\n"},
                400, 4000);
        QVERIFY(slow.closed);
        QVERIFY(slow.status == 408 || slow.status == 0);
        QVERIFY(t.elapsed() < 3900);

        // An idle kept-alive connection is closed after its timeout.
        {
            QTcpSocket s;
            s.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
            QVERIFY(s.waitForConnected(2000));
            s.write("GET /health HTTP/1.1\r\nHost: x\r\n\r\n");
            QVERIFY(s.waitForReadyRead(2000));
            s.readAll();
            t.restart();
            while (s.state() == QAbstractSocket::ConnectedState && t.elapsed() < 3000)
                s.waitForReadyRead(100);
            QVERIFY(s.state() != QAbstractSocket::ConnectedState);
        }

        // Malformed CBOR: a clear fault, nothing else.
        for (const QByteArray& body :
             {QByteArray("\xff\x00garbage", 9), QByteArray("\xa1\x61v\x02"),
              contracts::rpc::encodeValue(QVariantList{1, 2}),
              contracts::rpc::encodeCall({QStringLiteral("0001")}).left(5)}) {
            RawReply m = raw(port, {post(path, body, auth)});
            QCOMPARE(m.status, 400);
            QVERIFY2(faultMessage(m.body).startsWith(u"Chamada malformada"),
                     qPrintable(faultMessage(m.body)));
        }
        // Hostile nesting does not exhaust the stack.
        QByteArray deep = "\xa2\x61v\x01\x64"
                          "args";
        for (int i = 0; i < 100000; ++i)
            deep += '\x81';
        deep += '\x01';
        QCOMPARE(raw(port, {post(path, deep, auth)}).status, 400);
        // Unknown paths and methods.
        QCOMPARE(raw(port, {post("/rpc/x", "")}).status, 404);
        QCOMPARE(raw(port, {"GET /rpc/a/b HTTP/1.1\r\nHost: x\r\n\r\n"}).status, 404);
        // The server still answers normally.
        QCOMPARE(raw(port, {post(path, contracts::rpc::encodeCall({QStringLiteral("0001")}), auth)})
                     .status,
                 200);
    }

    void connectionsBeyondTheCapAreRefused() {
        Running r(QStringLiteral("sqlite"), [](server::HttpServerOptions& o) {
            o.threads = 2;
            o.maxConnections = 2;
            o.headerTimeoutMs = 3000;
        });
        // Two calls under way (their bodies still to come) hold both places.
        const QByteArray auth = "Authorization: Bearer " + r.token() + "\r\n";
        QTcpSocket a, b;
        for (QTcpSocket* s : {&a, &b}) {
            s->connectToHost(QStringLiteral("127.0.0.1"), quint16(r.http->port()));
            QVERIFY(s->waitForConnected(2000));
            s->write("POST /rpc/Sup07700.rdmAltPedidosOL/GetParametroOL HTTP/1.1\r\nHost: x\r\n"
                     "Content-Length: 100\r\n" +
                     auth + "\r\n");
            QVERIFY(s->waitForBytesWritten(2000));
        }
        QThread::msleep(300);
        QElapsedTimer t;
        t.start();
        const RawReply third = raw(r.http->port(), {"GET /health HTTP/1.1\r\nHost: x\r\n\r\n"});
        QCOMPARE(third.status, 503);
        QVERIFY(t.elapsed() < 1500);
        QVERIFY(faultMessage(third.body).contains(u"conexões demais"));
        a.abort();
        b.abort();
        QThread::msleep(300);
        QCOMPARE(raw(r.http->port(), {"GET /health HTTP/1.1\r\nHost: x\r\n\r\n"}).status, 200);
    }

    // Idle sockets, however many, give way: the one idle the longest is closed for a new one.
    void idleSocketsDoNotStarveCalls() {
        Running r(QStringLiteral("sqlite")); // 64 connections at most
        const QByteArray auth = "Authorization: Bearer " + r.token() + "\r\n";
        // A burst of 200 connections that never send a byte: all are accepted at once (the
        // listen queue is sized to the cap) and the idle ones give way to each other.
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 200; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QStringLiteral("127.0.0.1"), quint16(r.http->port()));
        }
        for (auto& s : idle)
            QVERIFY(s->state() == QAbstractSocket::ConnectedState || s->waitForConnected(2000));
        QThread::msleep(200);
        const QByteArray path = "/rpc/Sup07700.rdmAltPedidosOL/GetParametroOL";
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer t;
            t.start();
            const RawReply call =
                raw(r.http->port(),
                    {post(path, contracts::rpc::encodeCall({QStringLiteral("0001")}), auth)});
            QCOMPARE(call.status, 200);
            QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        }
    }

    // A body trickled in is cut off once it falls behind the minimum rate after its grace.
    void slowBodiesAreCutOff() {
        Running r(QStringLiteral("sqlite"), [](server::HttpServerOptions& o) {
            o.bodyGraceMs = 600;
            o.minBodyBytesPerSec = 1000;
        });
        const QByteArray auth = "Authorization: Bearer " + r.token() + "\r\n";
        QElapsedTimer t;
        t.start();
        const RawReply slow =
            raw(r.http->port(),
                {"POST /rpc/Sup07700.rdmAltPedidosOL/GetParametroOL HTTP/1.1\r\nHost: x\r\n"
                 "Content-Length: 5000\r\n" +
                     auth + "\r\n",
                 "a", "b", "c", "d", "e", "f"},
                400, 5000);
        QCOMPARE(slow.status, 408);
        QVERIFY(faultMessage(slow.body).contains(u"devagar demais"));
        QVERIFY(t.elapsed() < 4000);
    }

    // What a proxy could read one way and the server another is refused.
    void strictFraming() {
        Running r(QStringLiteral("sqlite"));
        const int port = r.http->port();
        const QByteArray auth = "Authorization: Bearer " + r.token() + "\r\n";
        const QByteArray body = contracts::rpc::encodeCall({QStringLiteral("0001")});
        const QByteArray head = "POST /rpc/Sup07700.rdmAltPedidosOL/GetParametroOL HTTP/1.1\r\n"
                                "Host: x\r\n" +
                                auth;
        const QByteArray length = QByteArray::number(body.size());
        for (const QByteArray& cl :
             {"Content-Length: " + length + "\r\nContent-Length: 3\r\n",
              QByteArray("Content-Length: abc\r\n"), QByteArray("Content-Length: 0x10\r\n"),
              "Content-Length: +" + length + "\r\n", "Content-Length: -" + length + "\r\n"}) {
            const RawReply rep = raw(port, {head + cl + "\r\n" + body});
            QVERIFY2(rep.status == 400, cl.constData());
            QVERIFY(rep.closed);
        }
        // The body arrives whole before anything after it could be read as a request.
        QCOMPARE(raw(port, {head + "Content-Length: " + length + "\r\n\r\n" + body}).status, 200);

        // One header line over 8 KiB: 431, as any header over the limit.
        QCOMPARE(raw(port, {head + "X-Longa: " + QByteArray(9000, 'a') +
                            "\r\nContent-Length: " + length + "\r\n\r\n" + body})
                     .status,
                 431);

        // "100 Continue" only for what will be read: an oversized body is refused first.
        RawReply big =
            raw(port, {head + "Content-Length: 40000000\r\nExpect: 100-continue\r\n\r\n"});
        QCOMPARE(big.status, 413);
        QVERIFY(!big.headers.contains("100 Continue"));
        // A call without a valid token is refused before its body is read.
        RawReply anon = raw(port, {"POST /rpc/Sup07700.rdmAltPedidosOL/GetParametroOL HTTP/1.1\r\n"
                                   "Host: x\r\nContent-Length: 30000000\r\nExpect: 100-continue"
                                   "\r\n\r\n"});
        QCOMPARE(anon.status, 401);
    }

    // Small bodies cannot make the server take memory out of proportion, and a packet where the
    // method takes none is refused before it is decoded.
    void packetsWithinTheirBudget() {
        Running r(QStringLiteral("sqlite"));
        const int port = r.http->port();
        const QByteArray auth = "Authorization: Bearer " + r.token() + "\r\n";

        // A delta of 150,000 rows of 2 null text(254) cells: about 1 MB on the wire, over
        // 70 MB decoded.
        data::FieldDefs defs{data::FieldDef::text(QStringLiteral("T"), 254)};
        std::vector<data::Column> cur, old;
        cur.emplace_back(defs[0]);
        old.emplace_back(defs[0]);
        const qsizetype rows = 150000;
        cur[0].resize(rows);
        old[0].resize(rows);
        const data::DataPacket delta = data::DataPacket::makeDelta(
            defs, std::move(cur), std::move(old),
            std::vector<data::RowKind>(std::size_t(rows), data::RowKind::Modified));
        const QByteArray body = contracts::rpc::encodeCall(
            {QVariant::fromValue(delta), QStringLiteral("N"), QStringLiteral("N"),
             QStringLiteral("DEMO"), true, QStringLiteral("a"), QStringLiteral("b")});
        QVERIFY(body.size() < 2000000);
        const qint64 before = residentBytes();
        for (int i = 0; i < 4; ++i) {
            const RawReply rep =
                raw(port, {post("/rpc/Sup07700.rdmAltPedidosOL/UpdItemPedidoOL", body, auth)});
            QCOMPARE(rep.status, 400);
            QVERIFY2(faultMessage(rep.body).contains(u"memória"),
                     qPrintable(faultMessage(rep.body)));
        }
#if !defined(__SANITIZE_ADDRESS__)
        // (Under AddressSanitizer freed memory stays resident in its quarantine.)
        QVERIFY2(residentBytes() - before < 60LL * 1024 * 1024,
                 qPrintable(QString::number(residentBytes() - before)));
#else
        Q_UNUSED(before);
#endif

        // A packet as a text argument, or inside a sign-on: refused as such.
        const QByteArray packetAsText =
            contracts::rpc::encodeCall({QVariant::fromValue(data::DataPacket())});
        RawReply rep =
            raw(port, {post("/rpc/Sup07700.rdmAltPedidosOL/GetParametroOL", packetAsText, auth)});
        QCOMPARE(rep.status, 400);
        QVERIFY(faultMessage(rep.body).contains(u"argumento 1 não aceita pacote"));
        QByteArray signOn = contracts::rpc::encodeValue(
            QVariantMap{{QStringLiteral("v"), 1},
                        {QStringLiteral("operator"), QStringLiteral("DEMO")},
                        {QStringLiteral("password"), QStringLiteral("x")},
                        {QStringLiteral("extra"), QVariant::fromValue(data::DataPacket())}});
        rep = raw(port, {post("/auth/signon", signOn)});
        QCOMPARE(rep.status, 400);
        QVERIFY(faultMessage(rep.body).contains(u"pacote de dados"));
    }

    // The log cannot be forged, failed sign-ons are in it, and a deactivated operator's session
    // ends.
    void logAndSessions() {
        QStringList lines;
        QMutex m;
        Running r(QStringLiteral("sqlite"), [&](server::HttpServerOptions& o) {
            o.log = [&](const QString& line) {
                QMutexLocker l(&m);
                lines << line;
            };
        });
        const RawReply bad = raw(
            r.http->port(),
            {post("/auth/signon", contracts::rpc::encodeSignOn({QStringLiteral("X\nFORJADA 200"),
                                                                QStringLiteral("senha")}))});
        QCOMPARE(bad.status, 401);
        {
            QMutexLocker l(&m);
            QCOMPARE(lines.size(), 1);
            QVERIFY(!lines[0].contains(u'\n'));
            QVERIFY2(lines[0].contains(u"X\\x0aFORJADA") && lines[0].contains(u" 401 "),
                     qPrintable(lines[0]));
        }
        const QByteArray token = r.token(server::kPlainOperator);
        const QByteArray call = post("/rpc/Sup07700.rdmAltPedidosOL/GetParametroOL",
                                     contracts::rpc::encodeCall({QStringLiteral("0001")}),
                                     "Authorization: Bearer " + token + "\r\n");
        QCOMPARE(raw(r.http->port(), {call}).status, 200);
        r.seeded.conn->exec(
            QStringLiteral("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = ?"),
            {server::kPlainOperator});
        QCOMPARE(raw(r.http->port(), {call}).status, 401);
    }

    // The seeded operators share a password, not its hash: each has a salt of its own.
    void distinctSalts() {
        SeededServer s(QStringLiteral("sqlite"), 10);
        QSqlQuery q = s.conn->exec(QStringLiteral("SELECT DSSENHAHASH FROM OPERADOR"));
        QSet<QString> hashes;
        int n = 0;
        while (q.next()) {
            hashes.insert(q.value(0).toString());
            ++n;
        }
        QVERIFY(n >= 5);
        QCOMPARE(hashes.size(), n);
    }

    void clientFaultsAndLocalWait() {
        // Nobody listening.
        {
            server::HttpServerOptions o;
            o.databaseUrl = QStringLiteral("sqlite:/nao/existe.db");
            QTcpSocket probe;
            auto net = connectHttp(QStringLiteral("http://127.0.0.1:1"),
                                   server::kModuleAltPedidosOL, 3000);
            sup::net::signOff(QUrl(QStringLiteral("http://127.0.0.1:1")));
            const QVariant f = sup::net::signOn(QUrl(QStringLiteral("http://127.0.0.1:1")),
                                                server::kDemoOperator, kPassword, 3000);
            QCOMPARE(faultOf(f).code, QStringLiteral("network"));
            QVERIFY2(faultOf(f).message.contains(u"recusou a conexão"),
                     qPrintable(faultOf(f).message));
            QVariantList args;
            QCOMPARE(faultOf(net->AppServer().call(QStringLiteral("GetAgruFili"), args)).code,
                     QStringLiteral("auth"));
        }
        {
            sup::net::TNetConnection net;
            net.setServerName(server::kModuleAltPedidosOL);
            net.setHost(QStringLiteral("ftp://x"));
            QVERIFY(!net.connect());
            QVERIFY(net.lastError().contains(u"inválido"));
        }
        Running r(QStringLiteral("sqlite"));
        QVERIFY(!sup::net::signOn(QUrl(r.base), server::kDemoOperator, kPassword).isValid());
        // A call slower than the timeout fails with a clear message; the caller is not left
        // hanging.
        auto net = connectHttp(r.base, server::kModuleAltPedidosOL, 150);
        QVariantList args;
        QVariant f = net->AppServer().call(QStringLiteral("Lento"), args);
        QCOMPARE(faultOf(f).code, QStringLiteral("network"));
        QVERIFY2(faultOf(f).message.contains(u"não respondeu em"), qPrintable(faultOf(f).message));
        // While a call waits, timers keep running (the busy indicator stays painted), and the
        // call still returns its own answer.
        auto patient = connectHttp(r.base, server::kModuleAltPedidosOL, 5000);
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        f = patient->AppServer().call(QStringLiteral("Lento"), args);
        timer.stop();
        QCOMPARE(f, QVariant(true));
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        // Port from the connection's port when the address has none.
        sup::net::TNetConnection byPort;
        byPort.setServerName(server::kModuleAltPedidosOL);
        byPort.setHost(QStringLiteral("http://127.0.0.1"));
        byPort.setPort(r.http->port());
        QVERIFY(byPort.connect());
        QVariantList p{QStringLiteral("0001")};
        QVERIFY(!contracts::isFault(byPort.AppServer().call(QStringLiteral("GetParametroOL"), p)));
    }
};

QTEST_GUILESS_MAIN(TestHttp)
#include "tst_http.moc"
