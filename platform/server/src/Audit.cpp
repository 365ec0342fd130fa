#include "JsonRows.h"
#include "SqlValues.h"

#include <sqlite3.h>

namespace sup::server {

namespace {

const QString kColumns = QStringLiteral("DTEVENTO, CDOPERADOR, NMMETODO, IDDELTA, DSMOTIVO,"
                                        " NMTABELA, DSCHAVE, NMCAMPO, DSVALORANT, DSVALORNOVO");

// A text bound straight from the string's UTF-16, which outlives the step; null stays null.
int bindText(sqlite3_stmt* st, int pos, const QString& s) {
    if (s.isNull())
        return sqlite3_bind_null(st, pos);
    return sqlite3_bind_text16(st, pos, s.utf16(), int(s.size() * 2), SQLITE_STATIC);
}

} // namespace

void writeAudit(const sql::Connection& conn, const QString& method, const QString& op,
                const QVariant& deltaId, const QString& reason, const QString& now,
                const QList<AuditEntry>& entries) {
    if (entries.isEmpty())
        return;
    const QVariantList call{now, op, method, deltaId,
                            reason.isEmpty() ? QVariant() : QVariant(reason)};
    const sql::Dialect d = conn.dialect();
    if (d == sql::Dialect::SQLite) {
        SqliteStatement st(conn, QStringLiteral("INSERT INTO AUDITORIA (%1) VALUES (?, ?, ?, ?,"
                                                " ?, ?, ?, ?, ?, ?)")
                                     .arg(kColumns));
        st.bindAll(call);
        for (const AuditEntry& a : entries) {
            int pos = int(call.size());
            for (const QString* v : {&a.table, &a.key, &a.field, &a.oldValue, &a.newValue})
                if (const int rc = bindText(st.get(), ++pos, *v); rc != SQLITE_OK)
                    st.fail(rc);
            st.step();
            sqlite3_reset(st.get());
        }
        return;
    }
    JsonRows j;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const AuditEntry& a = entries[i];
        j.begin(i);
        j.text("tb", a.table);
        j.text("k", a.key);
        j.text("f", a.field);
        j.text("o", a.oldValue);
        j.text("n", a.newValue);
        j.end();
    }
    conn.exec(
        QStringLiteral("INSERT INTO AUDITORIA (%1) SELECT %2, ?, ?, ?, ?, d.tb, d.k, d.f,"
                       " d.o, d.n FROM %3 ORDER BY d.r")
            .arg(kColumns, timestampParam(d),
                 rowsTable(
                     d,
                     {{"tb", "text"}, {"k", "text"}, {"f", "text"}, {"o", "text"}, {"n", "text"}})),
        call + QVariantList{j.value()});
}

} // namespace sup::server
