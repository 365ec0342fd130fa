// Saving item changes on the large database. The screen holds the items the criteria match
// (about 100,000 of the seeded 1,000,000); 10,000 of them, spread evenly, get a new quantity as
// the grid leaves an item once its rules have passed (the rules stand aside under tag 99 of the
// snapshot). Measured:
//   - end to end per store (embedded SQLite, sup-appserver over HTTP on the same file,
//     PostgreSQL): the confirm click answered Yes, "Não" to the purchase request question, until
//     the reloaded grid is painted;
//   - the duplicate check and the delta build on the screen;
//   - the delta's transport: encoded, sent to the HTTP server, decoded there, and back (the delta
//     is a by-reference argument), beside bare httplib moving the same bytes both ways;
//   - UpdItemPedidoOL applied by the server (checks, optimistic concurrency, delta id, audit,
//     commit) beside a prepared UPDATE by item key per row in one transaction with the bare
//     library: sqlite3, or libpq in pipeline mode (no wait per row);
//   - the reload: Verificar and the paint are the filter confirm's own figures (confirm/*); the
//     snapshot copy the save adds is the `snapshot` figure (the packet is shared, not copied).
//
// Each save writes to the cached database, so passes alternate to stay alike: odd passes raise
// each changed quantity by 1, even passes put the loaded quantity back (the exact value, not a
// subtraction). The benchmarks that write run two passes per repetition, both timed (a run that
// stops after an odd pass saves once more, untimed). The audit rows and the delta id a pass adds
// are deleted after it, untimed. Every pass thus writes the same 10,000 rows, from the same
// values or back to them, into tables of the same size, and the database is as it was after
// every benchmark.

#include "SaveBench.h"

#include "Fixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "SqlValues.h"
#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/server/HttpServer.h"
#include "sup/server/Seed.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Guard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDriver>
#include <QUrl>

#include <httplib.h>
#include <sqlite3.h>

#ifdef SUP_BENCH_LIBPQ
#include <libpq-fe.h>
#endif

#include <array>
#include <cstdlib>
#include <stdexcept>
#include <thread>

using namespace sup;

namespace confirmbench {

namespace {

using data::DataPacket;
using data::TWorkingSet;

const QString& kModule = server::kModuleAltPedidosOL;
constexpr int kChanged = 10000;
constexpr int kSecondButton = 11; // MsgAlertEx's answer for its second button, "Não"

// The items a save changes and the quantity each has in a pass (pass 0: as loaded).
class Changes {
public:
    explicit Changes(const TWorkingSet& items) {
        const int rows = items.recordCount();
        const int step = std::max(1, rows / kChanged);
        const int qty = items.fieldIndex(u"QTPROGENPEOL");
        for (int p = 0; p < rows && int(positions_.size()) < kChanged; p += step) {
            positions_.push_back(p);
            loaded_.push_back(items.valueAt(p, qty).toDouble());
        }
    }

    qsizetype count() const { return qsizetype(positions_.size()); }
    double quantity(std::size_t i, int pass) const { return loaded_[i] + (pass % 2 ? 1 : 0); }

    // Posts the quantities of `pass` into `set`, with the change mark when `mark`.
    void post(TWorkingSet& set, int pass, bool mark) const {
        data::TField* qty = set.fieldByName(u"QTPROGENPEOL");
        data::TField* changed = mark ? set.fieldByName(u"ALTERADO") : nullptr;
        for (std::size_t i = 0; i < positions_.size(); ++i) {
            set.moveTo(positions_[i]);
            set.edit();
            qty->setAsFloat(quantity(i, pass));
            if (changed)
                changed->setAsString(u"S");
            set.post();
        }
    }

    // Throws unless `set` holds the quantities of `pass` (the reload after a save).
    void check(const TWorkingSet& set, int pass) const {
        const int qty = set.fieldIndex(u"QTPROGENPEOL");
        for (std::size_t i : {std::size_t(0), positions_.size() / 2, positions_.size() - 1})
            if (set.valueAt(positions_[i], qty).toDouble() != quantity(i, pass))
                fail(QStringLiteral("the reloaded grid holds %1 at row %2, %3 was saved")
                         .arg(set.valueAt(positions_[i], qty).toDouble())
                         .arg(positions_[i])
                         .arg(quantity(i, pass)));
    }

private:
    std::vector<int> positions_;
    std::vector<double> loaded_;
};

// What a save adds beside the items: its audit rows and its delta id.
class Bookkeeping {
public:
    explicit Bookkeeping(sql::Connection& conn)
        : conn_(conn)
        , last_(conn.scalar(QStringLiteral("SELECT COALESCE(MAX(NRSEQAUDIT), 0) FROM AUDITORIA"))
                    .toLongLong()) {}

    void clear() {
        sql::Transaction tx(conn_);
        conn_.exec(QStringLiteral("DELETE FROM DELTAAPLICADO WHERE IDDELTA IN"
                                  " (SELECT IDDELTA FROM AUDITORIA WHERE NRSEQAUDIT > ?)"),
                   {last_});
        conn_.exec(QStringLiteral("DELETE FROM AUDITORIA WHERE NRSEQAUDIT > ?"), {last_});
        tx.commit();
    }

private:
    sql::Connection& conn_;
    qint64 last_;
};

// The changes of `pass` pending on the screen, as the grid leaves them once its rules have
// passed: the quantity and the change mark on the item, the snapshot following it.
void postOnScreen(const Changes& changes, int pass) {
    TWorkingSet* item = screenData().cdsItem;
    TWorkingSet* aux = screenData().cdsAuxItem;
    aux->setTag(99);
    item->disableControls();
    aux->disableControls();
    changes.post(*item, pass, true);
    changes.post(*aux, pass, false);
    aux->enableControls();
    item->enableControls();
    aux->setTag(0);
    if (item->changeCount() != changes.count())
        fail(QStringLiteral("%1 changes pending, %2 posted")
                 .arg(item->changeCount())
                 .arg(changes.count()));
    QCoreApplication::processEvents();
}

// The user's part: Yes to the confirmation, "Não" to the purchase requests; the save runs until
// the reloaded grid is painted.
void saveOnScreen(Client& client) {
    testkit::ScriptedHost& h = client.host();
    h.clearLog();
    h.answerMessage(host::mrYes);
    h.answerCaptioned(kSecondButton);
    host::Guarded([] { frmAltPedidosOL->sbtConfirmarClick(); });
    frmAltPedidosOL->repaint();
}

void checkSaved(Client& client, const Changes& changes, int pass) {
    testkit::ScriptedHost& h = client.host();
    for (const testkit::LoggedMessage& m : h.messages)
        if (m.kind == testkit::LoggedMessage::Error)
            fail(QStringLiteral("the save failed: ") + m.text);
    if (h.answersLeft() || !h.unanswered.isEmpty())
        fail(QStringLiteral("the save did not ask what the user answers"));
    h.clearLog();
    if (screenData().cdsItem->changeCount() != 0)
        fail(QStringLiteral("changes are still pending after the save"));
    changes.check(*screenData().cdsItem, pass);
}

// Drops the pending changes (the screens go without asking).
void discardOnScreen() {
    TWorkingSet* item = screenData().cdsItem;
    item->cancelUpdates();
    item->mergeChangeLog();
}

// ---- end to end ----------------------------------------------------------------------------

void saveEndToEnd(benchmark::State& state, Store store, Transport transport) {
    guarded(state, [&] {
        Database* db = database(store);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        Client client(*db, transport);
        Bookkeeping books(*db->conn);
        const Changes changes(*screenData().cdsItem);
        int pass = 0;
        const auto once = [&] {
            postOnScreen(changes, ++pass);
            QElapsedTimer t;
            t.start();
            saveOnScreen(client);
            const double took = seconds(t);
            checkSaved(client, changes, pass);
            books.clear();
            settle(*db->conn);
            return took;
        };
        for (auto _ : state)
            state.SetIterationTime(once());
        if (pass % 2)
            once(); // back to the loaded quantities
        if (client.items() != db->rows)
            fail(QStringLiteral("the reload left %1 items, %2 expected")
                     .arg(client.items())
                     .arg(db->rows));
        state.counters["changed"] = double(changes.count());
    });
}

void BM_SaveSQLite(benchmark::State& s) {
    saveEndToEnd(s, Store::SQLite, Transport::InProcess);
}
void BM_SaveHttp(benchmark::State& s) {
    saveEndToEnd(s, Store::SQLite, Transport::Http);
}
void BM_SavePostgreSQL(benchmark::State& s) {
    saveEndToEnd(s, Store::PostgreSQL, Transport::InProcess);
}

// ---- client: duplicate check, delta --------------------------------------------------------

void BM_SaveDuplicateCheck(benchmark::State& state) {
    guarded(state, [&] {
        Client client(*database(Store::SQLite), Transport::InProcess);
        const Changes changes(*screenData().cdsItem);
        postOnScreen(changes, 1);
        for (auto _ : state) {
            frmAltPedidosOL->Vd_ItemJaCadastrado();
            screenData().cdsItem->setTag(0);
        }
        discardOnScreen();
        state.counters["changed"] = double(changes.count());
    });
}

void BM_SaveDelta(benchmark::State& state) {
    guarded(state, [&] {
        Client client(*database(Store::SQLite), Transport::InProcess);
        const Changes changes(*screenData().cdsItem);
        postOnScreen(changes, 1);
        qsizetype rows = 0;
        for (auto _ : state)
            rows = screenData().cdsItem->delta().rowCount();
        discardOnScreen();
        if (rows != changes.count())
            fail(QStringLiteral("the delta has %1 rows").arg(rows));
        state.counters["changed"] = double(rows);
    });
}

// ---- deltas without the screen -------------------------------------------------------------

// The items the criteria match as the server answers them now, in a working set without the
// screen's rules, and the deltas of the passes over it.
class BareItems {
public:
    explicit BareItems(Database& db) {
        QVariantList a = request(db).args;
        const QVariant answer = db.server->call(kModule, QStringLiteral("GetItem"), a,
                                                server::CallContext{server::kDemoOperator, {}});
        if (contracts::isFault(answer))
            fail(contracts::faultOf(answer).message);
        set_.setFieldDefs(contracts::orderItemFields());
        set_.loadFromPacket(answer.toList().value(0).value<DataPacket>());
        changes_ = std::make_unique<Changes>(set_);
    }

    // The delta of the next pass (with an id of its own); `saved()` once it is in the database.
    DataPacket next() {
        changes_->post(set_, ++pass_, true);
        return set_.delta();
    }
    void saved() { set_.mergeChangeLog(); }
    // True when the database is back to the quantities it had.
    bool restored() const { return pass_ % 2 == 0; }
    qsizetype count() const { return changes_->count(); }

private:
    TWorkingSet set_;
    std::unique_ptr<Changes> changes_;
    int pass_ = 0;
};

// The seven arguments of the save as the screen sends them after "Não".
QVariantList saveArgs(const DataPacket& delta) {
    return {QVariant::fromValue(delta),
            QStringLiteral("N"),
            QStringLiteral("N"),
            server::kDemoOperator,
            false,
            QStringLiteral("Alteração do Pedido OL."),
            QStringLiteral("Remanejamento OL para ED")};
}

const QVariantList& transportArgs() {
    static const QVariantList args = [] {
        BareItems items(*database(Store::SQLite));
        return saveArgs(items.next());
    }();
    return args;
}

// ---- transport -----------------------------------------------------------------------------

// An HTTP server of the product whose UpdItemPedidoOL accepts at once, so that a call through it
// costs the encoding, the transfer both ways and the decoding of the delta.
class AcceptingBackend final : public server::DatabaseBackend {
public:
    using DatabaseBackend::DatabaseBackend;
    QVariant call(const QString& module, const QString& method, QVariantList& args,
                  const server::CallContext& context) override {
        if (method == u"UpdItemPedidoOL")
            return {};
        return DatabaseBackend::call(module, method, args, context);
    }
};

void BM_SaveTransport(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        const QVariantList& args = transportArgs();
        server::HttpServerOptions o;
        o.databaseUrl = db->url;
        o.threads = 1;
        o.backendFactory = [url = db->url] {
            return std::make_unique<AcceptingBackend>(url);
        };
        server::HttpServer http(o);
        QString error;
        if (!http.start(&error))
            fail(error);
        const QUrl origin(QStringLiteral("http://127.0.0.1:%1").arg(http.port()));
        if (const QVariant fault =
                sup::net::signOn(origin, server::kDemoOperator, QStringLiteral("sup07700"));
            fault.isValid())
            fail(contracts::faultOf(fault).message);
        sup::net::TNetConnection conn;
        conn.setServerName(kModule);
        conn.setHost(origin.toString());
        conn.setTimeoutMs(120000);
        conn.connect();
        qsizetype rows = 0;
        for (auto _ : state) {
            QVariantList a = args;
            const QVariant answer = conn.AppServer().call(QStringLiteral("UpdItemPedidoOL"), a);
            if (contracts::isFault(answer))
                fail(contracts::faultOf(answer).message);
            rows = a.value(0).value<DataPacket>().rowCount();
        }
        sup::net::signOff(origin);
        if (rows != args[0].value<DataPacket>().rowCount())
            fail(QStringLiteral("the delta came back with %1 rows").arg(rows));
        state.counters["MB"] = double(contracts::rpc::encodeCall(args).size()) / 1e6;
    });
}

// The peer: the call's bytes posted to a bare httplib server that answers the answer's bytes.
void BM_SaveRawTransport(benchmark::State& state) {
    guarded(state, [&] {
        const QVariantList& args = transportArgs();
        const QByteArray call = contracts::rpc::encodeCall(args);
        const QByteArray answer = contracts::rpc::encodeAnswer(QVariant(), {{0, args[0]}});
        const std::string request(call.constData(), std::size_t(call.size()));
        const std::string body(answer.constData(), std::size_t(answer.size()));
        httplib::Server srv;
        srv.Post("/save", [&](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.body.size() == request.size() ? body : std::string(),
                            "application/cbor");
        });
        const int port = srv.bind_to_any_port("127.0.0.1");
        std::thread serve([&] { srv.listen_after_bind(); });
        httplib::Client cli("127.0.0.1", port);
        cli.set_keep_alive(true);
        std::size_t got = 0;
        for (auto _ : state) {
            auto res = cli.Post("/save", request, "application/cbor");
            got = res ? res->body.size() : 0;
        }
        srv.stop();
        serve.join();
        if (got != body.size())
            state.SkipWithError("the raw transfer lost bytes");
        state.counters["MB"] = double(call.size()) / 1e6;
    });
}

// ---- server apply --------------------------------------------------------------------------

void saveApply(benchmark::State& state, Store store) {
    guarded(state, [&] {
        Database* db = database(store);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        BareItems items(*db);
        Bookkeeping books(*db->conn);
        const auto once = [&] {
            QVariantList a = saveArgs(items.next());
            QElapsedTimer t;
            t.start();
            const QVariant answer = db->server->call(kModule, QStringLiteral("UpdItemPedidoOL"), a,
                                                     {server::kDemoOperator, {}});
            const double took = seconds(t);
            if (contracts::isFault(answer))
                fail(contracts::faultOf(answer).message);
            items.saved();
            books.clear();
            settle(*db->conn);
            return took;
        };
        for (auto _ : state)
            state.SetIterationTime(once());
        if (!items.restored())
            once();
        state.counters["changed"] = double(items.count());
    });
}

void BM_SaveApplySQLite(benchmark::State& s) {
    saveApply(s, Store::SQLite);
}
void BM_SaveApplyPostgreSQL(benchmark::State& s) {
    saveApply(s, Store::PostgreSQL);
}

// The fields of the raw peers: the new quantity and the six fields of the item's key.
struct KeyFields {
    int qty, dest, lanc, order, date, product, brand;
    explicit KeyFields(const DataPacket& d)
        : qty(d.indexOf(u"QTPROGENPEOL"))
        , dest(d.indexOf(u"CDFILDEST"))
        , lanc(d.indexOf(u"CDFILLANC"))
        , order(d.indexOf(u"NRPEDEXOL"))
        , date(d.indexOf(u"DTPROGENPEOL"))
        , product(d.indexOf(u"CDPRODUTO"))
        , brand(d.indexOf(u"CDMARCA")) {}
};

// The peers' statement, its parameters numbered after `mark` ("?" or "$").
QByteArray rawUpdateSql(QChar mark) {
    QString sql = QStringLiteral(
        "UPDATE PEDIDOOLITEM SET QTPROGENPEOL = %1 WHERE CDFILDEST = %2 AND CDFILLANC = %3 AND"
        " NRPEDEXOL = %4 AND DTPROGENPEOL = %5 AND CDPRODUTO = %6 AND CDMARCA = %7");
    for (int i = 1; i <= 7; ++i)
        sql = sql.arg(mark + QString::number(i));
    return sql.toLatin1();
}

// Runs `write` (the peer's rows, given the delta of the pass) pass after pass, each in one
// committed transaction, timing it.
template <class Write> void rawPasses(benchmark::State& state, Database& db, Write&& write) {
    BareItems items(db);
    const auto once = [&] {
        const DataPacket d = items.next();
        QElapsedTimer t;
        t.start();
        sql::Transaction tx(*db.conn);
        const qsizetype n = write(d);
        tx.commit();
        const double took = seconds(t);
        if (n != d.rowCount())
            fail(QStringLiteral("the raw UPDATE wrote %1 of %2 rows").arg(n).arg(d.rowCount()));
        items.saved();
        settle(*db.conn);
        return took;
    };
    for (auto _ : state)
        state.SetIterationTime(once());
    if (!items.restored())
        once();
    state.counters["changed"] = double(items.count());
}

// The peer on SQLite: a prepared statement bound and stepped row by row with the C API.
void BM_SaveRawUpdateSQLite(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        sqlite3* h = db->conn->sqliteHandle();
        const QByteArray sql = rawUpdateSql(u'?');
        rawPasses(state, *db, [&](const DataPacket& d) {
            const KeyFields f(d);
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
                fail(QString::fromUtf8(sqlite3_errmsg(h)));
            qsizetype written = 0;
            for (qsizetype r = 0; r < d.rowCount(); ++r) {
                sqlite3_bind_double(st, 1, d.column(f.qty).real(r));
                const QByteArrayView dest = d.loadedColumn(f.dest).utf8(r);
                sqlite3_bind_text(st, 2, dest.data(), int(qMin<qsizetype>(4, dest.size())),
                                  SQLITE_TRANSIENT);
                for (const auto& [pos, field] : {std::pair{3, f.lanc}, std::pair{4, f.order},
                                                 std::pair{6, f.product}, std::pair{7, f.brand}}) {
                    const QByteArrayView v = d.loadedColumn(field).utf8(r);
                    sqlite3_bind_text(st, pos, v.data(), int(v.size()), SQLITE_TRANSIENT);
                }
                // The stored date form, as any writer must produce it from the packet's value.
                const QByteArray when = server::msToSqlText(d.loadedColumn(f.date).dateTimeMs(r));
                sqlite3_bind_text(st, 5, when.constData(), int(when.size()), SQLITE_TRANSIENT);
                if (sqlite3_step(st) != SQLITE_DONE)
                    fail(QString::fromUtf8(sqlite3_errmsg(h)));
                written += sqlite3_changes(h);
                sqlite3_reset(st);
            }
            sqlite3_finalize(st);
            return written;
        });
    });
}

#ifdef SUP_BENCH_LIBPQ
// The peer on PostgreSQL: a prepared statement sent row by row with libpq in pipeline mode, so
// that no row waits for the one before it.
void BM_SaveRawUpdatePostgreSQL(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::PostgreSQL);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        PGconn* pg =
            *static_cast<PGconn* const*>(db->conn->database().driver()->handle().constData());
        static int serial = 0;
        const std::string name = "bench_save_update_" + std::to_string(++serial);
        const QByteArray sql = rawUpdateSql(u'$');
        PGresult* prepared = PQprepare(pg, name.c_str(), sql.constData(), 7, nullptr);
        const bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
        PQclear(prepared);
        if (!ok)
            fail(QString::fromUtf8(PQerrorMessage(pg)));
        rawPasses(state, *db, [&](const DataPacket& d) {
            const KeyFields f(d);
            std::vector<std::array<QByteArray, 7>> values(std::size_t(d.rowCount()));
            if (PQenterPipelineMode(pg) != 1)
                fail(QStringLiteral("no pipeline mode"));
            for (qsizetype r = 0; r < d.rowCount(); ++r) {
                std::array<QByteArray, 7>& v = values[std::size_t(r)];
                v[0] = QByteArray::number(d.column(f.qty).real(r), 'g', 17);
                v[1] = d.loadedColumn(f.dest).utf8(r).first(4).toByteArray();
                v[2] = d.loadedColumn(f.lanc).utf8(r).toByteArray();
                v[3] = d.loadedColumn(f.order).utf8(r).toByteArray();
                v[4] = server::msToSqlText(d.loadedColumn(f.date).dateTimeMs(r));
                v[5] = d.loadedColumn(f.product).utf8(r).toByteArray();
                v[6] = d.loadedColumn(f.brand).utf8(r).toByteArray();
                const char* params[7];
                for (std::size_t i = 0; i < 7; ++i)
                    params[i] = v[i].constData();
                if (!PQsendQueryPrepared(pg, name.c_str(), 7, params, nullptr, nullptr, 0))
                    fail(QString::fromUtf8(PQerrorMessage(pg)));
            }
            PQpipelineSync(pg);
            qsizetype written = 0;
            QString error;
            for (qsizetype r = 0; r < d.rowCount(); ++r) {
                while (PGresult* res = PQgetResult(pg)) {
                    if (PQresultStatus(res) == PGRES_COMMAND_OK)
                        written += std::atoi(PQcmdTuples(res));
                    else if (error.isEmpty())
                        error = QString::fromUtf8(PQresultErrorMessage(res));
                    PQclear(res);
                }
            }
            PGresult* sync = PQgetResult(pg);
            const bool synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
            PQclear(sync);
            PQexitPipelineMode(pg);
            if (!synced || !error.isEmpty())
                fail(error.isEmpty() ? QStringLiteral("the pipeline lost its sync") : error);
            return written;
        });
        PQclear(PQexec(pg, ("DEALLOCATE " + name).c_str()));
    });
}
#endif

} // namespace

void addSaveBenchmarks(const AddBenchmark& add) {
    // Those that write: a raising pass and a restoring one in each repetition.
    const auto writing = [&](const char* name, void (*fn)(benchmark::State&)) {
        add(name, fn, true, 2);
    };
    writing("save/sqlite", BM_SaveSQLite);
    writing("save/http", BM_SaveHttp);
    writing("save/postgresql", BM_SavePostgreSQL);
    add("save/dupcheck", BM_SaveDuplicateCheck, false, 0);
    add("save/delta", BM_SaveDelta, false, 0);
    add("save/transport", BM_SaveTransport, false, 0);
    add("save/raw/transport", BM_SaveRawTransport, false, 0);
    writing("save/apply/sqlite", BM_SaveApplySQLite);
    writing("save/raw/update/sqlite", BM_SaveRawUpdateSQLite);
    writing("save/apply/postgresql", BM_SaveApplyPostgreSQL);
#ifdef SUP_BENCH_LIBPQ
    writing("save/raw/update/postgresql", BM_SaveRawUpdatePostgreSQL);
#endif
}

std::vector<bench::Comparison> saveComparisons() {
    return {
        limit("save, embedded SQLite", "save/sqlite", "2 s", 2.0, 1, "< 2 s"),
        limit("  duplicate check", "save/dupcheck", "50 ms", 0.05, 1, "< 50 ms"),
        line("  delta build", "save/delta", "save, embedded", "save/sqlite"),
        line("  apply (UpdItemPedidoOL)", "save/apply/sqlite", "raw sqlite3 UPDATE loop",
             "save/raw/update/sqlite", 1.5, "<= 1.5"),
        line("  reload (Verificar + paint)", "confirm/sqlite", "save, embedded", "save/sqlite"),

        limit("save, sup-appserver HTTP", "save/http", "2 s", 2.0),
        line("save, sup-appserver HTTP", "save/http", "save, embedded", "save/sqlite"),
        line("  delta there and back", "save/transport", "bare httplib, same bytes",
             "save/raw/transport"),
        line("  delta there and back", "save/transport", "save, HTTP", "save/http"),
        line("  reload (Verificar + paint)", "confirm/http", "save, HTTP", "save/http"),

        limit("save, PostgreSQL", "save/postgresql", "2 s", 2.0),
        line("save, PostgreSQL", "save/postgresql", "save, embedded", "save/sqlite"),
        line("  apply (UpdItemPedidoOL)", "save/apply/postgresql", "libpq pipelined UPDATEs",
             "save/raw/update/postgresql"),
        line("  reload (Verificar + paint)", "confirm/postgresql", "save, PostgreSQL",
             "save/postgresql"),
    };
}

} // namespace confirmbench
