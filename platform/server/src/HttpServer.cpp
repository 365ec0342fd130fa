#include "sup/server/HttpServer.h"

#include "Fault.h"
#include "SignOnThrottle.h"
#include "SqlValues.h"

#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/server/Schema.h"
#include "sup/server/Seed.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <httplib.h>
#include <sodium.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace sup::server {

// ------------------------------------------------------------------ database backend

namespace {

QString utcText(qint64 secs) {
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

qint64 utcSecs(const QString& text) {
    QDateTime dt = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dt.setTimeSpec(Qt::UTC);
    return dt.isValid() ? dt.toSecsSinceEpoch() : 0;
}

// A hash to verify against when the operator does not exist, so that both cases cost the same.
const QString& dummyHash() {
    static const QString h = hashPassword(QStringLiteral("x-sem-operador-x"));
    return h;
}

} // namespace

DatabaseBackend::DatabaseBackend(const QString& url) {
    std::shared_ptr<sql::Connection> conn = sql::Connection::open(url);
    if (!schemaInstalled(*conn))
        installSchema(*conn);
    server_ = std::make_shared<ReferenceServer>(std::move(conn));
}

QVariant DatabaseBackend::call(const QString& module, const QString& method, QVariantList& args,
                               const CallContext& context) {
    return server_->call(module, method, args, context);
}

QList<int> DatabaseBackend::byReferenceArguments(const QString& module, const QString& method) {
    return ReferenceServer::byReferenceArguments(module, method);
}

std::optional<OperatorInfo> DatabaseBackend::checkPassword(const QString& op,
                                                           const QString& password) {
    sql::Connection& c = server_->connection();
    QSqlQuery q =
        c.exec(QStringLiteral(
                   "SELECT CDOPERADOR, DSSENHAHASH, CDFILPROC, IDOPERFILI, IDATIVO FROM OPERADOR"
                   " WHERE CDOPERADOR = ?"),
               {op.trimmed()});
    if (!q.next()) {
        verifyPassword(dummyHash(), password);
        return std::nullopt;
    }
    const bool ok = verifyPassword(q.value(1).toString(), password);
    if (!ok || q.value(4).toString() != u"S")
        return std::nullopt;
    return OperatorInfo{q.value(0).toString(), q.value(2).toString(),
                        q.value(3).toString() == u"S"};
}

void DatabaseBackend::storeSession(const QByteArray& tokenHash, const QString& op,
                                   qint64 expiresAt) {
    sql::Connection& c = server_->connection();
    const bool pg = c.dialect() == sql::Dialect::PostgreSQL;
    const QString ts = pg ? QStringLiteral("CAST(? AS timestamp(0))") : QStringLiteral("?");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    sql::Transaction tx(c);
    c.exec(QStringLiteral("DELETE FROM SESSAO WHERE DTEXPIRA < %1").arg(ts), {utcText(now)});
    c.exec(QStringLiteral("INSERT INTO SESSAO (DSTOKENHASH, CDOPERADOR, DTCRIACAO, DTEXPIRA) "
                          "VALUES (?, ?, %1, %1)")
               .arg(ts),
           {QString::fromLatin1(tokenHash), op, utcText(now), utcText(expiresAt)});
    tx.commit();
}

std::optional<QString> DatabaseBackend::sessionOperator(const QByteArray& tokenHash, qint64 now) {
    sql::Connection& c = server_->connection();
    // A session ends with its operator's deactivation.
    QSqlQuery q = c.exec(QStringLiteral("SELECT S.CDOPERADOR, %1 FROM SESSAO S JOIN OPERADOR O"
                                        " ON O.CDOPERADOR = S.CDOPERADOR"
                                        " WHERE S.DSTOKENHASH = ? AND O.IDATIVO = 'S'")
                             .arg(dateOut(c.dialect(), QStringLiteral("S.DTEXPIRA"))),
                         {QString::fromLatin1(tokenHash)});
    if (!q.next() || utcSecs(q.value(1).toString()) <= now)
        return std::nullopt;
    return q.value(0).toString();
}

void DatabaseBackend::dropSession(const QByteArray& tokenHash) {
    sql::Connection& c = server_->connection();
    c.exec(QStringLiteral("DELETE FROM SESSAO WHERE DSTOKENHASH = ?"),
           {QString::fromLatin1(tokenHash)});
}

// ------------------------------------------------------------------ transport

namespace {

thread_local bool tlReject = false;
// Set by a handler that answered without reading the request's body: the connection must close.
thread_local bool tlCloseAfter = false;
// The operator of the request's token, checked before its body was read.
thread_local QString tlOperator;
// The early checks of the request have passed (they run once, before "100 Continue" or before
// routing, whichever comes first).
thread_local bool tlEarlyDone = false;

std::string cborFault(const QString& message, const QString& code) {
    const QByteArray b = contracts::rpc::encodeAnswer(contracts::makeFault(message, code));
    return std::string(b.constData(), std::size_t(b.size()));
}

std::string rawResponse(int status, const char* reason, const QString& message, const QString& code,
                        const char* extra = "") {
    const std::string body = cborFault(message, code);
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: application/cbor\r\nConnection: close\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void sendAll(int sock, const std::string& data, int timeoutMs) {
    std::size_t off = 0;
    while (off < data.size()) {
        pollfd p{sock, POLLOUT, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return;
        const ssize_t n = ::send(sock, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        off += std::size_t(n);
    }
}

using Clock = std::chrono::steady_clock;

qint64 msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// The connections being served, so that one beyond the cap can take the place of the one that
// has waited longest for a request. A connection is evictable while it waits for a request or
// receives its headers; never while its body is read or its answer made.
class ConnectionTable {
public:
    void add(int sock) {
        std::lock_guard<std::mutex> l(m_);
        conns_[sock] = Entry{true, Clock::now()};
    }
    void remove(int sock) {
        std::lock_guard<std::mutex> l(m_);
        conns_.erase(sock);
    }
    void setEvictable(int sock, bool on) {
        std::lock_guard<std::mutex> l(m_);
        const auto it = conns_.find(sock);
        if (it != conns_.end()) {
            it->second.evictable = on;
            if (on)
                it->second.since = Clock::now();
        }
    }
    // Closes the reading side of the connection evictable the longest; false when none is.
    // The socket is shut down under the lock, so it cannot be a newer connection's by then.
    bool evictOne() {
        std::lock_guard<std::mutex> l(m_);
        auto best = conns_.end();
        for (auto it = conns_.begin(); it != conns_.end(); ++it)
            if (it->second.evictable &&
                (best == conns_.end() || it->second.since < best->second.since))
                best = it;
        if (best == conns_.end())
            return false;
        best->second.evictable = false; // taken once
        ::shutdown(best->first, SHUT_RD);
        return true;
    }

private:
    struct Entry {
        bool evictable = true;
        Clock::time_point since;
    };
    std::mutex m_;
    std::map<int, Entry> conns_;
};

// A socket stream that enforces the header limits and the deadlines around httplib's request
// parsing: the headers of the first request must be in within the header time-out of the
// connection's accept, those of a later one within it of the previous answer; a body must keep
// arriving at the minimum rate after a grace period, and a request never takes longer than the
// request time-out.
class LimitedStream final : public httplib::Stream {
public:
    LimitedStream(int sock, const HttpServerOptions& o, ConnectionTable& table)
        : sock_(sock)
        , o_(o)
        , table_(table) {}

    void beginRequest() {
        inHeaders_ = true;
        headerBytes_ = 0;
        lineBytes_ = 0;
        crlf_ = 0;
        bodyBytes_ = 0;
    }
    // The deadlines of the next request count from now (after an answer).
    void restartClock() { start_ = Clock::now(); }
    bool rejected() const { return rejected_; }

    // Waits for the first byte of the next request, giving up early when `stopping` says so.
    template <typename Stop> bool waitReadable(int timeoutMs, Stop stopping) {
        if (pos_ < len_)
            return true;
        for (int waited = 0; waited < timeoutMs && !stopping(); waited += 100) {
            pollfd p{sock_, POLLIN, 0};
            const int rc = ::poll(&p, 1, qMin(100, timeoutMs - waited));
            if (rc < 0)
                return false;
            if (rc > 0)
                return (p.revents & POLLIN) != 0;
        }
        return false;
    }

    bool is_readable() const override {
        if (pos_ < len_)
            return true;
        pollfd p{sock_, POLLIN, 0};
        return ::poll(&p, 1, o_.ioTimeoutMs) > 0;
    }
    bool is_writable() const override {
        pollfd p{sock_, POLLOUT, 0};
        return !rejected_ && ::poll(&p, 1, o_.ioTimeoutMs) > 0;
    }

    ssize_t read(char* ptr, size_t size) override {
        if (rejected_)
            return -1;
        if (pos_ >= len_) {
            const int timeout = remainingMs();
            if (timeout <= 0) {
                timedOut();
                return -1;
            }
            pollfd p{sock_, POLLIN, 0};
            if (::poll(&p, 1, timeout) <= 0) {
                if (remainingMs() <= 0)
                    timedOut();
                return -1;
            }
            const ssize_t n = ::recv(sock_, buf_, sizeof buf_, 0);
            if (n <= 0)
                return -1;
            pos_ = 0;
            len_ = std::size_t(n);
        }
        std::size_t n = std::min(size, len_ - pos_);
        if (inHeaders_) {
            for (std::size_t i = 0; i < n; ++i) {
                const char c = buf_[pos_ + i];
                crlf_ = (c == '\r' && (crlf_ == 0 || crlf_ == 2))   ? crlf_ + 1
                        : (c == '\n' && (crlf_ == 1 || crlf_ == 3)) ? crlf_ + 1
                        : (c == '\r')                               ? 1
                                                                    : 0;
                lineBytes_ = c == '\n' ? 0 : lineBytes_ + 1;
                if (++headerBytes_ > std::size_t(o_.maxHeaderBytes) ||
                    lineBytes_ > std::size_t(kMaxHeaderLine)) {
                    reject(431, "Request Header Fields Too Large",
                           lineBytes_ > std::size_t(kMaxHeaderLine)
                               ? QStringLiteral("Uma linha dos cabeçalhos do pedido excede %1 KiB.")
                                     .arg(kMaxHeaderLine / 1024)
                               : QStringLiteral("Os cabeçalhos do pedido excedem %1 KiB.")
                                     .arg(o_.maxHeaderBytes / 1024));
                    return -1;
                }
                if (crlf_ == 4) {
                    inHeaders_ = false;
                    bodyStart_ = Clock::now();
                    // From here on the request is under way: it keeps its thread.
                    table_.setEvictable(sock_, false);
                    n = i + 1; // hand over the headers alone; the body follows on the next read
                    break;
                }
            }
        } else {
            bodyBytes_ += qint64(n);
        }
        std::memcpy(ptr, buf_ + pos_, n);
        pos_ += n;
        return ssize_t(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (rejected_)
            return -1;
        std::size_t off = 0;
        while (off < size) {
            pollfd p{sock_, POLLOUT, 0};
            if (::poll(&p, 1, o_.ioTimeoutMs) <= 0)
                return -1;
            const ssize_t n = ::send(sock_, ptr + off, size - off, MSG_NOSIGNAL);
            if (n <= 0)
                return -1;
            off += std::size_t(n);
        }
        return ssize_t(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        address(true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        address(false, ip, port);
    }
    socket_t socket() const override { return sock_; }

    // httplib reads a header line into a buffer of 8 KiB and answers 400 beyond it; a longer
    // line is refused here first, as the header limit it is.
    static constexpr int kMaxHeaderLine = 8000;

private:
    int remainingMs() const {
        qint64 left;
        if (inHeaders_) {
            left = o_.headerTimeoutMs - msSince(start_);
        } else {
            // The body: a grace period, then as long as the bytes received allow at the minimum
            // rate; never beyond the request time-out.
            const qint64 rate = qMax<qint64>(1, o_.minBodyBytesPerSec);
            left = o_.bodyGraceMs + bodyBytes_ * 1000 / rate - msSince(bodyStart_);
            left = qMin(left, o_.requestTimeoutMs - msSince(start_));
        }
        return int(std::clamp<qint64>(qMin<qint64>(left, o_.ioTimeoutMs), 0, o_.ioTimeoutMs));
    }

    void timedOut() {
        reject(408, "Request Timeout",
               inHeaders_
                   ? QStringLiteral("O pedido demorou demais para chegar; a conexão foi encerrada.")
                   : QStringLiteral("O corpo do pedido chegou devagar demais; a conexão foi "
                                    "encerrada."));
    }

    void reject(int status, const char* reason, const QString& message) {
        rejected_ = true;
        sendAll(sock_, rawResponse(status, reason, message, QStringLiteral("limit")),
                o_.ioTimeoutMs);
    }

    void address(bool remote, std::string& ip, int& port) const {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        const int rc = remote ? ::getpeername(sock_, reinterpret_cast<sockaddr*>(&addr), &len)
                              : ::getsockname(sock_, reinterpret_cast<sockaddr*>(&addr), &len);
        ip.clear();
        port = -1;
        if (rc != 0)
            return;
        char text[INET6_ADDRSTRLEN] = {};
        if (addr.ss_family == AF_INET) {
            const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
            ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
            port = ntohs(a->sin_port);
        } else if (addr.ss_family == AF_INET6) {
            const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
            ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
            port = ntohs(a->sin6_port);
        }
        ip = text;
    }

    int sock_;
    const HttpServerOptions& o_;
    ConnectionTable& table_;
    char buf_[4096];
    std::size_t pos_ = 0, len_ = 0;
    bool inHeaders_ = true;
    bool rejected_ = false;
    std::size_t headerBytes_ = 0;
    std::size_t lineBytes_ = 0;
    int crlf_ = 0;
    qint64 bodyBytes_ = 0;
    Clock::time_point start_ = Clock::now(); // the accept, then the end of each answer
    Clock::time_point bodyStart_ = Clock::now();
};

class SupServer final : public httplib::Server {
public:
    explicit SupServer(const HttpServerOptions& o)
        : o_(o) {}

    ConnectionTable& connections() { return table_; }

    // httplib listens with a backlog of 5; a burst of connections up to the cap waits in the
    // kernel's queue instead of being refused or retried.
    void widenBacklog() {
        if (svr_sock_ != INVALID_SOCKET)
            ::listen(svr_sock_, qMax(128, 2 * o_.maxConnections));
    }

private:
    bool process_and_close_socket(socket_t sock) override {
        bool ret = false;
        if (tlReject) {
            sendAll(sock,
                    rawResponse(
                        503, "Service Unavailable",
                        QStringLiteral(
                            "O servidor de aplicação está com conexões demais; tente novamente em "
                            "instantes."),
                        QStringLiteral("busy"), "Retry-After: 1\r\n"),
                    o_.ioTimeoutMs);
        } else {
            table_.add(sock);
            LimitedStream strm(sock, o_, table_);
            for (int count = o_.keepAliveRequests; count > 0 && svr_sock_ != INVALID_SOCKET;
                 --count) {
                const bool first = count == o_.keepAliveRequests;
                if (!first) {
                    strm.restartClock();
                    table_.setEvictable(sock, true);
                }
                if (!strm.waitReadable(first ? o_.headerTimeoutMs : o_.idleTimeoutMs,
                                       [this] { return svr_sock_ == INVALID_SOCKET; }))
                    break;
                strm.beginRequest();
                bool closed = false;
                tlCloseAfter = false;
                tlOperator.clear();
                tlEarlyDone = false;
                ret = process_request(strm, count == 1, closed, nullptr);
                if (!ret || closed || strm.rejected() || tlCloseAfter)
                    break;
            }
            table_.remove(sock);
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ret;
    }

    const HttpServerOptions& o_;
    ConnectionTable table_;
};

// The connections' threads: one per connection up to the cap, so that a slow or idle client
// holds only its own. A connection beyond the cap takes the place of the one that has waited
// longest for a request; when every connection is under way it is answered 503 at once by a
// thread of its own.
class ConnectionPool final : public httplib::TaskQueue {
public:
    ConnectionPool(const HttpServerOptions& o, ConnectionTable& table)
        : o_(o)
        , table_(table) {
        for (int i = 0; i < qMax(1, o.maxConnections); ++i)
            threads_.emplace_back([this] { work(); });
        rejecter_ = std::thread([this] { rejectLoop(); });
    }
    ~ConnectionPool() override { shutdown(); }

    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard<std::mutex> l(m_);
            if (pending_ >= qMax(1, o_.maxConnections) && !table_.evictOne()) {
                rejects_.push_back(std::move(fn));
                rejectCond_.notify_one();
                return;
            }
            ++pending_;
            jobs_.push_back(std::move(fn));
        }
        cond_.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> l(m_);
            if (stopped_)
                return;
            stopped_ = true;
        }
        cond_.notify_all();
        rejectCond_.notify_all();
        for (auto& t : threads_)
            t.join();
        rejecter_.join();
    }

private:
    void work() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> l(m_);
                cond_.wait(l, [&] { return stopped_ || !jobs_.empty(); });
                if (jobs_.empty())
                    break;
                fn = std::move(jobs_.front());
                jobs_.pop_front();
            }
            fn();
            std::lock_guard<std::mutex> l(m_);
            --pending_;
        }
    }

    void rejectLoop() {
        tlReject = true;
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> l(m_);
                rejectCond_.wait(l, [&] { return stopped_ || !rejects_.empty(); });
                if (rejects_.empty())
                    break;
                fn = std::move(rejects_.front());
                rejects_.pop_front();
            }
            fn();
        }
    }

    const HttpServerOptions& o_;
    ConnectionTable& table_;
    std::mutex m_;
    std::condition_variable cond_, rejectCond_;
    std::deque<std::function<void()>> jobs_, rejects_;
    std::vector<std::thread> threads_;
    std::thread rejecter_;
    int pending_ = 0;
    bool stopped_ = false;
};

// The database workers: `threads` threads, each with its own backend (a database connection
// belongs to the thread that opened it). A connection's thread hands them the database part of
// a request and waits for it. Each connection's thread prefers one worker, so that the calls of
// a kept-alive connection find the same database connection with its cache warm; a request
// goes to another worker only while its own is busy.
class BackendPool {
public:
    using Work = std::function<void(RpcBackend* backend, const QString& error)>;

    explicit BackendPool(const HttpServerOptions& o)
        : o_(o)
        , idle_(std::size_t(qMax(1, o.threads)), false) {
        for (int i = 0; i < qMax(1, o.threads); ++i)
            threads_.emplace_back([this, i] { work(i); });
    }
    ~BackendPool() {
        {
            std::lock_guard<std::mutex> l(m_);
            stopped_ = true;
        }
        cond_.notify_all();
        for (auto& t : threads_)
            t.join();
    }

    // Runs `fn` on a database worker and waits for it; what it throws is thrown here.
    void run(const Work& fn) {
        // Each connection's thread gets a number once; its worker is that number modulo the
        // workers of this pool.
        thread_local unsigned ticket = nextTicket_++;
        const int preferred = int(ticket % unsigned(idle_.size()));
        auto task = std::make_shared<std::packaged_task<void(RpcBackend*, const QString&)>>(fn);
        std::future<void> done = task->get_future();
        {
            std::lock_guard<std::mutex> l(m_);
            jobs_.push_back(Job{task, preferred});
        }
        cond_.notify_all();
        done.get();
    }

private:
    struct Job {
        std::shared_ptr<std::packaged_task<void(RpcBackend*, const QString&)>> task;
        int preferred;
    };

    // The first job for worker `w`: one that prefers it, else one whose worker is busy.
    std::deque<Job>::iterator pick(int w) {
        auto other = jobs_.end();
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            if (it->preferred == w)
                return it;
            if (other == jobs_.end() && !idle_[std::size_t(it->preferred)])
                other = it;
        }
        return other;
    }

    void work(int w) {
        std::unique_ptr<RpcBackend> backend;
        QString error;
        for (;;) {
            std::shared_ptr<std::packaged_task<void(RpcBackend*, const QString&)>> task;
            {
                std::unique_lock<std::mutex> l(m_);
                idle_[std::size_t(w)] = true;
                cond_.wait(l, [&] { return stopped_ || pick(w) != jobs_.end(); });
                idle_[std::size_t(w)] = false;
                const auto it = pick(w);
                if (it == jobs_.end())
                    break; // stopped with nothing left for this worker
                task = std::move(it->task);
                jobs_.erase(it);
            }
            if (!backend) {
                try {
                    backend = o_.backendFactory ? o_.backendFactory()
                                                : std::make_unique<DatabaseBackend>(o_.databaseUrl);
                    error.clear();
                } catch (const std::exception& e) {
                    error = QString::fromUtf8(e.what());
                }
            }
            (*task)(backend.get(), error);
            // A worker that goes busy may leave a job to an idle one.
            cond_.notify_all();
        }
        backend.reset(); // its database connection belongs to this thread
    }

    const HttpServerOptions& o_;
    std::mutex m_;
    std::condition_variable cond_;
    std::deque<Job> jobs_;
    std::vector<bool> idle_;
    static inline std::atomic<unsigned> nextTicket_{0};
    std::vector<std::thread> threads_;
    bool stopped_ = false;
};

QByteArray tokenHash(const std::string& token) {
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    return QByteArray(reinterpret_cast<const char*>(out), sizeof out).toHex();
}

bool wellFormedToken(const std::string& t) {
    if (t.size() != 32)
        return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// The answer goes out from its own buffer: a list of a hundred thousand items is tens of
// megabytes, not worth copying once more into the response.
void setCbor(httplib::Response& res, const QByteArray& body) {
    res.set_content_provider(
        std::size_t(body.size()), "application/cbor",
        [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sink.write(body.constData() + offset, length);
        });
}

void setFault(httplib::Response& res, int status, const QString& message, const QString& code) {
    res.status = status;
    const std::string body = cborFault(message, code);
    res.set_content(body, "application/cbor");
}

QString fromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// A text for the access log: control characters (a line break in an operator's name) written
// as escapes, so that no client can forge a line of the log.
QString logSafe(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text.left(200)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == u'\\')
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// "/rpc/<module>/<method>": the calls, whose token is checked before their body is read.
bool isCallPath(const std::string& path) {
    if (path.rfind("/rpc/", 0) != 0)
        return false;
    const std::size_t slash = path.find('/', 5);
    return slash != std::string::npos && slash > 5 && slash + 1 < path.size() &&
           path.find('/', slash + 1) == std::string::npos;
}

// Content-Length as the server takes it: one header, digits only.
bool soundContentLength(const httplib::Request& q) {
    const auto n = q.get_header_value_count("Content-Length");
    if (n == 0)
        return true;
    if (n > 1)
        return false;
    const std::string v = q.get_header_value("Content-Length");
    return !v.empty() && v.size() <= 18 &&
           std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

struct HttpServer::Impl {
    HttpServerOptions o;
    std::unique_ptr<BackendPool> db;
    std::unique_ptr<SupServer> svr;
    std::thread listener;
    std::atomic<int> port{0};
    std::atomic<bool> running{false};
    SignOnThrottle throttle;

    explicit Impl(HttpServerOptions opts)
        : o(std::move(opts))
        , throttle(o.signOnFreeAttempts, o.signOnTrackedKeys) {}

    void log(const httplib::Request& req, int status, const QString& op, qint64 ms) {
        if (o.log)
            o.log(QStringLiteral("%1 %2 %3 %4 %5 %6ms")
                      .arg(logSafe(fromStd(req.remote_addr)), logSafe(fromStd(req.method)),
                           logSafe(fromStd(req.path)))
                      .arg(status)
                      .arg(op.isEmpty() ? QStringLiteral("-") : logSafe(op))
                      .arg(ms));
    }

    // Runs the database part of a request on a database worker; false after answering 503 when
    // the database cannot be reached.
    bool withBackend(httplib::Response& res, const std::function<void(RpcBackend&)>& fn) {
        bool ran = false;
        db->run([&](RpcBackend* b, const QString& error) {
            if (!b) {
                setFault(res, 503,
                         QStringLiteral(
                             "O banco de dados do servidor de aplicação não está disponível: %1")
                             .arg(error),
                         QStringLiteral("database"));
                return;
            }
            fn(*b);
            ran = true;
        });
        return ran;
    }

    void signOn(const httplib::Request& req, httplib::Response& res) {
        QElapsedTimer t;
        t.start();
        QString op;
        if (req.body.size() > 4096) {
            setFault(res, 413, QStringLiteral("Pedido de entrada grande demais."),
                     QStringLiteral("limit"));
            log(req, res.status, op, t.elapsed());
            return;
        }
        try {
            const contracts::rpc::SignOn s = contracts::rpc::decodeSignOn(
                QByteArrayView(req.body.data(), qsizetype(req.body.size())));
            op = s.operatorCode.trimmed().toUpper();
            const QStringList keys = SignOnThrottle::keys(op, fromStd(req.remote_addr));
            if (const int wait = throttle.retryAfter(keys)) {
                setFault(
                    res, 429,
                    QStringLiteral(
                        "Tentativas de entrada demais; aguarde %1 segundo(s) e tente novamente.")
                        .arg(wait),
                    QStringLiteral("auth"));
                res.set_header("Retry-After", std::to_string(wait));
            } else {
                withBackend(res, [&](RpcBackend& b) { checkSignOn(b, op, s.password, keys, res); });
            }
        } catch (const contracts::rpc::WireError& e) {
            setFault(res, 400, e.message(), QStringLiteral("wire"));
        } catch (const std::exception& e) {
            setFault(
                res, 500,
                QStringLiteral("Erro interno do servidor: %1").arg(QString::fromUtf8(e.what())),
                QStringLiteral("internal"));
        }
        log(req, res.status, op, t.elapsed());
    }

    void checkSignOn(RpcBackend& b, const QString& op, const QString& password,
                     const QStringList& keys, httplib::Response& res) {
        const std::optional<OperatorInfo> info = b.checkPassword(op, password);
        if (!info) {
            throttle.failed(keys);
            setFault(res, 401, QStringLiteral("Operador ou senha inválidos."),
                     QStringLiteral("auth"));
            return;
        }
        throttle.succeeded(keys);
        unsigned char raw[16];
        randombytes_buf(raw, sizeof raw);
        const std::string token =
            QByteArray(reinterpret_cast<const char*>(raw), sizeof raw).toHex().toStdString();
        const qint64 expires = QDateTime::currentSecsSinceEpoch() + o.tokenLifetimeSecs;
        b.storeSession(tokenHash(token), info->code, expires);
        contracts::rpc::Session session{QString::fromStdString(token), o.tokenLifetimeSecs,
                                        info->branch, info->branchBound};
        setCbor(res, contracts::rpc::encodeSession(session));
        res.status = 200;
    }

    // The operator of the request's token, or empty after answering 401 (or 503).
    QString authenticate(const httplib::Request& req, httplib::Response& res) {
        const std::string h = req.get_header_value("Authorization");
        const std::string prefix = "Bearer ";
        std::optional<QString> op;
        if (h.compare(0, prefix.size(), prefix) == 0) {
            const std::string token = h.substr(prefix.size());
            if (wellFormedToken(token) && !withBackend(res, [&](RpcBackend& b) {
                    op = b.sessionOperator(tokenHash(token), QDateTime::currentSecsSinceEpoch());
                }))
                return {};
        }
        if (!op) {
            setFault(res, 401,
                     QStringLiteral("Sessão inválida ou expirada no servidor de aplicação; entre "
                                    "no sistema novamente."),
                     QStringLiteral("auth"));
            res.set_header("WWW-Authenticate", "Bearer");
            return {};
        }
        return *op;
    }

    void signOff(const httplib::Request& req, httplib::Response& res) {
        const std::string h = req.get_header_value("Authorization");
        if (h.size() > 7 && wellFormedToken(h.substr(7))) {
            if (!withBackend(res, [&](RpcBackend& b) { b.dropSession(tokenHash(h.substr(7))); })) {
                log(req, res.status, {}, 0);
                return;
            }
        }
        res.status = 200;
        setCbor(res, contracts::rpc::encodeAnswer(QVariant()));
        log(req, res.status, {}, 0);
    }

    // The id the client gave a call (a write call's repeat carries the same): a short run of
    // letters, digits and hyphens, or none.
    static bool wellFormedCallId(const std::string& v) {
        return v.size() <= 64 && std::all_of(v.begin(), v.end(), [](char c) {
                   return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
               });
    }

    // A call; its token was checked before its body was read (tlOperator).
    void rpc(const httplib::Request& req, httplib::Response& res) {
        QElapsedTimer t;
        t.start();
        const QString op = tlOperator;
        const QString module = fromStd(req.matches[1]);
        const QString method = fromStd(req.matches[2]);
        const std::string id = req.get_header_value("Sup-Call-Id");
        if (!wellFormedCallId(id)) {
            setFault(res, 400, QStringLiteral("Identificador de chamada inválido."),
                     QStringLiteral("wire"));
            log(req, res.status, op, t.elapsed());
            return;
        }
        try {
            // Decoded here, on the connection's thread: a packet where the method takes none is
            // refused before it is decoded, and the packets may take only so much memory.
            const contracts::MethodSpec* def = contracts::findMethod(module, method);
            QVariantList args = contracts::rpc::decodeCall(
                QByteArrayView(req.body.data(), qsizetype(req.body.size())), def,
                contracts::rpc::callMemoryBudget(qsizetype(req.body.size())));
            QVariant result;
            QMap<int, QVariant> refs;
            // The client keeps what it sent for a by-reference argument that does not come back:
            // only those the method changed travel back (not a whole item list it only read).
            const QVariantList sent = args;
            if (withBackend(res, [&](RpcBackend& b) {
                    result = b.call(module, method, args,
                                    CallContext{op, fromStd(req.remote_addr), fromStd(id)});
                    if (!contracts::isFault(result))
                        for (int i : b.byReferenceArguments(module, method))
                            if (i < args.size() && !(i < sent.size() && args[i] == sent[i]))
                                refs.insert(i, args[i]);
                })) {
                setCbor(res, contracts::rpc::encodeAnswer(result, refs));
                res.status = 200;
            }
        } catch (const contracts::rpc::WireError& e) {
            setFault(res, 400, QStringLiteral("Chamada malformada: %1").arg(e.message()),
                     QStringLiteral("wire"));
        } catch (const std::exception& e) {
            setFault(
                res, 500,
                QStringLiteral("Erro interno do servidor: %1").arg(QString::fromUtf8(e.what())),
                QStringLiteral("internal"));
        }
        log(req, res.status, op, t.elapsed());
    }

    // Runs once the headers are in, before a byte of the body is read: the framing, the size and
    // the token of a call are checked here, and a refused request is answered and its connection
    // closed without reading its body.
    bool refuseEarly(const httplib::Request& q, httplib::Response& r) {
        if (tlEarlyDone)
            return false;
        const bool chunked = q.has_header("Transfer-Encoding");
        const bool hasLength = q.has_header("Content-Length");
        if (!soundContentLength(q)) {
            setFault(r, 400,
                     QStringLiteral("O tamanho do corpo (Content-Length) deve vir uma só vez e só "
                                    "com algarismos."),
                     QStringLiteral("wire"));
        } else if (chunked || (!hasLength && q.method == "POST")) {
            setFault(r, 411,
                     QStringLiteral("O pedido deve informar o tamanho do corpo (Content-Length)."),
                     QStringLiteral("limit"));
        } else if (hasLength &&
                   q.get_header_value<uint64_t>("Content-Length") > uint64_t(o.maxBodyBytes)) {
            setFault(
                r, 413,
                QStringLiteral(
                    "A chamada excede o tamanho máximo aceito pelo servidor de aplicação (%1 MiB).")
                    .arg(o.maxBodyBytes / (1024 * 1024)),
                QStringLiteral("limit"));
        } else if (q.method == "POST" && isCallPath(q.path)) {
            tlOperator = authenticate(q, r);
            if (!tlOperator.isEmpty()) {
                tlEarlyDone = true;
                return false;
            }
            log(q, r.status, {}, 0);
        } else {
            tlEarlyDone = true;
            return false;
        }
        r.set_header("Connection", "close");
        tlCloseAfter = true;
        return true;
    }
};

HttpServer::HttpServer(HttpServerOptions options)
    : d(std::make_unique<Impl>(std::move(options))) {}

HttpServer::~HttpServer() {
    stop();
}

bool HttpServer::start(QString* error) {
    if (d->running)
        return true;
    if (sodium_init() < 0) {
        if (error)
            *error = QStringLiteral("libsodium não pôde ser iniciada.");
        return false;
    }
    if (!d->o.backendFactory) {
        try {
            const sql::DatabaseUrl url = sql::DatabaseUrl::parse(d->o.databaseUrl);
            if (url.isMemory()) {
                if (error)
                    *error = QStringLiteral(
                        "Um banco em memória não pode ser compartilhado pelas threads do servidor; "
                        "use um arquivo (sqlite:ARQUIVO) ou PostgreSQL.");
                return false;
            }
        } catch (const sql::SqlError& e) {
            if (error)
                *error = e.message();
            return false;
        }
    }
    dummyHash();
    d->svr = std::make_unique<SupServer>(d->o);
    SupServer& s = *d->svr;
    Impl* impl = d.get();
    d->db = std::make_unique<BackendPool>(d->o);
    s.new_task_queue = [impl] {
        return new ConnectionPool(impl->o, impl->svr->connections());
    };
    s.set_payload_max_length(std::size_t(d->o.maxBodyBytes));
    s.set_keep_alive_max_count(std::size_t(qMax(1, d->o.keepAliveRequests)));
    s.set_keep_alive_timeout(qMax(1, d->o.idleTimeoutMs / 1000));
    s.set_read_timeout(d->o.ioTimeoutMs / 1000, (d->o.ioTimeoutMs % 1000) * 1000);
    s.set_write_timeout(d->o.ioTimeoutMs / 1000, (d->o.ioTimeoutMs % 1000) * 1000);
    s.Post("/auth/signon",
           [impl](const httplib::Request& q, httplib::Response& r) { impl->signOn(q, r); });
    s.Post("/auth/signoff",
           [impl](const httplib::Request& q, httplib::Response& r) { impl->signOff(q, r); });
    s.Post(R"(/rpc/([^/]+)/([^/]+))",
           [impl](const httplib::Request& q, httplib::Response& r) { impl->rpc(q, r); });
    s.Get("/health",
          [](const httplib::Request&, httplib::Response& r) { r.set_content("ok", "text/plain"); });
    // Runs before httplib reads a body (and before it says "100 Continue"): refuse bad framing,
    // bodies over the limit or of unknown length, and calls without a valid token, there.
    s.set_pre_routing_handler([impl](const httplib::Request& q, httplib::Response& r) {
        return impl->refuseEarly(q, r) ? httplib::Server::HandlerResponse::Handled
                                       : httplib::Server::HandlerResponse::Unhandled;
    });
    s.set_expect_100_continue_handler([impl](const httplib::Request& q, httplib::Response& r) {
        return impl->refuseEarly(q, r) ? r.status : 100;
    });
    s.set_error_handler([](const httplib::Request&, httplib::Response& r) {
        if (!r.body.empty())
            return;
        switch (r.status) {
        case 404:
            setFault(r, 404, QStringLiteral("Endereço desconhecido no servidor de aplicação."),
                     QStringLiteral("wire"));
            break;
        case 413:
            setFault(r, 413,
                     QStringLiteral(
                         "A chamada excede o tamanho máximo aceito pelo servidor de aplicação."),
                     QStringLiteral("limit"));
            break;
        case 414:
            setFault(r, 414, QStringLiteral("O endereço do pedido é longo demais."),
                     QStringLiteral("limit"));
            break;
        default:
            setFault(r, r.status, QStringLiteral("Pedido HTTP inválido (%1).").arg(r.status),
                     QStringLiteral("wire"));
        }
    });
    const std::string host = d->o.host.toStdString();
    int port = d->o.port;
    if (port == 0) {
        port = s.bind_to_any_port(host);
        if (port <= 0) {
            if (error)
                *error = QStringLiteral("Não foi possível escutar em %1.").arg(d->o.host);
            d->svr.reset();
            return false;
        }
    } else if (!s.bind_to_port(host, port)) {
        if (error)
            *error = QStringLiteral(
                         "Não foi possível escutar em %1:%2 (endereço em uso ou sem permissão).")
                         .arg(d->o.host)
                         .arg(port);
        d->svr.reset();
        return false;
    }
    s.widenBacklog();
    d->port = port;
    d->running = true;
    d->listener = std::thread([impl] { impl->svr->listen_after_bind(); });
    return true;
}

void HttpServer::stop() {
    if (!d->running)
        return;
    d->svr->stop();
    if (d->listener.joinable())
        d->listener.join();
    d->svr.reset();
    d->db.reset();
    d->running = false;
}

int HttpServer::port() const {
    return d->port;
}

bool HttpServer::running() const {
    return d->running;
}

} // namespace sup::server
