#include "sup/sql/Database.h"

#include "WalCheckpointer.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>

#include <sqlite3.h>

namespace sup::sql {

namespace {

QAtomicInteger<quint64> connectionCounter;

SqlError::Kind kindOf(const QSqlError& e, Dialect dialect) {
    const QString code = e.nativeErrorCode();
    if (dialect == Dialect::SQLite) {
        const int extended = code.toInt();
        const int c = extended & 0xff;
        if (extended == SQLITE_CONSTRAINT_UNIQUE || extended == SQLITE_CONSTRAINT_PRIMARYKEY)
            return SqlError::DuplicateKey;
        if (c == SQLITE_CONSTRAINT)
            return SqlError::Constraint;
        if (c == SQLITE_BUSY || c == SQLITE_LOCKED)
            return SqlError::Busy;
        if (e.type() == QSqlError::ConnectionError)
            return SqlError::Connection;
        return SqlError::Other;
    }
    if (code == u"23505")
        return SqlError::DuplicateKey;
    if (code.startsWith(u"23"))
        return SqlError::Constraint;
    if (code == u"40001" || code == u"40P01" || code == u"55P03")
        return SqlError::Busy;
    if (code.startsWith(u"08") || e.type() == QSqlError::ConnectionError)
        return SqlError::Connection;
    return SqlError::Other;
}

SqlError makeError(const QSqlError& e, Dialect dialect) {
    QString text = e.databaseText().trimmed();
    if (text.isEmpty())
        text = e.driverText().trimmed();
    const SqlError::Kind kind = kindOf(e, dialect);
    QString message;
    switch (kind) {
    case SqlError::Busy:
        message =
            QStringLiteral("O banco de dados está ocupado por outra operação; tente novamente.");
        break;
    case SqlError::Connection:
        message = QStringLiteral("A conexão com o banco de dados falhou: %1").arg(text);
        break;
    default:
        message = QStringLiteral("Erro no banco de dados: %1").arg(text);
        break;
    }
    return SqlError(message, text, kind);
}

bool isIdentifier(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$"));
    return re.match(s).hasMatch();
}

// Splits a script into statements at ";" outside quotes, comments and $$ bodies.
QStringList splitStatements(const QString& script) {
    QStringList out;
    QString current;
    bool inQuote = false, inDollar = false, inLineComment = false;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script[i];
        const QChar next = i + 1 < script.size() ? script[i + 1] : QChar();
        if (inLineComment) {
            if (c == u'\n')
                inLineComment = false;
            continue;
        }
        if (!inQuote && !inDollar && c == u'-' && next == u'-') {
            inLineComment = true;
            continue;
        }
        if (!inDollar && c == u'\'')
            inQuote = !inQuote;
        else if (!inQuote && c == u'$' && next == u'$') {
            inDollar = !inDollar;
            current += u"$$";
            ++i;
            continue;
        } else if (!inQuote && !inDollar && c == u';') {
            if (!current.trimmed().isEmpty())
                out << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        out << current.trimmed();
    return out;
}

} // namespace

SqlError::SqlError(const QString& message, const QString& driverText, Kind kind)
    : std::runtime_error(message.toStdString())
    , message_(message)
    , driverText_(driverText)
    , kind_(kind) {}

DatabaseUrl DatabaseUrl::parse(const QString& text) {
    DatabaseUrl u;
    const QString t = text.trimmed();
    if (t.startsWith(u"sqlite:", Qt::CaseInsensitive)) {
        u.dialect = Dialect::SQLite;
        u.path = t.mid(7);
        if (u.path.startsWith(u"//"))
            u.path = u.path.mid(2);
        if (u.path.isEmpty())
            throw SqlError(
                QStringLiteral("Endereço de banco de dados SQLite sem arquivo: \"%1\".").arg(text));
        return u;
    }
    if (t.startsWith(u"postgresql://", Qt::CaseInsensitive) ||
        t.startsWith(u"postgres://", Qt::CaseInsensitive)) {
        const QUrl url(t, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty())
            throw SqlError(QStringLiteral("Endereço de banco de dados PostgreSQL inválido: \"%1\".")
                               .arg(text));
        u.dialect = Dialect::PostgreSQL;
        u.host = url.host();
        u.port = url.port(5432);
        u.user = url.userName();
        u.password = url.password();
        u.database = url.path().mid(1);
        if (u.database.isEmpty())
            throw SqlError(
                QStringLiteral("Endereço PostgreSQL sem o nome do banco: \"%1\".").arg(text));
        const QUrlQuery q(url);
        u.schema = q.queryItemValue(QStringLiteral("schema"));
        if (!u.schema.isEmpty() && !isIdentifier(u.schema))
            throw SqlError(QStringLiteral("Nome de esquema inválido no endereço do banco: \"%1\".")
                               .arg(u.schema));
        return u;
    }
    throw SqlError(
        QStringLiteral("Endereço de banco de dados não reconhecido: \"%1\" (use sqlite:ARQUIVO ou "
                       "postgresql://usuario@maquina:porta/banco).")
            .arg(text));
}

QString DatabaseUrl::toString(bool withPassword) const {
    if (dialect == Dialect::SQLite)
        return QStringLiteral("sqlite:") + path;
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setHost(host);
    url.setPort(port);
    url.setUserName(user);
    if (withPassword)
        url.setPassword(password);
    url.setPath(u'/' + database);
    if (!schema.isEmpty())
        url.setQuery(QStringLiteral("schema=") + schema);
    return url.toString();
}

std::unique_ptr<Connection> Connection::open(const QString& url, int busyTimeoutMs) {
    return open(DatabaseUrl::parse(url), busyTimeoutMs);
}

std::unique_ptr<Connection> Connection::open(const DatabaseUrl& url, int busyTimeoutMs) {
    std::unique_ptr<Connection> c(new Connection);
    c->url_ = url;
    c->name_ = QStringLiteral("sup_sql_%1").arg(++connectionCounter);
    if (url.dialect == Dialect::SQLite) {
        c->db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c->name_);
        if (!c->db_.isValid())
            throw SqlError(QStringLiteral("O driver SQLite do Qt não está instalado."));
        const bool uri = url.path.startsWith(u"file:");
        if (!uri && !url.isMemory()) {
            const QFileInfo fi(url.path);
            QDir().mkpath(fi.absolutePath());
        }
        c->db_.setDatabaseName(url.path);
        if (uri)
            c->db_.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (!c->db_.open())
            throw SqlError(QStringLiteral("Não foi possível abrir o banco de dados \"%1\": %2")
                               .arg(url.path, c->db_.lastError().text()),
                           c->db_.lastError().text(), SqlError::Connection);
        const QVariant h = c->db_.driver()->handle();
        if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
            c->sqlite_ = *static_cast<sqlite3* const*>(h.constData());
        if (!c->sqlite_ || !registerSqliteFunctions(c->sqlite_))
            throw SqlError(
                QStringLiteral("Não foi possível registrar as funções SQL no banco \"%1\".")
                    .arg(url.path));
        sqlite3_busy_timeout(c->sqlite_, busyTimeoutMs);
        c->exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        // A list of a hundred thousand items, or a write of ten thousand scattered rows, touches
        // tens of thousands of pages: with the default 2 MiB cache they are read from the system
        // again and again, and the joins of a set-based write spill to temporary files.
        c->exec(QStringLiteral("PRAGMA cache_size = -65536"));
        c->exec(QStringLiteral("PRAGMA temp_store = MEMORY"));
        if (!url.isMemory()) {
            // Reads map the file instead of copying every page through a system call: a list of
            // a hundred thousand items visits tens of thousands of scattered pages. Writes still
            // go through the journal as before.
            c->exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
            c->exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            c->exec(QStringLiteral("PRAGMA synchronous = FULL"));
            c->checkpointer_ = std::make_unique<WalCheckpointer>(QFile::encodeName(url.path), uri);
            c->checkpointer_->attach(c->sqlite_);
        }
    } else {
        c->db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), c->name_);
        if (!c->db_.isValid())
            throw SqlError(QStringLiteral(
                "O driver PostgreSQL do Qt não está instalado (pacote libqt6sql6-psql)."));
        c->db_.setHostName(url.host);
        c->db_.setPort(url.port);
        c->db_.setUserName(url.user);
        c->db_.setPassword(url.password);
        c->db_.setDatabaseName(url.database);
        c->db_.setConnectOptions(QStringLiteral("connect_timeout=10"));
        if (!c->db_.open())
            throw SqlError(QStringLiteral("Não foi possível conectar ao banco de dados %1: %2")
                               .arg(url.toString(), c->db_.lastError().text()),
                           c->db_.lastError().text(), SqlError::Connection);
        c->exec(QStringLiteral("SET client_min_messages TO warning"));
        if (!url.schema.isEmpty())
            c->exec(QStringLiteral("SET search_path TO %1, public").arg(url.schema));
        // A lock wait this long means something is stuck; fail instead of hanging the caller.
        c->exec(QStringLiteral("SET lock_timeout TO %1").arg(qMax(busyTimeoutMs, 1000)));
        // An item list of a hundred thousand rows is read in key order and sorted in memory:
        // index reads cost little more than sequential ones on solid-state storage, and the
        // default sort memory (4 MB) would spill such a list to disk.
        c->exec(QStringLiteral("SET random_page_cost TO 1.1"));
        c->exec(QStringLiteral("SET work_mem TO '64MB'"));
    }
    return c;
}

Connection::~Connection() {
    // Its own connection closes first, so that this one, when it is the file's last, copies what
    // is left of the log and removes it.
    checkpointer_.reset();
    if (db_.isValid()) {
        if (depth_ > 0)
            db_.rollback();
        db_.close();
    }
    db_ = QSqlDatabase();
    if (!name_.isEmpty())
        QSqlDatabase::removeDatabase(name_);
}

quint64 Connection::checkpointsCompleted() const {
    return checkpointer_ ? checkpointer_->completed() : 0;
}

QSqlQuery Connection::query() const {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    return q;
}

QSqlQuery Connection::exec(const QString& sql, const QVariantList& binds) const {
    QSqlQuery q = query();
    if (binds.isEmpty()) {
        if (!q.exec(sql))
            throw makeError(q.lastError(), url_.dialect);
        return q;
    }
    if (!q.prepare(sql))
        throw makeError(q.lastError(), url_.dialect);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        throw makeError(q.lastError(), url_.dialect);
    return q;
}

void Connection::execScript(const QString& script) const {
    for (const QString& stmt : splitStatements(script))
        exec(stmt);
}

QVariant Connection::scalar(const QString& sql, const QVariantList& binds) const {
    QSqlQuery q = exec(sql, binds);
    if (!q.next())
        return {};
    return q.value(0);
}

Transaction::Transaction(Connection& conn, Mode mode)
    : conn_(conn) {
    if (conn_.depth_ == 0) {
        if (conn_.dialect() == Dialect::SQLite)
            conn_.exec(mode == Write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
        else
            conn_.exec(QStringLiteral("BEGIN"));
    } else {
        savepoint_ = QStringLiteral("sup_sp_%1").arg(++conn_.savepoints_);
        conn_.exec(QStringLiteral("SAVEPOINT ") + savepoint_);
    }
    ++conn_.depth_;
    active_ = true;
}

Transaction::~Transaction() {
    if (active_)
        rollback();
}

void Transaction::commit() {
    if (!active_)
        throw SqlError(QStringLiteral("A transação já foi encerrada."));
    active_ = false;
    --conn_.depth_;
    try {
        if (savepoint_.isEmpty())
            conn_.exec(QStringLiteral("COMMIT"));
        else
            conn_.exec(QStringLiteral("RELEASE SAVEPOINT ") + savepoint_);
    } catch (...) {
        // A failed COMMIT may leave the transaction open (SQLite: busy); end it.
        QSqlQuery q = conn_.query();
        if (savepoint_.isEmpty())
            q.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

void Transaction::rollback() {
    if (!active_)
        return;
    active_ = false;
    --conn_.depth_;
    QSqlQuery q = conn_.query();
    if (savepoint_.isEmpty()) {
        q.exec(QStringLiteral("ROLLBACK"));
    } else {
        q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + savepoint_);
        q.exec(QStringLiteral("RELEASE SAVEPOINT ") + savepoint_);
    }
}

QString codeType(Dialect dialect) {
    return dialect == Dialect::SQLite ? QStringLiteral("TEXT COLLATE NOCASE")
                                      : QStringLiteral("text COLLATE public.sup_code");
}

Dialect dialectOf(const QSqlDatabase& db) {
    return db.driverName() == u"QPSQL" ? Dialect::PostgreSQL : Dialect::SQLite;
}

void installSqlFunctions(const Connection& conn) {
    if (conn.dialect() != Dialect::PostgreSQL)
        return;
    // Codes compare case-insensitively through an ICU collation (accents still count, as in
    // SQLite's NOCASE): equality, ordering, keys and hashes run inside the collation library
    // instead of a lower-casing SQL function per value. It lives in public, which every schema's
    // search path includes. Two processes creating it at once may collide; the loser finds it in
    // place.
    const QString exists = QStringLiteral("SELECT 1 FROM pg_collation WHERE collname = 'sup_code'"
                                          " AND collnamespace = CAST('public' AS regnamespace)");
    if (!conn.scalar(exists).isValid()) {
        try {
            conn.exec(QStringLiteral(
                "CREATE COLLATION IF NOT EXISTS public.sup_code"
                " (provider = icu, locale = 'und-u-ks-level2', deterministic = false)"));
        } catch (const SqlError&) {
            if (!conn.scalar(exists).isValid())
                throw;
        }
    }
    if (!conn.url().schema.isEmpty())
        conn.exec(QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(conn.url().schema));
    // PARAM once returned the extension type of earlier versions; its result type cannot be
    // replaced in place.
    conn.exec(QStringLiteral("DO $$ BEGIN"
                             " IF EXISTS (SELECT 1 FROM pg_proc WHERE proname = 'param'"
                             " AND pronamespace = to_regnamespace(current_schema())"
                             " AND pg_get_function_result(oid) <> 'TABLE(param text)') THEN"
                             " DROP FUNCTION param(text); END IF; END $$"));
    // INSTR searches bytes, as SQLite's does: the codes' collation would refuse a substring
    // search.
    conn.execScript(
        QStringLiteral("CREATE OR REPLACE FUNCTION nvlstr(text, text) RETURNS text"
                       "  LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT COALESCE($1, $2) $$;"
                       "CREATE OR REPLACE FUNCTION nvl(text, text) RETURNS text"
                       "  LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT COALESCE($1, $2) $$;"
                       "CREATE OR REPLACE FUNCTION instr(text, text) RETURNS integer"
                       "  LANGUAGE sql IMMUTABLE PARALLEL SAFE"
                       "  AS $$ SELECT strpos($1 COLLATE \"C\", $2 COLLATE \"C\") $$;"
                       "CREATE OR REPLACE FUNCTION param(text) RETURNS TABLE(param text)"
                       "  LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT $1 $$"));
}

} // namespace sup::sql
