#pragma once

// Database access for the server and the host's local queries.
//
//   auto conn = sup::sql::Connection::open("sqlite:/path/demo.db");   // or "sqlite::memory:",
//                                       // "postgresql://user@host:5432/db?schema=name"
//   QSqlQuery q = conn->query();        // an ordinary QtSql query on this connection
//   sup::sql::Transaction tx(*conn, sup::sql::Transaction::Write);
//   conn->exec("UPDATE ...", {a, b});   // throws SqlError on failure
//   tx.commit();                        // leaving the scope without commit rolls back
//
// Every connection offers the functions the routine's local queries use:
//   NVLSTR(a, b)        b when a is null, else a (also as NVL, which some default texts use)
//   INSTR(text, part)   1-based position of `part` in `text`, 0 when absent (letter case counts)
//   PARAM(text)         table function: one row, one column PARAM holding the text
//                       (SELECT ... FROM FILIAL, PARAM(:P) P1 WHERE CDFILIAL = P1.PARAM)
// On SQLite they are registered on each connection; on PostgreSQL installSqlFunctions (run by the
// schema install) creates them in the connection's schema. Code columns are declared with
// codeType(), which compares without regard to letter case on both databases.
//
// A Connection belongs to the thread that opened it (a QtSql rule); open one per thread.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <stdexcept>

struct sqlite3;

namespace sup::sql {

class WalCheckpointer;

enum class Dialect { SQLite, PostgreSQL };

// A database failure. message() is Portuguese, for the user; driverText() is the driver's own
// text, for the log. isConstraint() tells any violated constraint (unique, foreign key, check,
// not null, or a trigger's refusal), isDuplicateKey() only a unique or primary key already
// taken; isBusy() a lock that did not clear within the busy timeout (SQLite) or a serialization
// failure/deadlock (PostgreSQL).
class SqlError : public std::runtime_error {
public:
    enum Kind { Other, Constraint, DuplicateKey, Busy, Connection };
    SqlError(const QString& message, const QString& driverText = {}, Kind kind = Other);
    const QString& message() const { return message_; }
    const QString& driverText() const { return driverText_; }
    Kind kind() const { return kind_; }
    bool isConstraint() const { return kind_ == Constraint || kind_ == DuplicateKey; }
    bool isDuplicateKey() const { return kind_ == DuplicateKey; }
    bool isBusy() const { return kind_ == Busy; }

private:
    QString message_;
    QString driverText_;
    Kind kind_;
};

// A parsed database URL.
//   sqlite:PATH                 a file (created when missing)
//   sqlite::memory:             a private in-memory database (one per connection)
//   postgresql://[user[:password]@]host[:port]/database[?schema=NAME]
//                               (also postgres://); the schema, when given, is put first on the
//                               search path, so several test runs can share one database
struct DatabaseUrl {
    Dialect dialect = Dialect::SQLite;
    QString path; // SQLite: file path or ":memory:"
    QString host;
    int port = 5432;
    QString user;
    QString password;
    QString database;
    QString schema;

    static DatabaseUrl parse(const QString& url); // throws SqlError for a malformed URL
    bool isMemory() const { return dialect == Dialect::SQLite && path == u":memory:"; }
    QString toString(bool withPassword = false) const;
};

class Connection {
public:
    // Opens a new connection; throws SqlError when the database cannot be opened. SQLite: WAL
    // journal (files) checkpointed off the writer's thread, foreign keys on, a busy timeout of
    // `busyTimeoutMs`, the SQL functions, a 64 MiB page cache and temporary tables in memory.
    static std::unique_ptr<Connection> open(const QString& url, int busyTimeoutMs = 10000);
    static std::unique_ptr<Connection> open(const DatabaseUrl& url, int busyTimeoutMs = 10000);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QSqlDatabase database() const { return db_; }
    Dialect dialect() const { return url_.dialect; }
    const DatabaseUrl& url() const { return url_; }
    QString connectionName() const { return name_; }
    // The sqlite3 handle of the Qt driver (nullptr on PostgreSQL), for the C API.
    sqlite3* sqliteHandle() const { return sqlite_; }

    // A query on this connection (forward only, which is all the server needs).
    QSqlQuery query() const;
    // Prepares and runs `sql` with positional (?) or named (:NAME) values bound in order;
    // throws SqlError. Returns the active query (for SELECTs: before the first row).
    QSqlQuery exec(const QString& sql, const QVariantList& binds = {}) const;
    // Runs several statements separated by ";" with no values (DDL). Throws SqlError.
    void execScript(const QString& script) const;
    // First column of the first row, or an invalid QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& binds = {}) const;

    // Nesting depth of Transaction objects on this connection (0 = none open).
    int transactionDepth() const { return depth_; }
    // SQLite files: checkpoints of this connection's writes that copied the whole log back into
    // the database file (they run on a thread of their own, after the commit).
    quint64 checkpointsCompleted() const;

private:
    friend class Transaction;
    Connection() = default;
    QSqlDatabase db_;
    QString name_;
    DatabaseUrl url_;
    sqlite3* sqlite_ = nullptr;
    std::unique_ptr<WalCheckpointer> checkpointer_;
    int depth_ = 0;
    quint64 savepoints_ = 0;
};

// A transaction on a connection that rolls back when it goes out of scope uncommitted.
// Write transactions on SQLite start with BEGIN IMMEDIATE, taking the write lock at once so that
// two writers queue on the busy timeout instead of one failing at its first write. A Transaction
// opened while another is open on the same connection becomes a savepoint.
class Transaction {
public:
    enum Mode { Read, Write };
    explicit Transaction(Connection& conn, Mode mode = Write); // throws SqlError
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit(); // throws SqlError; the transaction is then closed either way
    void rollback();
    bool active() const { return active_; }

private:
    Connection& conn_;
    QString savepoint_;
    bool active_ = false;
};

// Creates the SQL functions NVLSTR, NVL, INSTR and PARAM (in the connection's schema) and the
// case-insensitive collation of codes (in public) on a PostgreSQL database; idempotent. Nothing to
// do on SQLite, where every connection registers them. Throws SqlError.
void installSqlFunctions(const Connection& conn);

// Column type for codes (branches, products, brands, operators...): letter case is ignored in
// comparisons, ordering and keys. SQLite: TEXT COLLATE NOCASE; PostgreSQL: text in the ICU
// collation public.sup_code, which ignores case but not accents. LIKE and substring searches
// are refused on such values on PostgreSQL: compare a prefix with substr() instead.
QString codeType(Dialect dialect);

// The dialect of a QSqlDatabase opened by Connection (by its driver name).
Dialect dialectOf(const QSqlDatabase& db);

// Registers NVLSTR, INSTR and PARAM on a raw sqlite3 handle (Connection::open does this).
// Returns false when SQLite refused one of them.
bool registerSqliteFunctions(sqlite3* db);

} // namespace sup::sql
