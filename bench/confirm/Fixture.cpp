#include "Fixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/contracts/ServerResult.h"
#include "sup/data/WorkingSet.h"
#include "sup/host/SignOn.h"
#include "sup/net/NetConnection.h"
#include "sup/server/Schema.h"
#include "sup/server/Seed.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/KeyList.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <dlfcn.h>

#include <iostream>
#include <map>
#include <stdexcept>

using namespace sup;

namespace confirmbench {

namespace {

const QString& kModule = server::kModuleAltPedidosOL;

void progress(const QString& line) {
    std::cerr << "  " << line.toStdString() << std::endl;
}

// A short hash of the server library: seeded data is reused only by the build that seeded it.
QString serverFingerprint() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&server::seedDatabase), &info) || !info.dli_fname)
        return QStringLiteral("unknown");
    QFile lib(QString::fromLocal8Bit(info.dli_fname));
    if (!lib.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(&lib);
    return QString::fromLatin1(h.result().toHex().left(10));
}

void seed(sql::Connection& conn) {
    QElapsedTimer t;
    t.start();
    progress(QStringLiteral("seeding %1 order items...").arg(settings().items));
    server::installSchema(conn);
    server::SeedOptions o;
    o.items = settings().items;
    o.fastHash = true;
    server::seedDatabase(conn, o);
    progress(QStringLiteral("seeded in %1 s").arg(double(t.elapsed()) / 1000.0, 0, 'f', 1));
}

// The first destination branches, in code order, whose open items without a dispatch batch (the
// filter's default) reach the wanted count; only branches the demo operator may see.
void chooseBranches(Database& db) {
    QSqlQuery q =
        db.conn->exec(QStringLiteral("SELECT I.CDFILDEST, COUNT(*) FROM PEDIDOOLITEM I"
                                     " WHERE I.IDSITUITEM = 'A'"
                                     " AND (I.CDLOTENVITOL IS NULL OR I.CDLOTENVITOL = '')"
                                     " AND EXISTS (SELECT 1 FROM FILIOPER O"
                                     " WHERE O.CDFILIAL = I.CDFILDEST AND O.CDOPERADOR = ?)"
                                     " GROUP BY I.CDFILDEST ORDER BY I.CDFILDEST"),
                      {server::kDemoOperator});
    while (db.rows < settings().match && q.next()) {
        db.branches << q.value(0).toString().trimmed();
        db.rows += q.value(1).toLongLong();
    }
    if (db.rows < settings().match)
        fail(QStringLiteral("the database has only %1 open items").arg(db.rows));
    progress(QStringLiteral("criteria: %1 destination branches, %2 open items")
                 .arg(db.branches.size())
                 .arg(db.rows));
}

std::unique_ptr<Database> openSQLite() {
    auto db = std::make_unique<Database>();
    const QDir dir(QStringLiteral(SUP_BENCH_CACHE_DIR));
    QDir().mkpath(dir.path());
    const QString name =
        QStringLiteral("confirm-%1-%2.db").arg(settings().items).arg(serverFingerprint());
    const QString file = dir.filePath(name);
    if (!QFile::exists(file)) {
        for (const QString& old : dir.entryList({QStringLiteral("confirm-*.db*")}))
            QFile::remove(dir.filePath(old));
        const QString part = file + QStringLiteral(".part");
        {
            auto conn = sql::Connection::open(QStringLiteral("sqlite:") + part);
            seed(*conn);
        }
        if (!QFile::rename(part, file))
            fail(QStringLiteral("cannot rename %1").arg(part));
    } else {
        progress(QStringLiteral("reusing %1").arg(file));
    }
    db->url = QStringLiteral("sqlite:") + file;
    db->conn = sql::Connection::open(db->url);
    return db;
}

std::unique_ptr<Database> openPostgreSQL() {
    const QString base = qEnvironmentVariable("SUP_TEST_PG");
    if (base.isEmpty())
        return nullptr;
    auto db = std::make_unique<Database>();
    db->store = Store::PostgreSQL;
    const QString schema =
        QStringLiteral("bench_confirm_%1_%2").arg(settings().items).arg(serverFingerprint());
    const QString url =
        base + (base.contains(u'?') ? u'&' : u'?') + QStringLiteral("schema=") + schema;
    {
        auto admin = sql::Connection::open(base);
        const bool complete =
            admin
                ->scalar(QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE"
                                        " table_schema = ? AND table_name = 'bench_seeded'"),
                         {schema})
                .toInt() > 0;
        if (!complete) {
            QSqlQuery old =
                admin->exec(QStringLiteral("SELECT schema_name FROM information_schema.schemata"
                                           " WHERE schema_name LIKE 'bench_confirm_%'"));
            QStringList drop;
            while (old.next())
                drop << old.value(0).toString();
            for (const QString& s : drop)
                admin->exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(s));
            admin->exec(QStringLiteral("CREATE SCHEMA %1").arg(schema));
            auto conn = sql::Connection::open(url);
            seed(*conn);
            conn->exec(QStringLiteral("ANALYZE"));
            conn->exec(QStringLiteral("CREATE TABLE bench_seeded (done integer)"));
        } else {
            progress(QStringLiteral("reusing schema %1").arg(schema));
        }
    }
    db->url = url;
    db->conn = sql::Connection::open(url);
    return db;
}

// Keeps the arguments of the GetItem calls of the screens.
class Recording final : public contracts::IAppServer {
public:
    explicit Recording(std::unique_ptr<contracts::IAppServer> inner)
        : inner_(std::move(inner)) {}
    QVariant call(const QString& method, QVariantList& args) override {
        if (method == u"GetItem")
            recorded() = args;
        return inner_->call(method, args);
    }
    static QVariantList& recorded() {
        static QVariantList a;
        return a;
    }

private:
    std::unique_ptr<contracts::IAppServer> inner_;
};

struct AppServerProcess {
    QProcess process;
    QString origin;
    ~AppServerProcess() {
        process.terminate();
        process.waitForFinished(5000);
    }
};

std::unique_ptr<Database> gSQLite, gPostgreSQL;
bool gPostgreSQLTried = false;
std::unique_ptr<AppServerProcess> gAppServer;
std::map<Store, Request> gRequests;

} // namespace

void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

void settle(sql::Connection& conn) {
    if (conn.dialect() == sql::Dialect::SQLite)
        conn.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

TdmAltPedidosOL& screenData() {
    return frmAltPedidosOL->data();
}

void markOnScreen(const std::vector<int>& positions) {
    data::TWorkingSet* item = screenData().cdsItem;
    data::TWorkingSet* aux = screenData().cdsAuxItem;
    data::TField* calc = item->fieldByName(u"CALC");
    aux->setTag(99);
    item->disableControls();
    for (int p : positions) {
        item->moveTo(p);
        item->edit();
        calc->setAsString(u"S");
        item->post();
    }
    item->first();
    item->enableControls();
    aux->setTag(0);
    if (item->changeCount() != qsizetype(positions.size()))
        fail(QStringLiteral("%1 marks pending, %2 posted")
                 .arg(item->changeCount())
                 .arg(positions.size()));
    QCoreApplication::processEvents();
}

bench::Comparison line(const char* label, const char* figure, const char* peerLabel,
                       const char* peer, double goal, const char* goalText) {
    bench::Comparison c;
    c.label = label;
    c.figure = figure;
    c.peerLabel = peerLabel;
    c.peer = peer;
    c.goal = goal;
    c.goalText = goalText;
    return c;
}

bench::Comparison limit(const char* label, const char* figure, const char* peerLabel,
                        double seconds, double goal, const char* goalText) {
    bench::Comparison c = line(label, figure, peerLabel, "", goal, goalText);
    c.constant = seconds;
    return c;
}

void shutdown() {
    gRequests.clear();
    gAppServer.reset();
    gSQLite.reset();
    gPostgreSQL.reset();
}

Settings& settings() {
    static Settings s;
    return s;
}

Database* database(Store store) {
    std::unique_ptr<Database>& db = store == Store::SQLite ? gSQLite : gPostgreSQL;
    if (!db && (store == Store::SQLite || !gPostgreSQLTried)) {
        gPostgreSQLTried = gPostgreSQLTried || store == Store::PostgreSQL;
        db = store == Store::SQLite ? openSQLite() : openPostgreSQL();
        if (!db)
            return nullptr;
        db->server = std::make_shared<server::ReferenceServer>(db->conn);
        chooseBranches(*db);
    }
    return db.get();
}

QString appServerOrigin() {
    std::unique_ptr<AppServerProcess>& server = gAppServer;
    if (server)
        return server->origin;
    Database* db = database(Store::SQLite);
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        fail(QStringLiteral("no free port"));
    const quint16 port = probe.serverPort();
    probe.close();
    server = std::make_unique<AppServerProcess>();
    server->process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server->process.start(QStringLiteral(SUP_APPSERVER_PATH),
                          {QStringLiteral("--db"), db->url, QStringLiteral("--listen"),
                           QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--quiet")});
    if (!server->process.waitForStarted(10000))
        fail(QStringLiteral("sup-appserver did not start"));
    for (int i = 0; i < 200; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100)) {
            server->origin = QStringLiteral("http://127.0.0.1:%1").arg(port);
            return server->origin;
        }
        QThread::msleep(50);
    }
    fail(QStringLiteral("sup-appserver does not answer on port %1").arg(port));
}

Client::Client(Database& db, Transport transport)
    : host_(std::make_unique<testkit::ScriptedHost>()) {
    host_->setStrict(false);
    host_->setDatabase(db.conn->database());
    host::TVantrel v = host::LoadSignOnValues(db.conn->database(), server::kDemoOperator);
    if (transport == Transport::Http) {
        v.WebURL = appServerOrigin();
        const QVariant fault =
            sup::net::signOn(QUrl(v.WebURL), server::kDemoOperator, QStringLiteral("sup07700"));
        if (fault.isValid())
            fail(QStringLiteral("sign-on refused: ") + contracts::faultOf(fault).message);
    }
    host_->setVantrel(v);
    contracts::setInProcessFactory([server = db.server](const QString& module) {
        return std::make_unique<Recording>(
            server::ReferenceServer::module(server, module, server::kDemoOperator));
    });
    sup07700::InitializeUnits();
    frmAltPedidosOL = host::CreateForm<TfrmAltPedidosOL>();
    boStCriado = true;

    // As the routine starts: the maintenance screen's first activation opens the filter, where
    // the user chooses the branches and every operator and confirms.
    const QString branches = host::BuildKeyList(db.branches, 4);
    host_->onModal(QStringLiteral("frmFiltroAltPedidoOL"), [&](QDialog& d) {
        auto& s = static_cast<TfrmFiltroAltPedidoOL&>(d);
        s.rbtTodosOL->setChecked(true);
        s.rbtFilialLista->setChecked(true);
        sup07700::stFilial = branches;
        s.sbtConfirma->click();
    });
    frmAltPedidosOL->resize(1280, 800);
    frmAltPedidosOL->show();
    frmAltPedidosOL->activateWindow();
    for (QDeadlineTimer wait(60000); !frmFiltroAltPedidoOL && !wait.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!frmFiltroAltPedidoOL)
        fail(QStringLiteral("the maintenance screen did not open the filter"));
    if (!host_->messages.isEmpty())
        fail(QStringLiteral("the filter failed: ") + host_->messages.last().text);
    if (items() != db.rows || shadow() != db.rows)
        fail(QStringLiteral("the screen holds %1 items, %2 expected").arg(items()).arg(db.rows));
    QCoreApplication::processEvents();
}

Client::~Client() {
    delete frmFiltroAltPedidoOL;
    frmFiltroAltPedidoOL = nullptr;
    delete frmAltPedidosOL;
    frmAltPedidosOL = nullptr;
    boStCriado = false;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sup07700::FinalizeUnits();
    contracts::setInProcessFactory(nullptr);
    host_.reset();
}

void Client::reload() {
    host::Guarded([] { frmAltPedidosOL->sbtVerificarClick(); });
    frmAltPedidosOL->repaint();
    if (!host_->messages.isEmpty())
        fail(QStringLiteral("the reload failed: ") + host_->messages.last().text);
}

qsizetype Client::items() const {
    return frmAltPedidosOL->data().cdsItem->recordCount();
}

qsizetype Client::shadow() const {
    return frmAltPedidosOL->data().cdsAuxItem->recordCount();
}

const QVariantList& Client::lastArgs() {
    return Recording::recorded();
}

const Request& request(Database& db) {
    std::map<Store, Request>& cache = gRequests;
    auto it = cache.find(db.store);
    if (it != cache.end())
        return it->second;
    Request r;
    {
        Client c(db, Transport::InProcess);
        r.args = Client::lastArgs();
    }
    if (r.args.size() != 34)
        fail(QStringLiteral("no GetItem was recorded"));
    QVariantList a = r.args;
    r.answer = db.server->call(kModule, QStringLiteral("GetItem"), a,
                               server::CallContext{server::kDemoOperator, {}});
    if (contracts::isFault(r.answer))
        fail(contracts::faultOf(r.answer).message);
    return cache.emplace(db.store, std::move(r)).first->second;
}

} // namespace confirmbench
