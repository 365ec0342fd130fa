#include "KeyList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace sup::server {

QStringList parseKeyList(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[_,;]+"));
    QStringList keys;
    for (const QString& part : text.split(separators, Qt::SkipEmptyParts)) {
        const QString k = part.trimmed();
        if (!k.isEmpty() && !keys.contains(k, Qt::CaseInsensitive))
            keys << k;
    }
    return keys;
}

QString keyListCondition(sql::Dialect dialect, const QString& column) {
    if (dialect == sql::Dialect::SQLite)
        return QStringLiteral("%1 IN (SELECT value FROM json_each(?))").arg(column);
    // = ANY keeps the condition on the column's index: the item list of a few branches is then
    // read in its key order, where IN (SELECT unnest(...)) is planned as a join whose rows the
    // planner sorts again.
    return QStringLiteral("%1 = ANY(CAST(? AS text[]))").arg(column);
}

QVariant keyListValue(sql::Dialect dialect, const QStringList& keys) {
    if (dialect == sql::Dialect::SQLite)
        return QString::fromUtf8(
            QJsonDocument(QJsonArray::fromStringList(keys)).toJson(QJsonDocument::Compact));
    // An array literal with every element quoted; backslash and double quote escaped.
    QString out = QStringLiteral("{");
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i)
            out += u',';
        QString k = keys[i];
        k.replace(u'\\', QStringLiteral("\\\\"));
        k.replace(u'"', QStringLiteral("\\\""));
        out += u'"' + k + u'"';
    }
    out += u'}';
    return out;
}

} // namespace sup::server
