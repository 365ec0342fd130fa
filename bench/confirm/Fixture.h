#pragma once

// The data behind the confirm benchmarks: a seeded database (SQLite file or a PostgreSQL
// schema, kept between runs while the server library that seeded it is unchanged), the
// destination branches whose open items make the wanted count, and the routine's screens over
// it, in-process or through sup-appserver over HTTP.

#include "sup/server/ReferenceServer.h"
#include "sup/sql/Database.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "../data/Table.h"

#include <benchmark/benchmark.h>

#include <exception>
#include <memory>
#include <vector>

namespace sup::testkit {
class ScriptedHost;
}

class QElapsedTimer;
class TdmAltPedidosOL;

namespace confirmbench {

struct Settings {
    qsizetype items = 1000000; // order items seeded
    qsizetype match = 100000;  // open items the criteria should match (at least)
};
Settings& settings();

enum class Store { SQLite, PostgreSQL };

struct Database {
    Store store = Store::SQLite;
    QString url;
    std::shared_ptr<sup::sql::Connection> conn;
    std::shared_ptr<sup::server::ReferenceServer> server;
    QStringList branches; // destination branches of the criteria
    qsizetype rows = 0;   // open items of those branches
};

// Releases the databases, the app server and the prepared requests (before the application
// object goes).
void shutdown();

// nullptr for PostgreSQL when SUP_TEST_PG names no database. Throws on a seeding failure.
Database* database(Store store);

// sup-appserver over the SQLite database, started once; its origin ("http://127.0.0.1:port").
QString appServerOrigin();

enum class Transport { InProcess, Http };

// The routine as a user has it: the maintenance screen shown (1280x800), the filter confirmed
// once with the branch list of the database and every operator. `reload()` is the Verificar
// action: the filter's confirm again, as the screen holds it.
class Client {
public:
    Client(Database& db, Transport transport);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void reload();            // confirm + repaint of the screen
    qsizetype items() const;  // rows of cdsItem
    qsizetype shadow() const; // rows of cdsAuxItem
    // The arguments and the answer of the last GetItem the screens sent (in-process only).
    static const QVariantList& lastArgs();
    // The user's part: answers queued for the screens, and what they showed.
    sup::testkit::ScriptedHost& host() { return *host_; }

private:
    std::unique_ptr<sup::testkit::ScriptedHost> host_;
};

// A failure of the fixture or of a pass: thrown, reported as the benchmark's error.
[[noreturn]] void fail(const QString& what);
double seconds(const QElapsedTimer& t);
// Between two timed writes, untimed: on SQLite, waits until the log of the writes so far is
// copied back into the database file. A user's next confirmation comes seconds later, when the
// connection's background checkpoint is long done; back-to-back passes would otherwise time the
// previous pass's copy as well.
void settle(sup::sql::Connection& conn);

// The routine's data on the maintenance screen the Client shows.
TdmAltPedidosOL& screenData();
// Marks the items at `positions` as a marking pass leaves them (posted with the item rules
// standing aside), the grid on its first item again; throws unless that many marks are pending.
void markOnScreen(const std::vector<int>& positions);

// A line of a closing table: `figure` beside `peer` (or a fixed time: see limit), held to
// `goal` (0: none).
bench::Comparison line(const char* label, const char* figure, const char* peerLabel,
                       const char* peer, double goal = 0, const char* goalText = "");
// A figure against a fixed time of `seconds` (goal 1: within it).
bench::Comparison limit(const char* label, const char* figure, const char* peerLabel,
                        double seconds, double goal = 0, const char* goalText = "");

// Runs `body` and reports a failure of the fixture as the benchmark's error.
template <class F> void guarded(benchmark::State& state, F&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The 34 arguments the screen sends for the criteria of `db` and the server's answer to them.
struct Request {
    QVariantList args;
    QVariant answer;
};
const Request& request(Database& db);

} // namespace confirmbench
