#include "sup/widgetkit/KeyList.h"

namespace sup::host {

namespace {

QString chopTrailingBlanks(QStringView text) {
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1).isSpace())
        --n;
    return text.left(n).toString();
}

} // namespace

QString BuildKeyList(const QStringList& keys, int width) {
    QString out;
    for (const QString& raw : keys) {
        QString key = chopTrailingBlanks(raw);
        if (width > 0 && key.size() < width)
            key = key.leftJustified(width, QLatin1Char(' '));
        out += QLatin1Char('_') + key + QLatin1Char('_');
    }
    return out;
}

QStringList ParseKeyList(QStringView list, bool* ok) {
    if (ok)
        *ok = true;
    if (list.isEmpty())
        return {};
    if (list.size() < 2 || list.front() != QLatin1Char('_') || list.back() != QLatin1Char('_')) {
        if (ok)
            *ok = false;
        return {};
    }
    const QStringView inner = list.mid(1, list.size() - 2);
    QStringList keys;
    for (QStringView part : inner.split(QStringLiteral("__")))
        keys << chopTrailingBlanks(part);
    return keys;
}

} // namespace sup::host
