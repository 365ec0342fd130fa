// The load test of the three-tier setup: one PostgreSQL schema (SUP_TEST_PG), two sup-appserver
// processes over it on loopback, and N simulated purchasing users spread over both, each in a
// thread of its own with its own connection, running the day's mix in a loop through the HTTP
// transport and the typed calls: sign-on; the filter's GetItem (about 2,000 items); the save of
// 20 changed quantities with a delta; the block flag of 10 items turned over; the automatic
// alteration of the quantity of 10 items. Users of one filter meet on a few shared items, so the
// server's optimistic checks raise conflicts, counted apart from errors.
//
// After each round the database is reconciled with what the users were told (Reconcile.cpp); a
// mismatch fails the run. Once, with 8 users, one app server is killed (SIGKILL) halfway through
// the round and started again on the same port: calls then fail with a network message or apply
// once, never twice.
//
// Usage: bench_load [--users=1,8,32,64] [--seconds=30] [--loops=200] [--items=40000]
//                   [--groups=4] [--per-user=2000] [--server-threads=4] [--no-kill]
//                   [--appserver=PATH]
// Progress goes to stderr, the table to stdout. Google Benchmark flags are ignored, except a
// --benchmark_filter that does not match "load", which skips the run.

#include "Load.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

using namespace loadbench;

namespace {

void progress(const QString& line) {
    std::cerr << "  " << line.toStdString() << std::endl;
}

QString machine() {
    QString cpu = QStringLiteral("unknown CPU");
    QString memory = QStringLiteral("? GiB");
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly))
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
                break;
            }
    QFile mem(QStringLiteral("/proc/meminfo"));
    if (mem.open(QIODevice::ReadOnly))
        for (const QByteArray& line : mem.readAll().split('\n'))
            if (line.startsWith("MemTotal:")) {
                const double kb = line.mid(9).trimmed().split(' ').value(0).toDouble();
                memory = QStringLiteral("%1 GiB").arg(kb / 1024 / 1024, 0, 'f', 1);
                break;
            }
    return QStringLiteral("%1 CPUs (nproc), %2, %3 memory")
        .arg(QThread::idealThreadCount())
        .arg(cpu, memory);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::size_t(std::ceil(p * double(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

struct Round {
    int users = 0;
    bool kill = false;
    double seconds = 0;
    Record told;
    Reconciliation check;
    QString killNote;
};

class LoadTest {
public:
    explicit LoadTest(const Settings& s)
        : s_(s) {}

    int run() {
        db_ = Database::create(s_);
        if (!db_) {
            std::cerr << "bench_load: SUP_TEST_PG names no database (scripts/pg-start); skipped\n";
            return 0;
        }
        for (int i = 0; i < 2; ++i) {
            servers_.push_back(std::make_unique<AppServer>(s_, db_->url(), freePort()));
            servers_.back()->start();
            progress(
                QStringLiteral("sup-appserver %1 on %2").arg(i + 1).arg(servers_.back()->origin()));
        }
        std::map<qint64, QString> keys;
        for (std::size_t g = 0; g < db_->groups().size(); ++g) {
            loaded_.push_back(loadKeys(servers_[g % 2]->origin(), db_->groups()[g], keys));
            progress(QStringLiteral("group %1 loads %2 items").arg(g + 1).arg(loaded_.back()));
        }
        db_->learnKeys(keys);

        std::vector<Round> rounds;
        for (int n : s_.users)
            rounds.push_back(round(n, false));
        if (s_.kill)
            rounds.push_back(round(8, true));
        for (auto& server : servers_)
            server->stop();
        return print(rounds);
    }

private:
    Round round(int n, bool kill) {
        progress(QStringLiteral("round: %1 users%2, %3 s")
                     .arg(n)
                     .arg(kill ? QStringLiteral(", one app server killed halfway") : QString())
                     .arg(s_.seconds));
        Round r;
        r.users = n;
        r.kill = kill;
        const std::map<qint64, ItemState> before = db_->snapshot();
        const Marks from = marks(db_->conn());
        std::vector<User> users(static_cast<std::size_t>(n));
        std::vector<Record> records(static_cast<std::size_t>(n));
        const int groups = int(db_->groups().size());
        for (int u = 0; u < n; ++u) {
            User& user = users[std::size_t(u)];
            user.index = u;
            user.group = &db_->groups()[std::size_t(u % groups)];
            user.slot = u / groups;
            user.loaded = loaded_[std::size_t(u % groups)];
            // Users of one group on both servers.
            user.server = (u / groups + u) % 2;
            user.origin = servers_[std::size_t(user.server)]->origin();
        }
        const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + qint64(s_.seconds) * 1000;
        std::vector<QThread*> threads;
        QElapsedTimer wall;
        wall.start();
        for (int u = 0; u < n; ++u) {
            threads.push_back(QThread::create([&, u] {
                records[std::size_t(u)] = runUser(users[std::size_t(u)], deadline, s_.loops);
            }));
            threads.back()->start();
        }
        if (kill) {
            // Halfway, as soon as a write is under way to the first server, a moment into it.
            QThread::msleep(std::uint32_t(s_.seconds) * 500);
            for (int i = 0; i < 5000 && writesUnderWay(0) == 0; ++i)
                QThread::msleep(1);
            const int underWay = writesUnderWay(0);
            QThread::msleep(20);
            const double at = double(wall.elapsed()) / 1000;
            QElapsedTimer down;
            down.start();
            servers_[0]->kill();
            progress(QStringLiteral("killed sup-appserver on port %1").arg(servers_[0]->port()));
            QThread::msleep(1000);
            servers_[0]->start();
            r.killNote = QStringLiteral("app server on port %1 killed (SIGKILL) at %2 s with %3"
                                        " write calls under way to it, answering again after %4 s")
                             .arg(servers_[0]->port())
                             .arg(at, 0, 'f', 1)
                             .arg(underWay)
                             .arg(double(down.elapsed()) / 1000, 0, 'f', 1);
            progress(r.killNote);
        }
        for (QThread* t : threads) {
            t->wait();
            delete t;
        }
        r.seconds = double(wall.nsecsElapsed()) / 1e9;
        for (const Record& rec : records)
            r.told.merge(rec);
        r.check = reconcile(db_->conn(), before, from, r.told, *db_);
        progress(QStringLiteral("%1 loops in %2 s; reconciliation: %3 mismatches")
                     .arg(r.told.loops)
                     .arg(r.seconds, 0, 'f', 1)
                     .arg(r.check.mismatches));
        for (const QString& line : r.check.lines)
            progress(QStringLiteral("  MISMATCH ") + line);
        return r;
    }

    int print(const std::vector<Round>& rounds) {
        std::printf("\nThree-tier load: 2 sup-appserver (--threads %d) over one PostgreSQL schema,"
                    " users over HTTP\n",
                    s_.serverThreads);
        std::printf("Machine: %s\n", machine().toUtf8().constData());
        std::printf("Each user loop: sign-on, GetItem (~%lld items), save %d, block %d, alter %d;"
                    " %d s per round\n\n",
                    static_cast<long long>(loaded_.empty() ? 0 : loaded_[0]), kSaved, kBlocked,
                    kAltered, s_.seconds);
        std::printf(
            "conflicts: refused by the server's optimistic checks (users meeting on an item);"
            " lost: a network failure,\nthe outcome of a write then unknown to its user;"
            " latencies of every call, whatever its outcome\n\n");
        int failed = 0;
        for (const Round& r : rounds) {
            int calls = 0;
            for (const Record::Count& c : r.told.counts)
                calls += c.calls;
            std::printf("N = %d%s: %d loops in %.1f s, %.1f calls/s, %.2f loops/s\n", r.users,
                        r.kill ? " (app server killed and restarted)" : "", r.told.loops, r.seconds,
                        double(calls) / r.seconds, double(r.told.loops) / r.seconds);
            std::printf("  %-27s %7s %7s %9s %7s %7s %9s %9s\n", "operation", "calls", "ok",
                        "conflicts", "errors", "lost", "p50 ms", "p99 ms");
            for (int k = 0; k < kKinds; ++k) {
                const Record::Count& c = r.told.counts[std::size_t(k)];
                const std::vector<double>& ms = r.told.ms[std::size_t(k)];
                std::printf("  %-27s %7d %7d %9d %7d %7d %9.1f %9.1f\n", kindName(Kind(k)), c.calls,
                            c.ok, c.conflicts, c.errors, c.lost, percentile(ms, 0.5),
                            percentile(ms, 0.99));
            }
            for (const QString& e : r.told.errorSamples)
                std::printf("  ! %s\n", e.toUtf8().constData());
            if (!r.killNote.isEmpty())
                std::printf("  %s\n", r.killNote.toUtf8().constData());
            std::printf(
                "  reconciliation: %d items, %d audit rows: %s\n", r.check.checkedItems,
                r.check.auditRows,
                r.check.mismatches
                    ? QStringLiteral("%1 MISMATCHES").arg(r.check.mismatches).toUtf8().constData()
                    : "every told write there once, nothing else");
            for (const QString& line : r.check.lines)
                std::printf("    %s\n", line.toUtf8().constData());
            for (int k = 0; k < kKinds; ++k)
                if (r.told.writesUnknown[std::size_t(k)])
                    std::printf("  %s: %d calls failed with a network message; of them %d applied"
                                " (once), %d not at all\n",
                                kindName(Kind(k)), r.told.writesUnknown[std::size_t(k)],
                                r.check.lostApplied[std::size_t(k)],
                                r.check.lostNotApplied[std::size_t(k)]);
            for (const QString& m : r.check.lostAppliedMessages)
                std::printf("  an alteration applied while its user was told: %s\n",
                            m.toUtf8().constData());
            std::printf("\n");
            failed += r.check.mismatches;
        }
        std::fflush(stdout);
        return failed ? 1 : 0;
    }

    const Settings& s_;
    std::unique_ptr<Database> db_;
    std::vector<std::unique_ptr<AppServer>> servers_;
    std::vector<qsizetype> loaded_;
};

bool parse(Settings& s, const QStringList& args, bool& skip) {
    for (const QString& a : args.mid(1)) {
        const QString value = a.section(u'=', 1);
        if (a.startsWith(u"--users=")) {
            s.users.clear();
            for (const QString& n : value.split(u',', Qt::SkipEmptyParts))
                s.users.push_back(n.toInt());
        } else if (a.startsWith(u"--seconds=")) {
            s.seconds = value.toInt();
        } else if (a.startsWith(u"--loops=")) {
            s.loops = value.toInt();
        } else if (a.startsWith(u"--items=")) {
            s.items = value.toLongLong();
        } else if (a.startsWith(u"--groups=")) {
            s.groups = value.toInt();
        } else if (a.startsWith(u"--per-user=")) {
            s.perGroup = value.toLongLong();
        } else if (a.startsWith(u"--server-threads=")) {
            s.serverThreads = value.toInt();
        } else if (a == u"--no-kill") {
            s.kill = false;
        } else if (a.startsWith(u"--appserver=")) {
            s.appServer = value;
        } else if (a.startsWith(u"--benchmark_filter=")) {
            skip = !QRegularExpression(value).match(QStringLiteral("load")).hasMatch();
        } else if (a.startsWith(u"--benchmark_")) {
            // Google Benchmark's flags, passed to every benchmark by scripts/bench.
        } else {
            std::cerr << "usage: bench_load [--users=1,8,32,64] [--seconds=30] [--loops=200]"
                         " [--items=40000] [--groups=4] [--per-user=2000] [--server-threads=4]"
                         " [--no-kill] [--appserver=PATH]\n";
            return false;
        }
    }
    for (int n : s.users)
        if (n <= 0)
            return false;
    return s.seconds > 0 && s.groups > 0 && s.perGroup > 0 && s.items > 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Settings s;
    s.appServer = QStringLiteral(SUP_APPSERVER_PATH);
    bool skip = false;
    if (!parse(s, app.arguments(), skip))
        return 2;
    if (skip)
        return 0;
    try {
        return LoadTest(s).run();
    } catch (const std::exception& e) {
        std::cerr << "bench_load: " << e.what() << std::endl;
        return 1;
    }
}
