#include "sup/widgetkit/Query.h"

#include "sup/contracts/host/Host.h"
#include "sup/data/DataPacket.h"
#include "sup/widgetkit/Messages.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace sup::host {

using sup::data::FieldDef;
using sup::data::FieldDefs;
using sup::data::FieldType;

TSqlDialect DialectOf(const QSqlDatabase& db) {
    if (const QSqlDriver* driver = db.driver()) {
        switch (driver->dbmsType()) {
        case QSqlDriver::Oracle:
            return TSqlDialect::Oracle;
        case QSqlDriver::MSSqlServer:
            return TSqlDialect::MsSql;
        case QSqlDriver::Interbase:
            return TSqlDialect::InterBase;
        default:
            break;
        }
    }
    const QString name = db.driverName();
    if (name == QLatin1String("QOCI"))
        return TSqlDialect::Oracle;
    if (name == QLatin1String("QIBASE"))
        return TSqlDialect::InterBase;
    return TSqlDialect::Default;
}

ParsedSql ParseNamedParameters(const QString& sql) {
    ParsedSql out;
    out.text.reserve(sql.size());
    const qsizetype n = sql.size();
    auto isNameStart = [](QChar c) {
        return c.isLetter() || c == QLatin1Char('_');
    };
    auto isNameChar = [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) { // quoted text or name
            const qsizetype start = i;
            ++i;
            while (i < n) {
                if (sql.at(i) == c) {
                    if (i + 1 < n && sql.at(i + 1) == c) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            out.text += sql.mid(start, i - start + 1);
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            const qsizetype end = sql.indexOf(QLatin1Char('\n'), i);
            const qsizetype stop = end < 0 ? n : end;
            out.text += sql.mid(i, stop - i);
            i = stop - 1;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            out.text += sql.mid(i, stop - i);
            i = stop - 1;
            continue;
        }
        if (c == QLatin1Char(':')) {
            if (i + 1 < n && sql.at(i + 1) == QLatin1Char(':')) { // a "::" cast
                out.text += QStringLiteral("::");
                ++i;
                continue;
            }
            if (i + 1 < n && isNameStart(sql.at(i + 1))) {
                qsizetype j = i + 1;
                while (j < n && isNameChar(sql.at(j)))
                    ++j;
                out.names << sql.mid(i + 1, j - i - 1);
                out.text += QLatin1Char('?');
                i = j - 1;
                continue;
            }
        }
        out.text += c;
    }
    return out;
}

TADOIBQuery::TADOIBQuery(QObject* parent, const QString& name)
    : TWorkingSet(parent, name) {}

QSqlDatabase TADOIBQuery::database() const {
    return db_.isValid() ? db_ : Host::instance().database();
}

QString TADOIBQuery::textFor(TSqlDialect dialect) const {
    const QStringList* lines = &SQL;
    switch (dialect) {
    case TSqlDialect::Oracle:
        lines = &SQL_ORACLE;
        break;
    case TSqlDialect::MsSql:
        lines = &SQL_MSSQL;
        break;
    case TSqlDialect::InterBase:
        lines = &SQL_IB;
        break;
    case TSqlDialect::Default:
        break;
    }
    if (lines->isEmpty())
        lines = &SQL;
    return lines->join(QLatin1Char('\n'));
}

QString TADOIBQuery::activeText() const {
    return textFor(DialectOf(database()));
}

TQueryParam& TADOIBQuery::ParamByName(const QString& name) {
    return params_[name.toUpper()];
}

QStringList TADOIBQuery::paramNames() const {
    QStringList out;
    for (const QString& n : ParseNamedParameters(activeText()).names)
        if (!out.contains(n, Qt::CaseInsensitive))
            out << n;
    return out;
}

namespace {

FieldType inferType(const QSqlField& field) {
    switch (field.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return FieldType::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return FieldType::Double;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return FieldType::DateTime;
    case QMetaType::Bool:
        return FieldType::Boolean;
    default:
        return FieldType::Text;
    }
}

QString chopBlanks(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == QLatin1Char(' '))
        --n;
    return n == s.size() ? s : s.left(n);
}

QVariant convert(const QVariant& v, const FieldDef& def) {
    if (v.isNull() || !v.isValid())
        return {};
    switch (def.type) {
    case FieldType::Text:
        return chopBlanks(v.toString());
    case FieldType::Integer: {
        bool ok = false;
        const qlonglong i = v.toLongLong(&ok);
        if (ok)
            return i;
        return qlonglong(v.toDouble());
    }
    case FieldType::Double:
        return v.toDouble();
    case FieldType::Boolean: {
        if (v.metaType().id() == QMetaType::QString) {
            const QString s = v.toString().trimmed().toUpper();
            return s == QLatin1String("S") || s == QLatin1String("T") || s == QLatin1String("1") ||
                   s == QLatin1String("TRUE");
        }
        return v.toBool();
    }
    case FieldType::DateTime: {
        if (v.metaType().id() == QMetaType::QDateTime)
            return v.toDateTime();
        if (v.metaType().id() == QMetaType::QDate)
            return v.toDate().startOfDay();
        const QString s = v.toString().trimmed();
        QDateTime dt = QDateTime::fromString(s, Qt::ISODateWithMs);
        if (!dt.isValid())
            dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dt.isValid()) {
            const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
            if (d.isValid())
                dt = d.startOfDay();
        }
        return dt.isValid() ? QVariant(dt) : QVariant();
    }
    }
    return v;
}

} // namespace

void TADOIBQuery::Open() {
    close();
    const QSqlDatabase db = database();
    const ParsedSql parsed = ParseNamedParameters(activeText());
    auto failure = [&](const QString& reason) {
        return EHostError(QStringLiteral("Erro na consulta %1: %2").arg(objectName(), reason));
    };
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(parsed.text))
        throw failure(q.lastError().text());
    for (const QString& name : parsed.names) {
        const auto it = params_.constFind(name.toUpper());
        if (it == params_.cend() || !it->isSet())
            throw EHostError(QStringLiteral("O parâmetro %1 da consulta %2 não recebeu valor.")
                                 .arg(name, objectName()));
        q.addBindValue(it->asString());
    }
    if (!q.exec())
        throw failure(q.lastError().text());

    const QSqlRecord record = q.record();
    const FieldDefs previous = fieldDefs();
    if (!declaredKnown_) {
        declared_ = !previous.isEmpty();
        declaredKnown_ = true;
    }
    FieldDefs defs;
    QList<int> sourceColumn;
    if (declared_) {
        defs = previous;
        for (const FieldDef& def : defs) {
            const int col = record.indexOf(def.name);
            int found = col;
            if (found < 0)
                for (int c = 0; c < record.count(); ++c)
                    if (record.fieldName(c).compare(def.name, Qt::CaseInsensitive) == 0) {
                        found = c;
                        break;
                    }
            if (found < 0)
                throw failure(QStringLiteral("o campo %1 não está no resultado.").arg(def.name));
            sourceColumn << found;
        }
    } else {
        for (int c = 0; c < record.count(); ++c) {
            const QSqlField field = record.field(c);
            FieldDef def;
            def.name = field.name().toUpper();
            def.type = inferType(field);
            const int same = sup::data::indexOfField(previous, def.name);
            if (same >= 0 && previous.at(same).type == def.type)
                def = previous.at(same); // keep labels, widths and masks set on the field
            defs << def;
            sourceColumn << c;
        }
    }
    sup::data::DataPacketBuilder builder(defs);
    QVariantList row;
    while (q.next()) {
        row.clear();
        for (int f = 0; f < defs.size(); ++f)
            row << convert(q.value(sourceColumn.at(f)), defs.at(f));
        builder.appendRow(row);
    }
    if (q.lastError().isValid())
        throw failure(q.lastError().text());
    loadFromPacket(builder.finish());
}

int TADOIBQuery::ExecSQL() {
    const ParsedSql parsed = ParseNamedParameters(activeText());
    QSqlQuery q(database());
    if (!q.prepare(parsed.text))
        throw EHostError(
            QStringLiteral("Erro na consulta %1: %2").arg(objectName(), q.lastError().text()));
    for (const QString& name : parsed.names) {
        const auto it = params_.constFind(name.toUpper());
        if (it == params_.cend() || !it->isSet())
            throw EHostError(QStringLiteral("O parâmetro %1 da consulta %2 não recebeu valor.")
                                 .arg(name, objectName()));
        q.addBindValue(it->asString());
    }
    if (!q.exec())
        throw EHostError(
            QStringLiteral("Erro na consulta %1: %2").arg(objectName(), q.lastError().text()));
    return q.numRowsAffected();
}

} // namespace sup::host
