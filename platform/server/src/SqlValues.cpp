#include "SqlValues.h"

#include "PgRead.h"
#include "sup/data/DayNumber.h"

#include <QDate>
#include <QDateTime>
#include <QSqlQuery>

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace sup::server {

namespace {

constexpr qint64 kMsPerDay = 86400000;
// Day 0 of the packets (1899-12-30) counted from 1970-01-01.
constexpr qint64 kEpochShift = -25569;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
constexpr qint64 daysFromCivil(qint64 y, unsigned m, unsigned d) {
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

void civilFromDays(qint64 z, qint64& y, unsigned& m, unsigned& d) {
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = qint64(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

inline int digits(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned c = unsigned(p[i]) - '0';
        if (c > 9)
            return -1;
        v = v * 10 + int(c);
    }
    return v;
}

qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

} // namespace

QByteArray msToSqlText(qint64 ms) {
    const qint64 days = floorDiv(ms, kMsPerDay);
    qint64 rest = ms - days * kMsPerDay;
    qint64 y;
    unsigned m, d;
    civilFromDays(days + kEpochShift, y, m, d);
    const int secs = int(rest / 1000) % 86400;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m,
                  d, secs / 3600, (secs / 60) % 60, secs % 60);
    return QByteArray(buf);
}

std::optional<qint64> sqlTextToMs(const char* p, qsizetype n) {
    // YYYY-MM-DD, optionally followed by " HH:MM[:SS]" or "THH:MM[:SS]"
    if (n < 10 || p[4] != '-' || p[7] != '-')
        return std::nullopt;
    const int y = digits(p, 4), mo = digits(p + 5, 2), d = digits(p + 8, 2);
    if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31)
        return std::nullopt;
    qint64 ms = (daysFromCivil(y, unsigned(mo), unsigned(d)) - kEpochShift) * kMsPerDay;
    if (n >= 16 && (p[10] == ' ' || p[10] == 'T') && p[13] == ':') {
        const int h = digits(p + 11, 2), mi = digits(p + 14, 2);
        int s = 0;
        if (n >= 19 && p[16] == ':')
            s = digits(p + 17, 2);
        if (h < 0 || mi < 0 || s < 0)
            return std::nullopt;
        ms += (qint64(h) * 3600 + mi * 60 + s) * 1000;
    }
    return ms;
}

QVariant dateArgToSql(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QDate: {
        const QDate d = value.toDate();
        return d.isValid() ? QVariant(d.toString(QStringLiteral("yyyy-MM-dd 00:00:00")))
                           : QVariant();
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return {};
        return QString::fromLatin1(msToSqlText(data::toStoredMs(dt)));
    }
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const double day = value.toDouble();
        if (day == 0.0 || !std::isfinite(day))
            return {};
        return QString::fromLatin1(msToSqlText(qint64(std::llround(day * double(kMsPerDay)))));
    }
    default:
        return {};
    }
}

QString dateOut(sql::Dialect dialect, const QString& expr) {
    if (dialect == sql::Dialect::SQLite)
        return expr;
    return QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:MI:SS')").arg(expr);
}

int bindSqlite(sqlite3_stmt* stmt, int pos, const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return sqlite3_bind_null(stmt, pos);
    switch (v.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int(stmt, pos, v.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(stmt, pos, v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(stmt, pos, v.toDouble());
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QByteArray t = dateArgToSql(v).toString().toUtf8();
        return sqlite3_bind_text(stmt, pos, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        return sqlite3_bind_text(stmt, pos, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        return sqlite3_bind_text(stmt, pos, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    }
    }
}

SqliteStatement::SqliteStatement(const sql::Connection& conn, const QString& sql)
    : conn_(conn) {
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(conn.sqliteHandle(), text.constData(), int(text.size()),
                                      &stmt_, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

void SqliteStatement::fail(int rc) const {
    const QString text = QString::fromUtf8(sqlite3_errmsg(conn_.sqliteHandle()));
    const int primary = rc & 0xff;
    const int extended = sqlite3_extended_errcode(conn_.sqliteHandle());
    if (primary == SQLITE_CONSTRAINT)
        throw sql::SqlError(QStringLiteral("Erro no banco de dados: %1").arg(text), text,
                            extended == SQLITE_CONSTRAINT_UNIQUE ||
                                    extended == SQLITE_CONSTRAINT_PRIMARYKEY
                                ? sql::SqlError::DuplicateKey
                                : sql::SqlError::Constraint);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw sql::SqlError(
            QStringLiteral("O banco de dados está ocupado por outra operação; tente novamente."),
            text, sql::SqlError::Busy);
    throw sql::SqlError(QStringLiteral("Erro no banco de dados: %1").arg(text), text);
}

void SqliteStatement::bindAll(const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i) {
        const int rc = bindSqlite(stmt_, i + 1, values[i]);
        if (rc != SQLITE_OK)
            fail(rc);
    }
}

int SqliteStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(sqlite3_extended_errcode(conn_.sqliteHandle()));
    return rc;
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

namespace {

void appendSqliteCell(data::Column& col, data::FieldType type, sqlite3_stmt* st, int i) {
    if (type == data::FieldType::Text) { // the most common cell: one call less
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        if (p)
            col.appendUtf8(QByteArrayView(p, sqlite3_column_bytes(st, i)));
        else
            col.appendNull();
        return;
    }
    const int t = sqlite3_column_type(st, i);
    if (t == SQLITE_NULL) {
        col.appendNull();
        return;
    }
    switch (type) {
    case data::FieldType::Text:
        break; // handled above
    case data::FieldType::Double:
        col.appendReal(sqlite3_column_double(st, i));
        break;
    case data::FieldType::Integer:
        col.appendInteger(sqlite3_column_int64(st, i));
        break;
    case data::FieldType::Boolean: {
        if (t == SQLITE_TEXT) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            col.appendBoolean(p && (*p == 'S' || *p == 's' || *p == 'T' || *p == 't' || *p == '1'));
        } else {
            col.appendBoolean(sqlite3_column_int64(st, i) != 0);
        }
        break;
    }
    case data::FieldType::DateTime: {
        if (t == SQLITE_TEXT) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            const auto ms = sqlTextToMs(p, sqlite3_column_bytes(st, i));
            if (ms)
                col.appendDateTimeMs(*ms);
            else
                col.appendNull();
        } else {
            // A day number stored as a number.
            col.appendDateTimeMs(
                qint64(std::llround(sqlite3_column_double(st, i) * double(kMsPerDay))));
        }
        break;
    }
    }
}

void appendVariantCell(data::Column& col, data::FieldType type, const QVariant& v) {
    if (v.isNull()) {
        col.appendNull();
        return;
    }
    switch (type) {
    case data::FieldType::Text:
        col.appendText(v.toString());
        break;
    case data::FieldType::Double:
        col.appendReal(v.toDouble());
        break;
    case data::FieldType::Integer:
        col.appendInteger(v.toLongLong());
        break;
    case data::FieldType::Boolean:
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString();
            col.appendBoolean(s.startsWith(u'S', Qt::CaseInsensitive) ||
                              s.startsWith(u'T', Qt::CaseInsensitive) || s == u"1");
        } else {
            col.appendBoolean(v.toBool());
        }
        break;
    case data::FieldType::DateTime: {
        // The driver gives timestamps as QDateTime (naive, as stored), text columns as text.
        const QByteArray t =
            v.metaType().id() == QMetaType::QDateTime
                ? v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1()
                : v.toString().toLatin1();
        const auto ms = sqlTextToMs(t.constData(), t.size());
        if (ms)
            col.appendDateTimeMs(*ms);
        else
            col.appendNull();
        break;
    }
    }
}

} // namespace

data::DataPacket selectPacket(const sql::Connection& conn, const data::FieldDefs& fields,
                              const QString& sql, const QVariantList& binds) {
    std::vector<data::Column> cols;
    cols.reserve(std::size_t(fields.size()));
    for (const auto& f : fields)
        cols.emplace_back(f);
    const int n = int(fields.size());
    if (conn.dialect() == sql::Dialect::SQLite) {
        SqliteStatement st(conn, sql);
        st.bindAll(binds);
        if (sqlite3_column_count(st.get()) < n)
            throw sql::SqlError(QStringLiteral("Consulta com menos colunas que o pacote."));
        while (st.step() == SQLITE_ROW)
            for (int i = 0; i < n; ++i)
                appendSqliteCell(cols[std::size_t(i)], fields[i].type, st.get(), i);
    } else if (!selectPostgres(conn, fields, sql, binds, cols)) {
        QSqlQuery q = conn.exec(sql, binds);
        while (q.next())
            for (int i = 0; i < n; ++i)
                appendVariantCell(cols[std::size_t(i)], fields[i].type, q.value(i));
    }
    return data::DataPacket(fields, std::move(cols));
}

QVariant cellToSql(const data::Column& column, qsizetype row) {
    if (column.isNull(row))
        return {};
    switch (column.type()) {
    case data::FieldType::Text:
        return column.text(row);
    case data::FieldType::Double:
        return column.real(row);
    case data::FieldType::Integer:
        return column.integer(row);
    case data::FieldType::Boolean:
        return column.boolean(row) ? QStringLiteral("S") : QStringLiteral("N");
    case data::FieldType::DateTime:
        return QString::fromLatin1(msToSqlText(column.dateTimeMs(row)));
    }
    return {};
}

} // namespace sup::server
