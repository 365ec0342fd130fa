// The database of the run and the app servers over it.

#include "Load.h"

#include "sup/server/Schema.h"
#include "sup/server/Seed.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <iostream>
#include <stdexcept>

using namespace sup;

namespace loadbench {

namespace {

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

void progress(const QString& line) {
    std::cerr << "  " << line.toStdString() << std::endl;
}

QString placeholders(qsizetype n) {
    QStringList q;
    for (qsizetype i = 0; i < n; ++i)
        q << QStringLiteral("?");
    return q.join(QStringLiteral(", "));
}

// The first destination branches, in code order, the demo operator may see, gathered into
// groups of about `perGroup` open items each.
std::vector<Group> chooseGroups(sql::Connection& conn, const Settings& s) {
    QSqlQuery q = conn.exec(QStringLiteral("SELECT I.CDFILDEST, COUNT(*) FROM PEDIDOOLITEM I"
                                           " WHERE I.IDSITUITEM = 'A'"
                                           " AND EXISTS (SELECT 1 FROM FILIOPER O"
                                           " WHERE O.CDFILIAL = I.CDFILDEST AND O.CDOPERADOR = ?)"
                                           " GROUP BY I.CDFILDEST ORDER BY I.CDFILDEST"),
                            {server::kDemoOperator});
    std::vector<Group> out;
    Group g;
    while (int(out.size()) < s.groups && q.next()) {
        g.branches << q.value(0).toString().trimmed();
        g.rows += q.value(1).toLongLong();
        if (g.rows >= s.perGroup * 95 / 100) {
            out.push_back(g);
            g = Group{};
        }
    }
    if (int(out.size()) < s.groups)
        fail(QStringLiteral("%1 order items make only %2 groups of %3; seed more (--items)")
                 .arg(s.items)
                 .arg(out.size())
                 .arg(s.perGroup));
    return out;
}

// Splits a group's editable items (open, unblocked, no adjustment or reservation, a product an
// OL handles, outside the OL purchase tree: every rule of the save and the alteration lets them
// through) into the pools: a shared part and one list per user slot of each pool.
void splitItems(sql::Connection& conn, Group& g, int userSlots) {
    QVariantList binds;
    for (const QString& b : g.branches)
        binds << b;
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT I.CDRASTRITM FROM PEDIDOOLITEM I WHERE I.CDFILDEST IN (%1)"
                       " AND I.IDSITUITEM = 'A' AND I.IDITMPEDOLBLOQ = 'N'"
                       " AND I.IDITEMAJUSTE = 'N' AND COALESCE(I.QTRESERVESTOL, 0) = 0"
                       " AND I.QTPROGENPEOL > 0 AND NOT substr(I.CDARVPROD, 1, 4) = '0103'"
                       " AND EXISTS (SELECT 1 FROM PRODRELACOL R WHERE R.CDPRODUTO = I.CDPRODUTO)"
                       " ORDER BY I.CDRASTRITM")
            .arg(placeholders(binds.size())),
        binds);
    std::vector<qint64> ids;
    while (q.next())
        ids.push_back(q.value(0).toLongLong());
    // Shared parts small enough that users of a group meet on them now and then.
    const int sharedSave = 4, sharedBlock = 3, sharedAlter = 3;
    const std::size_t need = std::size_t(sharedSave + sharedBlock + sharedAlter) +
                             std::size_t(userSlots) * std::size_t(kSaved + kBlocked + kAltered);
    if (ids.size() < need)
        fail(QStringLiteral("the group of branches %1 has %2 editable items, %3 needed")
                 .arg(g.branches.join(u','))
                 .arg(ids.size())
                 .arg(need));
    // Spread evenly over the group's items.
    const std::size_t step = ids.size() / need;
    std::size_t at = 0;
    const auto take = [&](int n) {
        std::vector<qint64> out;
        for (int i = 0; i < n; ++i, at += step)
            out.push_back(ids[at]);
        return out;
    };
    g.save.shared = take(sharedSave);
    g.block.shared = take(sharedBlock);
    g.alter.shared = take(sharedAlter);
    for (int s = 0; s < userSlots; ++s) {
        g.save.perSlot.push_back(take(kSaved));
        g.block.perSlot.push_back(take(kBlocked));
        g.alter.perSlot.push_back(take(kAltered));
    }
}

} // namespace

std::unique_ptr<Database> Database::create(const Settings& s) {
    const QString base = qEnvironmentVariable("SUP_TEST_PG");
    if (base.isEmpty())
        return nullptr;
    auto db = std::unique_ptr<Database>(new Database);
    db->base_ = base;
    db->schema_ = QStringLiteral("bench_load");
    db->url_ = base + (base.contains(u'?') ? u'&' : u'?') + QStringLiteral("schema=") + db->schema_;
    {
        auto admin = sql::Connection::open(base);
        admin->exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(db->schema_));
        admin->exec(QStringLiteral("CREATE SCHEMA %1").arg(db->schema_));
    }
    db->conn_ = sql::Connection::open(db->url_);
    QElapsedTimer t;
    t.start();
    progress(
        QStringLiteral("seeding %1 order items in schema %2...").arg(s.items).arg(db->schema_));
    server::installSchema(*db->conn_);
    server::SeedOptions o;
    o.items = s.items;
    o.fastHash = true;
    server::seedDatabase(*db->conn_, o);
    db->conn_->exec(QStringLiteral("ANALYZE"));
    progress(QStringLiteral("seeded in %1 s").arg(double(t.elapsed()) / 1000.0, 0, 'f', 1));

    int most = 0;
    for (int n : s.users)
        most = std::max(most, n);
    const int userSlots = (std::max(most, 8) + s.groups - 1) / s.groups;
    db->groups_ = chooseGroups(*db->conn_, s);
    for (Group& g : db->groups_) {
        splitItems(*db->conn_, g, userSlots);
        progress(QStringLiteral("group %1: %2 open items").arg(g.branches.join(u',')).arg(g.rows));
    }
    return db;
}

Database::~Database() {
    conn_.reset();
    // The schema stays for a look after the run; the next run drops it.
}

std::vector<qint64> Database::poolItems() const {
    std::vector<qint64> out;
    for (const Group& g : groups_)
        for (const Group::Pool* p : {&g.save, &g.block, &g.alter}) {
            out.insert(out.end(), p->shared.begin(), p->shared.end());
            for (const auto& s : p->perSlot)
                out.insert(out.end(), s.begin(), s.end());
        }
    return out;
}

std::map<qint64, ItemState> Database::snapshot() {
    std::map<qint64, ItemState> out;
    QStringList ids;
    for (qint64 id : poolItems())
        ids << QString::number(id);
    QSqlQuery q = conn_->exec(QStringLiteral("SELECT CDRASTRITM, QTPROGENPEOL, IDITMPEDOLBLOQ"
                                             " FROM PEDIDOOLITEM WHERE CDRASTRITM IN (%1)")
                                  .arg(ids.join(u',')));
    while (q.next()) {
        ItemState& s = out[q.value(0).toLongLong()];
        s.auditKey =
            keys_.count(q.value(0).toLongLong()) ? keys_.at(q.value(0).toLongLong()) : QString();
        s.qty = q.value(1).toDouble();
        s.blocked = q.value(2).toString().trimmed().toUpper();
    }
    return out;
}

quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        fail(QStringLiteral("no free port"));
    return probe.serverPort();
}

AppServer::AppServer(const Settings& s, QString dbUrl, quint16 port)
    : settings_(s)
    , dbUrl_(std::move(dbUrl))
    , port_(port) {}

AppServer::~AppServer() {
    stop();
}

QString AppServer::origin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

void AppServer::start() {
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(settings_.appServer,
                    {QStringLiteral("--db"), dbUrl_, QStringLiteral("--listen"),
                     QStringLiteral("127.0.0.1:%1").arg(port_), QStringLiteral("--threads"),
                     QString::number(settings_.serverThreads), QStringLiteral("--quiet")});
    if (!process_->waitForStarted(10000))
        fail(QStringLiteral("sup-appserver did not start: ") + process_->errorString());
    for (int i = 0; i < 400; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(100))
            return;
        if (process_->state() == QProcess::NotRunning)
            fail(QStringLiteral("sup-appserver on port %1 ended (exit %2)")
                     .arg(port_)
                     .arg(process_->exitCode()));
        QThread::msleep(50);
    }
    fail(QStringLiteral("sup-appserver does not answer on port %1").arg(port_));
}

void AppServer::kill() {
    if (!process_)
        return;
    process_->kill();
    process_->waitForFinished(5000);
    process_.reset();
}

void AppServer::stop() {
    if (!process_)
        return;
    process_->terminate();
    if (!process_->waitForFinished(10000)) {
        process_->kill();
        process_->waitForFinished(5000);
    }
    process_.reset();
}

} // namespace loadbench
