#pragma once

// Values between data packets and SQL: dates as text, binding on the sqlite3 C API, and packets
// built from SELECTs by appending into typed columns.

#include "sup/data/DataPacket.h"
#include "sup/sql/Database.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

struct sqlite3_stmt;

namespace sup::server {

// Stored date-times are naive "YYYY-MM-DD HH:MM:SS" texts (SQLite) or timestamps read through
// dateOut (PostgreSQL). The packet form is milliseconds since 1899-12-30 00:00.
QByteArray msToSqlText(qint64 ms);
std::optional<qint64> sqlTextToMs(const char* text, qsizetype size); // nullopt: not a date
// A date argument (QDate, QDateTime, or a day number as double; 0 or null: empty) as SQL text;
// an invalid QVariant when empty.
QVariant dateArgToSql(const QVariant& value);
// SQL expression reading a date column as text in the stored form.
QString dateOut(sql::Dialect dialect, const QString& expr);

// Binds a QVariant (null, QString, bool, integers, double, QDate/QDateTime as text) at a 1-based
// position; returns the sqlite3 result code.
int bindSqlite(sqlite3_stmt* stmt, int pos, const QVariant& value);

// RAII over a prepared sqlite3 statement; throws sql::SqlError on prepare failure.
class SqliteStatement {
public:
    SqliteStatement(const sql::Connection& conn, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }
    void bindAll(const QVariantList& values);
    // SQLITE_ROW, SQLITE_DONE; throws sql::SqlError on an error.
    int step();
    void reset();
    [[noreturn]] void fail(int rc) const;

private:
    const sql::Connection& conn_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Runs a SELECT whose columns, in order, fill `fields`. Texts, numbers and dates are converted
// to the field types (dates must be selected through dateOut). On SQLite the rows are read with
// the C API straight into the columns.
data::DataPacket selectPacket(const sql::Connection& conn, const data::FieldDefs& fields,
                              const QString& sql, const QVariantList& binds = {});

// Reads a value of a packet column as a bindable SQL value (dates as text).
QVariant cellToSql(const data::Column& column, qsizetype row);

} // namespace sup::server
