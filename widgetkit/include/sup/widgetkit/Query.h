#pragma once

#include "sup/data/WorkingSet.h"

#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <optional>

namespace sup::host {

// SQL dialects of the local queries.
enum class TSqlDialect { Default, Oracle, MsSql, InterBase };

// The dialect of a database connection, from its driver: Oracle, SQL Server and InterBase (or
// Firebird) have their own; SQLite, PostgreSQL and every other database use the default.
TSqlDialect DialectOf(const QSqlDatabase& db);

// One named parameter of a local query. Values are always bound as text, never pasted into the
// SQL.
class TQueryParam {
public:
    void setAsString(const QString& value) { value_ = value; }
    TQueryParam& operator=(const QString& value) {
        value_ = value;
        return *this;
    }
    void clear() { value_.reset(); }
    bool isSet() const { return value_.has_value(); }
    QString asString() const { return value_.value_or(QString()); }

private:
    std::optional<QString> value_;
};

// A local query: texts per dialect kept line by line, named parameters bound as text, and its
// rows held as a working set, so a data source, a grid and a pick list can show them.
//
//   qry->SQL = {"SELECT CDMARCA, NMMARCA", "FROM MARCA", "WHERE CDMARCA = :P_CDMARCA"};
//   qry->Close(); qry->ParamByName("P_CDMARCA") = code; qry->Open();
//   if (!qry->IsEmpty()) name = qry->FieldByName("NMMARCA")->asString();
//
// The text used is the one of the connection's dialect, the default `SQL` when that one is
// empty. A parameter name that stands several times in the text takes the one value everywhere.
// Field definitions set with setFieldDefs before opening (names, sizes, labels, widths, masks)
// are the fields the query shows, in their order, typed as declared; without them every column
// of the answer becomes a field, named in upper case, typed from its values.
class TADOIBQuery : public sup::data::TWorkingSet {
    Q_OBJECT
public:
    explicit TADOIBQuery(QObject* parent = nullptr, const QString& name = {});

    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;

    // The connection; the host's local database unless one is set.
    void setDatabase(const QSqlDatabase& db) { db_ = db; }
    QSqlDatabase database() const;

    // The text this query runs on its connection, lines joined with line breaks.
    QString activeText() const;
    QString textFor(TSqlDialect dialect) const;

    // The parameter of that name (letter case ignored). Values survive Close.
    TQueryParam& ParamByName(const QString& name);
    // The parameter names of the active text, in order of first appearance.
    QStringList paramNames() const;

    // Runs the query (after Close) and opens its rows. Throws EHostError naming the query for a
    // parameter of the text without value and for a failing database.
    void Open();
    void Close() { close(); }
    bool Active() const { return active(); }
    bool IsEmpty() const { return isEmpty(); }
    sup::data::TField* FieldByName(QStringView name) const { return fieldByName(name); }
    int RecordCount() const { return recordCount(); }

    // Runs a text without rows (INSERT, UPDATE, DDL) with this query's parameters.
    int ExecSQL();

private:
    QSqlDatabase db_;
    QMap<QString, TQueryParam> params_; // upper-case name -> value
    bool declaredKnown_ = false;        // decided at the first Open
    bool declared_ = false;             // field definitions were set before the first Open
};

// The parameter names of an SQL text and the text with each ":NAME" replaced by "?", skipping
// quoted texts, quoted names, comments and "::" casts.
struct ParsedSql {
    QString text;
    QStringList names; // one entry per placeholder, in order (repeats included)
};
ParsedSql ParseNamedParameters(const QString& sql);

} // namespace sup::host
