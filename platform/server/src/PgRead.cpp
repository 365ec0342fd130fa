#include "PgRead.h"

#include "SqlValues.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QSqlDriver>

#include <libpq-fe.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

namespace sup::server {

namespace {

constexpr qint64 kMsPerDay = 86400000;
// PostgreSQL's day 0 (2000-01-01) in the packets' days (since 1899-12-30).
constexpr qint64 kPgEpochDays = 36526;

// Built-in type identifiers (pg_type.oid; fixed across versions). Types of extensions, as the
// case-insensitive text of earlier schemas, have identifiers from 16384 on, given at their
// creation.
enum : Oid {
    kBool = 16,
    kChar = 18,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kFloat4 = 700,
    kFloat8 = 701,
    kUnknown = 705,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kTimestamp = 1114,
    kNumeric = 1700,
    kFirstUserOid = 16384,
};

// How a column of the result goes into its packet column.
enum class Read {
    Bytes,        // the bytes as UTF-8 text
    BinBool,      // binary bool
    BinInt,       // binary int2/int4/int8 (size tells which)
    BinFloat4,    // binary float4
    BinFloat8,    // binary float8
    BinNumeric,   // binary numeric
    BinTimestamp, // binary timestamp (microseconds since 2000-01-01)
    BinDate,      // binary date (days since 2000-01-01)
    TextFlag,     // a text read as a flag: S, T or 1 (any case) is true
    TextDate,     // a date in the stored text form
    TextReal,     // text results: a number
    TextInteger,  // text results: an integer (or a number, rounded)
    None,         // not readable in binary into this field type
};

bool isTextual(Oid t) {
    switch (t) {
    case kText:
    case kVarchar:
    case kBpchar:
    case kName:
    case kChar:
    case kUnknown:
        return true;
    default:
        // The types an extension or the schema defines (case-insensitive text, enumerations,
        // domains over text) send their text as it is.
        return t >= kFirstUserOid;
    }
}

// A binary number of any width or kind; None for other types.
Read binaryNumber(Oid t) {
    switch (t) {
    case kInt2:
    case kInt4:
    case kInt8:
        return Read::BinInt;
    case kFloat4:
        return Read::BinFloat4;
    case kFloat8:
        return Read::BinFloat8;
    case kNumeric:
        return Read::BinNumeric;
    default:
        return Read::None;
    }
}

Read binaryRead(Oid t, data::FieldType field) {
    const bool textual = isTextual(t);
    switch (field) {
    case data::FieldType::Text:
        if (textual)
            return Read::Bytes;
        return t == kBool ? Read::BinBool : binaryNumber(t);
    case data::FieldType::Double:
    case data::FieldType::Integer:
        return binaryNumber(t);
    case data::FieldType::Boolean:
        if (textual)
            return Read::TextFlag;
        if (t == kBool)
            return Read::BinBool;
        if (t == kInt2 || t == kInt4 || t == kInt8)
            return Read::BinInt;
        return Read::None;
    case data::FieldType::DateTime:
        if (textual)
            return Read::TextDate;
        if (t == kTimestamp)
            return Read::BinTimestamp;
        if (t == kDate)
            return Read::BinDate;
        return Read::None;
    }
    return Read::None;
}

Read textRead(data::FieldType field) {
    switch (field) {
    case data::FieldType::Text:
        return Read::Bytes;
    case data::FieldType::Double:
        return Read::TextReal;
    case data::FieldType::Integer:
        return Read::TextInteger;
    case data::FieldType::Boolean:
        return Read::TextFlag;
    case data::FieldType::DateTime:
        return Read::TextDate;
    }
    return Read::Bytes;
}

inline quint16 be16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint16(u[0] << 8 | u[1]);
}

inline quint32 be32(const char* p) {
    return quint32(be16(p)) << 16 | be16(p + 2);
}

inline quint64 be64(const char* p) {
    return quint64(be32(p)) << 32 | be32(p + 4);
}

inline qint64 binaryInt(const char* p, int len) {
    switch (len) {
    case 2:
        return qint16(be16(p));
    case 4:
        return qint32(be32(p));
    default:
        return qint64(be64(p));
    }
}

inline double binaryFloat8(const char* p) {
    const quint64 bits = be64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// A float4 as the number its shortest decimal text names, which is what its text form gives.
double binaryFloat4(const char* p) {
    const quint32 bits = be32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f))
        return double(f);
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, f).ptr;
    double d = 0;
    std::from_chars(buf, end, d);
    return d;
}

// The first `count` of the four decimal digits of a base-10000 digit group.
void appendGroup(QByteArray& out, int group, int count) {
    const char d[4] = {char('0' + group / 1000 % 10), char('0' + group / 100 % 10),
                       char('0' + group / 10 % 10), char('0' + group % 10)};
    out.append(d, count);
}

// The decimal text of a binary numeric: digit groups of base 10000, the first of weight
// `weight`, shown with `dscale` decimals.
QByteArray numericText(const char* p, int len) {
    if (len < 8)
        return QByteArrayLiteral("NaN");
    const int ndigits = qint16(be16(p));
    const int weight = qint16(be16(p + 2));
    const quint16 sign = be16(p + 4);
    const int dscale = qint16(be16(p + 6));
    if (sign == 0xC000)
        return QByteArrayLiteral("NaN");
    if (sign == 0xD000)
        return QByteArrayLiteral("Infinity");
    if (sign == 0xF000)
        return QByteArrayLiteral("-Infinity");
    auto digit = [&](int j) -> int {
        return j >= 0 && j < ndigits && 8 + 2 * j + 2 <= len ? int(be16(p + 8 + 2 * j)) : 0;
    };
    QByteArray out;
    out.reserve(8 + 4 * (qMax(weight, 0) + 1) + dscale);
    if (sign == 0x4000)
        out += '-';
    if (weight < 0) {
        out += '0';
    } else {
        out += QByteArray::number(digit(0));
        for (int j = 1; j <= weight; ++j)
            appendGroup(out, digit(j), 4);
    }
    if (dscale > 0) {
        out += '.';
        int left = dscale;
        for (int m = 1; left > 0; ++m) {
            appendGroup(out, digit(weight + m), qMin(4, left));
            left -= 4;
        }
    }
    return out;
}

double textReal(const char* p, int len) {
    double d = 0;
    const char* b = p;
    if (len > 0 && *b == '+')
        ++b;
    const auto r = std::from_chars(b, p + len, d);
    if (r.ec == std::errc() && r.ptr == p + len)
        return d;
    // NaN, Infinity, -Infinity and anything from_chars leaves aside.
    return QByteArray(p, len).toDouble();
}

QByteArray realText(double d) {
    return QString::number(d, 'g', QLocale::FloatingPointShortest).toUtf8();
}

void appendCell(data::Column& col, data::FieldType field, Read how, const char* p, int len) {
    switch (how) {
    case Read::Bytes:
        col.appendUtf8(QByteArrayView(p, len));
        return;
    case Read::BinBool:
        if (field == data::FieldType::Text)
            col.appendUtf8(*p ? QByteArrayView("true") : QByteArrayView("false"));
        else
            col.appendBoolean(*p != 0);
        return;
    case Read::BinInt: {
        const qint64 v = binaryInt(p, len);
        if (field == data::FieldType::Integer)
            col.appendInteger(v);
        else if (field == data::FieldType::Double)
            col.appendReal(double(v));
        else if (field == data::FieldType::Boolean)
            col.appendBoolean(v != 0);
        else
            col.appendUtf8(QByteArray::number(v));
        return;
    }
    case Read::BinFloat4:
    case Read::BinFloat8:
    case Read::BinNumeric: {
        QByteArray text;
        double d;
        if (how == Read::BinNumeric) {
            text = numericText(p, len);
            d = textReal(text.constData(), int(text.size()));
        } else {
            d = how == Read::BinFloat8 ? binaryFloat8(p) : binaryFloat4(p);
        }
        if (field == data::FieldType::Double)
            col.appendReal(d);
        else if (field == data::FieldType::Integer)
            col.appendInteger(std::isfinite(d) ? qint64(std::llround(d)) : 0);
        else
            col.appendUtf8(how == Read::BinNumeric ? text : realText(d));
        return;
    }
    case Read::BinTimestamp: {
        const qint64 us = qint64(be64(p));
        if (us == std::numeric_limits<qint64>::max() || us == std::numeric_limits<qint64>::min())
            col.appendNull(); // infinity
        else
            col.appendDateTimeMs((us >= 0 ? us / 1000 : -((-us + 999) / 1000)) +
                                 kPgEpochDays * kMsPerDay);
        return;
    }
    case Read::BinDate: {
        const qint32 days = qint32(be32(p));
        if (days == std::numeric_limits<qint32>::max() ||
            days == std::numeric_limits<qint32>::min())
            col.appendNull();
        else
            col.appendDateTimeMs((qint64(days) + kPgEpochDays) * kMsPerDay);
        return;
    }
    case Read::TextFlag:
        col.appendBoolean(len > 0 &&
                          (*p == 'S' || *p == 's' || *p == 'T' || *p == 't' || *p == '1'));
        return;
    case Read::TextDate:
        if (const auto ms = sqlTextToMs(p, len))
            col.appendDateTimeMs(*ms);
        else
            col.appendNull();
        return;
    case Read::TextReal:
        col.appendReal(textReal(p, len));
        return;
    case Read::TextInteger: {
        qint64 v = 0;
        const auto r = std::from_chars(p, p + len, v);
        if (r.ec != std::errc() || r.ptr != p + len) {
            const double d = textReal(p, len);
            v = std::isfinite(d) ? qint64(std::llround(d)) : 0;
        }
        col.appendInteger(v);
        return;
    }
    case Read::None:
        col.appendNull();
        return;
    }
}

// A value sent as text, as the QtSql driver would have written it.
QByteArray paramText(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QByteArray::number(v.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QByteArray::number(v.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isnan(d))
            return QByteArrayLiteral("NaN");
        if (std::isinf(d))
            return d > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
        return realText(d);
    }
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QDateTime:
        return v.toDateTime()
            .toLocalTime()
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
            .toLatin1();
    case QMetaType::QByteArray:
        return v.toByteArray();
    default:
        return v.toString().toUtf8();
    }
}

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

[[noreturn]] void fail(PGconn* pg, const PGresult* res) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const QByteArray code = state ? QByteArray(state) : QByteArray();
    const QString text =
        QString::fromUtf8(res && *PQresultErrorMessage(res) ? PQresultErrorMessage(res)
                                                            : PQerrorMessage(pg))
            .trimmed();
    if (code == "23505")
        throw sql::SqlError(QStringLiteral("Erro no banco de dados: %1").arg(text), text,
                            sql::SqlError::DuplicateKey);
    if (code.startsWith("23"))
        throw sql::SqlError(QStringLiteral("Erro no banco de dados: %1").arg(text), text,
                            sql::SqlError::Constraint);
    if (code == "40001" || code == "40P01" || code == "55P03")
        throw sql::SqlError(
            QStringLiteral("O banco de dados está ocupado por outra operação; tente novamente."),
            text, sql::SqlError::Busy);
    if (code.startsWith("08") || PQstatus(pg) == CONNECTION_BAD)
        throw sql::SqlError(QStringLiteral("A conexão com o banco de dados falhou: %1").arg(text),
                            text, sql::SqlError::Connection);
    throw sql::SqlError(QStringLiteral("Erro no banco de dados: %1").arg(text), text);
}

PGconn* libpqHandle(const sql::Connection& conn) {
    const QSqlDatabase db = conn.database();
    const QSqlDriver* driver = db.driver();
    if (!driver)
        return nullptr;
    const QVariant h = driver->handle();
    // The driver names the type by the structure's tag.
    if (!h.isValid() ||
        (qstrcmp(h.typeName(), "pg_conn*") != 0 && qstrcmp(h.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(h.constData());
}

} // namespace

std::optional<std::pair<QByteArray, int>> numberPlaceholders(const QString& sql) {
    const QByteArray in = sql.toUtf8();
    QByteArray out;
    out.reserve(in.size() + 16);
    int count = 0;
    const qsizetype n = in.size();
    auto isWord = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || (static_cast<unsigned char>(c) & 0x80);
    };
    for (qsizetype i = 0; i < n;) {
        const char c = in[i];
        const char next = i + 1 < n ? in[i + 1] : '\0';
        if (c == '\'' || c == '"') {
            // A quoted text (backslash escapes in E'...') or name; a doubled quote stays inside.
            const bool escapes = c == '\'' && i > 0 && (in[i - 1] == 'E' || in[i - 1] == 'e') &&
                                 (i < 2 || !isWord(in[i - 2]));
            qsizetype j = i + 1;
            while (j < n) {
                if (escapes && in[j] == '\\') {
                    j += 2;
                    continue;
                }
                if (in[j] == c) {
                    if (j + 1 < n && in[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            j = qMin(j + 1, n);
            out.append(in.constData() + i, j - i);
            i = j;
        } else if (c == '-' && next == '-') {
            qsizetype j = in.indexOf('\n', i);
            j = j < 0 ? n : j;
            out.append(in.constData() + i, j - i);
            i = j;
        } else if (c == '/' && next == '*') {
            int depth = 0;
            qsizetype j = i;
            while (j < n) {
                if (in[j] == '/' && j + 1 < n && in[j + 1] == '*') {
                    ++depth;
                    j += 2;
                } else if (in[j] == '*' && j + 1 < n && in[j + 1] == '/') {
                    j += 2;
                    if (--depth == 0)
                        break;
                } else {
                    ++j;
                }
            }
            out.append(in.constData() + i, j - i);
            i = j;
        } else if (c == '$' && (i == 0 || !isWord(in[i - 1])) && !(next >= '0' && next <= '9')) {
            // A dollar-quoted body: $$...$$ or $tag$...$tag$.
            qsizetype k = i + 1;
            while (k < n && isWord(in[k]) && in[k] != '$')
                ++k;
            if (k < n && in[k] == '$') {
                const QByteArray tag = in.mid(i, k - i + 1);
                const qsizetype close = in.indexOf(tag, k + 1);
                const qsizetype j = close < 0 ? n : close + tag.size();
                out.append(in.constData() + i, j - i);
                i = j;
            } else {
                out += c;
                ++i;
            }
        } else if (c == '?') {
            out += '$';
            out += QByteArray::number(++count);
            ++i;
        } else if (c == ':' && next != ':' && (i == 0 || in[i - 1] != ':') &&
                   ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '_')) {
            return std::nullopt; // a named placeholder
        } else {
            out += c;
            ++i;
        }
    }
    return std::make_pair(out, count);
}

bool selectPostgres(const sql::Connection& conn, const data::FieldDefs& fields, const QString& sql,
                    const QVariantList& binds, std::vector<data::Column>& cols) {
    if (conn.dialect() != sql::Dialect::PostgreSQL)
        return false;
    PGconn* pg = libpqHandle(conn);
    // A query of the driver still being read (single-row mode) owns the connection until it
    // is done; the driver knows how to end it.
    if (!pg || PQtransactionStatus(pg) == PQTRANS_ACTIVE)
        return false;
    const auto numbered = numberPlaceholders(sql);
    if (!numbered)
        return false;

    std::vector<QByteArray> texts(std::size_t(binds.size()));
    std::vector<const char*> values(std::size_t(binds.size()), nullptr);
    for (qsizetype i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds[i];
        if (!v.isValid() || v.isNull())
            continue;
        texts[std::size_t(i)] = paramText(v);
        values[std::size_t(i)] = texts[std::size_t(i)].constData();
    }
    const int n = int(fields.size());
    auto run = [&](int format) {
        Result res(PQexecParams(pg, numbered->first.constData(), int(binds.size()), nullptr,
                                values.data(), nullptr, nullptr, format));
        if (!res || PQresultStatus(res.get()) != PGRES_TUPLES_OK)
            fail(pg, res.get());
        if (PQnfields(res.get()) < n)
            throw sql::SqlError(QStringLiteral("Consulta com menos colunas que o pacote."));
        return res;
    };

    Result res = run(1);
    std::vector<Read> how(std::size_t(n), Read::Bytes);
    bool binary = true;
    for (int i = 0; i < n && binary; ++i) {
        how[std::size_t(i)] = binaryRead(PQftype(res.get(), i), fields[i].type);
        binary = how[std::size_t(i)] != Read::None;
    }
    if (!binary) {
        // A column of a type with no binary reading here (time zones, intervals, arrays...):
        // the query again in text, each value read from its text form.
        res.reset();
        res = run(0);
        for (int i = 0; i < n; ++i)
            how[std::size_t(i)] = textRead(fields[i].type);
    }

    const int rows = PQntuples(res.get());
    for (int i = 0; i < n; ++i)
        cols[std::size_t(i)].reserve(cols[std::size_t(i)].size() + rows);
    PGresult* r = res.get();
    // Row by row: a row's values lie together in the result, which for a list of a hundred
    // thousand items is many times the processor's cache.
    std::vector<data::FieldType> types(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        types[std::size_t(i)] = fields[i].type;
    for (int row = 0; row < rows; ++row)
        for (int i = 0; i < n; ++i) {
            data::Column& col = cols[std::size_t(i)];
            if (PQgetisnull(r, row, i))
                col.appendNull();
            else
                appendCell(col, types[std::size_t(i)], how[std::size_t(i)], PQgetvalue(r, row, i),
                           PQgetlength(r, row, i));
        }
    return true;
}

} // namespace sup::server
