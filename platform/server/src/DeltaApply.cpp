#include "sup/server/DeltaApply.h"
#include "sup/server/Items.h"

#include "SqlValues.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace sup::server {

DeltaError::DeltaError(const QString& message, const QString& code, QList<DeltaConflict> conflicts)
    : std::runtime_error(message.toStdString())
    , message_(message)
    , code_(code)
    , conflicts_(std::move(conflicts)) {}

namespace {

using data::Column;
using data::DataPacket;
using data::FieldType;
using data::RowKind;

struct Col {
    const DeltaColumn* def = nullptr;
    int field = -1;
    FieldType type = FieldType::Text;
    QString pgType;
    QString label() const { return def->label.isEmpty() ? def->column : def->label; }
};

struct Plan {
    QList<Col> keys;   // identify the row by their loaded values
    QList<Col> checks; // non-key columns compared with their loaded values
    QList<Col> writes; // written when changed (keys included)
    QList<Col> all;    // every mapped column, each once
    int branch = -1;   // index in `all` of the row's branch column, -1: none
    // Set when the written rows must belong to the branches of `scopeOperator`.
    bool scoped = false;
    QString scopeOperator;
    // The delta's field of DeltaTarget::rowIdColumn (-1: none) and its PostgreSQL type.
    int rowIdField = -1;
    QString rowIdPgType;

    // The key columns that are never written: with the row id they find a row whose written
    // key columns changed.
    QList<Col> stableKeys() const {
        QList<Col> out;
        for (const Col& k : keys)
            if (!k.def->write)
                out << k;
        return out;
    }
};

// One audit row to write: a changed field (write >= 0) or a whole row deleted ('D') or
// inserted ('I'); texts are built only when the rows are written.
struct AuditRow {
    qsizetype row;
    int write; // index in Plan::writes, or -1 for a whole row
    char kind; // 'U', 'D' or 'I'
};

// The first n characters of a UTF-8 text, trailing blanks dropped.
QByteArrayView utf8Prefix(QByteArrayView v, int n) {
    qsizetype i = 0;
    for (int chars = 0; i < v.size(); ++i) {
        if ((static_cast<unsigned char>(v[i]) & 0xC0) != 0x80 && chars++ == n)
            break;
    }
    v = v.first(i);
    while (!v.isEmpty() && v.back() == ' ')
        v.chop(1);
    return v;
}

// A cell as the text the audit log keeps (a null QByteArray for null).
QByteArray cellBytes(const Column& c, qsizetype row, int prefix) {
    if (c.isNull(row))
        return {};
    switch (c.type()) {
    case FieldType::Text: {
        const QByteArrayView v = c.utf8(row);
        return (prefix > 0 ? utf8Prefix(v, prefix) : v).toByteArray();
    }
    case FieldType::Double:
        return QByteArray::number(c.real(row), 'g', 15);
    case FieldType::Integer:
        return QByteArray::number(c.integer(row));
    case FieldType::Boolean:
        return c.boolean(row) ? QByteArray("S") : QByteArray("N");
    case FieldType::DateTime:
        return msToSqlText(c.dateTimeMs(row));
    }
    return {};
}

const QLocale& brLocale() {
    static const QLocale l(QLocale::Portuguese, QLocale::Brazil);
    return l;
}

// Value of a cell as the table stores it.
QVariant sqlValue(const Column& c, qsizetype row, int prefix) {
    if (c.isNull(row))
        return {};
    if (prefix > 0 && c.type() == FieldType::Text)
        return c.text(row).left(prefix).trimmed();
    return cellToSql(c, row);
}

QString displayVariant(const QVariant& v, FieldType type) {
    if (!v.isValid() || v.isNull())
        return QStringLiteral("(vazio)");
    switch (type) {
    case FieldType::Double:
        return brLocale().toString(v.toDouble(), 'g', 15);
    case FieldType::DateTime: {
        const QString t = v.toString();
        if (t.size() >= 10) {
            QString d = t.mid(8, 2) + u'/' + t.mid(5, 2) + u'/' + t.left(4);
            if (t.size() >= 16 && t.mid(11, 5) != u"00:00")
                d += u' ' + t.mid(11, 5);
            return d;
        }
        return t;
    }
    default:
        return v.toString().trimmed();
    }
}

QString keyText(const Plan& plan, const DataPacket& delta, qsizetype row, bool loaded) {
    QStringList parts;
    for (const Col& k : plan.keys) {
        const Column& c = loaded ? delta.loadedColumn(k.field) : delta.column(k.field);
        parts << k.label() + u' ' + displayVariant(sqlValue(c, row, k.def->textPrefix), k.type);
    }
    return parts.join(QStringLiteral(", "));
}

// The key of a row in the audit log: the stored key values joined by "|".
QByteArray auditKey(const Plan& plan, const DataPacket& delta, qsizetype row, bool loaded) {
    QByteArray out;
    for (const Col& k : plan.keys) {
        if (!out.isEmpty())
            out += '|';
        out += cellBytes(loaded ? delta.loadedColumn(k.field) : delta.column(k.field), row,
                         k.def->textPrefix);
    }
    return out;
}

struct AuditText {
    QByteArray key, column, oldValue, newValue;
};

AuditText auditText(const Plan& plan, const DataPacket& delta, const AuditRow& a) {
    if (a.write >= 0) {
        const Col& c = plan.writes[a.write];
        return {auditKey(plan, delta, a.row, true), c.def->column.toUtf8(),
                cellBytes(delta.loadedColumn(c.field), a.row, c.def->textPrefix),
                cellBytes(delta.column(c.field), a.row, c.def->textPrefix)};
    }
    if (a.kind == 'D')
        return {auditKey(plan, delta, a.row, true), "*", "excluído", {}};
    return {auditKey(plan, delta, a.row, false), "*", {}, "incluído"};
}

bool sameStored(const QVariant& stored, const QVariant& loaded, FieldType type) {
    const bool sn = !stored.isValid() || stored.isNull();
    const bool ln = !loaded.isValid() || loaded.isNull();
    if (sn || ln)
        return sn == ln;
    if (type == FieldType::Double || type == FieldType::Integer)
        return stored.toDouble() == loaded.toDouble();
    return stored.toString() == loaded.toString();
}

Plan makePlan(const DeltaTarget& target, const DataPacket& delta) {
    Plan p;
    for (const DeltaColumn& dc : target.columns) {
        const int f = delta.indexOf(dc.field);
        if (f < 0) {
            if (dc.key)
                throw DeltaError(
                    QStringLiteral("As alterações enviadas não têm o campo %1.").arg(dc.field),
                    QStringLiteral("args"));
            continue;
        }
        Col c;
        c.def = &dc;
        c.field = f;
        c.type = delta.fields()[f].type;
        p.all << c;
        if (dc.key)
            p.keys << c;
        else if (dc.check)
            p.checks << c;
        if (dc.write)
            p.writes << c;
    }
    if (p.keys.isEmpty())
        throw DeltaError(
            QStringLiteral("Tabela %1 sem chave para aplicar alterações.").arg(target.table),
            QStringLiteral("args"));
    if (!target.branchColumn.isEmpty()) {
        for (int i = 0; i < p.all.size(); ++i)
            if (p.all[i].def->column.compare(target.branchColumn, Qt::CaseInsensitive) == 0)
                p.branch = i;
        if (p.branch < 0)
            throw DeltaError(QStringLiteral("As alterações enviadas não têm a filial (%1) de %2.")
                                 .arg(target.branchColumn, target.table),
                             QStringLiteral("args"));
    }
    if (!target.rowIdColumn.isEmpty())
        p.rowIdField = delta.indexOf(target.rowIdColumn);
    if (p.writes.size() > 60)
        throw DeltaError(QStringLiteral("Colunas demais para gravar em %1.").arg(target.table),
                         QStringLiteral("args"));
    return p;
}

void recordDeltaId(sql::Connection& conn, const DataPacket& delta, const DeltaOptions& o,
                   const QString& now) {
    if (delta.deltaId().isNull())
        throw DeltaError(QStringLiteral("As alterações enviadas não têm identificador."),
                         QStringLiteral("args"));
    const QString id = delta.deltaId().toString(QUuid::WithoutBraces);
    const QString duplicate =
        QStringLiteral("Estas alterações já foram gravadas (envio repetido); nada foi "
                       "alterado novamente.");
    if (conn.scalar(QStringLiteral("SELECT 1 FROM DELTAAPLICADO WHERE IDDELTA = ?"), {id})
            .isValid())
        throw DeltaError(duplicate, QStringLiteral("duplicate"));
    const QString ts = conn.dialect() == sql::Dialect::PostgreSQL
                           ? QStringLiteral("CAST(? AS timestamp(0))")
                           : QStringLiteral("?");
    try {
        conn.exec(QStringLiteral(
                      "INSERT INTO DELTAAPLICADO (IDDELTA, NMMETODO, CDOPERADOR, DTAPLIC, QTLINHAS)"
                      " VALUES (?, ?, ?, %1, ?)")
                      .arg(ts),
                  {id, o.method, o.operatorCode, now, int(delta.rowCount())});
    } catch (const sql::SqlError& e) {
        if (e.isConstraint()) // the same delta committed by a concurrent call meanwhile
            throw DeltaError(duplicate, QStringLiteral("duplicate"));
        throw;
    }
}

QString conflictMessage(const QList<DeltaConflict>& conflicts) {
    QString msg =
        QStringLiteral(
            "As alterações não foram gravadas: %1 item(ns) foram alterados ou excluídos por "
            "outro usuário desde a leitura. Recarregue os itens e refaça as alterações.")
            .arg(conflicts.size());
    const int shown = int(qMin<qsizetype>(conflicts.size(), 20));
    for (int i = 0; i < shown; ++i) {
        const DeltaConflict& c = conflicts[i];
        msg += QStringLiteral("\n- ") + c.key + QStringLiteral(": ");
        msg += c.removed ? QStringLiteral("excluído por outro usuário")
                         : c.details.join(QStringLiteral("; "));
    }
    if (conflicts.size() > shown)
        msg += QStringLiteral("\n... e mais %1 item(ns).").arg(conflicts.size() - shown);
    return msg;
}

// Fills the details of a conflict from the stored row (`stored` maps column -> value; empty when
// the row is gone).
void describeConflict(DeltaConflict& c, const Plan& plan, const DataPacket& delta, qsizetype row,
                      const QHash<QString, QVariant>* stored) {
    if (!stored) {
        c.removed = true;
        return;
    }
    for (const Col& col : plan.checks + plan.writes) {
        if (col.def->key && !col.def->write)
            continue;
        const QVariant loaded = sqlValue(delta.loadedColumn(col.field), row, col.def->textPrefix);
        const QVariant now = stored->value(col.def->column);
        if (!sameStored(now, loaded, col.type)) {
            const QString line =
                QStringLiteral("%1: lido %2, enviado %3, atual %4")
                    .arg(col.label(), displayVariant(loaded, col.type),
                         displayVariant(sqlValue(delta.column(col.field), row, col.def->textPrefix),
                                        col.type),
                         displayVariant(now, col.type));
            if (!c.details.contains(line))
                c.details << line;
        }
    }
    if (c.details.isEmpty())
        c.details << QStringLiteral("não pode mais ser alterado (situação mudou)");
}

QString selectStoredColumns(sql::Dialect d, const Plan& plan, const QString& alias) {
    QStringList cols;
    for (const Col& c : plan.all)
        cols << (c.type == FieldType::DateTime ? dateOut(d, alias + c.def->column)
                                               : alias + c.def->column);
    return cols.join(QStringLiteral(", "));
}

QString nowText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// True for a branch (an SQL expression) linked to the operator, bound to the one "?".
QString inScope(const QString& branch) {
    return QStringLiteral("EXISTS (SELECT 1 FROM FILIOPER FO WHERE FO.CDFILIAL = %1"
                          " AND FO.CDOPERADOR = ?)")
        .arg(branch);
}

// ---------------------------------------------------------------- SQLite

int bindCell(sqlite3_stmt* st, int pos, const Column& c, qsizetype row, int prefix) {
    if (c.isNull(row))
        return sqlite3_bind_null(st, pos);
    switch (c.type()) {
    case FieldType::Text: {
        const QByteArrayView v = prefix > 0 ? utf8Prefix(c.utf8(row), prefix) : c.utf8(row);
        return sqlite3_bind_text(st, pos, v.data(), int(v.size()), SQLITE_TRANSIENT);
    }
    case FieldType::Double:
        return sqlite3_bind_double(st, pos, c.real(row));
    case FieldType::Integer:
        return sqlite3_bind_int64(st, pos, c.integer(row));
    case FieldType::Boolean:
        return sqlite3_bind_text(st, pos, c.boolean(row) ? "S" : "N", 1, SQLITE_STATIC);
    case FieldType::DateTime: {
        const QByteArray t = msToSqlText(c.dateTimeMs(row));
        return sqlite3_bind_text(st, pos, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    }
    }
    return SQLITE_MISUSE;
}

QVariant columnValue(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(st, i);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                 sqlite3_column_bytes(st, i));
    default:
        return {};
    }
}

class SqliteApplier {
public:
    SqliteApplier(sql::Connection& conn, const DeltaTarget& t, const Plan& p, const DataPacket& d)
        : conn_(conn)
        , target_(t)
        , plan_(p)
        , delta_(d) {}

    SqliteStatement& statement(const QString& sql) {
        auto it = cache_.find(sql);
        if (it == cache_.end())
            it = cache_.emplace(sql, std::make_unique<SqliteStatement>(conn_, sql)).first;
        return *it->second;
    }

    void bind(SqliteStatement& st, int& pos, const Column& c, qsizetype row, int prefix) {
        const int rc = bindCell(st.get(), pos++, c, row, prefix);
        if (rc != SQLITE_OK)
            st.fail(rc);
    }

    QString whereClause() const {
        QStringList w;
        for (const Col& k : plan_.keys)
            w << k.def->column + QStringLiteral(" = ?");
        for (const Col& c : plan_.checks)
            w << c.def->column + QStringLiteral(" IS ?");
        if (!target_.rowCondition.isEmpty())
            w << u'(' + target_.rowCondition + u')';
        // A stored row outside the operator's branches is not written; refuseOutOfScope then
        // tells it apart from a row changed by another user.
        if (plan_.scoped)
            w << inScope(target_.table + u'.' + plan_.all[plan_.branch].def->column);
        return w.join(QStringLiteral(" AND "));
    }

    void bindWhere(SqliteStatement& st, int& pos, qsizetype row) {
        for (const Col& k : plan_.keys)
            bind(st, pos, delta_.loadedColumn(k.field), row, k.def->textPrefix);
        for (const Col& c : plan_.checks)
            bind(st, pos, delta_.loadedColumn(c.field), row, c.def->textPrefix);
        if (plan_.scoped) {
            const int rc = bindSqlite(st.get(), pos++, plan_.scopeOperator);
            if (rc != SQLITE_OK)
                st.fail(rc);
        }
    }

    // Returns true when the row was written. `mask` has bit w set for each changed write.
    bool update(qsizetype row, const QList<int>& changed, quint64 mask) {
        auto it = updates_.find(mask);
        if (it == updates_.end()) {
            QStringList sets;
            for (int w : changed) {
                const Col& c = plan_.writes[w];
                sets << c.def->column + QStringLiteral(" = ?");
                for (const auto& f : c.def->follow)
                    sets << f.first + QStringLiteral(" = (") + f.second + u')';
            }
            for (const auto& a : target_.alsoSet)
                sets << a.first + QStringLiteral(" = ") + a.second;
            it = updates_
                     .emplace(mask,
                              std::make_unique<SqliteStatement>(
                                  conn_, QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                             .arg(target_.table, sets.join(QStringLiteral(", ")),
                                                  whereClause())))
                     .first;
        }
        SqliteStatement& st = *it->second;
        int pos = 1;
        for (int w : changed) {
            const Col& c = plan_.writes[w];
            bind(st, pos, delta_.column(c.field), row, c.def->textPrefix);
            for (qsizetype f = 0; f < c.def->follow.size(); ++f)
                bind(st, pos, delta_.column(c.field), row, c.def->textPrefix);
        }
        bindWhere(st, pos, row);
        st.step();
        const int n = sqlite3_changes(conn_.sqliteHandle());
        sqlite3_reset(st.get());
        return n > 0;
    }

    bool remove(qsizetype row) {
        SqliteStatement& st =
            statement(QStringLiteral("DELETE FROM %1 WHERE %2").arg(target_.table, whereClause()));
        int pos = 1;
        bindWhere(st, pos, row);
        st.step();
        const int n = sqlite3_changes(conn_.sqliteHandle());
        sqlite3_reset(st.get());
        return n > 0;
    }

    bool insert(qsizetype row) {
        QStringList cols, marks;
        for (const Col& c : plan_.all) {
            cols << c.def->column;
            marks << QStringLiteral("?");
        }
        SqliteStatement& st = statement(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                            .arg(target_.table, cols.join(u','), marks.join(u',')));
        int pos = 1;
        for (const Col& c : plan_.all)
            bind(st, pos, delta_.column(c.field), row, c.def->textPrefix);
        try {
            st.step();
        } catch (const sql::SqlError& e) {
            // Only a taken key is a conflict; a missing value or a broken reference is an error
            // of the row, as on PostgreSQL.
            const int rc = sqlite3_extended_errcode(conn_.sqliteHandle());
            sqlite3_reset(st.get());
            if (e.isConstraint() &&
                (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE))
                return false;
            throw;
        }
        sqlite3_reset(st.get());
        return true;
    }

    // The stored row by its loaded key or, when another user changed its key, by its row id.
    std::optional<QHash<QString, QVariant>> stored(qsizetype row) {
        auto out = storedBy(row, false);
        if (!out && plan_.rowIdField >= 0 && !delta_.loadedColumn(plan_.rowIdField).isNull(row))
            out = storedBy(row, true);
        return out;
    }

    std::optional<QHash<QString, QVariant>> storedBy(qsizetype row, bool byRowId) {
        const QList<Col> by = byRowId ? plan_.stableKeys() : plan_.keys;
        QStringList w;
        if (byRowId)
            w << target_.rowIdColumn + QStringLiteral(" = ?");
        for (const Col& k : by)
            w << k.def->column + QStringLiteral(" = ?");
        SqliteStatement& st =
            statement(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                          .arg(selectStoredColumns(sql::Dialect::SQLite, plan_, {}), target_.table,
                               w.join(QStringLiteral(" AND "))));
        int pos = 1;
        if (byRowId)
            bind(st, pos, delta_.loadedColumn(plan_.rowIdField), row, 0);
        for (const Col& k : by)
            bind(st, pos, delta_.loadedColumn(k.field), row, k.def->textPrefix);
        std::optional<QHash<QString, QVariant>> out;
        if (st.step() == SQLITE_ROW) {
            out.emplace();
            for (int i = 0; i < plan_.all.size(); ++i)
                out->insert(plan_.all[i].def->column, columnValue(st.get(), i));
        }
        sqlite3_reset(st.get());
        return out;
    }

    void audit(const QList<AuditRow>& rows, const DeltaOptions& o, const QString& now,
               const QString& id) {
        SqliteStatement& st = statement(QStringLiteral(
            "INSERT INTO AUDITORIA (DTEVENTO, CDOPERADOR, NMMETODO, "
            "NMTABELA, DSCHAVE, NMCAMPO, DSVALORANT,"
            " DSVALORNOVO, IDDELTA, DSMOTIVO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        const QByteArray fixed[] = {
            now.toUtf8(),      o.operatorCode.toUtf8(),
            o.method.toUtf8(), target_.table.toUtf8(),
            id.toUtf8(),       o.description.isEmpty() ? QByteArray() : o.description.toUtf8()};
        auto text = [&](int pos, const QByteArray& b) {
            const int rc = b.isNull() ? sqlite3_bind_null(st.get(), pos)
                                      : sqlite3_bind_text(st.get(), pos, b.constData(),
                                                          int(b.size()), SQLITE_STATIC);
            if (rc != SQLITE_OK)
                st.fail(rc);
        };
        for (int i = 0; i < 4; ++i)
            text(i + 1, fixed[i]);
        text(9, fixed[4]);
        text(10, fixed[5]);
        for (const AuditRow& a : rows) {
            const AuditText t = auditText(plan_, delta_, a);
            text(5, t.key);
            text(6, t.column);
            text(7, t.oldValue);
            text(8, t.newValue);
            st.step();
            sqlite3_reset(st.get()); // keeps the bindings of the fixed values
        }
    }

private:
    sql::Connection& conn_;
    const DeltaTarget& target_;
    const Plan& plan_;
    const DataPacket& delta_;
    std::map<QString, std::unique_ptr<SqliteStatement>> cache_;
    std::map<quint64, std::unique_ptr<SqliteStatement>> updates_;
};

// ---------------------------------------------------------------- PostgreSQL

// A small JSON writer: rows of the delta go to the server as one parameter.
class JsonRows {
public:
    void beginRow(qsizetype r) {
        out_ += rows_++ ? ",{" : "{";
        out_ += "\"r\":" + QByteArray::number(r);
    }
    void endRow() { out_ += '}'; }
    void add(const char* name, const QVariant& v, FieldType type) {
        out_ += ",\"";
        out_ += name;
        out_ += "\":";
        if (!v.isValid() || v.isNull()) {
            out_ += "null";
            return;
        }
        switch (type) {
        case FieldType::Double:
        case FieldType::Integer: {
            const double d = v.toDouble();
            out_ += std::isfinite(d) ? QByteArray::number(d, 'g', 17) : QByteArray("null");
            return;
        }
        default:
            string(v.toString());
        }
    }
    void addText(const char* name, const QString& s) {
        out_ += ",\"";
        out_ += name;
        out_ += "\":";
        string(s);
    }
    qsizetype rows() const { return rows_; }
    QString text() const { return QString::fromUtf8("[" + out_ + "]"); }

private:
    void string(const QString& s) {
        out_ += '"';
        for (const char c : s.toUtf8()) {
            switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x",
                                  unsigned(static_cast<unsigned char>(c)));
                    out_ += buf;
                } else {
                    out_ += c;
                }
            }
        }
        out_ += '"';
    }
    QByteArray out_;
    qsizetype rows_ = 0;
};

QByteArray jsonName(char prefix, int i) {
    return QByteArray(1, prefix) + QByteArray::number(i);
}

// The column types of the table, which the JSON records of the rows are declared with (with
// the column's collation, as the codes', where it is not the type's own).
void fillPgTypes(const sql::Connection& conn, const DeltaTarget& t, Plan& plan) {
    QHash<QString, QString> types;
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT upper(a.attname), t.typname || CASE WHEN a.attcollation <> 0"
                       " AND a.attcollation <> t.typcollation THEN ' COLLATE '"
                       " || CAST(CAST(a.attcollation AS regcollation) AS text) ELSE '' END"
                       " FROM pg_attribute a JOIN pg_type t"
                       " ON t.oid = a.atttypid WHERE a.attrelid = to_regclass(lower(?))"
                       " AND a.attnum > 0 AND NOT a.attisdropped"),
        {t.table});
    while (q.next())
        types.insert(q.value(0).toString(), q.value(1).toString());
    auto fill = [&](QList<Col>& cols) {
        for (Col& c : cols) {
            c.pgType = types.value(c.def->column.toUpper());
            if (c.pgType.isEmpty())
                throw DeltaError(
                    QStringLiteral("A tabela %1 não tem a coluna %2.").arg(t.table, c.def->column),
                    QStringLiteral("args"));
        }
    };
    fill(plan.keys);
    fill(plan.checks);
    fill(plan.writes);
    fill(plan.all);
    if (plan.rowIdField >= 0) {
        plan.rowIdPgType = types.value(t.rowIdColumn.toUpper());
        if (plan.rowIdPgType.isEmpty())
            plan.rowIdField = -1;
    }
}

class PgApplier {
public:
    // `p` has its column types (fillPgTypes).
    PgApplier(sql::Connection& conn, const DeltaTarget& t, const Plan& p, const DataPacket& d)
        : conn_(conn)
        , target_(t)
        , plan_(p)
        , delta_(d) {}

    QString recordKeysAndChecks(QStringList& decl) const {
        QStringList where;
        for (int i = 0; i < plan_.keys.size(); ++i) {
            decl << QStringLiteral("k%1 %2").arg(i).arg(plan_.keys[i].pgType);
            where << QStringLiteral("t.%1 = d.k%2").arg(plan_.keys[i].def->column).arg(i);
        }
        for (int i = 0; i < plan_.checks.size(); ++i) {
            decl << QStringLiteral("c%1 %2").arg(i).arg(plan_.checks[i].pgType);
            where << QStringLiteral("t.%1 IS NOT DISTINCT FROM d.c%2")
                         .arg(plan_.checks[i].def->column)
                         .arg(i);
        }
        if (!target_.rowCondition.isEmpty())
            where << u'(' + target_.rowCondition + u')';
        if (plan_.scoped)
            where << inScope(QStringLiteral("t.") + plan_.all[plan_.branch].def->column);
        return where.join(QStringLiteral(" AND "));
    }

    // The values of a statement built on recordKeysAndChecks: the rows, then the operator whose
    // branches bound them.
    QVariantList rowBinds(const JsonRows& j) const {
        QVariantList out{j.text()};
        if (plan_.scoped)
            out << plan_.scopeOperator;
        return out;
    }

    void addKeysAndChecks(JsonRows& j, qsizetype row) const {
        for (int i = 0; i < plan_.keys.size(); ++i)
            j.add(jsonName('k', i).constData(),
                  sqlValue(delta_.loadedColumn(plan_.keys[i].field), row,
                           plan_.keys[i].def->textPrefix),
                  plan_.keys[i].type);
        for (int i = 0; i < plan_.checks.size(); ++i)
            j.add(jsonName('c', i).constData(),
                  sqlValue(delta_.loadedColumn(plan_.checks[i].field), row,
                           plan_.checks[i].def->textPrefix),
                  plan_.checks[i].type);
    }

    QSet<qsizetype> returnedRows(QSqlQuery q) {
        QSet<qsizetype> out;
        while (q.next())
            out.insert(q.value(0).toLongLong());
        return out;
    }

    // Updates the rows of one group (same changed columns); returns the rows written.
    QSet<qsizetype> update(const QList<qsizetype>& rows, const QList<int>& changed,
                           const DeltaOptions& o) {
        JsonRows j;
        QStringList decl{QStringLiteral("r bigint")};
        const QString where = recordKeysAndChecks(decl);
        QStringList sets;
        for (int w : changed) {
            const Col& c = plan_.writes[w];
            decl << QStringLiteral("n%1 %2").arg(w).arg(c.pgType);
            sets << QStringLiteral("%1 = d.n%2").arg(c.def->column).arg(w);
            for (const auto& f : c.def->follow) {
                QString lookup = f.second;
                lookup.replace(u'?', QStringLiteral("d.n%1").arg(w));
                sets << f.first + QStringLiteral(" = (") + lookup + u')';
            }
        }
        for (const auto& s : target_.alsoSet)
            sets << s.first + QStringLiteral(" = ") + s.second;
        for (qsizetype row : rows) {
            if (o.beforeRow)
                o.beforeRow(row);
            j.beginRow(row);
            addKeysAndChecks(j, row);
            for (int w : changed)
                j.add(jsonName('n', w).constData(),
                      sqlValue(delta_.column(plan_.writes[w].field), row,
                               plan_.writes[w].def->textPrefix),
                      plan_.writes[w].type);
            j.endRow();
        }
        const QString sql =
            QStringLiteral("UPDATE %1 AS t SET %2 FROM json_to_recordset(CAST(? AS json)) AS d(%3)"
                           " WHERE %4 RETURNING d.r")
                .arg(target_.table, sets.join(QStringLiteral(", ")),
                     decl.join(QStringLiteral(", ")), where);
        return returnedRows(conn_.exec(sql, rowBinds(j)));
    }

    QSet<qsizetype> remove(const QList<qsizetype>& rows, const DeltaOptions& o) {
        JsonRows j;
        QStringList decl{QStringLiteral("r bigint")};
        const QString where = recordKeysAndChecks(decl);
        for (qsizetype row : rows) {
            if (o.beforeRow)
                o.beforeRow(row);
            j.beginRow(row);
            addKeysAndChecks(j, row);
            j.endRow();
        }
        return returnedRows(conn_.exec(
            QStringLiteral("DELETE FROM %1 AS t USING json_to_recordset(CAST(? AS json)) AS"
                           " d(%2) WHERE %3 RETURNING d.r")
                .arg(target_.table, decl.join(QStringLiteral(", ")), where),
            rowBinds(j)));
    }

    QSet<qsizetype> insert(const QList<qsizetype>& rows, const DeltaOptions& o) {
        JsonRows j;
        QStringList decl{QStringLiteral("r bigint")}, cols, vals, keyCols;
        for (int i = 0; i < plan_.all.size(); ++i) {
            decl << QStringLiteral("v%1 %2").arg(i).arg(plan_.all[i].pgType);
            cols << plan_.all[i].def->column;
            vals << QStringLiteral("d.v%1").arg(i);
        }
        for (const Col& k : plan_.keys)
            keyCols << (k.type == FieldType::DateTime
                            ? dateOut(sql::Dialect::PostgreSQL, k.def->column)
                            : k.def->column);
        QHash<QString, qsizetype> byKey;
        for (qsizetype row : rows) {
            if (o.beforeRow)
                o.beforeRow(row);
            j.beginRow(row);
            QStringList key;
            for (int i = 0; i < plan_.all.size(); ++i) {
                const QVariant v =
                    sqlValue(delta_.column(plan_.all[i].field), row, plan_.all[i].def->textPrefix);
                j.add(jsonName('v', i).constData(), v, plan_.all[i].type);
            }
            for (const Col& k : plan_.keys)
                key << sqlValue(delta_.column(k.field), row, k.def->textPrefix)
                           .toString()
                           .toLower();
            byKey.insert(key.join(u'\x1f'), row);
            j.endRow();
        }
        QSqlQuery q = conn_.exec(
            QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM json_to_recordset(CAST(? AS json))"
                           " AS d(%4) ON CONFLICT DO NOTHING RETURNING %5")
                .arg(target_.table, cols.join(u','), vals.join(u','),
                     decl.join(QStringLiteral(", ")), keyCols.join(u',')),
            {j.text()});
        QSet<qsizetype> out;
        while (q.next()) {
            QStringList key;
            for (int i = 0; i < plan_.keys.size(); ++i) {
                QString v = q.value(i).toString();
                if (plan_.keys[i].type == FieldType::Double ||
                    plan_.keys[i].type == FieldType::Integer)
                    v = QString::number(q.value(i).toDouble(), 'g', 17);
                key << v.toLower();
            }
            out.insert(byKey.value(key.join(u'\x1f'), -1));
        }
        return out;
    }

    // Stored values of the rows, by their loaded keys and, for those another user gave a new
    // key, by their row ids; rows that are gone are absent.
    QHash<qsizetype, QHash<QString, QVariant>> stored(const QList<qsizetype>& rows) {
        QHash<qsizetype, QHash<QString, QVariant>> out = storedBy(rows, false);
        if (plan_.rowIdField < 0)
            return out;
        QList<qsizetype> missing;
        for (qsizetype row : rows)
            if (!out.contains(row) && !delta_.loadedColumn(plan_.rowIdField).isNull(row))
                missing << row;
        if (!missing.isEmpty())
            out.insert(storedBy(missing, true));
        return out;
    }

    QHash<qsizetype, QHash<QString, QVariant>> storedBy(const QList<qsizetype>& rows,
                                                        bool byRowId) {
        const QList<Col> by = byRowId ? plan_.stableKeys() : plan_.keys;
        JsonRows j;
        QStringList decl{QStringLiteral("r bigint")}, on;
        if (byRowId) {
            decl << QStringLiteral("id ") + plan_.rowIdPgType;
            on << QStringLiteral("t.%1 = d.id").arg(target_.rowIdColumn);
        }
        for (int i = 0; i < by.size(); ++i) {
            decl << QStringLiteral("k%1 %2").arg(i).arg(by[i].pgType);
            on << QStringLiteral("t.%1 = d.k%2").arg(by[i].def->column).arg(i);
        }
        for (qsizetype row : rows) {
            j.beginRow(row);
            if (byRowId)
                j.add("id", cellToSql(delta_.loadedColumn(plan_.rowIdField), row),
                      delta_.fields()[plan_.rowIdField].type);
            for (int i = 0; i < by.size(); ++i)
                j.add(jsonName('k', i).constData(),
                      sqlValue(delta_.loadedColumn(by[i].field), row, by[i].def->textPrefix),
                      by[i].type);
            j.endRow();
        }
        QSqlQuery q = conn_.exec(
            QStringLiteral("SELECT d.r, %1 FROM json_to_recordset(CAST(? AS json)) AS d(%2)"
                           " JOIN %3 t ON %4")
                .arg(selectStoredColumns(sql::Dialect::PostgreSQL, plan_, QStringLiteral("t.")),
                     decl.join(QStringLiteral(", ")), target_.table,
                     on.join(QStringLiteral(" AND "))),
            {j.text()});
        QHash<qsizetype, QHash<QString, QVariant>> out;
        while (q.next()) {
            QHash<QString, QVariant> values;
            for (int i = 0; i < plan_.all.size(); ++i)
                values.insert(plan_.all[i].def->column, q.value(i + 1));
            out.insert(q.value(0).toLongLong(), values);
        }
        return out;
    }

    void audit(const QList<AuditRow>& rows, const DeltaOptions& o, const QString& now,
               const QString& id) {
        if (rows.isEmpty())
            return;
        JsonRows j;
        auto text = [](const QByteArray& b) {
            return b.isNull() ? QVariant() : QVariant(QString::fromUtf8(b));
        };
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const AuditText t = auditText(plan_, delta_, rows[i]);
            j.beginRow(i);
            j.add("k", text(t.key), FieldType::Text);
            j.add("f", text(t.column), FieldType::Text);
            j.add("o", text(t.oldValue), FieldType::Text);
            j.add("n", text(t.newValue), FieldType::Text);
            j.endRow();
        }
        conn_.exec(
            QStringLiteral(
                "INSERT INTO AUDITORIA (DTEVENTO, CDOPERADOR, NMMETODO, NMTABELA, DSCHAVE, NMCAMPO,"
                " DSVALORANT, DSVALORNOVO, IDDELTA, DSMOTIVO) SELECT CAST(? AS timestamp(0)), ?, ?,"
                " ?, a.k, a.f, a.o, a.n, ?, ? FROM json_to_recordset(CAST(? AS json))"
                " AS a(r bigint, k text, f text, o text, n text)"),
            {now, o.operatorCode, o.method, target_.table, id,
             o.description.isEmpty() ? QVariant() : QVariant(o.description), j.text()});
    }

private:
    sql::Connection& conn_;
    const DeltaTarget& target_;
    const Plan& plan_;
    const DataPacket& delta_;
};

// ---------------------------------------------------------------- applying the rows

// A delta is applied only inside the caller's transaction.
void checkDeltaShape(const sql::Connection& conn, const DataPacket& delta) {
    if (conn.transactionDepth() == 0)
        throw sql::SqlError(
            QStringLiteral("Alterações só podem ser aplicadas dentro de uma transação."));
    if (!delta.isDelta())
        throw DeltaError(QStringLiteral("O valor enviado não é um conjunto de alterações."),
                         QStringLiteral("args"));
}

// The written columns (indexes in Plan::writes) whose value differs from the loaded one.
QList<int> changedWrites(const Plan& plan, const DataPacket& delta, qsizetype row) {
    QList<int> out;
    for (int w = 0; w < plan.writes.size(); ++w) {
        const Col& c = plan.writes[w];
        if (!delta.column(c.field).cellEquals(row, delta.loadedColumn(c.field), row))
            out << w;
    }
    return out;
}

// ---------------------------------------------------------------- what the delta may hold

// Inserted and deleted rows only where the method takes them.
void checkRowKinds(const DeltaTarget& target, const DataPacket& delta) {
    for (const RowKind kind : delta.kinds()) {
        if (kind == RowKind::Inserted && !target.allowInsert)
            throw DeltaError(QStringLiteral("Este método não aceita inclusão de itens."),
                             QStringLiteral("args"));
        if (kind == RowKind::Deleted && !target.allowDelete)
            throw DeltaError(QStringLiteral("Este método não aceita exclusão de itens."),
                             QStringLiteral("args"));
    }
}

// Nothing sent is dropped in silence: a changed row may differ from its loaded values only in
// the fields the target writes, the fields local to the client and the fields that follow a
// written column changed in the same row; an inserted row may hold values only in the columns
// the insert writes and the local fields.
void checkUnwrittenFields(const DeltaTarget& target, const Plan& plan, const DataPacket& delta) {
    const auto n = std::size_t(delta.fieldCount());
    std::vector<char> local(n, 0), written(n, 0), inserted(n, 0);
    std::vector<QList<int>> leads(n); // the writes (in Plan::writes) a field follows
    for (const QString& name : target.localFields)
        if (const int f = delta.indexOf(name); f >= 0)
            local[std::size_t(f)] = 1;
    for (const Col& c : plan.all)
        inserted[std::size_t(c.field)] = 1;
    for (int w = 0; w < plan.writes.size(); ++w) {
        written[std::size_t(plan.writes[w].field)] = 1;
        for (const auto& follower : plan.writes[w].def->follow)
            if (const int f = delta.indexOf(follower.first); f >= 0)
                leads[std::size_t(f)] << w;
    }
    auto changed = [&](int f, qsizetype row) {
        return !delta.column(f).cellEquals(row, delta.loadedColumn(f), row);
    };
    for (qsizetype row = 0; row < delta.rowCount(); ++row) {
        const RowKind kind = delta.kind(row);
        for (int f = 0; f < delta.fieldCount(); ++f) {
            const auto i = std::size_t(f);
            if (local[i])
                continue;
            if (kind == RowKind::Modified && !written[i] && changed(f, row) &&
                std::none_of(leads[i].cbegin(), leads[i].cend(),
                             [&](int w) { return changed(plan.writes[w].field, row); }))
                throw DeltaError(
                    QStringLiteral("O campo %1 não pode ser alterado por este método (item %2).")
                        .arg(delta.fields()[f].name, keyText(plan, delta, row, true)),
                    QStringLiteral("args"));
            if (kind == RowKind::Inserted && !inserted[i] && !delta.column(f).isNull(row))
                throw DeltaError(
                    QStringLiteral("O campo %1 não pode ser informado na inclusão por este "
                                   "método (item %2).")
                        .arg(delta.fields()[f].name, keyText(plan, delta, row, false)),
                    QStringLiteral("args"));
        }
    }
}

void setScope(const sql::Connection& conn, const DeltaOptions& o, Plan& plan) {
    if (plan.branch < 0 || !branchesRestricted(conn))
        return;
    plan.scoped = true;
    plan.scopeOperator =
        (o.branchOperator.trimmed().isEmpty() ? o.operatorCode : o.branchOperator).trimmed();
}

// The JSON rows as a table d(r, columns...) of either dialect.
QString jsonRowsTable(bool pg, const QList<QPair<QString, QString>>& columns) {
    QStringList out;
    if (pg) {
        out << QStringLiteral("r bigint");
        for (const auto& c : columns)
            out << c.first + u' ' + c.second;
        return QStringLiteral("json_to_recordset(CAST(? AS json)) AS d(%1)")
            .arg(out.join(QStringLiteral(", ")));
    }
    out << QStringLiteral("json_extract(value, '$.r') AS r");
    for (const auto& c : columns)
        out << QStringLiteral("json_extract(value, '$.%1') AS %1").arg(c.first);
    return QStringLiteral("(SELECT %1 FROM json_each(?)) AS d").arg(out.join(QStringLiteral(", ")));
}

// The rows whose branch as sent is outside the operator's branches, in row order: a changed or
// deleted row with the branch it was loaded with, an inserted row, or a changed one whose branch
// is written, with its new branch. Each distinct branch is asked once.
QList<qsizetype> rowsSentOutOfScope(const sql::Connection& conn, const Plan& plan,
                                    const DataPacket& delta) {
    const Col& branch = plan.all[plan.branch];
    QList<QVariant> distinct;
    QHash<QString, qsizetype> indexOf; // a value's text (null apart) to its place in `distinct`
    QList<QList<qsizetype>> rowsOf;
    auto value = [&](qsizetype row, const Column& c) {
        const QVariant v = sqlValue(c, row, branch.def->textPrefix);
        const QString key = v.isNull() ? QString() : u'=' + v.toString();
        auto it = indexOf.find(key);
        if (it == indexOf.end()) {
            it = indexOf.insert(key, distinct.size());
            distinct << v;
            rowsOf.append(QList<qsizetype>{});
        }
        if (rowsOf[it.value()].isEmpty() || rowsOf[it.value()].last() != row)
            rowsOf[it.value()] << row;
    };
    for (qsizetype row = 0; row < delta.rowCount(); ++row) {
        switch (delta.kind(row)) {
        case RowKind::Unmodified:
            break;
        case RowKind::Modified: {
            const QList<int> changed = changedWrites(plan, delta, row);
            if (changed.isEmpty())
                break; // a mark only: nothing is written
            value(row, delta.loadedColumn(branch.field));
            for (int w : changed)
                if (plan.writes[w].def == branch.def)
                    value(row, delta.column(branch.field));
            break;
        }
        case RowKind::Deleted:
            value(row, delta.loadedColumn(branch.field));
            break;
        case RowKind::Inserted:
            value(row, delta.column(branch.field));
            break;
        }
    }
    if (distinct.isEmpty())
        return {};
    JsonRows values;
    for (qsizetype i = 0; i < distinct.size(); ++i) {
        values.beginRow(i);
        values.add("b", distinct[i], branch.type);
        values.endRow();
    }
    const bool pg = conn.dialect() == sql::Dialect::PostgreSQL;
    QSqlQuery q =
        conn.exec(QStringLiteral("SELECT d.r FROM %1 WHERE NOT %2")
                      .arg(jsonRowsTable(pg, {qMakePair(QStringLiteral("b"), branch.pgType)}),
                           inScope(QStringLiteral("d.b"))),
                  {values.text(), plan.scopeOperator});
    QList<qsizetype> out;
    while (q.next())
        out << rowsOf[qsizetype(q.value(0).toLongLong())];
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// Of `rows` (changed or deleted rows that could not be written), those stored under a branch
// outside the operator's: the writes hold every row to the operator's branches, so a stored row
// out of scope shows up there, and a forged loaded value cannot bring it into scope.
QList<qsizetype> rowsStoredOutOfScope(const sql::Connection& conn, const DeltaTarget& target,
                                      const Plan& plan, const DataPacket& delta,
                                      const QList<qsizetype>& rows) {
    if (rows.isEmpty())
        return {};
    const Col& branch = plan.all[plan.branch];
    JsonRows stored;
    for (qsizetype row : rows) {
        stored.beginRow(row);
        for (int i = 0; i < plan.keys.size(); ++i)
            stored.add(
                jsonName('k', i).constData(),
                sqlValue(delta.loadedColumn(plan.keys[i].field), row, plan.keys[i].def->textPrefix),
                plan.keys[i].type);
        stored.endRow();
    }
    QList<QPair<QString, QString>> keyColumns;
    QStringList on;
    for (int i = 0; i < plan.keys.size(); ++i) {
        keyColumns << qMakePair(QStringLiteral("k%1").arg(i), plan.keys[i].pgType);
        on << QStringLiteral("t.%1 = d.k%2").arg(plan.keys[i].def->column).arg(i);
    }
    const bool pg = conn.dialect() == sql::Dialect::PostgreSQL;
    QSqlQuery q = conn.exec(QStringLiteral("SELECT DISTINCT d.r FROM %1 JOIN %2 t ON %3 WHERE NOT "
                                           "%4 ORDER BY 1")
                                .arg(jsonRowsTable(pg, keyColumns), target.table,
                                     on.join(QStringLiteral(" AND ")),
                                     inScope(QStringLiteral("t.") + branch.def->column)),
                            {stored.text(), plan.scopeOperator});
    QList<qsizetype> out;
    while (q.next())
        out << qsizetype(q.value(0).toLongLong());
    return out;
}

// Refuses the whole delta, naming the first row outside the operator's branches.
void refuseOutOfScope(const Plan& plan, const DataPacket& delta, const QList<qsizetype>& refused) {
    if (refused.isEmpty())
        return;
    const qsizetype first = refused.first();
    QString msg = QStringLiteral("O item %1 não pertence às filiais do operador %2.")
                      .arg(keyText(plan, delta, first, delta.kind(first) != RowKind::Inserted),
                           plan.scopeOperator);
    if (refused.size() > 1)
        msg += QStringLiteral(" Outros %1 item(ns) enviados também não pertencem.")
                   .arg(refused.size() - 1);
    msg += QStringLiteral(" Nenhuma alteração foi gravada.");
    throw DeltaError(msg, QStringLiteral("scope"));
}

// What the rows came to: the counts, the audit rows of the rows written and the rows that
// could not be written.
struct Outcome {
    DeltaResult result;
    QList<AuditRow> audit;
    QList<qsizetype> conflictRows;    // changed or deleted rows no longer as loaded
    QList<qsizetype> insertConflicts; // inserted rows whose key is taken

    void updated(qsizetype row, const QList<int>& changed, bool done) {
        if (!done) {
            conflictRows << row;
            return;
        }
        ++result.updated;
        for (int w : changed)
            audit << AuditRow{row, w, 'U'};
    }
    void deleted(qsizetype row, bool done) {
        if (!done) {
            conflictRows << row;
            return;
        }
        ++result.deleted;
        audit << AuditRow{row, -1, 'D'};
    }
    void inserted(qsizetype row, bool done) {
        if (!done) {
            insertConflicts << row;
            return;
        }
        ++result.inserted;
        audit << AuditRow{row, -1, 'I'};
    }
    bool hasConflicts() const { return !conflictRows.isEmpty() || !insertConflicts.isEmpty(); }
};

DeltaConflict keyTakenConflict(const Plan& plan, const DataPacket& delta, qsizetype row) {
    return DeltaConflict{row,
                         keyText(plan, delta, row, false),
                         false,
                         {QStringLiteral("já existe um registro com esta chave")}};
}

// ---------------------------------------------------------------- SQLite rows

// Bit w set for each changed write: the key of the cached UPDATE statement.
quint64 changedMask(const QList<int>& changed) {
    quint64 mask = 0;
    for (int w : changed)
        mask |= quint64(1) << w;
    return mask;
}

void applySqliteRow(SqliteApplier& a, const Plan& plan, const DataPacket& delta,
                    const DeltaOptions& options, qsizetype row, Outcome& out) {
    switch (delta.kind(row)) {
    case RowKind::Unmodified:
        ++out.result.unchanged;
        break;
    case RowKind::Modified: {
        const QList<int> changed = changedWrites(plan, delta, row);
        if (changed.isEmpty()) {
            ++out.result.unchanged;
            break;
        }
        if (options.beforeRow)
            options.beforeRow(row);
        out.updated(row, changed, a.update(row, changed, changedMask(changed)));
        break;
    }
    case RowKind::Deleted:
        if (options.beforeRow)
            options.beforeRow(row);
        out.deleted(row, a.remove(row));
        break;
    case RowKind::Inserted:
        if (options.beforeRow)
            options.beforeRow(row);
        out.inserted(row, a.insert(row));
        break;
    }
}

// The stale rows, each with what is stored now, then the inserted rows whose key is taken.
[[noreturn]] void throwSqliteConflicts(SqliteApplier& a, const Plan& plan, const DataPacket& delta,
                                       const Outcome& out) {
    QList<DeltaConflict> conflicts;
    for (qsizetype row : out.conflictRows) {
        DeltaConflict c{row, keyText(plan, delta, row, true), false, {}};
        const auto stored = a.stored(row);
        describeConflict(c, plan, delta, row, stored ? &*stored : nullptr);
        conflicts << c;
    }
    for (qsizetype row : out.insertConflicts)
        conflicts << keyTakenConflict(plan, delta, row);
    throw DeltaError(conflictMessage(conflicts), QStringLiteral("conflict"), conflicts);
}

DeltaResult applySqlite(sql::Connection& conn, const DeltaTarget& target, const Plan& plan,
                        const DataPacket& delta, const DeltaOptions& options, const QString& now,
                        const QString& id) {
    SqliteApplier a(conn, target, plan, delta);
    Outcome out;
    for (qsizetype row = 0; row < delta.rowCount(); ++row)
        applySqliteRow(a, plan, delta, options, row, out);
    if (out.hasConflicts()) {
        if (plan.scoped)
            refuseOutOfScope(plan, delta,
                             rowsStoredOutOfScope(conn, target, plan, delta, out.conflictRows));
        throwSqliteConflicts(a, plan, delta, out);
    }
    a.audit(out.audit, options, now, id);
    return out.result;
}

// ---------------------------------------------------------------- PostgreSQL rows

// The rows by statement: changed rows grouped by their changed columns, deleted and inserted.
struct PgBatches {
    std::map<QList<int>, QList<qsizetype>> groups;
    QList<qsizetype> deletes, inserts;
};

PgBatches batchRows(const Plan& plan, const DataPacket& delta, DeltaResult& result) {
    PgBatches b;
    for (qsizetype row = 0; row < delta.rowCount(); ++row) {
        switch (delta.kind(row)) {
        case RowKind::Unmodified:
            ++result.unchanged;
            break;
        case RowKind::Modified: {
            const QList<int> changed = changedWrites(plan, delta, row);
            if (changed.isEmpty())
                ++result.unchanged;
            else
                b.groups[changed] << row;
            break;
        }
        case RowKind::Deleted:
            b.deletes << row;
            break;
        case RowKind::Inserted:
            b.inserts << row;
            break;
        }
    }
    return b;
}

// Updates group by group, then the deletes, then the inserts.
void applyPgBatches(PgApplier& a, const PgBatches& b, const DeltaOptions& options, Outcome& out) {
    for (const auto& [changed, rows] : b.groups) {
        const QSet<qsizetype> done = a.update(rows, changed, options);
        for (qsizetype row : rows)
            out.updated(row, changed, done.contains(row));
    }
    if (!b.deletes.isEmpty()) {
        const QSet<qsizetype> done = a.remove(b.deletes, options);
        for (qsizetype row : b.deletes)
            out.deleted(row, done.contains(row));
    }
    if (!b.inserts.isEmpty()) {
        const QSet<qsizetype> done = a.insert(b.inserts, options);
        for (qsizetype row : b.inserts)
            out.inserted(row, done.contains(row));
    }
}

// As on SQLite, but the stale rows are read in one statement and the conflicts go in row order.
[[noreturn]] void throwPgConflicts(PgApplier& a, const Plan& plan, const DataPacket& delta,
                                   const Outcome& out) {
    QList<DeltaConflict> conflicts;
    const auto stored = out.conflictRows.isEmpty() ? QHash<qsizetype, QHash<QString, QVariant>>{}
                                                   : a.stored(out.conflictRows);
    for (qsizetype row : out.conflictRows) {
        DeltaConflict c{row, keyText(plan, delta, row, true), false, {}};
        const auto it = stored.find(row);
        describeConflict(c, plan, delta, row, it == stored.end() ? nullptr : &it.value());
        conflicts << c;
    }
    for (qsizetype row : out.insertConflicts)
        conflicts << keyTakenConflict(plan, delta, row);
    std::sort(conflicts.begin(), conflicts.end(),
              [](const DeltaConflict& x, const DeltaConflict& y) { return x.row < y.row; });
    throw DeltaError(conflictMessage(conflicts), QStringLiteral("conflict"), conflicts);
}

DeltaResult applyPostgres(sql::Connection& conn, const DeltaTarget& target, const Plan& plan,
                          const DataPacket& delta, const DeltaOptions& options, const QString& now,
                          const QString& id) {
    PgApplier a(conn, target, plan, delta);
    Outcome out;
    const PgBatches batches = batchRows(plan, delta, out.result);
    applyPgBatches(a, batches, options, out);
    if (out.hasConflicts()) {
        if (plan.scoped)
            refuseOutOfScope(plan, delta,
                             rowsStoredOutOfScope(conn, target, plan, delta, out.conflictRows));
        throwPgConflicts(a, plan, delta, out);
    }
    // Audit rows in the order of the delta's rows, whatever order the groups ran in.
    std::stable_sort(out.audit.begin(), out.audit.end(),
                     [](const AuditRow& x, const AuditRow& y) { return x.row < y.row; });
    a.audit(out.audit, options, now, id);
    return out.result;
}

} // namespace

DeltaResult applyDelta(sql::Connection& conn, const DeltaTarget& target, const DataPacket& delta,
                       const DeltaOptions& options) {
    checkDeltaShape(conn, delta);
    Plan plan = makePlan(target, delta);
    checkRowKinds(target, delta);
    if (conn.dialect() == sql::Dialect::PostgreSQL)
        fillPgTypes(conn, target, plan);
    setScope(conn, options, plan);
    if (plan.scoped)
        refuseOutOfScope(plan, delta, rowsSentOutOfScope(conn, plan, delta));
    checkUnwrittenFields(target, plan, delta);
    const QString now = nowText();
    recordDeltaId(conn, delta, options, now);
    if (options.beforeWrite)
        options.beforeWrite();
    const QString id = delta.deltaId().toString(QUuid::WithoutBraces);
    if (conn.dialect() == sql::Dialect::SQLite)
        return applySqlite(conn, target, plan, delta, options, now, id);
    return applyPostgres(conn, target, plan, delta, options, now, id);
}

DeltaTarget orderItemTarget() {
    DeltaTarget t;
    t.table = QStringLiteral("PEDIDOOLITEM");
    t.rowCondition = QStringLiteral("IDSITUITEM = 'A'");
    t.localFields = {QStringLiteral("CALC"), QStringLiteral("ALTERADO")};
    t.allowInsert = false;
    t.allowDelete = false;
    t.branchColumn = QStringLiteral("CDFILDEST");
    t.rowIdColumn = QStringLiteral("CDRASTRITM");
    auto key = [](const char* f, const char* label, bool write = false, int prefix = 0) {
        DeltaColumn c;
        c.field = c.column = QString::fromLatin1(f);
        c.label = QString::fromUtf8(label);
        c.key = true;
        c.write = write;
        c.textPrefix = prefix;
        return c;
    };
    auto col = [](const char* f, const char* label, bool write) {
        DeltaColumn c;
        c.field = c.column = QString::fromLatin1(f);
        c.label = QString::fromUtf8(label);
        c.write = write;
        return c;
    };
    DeltaColumn produto = key("CDPRODUTO", "Produto", true);
    for (const char* f : {"CDARVPROD", "NMPRODUTO", "SGUNIDADE", "CDPRODESTO", "VRFATOCONV"})
        produto.follow << qMakePair(QString::fromLatin1(f),
                                    QStringLiteral("SELECT %1 FROM PRODUTO WHERE CDPRODUTO = ?")
                                        .arg(QString::fromLatin1(f)));
    DeltaColumn marca = key("CDMARCA", "Marca", true);
    marca.follow << qMakePair(QStringLiteral("NMMARCA"),
                              QStringLiteral("SELECT NMMARCA FROM MARCA WHERE CDMARCA = ?"));
    t.columns = {key("CDFILDEST", "Destino", false, 4),
                 key("CDFILLANC", "Lanç."),
                 key("NRPEDEXOL", "Pedido"),
                 key("DTPROGENPEOL", "Entrega"),
                 produto,
                 marca,
                 col("QTPROGENPEOL", "Qtde.", true),
                 col("CDFILIOPELOG", "OL", false),
                 col("IDITMPEDOLBLOQ", "Bloqueado", false),
                 col("QTRESERVESTOL", "Reserva", false),
                 col("CDLOTENVITOL", "Lote de envio", false),
                 col("DTPROGEMBARQ", "Embarque", false)};
    return t;
}

} // namespace sup::server
