#include "sup/widgetkit/Consiste.h"

#include "sup/widgetkit/DBGrid.h"

#include <QByteArray>
#include <QWidget>

#include <cmath>

namespace sup::host {

bool EmptyString(QStringView text) {
    for (QChar c : text)
        if (!c.isSpace())
            return false;
    return true;
}

QString Ajusta(QStringView text, int places) {
    QString code = text.trimmed().toString();
    if (code.isEmpty())
        return code;
    bool digitsOnly = true;
    for (QChar c : code)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            digitsOnly = false;
            break;
        }
    if (!digitsOnly || places <= 0)
        return code;
    if (code.size() < places)
        return QString(places - code.size(), QLatin1Char('0')) + code;
    qsizetype zeros = 0;
    while (code.size() - zeros > places && code.at(zeros) == QLatin1Char('0'))
        ++zeros;
    return code.mid(zeros);
}

int IndiceCol(const TDBGrid* grid, QStringView fieldName) {
    return grid ? grid->columnIndexOfField(fieldName) : -1;
}

void SetChildEnabled(QWidget* container, bool enabled) {
    if (!container)
        return;
    const auto children = container->findChildren<QWidget*>();
    for (QWidget* child : children)
        child->setEnabled(enabled);
}

QString Replicate(QStringView text, int count) {
    if (count <= 0)
        return {};
    return text.toString().repeated(count);
}

double RoundDec(double value, int decimals) {
    if (!std::isfinite(value) || value == 0.0)
        return value;
    if (decimals < 0)
        decimals = 0;
    if (decimals > 15)
        return value;
    // The 15 significant digits that a double holds exactly: "d.dddddddddddddde±x".
    const QByteArray s = QByteArray::number(std::fabs(value), 'e', 14);
    const qsizetype ePos = s.indexOf('e');
    const int exponent = s.mid(ePos + 1).toInt();
    QByteArray digits = s.left(ePos);
    digits.remove(1, 1);
    const int keep = exponent + 1 + decimals; // digits before the rounding place
    if (keep >= digits.size())
        return value;
    if (keep < 0)
        return 0.0;
    qint64 kept = keep > 0 ? digits.left(keep).toLongLong() : 0;
    if (digits.at(keep) >= '5')
        ++kept;
    const double result = double(kept) / std::pow(10.0, decimals);
    return value < 0 ? -result : result;
}

} // namespace sup::host
