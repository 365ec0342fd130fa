// The filter's confirm on a large database: from the click to the items and their shadow copy
// loaded and the grid painted, end to end through the routine's screens, and stage by stage
// (server query and packets, transport, load, shadow copy, grid), each stage beside a raw peer
// doing the same work with the bare library underneath; then the save of 10,000 changed items
// over the same screen, end to end and by stage (SaveBench.cpp), and the operations on 10,000
// marked items, end to end and the server's call beside its raw peer (OpsBench.cpp), and the
// automatic alteration of 10,000 selected items beside its raw peer (AutoApplyBench.cpp). On each
// store:
//   - embedded SQLite with the server in-process (the default set-up);
//   - sup-appserver over HTTP on loopback, on the same SQLite file;
//   - PostgreSQL (when SUP_TEST_PG names a database), server in-process.
//
//   bench_confirm [--items=1000000] [--match=100000] [Google Benchmark flags]
//
// The criteria: the first destination branches whose open items reach --match, every logistics
// operator, every other choice at its default. The seeded database is kept in the build tree
// (and in a PostgreSQL schema) and reused while the server library is unchanged.

#include "AutoApplyBench.h"
#include "Fixture.h"
#include "OpsBench.h"
#include "SaveBench.h"

#include "../common/BenchArgs.h"
#include "../common/RawSqliteScan.h"
#include "../data/Table.h"

#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/Memory.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/server/HttpServer.h"
#include "sup/server/Items.h"
#include "sup/server/Seed.h"
#include "sup/widgetkit/DBGrid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QElapsedTimer>
#include <QSqlDriver>
#include <QTableView>
#include <QUrl>

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sqlite3.h>

#ifdef SUP_BENCH_LIBPQ
#include <libpq-fe.h>
#endif

#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>

using namespace confirmbench;
using namespace sup;
using data::DataPacket;

namespace {

const QString& kModule = server::kModuleAltPedidosOL;

std::vector<DataPacket> packetsOf(const QVariant& answer) {
    std::vector<DataPacket> out;
    for (const QVariant& v : answer.toList())
        out.push_back(v.value<DataPacket>());
    return out;
}

// ---- end to end ----------------------------------------------------------------------------

void confirm(benchmark::State& state, Store store, Transport transport) {
    guarded(state, [&] {
        Database* db = database(store);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        Client client(*db, transport);
        for (auto _ : state)
            client.reload();
        if (client.items() != db->rows || client.shadow() != db->rows)
            throw std::runtime_error(QStringLiteral("the reload left %1 items and %2 in the "
                                                    "shadow copy, %3 expected")
                                         .arg(client.items())
                                         .arg(client.shadow())
                                         .arg(db->rows)
                                         .toStdString());
        state.counters["rows"] = double(client.items());
    });
}

void BM_ConfirmSQLite(benchmark::State& s) {
    confirm(s, Store::SQLite, Transport::InProcess);
}
void BM_ConfirmHttp(benchmark::State& s) {
    confirm(s, Store::SQLite, Transport::Http);
}
void BM_ConfirmPostgreSQL(benchmark::State& s) {
    confirm(s, Store::PostgreSQL, Transport::InProcess);
}

// ---- server: SQL and packets ------------------------------------------------------------

void serverCall(benchmark::State& state, Store store) {
    guarded(state, [&] {
        Database* db = database(store);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        const Request& r = request(*db);
        qsizetype rows = 0;
        for (auto _ : state) {
            QVariantList a = r.args;
            const QVariant answer = db->server->call(kModule, QStringLiteral("GetItem"), a,
                                                     {server::kDemoOperator, {}});
            rows = answer.toList().value(0).value<DataPacket>().rowCount();
        }
        if (rows != db->rows)
            state.SkipWithError("GetItem answered another row count");
        state.counters["rows"] = double(rows);
    });
}

void BM_ServerSQLite(benchmark::State& s) {
    serverCall(s, Store::SQLite);
}
void BM_ServerPostgreSQL(benchmark::State& s) {
    serverCall(s, Store::PostgreSQL);
}

// The same columns of the same rows, in the same order, selected by the branch list and the
// default batch choice (items without a batch) alone.
QString rawSql(const Database& db) {
    QStringList quoted;
    for (const QString& b : db.branches)
        quoted << u'\'' + b + u'\'';
    return server::itemSelectSql(
        db.conn->dialect(),
        QStringLiteral("I.CDFILDEST IN (%1) AND (I.CDLOTENVITOL IS NULL OR I.CDLOTENVITOL = '')")
            .arg(quoted.join(u',')));
}

// The peer: a prepared statement stepped with the C API, every value touched.
void BM_RawSQLite(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        const QByteArray sql = rawSql(*db).toUtf8();
        qsizetype rows = 0;
        for (auto _ : state)
            rows = bench::rawSqliteScan(db->conn->sqliteHandle(), sql);
        if (rows != db->rows)
            state.SkipWithError("the raw scan found another row count");
        state.counters["rows"] = double(rows);
    });
}

#ifdef SUP_BENCH_LIBPQ
// The peer on PostgreSQL: one PQexec of the same SELECT, every value touched.
void BM_RawPostgreSQL(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::PostgreSQL);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        PGconn* pg =
            *static_cast<PGconn* const*>(db->conn->database().driver()->handle().constData());
        const QByteArray sql = rawSql(*db).toUtf8();
        qsizetype rows = 0;
        for (auto _ : state) {
            PGresult* res = PQexec(pg, sql.constData());
            rows = PQntuples(res);
            const int n = PQnfields(res);
            std::size_t bytes = 0;
            for (int r = 0; r < rows; ++r)
                for (int i = 0; i < n; ++i) {
                    benchmark::DoNotOptimize(PQgetvalue(res, r, i));
                    bytes += std::size_t(PQgetlength(res, r, i));
                }
            benchmark::DoNotOptimize(bytes);
            PQclear(res);
        }
        if (rows != db->rows)
            state.SkipWithError("the raw query found another row count");
        state.counters["rows"] = double(rows);
    });
}
#endif

// ---- transport --------------------------------------------------------------------------

// In-process: the screens' path, a TNetConnection on the in-process server, beside the server
// called directly. Both run the same query, whose time swings by more than the transport costs
// from one call to the next; so each iteration makes one call of each kind, the first of a pair
// alternating, and the two sums are reported side by side as counters of the same run.
void BM_CallInProcess(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        const Request& r = request(*db);
        contracts::setInProcessFactory([server = db->server](const QString& module) {
            return server::ReferenceServer::module(server, module, server::kDemoOperator);
        });
        sup::net::TNetConnection conn;
        conn.setServerName(kModule);
        conn.connect();
        qsizetype rows = 0;
        const auto timed = [&](auto&& call) {
            QVariantList a = r.args;
            QElapsedTimer t;
            t.start();
            const QVariant answer = call(a);
            const qint64 ns = t.nsecsElapsed();
            rows = answer.toList().value(0).value<DataPacket>().rowCount();
            return ns;
        };
        const auto viaTransport = [&](QVariantList& a) {
            return conn.AppServer().call(QStringLiteral("GetItem"), a);
        };
        const auto direct = [&](QVariantList& a) {
            return db->server->call(kModule, QStringLiteral("GetItem"), a,
                                    {server::kDemoOperator, {}});
        };
        qint64 viaNs = 0, directNs = 0, pairs = 0;
        for (auto _ : state) {
            if (pairs++ % 2) {
                viaNs += timed(viaTransport);
                directNs += timed(direct);
            } else {
                directNs += timed(direct);
                viaNs += timed(viaTransport);
            }
        }
        contracts::setInProcessFactory(nullptr);
        if (rows != db->rows)
            state.SkipWithError("the call answered another row count");
        state.counters["ms via transport"] = double(viaNs) / 1e6 / double(pairs);
        state.counters["ms direct"] = double(directNs) / 1e6 / double(pairs);
    });
}

const QByteArray& encodedAnswer() {
    static const QByteArray bytes =
        contracts::rpc::encodeAnswer(request(*database(Store::SQLite)).answer);
    return bytes;
}

void BM_Encode(benchmark::State& state) {
    guarded(state, [&] {
        const QVariant& answer = request(*database(Store::SQLite)).answer;
        qsizetype size = 0;
        for (auto _ : state)
            size = contracts::rpc::encodeAnswer(answer).size();
        state.counters["MB"] = double(size) / 1e6;
    });
}

void BM_Decode(benchmark::State& state) {
    guarded(state, [&] {
        const QByteArray& bytes = encodedAnswer();
        qsizetype rows = 0;
        for (auto _ : state)
            rows = contracts::rpc::decodeAnswer(bytes)
                       .result.toList()
                       .value(0)
                       .value<DataPacket>()
                       .rowCount();
        state.counters["rows"] = double(rows);
    });
}

// The raw CBOR peer: every cell of the four packets written row by row with QCborStreamWriter.
QByteArray rawEncode(const std::vector<DataPacket>& packets) {
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startArray(quint64(packets.size()));
    for (const DataPacket& p : packets) {
        const int n = p.fieldCount();
        w.startArray(quint64(p.rowCount()));
        for (qsizetype r = 0; r < p.rowCount(); ++r) {
            w.startArray(quint64(n));
            for (int f = 0; f < n; ++f) {
                const data::Column& c = p.column(f);
                if (c.isNull(r)) {
                    w.appendNull();
                    continue;
                }
                switch (c.type()) {
                case data::FieldType::Text: {
                    const QByteArrayView t = c.utf8(r);
                    w.appendTextString(t.data(), t.size());
                } break;
                case data::FieldType::Double:
                    w.append(c.real(r));
                    break;
                case data::FieldType::Integer:
                    w.append(c.integer(r));
                    break;
                case data::FieldType::Boolean:
                    w.append(c.boolean(r));
                    break;
                case data::FieldType::DateTime:
                    w.append(c.dateTimeMs(r));
                    break;
                }
            }
            w.endArray();
        }
        w.endArray();
    }
    w.endArray();
    return out;
}

void BM_RawEncode(benchmark::State& state) {
    guarded(state, [&] {
        const std::vector<DataPacket> packets = packetsOf(request(*database(Store::SQLite)).answer);
        qsizetype size = 0;
        for (auto _ : state)
            size = rawEncode(packets).size();
        state.counters["MB"] = double(size) / 1e6;
    });
}

// Walks every value of a raw encoding, copying each text into a buffer.
qsizetype rawDecode(const QByteArray& bytes) {
    QCborStreamReader r(bytes);
    char buf[512];
    qsizetype cells = 0;
    double sum = 0;
    const auto walk = [&](auto&& self) -> void {
        while (r.hasNext()) {
            switch (r.type()) {
            case QCborStreamReader::Array:
                r.enterContainer();
                self(self);
                r.leaveContainer();
                break;
            case QCborStreamReader::String: {
                auto chunk = r.readStringChunk(buf, sizeof buf);
                while (chunk.status == QCborStreamReader::Ok && chunk.data > 0)
                    chunk = r.readStringChunk(buf, sizeof buf);
                ++cells;
                break;
            }
            case QCborStreamReader::Double:
                sum += r.toDouble();
                r.next();
                ++cells;
                break;
            case QCborStreamReader::UnsignedInteger:
            case QCborStreamReader::NegativeInteger:
                sum += double(r.toInteger());
                r.next();
                ++cells;
                break;
            default:
                r.next();
                ++cells;
                break;
            }
        }
    };
    walk(walk);
    benchmark::DoNotOptimize(sum);
    return cells;
}

void BM_RawDecode(benchmark::State& state) {
    guarded(state, [&] {
        const QByteArray bytes = rawEncode(packetsOf(request(*database(Store::SQLite)).answer));
        qsizetype cells = 0;
        for (auto _ : state)
            cells = rawDecode(bytes);
        state.counters["cells"] = double(cells);
    });
}

// An HTTP server of the product whose GetItem answers the prepared answer at once, so that a
// call through it costs the answer's encoding, the loopback transfer and the decoding.
class CannedBackend final : public server::DatabaseBackend {
public:
    CannedBackend(const QString& url, QVariant answer)
        : DatabaseBackend(url)
        , answer_(std::move(answer)) {}
    QVariant call(const QString& module, const QString& method, QVariantList& args,
                  const server::CallContext& context) override {
        if (method == u"GetItem")
            return answer_;
        return DatabaseBackend::call(module, method, args, context);
    }

private:
    QVariant answer_;
};

// Transfer alone: the HTTP call to the canned server minus the encoding and the decoding of the
// same answer, timed in the same iteration.
void BM_Transfer(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        const Request& r = request(*db);
        server::HttpServerOptions o;
        o.databaseUrl = db->url;
        o.threads = 1;
        o.backendFactory = [url = db->url, answer = r.answer] {
            return std::make_unique<CannedBackend>(url, answer);
        };
        server::HttpServer http(o);
        QString error;
        if (!http.start(&error))
            throw std::runtime_error(error.toStdString());
        const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(http.port());
        if (const QVariant fault =
                sup::net::signOn(QUrl(origin), server::kDemoOperator, QStringLiteral("sup07700"));
            fault.isValid())
            throw std::runtime_error(contracts::faultOf(fault).message.toStdString());
        sup::net::TNetConnection conn;
        conn.setServerName(kModule);
        conn.setHost(origin);
        conn.setTimeoutMs(120000);
        conn.connect();
        qsizetype rows = 0;
        for (auto _ : state) {
            QElapsedTimer t;
            t.start();
            QVariantList a = r.args;
            const QVariant answer = conn.AppServer().call(QStringLiteral("GetItem"), a);
            const qint64 call = t.nsecsElapsed();
            if (contracts::isFault(answer))
                throw std::runtime_error(contracts::faultOf(answer).message.toStdString());
            rows = answer.toList().value(0).value<DataPacket>().rowCount();
            t.restart();
            const QByteArray bytes = contracts::rpc::encodeAnswer(r.answer);
            benchmark::DoNotOptimize(contracts::rpc::decodeAnswer(bytes).result.isValid());
            const qint64 codec = t.nsecsElapsed();
            state.SetIterationTime(double(qMax<qint64>(0, call - codec)) / 1e9);
        }
        sup::net::signOff(QUrl(origin));
        if (rows != db->rows)
            state.SkipWithError("the HTTP call answered another row count");
        state.counters["rows"] = double(rows);
    });
}

// The peer: the same bytes served by a bare httplib server and fetched by a bare httplib client.
void BM_RawTransfer(benchmark::State& state) {
    guarded(state, [&] {
        const std::string body(encodedAnswer().constData(), std::size_t(encodedAnswer().size()));
        httplib::Server srv;
        srv.Post("/blob", [&](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "application/cbor");
        });
        const int port = srv.bind_to_any_port("127.0.0.1");
        std::thread serve([&] { srv.listen_after_bind(); });
        httplib::Client cli("127.0.0.1", port);
        cli.set_keep_alive(true);
        std::size_t got = 0;
        for (auto _ : state) {
            QElapsedTimer t;
            t.start();
            auto res = cli.Post("/blob", "{}", "application/cbor");
            got = res ? res->body.size() : 0;
            state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        }
        srv.stop();
        serve.join();
        if (got != body.size())
            state.SkipWithError("the raw transfer lost bytes");
        state.counters["MB"] = double(got) / 1e6;
    });
}

// ---- client: load, shadow copy, grid ----------------------------------------------------

// What the confirm does with the answer: each packet checked by a trial load into a set of the
// target's fields, then loaded into its set (the group authorisations take their packet's).
void BM_Load(benchmark::State& state) {
    guarded(state, [&] {
        const std::vector<DataPacket> packets = packetsOf(request(*database(Store::SQLite)).answer);
        const data::FieldDefs defs[] = {contracts::orderItemFields(),
                                        contracts::paramFilialFields(),
                                        contracts::ajusteQtdeFields(),
                                        {}};
        data::TWorkingSet sets[4];
        for (int i = 0; i < 3; ++i)
            sets[i].setFieldDefs(defs[i]);
        for (auto _ : state) {
            for (int i = 3; i >= 0; --i) {
                DataPacket p = packets[std::size_t(i)];
                if (i < 3) {
                    data::TWorkingSet trial;
                    trial.setFieldDefs(defs[i]);
                    trial.loadFromPacket(p);
                    p = trial.data();
                }
                sets[i].loadFromPacket(p);
            }
        }
        state.counters["rows"] = double(sets[0].recordCount());
    });
}

// The shadow copy the maintenance screen keeps of the loaded items.
void BM_Snapshot(benchmark::State& state) {
    guarded(state, [&] {
        const DataPacket items = packetsOf(request(*database(Store::SQLite)).answer).front();
        data::TWorkingSet item, aux;
        item.setFieldDefs(contracts::orderItemFields());
        item.loadFromPacket(items);
        aux.setFieldDefs(contracts::auxItemFields());
        for (auto _ : state)
            aux.loadFromPacket(item.data());
        state.counters["rows"] = double(aux.recordCount());
    });
}

// The peer of load and copy: the answer's bytes copied once.
void BM_RawCopy(benchmark::State& state) {
    guarded(state, [&] {
        const QByteArray& bytes = encodedAnswer();
        std::vector<char> to(std::size_t(bytes.size()));
        for (auto _ : state) {
            std::memcpy(to.data(), bytes.constData(), to.size());
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        }
        state.counters["MB"] = double(bytes.size()) / 1e6;
    });
}

// The grid: a load resets the data grid's model; the grid then paints its first page.
void BM_Grid(benchmark::State& state) {
    guarded(state, [&] {
        const DataPacket items = packetsOf(request(*database(Store::SQLite)).answer).front();
        data::TWorkingSet set;
        set.setFieldDefs(contracts::orderItemFields());
        data::TDataSource source;
        source.setDataSet(&set);
        host::TDBGrid grid;
        grid.setDataSource(&source);
        grid.resize(1280, 800);
        grid.show();
        set.loadFromPacket(items);
        QCoreApplication::processEvents();
        for (auto _ : state) {
            set.loadFromPacket(items);
            grid.repaint();
        }
        state.counters["rows"] = double(grid.model()->rowCount());
    });
}

// The peer: a QTableView over a model of the same shape whose cells are one constant text.
class ConstantModel final : public QAbstractTableModel {
public:
    ConstantModel(int rows, int columns)
        : rows_(rows)
        , columns_(columns) {}
    int rowCount(const QModelIndex& = {}) const override { return rows_; }
    int columnCount(const QModelIndex& = {}) const override { return columns_; }
    QVariant data(const QModelIndex&, int role) const override {
        return role == Qt::DisplayRole ? QVariant(text_) : QVariant();
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }

private:
    int rows_, columns_;
    QString text_ = QStringLiteral("0001 - Loja");
};

void BM_RawGrid(benchmark::State& state) {
    guarded(state, [&] {
        const DataPacket items = packetsOf(request(*database(Store::SQLite)).answer).front();
        ConstantModel model(int(items.rowCount()), items.fieldCount());
        QTableView view;
        view.setModel(&model);
        view.resize(1280, 800);
        view.show();
        QCoreApplication::processEvents();
        for (auto _ : state) {
            model.reset();
            view.repaint();
        }
        state.counters["rows"] = double(model.rowCount());
    });
}

double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double maxOf(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

// Every figure is labelled with the number of items the criteria match.
int gRows = 0;

// `iterations` > 0: that many per repetition instead of as many as half a second takes.
void add(const char* name, void (*fn)(benchmark::State&), bool manual = false, int iterations = 0) {
    auto* b = benchmark::RegisterBenchmark(name, fn)
                  ->Arg(gRows)
                  ->Unit(benchmark::kMillisecond)
                  ->ComputeStatistics("min", minOf)
                  ->ComputeStatistics("max", maxOf);
    if (iterations > 0)
        b->Iterations(iterations);
    else
        b->MinTime(0.5);
    if (manual)
        b->UseManualTime();
    else
        b->UseRealTime();
}

// A figure beside its peer, held to at most `goal` times it.
bench::Comparison beside(const char* label, const char* figure, const char* peerLabel,
                         const char* peer, double goal) {
    char text[16] = "";
    if (goal > 0)
        std::snprintf(text, sizeof text, "<= %g", goal);
    return line(label, figure, peerLabel, peer, goal, text);
}

// The goals of the confirm on each tier: the whole confirm within a time, each stage within a
// multiple of its raw peer.
std::vector<bench::Comparison> comparisons() {
    std::vector<bench::Comparison> c;
    const auto within = [&](const char* label, const char* figure, double seconds) {
        char peer[32], goal[32];
        std::snprintf(peer, sizeof peer, "%g ms", seconds * 1000);
        std::snprintf(goal, sizeof goal, "< %g ms", seconds * 1000);
        c.push_back(limit(label, figure, peer, seconds, 1, goal));
    };
    within("confirm, embedded SQLite", "confirm/sqlite", 0.45);
    c.push_back(
        beside("  server: SQL + packets", "server/sqlite", "raw sqlite3 scan", "raw/sqlite", 1.15));
    bench::Comparison transport = beside("  transport, in-process", "call/inprocess",
                                         "server called directly", "call/inprocess", 1.05);
    transport.counter = "ms via transport";
    transport.peerCounter = "ms direct";
    c.push_back(transport);
    c.push_back(beside("  load of the 4 packets", "load", "memcpy of the answer", "raw/copy", 0));
    c.push_back(beside("  shadow copy", "snapshot", "memcpy of the answer", "raw/copy", 0));
    c.push_back(
        beside("  grid reset + paint", "grid", "QTableView, constant model", "raw/grid", 0));

    within("confirm, sup-appserver HTTP", "confirm/http", 0.7);
    c.push_back(
        beside("  encode the answer", "encode", "QCborStreamWriter, cells", "raw/encode", 0));
    c.push_back(
        beside("  loopback transfer", "transfer", "bare httplib, same bytes", "raw/transfer", 0));
    c.push_back(
        beside("  decode the answer", "decode", "QCborStreamReader walk", "raw/decode", 1.3));
    c.push_back(
        beside("  against embedded", "confirm/http", "confirm, embedded", "confirm/sqlite", 0));

    within("confirm, PostgreSQL", "confirm/postgresql", 0.8);
    c.push_back(beside("  server: SQL + packets", "server/postgresql", "raw libpq PQexec",
                       "raw/postgresql", 1.3));
    c.push_back(beside("  against embedded", "confirm/postgresql", "confirm, embedded",
                       "confirm/sqlite", 0));
    return c;
}

} // namespace

int main(int argc, char** argv) {
    // As sup-host and sup-appserver run.
    sup::data::tuneAllocator();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "America/Sao_Paulo");
    bench::BenchArgs args(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--items=", 0) == 0)
            settings().items = std::stoll(a.substr(8));
        else if (a.rfind("--match=", 0) == 0)
            settings().match = std::stoll(a.substr(8));
        else
            args.add(argv[i]);
    }
    int n = 0;
    char** flags = args.finish(&n);
    QApplication app(argc, argv);
    benchmark::Initialize(&n, flags);
    if (benchmark::ReportUnrecognizedArguments(n, flags))
        return 2;

    try {
        gRows = int(database(Store::SQLite)->rows);
    } catch (const std::exception& e) {
        std::cerr << "bench_confirm: " << e.what() << '\n';
        return 1;
    }
    add("confirm/sqlite", BM_ConfirmSQLite);
    add("confirm/http", BM_ConfirmHttp);
    add("confirm/postgresql", BM_ConfirmPostgreSQL);
    add("server/sqlite", BM_ServerSQLite);
    add("raw/sqlite", BM_RawSQLite);
    add("server/postgresql", BM_ServerPostgreSQL);
#ifdef SUP_BENCH_LIBPQ
    add("raw/postgresql", BM_RawPostgreSQL);
#endif
    add("call/inprocess", BM_CallInProcess, false, 4);
    add("encode", BM_Encode);
    add("raw/encode", BM_RawEncode);
    add("decode", BM_Decode);
    add("raw/decode", BM_RawDecode);
    add("transfer", BM_Transfer, true);
    add("raw/transfer", BM_RawTransfer, true);
    add("load", BM_Load);
    add("snapshot", BM_Snapshot);
    add("raw/copy", BM_RawCopy);
    add("grid", BM_Grid);
    add("raw/grid", BM_RawGrid);
    addSaveBenchmarks([](const char* name, void (*fn)(benchmark::State&), bool manual,
                         int iterations) { add(name, fn, manual, iterations); });
    addOpsBenchmarks([](const char* name, void (*fn)(benchmark::State&), bool manual,
                        int iterations) { add(name, fn, manual, iterations); });
    addAutoApplyBenchmarks([](const char* name, void (*fn)(benchmark::State&), bool manual,
                              int iterations) { add(name, fn, manual, iterations); });

    std::vector<bench::Comparison> lines = comparisons();
    for (bench::Comparison& c : saveComparisons())
        lines.push_back(std::move(c));
    for (bench::Comparison& c : opsComparisons())
        lines.push_back(std::move(c));
    for (bench::Comparison& c : autoApplyComparisons())
        lines.push_back(std::move(c));
    bench::TableReporter reporter(
        std::move(lines),
        "Filter confirm, save of 10,000 changed items, 10,000 marked items, 10,000 altered items");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    confirmbench::shutdown();
    return 0;
}
