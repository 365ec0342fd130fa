#pragma once

// Rows sent to the database as one JSON parameter, read back as a table by one statement
// (SQLite: json_each; PostgreSQL: json_to_recordset), so that a statement covers every row
// whatever their number.

#include "sup/sql/Database.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace sup::server {

class JsonRows {
public:
    void begin(qsizetype r) {
        out_ += rows_++ ? ",{" : "{";
        out_ += "\"r\":" + QByteArray::number(r);
    }
    void end() { out_ += '}'; }
    void text(const char* name, const QString& s) {
        key(name);
        if (s.isNull()) {
            out_ += "null";
            return;
        }
        out_ += '"';
        for (const char c : s.toUtf8()) {
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(static_cast<unsigned char>(c)));
                out_ += buf;
            } else {
                out_ += c;
            }
        }
        out_ += '"';
    }
    void number(const char* name, double v) {
        key(name);
        out_ += std::isfinite(v) ? QByteArray::number(v, 'g', 17) : QByteArray("null");
    }
    qsizetype rows() const { return rows_; }
    QString value() const { return QString::fromUtf8("[" + out_ + "]"); }

private:
    void key(const char* name) {
        out_ += ",\"";
        out_ += name;
        out_ += "\":";
    }
    QByteArray out_;
    qsizetype rows_ = 0;
};

// pgType "code" stands for the type of the code columns (sql::codeType), so that the rows
// compare with them in their collation.
struct JsonColumn {
    const char* name;
    const char* pgType;
};

// The JSON rows as a table `alias`(r, columns...), read from one "?" parameter.
inline QString rowsTable(sql::Dialect d, std::initializer_list<JsonColumn> columns,
                         const char* alias = "d") {
    QStringList out;
    const QString a = QString::fromLatin1(alias);
    if (d == sql::Dialect::PostgreSQL) {
        out << QStringLiteral("r bigint");
        for (const JsonColumn& c : columns)
            out << QString::fromLatin1(c.name) + u' ' +
                       (qstrcmp(c.pgType, "code") == 0 ? sql::codeType(d)
                                                       : QString::fromLatin1(c.pgType));
        return QStringLiteral("json_to_recordset(CAST(? AS json)) AS %1(%2)")
            .arg(a, out.join(QStringLiteral(", ")));
    }
    out << QStringLiteral("json_extract(value, '$.r') AS r");
    for (const JsonColumn& c : columns)
        out << QStringLiteral("json_extract(value, '$.%1') AS %1").arg(QString::fromLatin1(c.name));
    return QStringLiteral("(SELECT %1 FROM json_each(?)) AS %2")
        .arg(out.join(QStringLiteral(", ")), a);
}

// "<column> IN (the ids)" with one "?" placeholder, and its value.
inline QString idsIn(sql::Dialect d, const QString& column) {
    return d == sql::Dialect::PostgreSQL
               ? column + QStringLiteral(" = ANY(CAST(? AS bigint[]))")
               : column + QStringLiteral(" IN (SELECT value FROM json_each(?))");
}

inline QVariant idsValue(sql::Dialect d, const QList<qint64>& ids) {
    QByteArray out = d == sql::Dialect::PostgreSQL ? "{" : "[";
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (i)
            out += ',';
        out += QByteArray::number(ids[i]);
    }
    out += d == sql::Dialect::PostgreSQL ? '}' : ']';
    return QString::fromLatin1(out);
}

// A bound date-time text as the column's type.
inline QString timestampParam(sql::Dialect d) {
    return d == sql::Dialect::PostgreSQL ? QStringLiteral("CAST(? AS timestamp(0))")
                                         : QStringLiteral("?");
}

// A date-time as the tables keep it in text ("yyyy-MM-dd HH:mm:ss"); now when none is given.
inline QString timestampText(const QDateTime& t = QDateTime::currentDateTime()) {
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// One audited change: a field of a row of a table, from one value to another.
struct AuditEntry {
    QString table, key, field, oldValue, newValue;
};

// Writes the audit rows of one call: its time, operator, method, delta id (or null) and reason
// (null when empty). PostgreSQL: one statement for all of them; SQLite, in process: one prepared
// statement stepped per row, which costs less than reading the rows back out of JSON.
void writeAudit(const sql::Connection& conn, const QString& method, const QString& op,
                const QVariant& deltaId, const QString& reason, const QString& now,
                const QList<AuditEntry>& entries);

} // namespace sup::server
