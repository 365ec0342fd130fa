#pragma once

// The load test's pieces: the PostgreSQL schema and the item groups the users work on, the
// sup-appserver processes, the simulated users and what each was told, and the reconciliation
// of that against the database.

#include "sup/sql/Database.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <array>
#include <map>
#include <memory>
#include <vector>

namespace loadbench {

// What a user does in a loop, in that order.
enum class Kind { SignOn, Load, Save, Block, Alter };
constexpr int kKinds = 5;
const char* kindName(Kind k);

struct Settings {
    std::vector<int> users{1, 8, 32, 64}; // simulated users of each round
    int seconds = 30;                     // each round's length (loops started before its end)
    int loops = 200;                      // at most this many loops per user (0: no limit)
    qsizetype items = 40000;              // order items seeded
    int groups = 4;                       // item groups (filters); users share them in turn
    qsizetype perGroup = 2000;            // items each group's filter loads (about)
    int serverThreads = 4;                // --threads of each sup-appserver
    bool kill = true;                     // the round with an app server killed and restarted
    QString appServer;                    // the sup-appserver executable
};

// Items a user changes in a loop; now and then one of them comes from the part of its group
// every user of the group shares, so that concurrent users meet on it.
constexpr int kSaved = 20, kBlocked = 10, kAltered = 10;

// The items of one filter (its destination branches) and the items each user slot of the group
// works on. Every list holds item ids (CDRASTRITM); the lists are disjoint.
struct Group {
    QStringList branches;
    qsizetype rows = 0; // open items of the branches
    struct Pool {
        std::vector<qint64> shared;               // met by every user of the group
        std::vector<std::vector<qint64>> perSlot; // one list per user of the group
    };
    Pool save, block, alter;
};

// What the reconciliation knows of an item before a round.
struct ItemState {
    QString auditKey; // the key the server's audit log names the item by (upper case)
    double qty = 0;
    QString blocked; // "S" or "N"
};

// The PostgreSQL schema of the run: seeded, its groups chosen and their items split.
class Database {
public:
    // nullptr when SUP_TEST_PG names no database. Throws on failure.
    static std::unique_ptr<Database> create(const Settings& s);
    ~Database();

    const QString& url() const { return url_; }
    sup::sql::Connection& conn() { return *conn_; }
    const std::vector<Group>& groups() const { return groups_; }
    // Every item of the pools.
    std::vector<qint64> poolItems() const;

    // Called once the app servers answer: the audit key of every pool item from its group's
    // items as a user loads them.
    void learnKeys(const std::map<qint64, QString>& keys) { keys_ = keys; }
    std::map<qint64, ItemState> snapshot();

private:
    QString url_, schema_, base_;
    std::shared_ptr<sup::sql::Connection> conn_;
    std::vector<Group> groups_;
    std::map<qint64, QString> keys_;
};

// One sup-appserver child process on a loopback port.
class AppServer {
public:
    AppServer(const Settings& s, QString dbUrl, quint16 port);
    ~AppServer();
    void start(); // throws unless it answers within 20 s
    void kill();  // SIGKILL, no chance to finish anything
    void stop();
    QString origin() const;
    quint16 port() const { return port_; }

private:
    const Settings& settings_;
    QString dbUrl_;
    quint16 port_;
    std::unique_ptr<QProcess> process_;
};

quint16 freePort();

// What one user was told, call by call, and how long each call took.
struct Record {
    struct Count {
        int calls = 0, ok = 0, conflicts = 0, errors = 0, lost = 0;
    };
    std::array<Count, kKinds> counts;
    std::array<std::vector<double>, kKinds> ms; // latency of every answered or failed call
    int loops = 0;
    QStringList errorSamples; // first few error messages

    // Per item: successful calls; calls whose outcome the user could not know (the answer was
    // lost with the connection).
    std::map<qint64, int> saved, savedUnknown, toggled, toggledUnknown;
    // The quantity each successful (or unknown) automatic alteration set.
    std::map<qint64, std::vector<double>> altered, alteredUnknown;
    // The alterations whose answer was lost: their quantity and the message the user got.
    std::vector<std::pair<double, QString>> lostAlterations;
    // Write calls that succeeded, and those whose outcome is unknown, per kind.
    std::array<int, kKinds> writesOk{}, writesUnknown{};

    void merge(const Record& o);
};

struct User {
    int index = 0;
    QString origin;       // its app server
    const Group* group;   // its filter
    int slot = 0;         // its lists in the group's pools
    qsizetype loaded = 0; // items its filter loads
    int server = 0;       // which of the app servers
};

// Runs the day's mix in a loop until `deadline` (ms since the epoch) or `loops`; in the calling
// thread, with connection objects of its own.
Record runUser(const User& user, qint64 deadline, int loops);

// Write calls under way to app server `server` (0 or 1) at this moment.
int writesUnderWay(int server);

// The first GetItem of a group as a user sends it, from the main thread: the audit keys of its
// items and how many it loads. Throws on a fault.
qsizetype loadKeys(const QString& origin, const Group& g, std::map<qint64, QString>& keys);

// Checks the database against what the users were told; prints the findings, returns the number
// of mismatches.
struct Reconciliation {
    int mismatches = 0;
    int checkedItems = 0;
    int auditRows = 0;
    QStringList lines; // the first mismatches
    // Write calls whose answer was lost, per kind: applied (once) or not at all.
    std::array<int, kKinds> lostApplied{}, lostNotApplied{};
    // What the users were told of the lost alterations that were applied.
    QStringList lostAppliedMessages;
};
struct Marks {
    qint64 audit = 0;
    std::map<QString, qint64> calls; // CHAMADAAPLICADA rows per method
};
Marks marks(sup::sql::Connection& conn);
Reconciliation reconcile(sup::sql::Connection& conn, const std::map<qint64, ItemState>& before,
                         const Marks& from, const Record& told, const Database& db);

} // namespace loadbench
