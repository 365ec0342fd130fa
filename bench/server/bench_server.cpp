// Server figures beside their raw peers, measured in the same run:
//  - the item packet of 100,000 items built from SQLite (the rows GetItem returns) against a
//    raw sqlite3 C-API scan of the same SELECT;
//  - a delta of 10,000 changed items applied (optimistic checks, audit, delta id) against a raw
//    prepared UPDATE-by-key loop in one transaction, on SQLite;
//  - the same delta on PostgreSQL against COPY into a temporary table plus one set-based UPDATE
//    (when SUP_TEST_PG names a database and libpq is available).
// Every iteration of a write benchmark rolls its transaction back, so each starts from the same
// rows.

#include "../common/RawSqliteScan.h"
#include "SqlValues.h"
#include "sup/server/DeltaApply.h"
#include "sup/server/Items.h"
#include "sup/server/Schema.h"
#include "sup/server/Seed.h"
#include "sup/sql/Database.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#ifdef SUP_BENCH_LIBPQ
#include <libpq-fe.h>
#endif

#include <memory>

using namespace sup;

namespace {

constexpr qsizetype kItems = 100000;
constexpr qsizetype kDeltaRows = 10000;

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<sql::Connection> conn;
    data::DataPacket items;
    data::DataPacket delta;
    QString itemSql;
    QString schema; // PostgreSQL
    std::unique_ptr<sql::Connection> admin;

    ~Fixture() {
        conn.reset();
        if (admin && !schema.isEmpty())
            admin->exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
    }
};

data::DataPacket makeDelta(const data::DataPacket& items, qsizetype rows) {
    std::vector<data::Column> cur, old;
    for (const auto& f : items.fields()) {
        cur.emplace_back(f);
        old.emplace_back(f);
    }
    const qsizetype step = qMax<qsizetype>(1, items.rowCount() / rows);
    for (qsizetype r = 0, n = 0; r < items.rowCount() && n < rows; r += step, ++n)
        for (int f = 0; f < items.fieldCount(); ++f) {
            cur[std::size_t(f)].appendCell(items.column(f), r);
            old[std::size_t(f)].appendCell(items.column(f), r);
        }
    const int qty = items.indexOf(u"QTPROGENPEOL");
    for (qsizetype r = 0; r < cur[std::size_t(qty)].size(); ++r)
        cur[std::size_t(qty)].setReal(r, cur[std::size_t(qty)].real(r) + 1);
    const qsizetype n = cur.front().size();
    return data::DataPacket::makeDelta(
        items.fields(), std::move(cur), std::move(old),
        std::vector<data::RowKind>(std::size_t(n), data::RowKind::Modified));
}

Fixture& sqliteFixture() {
    static Fixture* f = [] {
        auto* x = new Fixture;
        x->conn = sql::Connection::open(QStringLiteral("sqlite:") +
                                        x->dir.filePath(QStringLiteral("bench.db")));
        server::installSchema(*x->conn);
        server::SeedOptions o;
        o.items = kItems;
        o.fastHash = true;
        server::seedDatabase(*x->conn, o);
        x->itemSql = server::itemSelectSql(sql::Dialect::SQLite, {});
        x->items = server::selectItems(*x->conn);
        x->delta = makeDelta(x->items, kDeltaRows);
        return x;
    }();
    return *f;
}

Fixture* pgFixture() {
    static Fixture* f = []() -> Fixture* {
        const QString base = qEnvironmentVariable("SUP_TEST_PG");
        if (base.isEmpty())
            return nullptr;
        auto* x = new Fixture;
        x->schema = QStringLiteral("bench_%1").arg(QRandomGenerator::global()->generate(), 0, 36);
        x->admin = sql::Connection::open(base);
        x->admin->exec(QStringLiteral("CREATE SCHEMA %1").arg(x->schema));
        x->conn = sql::Connection::open(base + (base.contains(u'?') ? u'&' : u'?') +
                                        QStringLiteral("schema=") + x->schema);
        server::installSchema(*x->conn);
        server::SeedOptions o;
        o.items = kItems;
        o.fastHash = true;
        server::seedDatabase(*x->conn, o);
        x->conn->exec(QStringLiteral("ANALYZE"));
        if (qEnvironmentVariableIsSet("SUP_BENCH_PG_LOG")) // statement times in the server's log
            x->conn->execScript(
                QStringLiteral("LOAD 'auto_explain'; SET auto_explain.log_min_duration = 200;"
                               " SET auto_explain.log_analyze = true"));
        x->items = server::selectItems(*x->conn);
        x->delta = makeDelta(x->items, kDeltaRows);
        return x;
    }();
    return f;
}

void BM_ItemPacket_Server(benchmark::State& state) {
    Fixture& f = sqliteFixture();
    qsizetype rows = 0;
    for (auto _ : state) {
        const data::DataPacket p = server::selectItems(*f.conn);
        rows = p.rowCount();
        benchmark::DoNotOptimize(p.column(0).size());
    }
    state.counters["rows"] = double(rows);
}

// The peer: the same SELECT scanned with the C API, touching every value.
void BM_ItemPacket_RawScan(benchmark::State& state) {
    Fixture& f = sqliteFixture();
    const QByteArray sql = f.itemSql.toUtf8();
    qsizetype rows = 0;
    for (auto _ : state)
        rows = bench::rawSqliteScan(f.conn->sqliteHandle(), sql);
    state.counters["rows"] = double(rows);
}

void BM_DeltaApply_Server_SQLite(benchmark::State& state) {
    Fixture& f = sqliteFixture();
    server::DeltaOptions o;
    o.method = QStringLiteral("bench");
    o.operatorCode = server::kDemoOperator;
    for (auto _ : state) {
        sql::Transaction tx(*f.conn);
        const server::DeltaResult r =
            server::applyDelta(*f.conn, server::orderItemTarget(), f.delta, o);
        if (r.updated != f.delta.rowCount())
            state.SkipWithError("not every row was written");
        tx.rollback();
    }
    state.counters["rows"] = double(f.delta.rowCount());
}

// The peer: one prepared UPDATE by item key per row, in one transaction.
void BM_DeltaApply_RawUpdate_SQLite(benchmark::State& state) {
    Fixture& f = sqliteFixture();
    const data::DataPacket& d = f.delta;
    const char* sql =
        "UPDATE PEDIDOOLITEM SET QTPROGENPEOL = ? WHERE CDFILDEST = ? AND CDFILLANC = ? AND"
        " NRPEDEXOL = ? AND DTPROGENPEOL = ? AND CDPRODUTO = ? AND CDMARCA = ?";
    const int qty = d.indexOf(u"QTPROGENPEOL"), dest = d.indexOf(u"CDFILDEST"),
              lanc = d.indexOf(u"CDFILLANC"), ped = d.indexOf(u"NRPEDEXOL"),
              date = d.indexOf(u"DTPROGENPEOL"), prod = d.indexOf(u"CDPRODUTO"),
              marca = d.indexOf(u"CDMARCA");
    for (auto _ : state) {
        sql::Transaction tx(*f.conn);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(f.conn->sqliteHandle(), sql, -1, &st, nullptr);
        for (qsizetype r = 0; r < d.rowCount(); ++r) {
            sqlite3_bind_double(st, 1, d.column(qty).real(r));
            const QByteArrayView dv = d.loadedColumn(dest).utf8(r);
            sqlite3_bind_text(st, 2, dv.data(), 4, SQLITE_TRANSIENT);
            for (const auto& [pos, field] :
                 {std::pair{3, lanc}, std::pair{4, ped}, std::pair{6, prod}, std::pair{7, marca}}) {
                const QByteArrayView v = d.loadedColumn(field).utf8(r);
                sqlite3_bind_text(st, pos, v.data(), int(v.size()), SQLITE_TRANSIENT);
            }
            // The stored date form, as any peer must produce it from the packet's value.
            const QByteArray when = server::msToSqlText(d.loadedColumn(date).dateTimeMs(r));
            sqlite3_bind_text(st, 5, when.constData(), int(when.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
            if (sqlite3_changes(f.conn->sqliteHandle()) != 1)
                state.SkipWithError("raw update missed a row");
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        tx.rollback();
    }
    state.counters["rows"] = double(d.rowCount());
}

void BM_ItemPacket_Server_PostgreSQL(benchmark::State& state) {
    Fixture* f = pgFixture();
    if (!f) {
        state.SkipWithError("SUP_TEST_PG not set");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(server::selectItems(*f->conn).rowCount());
}

void BM_DeltaApply_Server_PostgreSQL(benchmark::State& state) {
    Fixture* f = pgFixture();
    if (!f) {
        state.SkipWithError("SUP_TEST_PG not set");
        return;
    }
    f->conn->exec(QStringLiteral("VACUUM PEDIDOOLITEM"));
    server::DeltaOptions o;
    o.method = QStringLiteral("bench");
    o.operatorCode = server::kDemoOperator;
    for (auto _ : state) {
        sql::Transaction tx(*f->conn);
        const server::DeltaResult r =
            server::applyDelta(*f->conn, server::orderItemTarget(), f->delta, o);
        if (r.updated != f->delta.rowCount())
            state.SkipWithError("not every row was written");
        tx.rollback();
    }
    state.counters["rows"] = double(f->delta.rowCount());
}

#ifdef SUP_BENCH_LIBPQ
// The peer: COPY of the keys and new quantities into a temporary table, then one UPDATE ... FROM.
void BM_DeltaApply_CopyUpdate_PostgreSQL(benchmark::State& state) {
    Fixture* f = pgFixture();
    if (!f) {
        state.SkipWithError("SUP_TEST_PG not set");
        return;
    }
    PGconn* pg = *static_cast<PGconn* const*>(f->conn->database().driver()->handle().constData());
    const data::DataPacket& d = f->delta;
    const int qty = d.indexOf(u"QTPROGENPEOL"), dest = d.indexOf(u"CDFILDEST"),
              lanc = d.indexOf(u"CDFILLANC"), ped = d.indexOf(u"NRPEDEXOL"),
              date = d.indexOf(u"DTPROGENPEOL"), prod = d.indexOf(u"CDPRODUTO"),
              marca = d.indexOf(u"CDMARCA");
    f->conn->exec(QStringLiteral("VACUUM PEDIDOOLITEM"));
    for (auto _ : state) {
        sql::Transaction tx(*f->conn);
        f->conn->exec(
            QStringLiteral(
                "CREATE TEMP TABLE d (k0 $CODE, k1 $CODE, k2 $CODE, k3 timestamp, k4 $CODE,"
                " k5 $CODE, q double precision) ON COMMIT DROP")
                .replace(QStringLiteral("$CODE"), sql::codeType(sql::Dialect::PostgreSQL)));
        PGresult* res = PQexec(pg, "COPY d FROM STDIN");
        PQclear(res);
        QByteArray buf;
        for (qsizetype r = 0; r < d.rowCount(); ++r) {
            buf += d.loadedColumn(dest).utf8(r).first(4).toByteArray() + '\t' +
                   d.loadedColumn(lanc).utf8(r).toByteArray() + '\t' +
                   d.loadedColumn(ped).utf8(r).toByteArray() + '\t' +
                   server::msToSqlText(d.loadedColumn(date).dateTimeMs(r)) + '\t' +
                   d.loadedColumn(prod).utf8(r).toByteArray() + '\t' +
                   d.loadedColumn(marca).utf8(r).toByteArray() + '\t' +
                   QByteArray::number(d.column(qty).real(r), 'g', 17) + '\n';
        }
        PQputCopyData(pg, buf.constData(), int(buf.size()));
        PQputCopyEnd(pg, nullptr);
        while ((res = PQgetResult(pg)))
            PQclear(res);
        const int n =
            f->conn
                ->exec(QStringLiteral(
                    "UPDATE PEDIDOOLITEM t SET QTPROGENPEOL = d.q FROM d WHERE t.CDFILDEST = d.k0"
                    " AND t.CDFILLANC = d.k1 AND t.NRPEDEXOL = d.k2 AND t.DTPROGENPEOL = d.k3"
                    " AND t.CDPRODUTO = d.k4 AND t.CDMARCA = d.k5"))
                .numRowsAffected();
        if (n != d.rowCount())
            state.SkipWithError("COPY peer missed rows");
        tx.rollback();
    }
    state.counters["rows"] = double(d.rowCount());
}
BENCHMARK(BM_DeltaApply_CopyUpdate_PostgreSQL)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();
#endif

BENCHMARK(BM_ItemPacket_Server)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_ItemPacket_RawScan)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_DeltaApply_Server_SQLite)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_DeltaApply_RawUpdate_SQLite)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();
BENCHMARK(BM_ItemPacket_Server_PostgreSQL)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();
BENCHMARK(BM_DeltaApply_Server_PostgreSQL)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
